// Paths as ANSI text: every path the engine handles is single-byte text in the system code
// page. A path with characters the code page cannot express is replaced by its short (8.3) form.
#pragma once

#include <string>
#include <string_view>

namespace velmora::platform {

#if defined(_WIN32)
// The ANSI text of a path the system gave in UTF-16 (a shell folder, the engine's own file):
// the exact conversion when the code page expresses every character; otherwise the conversion
// of the short (8.3) form when that one is exact; otherwise empty (the path exists on a volume
// without short names, or does not exist, and no ANSI text names it).
std::string ansiPath(std::u16string_view widePath);
#endif

} // namespace velmora::platform
