// velmora-build: makes a setup from a project, and prints a setup's payload as a project.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "builder/setup_writer.h"

namespace {

int usage() {
    std::cerr << "usage:\n"
                 "  velmora-build build PROJECT --stub ENGINE.exe --out DIR [--kel kel.lib]\n"
                 "  velmora-build dump SETUP.exe\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace velmora::builder;
    if (argc < 3) return usage();
    const std::string command = argv[1];
    try {
        if (command == "dump") {
            std::cout << writeProject(readSetupPayload(argv[2]));
            return 0;
        }
        if (command != "build") return usage();
        BuildOptions options;
        const std::string projectPath = argv[2];
        for (int i = 3; i + 1 < argc; i += 2) {
            const std::string flag = argv[i];
            if (flag == "--stub") options.stub = argv[i + 1];
            else if (flag == "--out") options.outDir = argv[i + 1];
            else if (flag == "--kel") options.kelLibrary = argv[i + 1];
            else return usage();
        }
        if (options.stub.empty() || options.outDir.empty()) return usage();
        const Project project =
            parseProject(readFile(projectPath), std::filesystem::path(projectPath).parent_path().string());
        for (const auto& path : writeSetup(project, options)) std::cout << path << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "velmora-build: " << e.what() << "\n";
        return 1;
    }
}
