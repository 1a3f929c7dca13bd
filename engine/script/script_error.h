// Errors that end the setup script with the run-time error message.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora {

class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Media a statement needs could not be made present: the script ends after a message.
class MediaFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The conversion error of a text that is not an integer.
[[noreturn]] inline void throwConversionError(std::string_view text) {
    throw ScriptError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace velmora
