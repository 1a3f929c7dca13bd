// The deferred system commands: Write Registry, Create Folder, Create Shortcut, Advertised
// Shortcut, Create File Type, Advertised File Type, Copy/Move Local Files, Delete Files, Edit INI
// File, Set Environment. The package already holds their rows, guarded by the statement's
// activation property; the command switches that property on and hands the parameter values to
// the package as its exported properties. And the immediate ones, which act at once: Delete
// Registry, Delete Files Recursive, Write to Text File, Register Library.
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <utility>

#include "msi/installer_session.h"
#include "platform/redirection.h"
#include "platform/platform_switches.h"
#include "script/commands/commands.h"
#include "script/commands/system_changes_platform.h"
#include "script/integers.h"
#include "script/interpreter.h"
#include "script/script_error.h"

namespace velmora::commands {
namespace {

constexpr const char* kMissingHeader = "Unable to obtain command headers. Please rebuild your project.";

std::string headerOf(Interpreter& in, std::size_t statement) {
    const std::string header = commandHeader(in.payload(), statement);
    if (header.empty()) throw ScriptError(kMissingHeader);
    return header;
}

// A parameter substituted and then normalized as a path (which substitutes once more).
std::string textPath(Interpreter& in, const std::string& text) { return in.Vars().ExpandPath(in.Vars().ExpandText(text)); }

// A localizable parameter: substituted, replaced by its translation for the statement and slot
// when a language is active, and substituted again.
std::string localized(Interpreter& in, std::size_t statement, std::size_t k, int slot) {
    std::string value = in.Vars().ExpandText(in.Param(statement, k));
    if (in.CurrentLanguage().empty()) return value;
    return in.Vars().ExpandText(in.TranslateStatementText(value, in.StatementId(statement), slot));
}

void exportProperty(Interpreter& in, const std::string& name, const std::string& value) {
    in.Pending().QueuePendingProperty(name, value);
    in.RecordedProperties().add(name);
    in.RecordedProperties().add(EncodeNewlines(value));
}

// The statement ran: its state, then its activation property.
void activate(Interpreter& in, std::size_t statement, const std::string& header) {
    if (statement < in.StatementStates().size()) in.StatementStates().set(statement, "TRUE");
    exportProperty(in, "A" + header, "TRUE");
}

// Parameters exported as text+path, numbered _1, _2, ... in the order given.
void exportParameters(Interpreter& in, std::size_t statement, const std::string& header,
                      std::initializer_list<std::size_t> parameters) {
    int n = 0;
    for (std::size_t k : parameters) exportProperty(in, "P" + header + "_" + std::to_string(++n), textPath(in, in.Param(statement, k)));
}

void deferred(Interpreter& in, std::size_t statement, std::initializer_list<std::size_t> parameters) {
    const std::string header = headerOf(in, statement);
    activate(in, statement, header);
    exportParameters(in, statement, header, parameters);
}

msi::InstallerSession* session(Interpreter& in) { return in.Installer(); }

} // namespace

std::string ShortcutFileName(const std::string& name) {
    std::string head = name.substr(0, 6);
    std::size_t b = 0, e = head.size();
    while (b < e && head[b] == ' ') ++b;
    while (e > b && head[e - 1] == ' ') --e;
    return head.substr(b, e - b) + "~1|" + name;
}

void WriteRegistry(Interpreter& in, std::size_t statement) {
    const std::string header = headerOf(in, statement);
    activate(in, statement, header);
    // Only values that refer to variables need a value at run time; the others are in the package.
    int n = 0;
    for (std::size_t k : {3, 4, 5}) {
        ++n;
        const std::string stored = in.Param(statement, k);
        if (stored.find('$') != std::string::npos) exportProperty(in, "P" + header + "_" + std::to_string(n), textPath(in, stored));
    }
}

void CreateFolder(Interpreter& in, std::size_t statement) { deferred(in, statement, {1}); }

void CreateShortcut(Interpreter& in, std::size_t statement) {
    const std::string header = headerOf(in, statement);
    const std::string name = localized(in, statement, 2, 1);
    const std::string description = localized(in, statement, 4, 2);
    if (msi::InstallerSession* s = session(in)) {
        s->shortcutNames.add("P" + header + "_1");
        s->shortcutNames.add(ShortcutFileName(name));
        s->shortcutNames.add(description);
    }
    activate(in, statement, header);
    exportParameters(in, statement, header, {3, 1, 5, 6});
}

void CreateFileType(Interpreter& in, std::size_t statement) {
    const std::string header = headerOf(in, statement);
    activate(in, statement, header);
    TVariableManager& vars = in.Vars();
    exportProperty(in, "P" + header + "_1", vars.ExpandPath(localized(in, statement, 1, 1)));
    exportProperty(in, "P" + header + "_2", textPath(in, in.Param(statement, 2)));
    exportProperty(in, "P" + header + "_3", vars.ExpandPath(localized(in, statement, 3, 2)));
    exportProperty(in, "P" + header + "_4", textPath(in, in.Param(statement, 4)));
    exportProperty(in, "P" + header + "_5", textPath(in, in.Param(statement, 5)));
}

void AdvertisedFileType(Interpreter& in, std::size_t statement) {
    const std::string header = headerOf(in, statement);
    const std::string name = localized(in, statement, 1, 1);
    const std::string description = localized(in, statement, 3, 2);
    if (msi::InstallerSession* s = session(in)) {
        s->fileTypeNames.add(in.Param(statement, 1));
        s->fileTypeNames.add(name);
        s->fileTypeNames.add(description);
    }
    activate(in, statement, header);
}

void CopyMoveLocalFiles(Interpreter& in, std::size_t statement) { deferred(in, statement, {1, 3}); }
void DeleteFiles(Interpreter& in, std::size_t statement) { deferred(in, statement, {1}); }
void EditIniFile(Interpreter& in, std::size_t statement) { deferred(in, statement, {1, 4, 5, 6}); }

void SetEnvironment(Interpreter& in, std::size_t statement) {
    const platform::RedirectionScope redirection(in.System(), in.Switches().platformMode);
    deferred(in, statement, {2});
}

// --- immediate commands ---

void RemoveFileTree(const FileTreeOperations& ops) {
    std::vector<std::string> items = ops.list();
    std::size_t count = items.size();
    for (;;) {
        // Files first (folders simply fail), then the folders that are empty by now; a folder
        // that empties only in this pass goes in the next one.
        for (std::size_t i = items.size(); i-- > 0;) ops.deleteFile(items[i]);
        for (std::size_t i = items.size(); i-- > 0;) ops.removeFolder(items[i]);
        items = ops.list();
        if (items.size() == count) return;
        count = items.size();
    }
}

std::string AddLineToText(const std::string& text, const std::string& line, bool first) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string current = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!current.empty() && current.back() == '\r') current.pop_back();
        lines.push_back(current);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (first) lines.insert(lines.begin(), line);
    else lines.push_back(line);
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

void DeleteRegistry(Interpreter& in, std::size_t statement) {
    const std::int32_t root = toInt32(in.Vars().ExpandText(in.Param(statement, 1)));
    const std::string key = in.Vars().ExpandPath(in.Param(statement, 2));
    const std::string value = in.Vars().ExpandPath(in.Param(statement, 3));
    const bool wholeKey = ParseBool(in.Param(statement, 4));
    const bool on64 = in.System().is64BitWindows();
    const platform::RegistryViewScope view(in.Switches(), on64);
    const std::uint32_t accessView = platform::registryAccessView(in.Switches().registryView, in.System().is64BitProcess());
    system_changes::deleteRegistryEntry(root, key, value, wholeKey, on64 && in.Switches().on64BitSide(), accessView);
}

void DeleteFilesRecursive(Interpreter& in, std::size_t statement) {
    const platform::RedirectionScope redirection(in.System(), in.Switches().platformMode);
    const std::string mask = redirection.path(in.Vars().ExpandPath(in.Param(statement, 1)));
    RemoveFileTree({[&] { return system_changes::listFileTree(mask); },
                    [](const std::string& path) { system_changes::deleteFileEntry(path); },
                    [](const std::string& path) { system_changes::removeEmptyFolder(path); }});
}

void WriteToTextFile(Interpreter& in, std::size_t statement) {
    TVariableManager& vars = in.Vars();
    const platform::RedirectionScope redirection(in.System(), in.Switches().platformMode);
    const std::string file = redirection.path(textPath(in, in.Param(statement, 1)));
    const std::string line = vars.ExpandText(in.Param(statement, 2));
    const bool first = ParseBool(vars.ExpandText(in.Param(statement, 3)));
    // A text reader on this file is handed back here once Read from Text File keeps one, so that
    // the next read starts again at the first line.
    std::string text;
    {
        std::ifstream input(file, std::ios::binary);
        if (input) {
            std::ostringstream content;
            content << input.rdbuf();
            text = content.str();
        }
    }
    const std::string rewritten = AddLineToText(text, line, first);
    system_changes::makeFileNormal(file);
    std::ofstream output(file, std::ios::binary | std::ios::trunc);
    if (output) output.write(rewritten.data(), static_cast<std::streamsize>(rewritten.size()));
}

void RegisterLibrary(Interpreter& in, std::size_t statement) {
    TVariableManager& vars = in.Vars();
    const std::string path = vars.ExpandPath(in.Param(statement, 1));
    const bool registerIt = ParseBool(in.Param(statement, 2));
    bool ok = false;
    {
        const platform::RegistryViewScope view(in.Switches(), in.System().is64BitWindows());
        const platform::RedirectionScope redirection(in.System(), in.Switches().platformMode);
        ok = system_changes::registerLibrary(redirection.path(path), registerIt);
    }
    const std::string result = in.Param(statement, 3);
    if (result.empty()) return;
    const std::string name = StripReference(result).empty() ? result : StripReference(result);
    vars.StoreResult("Register Library", name, BoolText(ok));
}

} // namespace velmora::commands
