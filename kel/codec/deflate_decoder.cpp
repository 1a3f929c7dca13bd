// Deflate decoding: an LSB-first bit reader over buffered input, canonical Huffman codes looked
// up in one table indexed by the next 15 bits (reversed), and a 64 KiB circular window.
#include "codec/deflate_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/kel_error.h"

namespace velmora::kel {
namespace {

constexpr unsigned kMaxBits = 15;
constexpr std::size_t kWindow = 1u << 16;

const std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const std::uint32_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                     49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                     2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const std::uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                     7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
const std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code: entry i of the table is (symbol << 4 | length) for the code whose
// bits, read first to last, are the low bits of i; 0 marks an unused pattern.
struct Huffman {
    std::vector<std::uint16_t> table = std::vector<std::uint16_t>(1u << kMaxBits);

    void build(const std::uint8_t* lengths, unsigned count) {
        unsigned histogram[kMaxBits + 1] = {};
        for (unsigned i = 0; i < count; ++i) ++histogram[lengths[i]];
        histogram[0] = 0;
        // Over-subscribed lengths are corrupt; incomplete codes are allowed (a lone distance code).
        int left = 1;
        for (unsigned len = 1; len <= kMaxBits; ++len) {
            left = (left << 1) - static_cast<int>(histogram[len]);
            if (left < 0) corrupt("invalid Deflate code lengths");
        }
        unsigned next[kMaxBits + 2] = {};
        for (unsigned len = 1; len <= kMaxBits; ++len) next[len + 1] = (next[len] + histogram[len]) << 1;
        std::fill(table.begin(), table.end(), std::uint16_t(0));
        for (unsigned sym = 0; sym < count; ++sym) {
            const unsigned len = lengths[sym];
            if (len == 0) continue;
            const unsigned code = next[len]++;
            unsigned reversed = 0;
            for (unsigned b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
            for (unsigned i = reversed; i < (1u << kMaxBits); i += 1u << len)
                table[i] = static_cast<std::uint16_t>(sym << 4 | len);
        }
    }
};

} // namespace

struct DeflateStream::State {
    ByteStreamPtr input;
    std::uint64_t remaining;
    bool deflate64;

    std::vector<std::uint8_t> inBuf = std::vector<std::uint8_t>(1u << 16);
    std::size_t inPos = 0, inEnd = 0;
    bool inputDone = false;
    std::size_t overrun = 0;  // zero bytes fed after the input ended
    std::uint64_t bits = 0;
    unsigned bitCount = 0;

    std::vector<std::uint8_t> window = std::vector<std::uint8_t>(kWindow);
    std::size_t pos = 0;
    std::uint64_t written = 0;

    enum class Mode { BlockHeader, Stored, Huffman, Done } mode = Mode::BlockHeader;
    bool finalBlock = false;
    std::size_t storedLeft = 0;
    std::size_t matchLeft = 0, matchDistance = 0;
    Huffman literals, distances;

    std::uint8_t nextByte() {
        if (inPos == inEnd) {
            if (!inputDone) {
                inPos = 0;
                inEnd = input->read(inBuf.data(), inBuf.size());
                if (inEnd == 0) inputDone = true;
            }
            if (inPos == inEnd) {
                if (++overrun > 8) corrupt("Deflate data is truncated");
                return 0;
            }
        }
        return inBuf[inPos++];
    }
    void need(unsigned n) {
        while (bitCount < n) {
            bits |= std::uint64_t(nextByte()) << bitCount;
            bitCount += 8;
        }
    }
    unsigned take(unsigned n) {
        if (n == 0) return 0;
        need(n);
        const unsigned v = static_cast<unsigned>(bits & ((1u << n) - 1));
        bits >>= n;
        bitCount -= n;
        return v;
    }
    unsigned decode(const Huffman& h) {
        need(kMaxBits);
        const std::uint16_t e = h.table[bits & ((1u << kMaxBits) - 1)];
        if (e == 0) corrupt("invalid Deflate code");
        bits >>= (e & 15);
        bitCount -= (e & 15);
        return e >> 4;
    }

    void readBlockHeader() {
        finalBlock = take(1) != 0;
        const unsigned type = take(2);
        if (type == 0) {
            bits >>= bitCount % 8;
            bitCount -= bitCount % 8;
            const unsigned len = take(16), nlen = take(16);
            if ((len ^ 0xFFFF) != nlen) corrupt("invalid Deflate stored block");
            storedLeft = len;
            mode = Mode::Stored;
            return;
        }
        std::uint8_t lengths[288 + 32] = {};
        if (type == 1) {
            for (unsigned i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
            literals.build(lengths, 288);
            std::fill(lengths, lengths + 32, std::uint8_t(5));
            distances.build(lengths, 32);
        } else if (type == 2) {
            const unsigned hlit = take(5) + 257, hdist = take(5) + 1, hclen = take(4) + 4;
            std::uint8_t clen[19] = {};
            for (unsigned i = 0; i < hclen; ++i) clen[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(take(3));
            Huffman codeLengths;
            codeLengths.build(clen, 19);
            for (unsigned i = 0; i < hlit + hdist;) {
                const unsigned sym = decode(codeLengths);
                if (sym < 16) {
                    lengths[i++] = static_cast<std::uint8_t>(sym);
                    continue;
                }
                unsigned repeat;
                std::uint8_t value = 0;
                if (sym == 16) {
                    if (i == 0) corrupt("invalid Deflate code lengths");
                    value = lengths[i - 1];
                    repeat = 3 + take(2);
                } else if (sym == 17) {
                    repeat = 3 + take(3);
                } else {
                    repeat = 11 + take(7);
                }
                if (i + repeat > hlit + hdist) corrupt("invalid Deflate code lengths");
                while (repeat--) lengths[i++] = value;
            }
            if (lengths[256] == 0) corrupt("invalid Deflate code lengths");
            literals.build(lengths, hlit);
            distances.build(lengths + hlit, hdist);
        } else {
            corrupt("invalid Deflate block type");
        }
        mode = Mode::Huffman;
    }

    void put(std::uint8_t b) {
        window[pos] = b;
        pos = (pos + 1) & (kWindow - 1);
        ++written;
    }

    // Produces bytes into the window until `want` are made or the stream ends; returns the count.
    std::size_t produce(std::size_t want) {
        std::size_t made = 0;
        while (made < want) {
            if (matchLeft > 0) {
                const std::size_t n = std::min(matchLeft, want - made);
                std::size_t src = (pos - matchDistance) & (kWindow - 1);
                for (std::size_t i = 0; i < n; ++i) {
                    put(window[src]);
                    src = (src + 1) & (kWindow - 1);
                }
                matchLeft -= n;
                made += n;
                continue;
            }
            switch (mode) {
            case Mode::Done: return made;
            case Mode::BlockHeader: readBlockHeader(); break;
            case Mode::Stored:
                if (storedLeft == 0) {
                    mode = finalBlock ? Mode::Done : Mode::BlockHeader;
                    break;
                }
                put(static_cast<std::uint8_t>(take(8)));
                --storedLeft;
                ++made;
                break;
            case Mode::Huffman: {
                const unsigned sym = decode(literals);
                if (sym < 256) {
                    put(static_cast<std::uint8_t>(sym));
                    ++made;
                    break;
                }
                if (sym == 256) {
                    mode = finalBlock ? Mode::Done : Mode::BlockHeader;
                    break;
                }
                const unsigned code = sym - 257;
                if (code >= 29) corrupt("invalid Deflate length");
                std::size_t length;
                if (deflate64 && code == 28) {
                    length = 3 + take(16);
                } else {
                    length = kLengthBase[code] + take(kLengthExtra[code]);
                }
                const unsigned d = decode(distances);
                if (d >= (deflate64 ? 32u : 30u)) corrupt("invalid Deflate distance");
                const std::size_t distance = kDistBase[d] + take(kDistExtra[d]);
                if (distance > written || distance > (deflate64 ? kWindow : kWindow / 2))
                    corrupt("Deflate distance beyond the data");
                matchDistance = distance;
                matchLeft = length;
                break;
            }
            }
        }
        return made;
    }
};

DeflateStream::DeflateStream(ByteStreamPtr input, std::uint64_t unpackSize, bool deflate64)
    : s_(std::make_unique<State>()) {
    s_->input = std::move(input);
    s_->remaining = unpackSize;
    s_->deflate64 = deflate64;
}

DeflateStream::~DeflateStream() = default;

std::size_t DeflateStream::read(std::uint8_t* out, std::size_t size) {
    State& s = *s_;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>({size, s.remaining, kWindow / 2}));
    if (want == 0) return 0;
    const std::size_t start = s.pos;
    const std::size_t made = s.produce(want);
    if (made == 0) corrupt("Deflate stream ends before its declared size");
    // The bytes made sit in the window from start, possibly wrapping.
    const std::size_t first = std::min(made, kWindow - start);
    std::memcpy(out, s.window.data() + start, first);
    std::memcpy(out + first, s.window.data(), made - first);
    s.remaining -= made;
    return made;
}

} // namespace velmora::kel
