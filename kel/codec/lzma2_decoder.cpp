// LZMA2 chunk parsing. Each chunk is read whole (at most 64 KiB packed) into a padded buffer
// and decoded there, so the LZMA core never waits for input in the middle of a chunk.
#include "codec/lzma2_decoder.h"

#include <algorithm>
#include <cstring>

#include "common/kel_error.h"

namespace velmora::kel {

std::uint64_t lzma2DictionarySize(std::uint8_t prop) {
    if (prop > 40) corrupt("invalid LZMA2 dictionary size");
    if (prop == 40) return 0xFFFFFFFFu;
    return std::uint64_t(2 | (prop & 1)) << (prop / 2 + 11);
}

namespace {
std::uint64_t lzma2Dictionary(const std::uint8_t* props, std::size_t size) {
    if (size < 1) corrupt("LZMA2 properties are missing");
    return lzma2DictionarySize(props[0]);
}
} // namespace

Lzma2Stream::Lzma2Stream(ByteStreamPtr input, const std::uint8_t* props, std::size_t propsSize,
                         std::uint64_t unpackSize, std::uint64_t maxWindow)
    : input_(std::move(input)),
      core_(lzmaWindowSize(lzma2Dictionary(props, propsSize), unpackSize, maxWindow)),
      remaining_(unpackSize),
      chunk_((1u << 16) + LzmaCore::kInputPadding, 0) {}

// Reads the next chunk header and its data; false at the end marker.
bool Lzma2Stream::startChunk() {
    std::uint8_t control = 0;
    if (readFully(*input_, &control, 1) != 1) corrupt("LZMA2 data is truncated");
    if (control == 0) return false;

    if (control == 1 || control == 2) {
        std::uint8_t h[2];
        if (readFully(*input_, h, 2) != 2) corrupt("LZMA2 data is truncated");
        const std::size_t size = ((std::size_t(h[0]) << 8) | h[1]) + 1;
        if (control == 1) {
            core_.resetDictionary();
            needDictionaryReset_ = false;
            needProperties_ = true;  // the next compressed chunk must bring its properties
        } else if (needDictionaryReset_) {
            corrupt("LZMA2 data error");
        }
        if (readFully(*input_, chunk_.data(), size) != size) corrupt("LZMA2 data is truncated");
        chunkIn_ = chunk_.data();
        chunkEnd_ = chunkIn_ + size;
        chunkLeft_ = size;
        stored_ = true;
        return true;
    }
    if (control < 0x80) corrupt("LZMA2 data error");

    std::uint8_t h[5];
    const unsigned mode = (control >> 5) & 3;
    const std::size_t headerSize = mode >= 2 ? 5 : 4;
    if (readFully(*input_, h, headerSize) != headerSize) corrupt("LZMA2 data is truncated");
    const std::size_t unpacked = ((std::size_t(control & 0x1F) << 16) | (std::size_t(h[0]) << 8) | h[1]) + 1;
    const std::size_t packed = ((std::size_t(h[2]) << 8) | h[3]) + 1;
    if (mode == 3) {
        core_.resetDictionary();
        needDictionaryReset_ = false;
    } else if (needDictionaryReset_) {
        corrupt("LZMA2 data error");
    }
    if (mode >= 2) {
        const unsigned p = h[4];
        if (p >= 9 * 5 * 5) corrupt("invalid LZMA2 properties");
        const unsigned lc = p % 9, lp = (p / 9) % 5, pb = p / 45;
        if (lc + lp > 4 || pb > 4) corrupt("invalid LZMA2 properties");
        core_.setProperties(lc, lp, pb);
        needProperties_ = false;
    } else if (needProperties_) {
        corrupt("LZMA2 data error");
    }
    if (mode >= 1) core_.resetState();

    if (packed < 5 || readFully(*input_, chunk_.data(), packed) != packed) corrupt("LZMA2 data is truncated");
    std::memset(chunk_.data() + packed, 0, LzmaCore::kInputPadding);
    core_.startRangeCoder(chunk_.data());
    chunkIn_ = chunk_.data() + 5;
    chunkEnd_ = chunk_.data() + packed;
    chunkLeft_ = unpacked;
    stored_ = false;
    return true;
}

std::size_t Lzma2Stream::read(std::uint8_t* out, std::size_t size) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, remaining_));
    std::size_t produced = 0;
    while (produced < want) {
        if (chunkLeft_ == 0 && !startChunk()) corrupt("LZMA2 stream ends before its declared size");
        if (core_.position() == core_.windowSize()) core_.wrap();
        const std::size_t start = core_.position();
        const std::size_t step = std::min({want - produced, chunkLeft_, core_.windowSize() - start});
        if (stored_) {
            core_.appendUncompressed(chunkIn_, step);
            chunkIn_ += step;
        } else {
            const LzmaCore::Result r = core_.decode(chunkIn_, chunkEnd_, true, start + step);
            if (r != LzmaCore::Result::Reached) corrupt("LZMA2 data error");
        }
        std::memcpy(out + produced, core_.window() + start, step);
        produced += step;
        chunkLeft_ -= step;
        // A compressed chunk ends with its range coder normalised: every packed byte used.
        if (chunkLeft_ == 0 && !stored_ && (core_.finishRangeCoder(chunkIn_) != chunkEnd_ || core_.matchPending()))
            corrupt("LZMA2 data error");
    }
    remaining_ -= produced;
    return produced;
}

} // namespace velmora::kel
