#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "components/size_format.h"
#include "components/state_file.h"

using namespace velmora;

namespace {

SavedState sampleState() {
    SavedState state;
    state.components = {TextList{"Program", "Program\\Help"}, TextList{"TRUE", "FALSE"}, TextList{"Old"},
                        TextList{"Hidden"}, TextList{"Program\\Help"}, TextList{"PROGRAM", "5000", "Program\\Help", "0"}};
    state.targetDir = R"(C:\Program Files\My App\)";
    state.allUsers = "TRUE";
    state.startMenu = "My App";
    state.dataFolder = R"(C:\PROGRA~2\MYAPP~1\)";
    state.persistentVariables = {{"SERIAL", "1234"}, {"NOTES", "a$NEWLINE$b"}, {"EMPTY", ""}};
    state.platformMode = "x64";
    state.overrideCache = NameValue{"OVERRIDECACHE", R"(D:\Cache\)"};
    return state;
}

const char* const kSampleText =
    "Program\r\nProgram\\Help\r\n$\r\n"
    "TRUE\r\nFALSE\r\n$\r\n"
    "Old\r\n$\r\n"
    "Hidden\r\n$\r\n"
    "Program\\Help\r\n$\r\n"
    "PROGRAM\r\n5000\r\nProgram\\Help\r\n0\r\n$\r\n"
    "C:\\Program Files\\My App\\\r\nTRUE\r\nMy App\r\nC:\\PROGRA~2\\MYAPP~1\\\r\n"
    "SERIAL\r\n1234\r\nNOTES\r\na$NEWLINE$b\r\nEMPTY\r\n\r\n"
    "QORV64WOW\r\nx64\r\n"
    "OVERRIDECACHE\r\nD:\\Cache\\\r\n";

void expectSameState(const SavedState& got, const SavedState& want) {
    EXPECT_EQ(got.sectionsRead, want.sectionsRead);
    EXPECT_EQ(got.components.names, want.components.names);
    EXPECT_EQ(got.components.states, want.components.states);
    EXPECT_EQ(got.components.deleted, want.components.deleted);
    EXPECT_EQ(got.components.hidden, want.components.hidden);
    EXPECT_EQ(got.components.choiceLocked, want.components.choiceLocked);
    EXPECT_EQ(got.components.sizes, want.components.sizes);
    EXPECT_EQ(got.targetDir, want.targetDir);
    EXPECT_EQ(got.allUsers, want.allUsers);
    EXPECT_EQ(got.startMenu, want.startMenu);
    EXPECT_EQ(got.dataFolder, want.dataFolder);
    ASSERT_EQ(got.persistentVariables.size(), want.persistentVariables.size());
    for (std::size_t i = 0; i < got.persistentVariables.size(); ++i) {
        EXPECT_EQ(got.persistentVariables[i].name, want.persistentVariables[i].name);
        EXPECT_EQ(got.persistentVariables[i].value, want.persistentVariables[i].value);
    }
    EXPECT_EQ(got.platformMode, want.platformMode);
    ASSERT_EQ(got.overrideCache.has_value(), want.overrideCache.has_value());
    if (got.overrideCache) {
        EXPECT_EQ(got.overrideCache->value, want.overrideCache->value);
    }
}

class StateFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("velmora_state_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string path(const char* name) const { return (folder_ / name).string(); }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void write(const std::string& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    std::size_t fileCount() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder_), {}));
    }
    std::filesystem::path folder_;
};

} // namespace

TEST(StateFile, ExactFormatAndRoundTrip) {
    const std::string text = FormatStateText(sampleState());
    EXPECT_EQ(text, kSampleText);
    expectSameState(ParseStateText(text), sampleState());
    // A lone LF as line end reads the same.
    std::string lf = text;
    for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
    expectSameState(ParseStateText(lf), sampleState());
}

TEST(StateFile, ItemsThatWouldBreakTheLayoutStayInTheirPlace) {
    SavedState state = sampleState();
    state.components.names = TextList{"$", "Tools"};           // would end section 1 early
    state.targetDir = "C:\\Line\r\nBreak\nHere";               // would shift every later line
    state.persistentVariables = {{"qorv64wow", "Win32"}, {"KEPT", "x\ny"}};
    const SavedState back = ParseStateText(FormatStateText(state));
    EXPECT_EQ(back.components.names, (TextList{"$", "Tools"}));
    EXPECT_EQ(back.components.states, state.components.states);
    EXPECT_EQ(back.targetDir, "C:\\Line$NEWLINE$Break$NEWLINE$Here");
    EXPECT_EQ(back.allUsers, "TRUE");
    ASSERT_EQ(back.persistentVariables.size(), 1u);           // the marker name is never a variable
    EXPECT_EQ(back.persistentVariables[0].value, "x$NEWLINE$y");
    EXPECT_EQ(back.platformMode, "x64");
}

TEST(StateFile, PairAfterPlatformModeIsNotPersistent) {
    const SavedState state = ParseStateText("$\r\n$\r\n$\r\n$\r\n$\r\n$\r\nT\r\nA\r\nS\r\n\r\n"
                                            "ONE\r\n1\r\nQORV64WOW\r\nia64\r\nOVERRIDECACHE\r\n\r\nLATER\r\n2\r\n");
    ASSERT_EQ(state.persistentVariables.size(), 2u);
    EXPECT_EQ(state.persistentVariables[0].name, "ONE");
    EXPECT_EQ(state.persistentVariables[1].name, "LATER");
    EXPECT_EQ(state.platformMode, "ia64");
    ASSERT_TRUE(state.overrideCache);
    EXPECT_EQ(state.overrideCache->name, "OVERRIDECACHE");
    EXPECT_EQ(state.overrideCache->value, "");
    EXPECT_EQ(state.dataFolder, "");
}

TEST(StateFile, FileThatEndsEarlyLoadsWhatItHas) {
    const std::string full = kSampleText;
    struct Case { std::size_t cut; std::size_t sections; std::size_t names; bool target; std::size_t variables; };
    const Case cases[] = {
        {0, 0, 0, false, 0},
        {full.find("Program\\Help"), 1, 1, false, 0},        // inside the names
        {full.find("TRUE"), 1, 2, false, 0},                 // right after the first "$"
        {full.find("Old"), 2, 2, false, 0},
        {full.find("C:\\Program Files"), 6, 2, false, 0},    // all sections, nothing after
        {full.find("SERIAL"), 6, 2, true, 0},
        {full.find("1234"), 6, 2, true, 0},                  // a name without its value line
        {full.find("NOTES"), 6, 2, true, 1},
    };
    for (const auto& c : cases) {
        const SavedState state = ParseStateText(full.substr(0, c.cut));
        EXPECT_EQ(state.sectionsRead, c.sections) << c.cut;
        EXPECT_EQ(state.components.names.size(), c.names) << c.cut;
        EXPECT_EQ(state.targetDir.has_value(), c.target) << c.cut;
        EXPECT_EQ(state.persistentVariables.size(), c.variables) << c.cut;
        EXPECT_FALSE(state.platformMode) << c.cut;
    }

    // The model takes over the sections the file reached and keeps the rest.
    ComponentModel model(TextList{"PROGRAM", "7"});
    model.DefineComponent("Program", "Main", true);
    model.DefineComponent("Tools", "", true);
    model.SetComponentVisibility("Tools", false);
    const SavedState cut = ParseStateText(full.substr(0, full.find("FALSE")));
    model.LoadSavedLists(cut.components, cut.sectionsRead, {});
    EXPECT_EQ(model.ComponentNames(), (TextList{"Program", "Program\\Help"}));
    EXPECT_EQ(model.ComponentStates(), (TextList{"TRUE", ""}));     // parallel again
    EXPECT_EQ(model.ComponentDescription("Program"), "Main");      // follows its component
    EXPECT_EQ(model.HiddenComponents(), (TextList{"Tools"}));
    EXPECT_EQ(model.ComponentSizes(), (TextList{"PROGRAM", "7", "Tools", "0"}));
    model.DefineComponent("Program\\Help", "", true);               // an empty state is filled
    EXPECT_TRUE(model.IsComponentSelected("Program\\Help"));
}

TEST(StateFile, NonNumericSizeLine) {
    const std::string text = "A\r\n$\r\nTRUE\r\n$\r\n$\r\n$\r\n$\r\nA\r\n12a\r\n$\r\n";
    // Read for a statement: kept, and reading the size raises the conversion error.
    ComponentModel strict;
    const SavedState asWritten = ParseStateText(text);
    strict.LoadSavedLists(asWritten.components, asWritten.sectionsRead, {});
    EXPECT_THROW(strict.ComponentSize("A"), InvalidIntegerError);
    // Read by the start-up bootstrap: the size is 0 and the installed size can be added up.
    ComponentModel bootstrap;
    const SavedState lenient = ParseStateText(text, SizeLines::InvalidAsZero);
    bootstrap.LoadSavedLists(lenient.components, lenient.sectionsRead, {});
    EXPECT_EQ(bootstrap.ComponentSizes(), (TextList{"A", "0"}));
    EXPECT_EQ(bootstrap.SelectedSize(), 0);
}

TEST(StateFile, LoadModes) {
    const SavedState saved = sampleState();
    auto current = [] {
        ComponentModel model(TextList{"PROGRAM", "6000", "EXTRA", "10"});
        model.DefineComponent("Extra", "Extra things", true);
        model.DefineComponent("program", "The program", false);
        model.SetComponentChoice("Extra", false);
        return model;
    };
    {   // Maintenance start: the saved model replaces the current one, sizes included.
        ComponentModel model = current();
        model.LoadSavedLists(saved.components, 6, {});
        EXPECT_EQ(model.ComponentNames(), saved.components.names);
        EXPECT_EQ(model.ComponentStates(), saved.components.states);
        EXPECT_EQ(model.ComponentSizes(), saved.components.sizes);
        EXPECT_EQ(model.ComponentDescription("Program"), "The program");
        EXPECT_EQ(model.ComponentDescription("Program\\Help"), "");
    }
    {   // An older build's state: its sizes are not taken.
        ComponentModel model = current();
        model.LoadSavedLists(saved.components, 6, {.keepSizes = true});
        EXPECT_EQ(model.ComponentNames(), saved.components.names);
        EXPECT_EQ(model.ComponentSize("Program"), 6000);
    }
    {   // Load Feature Selections: states of existing components only; the three lists replaced.
        ComponentModel model = current();
        model.LoadSavedLists(saved.components, 6, {.merge = true});
        EXPECT_EQ(model.ComponentNames(), (TextList{"Extra", "program"}));
        EXPECT_EQ(model.ComponentStates(), (TextList{"TRUE", "TRUE"}));
        EXPECT_EQ(model.DeletedComponents(), saved.components.deleted);
        EXPECT_EQ(model.HiddenComponents(), saved.components.hidden);
        EXPECT_EQ(model.ChoiceLockedComponents(), saved.components.choiceLocked);
        EXPECT_EQ(model.ComponentSize("Program"), 6000);
        EXPECT_EQ(model.ComponentDescription("Extra"), "Extra things");
    }
}

TEST(StateFile, InPlaceUpdateKeepsTheInstalledPart) {
    SavedState now = sampleState();
    now.components.names = TextList{"Changed"};
    now.targetDir = R"(E:\Elsewhere\)";
    now.persistentVariables = {{"SERIAL", "9999"}};
    now.platformMode = "Win32";
    now.overrideCache.reset();
    const auto updated = UpdateStateText(kSampleText, now);
    ASSERT_TRUE(updated);
    const std::string sample = kSampleText;
    const std::string head = sample.substr(0, sample.find("SERIAL"));
    EXPECT_EQ(*updated, head + "SERIAL\r\n9999\r\nQORV64WOW\r\nWin32\r\nOVERRIDECACHE\r\n\r\n");

    // Without the six sections and the four lines after them there is nothing to keep.
    EXPECT_FALSE(UpdateStateText(sample.substr(0, sample.find("My App\r\nC:")), now));
    EXPECT_FALSE(UpdateStateText("", now));
}

TEST_F(StateFileOnDisk, SaveAndUpdate) {
    const std::string file = path("setup.dat");
    SavedState state = sampleState();
    EXPECT_EQ(SaveStateFile(file, state, false), SaveOutcome::NoFileToUpdate);
    EXPECT_FALSE(std::filesystem::exists(file));

    EXPECT_EQ(SaveStateFile(file, state, true), SaveOutcome::Written);
    EXPECT_EQ(read(file), kSampleText);
    const auto loaded = ReadStateFile(file);
    ASSERT_TRUE(loaded);
    expectSameState(*loaded, state);

    state.targetDir = R"(X:\)";
    state.persistentVariables = {{"SERIAL", "5"}};
    EXPECT_EQ(SaveStateFile(file, state, false), SaveOutcome::Written);
    const auto updated = ReadStateFile(file);
    ASSERT_TRUE(updated);
    EXPECT_EQ(updated->targetDir, R"(C:\Program Files\My App\)");
    ASSERT_EQ(updated->persistentVariables.size(), 1u);
    EXPECT_EQ(updated->persistentVariables[0].value, "5");
    EXPECT_EQ(fileCount(), 1u);                     // no temporary file left behind
    EXPECT_FALSE(ReadStateFile(path("missing.dat")));
}

TEST_F(StateFileOnDisk, FailedSaveLeavesTheOldFile) {
    const std::string damaged = path("damaged.dat");
    write(damaged, "A\r\n$\r\nTRUE\r\n");
    EXPECT_EQ(SaveStateFile(damaged, sampleState(), false), SaveOutcome::DamagedFileKept);
    EXPECT_EQ(read(damaged), "A\r\n$\r\nTRUE\r\n");

    // The replace step fails (a folder stands where the file goes): nothing is lost or left.
    std::filesystem::create_directories(path("busy.dat"));
    std::filesystem::create_directories(path("busy.dat") + "/inner");
    EXPECT_EQ(SaveStateFile(path("busy.dat"), sampleState(), true), SaveOutcome::WriteFailed);
    EXPECT_TRUE(std::filesystem::is_directory(path("busy.dat") + "/inner"));
    EXPECT_EQ(SaveStateFile(path("no/such/folder.dat"), sampleState(), true), SaveOutcome::WriteFailed);
    EXPECT_EQ(fileCount(), 2u);
}

TEST(StateFile, PickOldState) {
    using Names = std::vector<std::string>;
    struct Case { Names names; std::optional<std::string> want; };
    const Case cases[] = {
        {{"instance.dat", "setup.exe", "setup.dat"}, "setup.dat"},
        {{"INSTANCE.DAT", "only.DAT", "x.txt"}, "only.DAT"},
        {{"instance.dat"}, std::nullopt},
        {{}, std::nullopt},
        // Two state files: the one with all four companions.
        {{"b.dat", "a.dat", "a.exe", "a.res", "a.msi", "b.exe", "b.res", "b.msi", "B.PAR"}, "b.dat"},
        {{"z.dat", "a.dat", "z.exe", "z.res", "z.msi", "z.par", "a.EXE", "a.res", "a.msi", "a.par"}, "a.dat"},
        {{"a.dat", "b.dat", "a.exe", "a.res", "a.msi"}, std::nullopt},
        {{"setup.data", "other.dat.bak"}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(PickOldStateFile(c.names), c.want) << c.names.size();
}
