// Edits of the working copy of the package before a run: the pending properties into the
// Property table, new component ids for a new instance, the platform in the summary and the
// components' 64-bit bit, the word count, translated shortcut and file-type texts, and the two
// routines around a package (stale temporary registrations, .NET assembly removal).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/text_list.h"
#include "msi/installer_api.h"
#include "msi/pending_properties.h"

namespace velmora::msi {

// Summary information properties written here.
inline constexpr unsigned kSummaryTemplate = 7;
inline constexpr unsigned kSummaryRevisionNumber = 9;
inline constexpr unsigned kSummaryWordCount = 15;
inline constexpr int kComponent64Bit = 0x100;

// Engine-wide state of the package edits.
struct PackageEditState {
    bool instanceTransform = false;    // the package is to be installed as a new instance
    bool componentIdsRenewed = false;  // the component ids were regenerated for that instance
    std::string productCode;
    std::string revisionCode;
};

// Runs one statement; its result is not examined (a failing statement has no effect).
void RunSql(InstallerApi& api, MsiHandle database, const std::string& sql);

// A value ready to stand between single quotes: "$NEWLINE$" back to CR LF, "'" as "$QUOTE$".
std::string EscapePropertyValue(const std::string& value);

// Writes the pending properties (insert, then update, so the last value of a name wins) and,
// for a new instance, the package code and product code; then discards the pending list.
void WritePendingProperties(InstallerApi& api, const std::string& package, PendingProperties& pending,
                            PackageEditState& state, const std::function<std::string()>& newGuid);
// Gives every component a new upper-case GUID in braces.
void RenewComponentIds(InstallerApi& api, const std::string& package, const std::function<std::string()>& newGuid);
// Makes the summary's platform follow platformMode and, when it changed, the components' 64-bit
// bit (toggled for "Win32", set otherwise).
void SetPackagePlatform(InstallerApi& api, const std::string& package, const std::string& platformMode);
// Word count 8: long file names, files not compressed in the package, no elevation required.
void SetPackageWordCount(InstallerApi& api, const std::string& package);
// Triples (property name, short~1|long name, description) into the Shortcut table.
void TranslatePackageShortcuts(InstallerApi& api, const std::string& package, const TextList& shortcutNames);
// Triples (raw name, translated name, translated description) into the ProgId table.
void TranslatePackageFileTypes(InstallerApi& api, const std::string& package, const TextList& fileTypeNames);

// The value names under the installer's TempPackages key that belong to the product, in the
// order they are deleted (last to first); the upper-cased product code is matched exactly.
std::vector<std::string> StaleTempPackageValues(const std::vector<std::string>& valueNames,
                                                const std::string& productCode);

// Runs tool "/u name,Version=version" for every .NET assembly of the package through run
// (tool, parameters) -> exit code; returns the exit code of the last run, 0 when none ran.
int RemovePackageAssemblies(InstallerApi& api, const std::string& package, const std::string& tool,
                            const std::function<int(const std::string&, const std::string&)>& run);

} // namespace velmora::msi
