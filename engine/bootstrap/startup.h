// The engine's main program: from process entry to the exit code.
#pragma once

namespace velmora {

// Runs the whole start-up, script and shutdown sequence; returns the process exit code.
int runSetup();

} // namespace velmora
