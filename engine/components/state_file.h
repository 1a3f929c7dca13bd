// The saved state file (<base>.dat in the installation cache, and the file of Save/Load Feature
// Selections): its text form, the in-place update of a cached state, the crash-safe write, and
// the choice of the state file to take over from an older build's cache folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "components/component_model.h"

namespace velmora {

struct NameValue {
    std::string name;
    std::string value;
};

// The content of a state file. ANSI text, CR LF lines, a "$" line ending each of the six
// sections:
//   1-6  component names, states, deleted, hidden, choice-locked lists, then the sizes (pairs);
//   7-10 TARGETDIR, ALLUSERS, STARTMENU, the data folder in short form (or an empty line);
//   11   name/value pairs of the persistent variables;
//   12   "QORV64WOW" and the platform mode; 13 "OVERRIDECACHE" and its value.
// Reading a file that ends early fills what the file has: sectionsRead tells how many of the
// six sections it reached, and the later items stay absent.
struct SavedState {
    ComponentLists components;
    std::size_t sectionsRead = 6;
    std::optional<std::string> targetDir;
    std::optional<std::string> allUsers;
    std::optional<std::string> startMenu;
    std::optional<std::string> dataFolder;
    // In file order. Values in their one-line form: the caller passes them through
    // EncodeNewlines when saving, and loading hands them back exactly as stored.
    std::vector<NameValue> persistentVariables;
    std::optional<std::string> platformMode;
    // The pair after the platform mode; it is defined on loading but is not persistent.
    std::optional<NameValue> overrideCache;
};

inline constexpr std::string_view kPlatformModeMarker = "QORV64WOW";
inline constexpr std::string_view kOverrideCacheName = "OVERRIDECACHE";

// How size lines that are not integers are read. Statements keep them as written (reading
// such a size then raises "'x' is not a valid integer value"); the start-up bootstrap reads
// them as 0, so a damaged cache never ends the setup before it starts.
enum class SizeLines { AsWritten, InvalidAsZero };

// --- text form ---
SavedState ParseStateText(std::string_view text, SizeLines sizeLines = SizeLines::AsWritten);
// The whole file. A list line that is exactly "$" is written as "$DOLLAR$" (and read back as
// "$") so it cannot end its section; a line break left in any item is written as "$NEWLINE$"
// so it cannot split the line.
std::string FormatStateText(const SavedState& state);
// The in-place update of an existing file: everything up to the sixth "$" line and the four
// lines after it stays as it is (the installed selection, target, all-users flag, start menu
// and data folder), followed by current's persistent variables, platform mode and
// OVERRIDECACHE value. nullopt when the existing text does not hold those lines: a damaged
// file is left alone rather than made worse.
std::optional<std::string> UpdateStateText(std::string_view existing, const SavedState& current);

// --- files ---
// nullopt when the file does not exist or cannot be read.
std::optional<SavedState> ReadStateFile(const std::string& path, SizeLines sizeLines = SizeLines::AsWritten);

enum class SaveOutcome {
    Written,         // the file now holds the new content
    NoFileToUpdate,  // an update was asked for and there is no file: nothing written
    DamagedFileKept, // an update was asked for and the file lacks its fixed part: left as it was
    WriteFailed,     // the new content could not be written; the old file is unchanged
};
// Full rewrite writes FormatStateText(state); otherwise an existing file is updated in place
// (UpdateStateText). Either way the new content goes to a temporary file beside the target
// (path + ".~save"), is forced to disk, and then replaces the target in one step, so a crash
// or a full disk leaves the old file or the new one, never a truncated one.
SaveOutcome SaveStateFile(const std::string& path, const SavedState& state, bool fullRewrite);

// --- taking over an older build's state ---
// From the names of the files in an older revision's cache folder (names only, one level),
// the ".dat" file to load: the only one besides "instance.dat", or else the first (in name
// order, ignoring case) whose base name also has ".exe", ".res", ".msi" and ".par" files
// there. nullopt when none qualifies.
std::optional<std::string> PickOldStateFile(const std::vector<std::string>& fileNames);

} // namespace velmora
