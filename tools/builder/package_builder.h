// The product's Windows Installer package, generated from the project: every system-changing
// statement becomes rows guarded by its activation property "A" + header (component condition)
// and fed at run time by its exported properties "P" + header + "_n". wixl builds the tables it
// covers (files in an embedded cabinet, registry values, shortcuts, folders); msibuild then
// imports table files for the rest (environment, INI entries, file removal and moves) and sets
// the component conditions and the extra actions of the sequence.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "builder/project.h"

namespace velmora::builder {

struct PackageSource {
    std::string wxs;                                            // the wixl source
    std::vector<std::pair<std::string, std::string>> tables;    // table file name, its text
    std::vector<std::string> queries;                           // msibuild -q statements, in order
};

// The package's description for the project's statements. Throws ProjectError for a statement
// whose parameters the package cannot express (an unknown registry root, missing files). File
// sources are written relative to sourceRoot, the folder the wixl source will be in.
PackageSource describePackage(const Project& project, const std::string& sourceRoot = {});

// Builds the package at msiPath, using workDir for the intermediate files (removed afterwards).
void buildPackage(const Project& project, const std::string& msiPath, const std::string& workDir);

} // namespace velmora::builder
