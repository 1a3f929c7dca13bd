// velmora-run-report: runs a Windows program and writes its full 32-bit exit code to a file.
// Exit codes above 255 do not survive the way back to the host's process status, so the
// integration tests read them from this file instead.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: velmora-run-report CODE-FILE PROGRAM [ARGS...]\n");
        return 2;
    }
    std::string commandLine;
    for (int i = 2; i < argc; ++i) commandLine += (i > 2 ? " " : "") + quoted(argv[i]);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", argv[2], GetLastError());
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (FILE* f = std::fopen(argv[1], "w")) {
        std::fprintf(f, "%lu\n", code);
        std::fclose(f);
    }
    return static_cast<int>(code & 0xFF);
}
