// The LZMA decoder. One flat array of 11-bit probabilities, a range decoder held in locals of
// the hot loop, matches copied inside a window that wraps only once it is full. Input is
// checked once per symbol against a padded end; every distance is checked against the history.
#include "codec/lzma_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/inline.h"
#include "common/kel_error.h"

namespace velmora::kel {
namespace {

constexpr unsigned kNumStates = 12;
constexpr unsigned kPosStatesMax = 16;
constexpr std::uint32_t kTop = 1u << 24;
constexpr unsigned kProbBits = 11;
constexpr unsigned kProbInit = 1u << (kProbBits - 1);
constexpr unsigned kMoveBits = 5;
constexpr unsigned kEndPosModelIndex = 14;
constexpr unsigned kMatchMinLen = 2;

// Offsets into the probability array.
constexpr unsigned kIsMatch = 0;
constexpr unsigned kIsRep = kIsMatch + kNumStates * kPosStatesMax;
constexpr unsigned kIsRepG0 = kIsRep + kNumStates;
constexpr unsigned kIsRepG1 = kIsRepG0 + kNumStates;
constexpr unsigned kIsRepG2 = kIsRepG1 + kNumStates;
constexpr unsigned kIsRep0Long = kIsRepG2 + kNumStates;
constexpr unsigned kPosSlot = kIsRep0Long + kNumStates * kPosStatesMax;
constexpr unsigned kSpecPos = kPosSlot + 4 * 64;
constexpr unsigned kAlign = kSpecPos + 1 + 128 - kEndPosModelIndex;
constexpr unsigned kLenCoder = kAlign + 16;
constexpr unsigned kLenCoderSize = 2 + 2 * kPosStatesMax * 8 + 256;  // choice, choice2, low, mid, high
constexpr unsigned kRepLenCoder = kLenCoder + kLenCoderSize;
constexpr unsigned kLiteral = kRepLenCoder + kLenCoderSize;
constexpr unsigned kLenLow = 2, kLenMid = 2 + kPosStatesMax * 8, kLenHigh = 2 + 2 * kPosStatesMax * 8;

constexpr std::uint8_t kStateAfterLiteral[kNumStates] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

// The range decoder, copied into locals of the decode loop so its fields stay in registers.
struct RangeDecoder {
    std::uint32_t range;
    std::uint32_t code;
    const std::uint8_t* in;

    KEL_INLINE void normalize() {
        if (range < kTop) {
            range <<= 8;
            code = (code << 8) | *in++;
        }
    }
    KEL_INLINE unsigned bit(std::uint16_t& prob) {
        normalize();
        const std::uint32_t p = prob;
        const std::uint32_t bound = (range >> kProbBits) * p;
        if (code < bound) {
            range = bound;
            prob = static_cast<std::uint16_t>(p + (((1u << kProbBits) - p) >> kMoveBits));
            return 0;
        }
        range -= bound;
        code -= bound;
        prob = static_cast<std::uint16_t>(p - (p >> kMoveBits));
        return 1;
    }
    // The same decision without a branch, for the literal bits whose values the CPU cannot
    // predict: the new range, code and probability are selected, not jumped to.
    KEL_INLINE unsigned bitNoBranch(std::uint16_t& prob) {
        normalize();
        const std::uint32_t p = prob;
        const std::uint32_t bound = (range >> kProbBits) * p;
        const unsigned b = code >= bound;
        range = b ? range - bound : bound;
        code = b ? code - bound : code;
        // p + ((2048 - p) >> 5) for a zero, p - (p >> 5) for a one.
        const std::int32_t t = static_cast<std::int32_t>(p) - (b ? 0 : 2017);
        prob = static_cast<std::uint16_t>(static_cast<std::int32_t>(p) - (t >> kMoveBits));
        return b;
    }
    // Bit tree of `bits` levels, most significant bit first.
    KEL_INLINE unsigned tree(std::uint16_t* probs, unsigned bits) {
        unsigned m = 1;
        for (unsigned i = 0; i < bits; ++i) m = (m << 1) | bit(probs[m]);
        return m - (1u << bits);
    }
    // Bit tree read least significant bit first (distance low bits).
    KEL_INLINE unsigned reverseTree(std::uint16_t* probs, unsigned bits) {
        unsigned m = 1, symbol = 0;
        for (unsigned i = 0; i < bits; ++i) {
            const unsigned b = bit(probs[m]);
            m = (m << 1) | b;
            symbol |= b << i;
        }
        return symbol;
    }
    // Bits with a fixed probability of one half.
    KEL_INLINE std::uint32_t direct(unsigned bits) {
        std::uint32_t result = 0;
        do {
            normalize();
            range >>= 1;
            const std::uint32_t b = code >= range ? 1u : 0u;
            code -= range & (0u - b);
            result = (result << 1) | b;
        } while (--bits);
        return result;
    }
    KEL_INLINE unsigned length(std::uint16_t* coder, unsigned posState) {
        if (bit(coder[0]) == 0) return tree(coder + kLenLow + posState * 8, 3);
        if (bit(coder[1]) == 0) return 8 + tree(coder + kLenMid + posState * 8, 3);
        return 16 + tree(coder + kLenHigh, 8);
    }
};

} // namespace

LzmaProperties parseLzmaProperties(const std::uint8_t* props, std::size_t size) {
    if (size < 5) corrupt("LZMA properties are too short");
    unsigned d = props[0];
    if (d >= 9 * 5 * 5) corrupt("invalid LZMA properties");
    LzmaProperties p;
    p.lc = d % 9;
    d /= 9;
    p.lp = d % 5;
    p.pb = d / 5;
    p.dictionarySize = std::uint32_t(props[1]) | std::uint32_t(props[2]) << 8 | std::uint32_t(props[3]) << 16 |
                       std::uint32_t(props[4]) << 24;
    return p;
}

std::size_t lzmaWindowSize(std::uint64_t dictionarySize, std::uint64_t unpackSize, std::uint64_t maxWindow) {
    const std::uint64_t dict = std::max<std::uint64_t>(dictionarySize, 4096);
    // A window that wraps keeps kWindowMargin bytes beyond the dictionary: no valid distance
    // reaches them, so match copies may run over their end by a few bytes (see decode).
    const std::uint64_t size = unpackSize <= dict ? std::max<std::uint64_t>(unpackSize, 1) : dict + LzmaCore::kWindowMargin;
    if (size > maxWindow + LzmaCore::kWindowMargin || size > SIZE_MAX / 2)
        fail(ErrorCode::LimitExceeded, "the dictionary is larger than this library allows");
    return static_cast<std::size_t>(size);
}

LzmaCore::LzmaCore(std::size_t windowSize) : windowSize_(windowSize) {
    try {
        window_.reset(new std::uint8_t[windowSize + kCopySlack]);
    } catch (const std::bad_alloc&) {
        fail(ErrorCode::LimitExceeded, "not enough memory for the dictionary");
    }
}

void LzmaCore::setProperties(unsigned lc, unsigned lp, unsigned pb) {
    if (lc > 8 || lp > 4 || pb > 4) corrupt("invalid LZMA properties");
    lc_ = lc;
    lp_ = lp;
    pb_ = pb;
    probs_.assign(kLiteral + (0x300u << (lc + lp)), static_cast<std::uint16_t>(kProbInit));
}

void LzmaCore::resetState() {
    std::fill(probs_.begin(), probs_.end(), static_cast<std::uint16_t>(kProbInit));
    state_ = 0;
    rep_[0] = rep_[1] = rep_[2] = rep_[3] = 0;
    pendingLength_ = 0;
}

void LzmaCore::resetDictionary() {
    pos_ = 0;
    full_ = false;
    processed_ = 0;
    pendingLength_ = 0;
}

void LzmaCore::startRangeCoder(const std::uint8_t* in) {
    if (in[0] != 0) corrupt("LZMA data error");
    range_ = 0xFFFFFFFFu;
    code_ = std::uint32_t(in[1]) << 24 | std::uint32_t(in[2]) << 16 | std::uint32_t(in[3]) << 8 | in[4];
    if (code_ == range_) corrupt("LZMA data error");
}

const std::uint8_t* LzmaCore::finishRangeCoder(const std::uint8_t* in) {
    if (range_ < kTop) {
        range_ <<= 8;
        code_ = (code_ << 8) | *in++;
    }
    return in;
}

void LzmaCore::appendUncompressed(const std::uint8_t* data, std::size_t size) {
    std::memcpy(window_.get() + pos_, data, size);
    pos_ += size;
    processed_ += static_cast<std::uint32_t>(size);
}

void LzmaCore::copyPendingMatch(std::size_t limit) {
    std::uint8_t* const dic = window_.get();
    const std::size_t distance = std::size_t(rep_[0]) + 1;
    std::size_t n = std::min(pendingLength_, limit - pos_);
    pendingLength_ -= n;
    processed_ += static_cast<std::uint32_t>(n);
    std::size_t src = pos_ >= distance ? pos_ - distance : pos_ + windowSize_ - distance;
    while (n--) {
        dic[pos_++] = dic[src++];
        if (src == windowSize_) src = 0;
    }
}

LzmaCore::Result LzmaCore::decode(const std::uint8_t*& in, const std::uint8_t* inEnd, bool lastInput,
                                  std::size_t limit) {
    if (pendingLength_ != 0) copyPendingMatch(limit);

    std::uint8_t* const dic = window_.get();
    const std::size_t dicSize = windowSize_;
    std::uint16_t* const probs = probs_.data();
    const unsigned lc = lc_;
    const std::uint32_t lpMask = (1u << lp_) - 1, pbMask = (1u << pb_) - 1;
    const std::ptrdiff_t reserve = lastInput ? 0 : static_cast<std::ptrdiff_t>(kInputPadding);

    RangeDecoder rc{range_, code_, in};
    std::size_t pos = pos_;
    std::uint32_t processed = processed_;
    unsigned state = state_;
    std::uint32_t rep0 = rep_[0], rep1 = rep_[1], rep2 = rep_[2], rep3 = rep_[3];
    std::size_t pending = pendingLength_;  // non-zero only when the limit stopped the copy above
    bool full = full_;
    Result result = Result::Reached;

    while (pos < limit) {
        if (KEL_UNLIKELY(inEnd - rc.in < reserve)) {
            result = Result::NeedInput;
            break;
        }
        const unsigned posState = processed & pbMask;
        if (rc.bit(probs[kIsMatch + (state << 4) + posState]) == 0) {
            const unsigned prev = pos > 0 ? dic[pos - 1] : (full ? dic[dicSize - 1] : 0);
            std::uint16_t* lit = probs + kLiteral + 0x300u * (((processed & lpMask) << lc) + (prev >> (8 - lc)));
            unsigned symbol = 1;
            if (state < 7) {
                do symbol = (symbol << 1) | rc.bitNoBranch(lit[symbol]);
                while (symbol < 0x100);
            } else {
                // Matched literal: the byte at rep0 steers the probabilities until the first
                // bit that differs from it.
                const std::size_t d = std::size_t(rep0) + 1;
                unsigned matchByte = dic[pos >= d ? pos - d : pos + dicSize - d];
                unsigned offs = 0x100;
                do {
                    matchByte <<= 1;
                    const unsigned matchBit = matchByte & offs;
                    const unsigned b = rc.bitNoBranch(lit[offs + matchBit + symbol]);
                    symbol = (symbol << 1) | b;
                    offs &= b ? matchBit : ~matchBit;
                } while (symbol < 0x100);
            }
            dic[pos++] = static_cast<std::uint8_t>(symbol);
            ++processed;
            state = kStateAfterLiteral[state];
            continue;
        }

        unsigned len;
        if (rc.bit(probs[kIsRep + state]) == 0) {
            len = rc.length(probs + kLenCoder, posState);
            const unsigned lenState = len < 3 ? len : 3;
            const unsigned posSlot = rc.tree(probs + kPosSlot + (lenState << 6), 6);
            std::uint32_t dist;
            if (posSlot < 4) {
                dist = posSlot;
            } else {
                const unsigned directBits = (posSlot >> 1) - 1;
                dist = (2u | (posSlot & 1u)) << directBits;
                if (posSlot < kEndPosModelIndex) {
                    dist += rc.reverseTree(probs + kSpecPos + dist - posSlot, directBits);
                } else {
                    dist += rc.direct(directBits - 4) << 4;
                    dist += rc.reverseTree(probs + kAlign, 4);
                    if (dist == 0xFFFFFFFFu) {
                        result = Result::EndMarker;
                        break;
                    }
                }
            }
            rep3 = rep2;
            rep2 = rep1;
            rep1 = rep0;
            rep0 = dist;
            state = state < 7 ? 7 : 10;
        } else {
            if (rc.bit(probs[kIsRepG0 + state]) == 0) {
                if (rc.bit(probs[kIsRep0Long + (state << 4) + posState]) == 0) {
                    if (KEL_UNLIKELY(rep0 >= (full ? dicSize : pos))) corrupt("LZMA data error");
                    const std::size_t d = std::size_t(rep0) + 1;
                    dic[pos] = dic[pos >= d ? pos - d : pos + dicSize - d];
                    ++pos;
                    ++processed;
                    state = state < 7 ? 9 : 11;
                    continue;
                }
            } else {
                std::uint32_t d;
                if (rc.bit(probs[kIsRepG1 + state]) == 0) {
                    d = rep1;
                } else {
                    if (rc.bit(probs[kIsRepG2 + state]) == 0) {
                        d = rep2;
                    } else {
                        d = rep3;
                        rep3 = rep2;
                    }
                    rep2 = rep1;
                }
                rep1 = rep0;
                rep0 = d;
            }
            len = rc.length(probs + kRepLenCoder, posState);
            state = state < 7 ? 8 : 11;
        }

        if (KEL_UNLIKELY(rep0 >= (full ? dicSize : pos))) corrupt("LZMA data error");
        std::size_t total = len + kMatchMinLen;
        const std::size_t room = limit - pos;
        if (total > room) {
            pending = total - room;
            total = room;
        }
        processed += static_cast<std::uint32_t>(total);
        const std::size_t d = std::size_t(rep0) + 1;
        std::size_t src = pos >= d ? pos - d : pos + dicSize - d;
        if (KEL_LIKELY(src + total <= dicSize)) {
            std::uint8_t* out = dic + pos;
            const std::uint8_t* from = dic + src;
            pos += total;
            if (d >= 8) {
                // Eight bytes at a time, possibly up to seven past the match: those bytes are
                // either not yet written (the window has not wrapped), beyond any valid
                // distance (the margin after a wrapped dictionary), or the slack after the
                // window's end. The source lies at least eight bytes behind the destination,
                // or (after a wrap) more than a match length plus the margin ahead of it.
                for (std::size_t i = 0; i < total; i += 8) {
                    std::uint64_t chunk;
                    std::memcpy(&chunk, from + i, 8);
                    std::memcpy(out + i, &chunk, 8);
                }
            } else if (d == 1) {
                std::memset(out, *from, total);
            } else {
                do *out++ = *from++;
                while (--total);
            }
        } else {
            do {
                dic[pos++] = dic[src++];
                if (src == dicSize) src = 0;
            } while (--total);
        }
        if (pending != 0) break;
    }

    if (lastInput && rc.in > inEnd) corrupt("LZMA data is truncated");
    range_ = rc.range;
    code_ = rc.code;
    in = rc.in;
    pos_ = pos;
    processed_ = processed;
    state_ = state;
    rep_[0] = rep0;
    rep_[1] = rep1;
    rep_[2] = rep2;
    rep_[3] = rep3;
    pendingLength_ = pending;
    full_ = full;
    return result;
}

LzmaStream::LzmaStream(ByteStreamPtr input, const std::uint8_t* props, std::size_t propsSize,
                       std::uint64_t unpackSize, std::uint64_t maxWindow)
    : input_(std::move(input)),
      core_(lzmaWindowSize(parseLzmaProperties(props, propsSize).dictionarySize, unpackSize, maxWindow)),
      remaining_(unpackSize),
      inBuf_((1u << 16) + LzmaCore::kInputPadding, 0) {
    const LzmaProperties p = parseLzmaProperties(props, propsSize);
    core_.setProperties(p.lc, p.lp, p.pb);
    core_.resetState();
    core_.resetDictionary();
}

bool LzmaStream::refill() {
    if (inputDone_) return false;
    const std::size_t left = inEnd_ - inPos_;
    std::memmove(inBuf_.data(), inBuf_.data() + inPos_, left);
    inPos_ = 0;
    inEnd_ = left;
    const std::size_t capacity = inBuf_.size() - LzmaCore::kInputPadding;
    bool added = false;
    while (inEnd_ < capacity) {
        const std::size_t n = input_->read(inBuf_.data() + inEnd_, capacity - inEnd_);
        if (n == 0) {
            inputDone_ = true;
            break;
        }
        inEnd_ += n;
        added = true;
    }
    std::memset(inBuf_.data() + inEnd_, 0, LzmaCore::kInputPadding);
    return added;
}

std::size_t LzmaStream::read(std::uint8_t* out, std::size_t size) {
    if (remaining_ == 0 || size == 0) return 0;
    if (!started_) {
        refill();
        if (inEnd_ < 5) corrupt("LZMA data is truncated");
        core_.startRangeCoder(inBuf_.data());
        inPos_ = 5;
        started_ = true;
    }
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, remaining_));
    std::size_t produced = 0;
    while (produced < want) {
        if (core_.position() == core_.windowSize()) core_.wrap();
        const std::size_t start = core_.position();
        const std::size_t limit = start + std::min(want - produced, core_.windowSize() - start);
        const std::uint8_t* in = inBuf_.data() + inPos_;
        const LzmaCore::Result r = core_.decode(in, inBuf_.data() + inEnd_, inputDone_, limit);
        inPos_ = static_cast<std::size_t>(in - inBuf_.data());
        const std::size_t got = core_.position() - start;
        std::memcpy(out + produced, core_.window() + start, got);
        produced += got;
        if (r == LzmaCore::Result::EndMarker) corrupt("LZMA stream ends before its declared size");
        if (r == LzmaCore::Result::NeedInput) refill();  // at the end of input: decode the rest strictly
    }
    remaining_ -= produced;
    return produced;
}

} // namespace velmora::kel
