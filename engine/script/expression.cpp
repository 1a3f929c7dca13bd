// Evaluator of the boolean expression language. It reads "(" + text + ")" from the front with an
// explicit stack of open parentheses instead of recursion, so no nesting depth can exhaust the
// thread's stack.
#include "script/expression.h"

#include <optional>
#include <vector>

namespace velmora {

namespace {

class ExpressionReader {
public:
    explicit ExpressionReader(std::string_view text) : s_(text) {}

    // The value of the whole text as an Expression with nothing left over; empty when malformed.
    std::optional<bool> evaluate() {
        // levels[0] is the expression over the whole text; each further level is an open "(".
        struct Level {
            bool value = false;
            bool hasValue = false;
            bool isAnd = false; // the connective read before the next factor
        };
        std::vector<Level> levels(1);
        for (;;) {
            // Factor: "(" opens a nested expression, a double quote starts a comparison.
            skipBlanks();
            if (atEnd()) return std::nullopt;
            if (peek() == '(') {
                ++p_;
                levels.emplace_back();
                continue;
            }
            if (peek() != '"') return std::nullopt;
            std::optional<bool> factor = comparison();
            if (!factor) return std::nullopt;
            bool value = *factor;

            // Combine the factor into its expression, then read on: the end of the text or
            // ")" ends that expression (and closes its parenthesis, giving a factor to the
            // level below); anything else must be a connective followed by the next factor.
            for (;;) {
                Level& level = levels.back();
                level.value = !level.hasValue ? value : level.isAnd ? (level.value && value) : (level.value || value);
                level.hasValue = true;
                skipBlanks();
                if (!atEnd() && peek() != ')') {
                    const std::string_view connective = word();
                    if (connective == "and")
                        level.isAnd = true;
                    else if (connective == "or")
                        level.isAnd = false;
                    else
                        return std::nullopt;
                    break;
                }
                if (levels.size() == 1) {
                    if (!atEnd()) return std::nullopt; // a ")" with no "(" left to close
                    return level.value;
                }
                if (atEnd()) return std::nullopt; // "(" never closed
                ++p_;
                value = level.value;
                levels.pop_back();
            }
        }
    }

private:
    bool atEnd() const { return p_ >= s_.size(); }
    char peek() const { return s_[p_]; }
    // Blanks are spaces only; tabs and line breaks are not.
    void skipBlanks() {
        while (p_ < s_.size() && s_[p_] == ' ') ++p_;
    }

    // Operator and connective words run to the next double quote or space.
    std::string_view word() {
        const std::size_t start = p_;
        while (p_ < s_.size() && s_[p_] != '"' && s_[p_] != ' ') ++p_;
        return s_.substr(start, p_ - start);
    }

    // A double-quoted string; "" inside it stands for one double quote.
    std::optional<std::string> quoted() {
        if (atEnd() || peek() != '"') return std::nullopt;
        ++p_;
        std::string value;
        while (p_ < s_.size()) {
            const char c = s_[p_++];
            if (c != '"') {
                value.push_back(c);
                continue;
            }
            if (p_ < s_.size() && s_[p_] == '"') {
                value.push_back('"');
                ++p_;
                continue;
            }
            return value;
        }
        return std::nullopt; // no closing quote
    }

    // Two quoted strings around an operator, compared ordinally (bytes as unsigned values, a
    // proper prefix the smaller; letter case matters and "10" < "9").
    std::optional<bool> comparison() {
        skipBlanks();
        const auto left = quoted();
        if (!left) return std::nullopt;
        skipBlanks();
        const std::string_view op = word();
        skipBlanks();
        const auto right = quoted();
        if (!right) return std::nullopt;
        skipBlanks();
        const int order = std::string_view(*left).compare(*right);
        if (op == "=") return order == 0;
        if (op == "<>") return order != 0;
        if (op == "<") return order < 0;
        if (op == "<=") return order <= 0;
        if (op == ">") return order > 0;
        if (op == ">=") return order >= 0;
        return std::nullopt;
    }

    std::string_view s_;
    std::size_t p_ = 0;
};

} // namespace

std::string EvaluateExpressionText(std::string_view text) {
    std::string enclosed;
    enclosed.reserve(text.size() + 2);
    enclosed.push_back('(');
    enclosed.append(text);
    enclosed.push_back(')');
    const std::optional<bool> result = ExpressionReader(enclosed).evaluate();
    if (!result) return "ERROR";
    return *result ? "TRUE" : "FALSE";
}

} // namespace velmora
