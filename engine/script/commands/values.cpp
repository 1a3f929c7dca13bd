// Assignments, text commands and Mathematics: commands that compute values in variables and
// never change the system.
#include <cstdint>

#include "platform/redirection.h"
#include "script/commands/commands.h"
#include "script/expression.h"
#include "script/integers.h"
#include "script/interpreter.h"
#include "script/script_error.h"

namespace velmora::commands {
namespace {

// The name a parameter refers to: $NAME$ and NAME both name NAME.
std::string referenceOf(const std::string& text) {
    std::string name = StripReference(text);
    return name.empty() ? text : name;
}

// Creates a missing result variable (empty) before the command computes into it.
void declare(TVariableManager& v, const std::string& name, const char* reason) {
    if (!name.empty() && !v.HasVariable(name)) v.DefineVariable(text::upper(name), "", reason);
}

std::string reason(const char* command) { return std::string(command) + " Action"; }

std::size_t nameStart(const std::string& path) {
    const std::size_t sep = path.find_last_of("\\:");
    return sep == std::string::npos ? 0 : sep + 1;
}

std::string withBackslash(std::string path) {
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string trimControls(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

// Characters [from, from + count) counted from 1, clipped to the text.
std::string copyOf(const std::string& s, std::int64_t from, std::int64_t count) {
    if (count < 1) return {};
    if (from < 1) from = 1;
    if (from > static_cast<std::int64_t>(s.size())) return {};
    return s.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count));
}

} // namespace

std::string ExtractPathPart(const std::string& v, std::int32_t part) {
    const std::size_t start = nameStart(v);
    const std::string name = v.substr(start), folder = v.substr(0, start);
    switch (part) {
    case 0: return name;
    case 1: {
        const std::size_t dot = name.rfind('.');
        return dot == std::string::npos ? name : name.substr(0, dot);
    }
    case 2: {
        const std::size_t dot = name.rfind('.');
        return dot == std::string::npos ? std::string() : name.substr(dot + 1);
    }
    case 3: return withBackslash(folder);
    case 4: {
        std::string f = folder;
        if (!f.empty() && f.back() == '\\') f.pop_back();
        return withBackslash(f.substr(0, nameStart(f)));
    }
    case 5:
        if (v.size() >= 2 && v[1] == ':') return withBackslash(v.substr(0, 2));
        if (v.rfind("\\\\", 0) == 0) {
            const std::size_t server = v.find('\\', 2);
            if (server == std::string::npos) return withBackslash(v);
            const std::size_t share = v.find('\\', server + 1);
            return withBackslash(share == std::string::npos ? v : v.substr(0, share));
        }
        return {};
    case 6: return CollapseDoubledBackslashes(v, false);
    default: return v;
    }
}

void SetVariable(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    std::string value = v.ExpandText(in.Param(n, 2));
    if (!in.CurrentLanguage().empty()) value = v.ExpandText(in.TranslateStatementText(value, in.StatementId(n), 1));
    std::string nameText = in.Param(n, 1);
    bool keep = false;
    static constexpr std::string_view kKeepMarker = "$QORV$QORV$";
    if (const std::size_t marker = nameText.find(kKeepMarker); marker != std::string::npos) {
        keep = nameText.substr(marker + kKeepMarker.size()) == "TRUE";
        nameText.resize(marker);
    }
    const std::string name = referenceOf(nameText);
    declare(v, name, "Set Variable Action");
    v.AssignVariable(name, value, "Set Variable Action");
    if (keep) v.AddPersistentVariable(name);
    if (text::equalsIgnoreCase(name, "PROGRESS") || text::equalsIgnoreCase(name, "PROGRESSTEXT"))
        in.UpdateProgressDisplay(v.FetchValue("PROGRESSTEXT"), toInt32(v.FetchValue("PROGRESS")));
}

void LocalizationVariable(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const std::string name = referenceOf(in.Param(n, 1));
    declare(v, name, "Localization Variable Action");
    std::string value = v.ExpandText(in.Param(n, 2));
    if (!in.CurrentLanguage().empty())
        value = v.ExpandText(in.TranslateStatementText(value, "TORNBECK$" + name + "$TORNBECK", 1));
    v.AssignVariable(name, value, "Localization Variable Action");
}

void EvaluateExpression(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const std::string name = in.Param(n, 2);
    declare(v, name, "Evaluate Expression Action");
    v.AssignVariable(name, EvaluateExpressionText(v.ExpandQuoted(in.Param(n, 1))), "Evaluate Expression Action");
}

std::string ReplaceText(const std::string& source, const std::string& find, const std::string& replacement,
                        bool ignoreCase, bool all) {
    if (source.empty() || find.empty() || source.size() < find.size()) return source;
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = ignoreCase ? text::findIgnoreCase(source, find, from) : source.find(find, from);
        if (at == std::string::npos) break;
        out.append(source, from, at - from).append(replacement);
        from = at + find.size();
        if (!all) break;
    }
    return out.append(source, from, std::string::npos);
}

void ReplaceString(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const std::string name = referenceOf(in.Param(n, 1));
    const std::string result = ReplaceText(v.FetchValue(name), EncodeNewlines(v.ExpandText(in.Param(n, 2))),
                                           EncodeNewlines(v.ExpandText(in.Param(n, 3))), ParseBool(in.Param(n, 4)),
                                           ParseBool(in.Param(n, 5)));
    v.DefineVariable(text::upper(name), result, "Replace String Action");
}

void ParseString(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    auto prepared = [&](std::size_t k) { return v.ExpandPath(v.ExpandText(in.Param(n, k))); };
    const std::string first = in.Param(n, 3), second = in.Param(n, 4);
    declare(v, first, "Parse String Action");
    declare(v, second, "Parse String Action");

    std::string source = prepared(1), pattern = prepared(2);
    if (ParseBool(in.Param(n, 7))) {
        source = text::lower(source);
        pattern = text::lower(pattern);
    }
    const std::int32_t mode = toInt32(in.Param(n, 5));
    std::int64_t pos = 0, skip = 1, take = 1;
    const auto length = static_cast<std::int64_t>(source.size());
    switch (mode) {
    case 0: {
        take = static_cast<std::int64_t>(pattern.size());
        const std::size_t at = pattern.empty() ? std::string::npos : source.find(pattern);
        pos = at == std::string::npos ? length + 1 : static_cast<std::int64_t>(at) + 1;
        break;
    }
    case 1: {
        take = static_cast<std::int64_t>(pattern.size());
        const std::size_t at = pattern.empty() ? std::string::npos : source.rfind(pattern);
        if (at == std::string::npos) {
            pos = 1;
            take = 0;
        } else {
            pos = static_cast<std::int64_t>(at) + 1;
        }
        break;
    }
    case 2:
    case 3: {
        const auto count = parseInt32(pattern);
        if (!count) break;
        skip = 0;
        pos = mode == 2 ? *count : length - *count;
        if ((mode == 2 && *count == 0) || (mode == 3 && pos == 0 && *count == length)) {
            pos = 1;
            skip = 1;
            take = -1;
        }
        break;
    }
    default: break;
    }
    std::string firstPart, secondPart;
    if (pos != 0) {
        source = prepared(1);
        firstPart = copyOf(source, 1, pos - skip);
        secondPart = copyOf(source, pos + take, static_cast<std::int64_t>(source.size()));
    }
    if (ParseBool(in.Param(n, 6))) {
        firstPart = trimControls(firstPart);
        secondPart = trimControls(secondPart);
    }
    if (!first.empty()) v.DefineVariable(text::upper(first), firstPart, "Parse String Action");
    if (!second.empty()) v.DefineVariable(text::upper(second), secondPart, "Parse String Action");
}

void ConvertPath(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const platform::RedirectionScope redirection(in.System(), in.Switches().platformMode);
    const std::string name = in.Param(n, 1);
    const std::string path = v.ExpandPath(v.FetchValue(name));
    const std::string converted = ParseBool(in.Param(n, 2)) ? in.System().shortPath(redirection.path(path))
                                                            : in.System().longPath(redirection.path(path));
    v.AssignVariable(name, converted, "Convert Path Action");
}

void ConvertCase(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const std::string name = in.Param(n, 1);
    const std::string value = v.ExpandPath(v.FetchValue(name));
    v.AssignVariable(name, ParseBool(in.Param(n, 2)) ? text::upper(value) : text::lower(value), "Convert Case Action");
}

void ExtractPath(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const std::string name = in.Param(n, 1);
    const std::string value = v.ExpandPath(v.FetchValue(name));
    v.AssignVariable(name, ExtractPathPart(value, toInt32(in.Param(n, 2))), "Extract Path Action");
}

std::optional<std::string> Calculate(MathematicsSequence& sequence, std::int32_t op, const std::string& a,
                                     const std::string& b) {
    auto integer = [](const std::string& s) { return parseInt64(s); };
    std::int64_t x = 0, y = 0;
    if (op != 11) {
        const auto ax = integer(a);
        if (!ax) return std::nullopt;
        x = *ax;
    }
    if (op < 10 || op == 13) {
        const auto by = integer(b);
        if (!by) return std::nullopt;
        y = *by;
    }
    const auto ux = static_cast<std::uint64_t>(x), uy = static_cast<std::uint64_t>(y);
    auto wrap = [](std::uint64_t u) { return static_cast<std::int64_t>(u); };
    std::int64_t r = 0;
    switch (op) {
    case 0: r = wrap(ux + uy); break;
    case 1: r = wrap(ux - uy); break;
    case 2: r = wrap(ux * uy); break;
    case 3:
    case 4:
        if (y == 0) return std::nullopt;
        if (y == -1) r = op == 3 ? wrap(0 - ux) : 0;   // INT64_MIN / -1 wraps instead of trapping
        else r = op == 3 ? x / y : x % y;
        break;
    case 5: r = x & y; break;
    case 6: r = x | y; break;
    case 7: r = x ^ y; break;
    case 8: r = uy < 64 ? wrap(ux << uy) : 0; break;
    case 9: r = uy < 64 ? wrap(ux >> uy) : 0; break;
    case 10: r = ~x; break;
    case 11:
        if (a.empty()) return std::nullopt;
        r = static_cast<unsigned char>(a[0]);
        break;
    case 12: return std::string(1, static_cast<char>(ux & 0xFF));
    case 13:
        sequence.multiplier = static_cast<std::int32_t>(static_cast<std::uint32_t>(ux));
        sequence.increment = static_cast<std::int32_t>(static_cast<std::uint32_t>(uy));
        r = wrap(ux + uy);
        break;
    case 14:
        sequence.seed = static_cast<std::int32_t>(static_cast<std::uint32_t>(ux));
        r = sequence.seed;
        break;
    case 15: {
        const auto t = static_cast<std::int32_t>(static_cast<std::uint32_t>(sequence.multiplier) *
                                                     static_cast<std::uint32_t>(sequence.seed) +
                                                 static_cast<std::uint32_t>(sequence.increment));
        sequence.seed = t % 32767;
        if (x == 0) return std::nullopt;
        r = static_cast<std::int64_t>(t) % x;
        break;
    }
    default: return std::nullopt;
    }
    return std::to_string(r);
}

void Mathematics(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const std::string resultName = in.Param(n, 4);
    declare(v, resultName, "Mathematics Action");
    std::string result;
    if (const auto op = parseInt32(in.Param(n, 3))) {
        const std::string a = v.ExpandText(in.Param(n, 1));
        const std::string b = *op < 10 || *op == 13 ? v.ExpandText(in.Param(n, 2)) : std::string();
        result = Calculate(in.Sequence(), *op, a, b).value_or(std::string());
    }
    if (!resultName.empty()) v.AssignVariable(resultName, result, "Mathematics Action");
}

} // namespace velmora::commands
