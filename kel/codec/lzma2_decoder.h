// LZMA2: a sequence of chunks, each stored or LZMA-compressed, that may reset the dictionary,
// the coder state or the literal properties. Decoded with the LZMA core into one window.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/lzma_decoder.h"
#include "common/byte_stream.h"

namespace velmora::kel {

// Dictionary size of the one LZMA2 property byte.
std::uint64_t lzma2DictionarySize(std::uint8_t prop);

class Lzma2Stream : public ByteStream {
public:
    Lzma2Stream(ByteStreamPtr input, const std::uint8_t* props, std::size_t propsSize, std::uint64_t unpackSize,
                std::uint64_t maxWindow);
    std::size_t read(std::uint8_t* out, std::size_t size) override;

private:
    bool startChunk();

    ByteStreamPtr input_;
    LzmaCore core_;
    std::uint64_t remaining_;
    std::vector<std::uint8_t> chunk_;   // the current chunk's packed bytes, zero padded
    const std::uint8_t* chunkIn_ = nullptr;
    const std::uint8_t* chunkEnd_ = nullptr;
    std::size_t chunkLeft_ = 0;         // unpacked bytes of the current chunk still to produce
    bool stored_ = false;
    bool needDictionaryReset_ = true;
    bool needProperties_ = true;
};

} // namespace velmora::kel
