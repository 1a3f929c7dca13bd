// Fuzzes the coders on raw streams, without the container. Input layout: a selector byte
// (LZMA, LZMA2, BCJ2, branch filters, Deflate, Deflate64, BZip2), three bytes of output size,
// then the coder's properties and data.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/bcj2_decoder.h"
#include "codec/branch_filters.h"
#include "codec/bzip2_decoder.h"
#include "codec/deflate_decoder.h"
#include "codec/lzma2_decoder.h"
#include "codec/lzma_decoder.h"
#include "common/kel_error.h"

using namespace velmora::kel;

namespace {

class MemoryStream : public ByteStream {
public:
    MemoryStream(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}
    std::size_t read(std::uint8_t* out, std::size_t size) override {
        const std::size_t n = size < left_ ? size : left_;
        std::memcpy(out, p_, n);
        p_ += n;
        left_ -= n;
        return n;
    }

private:
    const std::uint8_t* p_;
    std::size_t left_;
};

ByteStreamPtr memory(const std::uint8_t* data, std::size_t size) { return std::make_unique<MemoryStream>(data, size); }

void drain(ByteStream& s) {
    std::vector<std::uint8_t> buffer(1u << 16);
    while (s.read(buffer.data(), buffer.size()) != 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const unsigned selector = data[0] % 7;
    const std::uint64_t outSize = (std::uint64_t(data[1]) | std::uint64_t(data[2]) << 8 | std::uint64_t(data[3]) << 16) % (1u << 20);
    data += 4;
    size -= 4;
    const std::uint64_t maxWindow = 1u << 22;
    try {
        switch (selector) {
        case 0:
            if (size < 5) return 0;
            {
                LzmaStream s(memory(data + 5, size - 5), data, 5, outSize, maxWindow);
                drain(s);
            }
            break;
        case 1:
            if (size < 1) return 0;
            {
                Lzma2Stream s(memory(data + 1, size - 1), data, 1, outSize, maxWindow);
                drain(s);
            }
            break;
        case 2: {
            // Three 16-bit lengths split the rest into main, call, jump and range-coded parts.
            if (size < 6) return 0;
            std::size_t len[3], at = 6;
            for (int i = 0; i < 3; ++i) len[i] = (data[2 * i] | (data[2 * i + 1] << 8)) % (size + 1);
            const std::uint8_t* parts[4];
            std::size_t sizes[4];
            for (int i = 0; i < 3; ++i) {
                const std::size_t n = std::min(len[i], size - at);
                parts[i] = data + at;
                sizes[i] = n;
                at += n;
            }
            parts[3] = data + at;
            sizes[3] = size - at;
            Bcj2Stream s(memory(parts[0], sizes[0]), memory(parts[1], sizes[1]), memory(parts[2], sizes[2]),
                         memory(parts[3], sizes[3]), outSize);
            drain(s);
            break;
        }
        case 4:
        case 5: {
            DeflateStream s(memory(data, size), outSize, selector == 5);
            drain(s);
            break;
        }
        case 6: {
            BZip2Stream s(memory(data, size), outSize);
            drain(s);
            break;
        }
        default:
            for (BranchKind kind : {BranchKind::X86, BranchKind::Arm64, BranchKind::Arm, BranchKind::ArmThumb,
                                    BranchKind::PowerPc, BranchKind::Sparc}) {
                FilterStream s(memory(data, size), makeBranchConverter(kind, nullptr, 0));
                drain(s);
            }
            if (size > 0) {
                FilterStream s(memory(data + 1, size - 1), makeDeltaConverter(data, 1));
                drain(s);
            }
            break;
        }
    } catch (const KelError&) {
    }
    return 0;
}
