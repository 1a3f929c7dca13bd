#include "script/conditions.h"

#include "script/integers.h"
#include "script/interpreter.h"

namespace velmora {
namespace {

// Only the letters A-Z fold.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

} // namespace

bool CompareCondition(std::string_view op, std::string_view left, std::string_view right) {
    if (op.size() != 1 || op[0] < '0' || op[0] > '4') return false;
    const auto l = parseInt32(left), r = parseInt32(right);
    if (l && r) return op[0] == '2' ? *l > *r : *l == *r;
    switch (op[0]) {
    case '0': return left == right;
    case '1': return !left.empty() && !right.empty() && left.find(right) != std::string_view::npos;
    case '2': return left.compare(right) > 0;   // char_traits<char> compares bytes as unsigned
    case '3': return !right.empty() && text::findIgnoreCase(left, right) != std::string_view::npos;
    default: return equalsIgnoringAsciiCase(left, right);
    }
}

bool EvaluateCondition(Interpreter& in, std::size_t statement) {
    std::string p1 = in.Param(statement, 1);
    std::string p3 = in.Param(statement, 3);
    if (!in.CurrentLanguage().empty()) {
        p1 = in.TranslateStatementText(p1, in.StatementId(statement), 1);
        p3 = in.TranslateStatementText(p3, in.StatementId(statement), 2);
    }
    const bool negate = ParseBool(in.Param(statement, 4));
    const std::string op = in.Param(statement, 2);
    if (op == "5") return in.Vars().HasVariable(p1) != negate;
    const std::string stripped = StripReference(p1);
    const std::string left = in.Vars().ExpandText(in.Vars().FetchValue(stripped.empty() ? p1 : stripped));
    const std::string right = in.Vars().ExpandText(p3);
    return CompareCondition(op, left, right) != negate;
}

} // namespace velmora
