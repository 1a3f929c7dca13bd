// Deflate (RFC 1951) and its 64 KiB-window variant Deflate64, as 7z coders.
#pragma once

#include <cstdint>
#include <memory>

#include "common/byte_stream.h"

namespace velmora::kel {

class DeflateStream : public ByteStream {
public:
    DeflateStream(ByteStreamPtr input, std::uint64_t unpackSize, bool deflate64);
    ~DeflateStream() override;
    std::size_t read(std::uint8_t* out, std::size_t size) override;

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace velmora::kel
