// Helpers over ByteStream.
#include "common/byte_stream.h"

namespace velmora::kel {

std::size_t readFully(ByteStream& stream, std::uint8_t* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n = stream.read(out + done, size - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}

} // namespace velmora::kel
