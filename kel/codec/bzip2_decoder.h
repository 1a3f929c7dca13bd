// BZip2 as a 7z coder: one or more concatenated bzip2 streams of Burrows-Wheeler blocks.
#pragma once

#include <cstdint>
#include <memory>

#include "common/byte_stream.h"

namespace velmora::kel {

class BZip2Stream : public ByteStream {
public:
    BZip2Stream(ByteStreamPtr input, std::uint64_t unpackSize);
    ~BZip2Stream() override;
    std::size_t read(std::uint8_t* out, std::size_t size) override;

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace velmora::kel
