// The compile pass: checks that blocks balance, that labels are unique, defined and outside
// blocks, and that the variables conditions and some commands read were declared by an earlier
// statement; builds StatementStates and the LabelTable on the way.
#include "script/compiler.h"

#include <iterator>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/text.h"
#include "script/expression.h"
#include "script/variables.h"

namespace velmora {

namespace {

constexpr std::string_view kKeepMarker = "$QORV$QORV$";

// Names the interpreter defines before the first statement, declared before the pass starts.
// The first three differ from the run-time names (QORV_COMPRESS_INSTALLER_CACHE, ...): a
// condition on the run-time spelling needs its own earlier declaration.
constexpr std::string_view kPredeclaredNames[] = {
    "QORV_COMPRESSCACHE", "QORV_DISABLEROLLBACK", "QORV_DISABLEVISTARESTARTMANAGER", "IISHOST", "OVERRIDECACHE",
    "QORVLOGO", "TIME", "DATE", "NEWINSTANCE", "SELECTED", "WINDOWHANDLE", "EXEDIR", "EXEFILE", "UNINSTALLLINK",
    "ENGINECACHE", "COPYWEBLOCK", "ABORT", "SILENT", "LOGGED", "CMDLINE", "REBOOTNOW", "SFXPATH", "SFXFILE",
    "LASTERROR", "PROGRESSMODE", "PROGRESSTEXT", "PROGRESS", "LICENSE", "USERNAME", "USERCOMPANY",
    "REBOOTCOMPUTER", "RUNAPP", "WIZARD", "VERSION", "TARGETDIR", "STARTMENU", "ADVERTISE", "ALLUSERS",
    "COMPLETE", "MINIMUM", "PERSONALIZED", "MODIFY", "REPAIR", "REMOVE", "DATADIR", "PRODUCTCODE",
    "REVISIONCODE", "ROOTDIR", "MAINTENANCE", "NEWLINE", "NEEDSUPGRADE", "TITLE", "COMPANY", "TEMPDIR",
    "SUPPORTDIR", "MSIFILE", "LANGUAGE",
};
static_assert(std::size(kPredeclaredNames) == 57);

namespace msg {
constexpr std::string_view kLabelNested = "LABEL statements cannot be nested inside loops/conditionals";
constexpr std::string_view kInsufficientEnd = "Insufficient END statements";
constexpr std::string_view kTooManyEnd = "Too many END statements";
constexpr std::string_view kLabelRedefined = "LABEL re-defined: ";
constexpr std::string_view kBlockName = "Web Media Block name must be a legal file name";
constexpr std::string_view kBlockUrl = "Web Media Block must have at least one download URL";
constexpr std::string_view kVariableRequired = "Variable required";
constexpr std::string_view kDeleteMode = "At least one delete mode must be selected";
constexpr std::string_view kTargetFolder =
    "A target folder must be specified for files that are being installed.\r"
    "The value $TARGETDIR$ represents the destination folder chosen by the user.";
constexpr std::string_view kNotDefined = "Variable not defined: ";
constexpr std::string_view kExpressionSyntax =
    "Syntax error in expression. Please review the help topic \"Evaluate Expression\" for the correct syntax.";
constexpr std::string_view kLabelUndefined = "LABEL undefined: ";
constexpr std::string_view kDialogName = "Dialog name not specified";
constexpr std::string_view kWizardLoopContent = "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP";
} // namespace msg

enum class Rule {
    Nothing,
    Declare,         // declare parameter a, then parameter b (when b is not 0)
    DeclareRequired, // parameter a must not be empty; declare it
    MarkChanging,    // the statement changes the target system
    WebMediaBlock,
    DeleteFiles,
    InstallFiles,
    MustExist,       // parameter a names an existing declaration, exactly as written
    EvaluateExpression,
    SetVariable,
    GoToLabel,
    Condition,
    DisplayDialog,
};

struct RuleRow {
    std::string_view command;
    Rule rule;
    int a = 0;
    int b = 0;
};

// Command names match exactly, letter case included; the first matching row applies.
constexpr RuleRow kRules[] = {
    {"Web Media Block", Rule::WebMediaBlock},
    {"Comment", Rule::Nothing},
    {"Get Folder Location", Rule::Declare, 1},
    {"Mathematics", Rule::Declare, 4},
    {"Is MSI Setup Installed", Rule::DeclareRequired, 2},
    {"Get INI File Settings", Rule::Declare, 1},
    {"Extract 7Zip Archive", Rule::Declare, 3},
    {"Run Light Mode Setup", Rule::Declare, 2},
    {"Read from Text File", Rule::Declare, 2, 3},
    {"Parse String", Rule::Declare, 3, 4},
    {"Check File Version", Rule::Declare, 1},
    {"Delete Files", Rule::DeleteFiles},
    {"Copy/Move Local Files", Rule::MarkChanging},
    {"Create Folder", Rule::MarkChanging},
    {"Create Shortcut", Rule::MarkChanging},
    {"Advertised Shortcut", Rule::MarkChanging},
    {"Edit INI File", Rule::MarkChanging},
    {"Install Files", Rule::InstallFiles},
    {"Install Assembly", Rule::MarkChanging},
    {"Set Environment", Rule::MarkChanging},
    {"Install Service", Rule::MarkChanging},
    {"Install ODBC Driver", Rule::MarkChanging},
    {"Create ODBC DSN", Rule::MarkChanging},
    {"Control Service", Rule::MarkChanging},
    {"Write Registry", Rule::MarkChanging},
    {"Create File Type", Rule::MarkChanging},
    {"Advertised File Type", Rule::MarkChanging},
    {"Convert Path", Rule::MustExist, 1},
    {"Convert Case", Rule::MustExist, 1},
    {"Extract Path", Rule::MustExist, 1},
    {"Get System Settings", Rule::Declare, 1},
    {"Get OS or SP Level", Rule::Declare, 1},
    {"Evaluate Expression", Rule::EvaluateExpression},
    {"Read Registry", Rule::Declare, 1},
    {"Check Registry", Rule::Declare, 1},
    {"Does File/Folder Exist", Rule::Declare, 1},
    {"Run Program", Rule::Declare, 4},
    {"Run Program As", Rule::Declare, 8},
    {"Set Variable", Rule::SetVariable},
    {"Localization Variable", Rule::Declare, 1},
    {"Get Temporary File", Rule::Declare, 1},
    {"Get IIS Property", Rule::Declare, 1},
    {"Get IIS Site List", Rule::Declare, 1},
    {"Get File Version", Rule::Declare, 2},
    {"Get Environment", Rule::Declare, 2},
    {"Get IIS Site Index", Rule::Declare, 2},
    {"GoTo Label", Rule::GoToLabel},
    {"Find All Files", Rule::DeclareRequired, 4},
    {"Check Disk Space", Rule::DeclareRequired, 1},
    {"Replace String", Rule::MustExist, 1},
    {"If", Rule::Condition},
    {"Else If", Rule::Condition},
    {"MessageBox", Rule::Declare, 5},
    {"Check Service", Rule::Declare, 3},
    {"Check Process", Rule::Declare, 2},
    {"Register Library", Rule::Declare, 3},
    {"Apply Changes", Rule::Declare, 2},
    {"Apply Patch", Rule::Declare, 1},
    {"Display Dialog", Rule::DisplayDialog},
    {"Get Component State", Rule::Declare, 2},
    {"Get Component Space", Rule::Declare, 2},
    {"IIS Anonymous User", Rule::Declare, 1},
};

const RuleRow* ruleFor(std::string_view command) {
    static const auto byName = [] {
        std::unordered_map<std::string_view, const RuleRow*> map;
        for (const RuleRow& row : kRules) map.try_emplace(row.command, &row);
        return map;
    }();
    const auto it = byName.find(command);
    return it == byName.end() ? nullptr : it->second;
}

// A media block name is used as a file name: its last path part must not hold / * ? " < > |.
bool isLegalBlockName(std::string_view name) {
    const std::size_t cut = name.find_last_of("\\:");
    const std::string_view part = cut == std::string_view::npos ? name : name.substr(cut + 1);
    return part.find_first_of("/*?\"<>|") == std::string_view::npos;
}

// Evaluate Expression's text with every "$" read as a double quote, so $NAME$ parses as a
// quoted string.
bool hasExpressionSyntax(std::string text) {
    for (char& c : text)
        if (c == '$') c = '"';
    return EvaluateExpressionText(text) != "ERROR";
}

class ScriptCompiler {
public:
    ScriptCompiler(const TextList& names, const TextList& flags, const StatementParameterReader& parameter,
                   CompileResult& result)
        : names_(names), flags_(flags), parameter_(parameter), result_(result) {}

    void run() {
        result_ = CompileResult{};
        declared_.reserve(std::size(kPredeclaredNames) + count() / 4);
        for (std::string_view name : kPredeclaredNames) declare(name);
        if (checkBlockBalance() && collectLabels() && declareKeptVariables() && checkStatements())
            checkWizardLoops();
    }

private:
    std::size_t count() const { return names_.size(); }
    const std::string& name(std::size_t i) const { return names_[i]; }
    bool commented(std::size_t i) const { return i < flags_.size() && flags_[i] == "C"; }
    std::string param(std::size_t i, int k) const { return parameter_(i, static_cast<std::size_t>(k)); }

    bool fail(std::int64_t index, std::string_view message, std::string_view detail = {}) {
        result_.index = index;
        result_.message.assign(message);
        result_.message.append(detail);
        return false;
    }

    void declare(std::string_view variable) {
        if (!variable.empty() && !declared_.contains(variable)) declared_.insert(text::upper(variable));
    }
    bool isDeclared(std::string_view variable) const { return !variable.empty() && declared_.contains(variable); }
    // A parameter naming a variable: $NAME$ or NAME must be declared.
    bool passesVariableTest(std::string_view text) const {
        const std::string stripped = StripReference(text);
        return isDeclared(stripped.empty() ? text : std::string_view(stripped));
    }
    // A parameter holding a value: a $NAME$ reference must be declared; anything else is a literal.
    bool passesValueTest(std::string_view text) const {
        const std::string stripped = StripReference(text);
        return stripped.empty() || isDeclared(stripped);
    }

    bool checkBlockBalance() {
        std::int64_t openers = 0, closers = 0, depth = 0;
        for (std::size_t i = 0; i < count(); ++i) {
            if (commented(i)) continue;
            if (name(i) == "If" || name(i) == "Wizard Loop") {
                ++openers;
                ++depth;
            } else if (name(i) == "End") {
                ++closers;
                --depth;
            } else if (name(i) == "Label" && depth != 0) {
                return fail(static_cast<std::int64_t>(i), msg::kLabelNested);
            }
        }
        if (openers > closers) return fail(CompileResult::kEndCountMismatch, msg::kInsufficientEnd);
        if (openers < closers) return fail(CompileResult::kEndCountMismatch, msg::kTooManyEnd);
        return true;
    }

    // Commented-out labels count too: a GoTo may still name them.
    bool collectLabels() {
        for (std::size_t i = 0; i < count(); ++i) {
            if (name(i) != "Label") continue;
            const std::string label = param(i, 1);
            std::string key = text::upper(label);
            if (result_.labelTable.indexOf(key) != TextList::npos)
                return fail(static_cast<std::int64_t>(i), msg::kLabelRedefined, label);
            result_.labelTable.add(std::move(key));
        }
        return true;
    }

    // A Set Variable marked for keeping declares its name for the whole script, so statements
    // before it may read it.
    bool declareKeptVariables() {
        for (std::size_t i = 0; i < count(); ++i) {
            if (name(i) != "Set Variable") continue;
            const std::string target = param(i, 1);
            const std::size_t marker = target.find(kKeepMarker);
            if (marker == std::string::npos) continue;
            const std::string_view variable = std::string_view(target).substr(0, marker);
            if (target.compare(marker + kKeepMarker.size(), std::string::npos, "TRUE") == 0 && !isDeclared(variable))
                declare(variable);
        }
        return true;
    }

    // Declarations happen in script order: statement n sees only names declared before it.
    bool checkStatements() {
        result_.statementStates = TextList();
        for (std::size_t i = 0; i < count(); ++i) {
            bool changing = false;
            const bool ok = commented(i) || checkStatement(i, changing);
            result_.statementStates.add(changing ? "FALSE" : "SKIP");
            if (!ok) return false;
        }
        return true;
    }

    bool checkStatement(std::size_t i, bool& changing) {
        const RuleRow* row = ruleFor(name(i));
        if (!row) return true;
        const auto at = static_cast<std::int64_t>(i);
        switch (row->rule) {
        case Rule::Nothing:
            return true;
        case Rule::Declare:
            declare(param(i, row->a));
            if (row->b != 0) declare(param(i, row->b));
            return true;
        case Rule::DeclareRequired: {
            const std::string variable = param(i, row->a);
            if (variable.empty()) return fail(at, msg::kVariableRequired);
            declare(variable);
            return true;
        }
        case Rule::MarkChanging:
            changing = true;
            return true;
        case Rule::WebMediaBlock: {
            const std::string block = param(i, 1);
            if (!block.empty() && param(i, 2).empty()) return fail(at, msg::kBlockUrl);
            if (!isLegalBlockName(block)) return fail(at, msg::kBlockName);
            return true;
        }
        case Rule::DeleteFiles:
            if (!ParseBool(param(i, 3)) && !ParseBool(param(i, 4))) return fail(at, msg::kDeleteMode);
            changing = true;
            return true;
        case Rule::InstallFiles:
            if (param(i, 3).empty()) return fail(at, msg::kTargetFolder);
            changing = true;
            return true;
        case Rule::MustExist: {
            const std::string variable = param(i, row->a);
            if (!isDeclared(variable)) return fail(at, msg::kNotDefined, variable);
            return true;
        }
        case Rule::EvaluateExpression:
            declare(param(i, 2));
            if (!hasExpressionSyntax(param(i, 1))) return fail(at, msg::kExpressionSyntax);
            return true;
        case Rule::SetVariable: {
            const std::string target = param(i, 1);
            declare(std::string_view(target).substr(0, target.find(kKeepMarker)));
            return true;
        }
        case Rule::GoToLabel: {
            const std::string label = param(i, 1);
            if (result_.labelTable.indexOf(text::upper(label)) == TextList::npos)
                return fail(at, msg::kLabelUndefined, label);
            return true;
        }
        case Rule::Condition: {
            const std::string variable = param(i, 1);
            if (variable.empty()) return fail(at, msg::kVariableRequired);
            const std::string value = param(i, 3);
            if (!passesValueTest(value)) return fail(at, msg::kNotDefined, value);
            if (!passesVariableTest(variable)) return fail(at, msg::kNotDefined, variable);
            return true;
        }
        case Rule::DisplayDialog: {
            if (param(i, 1).empty()) return fail(at, msg::kDialogName);
            declare(param(i, 2));
            const std::string condition = param(i, 4);
            if (!condition.empty() && !passesVariableTest(condition)) return fail(at, msg::kNotDefined, condition);
            return true;
        }
        }
        return true;
    }

    // Inside a Wizard Loop only Display Dialog, Comment, Ignore and commented-out statements
    // may stand.
    bool checkWizardLoops() {
        bool inside = false;
        for (std::size_t i = 0; i < count(); ++i) {
            if (name(i) == "Wizard Loop") {
                inside = true;
            } else if (name(i) == "End") {
                inside = false;
            } else if (inside && name(i) != "Display Dialog" && name(i) != "Comment" && !commented(i) &&
                       name(i) != "Ignore") {
                return fail(static_cast<std::int64_t>(i), msg::kWizardLoopContent);
            }
        }
        return true;
    }

    const TextList& names_;
    const TextList& flags_;
    const StatementParameterReader& parameter_;
    CompileResult& result_;
    std::unordered_set<std::string, text::IgnoreCaseHash, text::IgnoreCaseEqual> declared_;
};

} // namespace

CompileResult CompileScript(const TextList& statementNames, const TextList& statementFlags,
                            const StatementParameterReader& parameter) {
    CompileResult result;
    ScriptCompiler(statementNames, statementFlags, parameter, result).run();
    return result;
}

} // namespace velmora
