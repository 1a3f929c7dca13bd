// Parsing and writing the readable project format.
#include "builder/project.h"

#include <cctype>
#include <charconv>
#include <random>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "core/text.h"

namespace velmora::builder {
namespace {

struct Statement {
    std::string name;
    std::string id;
    std::string flag;
    std::string media;
    std::string header;
    std::vector<std::string> parameters;
    int line = 0;
};

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s) { return trimRight(trimLeft(s)); }

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        text.remove_prefix(lf + 1);
    }
    return lines;
}

bool isGuid(std::string_view s) {
    if (s.size() != 38 || s[0] != '{' || s[37] != '}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
}

bool isHeaderId(std::string_view s) {
    if (s.size() != 8) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

// "key: value" -> {key, value}; value loses the blanks after the colon.
std::pair<std::string, std::string> splitAt(std::string_view line, char separator, int lineNo) {
    const std::size_t at = line.find(separator);
    if (at == std::string_view::npos)
        throw ProjectError(lineNo, std::string("expected '") + separator + "' in \"" + std::string(line) + "\"");
    return {std::string(trim(line.substr(0, at))), std::string(trimLeft(line.substr(at + 1)))};
}

std::string hex8(std::uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = digits[v & 15];
    return out;
}

// A header ID derived from the statement's GUID, so rebuilding a project keeps its IDs.
std::string headerFor(const std::string& guid, std::set<std::string>& used) {
    std::uint32_t h = 2166136261u;
    for (char c : text::upper(guid)) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    while (used.count(hex8(h))) ++h;
    used.insert(hex8(h));
    return hex8(h);
}

class ProjectParser {
public:
    ProjectParser(std::string_view text, std::string baseDir) : lines_(splitLines(text)) {
        project_.inputs.baseDir = std::move(baseDir);
    }

    Project parse() {
        std::string section;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            lineNo_ = static_cast<int>(i) + 1;
            const std::string_view raw = trimRight(lines_[i]);
            const std::string_view content = trimLeft(raw);
            if (content.empty() || content.front() == '#') continue;
            if (raw.front() == '[') {
                section = std::string(trim(raw.substr(1, raw.find(']') == std::string_view::npos ? raw.size() : raw.find(']') - 1)));
                if (!knownSection(section)) throw ProjectError(lineNo_, "unknown section [" + section + "]");
                continue;
            }
            if (section.empty()) throw ProjectError(lineNo_, "text before the first [section]");
            line(section, raw, content);
        }
        finishStatements();
        return std::move(project_);
    }

private:
    static bool knownSection(const std::string& s) {
        for (const char* k : {"product", "build", "plugin-commands", "media-passwords", "component-sizes", "media-files",
                              "compiler-variables", "script"})
            if (s == k) return true;
        return false;
    }

    void line(const std::string& section, std::string_view raw, std::string_view content) {
        SetupPayload& p = project_.payload;
        if (section == "product") return product(content);
        if (section == "build") return build(content);
        if (section == "plugin-commands") return p.pluginCommands.add(std::string(content));
        if (section == "media-passwords") return pair(p.mediaPasswords, content);
        if (section == "component-sizes") return componentSize(content);
        if (section == "compiler-variables") return pair(p.compilerVariables, content);
        if (section == "media-files") return mediaFile(content);
        script(raw, content);
    }

    void product(std::string_view content) {
        auto [key, value] = splitAt(content, ':', lineNo_);
        SetupPayload& p = project_.payload;
        if (key == "title") p.title = value;
        else if (key == "product-code") p.productCode = value;
        else if (key == "revision-code") p.revisionCode = value;
        else if (key == "company") p.company = value;
        else if (key == "contact") p.contact = value;
        else if (key == "help-link") p.helpLink = value;
        else if (key == "update-info") p.updateInfo = value;
        else if (key == "comments") p.comments = value;
        else if (key == "version") p.version = value;
        else if (key == "default-language") p.defaultLanguage = value;
        else if (key == "choose-language") p.chooseLanguage = value == "TRUE";
        else if (key == "build-kind") {
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), p.buildKind);
            if (ec != std::errc() || end != value.data() + value.size()) throw ProjectError(lineNo_, "build-kind must be a number");
        } else {
            throw ProjectError(lineNo_, "unknown product field \"" + key + "\"");
        }
    }

    void build(std::string_view content) {
        auto [key, value] = splitAt(content, ':', lineNo_);
        BuildInputs& b = project_.inputs;
        if (key == "exe-name") b.exeName = value;
        else if (key == "package") b.package = value;
        else if (key == "resources") b.resources = value;
        else if (key == "language-file") b.languageFile = value;
        else throw ProjectError(lineNo_, "unknown build field \"" + key + "\"");
    }

    void pair(TextList& list, std::string_view content) {
        auto [name, value] = splitAt(content, '=', lineNo_);
        list.add(std::move(name));
        list.add(std::move(value));
    }

    void componentSize(std::string_view content) {
        auto [name, value] = splitAt(content, '=', lineNo_);
        long long size = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), size);
        if (ec != std::errc() || end != value.data() + value.size())
            throw ProjectError(lineNo_, "component size of " + name + " must be a number");
        project_.payload.componentSizes.add(std::move(name));
        project_.payload.componentSizes.add(std::move(value));
    }

    void mediaFile(std::string_view content) {
        std::vector<std::string> parts;
        for (std::size_t start = 0;;) {
            const std::size_t bar = content.find('|', start);
            parts.emplace_back(trim(content.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start)));
            if (bar == std::string_view::npos) break;
            start = bar + 1;
        }
        if (parts.size() != 3) throw ProjectError(lineNo_, "a media file is: media | path in media | destination");
        for (auto& part : parts) project_.payload.mediaFiles.add(std::move(part));
    }

    void script(std::string_view raw, std::string_view content) {
        if (raw.front() != ' ' && raw.front() != '\t') {
            statements_.push_back(Statement{std::string(raw), {}, {}, {}, {}, {}, lineNo_});
            return;
        }
        if (statements_.empty()) throw ProjectError(lineNo_, "a statement's detail before its command name");
        Statement& s = statements_.back();
        if (content.front() == '|') {
            // "| value": one blank after the bar separates it from the value.
            std::string_view value = lines_[static_cast<std::size_t>(lineNo_ - 1)];
            value = trimLeft(value).substr(1);
            if (!value.empty() && value.back() == '\r') value.remove_suffix(1);
            if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            s.parameters.emplace_back(value);
            return;
        }
        if (content == "commented") {
            s.flag = "C";
            return;
        }
        auto [key, value] = splitAt(content, ':', lineNo_);
        if (key == "id") {
            if (!isGuid(value)) throw ProjectError(lineNo_, "id must be a GUID in braces");
            s.id = text::upper(value);
        } else if (key == "header") {
            if (!isHeaderId(value)) throw ProjectError(lineNo_, "header must be eight upper-case hexadecimal digits");
            s.header = value;
        } else if (key == "media") {
            s.media = value;
        } else if (key == "flag") {
            s.flag = value;
        } else {
            throw ProjectError(lineNo_, "unknown statement field \"" + key + "\"");
        }
    }

    void finishStatements() {
        SetupPayload& p = project_.payload;
        std::set<std::string> usedHeaders;
        std::unordered_set<std::string> usedIds;
        for (auto& s : statements_) {
            if (!s.header.empty() && !usedHeaders.insert(s.header).second)
                throw ProjectError(s.line, "header " + s.header + " is used twice");
            if (!s.id.empty() && !usedIds.insert(s.id).second) throw ProjectError(s.line, "id " + s.id + " is used twice");
        }
        for (std::size_t i = 0; i < statements_.size(); ++i) {
            Statement& s = statements_[i];
            if (s.id.empty()) {
                do s.id = newGuid();
                while (!usedIds.insert(s.id).second);
            }
            if (s.header.empty() && needsCommandHeader(s.name)) s.header = headerFor(s.id, usedHeaders);
            p.statementNames.add(s.name);
            p.statementIds.add(s.id);
            p.statementFlags.add(s.flag);
            p.statementMedia.add(s.media);
            if (!s.parameters.empty()) {
                p.statementParameters.add(s.id);
                for (auto& param : s.parameters) p.statementParameters.add(std::move(param));
            }
            if (!s.header.empty()) {
                p.commandHeaders.add(s.header);
                p.commandHeaders.add(std::to_string(i));
            }
        }
    }

    std::vector<std::string_view> lines_;
    Project project_;
    std::vector<Statement> statements_;
    int lineNo_ = 0;
};

void put(std::string& out, std::string_view key, std::string_view value) {
    out.append(key).append(": ").append(value).append("\n");
}

void putPairs(std::string& out, const char* section, const TextList& list) {
    out.append("\n[").append(section).append("]\n");
    for (std::size_t i = 0; i + 1 < list.size(); i += 2) out.append(list[i]).append(" = ").append(list[i + 1]).append("\n");
}

} // namespace

bool needsCommandHeader(std::string_view command) {
    static const char* const kCommands[] = {
        "Install Files", "Create Folder", "Create Shortcut", "Write Registry", "Create File Type",
        "Advertised File Type", "Advertised Shortcut", "Copy/Move Local Files", "Delete Files", "Edit INI File",
        "Set Environment", "Install Assembly", "Control Service", "Create ODBC DSN", "Install ODBC Driver",
    };
    for (const char* c : kCommands)
        if (command == c) return true;
    return false;
}

std::string newGuid() {
    static std::mt19937_64 random{std::random_device{}()};
    const std::uint64_t a = random(), b = random();
    std::string hex = hex8(static_cast<std::uint32_t>(a >> 32)) + hex8(static_cast<std::uint32_t>(a)) +
                      hex8(static_cast<std::uint32_t>(b >> 32)) + hex8(static_cast<std::uint32_t>(b));
    hex[12] = '4';                                    // version 4
    hex[16] = "89AB"[(b >> 62) & 3];                  // variant 1
    return "{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
           hex.substr(20) + "}";
}

Project parseProject(std::string_view text, const std::string& baseDir) { return ProjectParser(text, baseDir).parse(); }

std::string writeProject(const SetupPayload& p) {
    std::string out = "# Velmora setup project\n\n[product]\n";
    put(out, "title", p.title);
    put(out, "product-code", p.productCode);
    put(out, "revision-code", p.revisionCode);
    put(out, "company", p.company);
    put(out, "contact", p.contact);
    put(out, "help-link", p.helpLink);
    put(out, "update-info", p.updateInfo);
    put(out, "comments", p.comments);
    put(out, "version", p.version);
    put(out, "build-kind", std::to_string(p.buildKind));
    put(out, "choose-language", p.chooseLanguage ? "TRUE" : "FALSE");
    put(out, "default-language", p.defaultLanguage);

    out.append("\n[plugin-commands]\n");
    for (const auto& c : p.pluginCommands) out.append(c).append("\n");
    putPairs(out, "media-passwords", p.mediaPasswords);
    putPairs(out, "component-sizes", p.componentSizes);
    out.append("\n[media-files]\n");
    for (std::size_t i = 0; i + 2 < p.mediaFiles.size(); i += 3)
        out.append(p.mediaFiles[i]).append(" | ").append(p.mediaFiles[i + 1]).append(" | ").append(p.mediaFiles[i + 2]).append("\n");
    putPairs(out, "compiler-variables", p.compilerVariables);

    // Parameter records: a record runs from its statement's GUID to the next record's GUID.
    std::unordered_set<std::string> ids;
    for (const auto& id : p.statementIds) ids.insert(text::upper(id));
    std::unordered_map<std::string, std::vector<std::string>> records;
    std::vector<std::string>* current = nullptr;
    for (const auto& line : p.statementParameters) {
        if (ids.count(text::upper(line)) && !records.count(text::upper(line))) {
            current = &records[text::upper(line)];
            continue;
        }
        if (current) current->push_back(line);
    }

    out.append("\n[script]\n");
    for (std::size_t i = 0; i < p.statementCount(); ++i) {
        out.append(p.statementNames[i]).append("\n");
        const std::string id = i < p.statementIds.size() ? p.statementIds[i] : std::string();
        out.append("  id: ").append(id).append("\n");
        const std::string flag = i < p.statementFlags.size() ? p.statementFlags[i] : std::string();
        if (flag == "C") out.append("  commented\n");
        else if (!flag.empty()) out.append("  flag: ").append(flag).append("\n");
        const std::string header = commandHeader(p, i);
        if (!header.empty()) out.append("  header: ").append(header).append("\n");
        if (i < p.statementMedia.size() && !p.statementMedia[i].empty())
            out.append("  media: ").append(p.statementMedia[i]).append("\n");
        if (auto it = records.find(text::upper(id)); it != records.end())
            for (const auto& param : it->second) out.append("  | ").append(param).append("\n");
    }
    return out;
}

} // namespace velmora::builder
