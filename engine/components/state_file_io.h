// The file steps of a crash-safe save: write a new file and force it to disk, then put it in
// place of the old one in one step. state_file_io_host.cpp uses POSIX calls and
// std::filesystem::rename; state_file_io_win.cpp uses the Win32 calls (FlushFileBuffers,
// MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Creates or truncates path, writes bytes and forces them to the disk; false on any failure.
bool WriteFileDurably(const std::string& path, std::string_view bytes);
// Replaces target by source in one step (target may or may not exist); false on failure, with
// both files left as they were.
bool ReplaceFileAtomically(const std::string& source, const std::string& target);
// Deletes a file; failures are ignored.
void RemoveFileQuietly(const std::string& path);

} // namespace velmora
