// Process-wide values of one setup run: folders, command line, the parsed payload, the trace
// log and the exit code. Created by the start-up and handed to the script engine.
#pragma once

#include <string>

#include "bootstrap/command_line.h"
#include "bootstrap/payload/payload.h"
#include "bootstrap/trace_log.h"

namespace velmora {

// The caption of the engine's message boxes until the script sets its own title.
inline constexpr const char* kDefaultWindowCaption = "Velmora Wizard";

struct SetupContext {
    std::string exePath;          // the engine's own file
    std::string exeDir;           // its folder, with trailing backslash
    std::string exeName;          // its file name without extension ("setup")
    std::string tempDir;          // the user's temporary folder, with trailing backslash
    std::string supportDir;       // TempDir\kel<n>\ once created
    std::string dataDir;          // ExeDir\data\ (the cache may move it)
    std::string initialDataDir;   // ExeDir\data\, kept unchanged
    std::string resourceArchive;  // ExeDir\<exe name>.res
    CommandLine commandLine;
    SetupPayload payload;
    TraceLog trace;
    std::string windowCaption = kDefaultWindowCaption;
    bool captionFlag = false;     // QORVLOGO: the caption carries the engine's logo text
    bool userCancelled = false;   // the user confirmed Cancel on a page
    int exitCode = 0;

    bool silent() const { return commandLine.silent; }
    // No splash, start-up window or start-up progress.
    bool quietStart() const { return commandLine.silent || commandLine.update; }
};

} // namespace velmora
