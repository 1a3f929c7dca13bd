// Entry name checks. Windows drops trailing dots and blanks from each path component, so
// ".. " or "..." would act as ".."; such components are refused like ".." itself.
#include "archive/entry_path.h"

#include "common/kel_error.h"

namespace velmora::kel {

RelativePath safeRelativePath(const std::u16string& name) {
    auto unsafe = [] { fail(ErrorCode::UnsafePath, "an archive entry would be written outside the output folder"); };
    if (name.empty() || name[0] == u'/' || name[0] == u'\\') unsafe();
    RelativePath parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of(u"/\\", start);
        if (end == std::u16string::npos) end = name.size();
        std::u16string part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == u".") continue;
        if (part.find(u':') != std::u16string::npos) unsafe();
        std::size_t kept = part.size();
        while (kept > 0 && (part[kept - 1] == u'.' || part[kept - 1] == u' ')) --kept;
        if (kept == 0) unsafe();
        parts.push_back(std::move(part));
    }
    if (parts.empty()) unsafe();
    return parts;
}

} // namespace velmora::kel
