// Helpers for the archive library's tests: scratch folders, running 7zz, comparing folder
// trees, and a writer of small stored (Copy) 7z archives with any entry names, for the cases
// 7zz will not produce (names that climb out of the output folder).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/crc32.h"

namespace kel_test {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("kel_test_" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& sub) const { return (path_ / sub).string(); }

private:
    fs::path path_;
};

inline void writeFile(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs 7zz in a folder; true when it succeeded.
inline bool sevenZip(const fs::path& folder, const std::string& args) {
    const std::string cmd = "cd '" + folder.string() + "' && 7zz " + args + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Relative path -> content ("<dir>" for folders) of everything below root.
inline std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        tree[rel] = e.is_directory() ? "<dir>" : readFile(e.path());
    }
    return tree;
}

// Pseudo-random bytes (repeatable).
inline std::string noise(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

struct StoredFile {
    std::u16string name;
    std::string data;  // not empty
};

// A 7z archive with one Copy folder holding the files in order and an unpacked header.
inline std::string storedArchive(const std::vector<StoredFile>& files) {
    auto number = [](std::string& out, std::uint64_t v) {  // 7z numbers, 9-byte form for simplicity
        out.push_back(static_cast<char>(0xFF));
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    };
    auto u32 = [](std::string& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    };
    std::string data;
    for (const auto& f : files) data += f.data;

    std::string h;
    h += '\x01';          // Header
    h += '\x04';          // MainStreamsInfo
    h += '\x06';          // PackInfo
    number(h, 0);
    number(h, 1);
    h += '\x09';
    number(h, data.size());
    h += '\x00';
    h += '\x07';          // UnpackInfo
    h += '\x0B';
    number(h, 1);
    h += '\x00';
    number(h, 1);         // one coder
    h += '\x01';          // id size 1, simple coder
    h += '\x00';          // Copy
    h += '\x0C';
    number(h, data.size());
    h += '\x00';
    h += '\x08';          // SubStreamsInfo
    h += '\x0D';
    number(h, files.size());
    h += '\x09';
    for (std::size_t i = 0; i + 1 < files.size(); ++i) number(h, files[i].data.size());
    h += '\x0A';
    h += '\x01';
    for (const auto& f : files)
        u32(h, velmora::kel::crc32(reinterpret_cast<const std::uint8_t*>(f.data.data()), f.data.size()));
    h += '\x00';
    h += '\x00';          // end of MainStreamsInfo
    h += '\x05';          // FilesInfo
    number(h, files.size());
    std::string names;
    names += '\x00';      // not external
    for (const auto& f : files) {
        for (char16_t c : f.name) {
            names.push_back(static_cast<char>(c & 0xFF));
            names.push_back(static_cast<char>(c >> 8));
        }
        names += std::string(2, '\0');
    }
    h += '\x11';
    number(h, names.size());
    h += names;
    h += '\x00';
    h += '\x00';

    std::string start;
    u32(start, 0);  // placeholder for the start header CRC
    std::string rest;
    for (int i = 0; i < 8; ++i) rest.push_back(static_cast<char>(std::uint64_t(data.size()) >> (8 * i)));
    for (int i = 0; i < 8; ++i) rest.push_back(static_cast<char>(std::uint64_t(h.size()) >> (8 * i)));
    u32(rest, velmora::kel::crc32(reinterpret_cast<const std::uint8_t*>(h.data()), h.size()));
    std::string out = std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8);
    u32(out, velmora::kel::crc32(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size()));
    return out + rest + data + h;
}

} // namespace kel_test
