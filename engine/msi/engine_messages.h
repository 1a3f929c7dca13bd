// The engine's own texts used by the installer integration, in their default English form.
// They go through LocalizedMessage so that the message table of the setup language can replace
// them once translation tables are loaded.
#pragma once

#include <string>
#include <string_view>

namespace velmora::msi {

inline constexpr std::string_view kFatalErrorCaption = "Fatal Error";
inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kWarningCaption = "Warning";
inline constexpr std::string_view kOutOfDiskSpaceCaption = "Out of Disk Space";
inline constexpr std::string_view kGeneralSetupFailure = "General setup failure";
inline constexpr std::string_view kLocateSourcesPrompt = "Please locate your original setup sources to continue operation";
inline constexpr std::string_view kSourcesNotFound =
    "Original setup sources required to complete operation, sources not found";
inline constexpr std::string_view kLogVariables = "*** Variables ***";
inline constexpr std::string_view kLogProperties = "*** Properties ***";
inline constexpr std::string_view kLogDatabase = "*** MSI Database ***";
inline constexpr std::string_view kLogGuid = "*** GUID ***";
inline constexpr std::string_view kLogDataDirectory = "*** Data Directory ***";
inline constexpr std::string_view kLogMediaDirectory = "*** Media Directory ***";
inline constexpr std::string_view kLogMsiDirectory = "*** MSI Directory ***";

// The text in the setup language. Until the message table of the languages exists this is the
// English text itself.
inline std::string LocalizedMessage(std::string_view english) { return std::string(english); }

} // namespace velmora::msi
