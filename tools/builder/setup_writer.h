// Writing a setup (setup.exe = engine stub + payload, and the files beside it) and reading a
// setup's payload back.
#pragma once

#include <string>
#include <vector>

#include "builder/project.h"

namespace velmora::builder {

struct BuildOptions {
    std::string stub;       // the engine stub (velmora-stub.exe)
    std::string kelLibrary; // kel.lib to copy beside the setup; empty: none
    std::string outDir;
};

// Writes <exe name>.exe, <exe name>.res, the package and kel.lib into outDir; returns the
// paths written.
std::vector<std::string> writeSetup(const Project& project, const BuildOptions& options);
// The payload carried by a setup executable.
SetupPayload readSetupPayload(const std::string& exePath);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);
// Runs a program with arguments (no shell) and extra environment variables, returning its exit
// code (128 + signal when it was killed).
int runProgram(const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& environment = {});

} // namespace velmora::builder
