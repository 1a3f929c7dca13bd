// The trace log named by /l=: one marker line per start-up and script step, so a failed run
// shows how far it got.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

class TraceLog {
public:
    TraceLog() = default;
    // wide: write UTF-16LE code units (NT family); otherwise ANSI text.
    explicit TraceLog(std::string path, bool wide = true) : path_(std::move(path)), wide_(wide) {}

    const std::string& path() const { return path_; }
    // A new log file (the script may change it); the next marker appends to it.
    void setPath(std::string path) { path_ = std::move(path); }
    bool enabled() const { return !path_.empty(); }

    // Appends text + CR LF; the first marker of the process empties the file first. Failures to
    // write are ignored: the log must never stop a setup.
    void WriteTraceMarker(std::string_view text);

private:
    std::string path_;
    bool wide_ = true;
    bool started_ = false;
};

} // namespace velmora
