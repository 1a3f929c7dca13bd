// LZMA: the range-coded symbol decoder writing into a sliding window, and the 7z LZMA coder
// built on it. LZMA2 (lzma2_decoder.h) drives the same core chunk by chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/byte_stream.h"

namespace velmora::kel {

struct LzmaProperties {
    unsigned lc = 3, lp = 0, pb = 2;
    std::uint32_t dictionarySize = 0;
};

// The five property bytes of an LZMA coder (lc/lp/pb byte, then the dictionary size).
LzmaProperties parseLzmaProperties(const std::uint8_t* props, std::size_t size);

// The symbol decoder. The caller owns the input buffer and guarantees kInputPadding readable
// bytes after the end it passes, so the hot loop checks the input once per symbol, not per bit.
class LzmaCore {
public:
    // Most bytes one symbol can consume (about 50 bit decisions, each reading at most one byte).
    static constexpr std::size_t kInputPadding = 64;
    // Bytes kept beyond the dictionary in a window that wraps (more than the longest match
    // plus one copy step), and bytes allocated after the window's end for the copy steps.
    static constexpr std::size_t kWindowMargin = 512;
    static constexpr std::size_t kCopySlack = 16;

    enum class Result {
        Reached,    // the window position reached the limit
        NeedInput,  // fewer than kInputPadding bytes were left and more input exists
        EndMarker,  // the stream's end marker was decoded
    };

    // windowSize: from lzmaWindowSize.
    explicit LzmaCore(std::size_t windowSize);

    void setProperties(unsigned lc, unsigned lp, unsigned pb);
    void resetState();       // probabilities, state and repeated distances
    void resetDictionary();  // forgets all earlier output
    // Starts a range-coder stream from its first five bytes.
    void startRangeCoder(const std::uint8_t* in);

    // Decodes symbols until the window position reaches limit (at most windowSize()). in
    // advances over the consumed input; lastInput tells that no input follows inEnd, so
    // reading past it means the data is corrupt.
    Result decode(const std::uint8_t*& in, const std::uint8_t* inEnd, bool lastInput, std::size_t limit);
    // Appends stored (uncompressed) bytes; size must fit before the window end.
    void appendUncompressed(const std::uint8_t* data, std::size_t size);

    std::uint8_t* window() { return window_.get(); }
    std::size_t windowSize() const { return windowSize_; }
    std::size_t position() const { return pos_; }
    // Called once the consumer has taken the bytes up to the window end.
    void wrap() { pos_ = 0; full_ = true; }
    bool matchPending() const { return pendingLength_ != 0; }
    // Takes the byte the last decision's normalisation still needs; returns the input after it.
    const std::uint8_t* finishRangeCoder(const std::uint8_t* in);

private:
    void copyPendingMatch(std::size_t limit);

    std::unique_ptr<std::uint8_t[]> window_;
    std::size_t windowSize_;
    std::size_t pos_ = 0;
    bool full_ = false;              // the window has wrapped: every byte of it is history
    std::uint32_t processed_ = 0;    // low bits of the output count, for the position states

    unsigned lc_ = 3, lp_ = 0, pb_ = 2;
    std::vector<std::uint16_t> probs_;
    unsigned state_ = 0;
    std::uint32_t rep_[4] = {0, 0, 0, 0};
    std::size_t pendingLength_ = 0;  // bytes of a match still to copy after the last limit

    std::uint32_t range_ = 0xFFFFFFFFu;
    std::uint32_t code_ = 0;
};

// The 7z LZMA coder: one LZMA stream of known unpacked size read from a packed stream.
class LzmaStream : public ByteStream {
public:
    LzmaStream(ByteStreamPtr input, const std::uint8_t* props, std::size_t propsSize, std::uint64_t unpackSize,
               std::uint64_t maxWindow);
    std::size_t read(std::uint8_t* out, std::size_t size) override;

private:
    bool refill();

    ByteStreamPtr input_;
    LzmaCore core_;
    std::uint64_t remaining_;
    std::vector<std::uint8_t> inBuf_;
    std::size_t inPos_ = 0, inEnd_ = 0;
    bool inputDone_ = false;
    bool started_ = false;
    std::size_t flushed_ = 0;        // window bytes already handed out
};

// Window size for a stream: the dictionary, but never more than the output it will hold.
std::size_t lzmaWindowSize(std::uint64_t dictionarySize, std::uint64_t unpackSize, std::uint64_t maxWindow);

} // namespace velmora::kel
