#include "msi/package_edits.h"

#include "core/text.h"
#include "script/variables.h"

namespace velmora::msi {
namespace {

constexpr std::size_t kTemplateBuffer = 260;
constexpr std::size_t kFieldBuffer = 10240;

std::string platformName(const std::string& mode) {
    if (mode == "Win32") return "Intel";
    if (mode == "ia64") return "Intel64";
    if (mode == "x64") return "x64";
    return {};
}

// Calls visit with every fetched row of the view (the fetch ends at the last row or at any
// failure); false when the view cannot be opened or executed.
template <typename Visit>
bool forEachRow(InstallerApi& api, MsiHandle database, const std::string& sql, Visit visit) {
    ScopedHandle view(api);
    if (api.DatabaseOpenView(database, sql, view.out()) != kSuccess) return false;
    if (api.ViewExecute(view.get(), 0) != kSuccess) {
        api.ViewClose(view.get());
        return false;
    }
    for (;;) {
        ScopedHandle record(api);
        if (api.ViewFetch(view.get(), record.out()) != kSuccess || !record) break;
        visit(view.get(), record.get());
    }
    api.ViewClose(view.get());
    return true;
}

// Every row of a view, column 1 as text.
bool selectColumn(InstallerApi& api, MsiHandle database, const std::string& sql, std::vector<std::string>& out) {
    return forEachRow(api, database, sql, [&](MsiHandle, MsiHandle record) {
        std::string value;
        api.RecordGetString(record, 1, value, kFieldBuffer);
        out.push_back(value);
    });
}

// Each fetched row of the view gets field 1 changed by change and written back.
template <typename Change>
bool updateRows(InstallerApi& api, MsiHandle database, const std::string& sql, Change change) {
    return forEachRow(api, database, sql, [&](MsiHandle view, MsiHandle record) {
        change(record);
        api.ViewModify(view, kModifyUpdate, record);
    });
}

} // namespace

void RunSql(InstallerApi& api, MsiHandle database, const std::string& sql) {
    ScopedHandle view(api);
    api.DatabaseOpenView(database, sql, view.out());
    if (!view) return;
    api.ViewExecute(view.get(), 0);
    api.ViewClose(view.get());
}

std::string EscapePropertyValue(const std::string& value) {
    const std::string decoded = DecodeNewlines(value);
    std::string out;
    out.reserve(decoded.size());
    for (char c : decoded) {
        if (c == '\'') out += "$QUOTE$";
        else out += c;
    }
    return out;
}

void WritePendingProperties(InstallerApi& api, const std::string& package, PendingProperties& pending,
                            PackageEditState& state, const std::function<std::string()>& newGuid) {
    if (state.instanceTransform && !state.componentIdsRenewed) {
        state.componentIdsRenewed = true;
        RenewComponentIds(api, package, newGuid);
    }
    if (pending.empty()) return;
    ScopedHandle database(api);
    api.OpenDatabase(package, kOpenForEdit, database.out());
    const std::size_t count = pending.names.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& name = pending.names[i];
        if (i + 1 == count && state.instanceTransform) {
            ScopedHandle summary(api);
            if (api.GetSummaryInformation(database.get(), 1, summary.out()) == kSuccess) {
                api.SummaryInfoSetString(summary.get(), kSummaryRevisionNumber, state.revisionCode);
                api.SummaryInfoPersist(summary.get());
            }
            summary.reset();
            RunSql(api, database.get(),
                   "UPDATE `Property` SET `Value`='" + state.productCode + "' WHERE `Property`='ProductCode'");
        }
        const std::string value = EscapePropertyValue(i < pending.values.size() ? pending.values[i] : std::string());
        RunSql(api, database.get(),
               "INSERT INTO `Property` ( `Property` , `Value` ) VALUES ( '" + name + "' , '" + value + "' )");
        RunSql(api, database.get(), "UPDATE `Property` SET `Value`='" + value + "' WHERE `Property`='" + name + "'");
    }
    api.DatabaseCommit(database.get());
    database.reset();
    pending.clear();
}

void RenewComponentIds(InstallerApi& api, const std::string& package, const std::function<std::string()>& newGuid) {
    ScopedHandle database(api);
    if (api.OpenDatabase(package, kOpenForEdit, database.out()) != kSuccess) return;
    const bool updated = updateRows(api, database.get(), "SELECT `ComponentId` FROM `Component`", [&](MsiHandle record) {
        api.RecordSetString(record, 1, text::upper(newGuid()));
    });
    if (updated) api.DatabaseCommit(database.get());
}

void SetPackagePlatform(InstallerApi& api, const std::string& package, const std::string& platformMode) {
    bool matched = false;
    {
        ScopedHandle database(api);
        if (api.OpenDatabase(package, kOpenForEdit, database.out()) != kSuccess) return;
        ScopedHandle summary(api);
        api.GetSummaryInformation(database.get(), 1, summary.out());
        std::string templateText;
        api.SummaryInfoGetString(summary.get(), kSummaryTemplate, templateText, kTemplateBuffer);
        const std::size_t semicolon = templateText.find(';');
        std::string platform = semicolon == std::string::npos ? templateText : templateText.substr(0, semicolon);
        const std::string languages = semicolon == std::string::npos ? templateText : templateText.substr(semicolon + 1);
        matched = (platformMode == "Win32" && platform == "Intel") || (platformMode == "ia64" && platform == "Intel64") ||
                  (platformMode == "x64" && platform == "x64");
        if (!matched) platform = platformName(platformMode);
        api.SummaryInfoSetString(summary.get(), kSummaryTemplate, platform + ";" + languages);
        api.SummaryInfoPersist(summary.get());
        summary.reset();
        api.DatabaseCommit(database.get());
    }
    if (matched) return;
    ScopedHandle database(api);
    if (api.OpenDatabase(package, kOpenForEdit, database.out()) != kSuccess) return;
    const bool toggle = platformMode == "Win32";
    const bool updated = updateRows(api, database.get(), "SELECT `Attributes` FROM `Component`", [&](MsiHandle record) {
        const int attributes = api.RecordGetInteger(record, 1);
        api.RecordSetInteger(record, 1, toggle ? attributes ^ kComponent64Bit : attributes | kComponent64Bit);
    });
    if (updated) api.DatabaseCommit(database.get());
}

void SetPackageWordCount(InstallerApi& api, const std::string& package) {
    ScopedHandle database(api);
    if (api.OpenDatabase(package, kOpenForEdit, database.out()) != kSuccess) return;
    ScopedHandle summary(api);
    api.GetSummaryInformation(database.get(), 1, summary.out());
    api.SummaryInfoSetInteger(summary.get(), kSummaryWordCount, 8);
    api.SummaryInfoPersist(summary.get());
    summary.reset();
    api.DatabaseCommit(database.get());
}

void TranslatePackageShortcuts(InstallerApi& api, const std::string& package, const TextList& names) {
    ScopedHandle database(api);
    api.OpenDatabase(package, kOpenForEdit, database.out());
    for (std::size_t i = 0; i + 2 < names.size(); i += 3) {
        const std::string& key = names[i];
        RunSql(api, database.get(), "UPDATE `Shortcut` SET `Name`='" + names[i + 1] + "' WHERE `Directory_`='" + key + "'");
        RunSql(api, database.get(),
               "UPDATE `Shortcut` SET `Description`='" + names[i + 2] + "' WHERE `Directory_`='" + key + "'");
    }
    api.DatabaseCommit(database.get());
}

void TranslatePackageFileTypes(InstallerApi& api, const std::string& package, const TextList& names) {
    ScopedHandle database(api);
    api.OpenDatabase(package, kOpenForEdit, database.out());
    for (std::size_t i = 0; i + 2 < names.size(); i += 3) {
        const std::string& raw = names[i];
        // The description first, while the row still has its raw key.
        RunSql(api, database.get(), "UPDATE `ProgId` SET `Description`='" + names[i + 2] + "' WHERE `ProgId`='" + raw + "'");
        RunSql(api, database.get(), "UPDATE `ProgId` SET `ProgId`='" + names[i + 1] + "' WHERE `ProgId`='" + raw + "'");
    }
    api.DatabaseCommit(database.get());
}

std::vector<std::string> StaleTempPackageValues(const std::vector<std::string>& valueNames, const std::string& productCode) {
    const std::string code = text::upper(productCode);
    std::vector<std::string> doomed;
    for (std::size_t i = valueNames.size(); i-- > 0;)
        if (valueNames[i].find(code) != std::string::npos) doomed.push_back(valueNames[i]);
    return doomed;
}

int RemovePackageAssemblies(InstallerApi& api, const std::string& package, const std::string& tool,
                            const std::function<int(const std::string&, const std::string&)>& run) {
    std::vector<std::string> components, names, versions;
    {
        ScopedHandle database(api);
        if (api.OpenDatabase(package, kOpenReadOnly, database.out()) != kSuccess) return 0;
        if (!selectColumn(api, database.get(), "SELECT * FROM  `MsiAssembly`", components)) return 0;
        for (const std::string& c : components) {
            const std::string where = "SELECT `Value` FROM  `MsiAssemblyName` WHERE `Component_`='" + c + "' AND `Name`=";
            if (!selectColumn(api, database.get(), where + "'Name'", names)) return 0;
            if (!selectColumn(api, database.get(), where + "'Version'", versions)) return 0;
        }
    }
    if (names.empty() || names.size() != versions.size()) return 0;
    int result = 0;
    for (std::size_t i = 0; i < names.size(); ++i) result = run(tool, "/u " + names[i] + ",Version=" + versions[i]);
    return result;
}

} // namespace velmora::msi
