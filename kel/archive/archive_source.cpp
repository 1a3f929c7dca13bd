// The in-memory source.
#include "archive/archive_source.h"

#include <cstring>

#include "common/kel_error.h"

namespace velmora::kel {

void MemorySource::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t size) const {
    if (offset > size_ || size > size_ - offset) corrupt("the archive is truncated");
    std::memcpy(out, data_ + offset, size);
}

} // namespace velmora::kel
