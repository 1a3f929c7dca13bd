// Where an entry may be written: its stored name split into path components that cannot lead
// outside the output folder.
#pragma once

#include <string>
#include <vector>

namespace velmora::kel {

using RelativePath = std::vector<std::u16string>;

// Splits a stored name at '/' and '\'. Throws KelError(UnsafePath) for a name that is absolute
// (leading separator, which covers UNC paths), carries a drive or stream (':'), climbs with
// "..", or has a component Windows would shorten to nothing or to ".." (trailing dots and
// blanks). Empty and "." components are dropped.
RelativePath safeRelativePath(const std::u16string& name);

} // namespace velmora::kel
