// Failures inside the archive reader: one exception type carrying the library's error code, so
// every layer can stop at once and the exported functions turn it into the code callers read.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora::kel {

// The codes GetLastArchiveError reports. 1001-1003 are the ones the engine gives texts for;
// the rest are this library's own.
enum class ErrorCode : int {
    None = 0,
    ArchiveNotFound = 1001,     // the archive file does not exist or cannot be opened
    IllegalPath = 1002,         // a file list entry that is empty, a wildcard, or not in the archive
    CannotOpen = 1003,          // not a 7z archive, an unsupported header, or a wrong header password
    CorruptArchive = 1004,      // a header or stream that is damaged or cut short
    CrcMismatch = 1005,         // decoded data whose CRC differs from the stored one
    WrongPassword = 1006,       // encrypted data that does not decode with any password offered
    UnsafePath = 1007,          // an entry path that would leave the output folder
    Cancelled = 1008,           // the progress callback asked to stop
    WriteFailed = 1009,         // an output file or folder could not be created or written
    UnsupportedMethod = 1010,   // a coder this library does not implement
    LimitExceeded = 1011,       // a dictionary or header larger than the library allows, or no memory
    InvalidArgument = 1012,     // a null pointer or unknown handle passed to an export
};

class KelError : public std::runtime_error {
public:
    KelError(ErrorCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
    ErrorCode code() const { return code_; }

private:
    ErrorCode code_;
};

[[noreturn]] inline void fail(ErrorCode code, const std::string& message) { throw KelError(code, message); }
[[noreturn]] inline void corrupt(const std::string& what) { throw KelError(ErrorCode::CorruptArchive, what); }

} // namespace velmora::kel
