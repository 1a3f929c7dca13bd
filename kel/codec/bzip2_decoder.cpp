// BZip2 decoding: per block, the Huffman-coded MTF/run symbols are read into a byte vector,
// the inverse Burrows-Wheeler transform links it into a chain, and the chain is walked lazily
// while the final run-length stage and the block CRC are applied on output.
#include "codec/bzip2_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/kel_error.h"

namespace velmora::kel {
namespace {

constexpr std::uint64_t kBlockMagic = 0x314159265359ull;
constexpr std::uint64_t kEndMagic = 0x177245385090ull;
constexpr unsigned kMaxGroups = 6;
constexpr unsigned kMaxSelectors = 18002;
constexpr unsigned kMaxCodeLength = 20;
constexpr unsigned kGroupSize = 50;

// The CRC bzip2 uses: polynomial 0x04C11DB7, most significant bit first.
struct CrcTable {
    std::uint32_t t[256];
    CrcTable() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i << 24;
            for (int k = 0; k < 8; ++k) c = (c << 1) ^ (0x04C11DB7u & (0u - (c >> 31)));
            t[i] = c;
        }
    }
};
const CrcTable& crcTable() {
    static const CrcTable table;
    return table;
}

// A code table of one group, decoded the canonical way: the code of length n is compared with
// the largest code of that length.
struct GroupCode {
    int limit[kMaxCodeLength + 2];
    int base[kMaxCodeLength + 2];
    std::uint16_t perm[258];
    unsigned minLength = 0;

    void build(const std::uint8_t* lengths, unsigned alphaSize) {
        unsigned minLen = kMaxCodeLength, maxLen = 1;
        for (unsigned i = 0; i < alphaSize; ++i) {
            minLen = std::min<unsigned>(minLen, lengths[i]);
            maxLen = std::max<unsigned>(maxLen, lengths[i]);
        }
        unsigned p = 0;
        for (unsigned len = minLen; len <= maxLen; ++len)
            for (unsigned s = 0; s < alphaSize; ++s)
                if (lengths[s] == len) perm[p++] = static_cast<std::uint16_t>(s);
        unsigned count[kMaxCodeLength + 2] = {};
        for (unsigned i = 0; i < alphaSize; ++i) ++count[lengths[i]];
        int code = 0, index = 0;
        for (unsigned len = 0; len <= kMaxCodeLength + 1; ++len) limit[len] = -1, base[len] = 0;
        for (unsigned len = minLen; len <= maxLen; ++len) {
            base[len] = index - code;  // symbol index = code + base
            code += static_cast<int>(count[len]);
            index += static_cast<int>(count[len]);
            limit[len] = code - 1;
            code <<= 1;
        }
        minLength = minLen;
    }
};

} // namespace

struct BZip2Stream::State {
    ByteStreamPtr input;
    std::uint64_t remaining;

    std::vector<std::uint8_t> inBuf = std::vector<std::uint8_t>(1u << 16);
    std::size_t inPos = 0, inEnd = 0;
    bool inputDone = false;
    std::uint64_t bits = 0;
    unsigned bitCount = 0;

    std::size_t blockMax = 0;           // from the stream header, 0 before it is read
    std::vector<std::uint32_t> tt;      // the block: byte in the low 8 bits, chain link above
    std::uint32_t blockLength = 0;
    std::uint32_t tPos = 0, left = 0;   // walk of the chain
    std::uint32_t expectedCrc = 0, crc = 0, combined = 0;
    // The final run-length stage: after four equal bytes the next value is a repeat count.
    int lastByte = -1;
    unsigned sameCount = 0;
    unsigned repeatLeft = 0;
    bool inBlock = false;
    bool streamEnded = true;            // expecting a stream header

    bool readByte(std::uint8_t& b) {
        if (inPos == inEnd) {
            if (inputDone) return false;
            inPos = 0;
            inEnd = input->read(inBuf.data(), inBuf.size());
            if (inEnd == 0) {
                inputDone = true;
                return false;
            }
        }
        b = inBuf[inPos++];
        return true;
    }
    unsigned take(unsigned n) {
        while (bitCount < n) {
            std::uint8_t b;
            if (!readByte(b)) corrupt("BZip2 data is truncated");
            bits = (bits << 8) | b;
            bitCount += 8;
        }
        bitCount -= n;
        return static_cast<unsigned>((bits >> bitCount) & ((std::uint64_t(1) << n) - 1));
    }

    void readStreamHeader() {
        bitCount = 0;  // streams start on a byte boundary
        if (take(8) != 'B' || take(8) != 'Z' || take(8) != 'h') corrupt("not a BZip2 stream");
        const unsigned level = take(8);
        if (level < '1' || level > '9') corrupt("invalid BZip2 block size");
        blockMax = (level - '0') * 100000u;
        combined = 0;
        streamEnded = false;
    }

    // Reads the next block; false at the end of the stream.
    bool readBlock() {
        const std::uint64_t magic = (std::uint64_t(take(24)) << 24) | take(24);
        if (magic == kEndMagic) {
            if (take(32) != combined) fail(ErrorCode::CrcMismatch, "BZip2 stream CRC mismatch");
            streamEnded = true;
            return false;
        }
        if (magic != kBlockMagic) corrupt("invalid BZip2 block");
        expectedCrc = take(32);
        if (take(1)) fail(ErrorCode::UnsupportedMethod, "randomised BZip2 blocks are not supported");
        const std::uint32_t origin = take(24);

        std::uint8_t seqToByte[256];
        unsigned used = 0;
        const unsigned groupsUsed = take(16);
        for (unsigned i = 0; i < 16; ++i) {
            if (!(groupsUsed & (0x8000u >> i))) continue;
            const unsigned bitsUsed = take(16);
            for (unsigned j = 0; j < 16; ++j)
                if (bitsUsed & (0x8000u >> j)) seqToByte[used++] = static_cast<std::uint8_t>(i * 16 + j);
        }
        if (used == 0) corrupt("invalid BZip2 block");
        const unsigned alphaSize = used + 2;

        const unsigned groups = take(3);
        if (groups < 2 || groups > kMaxGroups) corrupt("invalid BZip2 block");
        const unsigned selectorCount = take(15);
        if (selectorCount == 0) corrupt("invalid BZip2 block");
        std::vector<std::uint8_t> selectors;
        selectors.reserve(std::min(selectorCount, kMaxSelectors));
        std::uint8_t groupMtf[kMaxGroups];
        for (unsigned i = 0; i < groups; ++i) groupMtf[i] = static_cast<std::uint8_t>(i);
        for (unsigned i = 0; i < selectorCount; ++i) {
            unsigned j = 0;
            while (take(1)) {
                if (++j >= groups) corrupt("invalid BZip2 selector");
            }
            const std::uint8_t g = groupMtf[j];
            std::memmove(groupMtf + 1, groupMtf, j);
            groupMtf[0] = g;
            if (i < kMaxSelectors) selectors.push_back(g);
        }

        GroupCode codes[kMaxGroups];
        for (unsigned g = 0; g < groups; ++g) {
            std::uint8_t lengths[258];
            int len = static_cast<int>(take(5));
            for (unsigned s = 0; s < alphaSize; ++s) {
                for (;;) {
                    if (len < 1 || len > static_cast<int>(kMaxCodeLength)) corrupt("invalid BZip2 code length");
                    if (!take(1)) break;
                    len += take(1) ? -1 : 1;
                }
                lengths[s] = static_cast<std::uint8_t>(len);
            }
            codes[g].build(lengths, alphaSize);
        }

        // Symbols: runs of the front byte (RUNA/RUNB, bijective base 2), MTF positions, end.
        tt.clear();  // grows with the symbols actually decoded, at most blockMax
        std::uint32_t counts[256] = {};
        std::uint8_t mtf[256];
        for (unsigned i = 0; i < 256; ++i) mtf[i] = static_cast<std::uint8_t>(i);
        std::uint32_t n = 0;
        std::uint32_t run = 0, runWeight = 1;
        std::size_t group = 0;
        unsigned inGroup = 0;
        const GroupCode* code = nullptr;
        auto flushRun = [&] {
            if (run == 0) return;
            const std::uint8_t b = seqToByte[mtf[0]];
            if (run > blockMax - n) corrupt("BZip2 block overflow");
            counts[b] += run;
            tt.insert(tt.end(), run, b);
            n += run;
            run = 0;
            runWeight = 1;
        };
        for (;;) {
            if (inGroup == 0) {
                if (group >= selectors.size()) corrupt("invalid BZip2 block");
                code = &codes[selectors[group++]];
                inGroup = kGroupSize;
            }
            --inGroup;
            unsigned len = code->minLength;
            int v = static_cast<int>(take(len));
            while (v > code->limit[len]) {
                if (++len > kMaxCodeLength) corrupt("invalid BZip2 code");
                v = (v << 1) | static_cast<int>(take(1));
            }
            const int index = v + code->base[len];
            if (index < 0 || index >= static_cast<int>(alphaSize)) corrupt("invalid BZip2 code");
            const unsigned sym = code->perm[index];
            if (sym <= 1) {  // RUNA adds the weight, RUNB twice the weight
                if (runWeight > (1u << 21)) corrupt("BZip2 run too long");
                run += runWeight << sym;
                runWeight <<= 1;
                continue;
            }
            flushRun();
            if (sym == alphaSize - 1) break;
            const unsigned pos = sym - 1;
            const std::uint8_t front = mtf[pos];
            std::memmove(mtf + 1, mtf, pos);
            mtf[0] = front;
            const std::uint8_t b = seqToByte[front];
            if (n >= blockMax) corrupt("BZip2 block overflow");
            ++counts[b];
            tt.push_back(b);
            ++n;
        }
        if (origin >= n) corrupt("invalid BZip2 block origin");

        // Inverse transform: link each position to the next one of the original order.
        std::uint32_t start[256];
        std::uint32_t sum = 0;
        for (unsigned i = 0; i < 256; ++i) {
            start[i] = sum;
            sum += counts[i];
        }
        for (std::uint32_t i = 0; i < n; ++i) tt[start[tt[i] & 0xFF]++] |= i << 8;
        blockLength = n;
        tPos = tt[origin] >> 8;
        left = n;
        crc = 0xFFFFFFFFu;
        lastByte = -1;
        sameCount = 0;
        repeatLeft = 0;
        inBlock = true;
        return true;
    }

    void emit(std::uint8_t b, std::uint8_t* out, std::size_t& n) {
        out[n++] = b;
        crc = (crc << 8) ^ crcTable().t[(crc >> 24) ^ b];
    }

    void finishBlock() {
        crc = ~crc;
        if (crc != expectedCrc) fail(ErrorCode::CrcMismatch, "BZip2 block CRC mismatch");
        combined = ((combined << 1) | (combined >> 31)) ^ crc;
        inBlock = false;
    }
};

BZip2Stream::BZip2Stream(ByteStreamPtr input, std::uint64_t unpackSize) : s_(std::make_unique<State>()) {
    s_->input = std::move(input);
    s_->remaining = unpackSize;
}

BZip2Stream::~BZip2Stream() = default;

std::size_t BZip2Stream::read(std::uint8_t* out, std::size_t size) {
    State& s = *s_;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, s.remaining));
    std::size_t n = 0;
    while (n < want) {
        if (!s.inBlock) {
            if (s.streamEnded) s.readStreamHeader();
            if (!s.readBlock()) continue;
        }
        if (s.repeatLeft > 0) {
            s.emit(static_cast<std::uint8_t>(s.lastByte), out, n);
            --s.repeatLeft;
            continue;
        }
        if (s.left == 0) {
            s.finishBlock();
            continue;
        }
        const std::uint32_t link = s.tt[s.tPos];
        const std::uint8_t b = static_cast<std::uint8_t>(link & 0xFF);
        s.tPos = link >> 8;
        --s.left;
        if (s.sameCount == 4) {  // b is the repeat count of the run just written
            s.repeatLeft = b;
            s.sameCount = 0;
            continue;
        }
        if (b == s.lastByte) {
            ++s.sameCount;
        } else {
            s.sameCount = 1;
            s.lastByte = b;
        }
        s.emit(b, out, n);
    }
    // At the end of the output, take the last block's trailing repeat count and check its CRC.
    if (n == s.remaining && s.inBlock && s.repeatLeft == 0) {
        if (s.left == 1 && s.sameCount == 4) {
            if ((s.tt[s.tPos] & 0xFF) != 0) corrupt("BZip2 data longer than its declared size");
            s.left = 0;
        }
        if (s.left == 0) s.finishBlock();
    }
    s.remaining -= n;
    return n;
}

} // namespace velmora::kel
