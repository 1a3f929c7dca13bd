// The readable setup project: what an author writes and what `velmora-build dump` prints back.
// The format is described in docs/project-format.md.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/payload/payload.h"

namespace velmora::builder {

class ProjectError : public std::runtime_error {
public:
    ProjectError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// Files that go beside setup.exe; not part of the payload.
struct BuildInputs {
    std::string exeName = "setup";  // setup.exe, setup.res, setup.msi
    std::string package;            // .msi or .msp copied as <exe name>.msi/.msp
    std::string resources;          // folder packed into <exe name>.res
    std::string languageFile;       // appended to the copy of kel.lib
    std::string baseDir;            // folder of the project file; relative paths start here
};

struct Project {
    SetupPayload payload;
    BuildInputs inputs;
};

// Parses a project text. Statement GUIDs and command headers that are not given are generated.
Project parseProject(std::string_view text, const std::string& baseDir = {});
// The project text of a payload: every field and statement written out, GUIDs and headers
// included, so that parsing it gives the same payload.
std::string writeProject(const SetupPayload& payload);

// Commands that change the system through the package and so carry a command header.
bool needsCommandHeader(std::string_view command);
std::string newGuid();

} // namespace velmora::builder
