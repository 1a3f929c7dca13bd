// The component commands: defining, deleting, hiding and locking components, reading and
// setting their selection and sizes, and saving and loading the feature selections.
#include "components/cache.h"
#include "components/component_model.h"
#include "platform/redirection.h"
#include "script/commands/commands.h"
#include "script/interpreter.h"

namespace velmora::commands {
namespace {

// P1 expanded, and in a translated setup expanded again in the setup language.
std::string componentName(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    std::string name = v.ExpandText(in.Param(n, 1));
    if (!in.CurrentLanguage().empty()) name = v.ExpandText(in.TranslateStatementText(name, in.StatementId(n), 1));
    return name;
}

bool flag(Interpreter& in, std::size_t n, std::size_t k) { return ParseBool(in.Param(n, k)); }

} // namespace

void DefineComponent(Interpreter& in, std::size_t n) {
    TVariableManager& v = in.Vars();
    const std::string name = componentName(in, n);
    std::string description = v.ExpandText(in.Param(n, 3));
    if (!in.CurrentLanguage().empty()) {
        description = v.ExpandText(in.TranslateStatementText(description, in.StatementId(n), 2));
        // The payload recorded the size under the untranslated name.
        in.Components().AddTranslatedSize(v.ExpandText(in.Param(n, 1)), name);
    }
    in.Components().DefineComponent(name, description, flag(in, n, 2));
}

void DeleteComponent(Interpreter& in, std::size_t n) { in.Components().DeleteComponent(componentName(in, n)); }

void GetComponentState(Interpreter& in, std::size_t n) {
    const std::string result = in.Param(n, 2);
    if (result.empty()) return;
    in.Vars().StoreResult("Get Component State", result, BoolText(in.Components().IsComponentSelected(componentName(in, n))));
}

void SetComponentState(Interpreter& in, std::size_t n) {
    in.Components().SetComponentSelected(componentName(in, n), flag(in, n, 2));
}

void GetComponentSpace(Interpreter& in, std::size_t n) {
    const std::string result = in.Param(n, 2);
    if (result.empty()) return;
    in.Vars().StoreResult("Get Component Space", result, in.Components().ComponentSpaceText(componentName(in, n)));
}

void SetComponentSpace(Interpreter& in, std::size_t n) {
    in.Components().SetComponentSpace(componentName(in, n), in.Vars().ExpandText(in.Param(n, 2)));
}

void SetComponentChoice(Interpreter& in, std::size_t n) {
    in.Components().SetComponentChoice(componentName(in, n), flag(in, n, 2));
}

void SetComponentVisibility(Interpreter& in, std::size_t n) {
    in.Components().SetComponentVisibility(componentName(in, n), flag(in, n, 2));
}

// The file goes where the script's platform mode says (64-bit mode reaches the 64-bit folders).
void SaveFeatureSelections(Interpreter& in, std::size_t n) {
    const platform::RedirectionScope redirection(in.System(), in.Switches().platformMode);
    const std::string path = redirection.path(in.Vars().ExpandText(in.Param(n, 1)));
    in.Cache().SaveState(path, true, true);
}

void LoadFeatureSelections(Interpreter& in, std::size_t n) {
    const platform::RedirectionScope redirection(in.System(), in.Switches().platformMode);
    const std::string path = redirection.path(in.Vars().ExpandText(in.Param(n, 1)));
    in.Cache().LoadState(path, true, false);
}

} // namespace velmora::commands
