// Filling the wizard's component views from the component model and applying the user's check
// marks back to it. The views are reached through two small interfaces, so the dialog engine
// plugs its real tree view and check-list box in and tests use plain in-memory views.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "components/component_model.h"

namespace velmora {

// The operations a component tree needs from a tree-view control.
class ComponentTreeView {
public:
    using Node = std::uintptr_t;          // the control's handle of a node; never 0
    static constexpr Node kTopLevel = 0;  // as a parent: add a top-level node

    virtual ~ComponentTreeView() = default;
    virtual void removeAllNodes() = 0;
    // Adds a node as the last child of parent (the last top-level node for kTopLevel).
    virtual Node addNode(Node parent, const std::string& text) = 0;
    // Sets the node's image and selected image (0 not selected, 1 selected).
    virtual void setNodeImage(Node node, int image) = 0;
    // The node's data: the component's index + 1 (0 is a plain level node).
    virtual void setNodeData(Node node, std::intptr_t data) = 0;
};

// The operations a component list needs from a check-list box.
class ComponentCheckList {
public:
    virtual ~ComponentCheckList() = default;
    virtual void clearItems() = 0;
    virtual void addItem(const std::string& text, bool checked) = 0;
    virtual std::size_t itemCount() const = 0;
    virtual std::string itemText(std::size_t item) const = 0;
    virtual bool isChecked(std::size_t item) const = 0;
    virtual void setChecked(std::size_t item, bool checked) = 0;
};

// Rebuilds the tree: one node per level of each shown component's name, a level shared by
// several components appearing once; the node of the last level carries the component.
// The predefined, deleted and hidden components (and those under a hidden level) are left out.
void FillComponentTree(const ComponentModel& model, ComponentTreeView& tree);

// Rebuilds the list with the top-level components (names without a backslash) that are not
// predefined, deleted or hidden, checked when selected.
void FillComponentList(const ComponentModel& model, ComponentCheckList& list);

// Applies each item's check mark to every component whose name begins with the item's text
// (its sub-components, and any other component sharing those first letters), except to
// choice-locked components; the item's mark then follows the last component it reached, so
// the mark of a locked component springs back.
void ApplyComponentChecks(ComponentModel& model, ComponentCheckList& list);

} // namespace velmora
