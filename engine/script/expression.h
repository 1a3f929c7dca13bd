// The small boolean expression language of Evaluate Expression: quoted strings compared with
// =, <>, <, <=, >, >= and joined by lower-case "and"/"or", strictly left to right.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// "TRUE", "FALSE", or "ERROR" for a malformed expression or text left over after it. The text
// is read as if enclosed in one pair of parentheses, so a ")" inside it may close that pair:
// "a"="a") or ("b"="c" is two comparisons joined by "or".
std::string EvaluateExpressionText(std::string_view text);

} // namespace velmora
