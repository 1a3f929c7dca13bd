// The pull interface every coder of a folder implements: the consumer asks for bytes and the
// stream produces them from the streams it reads in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmora::kel {

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Reads up to size bytes into out; returns the count, 0 only at the end of the stream.
    // Throws KelError for data that cannot be decoded.
    virtual std::size_t read(std::uint8_t* out, std::size_t size) = 0;
};

using ByteStreamPtr = std::unique_ptr<ByteStream>;

// Fills out completely unless the stream ends first; returns the count read.
std::size_t readFully(ByteStream& stream, std::uint8_t* out, std::size_t size);

} // namespace velmora::kel
