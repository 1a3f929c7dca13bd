#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <vector>

#include "components/component_model.h"
#include "components/component_views.h"
#include "components/size_format.h"

using namespace velmora;

namespace {

ComponentModel modelOf(std::initializer_list<std::pair<const char*, bool>> components, TextList sizes = {}) {
    ComponentModel model(std::move(sizes));
    for (const auto& [name, selected] : components) model.DefineComponent(name, "", selected);
    return model;
}

// A tree view kept as text lines: "  Help [1] #2" is a child node with image 1 and data 2.
class FakeTree : public ComponentTreeView {
public:
    void removeAllNodes() override { nodes_.clear(); }
    Node addNode(Node parent, const std::string& text) override {
        nodes_.push_back({parent, text, -1, 0});
        return nodes_.size();
    }
    void setNodeImage(Node node, int image) override { nodes_[node - 1].image = image; }
    void setNodeData(Node node, std::intptr_t data) override { nodes_[node - 1].data = data; }

    std::string dump() const { return dumpChildren(kTopLevel, ""); }

private:
    struct Entry { Node parent; std::string text; int image; std::intptr_t data; };
    std::string dumpChildren(Node parent, const std::string& indent) const {
        std::string out;
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            if (nodes_[i].parent != parent) continue;
            out += indent + nodes_[i].text;
            if (nodes_[i].image >= 0) out += " [" + std::to_string(nodes_[i].image) + "]";
            if (nodes_[i].data) out += " #" + std::to_string(nodes_[i].data);
            out += "\n" + dumpChildren(i + 1, indent + "  ");
        }
        return out;
    }
    std::vector<Entry> nodes_;
};

class FakeCheckList : public ComponentCheckList {
public:
    void clearItems() override { items_.clear(); }
    void addItem(const std::string& text, bool checked) override { items_.push_back({text, checked}); }
    std::size_t itemCount() const override { return items_.size(); }
    std::string itemText(std::size_t i) const override { return items_[i].first; }
    bool isChecked(std::size_t i) const override { return items_[i].second; }
    void setChecked(std::size_t i, bool checked) override { items_[i].second = checked; }

    void check(const std::string& text, bool checked) {
        for (auto& item : items_)
            if (item.first == text) item.second = checked;
    }
    std::string dump() const {
        std::string out;
        for (const auto& [text, checked] : items_) out += (checked ? "[x] " : "[ ] ") + text + "\n";
        return out;
    }

private:
    std::vector<std::pair<std::string, bool>> items_;
};

std::string states(const ComponentModel& model) {
    std::string out;
    for (std::size_t i = 0; i < model.ComponentNames().size(); ++i)
        out += model.ComponentNames()[i] + "=" + model.ComponentStates()[i] + " ";
    return out;
}

} // namespace

TEST(ComponentModel, DefinitionNeverOverridesASelection) {
    ComponentModel model(TextList{"TOOLS", "2048"});
    model.DefineComponent("Tools", "First", true);
    model.SetStateByIndex(0, false);                       // the user deselects it
    model.DefineComponent("TOOLS", "Second", true);        // the script defines it again
    EXPECT_EQ(model.ComponentNames().size(), 1u);
    EXPECT_EQ(model.ComponentStates()[0], "FALSE");
    EXPECT_EQ(model.ComponentDescription("tools"), "Second");
    EXPECT_EQ(model.ComponentSizes(), (TextList{"TOOLS", "2048"}));   // the payload's entry is kept

    model.DefineComponent("Docs", "", false);                        // no size yet: one is recorded
    EXPECT_EQ(model.ComponentSizes(), (TextList{"TOOLS", "2048", "Docs", "0"}));
    EXPECT_FALSE(model.IsComponentSelected("Docs"));
    EXPECT_FALSE(model.IsComponentSelected("Missing"));
    EXPECT_EQ(model.ComponentIndex("docs"), 1);
    EXPECT_EQ(model.ComponentIndex("Missing"), -1);
}

TEST(ComponentModel, DeletionKeepsPositionAndStateUntilDefinedAgain) {
    ComponentModel model(TextList{"A", "100", "B", "10", "C", "1"});
    for (const char* name : {"A", "B", "C"}) model.DefineComponent(name, "", true);
    model.SetComponentSelected("b", false);
    model.DeleteComponent("B");
    model.DeleteComponent("b");            // once only
    model.DeleteComponent("Missing");      // nothing to delete
    model.DeleteComponent("A");
    EXPECT_EQ(model.DeletedComponents(), (TextList{"B", "A"}));
    EXPECT_FALSE(model.IsComponentSelected("A"));
    EXPECT_EQ(model.RequiredSpace(), 1);   // only C counts

    FakeCheckList list;
    FillComponentList(model, list);
    EXPECT_EQ(list.dump(), "[x] C\n");

    model.DefineComponent("a", "back", false);   // brought back with its previous state
    EXPECT_EQ(model.DeletedComponents(), (TextList{"B"}));
    EXPECT_TRUE(model.IsComponentSelected("A"));
    EXPECT_EQ(model.ComponentIndex("A"), 0);
    EXPECT_EQ(model.RequiredSpace(), 101);
}

TEST(ComponentModel, ParentLevels) {
    struct Case { const char* name; const char* parent; };
    const Case cases[] = {
        {R"(A\B\C)", R"(A\B)"}, {R"(A\B)", "A"}, {"A", ""}, {R"(A\B\)", "A"},
        {R"(C:\X)", "C:"}, {"C:Y", "C:"}, {"", ""}, {"\\", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ParentLevel(c.name), c.parent) << c.name;
}

TEST(ComponentModel, LocksAndHidingReachSubComponents) {
    ComponentModel model = modelOf({{"Program", true}, {R"(Program\Help\Deep)", true}, {"C:", true}, {"Other", true}});
    model.SetComponentChoice("PROGRAM", false);
    model.SetComponentVisibility("program", false);
    model.SetComponentVisibility("Program", false);   // added once
    model.SetComponentChoice("Missing", false);       // unknown components are not locked
    model.SetComponentVisibility("Missing", false);
    EXPECT_EQ(model.ChoiceLockedComponents(), (TextList{"PROGRAM"}));
    EXPECT_EQ(model.HiddenComponents(), (TextList{"program"}));
    EXPECT_TRUE(model.IsChoiceLocked(R"(program\help\deep)"));
    EXPECT_TRUE(model.IsHiddenOrUnderHiddenLevel(R"(Program\Help\Deep)"));
    EXPECT_FALSE(model.IsHidden(R"(Program\Help\Deep)"));
    EXPECT_FALSE(model.IsChoiceLocked("C:"));        // its own parent level: the walk ends
    EXPECT_FALSE(model.IsChoiceLocked("Other"));

    model.SetComponentVisibility("PROGRAM", true);
    model.SetComponentChoice("Gone", true);          // unlocking needs no component
    model.SetComponentChoice("program", true);
    EXPECT_TRUE(model.HiddenComponents().empty());
    EXPECT_TRUE(model.ChoiceLockedComponents().empty());
}

TEST(ComponentModel, SizesAndSpace) {
    ComponentModel model(TextList{"QORV-PREDEF-COMPONENT", "1000", "APP", "5000", "EXTRAS", "300"});
    model.DefineComponent(std::string(kPredefinedComponent), "", true);
    model.DefineComponent("App", "", true);
    model.DefineComponent("Extras", "", false);
    EXPECT_EQ(model.ComponentSpaceText(""), "6000");        // predefined included
    EXPECT_EQ(model.ComponentSpaceText("extras"), "300");
    EXPECT_EQ(model.ComponentSize("unknown"), 0);

    // Maintenance: the installed selection was everything; deselecting gives a negative change.
    model.SetInstalledSize(6300);
    model.SetComponentSelected("App", false);
    EXPECT_EQ(model.RequiredSpace(), -5300);

    // Free space comes from the system through the query.
    std::string asked;
    const FreeSpaceQuery query = [&](const std::string& path) { asked = path; return std::int64_t{10000}; };
    EXPECT_EQ(AvailableSpace("", query), -1);
    EXPECT_EQ(AvailableSpace(R"(D:\Apps\Tool)", query), 10000);
    EXPECT_EQ(asked, R"(D:\Apps\Tool)");
    EXPECT_EQ(model.RemainingSpace(R"(D:\Apps\Tool)", query), 15300);
}

TEST(ComponentModel, SetComponentSpace) {
    ComponentModel model(TextList{"APP", "100"});
    model.DefineComponent("App", "", true);
    model.DefineComponent("100", "", true);   // a name equal to App's size line
    struct Case { const char* name; const char* size; bool changed; };
    const Case cases[] = {
        {"Unknown", "10", false}, {"App", "12a", false}, {"App", "", false}, {"App", " 7", false},
        {"100", "-3", true},      {"App", "+42", true},
    };
    for (const auto& c : cases) EXPECT_EQ(model.SetComponentSpace(c.name, c.size), c.changed) << c.name << " " << c.size;
    // Names are matched at name positions only: "100" is not taken for App's old size line.
    EXPECT_EQ(model.ComponentSizes(), (TextList{"APP", "42", "100", "-3"}));
    EXPECT_EQ(model.ComponentSize("100"), -3);
}

TEST(ComponentModel, InvalidSizeLineRaisesForStatements) {
    ComponentModel model(TextList{"APP", "12a", "ODD"});   // a trailing name without size is dropped
    model.DefineComponent("App", "", true);
    EXPECT_EQ(model.ComponentSizes().size(), 2u);
    try {
        model.ComponentSize("App");
        FAIL() << "no error";
    } catch (const InvalidIntegerError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
    EXPECT_THROW(model.RequiredSpace(), InvalidIntegerError);
}

TEST(ComponentModel, TranslatedNamesGainTheirSizes) {
    ComponentModel model(TextList{"PRODUCT", "4096"});
    model.AddTranslatedSize("Product", "PRODUKT");
    model.AddTranslatedSize("Product", "Produkt");       // already present: the list does not grow
    model.AddTranslatedSize("Nothing", "Nichts");        // no size recorded: nothing added
    model.DefineComponent("PRODUKT", "Produkt", true);
    EXPECT_EQ(model.ComponentSize("produkt"), 4096);
    EXPECT_EQ(model.ComponentSizes(), (TextList{"PRODUCT", "4096", "PRODUKT", "4096"}));
    EXPECT_EQ(model.RequiredSpace(), 4096);
}

TEST(ComponentModel, ClearKeepsSizes) {
    ComponentModel model = modelOf({{"A", true}}, TextList{"A", "9"});
    model.DeleteComponent("A");
    model.ClearComponents();
    EXPECT_TRUE(model.ComponentNames().empty());
    EXPECT_TRUE(model.ComponentStates().empty());
    EXPECT_TRUE(model.DeletedComponents().empty());
    EXPECT_EQ(model.ComponentSizes(), (TextList{"A", "9"}));
}

TEST(FormatSize, UnitsGroupingAndBoundaries) {
    struct Case { long long bytes; const char* want; };
    const Case cases[] = {
        {0, "0 bytes"},
        {123, "123 bytes"},
        {1536, "1,536 bytes"},
        {1048575, "1,048,575 bytes"},
        {1048576, "1,024 KB"},
        {5242880, "5,120 KB"},
        {1073741823, "1,048,575 KB"},
        {1073741824, "1,024 MB"},
        {3221225472LL, "3,072 MB"},
        {-1, "-1 bytes"},
        {-2097152, "-2,097,152 bytes"},                       // negative values never change unit
        {LLONG_MIN, "-9,223,372,036,854,775,808 bytes"},
        {LLONG_MAX, "8,796,093,022,207 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.want) << c.bytes;
    EXPECT_EQ(FormatSize(2048 * 1024, {"Bytes", "Ko", "Mo"}), "2,048 Ko");
}

TEST(ComponentViews, TreeFollowsNameLevels) {
    ComponentModel model = modelOf({{"QORV-PREDEF-COMPONENT", true},
                                    {"Docs", true},
                                    {R"(Program\Docs)", false},
                                    {R"(Program\Help)", true},
                                    {"PROGRAM", false},          // defined after its sub-levels
                                    {"Extras", true},
                                    {"Gone", true},
                                    {"Secret", true},
                                    {R"(secret\Inner)", true}});
    model.DeleteComponent("Gone");
    model.SetComponentVisibility("Secret", false);
    FakeTree tree;
    tree.addNode(ComponentTreeView::kTopLevel, "stale");   // emptied first
    FillComponentTree(model, tree);
    EXPECT_EQ(tree.dump(),
              "Docs [1] #2\n"
              "Program [0] #5\n"
              "  Docs [0] #3\n"
              "  Help [1] #4\n"
              "Extras [1] #6\n");

    FakeCheckList list;
    FillComponentList(model, list);
    EXPECT_EQ(list.dump(), "[x] Docs\n[ ] PROGRAM\n[x] Extras\n");
}

TEST(ComponentViews, SubComponentWithoutParentGetsPlainNode) {
    ComponentModel model = modelOf({{R"(Program\Help)", true}, {R"(PROGRAM\\Tools\)", false}});
    FakeTree tree;
    FillComponentTree(model, tree);
    EXPECT_EQ(tree.dump(), "Program\n  Help [1] #1\n  Tools [0] #2\n");
    FakeCheckList list;
    FillComponentList(model, list);
    EXPECT_EQ(list.dump(), "");
}

TEST(ComponentViews, ChecksReachSubComponentsButNotLockedOnes) {
    ComponentModel model = modelOf({{"Program", false}, {R"(Program\Help)", false}, {"Extras", true}});
    model.SetComponentChoice(R"(Program\Help)", false);
    FakeCheckList list;
    FillComponentList(model, list);
    list.check("Program", true);
    ApplyComponentChecks(model, list);
    EXPECT_EQ(states(model), "Program=TRUE Program\\Help=FALSE Extras=TRUE ");
    // The mark follows the last component the item reached: the locked, unselected Help.
    EXPECT_EQ(list.dump(), "[ ] Program\n[x] Extras\n");

    // Without the lock, checking Program selects Program\Help as well.
    model.SetComponentChoice(R"(Program\Help)", true);
    list.check("Program", true);
    ApplyComponentChecks(model, list);
    EXPECT_EQ(states(model), "Program=TRUE Program\\Help=TRUE Extras=TRUE ");
    EXPECT_EQ(list.dump(), "[x] Program\n[x] Extras\n");
}

TEST(ComponentViews, ItemTextReachesEveryNameWithThatBeginning) {
    struct Case { std::vector<const char*> order; const char* applesAfter; };
    const Case cases[] = {
        {{"App", "Apples"}, "FALSE"},   // Apples' own item is applied last
        {{"Apples", "App"}, "TRUE"},    // App's item is applied last and reaches Apples
    };
    for (const auto& c : cases) {
        ComponentModel model;
        for (const char* name : c.order) model.DefineComponent(name, "", false);
        model.DefineComponent(std::string(kPredefinedComponent), "", true);
        model.DefineComponent("Q", "", true);
        FakeCheckList list;
        FillComponentList(model, list);
        list.check("App", true);
        list.check("Q", false);
        ApplyComponentChecks(model, list);
        EXPECT_EQ(model.ComponentStates()[model.ComponentIndex("Apples")], c.applesAfter) << c.order[0];
        EXPECT_TRUE(model.IsComponentSelected("App"));
        EXPECT_FALSE(model.IsComponentSelected("Q"));
        // The predefined component begins with "Q" but is in no view: no item changes it.
        EXPECT_TRUE(model.IsComponentSelected(kPredefinedComponent));
    }
}

TEST(ComponentModel, SavedListsOutliveTheModel) {
    // The copies own their look-up index (a copied index would point into the model's lines).
    ComponentLists lists;
    {
        ComponentModel model = modelOf({{"Alpha", true}, {"Beta", false}});
        model.DeleteComponent("Beta");
        ASSERT_TRUE(model.IsDeleted("beta"));
        lists = model.SavedLists();
    }
    EXPECT_EQ(lists.names.indexOf("BETA"), 1u);
    EXPECT_EQ(lists.deleted.indexOf("beta"), 0u);
}
