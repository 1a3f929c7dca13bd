// Small fakes of the installer and its host for the native tests of the installer integration:
// the fake installer keeps a summary, tables as rows of fields, the SQL it was given, and answers
// installer calls from a queue while sending the messages a test scripts.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "msi/installer_api.h"
#include "msi/installer_host.h"

namespace velmora::testing {

class FakeInstallerApi : public msi::InstallerApi {
public:
    using Field = std::variant<int, std::string>;
    using Row = std::vector<Field>;

    // --- scripted behaviour ---
    std::deque<std::uint32_t> installResults;                       // one per InstallProduct/DoAction call
    std::vector<std::pair<std::uint32_t, std::string>> messages;     // sent during the first installer call
    int productState = -1;
    std::map<std::string, std::vector<Row>> tables;                 // SELECT text -> its rows
    std::map<unsigned, std::string> summaryText;
    std::map<unsigned, int> summaryNumber;
    bool failOpen = false;
    std::map<int, bool> modes;

    // --- what happened ---
    std::vector<std::string> calls;      // function names in call order
    std::vector<std::string> sql;        // every view opened
    std::vector<std::string> commandLines;
    std::vector<std::pair<std::string, std::string>> packageProperties;
    std::vector<std::pair<std::string, std::string>> sources;        // (user, folder)
    std::vector<int> answers;             // the handler's answers to the scripted messages
    int commits = 0;
    int openHandles = 0;
    msi::InstallerMessageSink* sink = nullptr;

    int SetInternalUI(int level) override { return log("SetInternalUI:" + std::to_string(level)), 0; }
    void SetExternalUI(msi::InstallerMessageSink* s, std::uint32_t filter) override {
        sink = s;
        log("SetExternalUI:" + std::to_string(filter));
    }
    std::uint32_t EnableLog(std::uint32_t mode, const std::string& path, std::uint32_t attributes) override {
        log("EnableLog:" + std::to_string(mode) + ":" + path + ":" + std::to_string(attributes));
        return 0;
    }
    int QueryProductState(const std::string& code) override { return log("QueryProductState:" + code), productState; }
    std::uint32_t InstallProduct(const std::string& package, const std::string& commandLine) override {
        log("InstallProduct:" + package);
        commandLines.push_back(commandLine);
        return runInstaller();
    }
    std::uint32_t ApplyPatch(const std::string& patch, const std::string& commandLine) override {
        log("ApplyPatch:" + patch);
        commandLines.push_back(commandLine);
        return runInstaller();
    }
    std::uint32_t OpenPackage(const std::string& package, msi::MsiHandle& h) override {
        log("OpenPackage:" + package);
        h = newHandle();
        return 0;
    }
    std::uint32_t SetProperty(msi::MsiHandle, const std::string& n, const std::string& v) override {
        packageProperties.emplace_back(n, v);
        return 0;
    }
    std::uint32_t DoAction(msi::MsiHandle, const std::string& action) override {
        log("DoAction:" + action);
        return runInstaller();
    }
    bool GetMode(msi::MsiHandle, int mode) override { return modes[mode]; }
    std::uint32_t CloseHandle(msi::MsiHandle h) override {
        if (h) --openHandles;
        records_.erase(h);
        return 0;
    }
    std::uint32_t SourceListAddSource(const std::string&, const std::string& user, const std::string& source) override {
        sources.emplace_back(user, source);
        return 0;
    }
    std::uint32_t GetProductInfo(const std::string&, const std::string&, std::string& value) override {
        value.clear();
        return 1605;
    }

    std::uint32_t OpenDatabase(const std::string& path, int mode, msi::MsiHandle& db) override {
        log("OpenDatabase:" + path + ":" + std::to_string(mode));
        if (failOpen) return 110;
        db = newHandle();
        return 0;
    }
    std::uint32_t DatabaseOpenView(msi::MsiHandle, const std::string& text, msi::MsiHandle& view) override {
        sql.push_back(text);
        if (text.rfind("SELECT", 0) == 0 && !tables.count(text)) return 1615;
        view = newHandle();
        views_[view] = {text, 0};
        return 0;
    }
    std::uint32_t ViewExecute(msi::MsiHandle, msi::MsiHandle) override { return 0; }
    std::uint32_t ViewFetch(msi::MsiHandle view, msi::MsiHandle& record) override {
        auto& [text, next] = views_[view];
        auto& rows = tables[text];
        if (next >= rows.size()) return msi::kNoMoreItems;
        record = newHandle();
        records_[record] = {&rows, next++};
        return 0;
    }
    std::uint32_t ViewModify(msi::MsiHandle, int mode, msi::MsiHandle record) override {
        log("ViewModify:" + std::to_string(mode));
        auto& r = records_.at(record);
        (*r.first)[r.second] = pendingRow_.count(record) ? pendingRow_[record] : (*r.first)[r.second];
        return 0;
    }
    std::uint32_t ViewClose(msi::MsiHandle) override { return 0; }
    std::uint32_t DatabaseCommit(msi::MsiHandle) override { return ++commits, 0; }
    int RecordGetInteger(msi::MsiHandle record, unsigned field) override { return std::get<int>(row(record).at(field - 1)); }
    std::uint32_t RecordSetInteger(msi::MsiHandle record, unsigned field, int value) override {
        edit(record).at(field - 1) = value;
        return 0;
    }
    std::uint32_t RecordGetString(msi::MsiHandle record, unsigned field, std::string& value, std::size_t buffer) override {
        value = std::get<std::string>(row(record).at(field - 1)).substr(0, buffer - 1);
        return 0;
    }
    std::uint32_t RecordSetString(msi::MsiHandle record, unsigned field, const std::string& value) override {
        edit(record).at(field - 1) = value;
        return 0;
    }
    std::uint32_t GetSummaryInformation(msi::MsiHandle, unsigned, msi::MsiHandle& summary) override {
        summary = newHandle();
        return 0;
    }
    std::uint32_t SummaryInfoGetString(msi::MsiHandle, unsigned property, std::string& value, std::size_t buffer) override {
        value = summaryText[property].substr(0, buffer - 1);
        return 0;
    }
    std::uint32_t SummaryInfoSetString(msi::MsiHandle, unsigned property, const std::string& value) override {
        summaryText[property] = value;
        return 0;
    }
    std::uint32_t SummaryInfoSetInteger(msi::MsiHandle, unsigned property, int value) override {
        summaryNumber[property] = value;
        return 0;
    }
    std::uint32_t SummaryInfoPersist(msi::MsiHandle) override { return log("SummaryInfoPersist"), 0; }

    bool called(const std::string& prefix) const {
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }

private:
    void log(const std::string& call) { calls.push_back(call); }
    msi::MsiHandle newHandle() {
        ++openHandles;
        return ++lastHandle_;
    }
    std::uint32_t runInstaller() {
        if (sink && !messagesSent_) {
            messagesSent_ = true;
            for (const auto& [word, text] : messages) answers.push_back(sink->OnInstallerMessage(word, text));
        }
        if (installResults.empty()) return 0;
        const std::uint32_t result = installResults.front();
        installResults.pop_front();
        return result;
    }
    const Row& row(msi::MsiHandle record) {
        if (pendingRow_.count(record)) return pendingRow_[record];
        auto& r = records_.at(record);
        return (*r.first)[r.second];
    }
    Row& edit(msi::MsiHandle record) {
        if (!pendingRow_.count(record)) pendingRow_[record] = row(record);
        return pendingRow_[record];
    }

    msi::MsiHandle lastHandle_ = 0;
    bool messagesSent_ = false;
    std::map<msi::MsiHandle, std::pair<std::string, std::size_t>> views_;
    std::map<msi::MsiHandle, std::pair<std::vector<Row>*, std::size_t>> records_;
    std::map<msi::MsiHandle, Row> pendingRow_;
};

class FakeInstallerHost : public msi::InstallerHost {
public:
    std::map<std::string, std::string> shortForms;   // path -> short form ("" = none)
    std::vector<std::string> folders{"C:\\Setup\\data\\"};
    std::vector<std::string> files;
    std::map<std::string, std::string> written;      // files written, removed when deleted
    std::vector<std::string> removed;
    std::vector<unsigned> sleeps;
    std::vector<std::string> boxes;                  // caption | text | style
    std::deque<int> buttons;
    std::deque<std::optional<std::string>> browsed;
    std::string uninstallString;
    std::vector<std::string> currentFolders{"C:\\Start\\"};
    bool nt = true;
    int guids = 0;
    std::vector<std::string> cleanedProducts;

    bool FolderExists(const std::string& p) override { return has(folders, p); }
    bool FileExists(const std::string& p) override { return has(files, p); }
    std::string ShortPath(const std::string& p) override {
        auto it = shortForms.find(p);
        return it == shortForms.end() ? p : it->second;
    }
    bool CreateFolders(const std::string& p) override {
        if (!has(folders, p)) folders.push_back(p);
        return true;
    }
    bool WriteTextFile(const std::string& p, const std::string& bytes) override {
        if (p.find("readonly") != std::string::npos) return false;
        written[p] = bytes;
        everWritten[p] = bytes;
        return true;
    }
    void RemoveFile(const std::string& p) override {
        written.erase(p);
        removed.push_back(p);
    }
    std::string CurrentFolder() override { return currentFolders.back(); }
    void SetCurrentFolder(const std::string& p) override { currentFolders.push_back(p); }
    std::string SystemMessage(std::uint32_t code) override {
        if (code == 1603) return "Fatal error during installation.\r\n";
        if (code == 1618) return "Another installation is already in progress.  \r\n";
        return {};
    }
    void Sleep(unsigned ms) override { sleeps.push_back(ms); }
    std::string AccountName() override { return "DOMAIN\\user"; }
    bool NtPlatform() override { return nt; }
    std::string NewGuid() override { return "{0000000" + std::to_string(++guids) + "-aaaa-bbbb-cccc-dddddddddddd}"; }
    std::string DateTimeText() override { return "11/12/2026 10:11:12"; }
    void RemoveStaleTempPackages(const std::string& code) override { cleanedProducts.push_back(code); }
    std::string UninstallString(bool, const std::string&) override { return uninstallString; }
    std::optional<std::string> BrowseForFolder(const std::string&, std::intptr_t) override {
        if (browsed.empty()) return std::nullopt;
        auto f = browsed.front();
        browsed.pop_front();
        return f;
    }
    int ShowMessageBox(std::intptr_t, const std::string& text, const std::string& caption, std::uint32_t style,
                       bool) override {
        boxes.push_back(caption + "|" + text + "|" + std::to_string(style));
        if (buttons.empty()) return 1;
        const int b = buttons.front();
        buttons.pop_front();
        return b;
    }

    std::map<std::string, std::string> everWritten;

private:
    static bool has(const std::vector<std::string>& list, const std::string& item) {
        for (const auto& x : list)
            if (x == item) return true;
        return false;
    }
};

} // namespace velmora::testing
