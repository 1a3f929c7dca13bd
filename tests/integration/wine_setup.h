// Test fixture for setups run under wine64: a fresh folder per test, the builder writing a
// setup into it from a project text, runs with a time limit, and readers for what a run leaves.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velmora::testing {

class WineSetup {
public:
    // A fresh folder build/itest/<name>/ holding the setup.
    explicit WineSetup(const std::string& name);

    // Builds setup.exe (+ .res, .msi, kel.lib) from the project text. resources/ and package
    // paths in the project are relative to the test folder.
    void build(const std::string& projectText, const std::string& stub = {});
    // Runs the built setup with arguments; returns the exit code (124 after the time limit).
    int run(const std::vector<std::string>& args,
            const std::vector<std::pair<std::string, std::string>>& environment = {}, int seconds = 120) const;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // The Windows form of a path inside the test folder (Z:\...).
    std::string windowsPath(const std::string& name) const;

    static std::string stubPath(int bits = 64);
    static std::string kelLibraryPath();
    // The temporary folder of Windows programs in the prefix (where kel<n> folders go).
    static std::string wineTempDir();
    // Names of the entries kel* in the wine temporary folder; clearKelFolders removes them.
    static std::vector<std::string> kelEntries();
    static void clearKelFolders();

private:
    std::string dir_;
};

// A UTF-16LE trace log decoded into its lines (CR LF removed).
std::vector<std::string> readTraceLog(const std::string& path);
std::string writeText(const std::string& path, const std::string& text);

} // namespace velmora::testing
