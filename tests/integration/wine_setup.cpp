#include "wine_setup.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "builder/setup_writer.h"

namespace velmora::testing {
namespace fs = std::filesystem;

namespace {

std::string prefix() {
    const char* env = std::getenv("WINEPREFIX");
    return env && *env ? env : std::string(VELMORA_SOURCE_DIR) + "/build/wineprefix";
}

} // namespace

WineSetup::WineSetup(const std::string& name) {
    dir_ = std::string(VELMORA_WIN64_DIR) + "/../itest/" + name;
    dir_ = fs::weakly_canonical(dir_).string();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    clearKelFolders();
}

void WineSetup::build(const std::string& projectText, const std::string& stub) {
    builder::BuildOptions options;
    options.stub = stub.empty() ? stubPath() : stub;
    options.outDir = dir_;
    if (fs::exists(kelLibraryPath())) options.kelLibrary = kelLibraryPath();
    builder::writeSetup(builder::parseProject(projectText, dir_), options);
}

int WineSetup::run(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& environment,
                   int seconds) const {
    // The full 32-bit exit code comes back through a file: the host's process status keeps 8 bits.
    const std::string codeFile = path("exit-code.txt");
    fs::remove(codeFile);
    std::vector<std::string> command = {"timeout", "-k", "5", std::to_string(seconds), VELMORA_WINE_RUN,
                                        std::string(VELMORA_WIN64_DIR) + "/tests/velmora-run-report.exe",
                                        windowsPath("exit-code.txt"), windowsPath("setup.exe")};
    command.insert(command.end(), args.begin(), args.end());
    const int status = builder::runProgram(command, environment);
    std::ifstream code(codeFile);
    long long value = 0;
    if (code >> value) return static_cast<int>(value);
    return status == 124 || status == 137 ? 124 : 1000 + status;   // timed out, or the launcher failed
}

std::string WineSetup::windowsPath(const std::string& name) const {
    std::string p = "Z:" + path(name);
    for (auto& c : p)
        if (c == '/') c = '\\';
    return p;
}

std::string WineSetup::stubPath(int bits) {
    return std::string(VELMORA_WIN64_DIR) + (bits == 64 ? "" : "/../win32") + "/engine/velmora-stub.exe";
}

std::string WineSetup::kelLibraryPath() { return std::string(VELMORA_WIN64_DIR) + "/kel/kel.lib"; }

std::string WineSetup::wineTempDir() {
    const passwd* user = getpwuid(getuid());
    return prefix() + "/drive_c/users/" + (user ? user->pw_name : "root") + "/Temp";
}

std::vector<std::string> WineSetup::kelEntries() {
    std::vector<std::string> names;
    if (!fs::exists(wineTempDir())) return names;
    for (const auto& e : fs::directory_iterator(wineTempDir())) {
        const std::string name = e.path().filename().string();
        if (name.rfind("kel", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void WineSetup::clearKelFolders() {
    for (const auto& name : kelEntries()) fs::remove_all(wineTempDir() + "/" + name);
}

std::vector<std::string> readTraceLog(const std::string& path) {
    const std::string bytes = builder::readFile(path);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string writeText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    builder::writeFile(path, text);
    return path;
}

} // namespace velmora::testing
