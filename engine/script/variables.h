// The process-wide variable store (TVariableManager): named texts shared by the interpreter,
// dialogs and worker threads, $NAME$ substitution, the guarded assignment that keeps
// command-line values in silent runs, and the small text conventions every command shares.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/text.h"
#include "core/text_list.h"

namespace velmora {

// Bounds of one ExpandText/ExpandQuoted call. A value that refers to itself, directly or
// through a chain of variables, would otherwise be inserted forever: the expansion stops after
// maxSubstitutions substitutions, or before a substitution that would make the text grow by
// more than maxGrowthBytes over its original length, and returns the text as expanded up to
// that point (the reference that hit the bound, and all after it, left as written). No real
// parameter comes near either bound; tests and fuzzing pass tighter ones.
struct ExpansionLimits {
    std::size_t maxSubstitutions = 100000;
    std::size_t maxGrowthBytes = std::size_t{64} << 20;
};

// The one variable store of the process. Names compare ignoring letter case and keep the
// spelling with which they were first stored; an empty value differs from an absent variable.
// Every operation runs under one lock (reads included), so each single call is atomic while
// the interpreter, dialog timers and worker threads use the store at once.
class TVariableManager {
public:
    // Reason text that lets an assignment override a protected command-line value.
    static constexpr std::string_view kInjectReason = "Inject Override Command Line";

    explicit TVariableManager(ExpansionLimits limits = {}) : limits_(limits) {}
    TVariableManager(const TVariableManager&) = delete;
    TVariableManager& operator=(const TVariableManager&) = delete;

    // --- the store ---
    // Creates the variable or replaces its value; an empty name is ignored.
    void StoreValue(std::string_view name, std::string_view value);
    void ClearAll();
    bool HasVariable(std::string_view name) const;
    // Clears list and appends name, value, name, value ... (order not defined); returns its count.
    std::size_t ListPairs(TextList& list) const;
    // The value; empty text when the variable is absent or the name is empty.
    std::string FetchValue(std::string_view name) const;

    // --- substitution ---
    // Replaces every $NAME$ of an existing variable by its value, scanning inserted values
    // again (nested expansion); unknown references, lone dollars and unpaired dollars stay.
    std::string ExpandText(std::string_view text) const;
    // As ExpandText, but each value is inserted between double quotes (not escaped).
    std::string ExpandQuoted(std::string_view text) const;
    // ExpandText, then doubled backslashes collapsed to one, a leading pair (UNC) kept.
    std::string ExpandPath(std::string_view text) const;

    // --- engine-level operations ---
    // Settings the start-up hands over: the silent flag (re-read by the interpreter before
    // every statement) and the NAME/VALUE lines of the command line.
    void SetSilentMode(bool silent);
    bool SilentMode() const;
    void SetCommandLineAssignments(TextList assignments);
    TextList CommandLineAssignments() const;

    // Creates the variable with value, or assigns through AssignVariable when it exists.
    // reason names the caller's phase or command; only kInjectReason changes behaviour.
    void DefineVariable(std::string_view name, std::string_view value, std::string_view reason);
    // The guarded assignment: in a silent run a variable named on the command line keeps its
    // value (and is not created) unless reason is kInjectReason. DefineVariable, by contrast,
    // always creates a missing variable.
    void AssignVariable(std::string_view name, std::string_view value, std::string_view reason);
    // How a command stores into the result variable named by one of its parameters.
    void StoreResult(std::string_view command, std::string_view name, std::string_view value);
    // ExpandText of the value of the variable that text names ($NAME$ or NAME); marker when
    // the variable does not exist.
    std::string ResolveReference(std::string_view text, std::string_view marker) const;

    // The whole store in comma form, and its replacement from that form (atomic: no other
    // thread sees the store half restored). A trailing unpaired item is ignored.
    std::string VariableSnapshot() const;
    void RestoreSnapshot(std::string_view commaText);

    // Names a Set Variable statement marked for keeping, in the order first marked.
    // Returns false when the name was already listed (compared ignoring case).
    bool AddPersistentVariable(std::string_view name);
    TextList PersistentVariables() const;

private:
    using Value = std::shared_ptr<const std::string>;
    using Table = std::unordered_map<std::string, Value, text::IgnoreCaseHash, text::IgnoreCaseEqual>;

    Value lookup(std::string_view name) const;
    void storeLocked(std::string_view name, std::string_view newSpelling, std::string_view value);
    void assignLocked(std::string_view name, std::string_view value, std::string_view reason);
    std::string expand(std::string_view text, bool quoted) const;
    bool isCommandLineName(std::string_view upperName) const;

    mutable std::mutex lock_;
    Table table_;
    const ExpansionLimits limits_;
    bool silentMode_ = false;
    TextList commandLineAssignments_;
    TextList persistentVariables_;
};

// --- text conventions shared by every command ---

// True for "TRUE" in any letter case and for exactly "-1"; false for everything else.
bool ParseBool(std::string_view text);
// "TRUE" or "FALSE".
std::string BoolText(bool flag);
// The name inside a whole-text reference: $NAME$ gives NAME; NAME, $A$B$ and $X give "".
std::string StripReference(std::string_view text);
// CR LF -> "$NEWLINE$" and back ("$NEWLINE$" in any letter case), left to right, inserted
// text not scanned again.
std::string EncodeNewlines(std::string_view text);
std::string DecodeNewlines(std::string_view text);
// Every pair of backslashes replaced by one, left to right without rescanning; with
// keepLeadingPair a leading "\\" (UNC path) is kept as it is.
std::string CollapseDoubledBackslashes(std::string_view text, bool keepLeadingPair);

// Replaces #NAME# (ignoring case) by the values of compilerVariables (name/value lines), pair
// by pair in list order; repeated on the result while it contains "$" and differs from the
// text of the round before. Repeats stop after kMaxCompilerRounds rounds, and a round whose
// result would grow by more than kMaxCompilerGrowthBytes over the original is dropped (the
// text of the round before is returned), so values that refer to each other cannot loop or
// exhaust memory. Compiler variables stand in parameter lines; no real one nears either bound.
inline constexpr int kMaxCompilerRounds = 32;
inline constexpr std::size_t kMaxCompilerGrowthBytes = std::size_t{1} << 20;
std::string ExpandCompilerVariables(std::string_view text, const TextList& compilerVariables);

// The platform's comma-separated list form. Writing: items joined with ","; an item with a
// character of code 0-32, a double quote or a comma is quoted (inner quotes doubled); a list
// of one empty item is written as "". Parsing: blanks (codes 1-32) between items skipped, a
// quoted item ends at its closing quote, an unquoted one at a comma or code <= 32, a final
// comma adds an empty item; a NUL outside quotes ends the text.
std::string CommaText(const TextList& items);
TextList ParseCommaText(std::string_view text);

} // namespace velmora
