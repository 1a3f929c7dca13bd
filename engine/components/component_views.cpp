// The fillers of the component tree and check-list, and the check handler's model update.
#include "components/component_views.h"

#include <map>
#include <utility>
#include <vector>

namespace velmora {
namespace {

std::vector<std::string> nameLevels(std::string_view name) {
    std::vector<std::string> levels;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('\\', start);
        if (end == std::string_view::npos) end = name.size();
        // "Program\" and "Program\\Help" name the same levels as "Program" and "Program\Help".
        if (end > start) levels.emplace_back(name.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

bool isPredefined(std::string_view name) { return name == kPredefinedComponent; }

} // namespace

void FillComponentTree(const ComponentModel& model, ComponentTreeView& tree) {
    tree.removeAllNodes();
    // Every node is added here after the tree was emptied, so this map knows all of them:
    // (parent, upper-cased text) -> node.
    std::map<std::pair<ComponentTreeView::Node, std::string>, ComponentTreeView::Node> nodes;
    const TextList& names = model.ComponentNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (isPredefined(name) || model.IsDeleted(name) || model.IsHiddenOrUnderHiddenLevel(name)) continue;
        ComponentTreeView::Node node = ComponentTreeView::kTopLevel;
        for (const std::string& level : nameLevels(name)) {
            const auto key = std::make_pair(node, text::upper(level));
            const auto found = nodes.find(key);
            node = found != nodes.end() ? found->second : nodes.emplace(key, tree.addNode(node, level)).first->second;
        }
        if (node == ComponentTreeView::kTopLevel) continue;
        tree.setNodeImage(node, model.ComponentStates()[i] == "TRUE" ? 1 : 0);
        tree.setNodeData(node, static_cast<std::intptr_t>(i) + 1);
    }
}

void FillComponentList(const ComponentModel& model, ComponentCheckList& list) {
    list.clearItems();
    const TextList& names = model.ComponentNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (isPredefined(name) || model.IsDeleted(name) || model.IsHidden(name)) continue;
        if (name.find('\\') != std::string::npos) continue;
        list.addItem(name, model.ComponentStates()[i] == "TRUE");
    }
}

void ApplyComponentChecks(ComponentModel& model, ComponentCheckList& list) {
    const TextList& names = model.ComponentNames();
    for (std::size_t item = 0; item < list.itemCount(); ++item) {
        const std::string itemText = list.itemText(item);
        const bool checked = list.isChecked(item);
        const bool topLevelItem = itemText.find('\\') == std::string::npos;
        for (std::size_t p = 0; p < names.size(); ++p) {
            // The predefined component is in no view, so no check mark may change it.
            if (isPredefined(names[p]) || !text::startsWithIgnoreCase(names[p], itemText)) continue;
            if (!model.IsChoiceLocked(names[p])) model.SetStateByIndex(p, checked);
            if (topLevelItem) list.setChecked(item, model.ComponentStates()[p] == "TRUE");
        }
    }
}

} // namespace velmora
