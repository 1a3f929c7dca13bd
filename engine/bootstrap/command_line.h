// The engine's command line: switches, NAME=VALUE assignments and the raw tail.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/text_list.h"

namespace velmora {

struct CommandLine {
    bool silent = false;            // /s, /qn: no windows, no message boxes
    bool update = false;            // /update, /updatesetup: no start-up windows
    std::string logFile;            // /l=
    std::string sourceOverride;     // /p=
    std::string groupPolicyPath;    // /g=
    std::string selfExtractorPath;  // /m=
    TextList assignments;           // NAME (upper case) / VALUE pairs on alternating lines
    std::string tail;               // the raw command line minus the program path
};

// Splits a raw command line into arguments with the Windows rules (the program path first).
std::vector<std::string> splitCommandLine(std::string_view raw);
// The raw command line minus the program path.
std::string commandLineTail(std::string_view raw);
// Reads the switches and assignments from the arguments after the program path.
CommandLine parseCommandLine(std::string_view raw);

} // namespace velmora
