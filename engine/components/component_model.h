// The component (feature) model of a setup: the engine-wide component lists, their look-ups and
// changes, the size arithmetic behind the wizard's space texts, and one operation per component
// command so the command handlers only read parameters and store results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/text_list.h"

namespace velmora {

// Always defined and selected; carries the size of everything outside the script's components,
// counts in the required space and is never shown in a component view.
inline constexpr std::string_view kPredefinedComponent = "QORV-PREDEF-COMPONENT";

// The parent level of a component name: one trailing backslash removed, then everything after
// the last backslash or colon, then one trailing backslash again ("A\B\C" -> "A\B", "A" -> "").
std::string ParentLevel(std::string_view name);

// The six lists a saved state file carries, in file order.
struct ComponentLists {
    TextList names;
    TextList states;
    TextList deleted;
    TextList hidden;
    TextList choiceLocked;
    TextList sizes;
};

// How a saved state file is taken over (see ComponentModel::LoadSavedLists).
struct ComponentLoadOptions {
    bool merge = false;     // copy saved states into existing components only; sizes kept
    bool keepSizes = false; // keep the current sizes (an old state loaded by a newer build)
};

// Bytes available to the user on the drive of a path; 0 when the query fails.
using FreeSpaceQuery = std::function<std::int64_t(const std::string& path)>;

// The free space on the drive of the target folder (TARGETDIR, already expanded); -1 when the
// target folder is empty or absent (pass the empty text then).
std::int64_t AvailableSpace(std::string_view targetDir, const FreeSpaceQuery& freeSpace);

// The component lists and their operations. Names compare ignoring letter case. Used only on
// the main thread (interpreter handlers and wizard event handlers); it takes no lock.
class ComponentModel {
public:
    // componentSizes: the payload's name / size-in-bytes pairs; a trailing name without a size
    // is dropped so that every later append keeps names at even positions.
    explicit ComponentModel(TextList componentSizes = {});

    // --- the lists ---
    const TextList& ComponentNames() const { return names_; }
    const TextList& ComponentStates() const { return states_; }             // parallel to names
    const TextList& ComponentDescriptions() const { return descriptions_; } // may be shorter
    const TextList& ComponentSizes() const { return sizes_; }
    const TextList& DeletedComponents() const { return deleted_; }
    const TextList& HiddenComponents() const { return hidden_; }
    const TextList& ChoiceLockedComponents() const { return choiceLocked_; }
    // Total size of the components selected in the installed product (maintenance and patch
    // runs); 0 otherwise.
    std::int64_t InstalledSize() const { return installedSize_; }
    void SetInstalledSize(std::int64_t size) { installedSize_ = size; }

    // --- look-ups ---
    // Position of the first component of that name; -1 when none.
    std::ptrdiff_t ComponentIndex(std::string_view name) const;
    bool ComponentExists(std::string_view name) const { return ComponentIndex(name) != -1; }
    bool IsDeleted(std::string_view name) const;
    bool IsHidden(std::string_view name) const;
    // Hidden by its own name or by any of its parent levels.
    bool IsHiddenOrUnderHiddenLevel(std::string_view name) const;
    // Choice-locked by its own name or by any of its parent levels.
    bool IsChoiceLocked(std::string_view name) const;
    // False for a missing or deleted component; otherwise whether its state is true.
    bool IsComponentSelected(std::string_view name) const;
    std::string ComponentDescription(std::string_view name) const;

    // --- changes ---
    // Sets the state of an existing component; sub-components, locks and deletion play no part.
    void SetComponentSelected(std::string_view name, bool selected);
    void SetStateByIndex(std::size_t index, bool selected);
    // Adds a component or updates its description. A definition never overrides a selection
    // already made (by the user or a loaded state), and brings a deleted component back.
    void DefineComponent(std::string_view name, std::string_view description, bool selected);
    // Empties every list except ComponentSizes.
    void ClearComponents();

    // --- sizes ---
    // The size recorded for the name; 0 when none. A size line that is not an integer raises
    // InvalidIntegerError.
    std::int64_t ComponentSize(std::string_view name) const;
    // Sum of ComponentSize over the selected components that are not deleted.
    std::int64_t SelectedSize() const;
    // SelectedSize - InstalledSize: in a maintenance run the change against the installed
    // product, possibly negative.
    std::int64_t RequiredSpace() const;
    std::int64_t RemainingSpace(std::string_view targetDir, const FreeSpaceQuery& freeSpace) const;

    // --- the component commands ---
    // Define Component in a translated setup: the translated name gets the size the payload
    // recorded under the untranslated name (unless it has an entry already, which would win
    // the look-up anyway).
    void AddTranslatedSize(std::string_view untranslatedName, std::string_view translatedName);
    // Delete Component: an existing component is marked deleted (it keeps position and state).
    void DeleteComponent(std::string_view name);
    // Get Component Space: RequiredSpace for an empty name, else ComponentSize, in plain decimal.
    std::string ComponentSpaceText(std::string_view name) const;
    // Set Component Space: false (and no change) for a missing component or a size text that
    // is not an integer.
    bool SetComponentSpace(std::string_view name, std::string_view sizeText);
    // Set Component Choice: true unlocks (whether or not the component exists); false locks an
    // existing component once.
    void SetComponentChoice(std::string_view name, bool userMayChange);
    // Set Component Visibility: true shows, false hides an existing component once.
    void SetComponentVisibility(std::string_view name, bool visible);

    // --- saved state ---
    ComponentLists SavedLists() const;
    // Takes over the lists of a saved state file that reached sectionsRead of its six sections
    // (a file that ends early loads what it has). Without merge the saved lists replace the
    // current ones (descriptions follow their components by name); with merge only the saved
    // state of each saved component that exists now is copied, and the deleted, hidden and
    // choice lists are replaced. Sizes are replaced only without merge and keepSizes.
    void LoadSavedLists(const ComponentLists& saved, std::size_t sectionsRead, ComponentLoadOptions options);

private:
    // Position of the name line of the first size pair for name; npos when none.
    std::size_t sizeEntry(std::string_view name) const;
    void setDescription(std::size_t index, std::string_view description);
    void padStates();

    TextList names_;
    TextList states_;
    TextList descriptions_;
    TextList sizes_;
    TextList deleted_;
    TextList hidden_;
    TextList choiceLocked_;
    std::int64_t installedSize_ = 0;
};

} // namespace velmora
