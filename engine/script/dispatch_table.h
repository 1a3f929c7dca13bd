// Command names and their handlers.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace velmora {

class Interpreter;

using CommandHandler = void (*)(Interpreter&, std::size_t statement);

// The handler of a built-in command (exact name, letter case included); null for a name that
// is not a command, which then does nothing.
CommandHandler findCommandHandler(std::string_view name);
// The built-in command names in the order the interpreter compares them.
std::vector<std::string_view> builtInCommandNames();
// Runs a statement whose command a plug-in library carries out.
void runPluginStatement(Interpreter& in, std::size_t statement);

} // namespace velmora
