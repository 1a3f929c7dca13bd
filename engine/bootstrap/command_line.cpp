// Command-line reading. Arguments follow the Windows C runtime's quoting rules: a backslash run
// before a quote halves (an odd run escapes the quote), "" inside quotes is a literal quote, and
// the program path is taken verbatim up to its closing quote or first blank.
#include "bootstrap/command_line.h"

namespace velmora {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Value of a "contains /x=" switch: the lower-cased argument minus its first three characters.
void takeSwitch(std::string& target, bool& taken, const std::string& lowered,
                std::initializer_list<std::string_view> markers) {
    if (taken) return;
    for (auto marker : markers)
        if (lowered.find(marker) != std::string::npos) {
            target = lowered.size() > 3 ? lowered.substr(3) : std::string();
            taken = true;
            return;
        }
}

bool isOneOf(std::string_view arg, std::initializer_list<std::string_view> names) {
    for (auto name : names)
        if (text::equalsIgnoreCase(arg, name)) return true;
    return false;
}

} // namespace

std::vector<std::string> splitCommandLine(std::string_view raw) {
    std::vector<std::string> args;
    std::size_t i = 0;
    // Program path.
    std::string program;
    if (i < raw.size() && raw[i] == '"') {
        ++i;
        while (i < raw.size() && raw[i] != '"') program += raw[i++];
        if (i < raw.size()) ++i;
    } else {
        while (i < raw.size() && !isBlank(raw[i])) program += raw[i++];
    }
    args.push_back(std::move(program));

    for (;;) {
        while (i < raw.size() && isBlank(raw[i])) ++i;
        if (i >= raw.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < raw.size() && (quoted || !isBlank(raw[i]))) {
            if (raw[i] == '\\') {
                std::size_t run = 0;
                while (i < raw.size() && raw[i] == '\\') ++run, ++i;
                if (i < raw.size() && raw[i] == '"') {
                    arg.append(run / 2, '\\');
                    if (run % 2) arg += raw[i++];
                } else {
                    arg.append(run, '\\');
                }
            } else if (raw[i] == '"') {
                if (quoted && i + 1 < raw.size() && raw[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += raw[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string commandLineTail(std::string_view raw) {
    if (!raw.empty() && raw[0] == '"') {
        const std::size_t close = raw.find('"', 1);
        if (close == std::string_view::npos || close + 2 > raw.size()) return {};
        return std::string(raw.substr(close + 2));
    }
    const std::size_t blank = raw.find(' ');
    return blank == std::string_view::npos ? std::string() : std::string(raw.substr(blank + 1));
}

CommandLine parseCommandLine(std::string_view raw) {
    CommandLine cl;
    cl.tail = commandLineTail(raw);
    const auto args = splitCommandLine(raw);
    bool hasLog = false, hasSource = false, hasPolicy = false, hasSfx = false;
    for (std::size_t a = 1; a < args.size(); ++a) {
        const std::string& arg = args[a];
        if (arg.empty()) continue;
        if (isOneOf(arg, {"/s", "-s", "/qn", "-qn"})) cl.silent = true;
        if (isOneOf(arg, {"/update", "-update", "/updatesetup", "-updatesetup"})) cl.update = true;
        const std::string lowered = text::lower(arg);
        takeSwitch(cl.groupPolicyPath, hasPolicy, lowered, {"/g="});
        takeSwitch(cl.selfExtractorPath, hasSfx, lowered, {"/m="});
        takeSwitch(cl.logFile, hasLog, lowered, {"/l=", "-l="});
        takeSwitch(cl.sourceOverride, hasSource, lowered, {"/p=", "-p="});
        const std::size_t eq = arg.find('=');
        if (arg[0] != '/' && arg[0] != '-' && eq != std::string::npos) {
            cl.assignments.add(text::upper(std::string_view(arg).substr(0, eq)));
            cl.assignments.add(arg.substr(eq + 1));
        }
    }
    return cl;
}

} // namespace velmora
