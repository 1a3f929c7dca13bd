// Commands that end the script: the normal end, optionally with a process exit code.
#include "script/commands/commands.h"
#include "script/integers.h"
#include "script/interpreter.h"

namespace velmora::commands {

void TerminateInstall(Interpreter&, std::size_t) { throw ScriptEnded{}; }

void TerminateWithExitCode(Interpreter& in, std::size_t n) {
    // A code that is not a whole number ends the setup with 0.
    in.Setup().exitCode = parseInt32(in.Vars().ExpandText(in.Param(n, 1))).value_or(0);
    throw ScriptEnded{};
}

} // namespace velmora::commands
