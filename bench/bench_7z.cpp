// Extraction throughput of the archive library's 7z decoder against 7zz (one thread) and
// bsdtar on the same archives, in one run:
//   (a) >= 100 MB of text (C headers) and executables (ELF from /usr/bin, PE DLLs of mingw),
//       7zz -mx5 (LZMA2, BCJ on the executables);
//   (b) the same with -mx9 (BCJ2 on the executables);
//   (c) the same as (a) with a password and an encrypted header.
// The data set and the archives are cached in $TMPDIR/velmora_bench_7z (delete it to rebuild).
// Output goes to /dev/shm when it exists, so the disk does not blur the decoders. Each
// extraction runs five times into an emptied folder and the best time counts, both as wall
// time and as CPU time (user + system, of this process or of the tool's process): the build
// machines are shared, and CPU time is what stays comparable when other work competes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "kel_abi.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = 1u << 20;

bool run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

// Copies regular files below `from` (sorted by path, filtered) into `to` until `budget` bytes.
std::uint64_t copyFiles(const fs::path& from, const fs::path& to, std::uint64_t budget,
                        const std::function<bool(const fs::path&)>& take) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(from, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec) && !it->is_symlink(ec) && take(it->path())) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::uint64_t copied = 0;
    for (const fs::path& f : files) {
        const std::uint64_t size = fs::file_size(f, ec);
        if (ec || size == 0 || copied + size > budget) continue;
        const fs::path dest = to / fs::relative(f, from);
        fs::create_directories(dest.parent_path());
        if (fs::copy_file(f, dest, fs::copy_options::overwrite_existing, ec)) copied += size;
    }
    return copied;
}

bool isElf(const fs::path& p) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) return false;
    char magic[4] = {};
    const bool elf = std::fread(magic, 1, 4, f) == 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
    std::fclose(f);
    return elf;
}

std::uint64_t treeSize(const fs::path& root) {
    std::uint64_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) total += e.file_size();
    return total;
}

struct Timing {
    double wall = -1, cpu = -1;  // seconds; negative when the extraction failed
};

double cpuSeconds() {
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return s(self.ru_utime) + s(self.ru_stime) + s(children.ru_utime) + s(children.ru_stime);
}

// Best of five runs of `extract` into an emptied `out`.
Timing bestTime(const fs::path& out, const std::function<bool()>& extract) {
    Timing best;
    for (int i = 0; i < 5; ++i) {
        fs::remove_all(out);
        fs::create_directories(out);
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds();
        const bool ok = extract();
        const double cpu = cpuSeconds() - cpuStart;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ok) return Timing{};
        if (best.wall < 0 || wall < best.wall) best.wall = wall;
        if (best.cpu < 0 || cpu < best.cpu) best.cpu = cpu;
    }
    fs::remove_all(out);
    return best;
}

} // namespace

int main() {
    const fs::path root = fs::temp_directory_path() / "velmora_bench_7z";
    const fs::path data = root / "data";
    if (!fs::exists(root / "data.done")) {
        std::printf("building the data set in %s\n", data.c_str());
        fs::remove_all(data);
        copyFiles("/usr/include", data / "text", 56 * kMiB, [](const fs::path&) { return true; });
        copyFiles("/usr/lib/gcc/x86_64-w64-mingw32", data / "pe", 18 * kMiB,
                  [](const fs::path& p) { return p.extension() == ".dll"; });
        copyFiles("/usr/x86_64-w64-mingw32/lib", data / "pe", 18 * kMiB,
                  [](const fs::path& p) { return p.extension() == ".dll"; });
        copyFiles("/usr/bin", data / "elf", 30 * kMiB, isElf);
        std::FILE* done = std::fopen((root / "data.done").c_str(), "w");
        if (done) std::fclose(done);
    }
    const std::uint64_t bytes = treeSize(data);
    std::printf("data set: %.1f MB (text %.1f, PE %.1f, ELF %.1f)\n", bytes / 1e6, treeSize(data / "text") / 1e6,
                fs::exists(data / "pe") ? treeSize(data / "pe") / 1e6 : 0.0, treeSize(data / "elf") / 1e6);

    struct Set {
        const char* name;
        const char* switches;
        const char* password;
    };
    const Set sets[] = {
        {"(a) -mx5 LZMA2", "-mx5", nullptr},
        {"(b) -mx9 BCJ2", "-mx9", nullptr},
        {"(c) -mx5 AES -mhe=on", "-mx5 -pbench -mhe=on", "bench"},
    };
    const fs::path out = (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : root) / "velmora_bench_7z_out";
    std::printf("\nthroughput in MB/s of output, wall time | CPU time; ratio = our throughput / theirs\n");
    std::printf("%-22s %8s %17s %17s %17s %15s %15s\n", "archive", "packed", "ours", "7zz -mmt1", "bsdtar", "vs 7zz",
                "vs bsdtar");
    int index = 0;
    for (const Set& s : sets) {
        const fs::path archive = root / ("set" + std::to_string(index++) + ".7z");
        if (!fs::exists(archive)) {
            std::printf("creating %s ...\n", s.name);
            std::fflush(stdout);
            if (!run("cd '" + data.string() + "' && 7zz a " + s.switches + " '" + archive.string() + "' .")) {
                std::printf("7zz failed for %s\n", s.name);
                return 1;
            }
        }
        const std::string pw = s.password ? std::string(" -p").append(s.password) : std::string();
        const Timing ours = bestTime(out, [&] {
            return ExtractArchive(archive.c_str(), 1, out.c_str(), nullptr, KEL_PATHS_FULL, s.password, nullptr, nullptr,
                                  nullptr, nullptr) == 1;
        });
        if (ours.wall < 0) {
            std::printf("%-22s our extraction failed: error %d\n", s.name, GetLastArchiveError(0));
            continue;
        }
        const Timing sevenZip = bestTime(out, [&] {
            return run("7zz x -mmt1 -y" + pw + " -o'" + out.string() + "' '" + archive.string() + "'");
        });
        const Timing bsdtar = s.password ? Timing{} : bestTime(out, [&] {
            return run("bsdtar -xf '" + archive.string() + "' -C '" + out.string() + "'");
        });
        auto speeds = [&](const Timing& t) {
            char text[32] = "n/a";
            if (t.wall > 0) std::snprintf(text, sizeof text, "%7.1f | %7.1f", bytes / 1e6 / t.wall, bytes / 1e6 / t.cpu);
            return std::string(text);
        };
        auto ratios = [&](const Timing& t) {
            char text[32] = "n/a";
            if (t.wall > 0) std::snprintf(text, sizeof text, "%5.2fx | %5.2fx", t.wall / ours.wall, t.cpu / ours.cpu);
            return std::string(text);
        };
        std::printf("%-22s %6.1fMB %17s %17s %17s %15s %15s\n", s.name, fs::file_size(archive) / 1e6, speeds(ours).c_str(),
                    speeds(sevenZip).c_str(), speeds(bsdtar).c_str(), ratios(sevenZip).c_str(), ratios(bsdtar).c_str());
    }
    std::printf("\n(bsdtar cannot read encrypted 7z archives)\n");
    return 0;
}
