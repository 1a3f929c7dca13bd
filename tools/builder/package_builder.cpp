#include "builder/package_builder.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "builder/setup_writer.h"
#include "core/text.h"
#include "script/commands/commands.h"
#include "script/variables.h"

namespace velmora::builder {
namespace fs = std::filesystem;
namespace {

std::string xml(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string sqlText(std::string_view text) {
    std::string out;
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out;
}

// A GUID derived from a text, so that rebuilding a project keeps its component ids.
std::string derivedGuid(const std::string& seed) {
    std::uint64_t a = 14695981039346656037ull, b = 1099511628211ull;
    for (char c : seed) {
        a = (a ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        b = (b + static_cast<unsigned char>(c)) * 6364136223846793005ull + 1442695040888963407ull;
    }
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (int i = 15; i >= 0; --i) hex += digits[(a >> (i * 4)) & 15];
    for (int i = 15; i >= 0; --i) hex += digits[(b >> (i * 4)) & 15];
    hex[12] = '4';
    hex[16] = "89AB"[(b >> 3) & 3];
    return "{" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
           hex.substr(20) + "}";
}

// ProductVersion must be numeric: major.minor.build.
std::string productVersion(const std::string& version) {
    if (version.empty() || !std::all_of(version.begin(), version.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }))
        return "1.0.0";
    return version;
}

// A value fixed in the package, or the exported property when the script computes it.
std::string runTimeValue(const std::string& stored, const std::string& property) {
    return stored.find('$') != std::string::npos ? "[" + property + "]" : stored;
}

class PackageWriter {
public:
    PackageWriter(const Project& project, std::string sourceRoot)
        : project_(project), payload_(project.payload), sourceRoot_(std::move(sourceRoot)) {}

    PackageSource describe() {
        for (std::size_t n = 0; n < payload_.statementCount(); ++n) {
            if (payload_.isCommented(n)) continue;
            const std::string header = commandHeader(payload_, n);
            if (header.empty()) continue;
            statement(n, header);
        }
        PackageSource out;
        out.wxs = wxs();
        addTable(out, "Environment", "Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n",
                 environment_);
        addTable(out, "IniFile",
                 "IniFile\tFileName\tDirProperty\tSection\tKey\tValue\tAction\tComponent_\n"
                 "s72\tl255\tS72\tl96\tl128\tl255\ti2\ts72\nIniFile\tIniFile\n",
                 iniFiles_);
        addTable(out, "RemoveFile",
                 "FileKey\tComponent_\tFileName\tDirProperty\tInstallMode\ns72\ts72\tL255\ts72\ti2\nRemoveFile\tFileKey\n",
                 removeFiles_);
        addTable(out, "MoveFile",
                 "FileKey\tComponent_\tSourceName\tDestName\tSourceFolder\tDestFolder\tOptions\n"
                 "s72\ts72\tL255\tL255\tS72\ts72\ti2\nMoveFile\tFileKey\n",
                 moveFiles_);
        for (const auto& header : conditioned_)
            out.queries.push_back("UPDATE `Component` SET `Condition`='A" + header + "=\"TRUE\"' WHERE `Component`='C" +
                                  header + "'");
        out.queries.insert(out.queries.end(), extraQueries_.begin(), extraQueries_.end());
        // Every file is marked compressed (in the cabinet) and vital: the engine's word-count
        // edit declares the package's files uncompressed, and a file's own mark wins over it.
        if (hasFiles_) out.queries.push_back("UPDATE `File` SET `Attributes`=16896");
        const std::pair<const char*, int> actions[] = {
            {"RemoveEnvironmentStrings", 3300}, {"RemoveIniValues", 3400}, {"MoveFiles", 3800},
            {"WriteIniValues", 5100},           {"WriteEnvironmentStrings", 5200},
        };
        for (const auto& [action, sequence] : actions)
            out.queries.push_back("INSERT INTO `InstallExecuteSequence` (`Action`,`Sequence`) VALUES ('" + std::string(action) +
                                  "'," + std::to_string(sequence) + ")");
        return out;
    }

private:
    // Parameter k of statement n within its own record: a record ends where the next
    // statement's GUID line starts.
    std::string param(std::size_t n, std::size_t k) const {
        const TextList& lines = payload_.statementParameters;
        const std::size_t at = lines.indexOf(payload_.statementIds[n]);
        if (at == TextList::npos) return {};
        for (std::size_t i = 1; i <= k; ++i)
            if (at + i >= lines.size() || payload_.statementIds.indexOf(lines[at + i]) != TextList::npos) return {};
        return lines[at + k];
    }
    [[noreturn]] void fail(std::size_t n, const std::string& message) const {
        throw ProjectError(0, "statement " + std::to_string(n + 1) + " (" + payload_.statementNames[n] + "): " + message);
    }

    // A directory whose key is the exported property: it takes the folder given at run time.
    void runTimeDirectory(const std::string& property) {
        if (std::find(directories_.begin(), directories_.end(), property) == directories_.end()) directories_.push_back(property);
    }
    void component(const std::string& header, const std::string& directory, const std::string& body) {
        components_.push_back({header, directory, body});
        conditioned_.push_back(header);
    }

    void statement(std::size_t n, const std::string& h) {
        const std::string& name = payload_.statementNames[n];
        const std::string p = "P" + h + "_";
        if (name == "Install Files") {
            runTimeDirectory(p + "1");
            std::string body;
            int count = 0;
            for (const std::string& file : sourceFiles(n, param(n, 1)))
                body += "<File Id=\"F" + h + "_" + std::to_string(++count) + "\" Name=\"" + xml(fs::path(file).filename().string()) +
                        "\" Source=\"" + xml(sourcePath(file)) + "\"" + (count == 1 ? " KeyPath=\"yes\"" : "") + "/>";
            if (count == 0) body = "<CreateFolder/>";
            else hasFiles_ = true;
            component(h, p + "1", body);
        } else if (name == "Write Registry") {
            static const char* roots[] = {"HKCR", "HKCU", "HKLM", "HKU"};
            const std::string rootText = param(n, 1);
            if (rootText.size() != 1 || rootText[0] < '0' || rootText[0] > '3')
                fail(n, "the registry root must be 0 to 3 (HKEY_CURRENT_CONFIG cannot be written by a package)");
            const std::string type = text::upper(param(n, 2));
            const char* wixType = type == "REG_DWORD" ? "integer" : type == "REG_EXPAND_SZ" ? "expandable" : "string";
            const std::string valueName = runTimeValue(param(n, 4), p + "2");
            std::string body = "<RegistryValue Root=\"" + std::string(roots[rootText[0] - '0']) + "\" Key=\"" +
                               xml(runTimeValue(param(n, 3), p + "1")) + "\"";
            if (!valueName.empty()) body += " Name=\"" + xml(valueName) + "\"";
            body += " Value=\"" + xml(runTimeValue(param(n, 5), p + "3")) + "\" Type=\"" + wixType + "\" KeyPath=\"yes\"/>";
            component(h, "TARGETDIR", body);
        } else if (name == "Create Folder") {
            runTimeDirectory(p + "1");
            component(h, p + "1", "<CreateFolder/>");
        } else if (name == "Create Shortcut" || name == "Advertised Shortcut") {
            // P1 target, P2 name, P3 folder, P4 description, P5 arguments, P6 working folder.
            runTimeDirectory(p + "1");
            std::string body = "<CreateFolder/><Shortcut Id=\"S" + h + "\" Name=\"" + xml(param(n, 2)) + "\" Directory=\"" + p +
                               "1\" Target=\"[" + p + "2]\"";
            if (!param(n, 4).empty()) body += " Description=\"" + xml(param(n, 4)) + "\"";
            if (!param(n, 5).empty()) body += " Arguments=\"[" + p + "3]\"";
            if (!param(n, 6).empty()) {
                runTimeDirectory(p + "4");
                body += " WorkingDirectory=\"" + p + "4\"";
            }
            body += "/>";
            component(h, p + "1", body);
            extraQueries_.push_back("UPDATE `Shortcut` SET `Name`='" + sqlText(commands::ShortcutFileName(param(n, 2))) +
                                    "' WHERE `Shortcut`='S" + h + "'");
        } else if (name == "Delete Files") {
            // P1 folder, P2 file name or pattern, P3 delete on install, P4 delete on removal.
            const int mode = (ParseBool(param(n, 3)) ? 1 : 0) | (ParseBool(param(n, 4)) ? 2 : 0);
            removeFiles_.push_back("R" + h + "\tC" + h + "\t" + param(n, 2) + "\t" + p + "1\t" + std::to_string(mode));
            component(h, "TARGETDIR", "");
        } else if (name == "Edit INI File") {
            // P1 folder, P2 file name, P3 ADD / CREATE / TAG, P4 section, P5 key, P6 value.
            const std::string how = text::upper(param(n, 3));
            const int action = how == "CREATE" ? 1 : how == "TAG" ? 3 : 0;
            iniFiles_.push_back("I" + h + "\t" + param(n, 2) + "\t" + p + "1\t[" + p + "2]\t[" + p + "3]\t[" + p + "4]\t" +
                                std::to_string(action) + "\tC" + h);
            component(h, "TARGETDIR", "");
        } else if (name == "Set Environment") {
            // P1 name, P2 value, P3 USER for the user's environment (else the system's).
            const bool user = text::upper(param(n, 3)) == "USER";
            environment_.push_back("E" + h + "\t=-" + (user ? "" : "*") + param(n, 1) + "\t[" + p + "1]\tC" + h);
            component(h, "TARGETDIR", "");
        } else if (name == "Copy/Move Local Files") {
            // P1 source folder, P2 file name or pattern, P3 destination folder, P4 TRUE to move.
            const int options = text::upper(param(n, 4)) == "TRUE" ? 1 : 0;
            moveFiles_.push_back("M" + h + "\tC" + h + "\t" + param(n, 2) + "\t\t" + p + "1\t" + p + "2\t" + std::to_string(options));
            component(h, "TARGETDIR", "");
        }
        // File types, assemblies, services and ODBC entries are not generated: a project that
        // needs them names a package of its own.
    }

    // wixl finds files relative to the folder of its source.
    std::string sourcePath(const std::string& file) const {
        return sourceRoot_.empty() ? file : fs::relative(file, fs::absolute(sourceRoot_)).string();
    }

    std::vector<std::string> sourceFiles(std::size_t n, const std::string& source) const {
        if (source.empty()) return {};
        fs::path path = source;
        if (path.is_relative() && !project_.inputs.baseDir.empty()) path = fs::path(project_.inputs.baseDir) / path;
        std::vector<std::string> files;
        if (fs::is_regular_file(path)) {
            files.push_back(fs::absolute(path).string());
        } else if (fs::is_directory(path)) {
            for (const auto& entry : fs::directory_iterator(path))
                if (entry.is_regular_file()) files.push_back(fs::absolute(entry.path()).string());
            std::sort(files.begin(), files.end());
        } else {
            fail(n, "files not found: " + path.string());
        }
        return files;
    }

    std::string wxs() const {
        std::string out = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
                          "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n";
        const std::string productCode = payload_.productCode.empty() ? derivedGuid(payload_.title) : payload_.productCode;
        out += "<Product Id=\"" + productCode + "\" Name=\"" + xml(payload_.title) + "\" Language=\"1033\" Version=\"" +
               productVersion(payload_.version) + "\" Manufacturer=\"" + xml(payload_.company.empty() ? payload_.title : payload_.company) +
               "\" UpgradeCode=\"" + derivedGuid("upgrade" + text::upper(productCode)) + "\">\n";
        out += "<Package InstallerVersion=\"200\" Compressed=\"yes\" InstallScope=\"perMachine\"/>\n";
        out += "<Media Id=\"1\" Cabinet=\"product.cab\" EmbedCab=\"yes\"/>\n";
        for (const auto& c : components_) out += "<Property Id=\"A" + c.header + "\" Value=\"FALSE\"/>\n";
        out += "<Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n";
        for (const auto& c : components_)
            if (c.directory == "TARGETDIR") out += componentXml(c);
        for (const auto& d : directories_) {
            out += "<Directory Id=\"" + d + "\" Name=\".\">\n";
            for (const auto& c : components_)
                if (c.directory == d) out += componentXml(c);
            out += "</Directory>\n";
        }
        out += "</Directory>\n<Feature Id=\"Complete\" Level=\"1\">\n";
        for (const auto& c : components_) out += "<ComponentRef Id=\"C" + c.header + "\"/>\n";
        out += "</Feature>\n</Product>\n</Wix>\n";
        return out;
    }

    struct Component {
        std::string header, directory, body;
    };
    std::string componentXml(const Component& c) const {
        return "<Component Id=\"C" + c.header + "\" Guid=\"" + derivedGuid(text::upper(payload_.productCode) + c.header) + "\">" +
               c.body + "</Component>\n";
    }

    static void addTable(PackageSource& out, const char* name, const std::string& head, const std::vector<std::string>& rows) {
        if (rows.empty()) return;
        std::string text = head;
        for (const auto& row : rows) text += row + "\n";
        out.tables.emplace_back(std::string(name) + ".idt", text);
    }

    const Project& project_;
    const SetupPayload& payload_;
    std::string sourceRoot_;
    std::vector<Component> components_;
    std::vector<std::string> directories_;
    std::vector<std::string> conditioned_;
    std::vector<std::string> extraQueries_;
    std::vector<std::string> environment_, iniFiles_, removeFiles_, moveFiles_;
    bool hasFiles_ = false;
};

} // namespace

PackageSource describePackage(const Project& project, const std::string& sourceRoot) {
    return PackageWriter(project, sourceRoot).describe();
}

void buildPackage(const Project& project, const std::string& msiPath, const std::string& workDir) {
    fs::create_directories(workDir);
    const PackageSource source = describePackage(project, workDir);
    const std::string wxsPath = (fs::path(workDir) / "package.wxs").string();
    writeFile(wxsPath, source.wxs);
    fs::remove(msiPath);
    if (runProgram({"wixl", "-o", msiPath, wxsPath}) != 0) throw std::runtime_error("wixl failed to build " + msiPath);
    // The package code is the project's revision code: the engine compares the installed
    // product's package code with it to tell maintenance from upgrade.
    const SetupPayload& p = project.payload;
    if (!p.revisionCode.empty() &&
        runProgram({"msibuild", msiPath, "-s", p.title, p.company.empty() ? p.title : p.company, "Intel;1033", p.revisionCode}) != 0)
        throw std::runtime_error("msibuild failed to set the package code of " + msiPath);
    std::vector<std::string> args = {"msibuild", msiPath};
    for (const auto& [name, text] : source.tables) {
        const std::string path = (fs::path(workDir) / name).string();
        writeFile(path, text);
        args.push_back("-i");
        args.push_back(path);
    }
    for (const auto& query : source.queries) {
        args.push_back("-q");
        args.push_back(query);
    }
    if (runProgram(args) != 0) throw std::runtime_error("msibuild failed to edit " + msiPath);
    // The intermediate files stay only when a step failed, for a look at what went wrong.
    fs::remove_all(workDir);
}

} // namespace velmora::builder
