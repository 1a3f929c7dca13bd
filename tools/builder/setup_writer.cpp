#include "builder/setup_writer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "builder/package_builder.h"

namespace velmora::builder {
namespace fs = std::filesystem;
namespace {

// The smallest valid 7z archive: a signature header announcing an empty next header.
std::string emptySevenZip() {
    std::string a("7z\xBC\xAF\x27\x1C\x00\x04", 8);
    std::string rest(24, '\0');
    // Start-header CRC over 20 zero bytes (offset, size, CRC of the empty next header).
    const unsigned char crc[4] = {0x8D, 0x9B, 0xD5, 0x0F};
    a.append(reinterpret_cast<const char*>(crc), 4);
    a.append(20, '\0');
    return a;
}

std::string resolve(const BuildInputs& in, const std::string& path) {
    return fs::path(path).is_absolute() || in.baseDir.empty() ? path : (fs::path(in.baseDir) / path).string();
}

} // namespace

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f.flush()) throw std::runtime_error("cannot write " + path);
}

int runProgram(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& environment) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot start " + args[0]);
    if (pid == 0) {
        for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::vector<std::string> writeSetup(const Project& project, const BuildOptions& options) {
    const BuildInputs& in = project.inputs;
    fs::create_directories(options.outDir);
    const std::string base = (fs::path(options.outDir) / in.exeName).string();
    std::vector<std::string> written;

    const std::string stub = readFile(options.stub);
    if (peStubSize(stub) != stub.size())
        throw std::runtime_error(options.stub + " has data after its last section (a symbol table?): use a stripped engine stub");
    writeFile(base + ".exe", stub + writePayload(project.payload));
    written.push_back(base + ".exe");

    const std::string res = base + ".res";
    fs::remove(res);
    if (in.resources.empty()) {
        writeFile(res, emptySevenZip());
    } else {
        const std::string folder = resolve(in, in.resources);
        if (!fs::is_directory(folder)) throw std::runtime_error("resources folder not found: " + folder);
        const std::string absolute = fs::absolute(res).string();
        const std::string cwd = fs::current_path().string();
        fs::current_path(folder);
        const int rc = runProgram({"7zz", "a", "-t7z", "-mx=5", "-bd", "-bso0", "-bsp0", absolute, "."});
        fs::current_path(cwd);
        if (rc != 0) throw std::runtime_error("7zz failed to pack " + folder);
    }
    written.push_back(res);

    if (!in.package.empty()) {
        const std::string package = resolve(in, in.package);
        const std::string ext = fs::path(package).extension().string() == ".msp" ? ".msp" : ".msi";
        fs::copy_file(package, base + ext, fs::copy_options::overwrite_existing);
        written.push_back(base + ext);
    } else {
        // No package of its own: the project's statements make one.
        buildPackage(project, base + ".msi", base + ".package");
        written.push_back(base + ".msi");
    }
    if (!options.kelLibrary.empty()) {
        // The language file travels appended to the archive library's image.
        const std::string kel = (fs::path(options.outDir) / "kel.lib").string();
        std::string library = readFile(options.kelLibrary);
        if (peStubSize(library) != library.size())
            throw std::runtime_error(options.kelLibrary + " already carries data after its image");
        if (!in.languageFile.empty()) library += readFile(resolve(in, in.languageFile));
        writeFile(kel, library);
        written.push_back(kel);
    } else if (!in.languageFile.empty()) {
        throw std::runtime_error("a language file needs kel.lib to travel with (--kel)");
    }
    return written;
}

SetupPayload readSetupPayload(const std::string& exePath) {
    const std::string image = readFile(exePath);
    const std::uint64_t stub = peStubSize(image);
    if (stub >= image.size()) throw std::runtime_error(exePath + " carries no payload");
    return parsePayload(std::string_view(image).substr(stub));
}

} // namespace velmora::builder
