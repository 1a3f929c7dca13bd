// The variable store, $NAME$ substitution with its guards, the guarded assignment and the shared
// text conventions (truth values, references, newline encoding, compiler variables, comma form).
#include "script/variables.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr std::string_view kNewlineToken = "$NEWLINE$";
constexpr std::string_view kQuote = "\"";

// The part of a text still to be scanned by an expansion, kept as a stack of pieces instead of
// one string: inserting a value pushes it in front of the rest, so a substitution costs no
// copy of the tail. The back of the vector is the front of the text. Tokens may run across
// pieces (a value "a$b" followed by the text "c$" gives the token "bc"), as they would in the
// single string the pieces stand for.
class PendingText {
public:
    using Owner = std::shared_ptr<const std::string>;

    void push(Owner owner, std::string_view piece) {
        if (piece.empty()) return;
        bytes_ += piece.size();
        pieces_.push_back({std::move(owner), piece});
    }
    bool empty() const { return pieces_.empty(); }
    std::size_t bytes() const { return bytes_; }

    // Moves the text before the next "$" to out. False when no "$" is left (all moved).
    bool moveUntilDollar(std::string& out) {
        while (!pieces_.empty()) {
            auto& rest = pieces_.back().rest;
            const std::size_t at = rest.find('$');
            if (at != std::string_view::npos) {
                out.append(rest.substr(0, at));
                consumeFront(at);
                return true;
            }
            out.append(rest);
            bytes_ -= rest.size();
            pieces_.pop_back();
        }
        return false;
    }

    // With the text starting at a "$": the text up to the next "$" into token. False when
    // there is no further "$".
    bool readToken(std::string& token) const {
        token.clear();
        std::size_t skip = 1; // the opening "$"
        for (auto it = pieces_.rbegin(); it != pieces_.rend(); ++it) {
            const std::string_view rest = it->rest.substr(skip);
            skip = 0;
            const std::size_t at = rest.find('$');
            if (at != std::string_view::npos) {
                token.append(rest.substr(0, at));
                return true;
            }
            token.append(rest);
        }
        return false;
    }

    void skip(std::size_t count) {
        while (count > 0) {
            const std::size_t n = std::min(count, pieces_.back().rest.size());
            consumeFront(n);
            count -= n;
        }
    }

    void moveAll(std::string& out) {
        for (auto it = pieces_.rbegin(); it != pieces_.rend(); ++it) out.append(it->rest);
        pieces_.clear();
        bytes_ = 0;
    }

private:
    struct Piece {
        Owner owner; // keeps an inserted value alive while another thread replaces it
        std::string_view rest;
    };

    void consumeFront(std::size_t n) {
        auto& rest = pieces_.back().rest;
        rest.remove_prefix(n);
        bytes_ -= n;
        if (rest.empty()) pieces_.pop_back();
    }

    std::vector<Piece> pieces_;
    std::size_t bytes_ = 0;
};

// Every #name# (name ignoring case) replaced by value, left to right, inserted text not
// scanned again. Only the "#" positions are tried, so a pass costs little more than a search
// for "#". Empty when the result would be longer than limit.
std::optional<std::string> replaceCompilerVariable(const std::string& source, std::string_view name,
                                                   std::string_view value, std::size_t limit) {
    const auto matchAt = [&](std::size_t at) {
        const std::size_t close = at + 1 + name.size();
        return close < source.size() && source[close] == '#' &&
               text::equalsIgnoreCase(std::string_view(source).substr(at + 1, name.size()), name);
    };
    std::size_t at = source.find('#');
    while (at != std::string::npos && !matchAt(at)) at = source.find('#', at + 1);
    if (at == std::string::npos) return source;
    std::string out;
    std::size_t from = 0;
    while (at != std::string::npos) {
        out.append(source, from, at - from);
        out.append(value);
        if (out.size() > limit) return std::nullopt;
        from = at + name.size() + 2;
        at = source.find('#', from);
        while (at != std::string::npos && !matchAt(at)) at = source.find('#', at + 1);
    }
    out.append(source, from, std::string::npos);
    if (out.size() > limit) return std::nullopt;
    return out;
}

bool isBlank(char c) { return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32; }

} // namespace

// --- the store ---

TVariableManager::Value TVariableManager::lookup(std::string_view name) const {
    std::lock_guard guard(lock_);
    const auto it = table_.find(name);
    return it == table_.end() ? nullptr : it->second;
}

void TVariableManager::StoreValue(std::string_view name, std::string_view value) {
    if (name.empty()) return;
    std::lock_guard guard(lock_);
    storeLocked(name, name, value);
}

// The value goes to the variable name names; a new variable is created with the spelling
// newSpelling. An unchanged value allocates nothing: the interpreter re-stores a dozen
// variables before every statement, almost always with the same values.
void TVariableManager::storeLocked(std::string_view name, std::string_view newSpelling, std::string_view value) {
    const auto it = table_.find(name);
    if (it == table_.end())
        table_.emplace(std::string(newSpelling), std::make_shared<const std::string>(value));
    else if (*it->second != value)
        it->second = std::make_shared<const std::string>(value); // the first spelling of the name stays
}

void TVariableManager::ClearAll() {
    Table old;
    {
        std::lock_guard guard(lock_);
        old.swap(table_);
    }
}

bool TVariableManager::HasVariable(std::string_view name) const { return !name.empty() && lookup(name) != nullptr; }

std::size_t TVariableManager::ListPairs(TextList& list) const {
    list.clear();
    std::lock_guard guard(lock_);
    for (const auto& [name, value] : table_) {
        list.add(name);
        list.add(*value);
    }
    return list.size();
}

std::string TVariableManager::FetchValue(std::string_view name) const {
    const Value value = name.empty() ? nullptr : lookup(name);
    return value ? *value : std::string();
}

// --- substitution ---

std::string TVariableManager::expand(std::string_view text, bool quoted) const {
    const std::size_t firstDollar = text.find('$');
    if (firstDollar == std::string_view::npos) return std::string(text);

    std::string out;
    out.reserve(text.size() + 64);
    out.append(text.substr(0, firstDollar));
    PendingText pending;
    pending.push(nullptr, text.substr(firstDollar));

    const std::size_t sizeLimit = text.size() + limits_.maxGrowthBytes;
    std::size_t substitutions = 0;
    std::string token;
    while (pending.moveUntilDollar(out)) {
        // The text now starts at a "$"; without a partner it and the rest stay as written.
        if (!pending.readToken(token)) break;
        const Value value = token.empty() ? nullptr : lookup(token);
        if (!value) {
            // Unknown: keep "$" and the token; the closing "$" may open the next token.
            out.push_back('$');
            out.append(token);
            pending.skip(token.size() + 1);
            continue;
        }
        const std::size_t inserted = value->size() + (quoted ? 2 : 0);
        const std::size_t sizeAfter = out.size() + pending.bytes() - (token.size() + 2) + inserted;
        if (++substitutions > limits_.maxSubstitutions || sizeAfter > sizeLimit) break;
        // Replace "$token$" by the value and scan the value next (nested expansion).
        pending.skip(token.size() + 2);
        if (quoted) pending.push(nullptr, kQuote);
        pending.push(value, *value);
        if (quoted) pending.push(nullptr, kQuote);
    }
    pending.moveAll(out);
    return out;
}

std::string TVariableManager::ExpandText(std::string_view text) const { return expand(text, false); }
std::string TVariableManager::ExpandQuoted(std::string_view text) const { return expand(text, true); }

std::string TVariableManager::ExpandPath(std::string_view text) const {
    return CollapseDoubledBackslashes(ExpandText(text), true);
}

// --- engine-level operations ---

void TVariableManager::SetSilentMode(bool silent) {
    std::lock_guard guard(lock_);
    silentMode_ = silent;
}

bool TVariableManager::SilentMode() const {
    std::lock_guard guard(lock_);
    return silentMode_;
}

void TVariableManager::SetCommandLineAssignments(TextList assignments) {
    std::lock_guard guard(lock_);
    commandLineAssignments_ = std::move(assignments);
}

TextList TVariableManager::CommandLineAssignments() const {
    std::lock_guard guard(lock_);
    return commandLineAssignments_;
}

// Names sit at even positions, values at odd ones. A value line that happens to equal the name
// does not protect it; a later name line equal to it does. So a name is protected exactly when
// some even line equals it.
bool TVariableManager::isCommandLineName(std::string_view upperName) const {
    for (std::size_t i = 0; i < commandLineAssignments_.size(); i += 2)
        if (text::equalsIgnoreCase(commandLineAssignments_[i], upperName)) return true;
    return false;
}

void TVariableManager::DefineVariable(std::string_view name, std::string_view value, std::string_view reason) {
    if (name.empty()) return;
    std::lock_guard guard(lock_);
    // A missing variable is always created; an existing one is assigned with the silent guard.
    if (table_.find(name) == table_.end()) table_.emplace(std::string(name), std::make_shared<const std::string>(value));
    else assignLocked(name, value, reason);
}

void TVariableManager::AssignVariable(std::string_view name, std::string_view value, std::string_view reason) {
    if (name.empty()) return;
    std::lock_guard guard(lock_);
    assignLocked(name, value, reason);
}

// In a silent run a variable named on the command line keeps its value (and is not created)
// unless the reason is the injection itself; a variable the silent run creates is named in
// upper case.
void TVariableManager::assignLocked(std::string_view name, std::string_view value, std::string_view reason) {
    if (!silentMode_) return storeLocked(name, name, value);
    if (reason != kInjectReason && isCommandLineName(name)) return;
    if (table_.find(name) != table_.end()) return storeLocked(name, name, value);
    const std::string upperName = text::upper(name);
    storeLocked(upperName, upperName, value);
}

void TVariableManager::StoreResult(std::string_view command, std::string_view name, std::string_view value) {
    const std::string reason = std::string(command) + " Action";
    if (!HasVariable(name)) DefineVariable(text::upper(name), {}, reason);
    AssignVariable(name, value, reason);
}

std::string TVariableManager::ResolveReference(std::string_view text, std::string_view marker) const {
    const std::string stripped = StripReference(text);
    const std::string_view name = stripped.empty() ? text : std::string_view(stripped);
    const Value value = name.empty() ? nullptr : lookup(name);
    return value ? ExpandText(*value) : std::string(marker);
}

std::string TVariableManager::VariableSnapshot() const {
    TextList pairs;
    ListPairs(pairs);
    return CommaText(pairs);
}

void TVariableManager::RestoreSnapshot(std::string_view commaText) {
    const TextList items = ParseCommaText(commaText);
    Table restored;
    for (std::size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].empty()) continue;
        auto value = std::make_shared<const std::string>(items[i + 1]);
        const auto it = restored.find(items[i]);
        if (it != restored.end())
            it->second = std::move(value);
        else
            restored.emplace(items[i], std::move(value));
    }
    {
        std::lock_guard guard(lock_);
        table_.swap(restored);
    }
}

bool TVariableManager::AddPersistentVariable(std::string_view name) {
    std::lock_guard guard(lock_);
    if (persistentVariables_.indexOf(name) != TextList::npos) return false;
    persistentVariables_.add(std::string(name));
    return true;
}

TextList TVariableManager::PersistentVariables() const {
    std::lock_guard guard(lock_);
    return persistentVariables_;
}

// --- text conventions ---

bool ParseBool(std::string_view text) { return text == "-1" || text::equalsIgnoreCase(text, "TRUE"); }

std::string BoolText(bool flag) { return flag ? "TRUE" : "FALSE"; }

std::string StripReference(std::string_view text) {
    if (text.size() < 2 || text.front() != '$') return {};
    const std::string_view rest = text.substr(1);
    return rest.find('$') == rest.size() - 1 ? std::string(rest.substr(0, rest.size() - 1)) : std::string();
}

std::string EncodeNewlines(std::string_view text) {
    std::size_t at = text.find("\r\n");
    if (at == std::string_view::npos) return std::string(text);
    std::string out;
    std::size_t from = 0;
    for (; at != std::string_view::npos; at = text.find("\r\n", from)) {
        out.append(text.substr(from, at - from));
        out.append(kNewlineToken);
        from = at + 2;
    }
    out.append(text.substr(from));
    return out;
}

std::string DecodeNewlines(std::string_view text) {
    std::size_t at = text::findIgnoreCase(text, kNewlineToken);
    if (at == std::string_view::npos) return std::string(text);
    std::string out;
    std::size_t from = 0;
    for (; at != std::string_view::npos; at = text::findIgnoreCase(text, kNewlineToken, from)) {
        out.append(text.substr(from, at - from));
        out.append("\r\n");
        from = at + kNewlineToken.size();
    }
    out.append(text.substr(from));
    return out;
}

std::string CollapseDoubledBackslashes(std::string_view text, bool keepLeadingPair) {
    const std::size_t start = keepLeadingPair && text.starts_with("\\\\") ? 2 : 0;
    if (text.find("\\\\", start) == std::string_view::npos) return std::string(text);
    std::string out(text.substr(0, start));
    out.reserve(text.size());
    for (std::size_t i = start; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
    }
    return out;
}

std::string ExpandCompilerVariables(std::string_view text, const TextList& compilerVariables) {
    if (text.find('#') == std::string_view::npos) return std::string(text);
    const std::size_t sizeLimit = text.size() + kMaxCompilerGrowthBytes;
    std::string before(text);
    for (int round = 1;; ++round) {
        std::string result = before;
        for (std::size_t i = 0; i + 1 < compilerVariables.size(); i += 2) {
            if (result.find('#') == std::string::npos) break; // nothing left that could match
            auto replaced = replaceCompilerVariable(result, compilerVariables[i], compilerVariables[i + 1], sizeLimit);
            if (!replaced) return before; // this round would grow without bound
            result = std::move(*replaced);
        }
        // Another round only when the values brought in "$" and changed the text; a value
        // may name another compiler variable.
        if (result.find('$') == std::string::npos || result == before || round >= kMaxCompilerRounds) return result;
        if (result.find('#') == std::string::npos) return result;
        before = std::move(result);
    }
}

std::string CommaText(const TextList& items) {
    if (items.size() == 1 && items[0].empty()) return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out.push_back(',');
        const std::string& item = items[i];
        bool needsQuotes = false;
        for (char c : item)
            if (static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',') {
                needsQuotes = true;
                break;
            }
        if (!needsQuotes) {
            out.append(item);
            continue;
        }
        out.push_back('"');
        for (char c : item) {
            if (c == '"') out.push_back('"');
            out.push_back(c);
        }
        out.push_back('"');
    }
    return out;
}

TextList ParseCommaText(std::string_view text) {
    TextList items;
    const std::size_t n = text.size();
    std::size_t p = 0;
    // The platform's lists read texts up to the first NUL; inside quotes a NUL is kept so that
    // a value holding one survives a snapshot.
    const auto atEnd = [&](std::size_t at) { return at >= n || text[at] == '\0'; };
    const auto skipBlanks = [&] {
        while (p < n && isBlank(text[p])) ++p;
    };
    skipBlanks();
    while (!atEnd(p)) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        item.push_back('"');
                        p += 2;
                        continue;
                    }
                    ++p; // closing quote
                    break;
                }
                item.push_back(text[p++]);
            }
        } else {
            const std::size_t start = p;
            while (p < n && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
            item.assign(text.substr(start, p - start));
        }
        items.add(std::move(item));
        skipBlanks();
        if (p < n && text[p] == ',') {
            if (atEnd(p + 1)) items.add({});
            ++p;
            skipBlanks();
        }
    }
    return items;
}

} // namespace velmora
