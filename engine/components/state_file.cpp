// Reading, writing and updating the saved state file, and picking an older build's state.
#include "components/state_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <unordered_set>

#include "components/size_format.h"
#include "components/state_file_io.h"

namespace velmora {
namespace {

constexpr std::string_view kSectionEnd = "$";
constexpr std::string_view kEscapedSectionEnd = "$DOLLAR$";
constexpr std::size_t kSectionCount = 6;
constexpr std::size_t kFixedLinesAfterSections = 4;

// Lines ended by CR LF (a lone LF is accepted too); text after the last line break is a line.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
        if (end > pos && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(pos, end - pos));
        pos = next;
    }
    return lines;
}

// An item keeps to its line: a line break still in it becomes the one-line form "$NEWLINE$".
void writeLine(std::string& out, std::string_view item) {
    std::size_t pos = 0;
    for (std::size_t lf = item.find('\n'); lf != std::string_view::npos; lf = item.find('\n', pos)) {
        const std::size_t end = lf > pos && item[lf - 1] == '\r' ? lf - 1 : lf;
        out.append(item.substr(pos, end - pos));
        out.append("$NEWLINE$");
        pos = lf + 1;
    }
    out.append(item.substr(pos));
    out.append("\r\n");
}

void writeSection(std::string& out, const TextList& list) {
    for (const auto& line : list) writeLine(out, line == kSectionEnd ? kEscapedSectionEnd : std::string_view(line));
    writeLine(out, kSectionEnd);
}

// Items 11-13.
void writeVariables(std::string& out, const SavedState& state) {
    for (const auto& [name, value] : state.persistentVariables) {
        if (text::equalsIgnoreCase(name, kPlatformModeMarker)) continue; // it would read back as item 12
        writeLine(out, name);
        writeLine(out, value);
    }
    writeLine(out, kPlatformModeMarker);
    writeLine(out, state.platformMode.value_or(""));
    writeLine(out, kOverrideCacheName);
    writeLine(out, state.overrideCache ? state.overrideCache->value : std::string());
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

bool hasExtension(std::string_view name, std::string_view dotExtension) {
    return name.size() > dotExtension.size() &&
           text::equalsIgnoreCase(name.substr(name.size() - dotExtension.size()), dotExtension);
}

} // namespace

SavedState ParseStateText(std::string_view text, SizeLines sizeLines) {
    const std::vector<std::string_view> lines = splitLines(text);
    SavedState state;
    state.sectionsRead = 0;
    TextList* const sections[kSectionCount] = {&state.components.names,   &state.components.states,
                                                &state.components.deleted, &state.components.hidden,
                                                &state.components.choiceLocked, &state.components.sizes};
    std::size_t pos = 0;
    for (TextList* section : sections) {
        if (pos >= lines.size()) break;
        ++state.sectionsRead;
        for (; pos < lines.size() && lines[pos] != kSectionEnd; ++pos)
            section->add(text::equalsIgnoreCase(lines[pos], kEscapedSectionEnd) ? std::string(kSectionEnd) : std::string(lines[pos]));
        if (pos < lines.size()) ++pos; // the "$"
    }
    if (sizeLines == SizeLines::InvalidAsZero) {
        TextList& sizes = state.components.sizes;
        for (std::size_t i = 1; i < sizes.size(); i += 2)
            if (!parseSizeText(sizes[i])) sizes.set(i, "0");
    }
    auto nextLine = [&]() -> std::optional<std::string> {
        if (pos >= lines.size()) return std::nullopt;
        return std::string(lines[pos++]);
    };
    state.targetDir = nextLine();
    state.allUsers = nextLine();
    state.startMenu = nextLine();
    state.dataFolder = nextLine();
    // Name/value pairs to the end; a name whose value line is missing is not loaded.
    while (pos + 1 < lines.size()) {
        NameValue pair{std::string(lines[pos]), std::string(lines[pos + 1])};
        pos += 2;
        if (!text::equalsIgnoreCase(pair.name, kPlatformModeMarker)) {
            state.persistentVariables.push_back(std::move(pair));
            continue;
        }
        state.platformMode = std::move(pair.value);
        if (pos + 1 < lines.size()) {
            state.overrideCache = NameValue{std::string(lines[pos]), std::string(lines[pos + 1])};
            pos += 2;
        }
    }
    return state;
}

std::string FormatStateText(const SavedState& state) {
    std::string out;
    const ComponentLists& c = state.components;
    for (const TextList* section : {&c.names, &c.states, &c.deleted, &c.hidden, &c.choiceLocked, &c.sizes})
        writeSection(out, *section);
    writeLine(out, state.targetDir.value_or(""));
    writeLine(out, state.allUsers.value_or(""));
    writeLine(out, state.startMenu.value_or(""));
    writeLine(out, state.dataFolder.value_or(""));
    writeVariables(out, state);
    return out;
}

std::optional<std::string> UpdateStateText(std::string_view existing, const SavedState& current) {
    const std::vector<std::string_view> lines = splitLines(existing);
    std::size_t sectionEnds = 0;
    std::size_t pos = 0;
    while (pos < lines.size() && sectionEnds < kSectionCount)
        if (lines[pos++] == kSectionEnd) ++sectionEnds;
    if (sectionEnds < kSectionCount || lines.size() - pos < kFixedLinesAfterSections) return std::nullopt;
    const std::size_t keep = pos + kFixedLinesAfterSections;
    std::string out;
    for (std::size_t i = 0; i < keep; ++i) {
        out.append(lines[i]);
        out.append("\r\n");
    }
    writeVariables(out, current);
    return out;
}

std::optional<SavedState> ReadStateFile(const std::string& path, SizeLines sizeLines) {
    const auto bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    return ParseStateText(*bytes, sizeLines);
}

SaveOutcome SaveStateFile(const std::string& path, const SavedState& state, bool fullRewrite) {
    std::string content;
    if (fullRewrite) {
        content = FormatStateText(state);
    } else {
        const auto existing = readWholeFile(path);
        if (!existing) return SaveOutcome::NoFileToUpdate;
        auto updated = UpdateStateText(*existing, state);
        if (!updated) return SaveOutcome::DamagedFileKept;
        content = std::move(*updated);
    }
    const std::string temporary = path + ".~save";
    if (!WriteFileDurably(temporary, content) || !ReplaceFileAtomically(temporary, path)) {
        RemoveFileQuietly(temporary);
        return SaveOutcome::WriteFailed;
    }
    return SaveOutcome::Written;
}

std::optional<std::string> PickOldStateFile(const std::vector<std::string>& fileNames) {
    std::vector<std::string> stateFiles;
    for (const auto& name : fileNames)
        if (hasExtension(name, ".dat") && !text::equalsIgnoreCase(name, "instance.dat")) stateFiles.push_back(name);
    if (stateFiles.size() == 1) return stateFiles.front();
    std::stable_sort(stateFiles.begin(), stateFiles.end(),
                     [](const std::string& a, const std::string& b) { return text::compareIgnoreCase(a, b) < 0; });
    const std::unordered_set<std::string_view, text::IgnoreCaseHash, text::IgnoreCaseEqual> present(fileNames.begin(), fileNames.end());
    for (const auto& stateFile : stateFiles) {
        const std::string base = stateFile.substr(0, stateFile.size() - 4);
        if (present.count(base + ".exe") && present.count(base + ".res") && present.count(base + ".msi") && present.count(base + ".par"))
            return stateFile;
    }
    return std::nullopt;
}

} // namespace velmora
