// The statement handlers of the command families, as the dispatch table calls them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class Interpreter;

namespace commands {

// The state of Mathematics' linear congruential sequence (operations 13-15).
struct MathematicsSequence {
    std::int32_t multiplier = 0;
    std::int32_t increment = 0;
    std::int32_t seed = 0;
};

// Pure cores of the value commands.
// Mathematics: operands as expanded texts; nullopt for any failure (not an integer, division by zero).
std::optional<std::string> Calculate(MathematicsSequence& sequence, std::int32_t op, const std::string& a,
                                     const std::string& b);
// Extract Path parts 0-6; any other part gives the path unchanged.
std::string ExtractPathPart(const std::string& path, std::int32_t part);
// Replace String on prepared texts.
std::string ReplaceText(const std::string& source, const std::string& find, const std::string& replacement,
                        bool ignoreCase, bool all);

// Values and text (conditions, assignments, string and integer commands).
void SetVariable(Interpreter& in, std::size_t statement);
void LocalizationVariable(Interpreter& in, std::size_t statement);
void EvaluateExpression(Interpreter& in, std::size_t statement);
void ReplaceString(Interpreter& in, std::size_t statement);
void ParseString(Interpreter& in, std::size_t statement);
void ConvertPath(Interpreter& in, std::size_t statement);
void ConvertCase(Interpreter& in, std::size_t statement);
void ExtractPath(Interpreter& in, std::size_t statement);
void Mathematics(Interpreter& in, std::size_t statement);

// Ending the script.
void TerminateInstall(Interpreter& in, std::size_t statement);
void TerminateWithExitCode(Interpreter& in, std::size_t statement);

// Windows Installer (install worker, package runs).
void ApplyChanges(Interpreter& in, std::size_t statement);
void ApplyPatch(Interpreter& in, std::size_t statement);
void InstallFiles(Interpreter& in, std::size_t statement);
void IsMsiSetupInstalled(Interpreter& in, std::size_t statement);
void Set64BitMode(Interpreter& in, std::size_t statement);
void TransformInstance(Interpreter& in, std::size_t statement);

// System changes carried out by the package (deferred): each records its activation property
// and exported parameter values.
void WriteRegistry(Interpreter& in, std::size_t statement);
void CreateFolder(Interpreter& in, std::size_t statement);
void CreateShortcut(Interpreter& in, std::size_t statement);   // also Advertised Shortcut
void CreateFileType(Interpreter& in, std::size_t statement);
void AdvertisedFileType(Interpreter& in, std::size_t statement);
void CopyMoveLocalFiles(Interpreter& in, std::size_t statement);
void DeleteFiles(Interpreter& in, std::size_t statement);
void EditIniFile(Interpreter& in, std::size_t statement);
void SetEnvironment(Interpreter& in, std::size_t statement);
// Changes made at once.
void DeleteRegistry(Interpreter& in, std::size_t statement);
void DeleteFilesRecursive(Interpreter& in, std::size_t statement);
void WriteToTextFile(Interpreter& in, std::size_t statement);
void RegisterLibrary(Interpreter& in, std::size_t statement);
// The passes of Delete Files Recursive over a listed tree: delete files, remove empty folders,
// list again, until a pass leaves the count unchanged.
struct FileTreeOperations {
    std::function<std::vector<std::string>()> list;
    std::function<void(const std::string&)> deleteFile;
    std::function<void(const std::string&)> removeFolder;
};
void RemoveFileTree(const FileTreeOperations& ops);
// The text of a file with one more line, first or last; every line ends in CR LF.
std::string AddLineToText(const std::string& text, const std::string& line, bool first);
// A shortcut's file name from its long name: the first six characters trimmed, "~1|", the name.
std::string ShortcutFileName(const std::string& name);

} // namespace commands
} // namespace velmora
