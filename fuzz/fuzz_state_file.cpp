// Fuzzes the saved state reader: any bytes must parse without fault, and what was read must
// survive being written and read again; the in-place update must keep the model it kept, and
// the model must take over the result in every load mode.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "components/component_views.h"
#include "components/state_file.h"

using namespace velmora;

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool sameLists(const ComponentLists& a, const ComponentLists& b) {
    return a.names == b.names && a.states == b.states && a.deleted == b.deleted && a.hidden == b.hidden &&
           a.choiceLocked == b.choiceLocked && a.sizes == b.sizes;
}

class CountingTree : public ComponentTreeView {
public:
    void removeAllNodes() override { count_ = 0; }
    Node addNode(Node, const std::string&) override { return ++count_; }
    void setNodeImage(Node node, int) override { require(node != kTopLevel && node <= count_); }
    void setNodeData(Node node, std::intptr_t) override { require(node != kTopLevel && node <= count_); }

private:
    Node count_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SavedState first = ParseStateText(text);
    require(first.sectionsRead <= 6);

    const SavedState again = ParseStateText(FormatStateText(first));
    require(again.sectionsRead == 6);
    require(sameLists(first.components, again.components));
    require(first.persistentVariables.size() == again.persistentVariables.size());
    for (std::size_t i = 0; i < first.persistentVariables.size(); ++i)
        require(first.persistentVariables[i].name == again.persistentVariables[i].name &&
                first.persistentVariables[i].value == again.persistentVariables[i].value);
    require(!first.targetDir || first.targetDir == again.targetDir);
    require(!first.dataFolder || first.dataFolder == again.dataFolder);
    require(!first.platformMode || first.platformMode == again.platformMode);

    if (const auto updated = UpdateStateText(text, again)) {
        const SavedState kept = ParseStateText(*updated);
        require(sameLists(kept.components, first.components));
        require(kept.targetDir == first.targetDir && kept.dataFolder == first.dataFolder);
    }

    const SavedState lenient = ParseStateText(text, SizeLines::InvalidAsZero);
    for (const ComponentLoadOptions options : {ComponentLoadOptions{}, ComponentLoadOptions{true, false}, ComponentLoadOptions{false, true}}) {
        ComponentModel model(TextList{"A", "1"});
        model.DefineComponent("A", "", true);
        model.LoadSavedLists(lenient.components, lenient.sectionsRead, options);
        require(model.ComponentStates().size() == model.ComponentNames().size());
        require(model.ComponentSizes().size() % 2 == 0);
        model.SetInstalledSize(model.SelectedSize());   // sizes read as 0 never raise here
        for (const auto& name : model.ComponentNames()) model.IsChoiceLocked(name);
        CountingTree tree;
        FillComponentTree(model, tree);
    }

    PickOldStateFile(first.components.names.toVector());
    return 0;
}
