// The branch converters. Each finds the call or branch instructions of its processor and
// subtracts the instruction's own position from the target the encoder made absolute.
#include "codec/branch_filters.h"

#include <algorithm>
#include <cstring>

#include "common/kel_error.h"

namespace velmora::kel {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
void putLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}
void putBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t startOffset(const std::uint8_t* props, std::size_t size) {
    if (size == 0) return 0;
    if (size != 4) corrupt("invalid branch filter properties");
    return le32(props);
}

// x86: CALL (E8) and JMP (E9) with a 32-bit displacement. The encoder only converted a
// displacement whose top byte is 00 or FF, and skipped opcodes that sit inside the four bytes
// after a recent E8/E9 candidate (a 3-bit mask of those candidates steers that choice).
class X86Converter : public BranchConverter {
public:
    explicit X86Converter(std::uint32_t start) : start_(start) {}

    std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t position, bool last) override {
        static constexpr bool kAllowed[8] = {true, true, true, false, true, false, false, false};
        static constexpr unsigned kByteOfMask[8] = {0, 1, 2, 2, 3, 3, 3, 3};
        std::size_t i = 0;
        while (i + 5 <= size) {
            if ((data[i] & 0xFE) != 0xE8) {
                ++i;
                continue;
            }
            const std::uint64_t at = position + i;
            const std::uint64_t gap = at - lastCandidate_;
            if (gap > 3) {
                mask_ = 0;
            } else {
                mask_ = (mask_ << (gap - 1)) & 7;
                if (mask_ != 0 && (!kAllowed[mask_] || isSignByte(data[i + 4 - kByteOfMask[mask_]]))) {
                    lastCandidate_ = at;
                    mask_ = ((mask_ << 1) & 7) | 1;
                    ++i;
                    continue;
                }
            }
            lastCandidate_ = at;
            if (!isSignByte(data[i + 4])) {
                mask_ = ((mask_ << 1) & 7) | 1;
                ++i;
                continue;
            }
            std::uint32_t value = le32(data + i + 1);
            std::uint32_t target;
            for (;;) {
                target = value - (start_ + static_cast<std::uint32_t>(at) + 5);
                if (mask_ == 0) break;
                const unsigned shift = kByteOfMask[mask_] * 8;
                if (!isSignByte(static_cast<std::uint8_t>(target >> (24 - shift)))) break;
                value = target ^ ((1u << (32 - shift)) - 1);
            }
            target &= 0x01FFFFFF;
            target |= (0u - ((target >> 24) & 1)) << 24;
            putLe32(data + i + 1, target);
            i += 5;
        }
        if (!last) return i;
        return size;
    }

private:
    static bool isSignByte(std::uint8_t b) { return b == 0 || b == 0xFF; }

    std::uint32_t start_;
    std::uint32_t mask_ = 0;
    std::uint64_t lastCandidate_ = ~std::uint64_t(0) - 8;  // far enough back to count as none
};

// ARM64: BL with its 26-bit word offset, and ADRP with its 21-bit page offset (only targets
// within +-512 MiB were converted, recognisable from the top bits of the value).
class Arm64Converter : public BranchConverter {
public:
    explicit Arm64Converter(std::uint32_t start) : start_(start) {}

    std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t position, bool last) override {
        std::size_t i = 0;
        for (; i + 4 <= size; i += 4) {
            const std::uint32_t pc = start_ + static_cast<std::uint32_t>(position + i);
            std::uint32_t instr = le32(data + i);
            if ((instr >> 26) == 0x25) {
                instr = 0x94000000u | ((instr - (pc >> 2)) & 0x03FFFFFFu);
                putLe32(data + i, instr);
            } else if ((instr & 0x9F000000u) == 0x90000000u) {
                const std::uint32_t value = ((instr >> 29) & 3) | ((instr >> 3) & 0x001FFFFCu);
                if (((value + 0x00020000u) & 0x001C0000u) != 0) continue;
                const std::uint32_t target = value - (pc >> 12);
                instr &= 0x9000001Fu;
                instr |= (target & 3) << 29;
                instr |= (target & 0x0003FFFCu) << 3;
                instr |= (0u - (target & 0x00020000u)) & 0x00E00000u;
                putLe32(data + i, instr);
            }
        }
        return last ? size : i;
    }

private:
    std::uint32_t start_;
};

// ARM: BL (condition "always", byte 3 = EB) with a 24-bit word offset relative to pc + 8.
class ArmConverter : public BranchConverter {
public:
    explicit ArmConverter(std::uint32_t start) : start_(start) {}

    std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t position, bool last) override {
        std::size_t i = 0;
        for (; i + 4 <= size; i += 4) {
            if (data[i + 3] != 0xEB) continue;
            const std::uint32_t value = (std::uint32_t(data[i + 2]) << 16 | std::uint32_t(data[i + 1]) << 8 | data[i]) << 2;
            const std::uint32_t target = (value - (start_ + static_cast<std::uint32_t>(position + i) + 8)) >> 2;
            data[i] = static_cast<std::uint8_t>(target);
            data[i + 1] = static_cast<std::uint8_t>(target >> 8);
            data[i + 2] = static_cast<std::uint8_t>(target >> 16);
        }
        return last ? size : i;
    }

private:
    std::uint32_t start_;
};

// ARM Thumb: the BL pair of half-words (F000 + F800 prefixes) holding a 22-bit offset.
class ArmThumbConverter : public BranchConverter {
public:
    explicit ArmThumbConverter(std::uint32_t start) : start_(start) {}

    std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t position, bool last) override {
        std::size_t i = 0;
        while (i + 4 <= size) {
            if ((data[i + 1] & 0xF8) != 0xF0 || (data[i + 3] & 0xF8) != 0xF8) {
                i += 2;
                continue;
            }
            const std::uint32_t value = ((std::uint32_t(data[i + 1] & 7) << 19) | (std::uint32_t(data[i]) << 11) |
                                         (std::uint32_t(data[i + 3] & 7) << 8) | data[i + 2])
                                        << 1;
            const std::uint32_t target = (value - (start_ + static_cast<std::uint32_t>(position + i) + 4)) >> 1;
            data[i + 1] = static_cast<std::uint8_t>(0xF0 | ((target >> 19) & 7));
            data[i] = static_cast<std::uint8_t>(target >> 11);
            data[i + 3] = static_cast<std::uint8_t>(0xF8 | ((target >> 8) & 7));
            data[i + 2] = static_cast<std::uint8_t>(target);
            i += 4;
        }
        return last ? size : i;
    }

private:
    std::uint32_t start_;
};

// PowerPC (big-endian): "bl" (opcode 18 with AA = 0, LK = 1) and its 24-bit offset.
class PowerPcConverter : public BranchConverter {
public:
    explicit PowerPcConverter(std::uint32_t start) : start_(start) {}

    std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t position, bool last) override {
        std::size_t i = 0;
        for (; i + 4 <= size; i += 4) {
            const std::uint32_t instr = be32(data + i);
            if ((instr & 0xFC000003u) != 0x48000001u) continue;
            const std::uint32_t target = (instr & 0x03FFFFFCu) - (start_ + static_cast<std::uint32_t>(position + i));
            putBe32(data + i, 0x48000000u | (target & 0x03FFFFFCu) | 1u);
        }
        return last ? size : i;
    }

private:
    std::uint32_t start_;
};

// SPARC: "call" whose 30-bit displacement fits in 23 signed bits.
class SparcConverter : public BranchConverter {
public:
    explicit SparcConverter(std::uint32_t start) : start_(start) {}

    std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t position, bool last) override {
        std::size_t i = 0;
        for (; i + 4 <= size; i += 4) {
            if (!((data[i] == 0x40 && (data[i + 1] & 0xC0) == 0x00) || (data[i] == 0x7F && (data[i + 1] & 0xC0) == 0xC0)))
                continue;
            std::uint32_t target = (be32(data + i) << 2) - (start_ + static_cast<std::uint32_t>(position + i));
            target >>= 2;
            target = (((0u - ((target >> 22) & 1)) << 22) & 0x3FFFFFFFu) | (target & 0x003FFFFFu) | 0x40000000u;
            putBe32(data + i, target);
        }
        return last ? size : i;
    }

private:
    std::uint32_t start_;
};

class DeltaConverter : public BranchConverter {
public:
    explicit DeltaConverter(unsigned distance) : distance_(distance) {}

    std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t, bool) override {
        // history_ holds the last 256 output bytes; index i of the ring is output byte
        // (count_ - 256 + i) modulo 256.
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint8_t b = static_cast<std::uint8_t>(data[i] + history_[(pos_ - distance_) & 0xFF]);
            data[i] = b;
            history_[pos_ & 0xFF] = b;
            ++pos_;
        }
        return size;
    }

private:
    unsigned distance_;
    unsigned pos_ = 0;
    std::uint8_t history_[256] = {};
};

} // namespace

std::unique_ptr<BranchConverter> makeBranchConverter(BranchKind kind, const std::uint8_t* props, std::size_t propsSize) {
    const std::uint32_t start = startOffset(props, propsSize);
    switch (kind) {
    case BranchKind::X86: return std::make_unique<X86Converter>(start);
    case BranchKind::Arm64: return std::make_unique<Arm64Converter>(start);
    case BranchKind::Arm: return std::make_unique<ArmConverter>(start);
    case BranchKind::ArmThumb: return std::make_unique<ArmThumbConverter>(start);
    case BranchKind::PowerPc: return std::make_unique<PowerPcConverter>(start);
    case BranchKind::Sparc: return std::make_unique<SparcConverter>(start);
    }
    corrupt("unknown branch filter");
}

std::unique_ptr<BranchConverter> makeDeltaConverter(const std::uint8_t* props, std::size_t propsSize) {
    if (propsSize != 1) corrupt("invalid delta filter properties");
    return std::make_unique<DeltaConverter>(unsigned(props[0]) + 1);
}

FilterStream::FilterStream(ByteStreamPtr input, std::unique_ptr<BranchConverter> converter)
    : input_(std::move(input)), converter_(std::move(converter)), buf_(1u << 16) {}

std::size_t FilterStream::read(std::uint8_t* out, std::size_t size) {
    while (readyBegin_ == readyEnd_) {
        // Keep the bytes the converter could not finish, then top the buffer up.
        const std::size_t pending = pendingEnd_ - readyEnd_;
        if (pending == 0 && inputDone_) return 0;
        std::memmove(buf_.data(), buf_.data() + readyEnd_, pending);
        position_ += readyEnd_;
        std::size_t filled = pending;
        while (!inputDone_ && filled < buf_.size()) {
            const std::size_t n = input_->read(buf_.data() + filled, buf_.size() - filled);
            if (n == 0) inputDone_ = true;
            filled += n;
        }
        const std::size_t ready = converter_->convert(buf_.data(), filled, position_, inputDone_);
        readyBegin_ = 0;
        readyEnd_ = ready;
        pendingEnd_ = filled;
    }
    const std::size_t n = std::min(size, readyEnd_ - readyBegin_);
    std::memcpy(out, buf_.data() + readyBegin_, n);
    readyBegin_ += n;
    return n;
}

} // namespace velmora::kel
