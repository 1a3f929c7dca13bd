// The component lists, their look-ups and changes, and the size arithmetic.
#include "components/component_model.h"

#include <unordered_map>

#include "components/size_format.h"

namespace velmora {
namespace {

// The truth conventions of every command ("TRUE" in any case or exactly "-1"; "TRUE"/"FALSE").
bool isTrueText(std::string_view text) { return text == "-1" || text::equalsIgnoreCase(text, "TRUE"); }
std::string boolText(bool flag) { return flag ? "TRUE" : "FALSE"; }

// Sizes add up as the engine's 64-bit integers do: wrapping, never undefined on overflow.
std::int64_t wrappingAdd(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrappingSub(std::int64_t a, std::int64_t b) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

void removeFirst(TextList& list, std::string_view name) {
    const std::size_t at = list.indexOf(name);
    if (at == TextList::npos) return;
    TextList kept;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (i != at) kept.add(list[i]);
    list = std::move(kept);
}

TextList withoutUnpairedName(TextList sizes) {
    if (sizes.size() % 2 == 0) return sizes;
    TextList paired;
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i) paired.add(sizes[i]);
    return paired;
}

// Calls test on the name and each parent level in turn until one answers true. A level that
// does not get shorter ("C:" is its own parent) ends the walk.
template <typename Test>
bool nameOrParentLevel(std::string_view name, Test test) {
    std::string level(name);
    while (!level.empty()) {
        if (test(level)) return true;
        std::string parent = ParentLevel(level);
        if (parent.size() >= level.size()) break;
        level = std::move(parent);
    }
    return false;
}

} // namespace

std::string ParentLevel(std::string_view name) {
    if (!name.empty() && name.back() == '\\') name.remove_suffix(1);
    const std::size_t sep = name.find_last_of("\\:");
    name = sep == std::string_view::npos ? std::string_view() : name.substr(0, sep + 1);
    if (!name.empty() && name.back() == '\\') name.remove_suffix(1);
    return std::string(name);
}

std::int64_t AvailableSpace(std::string_view targetDir, const FreeSpaceQuery& freeSpace) {
    if (targetDir.empty()) return -1;
    return freeSpace ? freeSpace(std::string(targetDir)) : 0;
}

ComponentModel::ComponentModel(TextList componentSizes) : sizes_(withoutUnpairedName(std::move(componentSizes))) {}

// --- look-ups ---

std::ptrdiff_t ComponentModel::ComponentIndex(std::string_view name) const {
    const std::size_t at = names_.indexOf(name);
    return at == TextList::npos ? -1 : static_cast<std::ptrdiff_t>(at);
}

bool ComponentModel::IsDeleted(std::string_view name) const { return deleted_.indexOf(name) != TextList::npos; }
bool ComponentModel::IsHidden(std::string_view name) const { return hidden_.indexOf(name) != TextList::npos; }

bool ComponentModel::IsHiddenOrUnderHiddenLevel(std::string_view name) const {
    return nameOrParentLevel(name, [&](const std::string& level) { return IsHidden(level); });
}

bool ComponentModel::IsChoiceLocked(std::string_view name) const {
    return nameOrParentLevel(name, [&](const std::string& level) {
        return choiceLocked_.indexOf(level) != TextList::npos;
    });
}

bool ComponentModel::IsComponentSelected(std::string_view name) const {
    const std::ptrdiff_t i = ComponentIndex(name);
    if (i == -1 || IsDeleted(name)) return false;
    return isTrueText(states_[static_cast<std::size_t>(i)]);
}

std::string ComponentModel::ComponentDescription(std::string_view name) const {
    const std::ptrdiff_t i = ComponentIndex(name);
    if (i == -1 || static_cast<std::size_t>(i) >= descriptions_.size()) return {};
    return descriptions_[static_cast<std::size_t>(i)];
}

// --- changes ---

void ComponentModel::SetComponentSelected(std::string_view name, bool selected) {
    const std::ptrdiff_t i = ComponentIndex(name);
    if (i != -1) states_.set(static_cast<std::size_t>(i), boolText(selected));
}

void ComponentModel::SetStateByIndex(std::size_t index, bool selected) {
    if (index < states_.size()) states_.set(index, boolText(selected));
}

void ComponentModel::DefineComponent(std::string_view name, std::string_view description, bool selected) {
    std::ptrdiff_t found = ComponentIndex(name);
    if (found != -1) {
        removeFirst(deleted_, name);
    } else {
        names_.add(std::string(name));
        states_.add("");
        found = static_cast<std::ptrdiff_t>(names_.size() - 1);
    }
    const auto i = static_cast<std::size_t>(found);
    setDescription(i, description);
    if (sizeEntry(name) == TextList::npos) {
        sizes_.add(std::string(name));
        sizes_.add("0");
    }
    if (states_[i].empty()) states_.set(i, boolText(selected));
}

void ComponentModel::ClearComponents() {
    names_.clear();
    states_.clear();
    descriptions_.clear();
    deleted_.clear();
    hidden_.clear();
    choiceLocked_.clear();
}

// --- sizes ---

std::size_t ComponentModel::sizeEntry(std::string_view name) const {
    for (std::size_t i = 0; i + 1 < sizes_.size(); i += 2)
        if (text::equalsIgnoreCase(sizes_[i], name)) return i;
    return TextList::npos;
}

std::int64_t ComponentModel::ComponentSize(std::string_view name) const {
    const std::size_t at = sizeEntry(name);
    return at == TextList::npos ? 0 : sizeFromText(sizes_[at + 1]);
}

std::int64_t ComponentModel::SelectedSize() const {
    // One pass over the size pairs, so a page refresh stays linear in the number of components.
    std::unordered_map<std::string_view, std::size_t, text::IgnoreCaseHash, text::IgnoreCaseEqual> firstSize;
    for (std::size_t i = 0; i + 1 < sizes_.size(); i += 2) firstSize.try_emplace(std::string_view(sizes_[i]), i + 1);
    std::int64_t total = 0;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (!isTrueText(states_[i]) || IsDeleted(names_[i])) continue;
        const auto it = firstSize.find(std::string_view(names_[i]));
        if (it != firstSize.end()) total = wrappingAdd(total, sizeFromText(sizes_[it->second]));
    }
    return total;
}

std::int64_t ComponentModel::RequiredSpace() const { return wrappingSub(SelectedSize(), installedSize_); }

std::int64_t ComponentModel::RemainingSpace(std::string_view targetDir, const FreeSpaceQuery& freeSpace) const {
    return wrappingSub(AvailableSpace(targetDir, freeSpace), RequiredSpace());
}

// --- the component commands ---

void ComponentModel::AddTranslatedSize(std::string_view untranslatedName, std::string_view translatedName) {
    const std::int64_t size = ComponentSize(untranslatedName);
    if (size == 0 || sizeEntry(translatedName) != TextList::npos) return;
    sizes_.add(std::string(translatedName));
    sizes_.add(text::decimal(size));
}

void ComponentModel::DeleteComponent(std::string_view name) {
    if (ComponentExists(name) && !IsDeleted(name)) deleted_.add(std::string(name));
}

std::string ComponentModel::ComponentSpaceText(std::string_view name) const {
    return text::decimal(name.empty() ? RequiredSpace() : ComponentSize(name));
}

bool ComponentModel::SetComponentSpace(std::string_view name, std::string_view sizeText) {
    const auto size = parseSizeText(sizeText);
    if (!size || !ComponentExists(name)) return false;
    const std::size_t at = sizeEntry(name);
    if (at != TextList::npos) {
        sizes_.set(at + 1, text::decimal(*size));
    } else {
        sizes_.add(std::string(name));
        sizes_.add(text::decimal(*size));
    }
    return true;
}

void ComponentModel::SetComponentChoice(std::string_view name, bool userMayChange) {
    if (userMayChange) {
        removeFirst(choiceLocked_, name);
    } else if (ComponentExists(name) && choiceLocked_.indexOf(name) == TextList::npos) {
        choiceLocked_.add(std::string(name));
    }
}

void ComponentModel::SetComponentVisibility(std::string_view name, bool visible) {
    if (visible) {
        removeFirst(hidden_, name);
    } else if (ComponentExists(name) && !IsHidden(name)) {
        hidden_.add(std::string(name));
    }
}

// --- saved state ---

ComponentLists ComponentModel::SavedLists() const {
    return {names_, states_, deleted_, hidden_, choiceLocked_, sizes_};
}

void ComponentModel::LoadSavedLists(const ComponentLists& saved, std::size_t sectionsRead, ComponentLoadOptions options) {
    if (options.merge) {
        if (sectionsRead >= 2) {
            for (std::size_t i = 0; i < saved.names.size() && i < saved.states.size(); ++i) {
                const std::ptrdiff_t now = ComponentIndex(saved.names[i]);
                if (now != -1) states_.set(static_cast<std::size_t>(now), saved.states[i]);
            }
        }
    } else if (sectionsRead >= 1) {
        // Descriptions are not saved: each keeps following its component by name.
        TextList descriptions;
        for (const auto& name : saved.names) descriptions.add(ComponentDescription(name));
        names_ = saved.names;
        descriptions_ = std::move(descriptions);
        states_ = sectionsRead >= 2 ? saved.states : TextList{};
        padStates();
    }
    if (sectionsRead >= 3) deleted_ = saved.deleted;
    if (sectionsRead >= 4) hidden_ = saved.hidden;
    if (sectionsRead >= 5) choiceLocked_ = saved.choiceLocked;
    if (sectionsRead >= 6 && !options.merge && !options.keepSizes) sizes_ = withoutUnpairedName(saved.sizes);
}

void ComponentModel::setDescription(std::size_t index, std::string_view description) {
    while (descriptions_.size() <= index) descriptions_.add("");
    descriptions_.set(index, std::string(description));
}

// States stay parallel to names: a short saved list gets empty states, which the next
// definition of each component fills; surplus states are dropped.
void ComponentModel::padStates() {
    if (states_.size() == names_.size()) return;
    TextList states;
    for (std::size_t i = 0; i < names_.size(); ++i) states.add(i < states_.size() ? states_[i] : std::string());
    states_ = std::move(states);
}

} // namespace velmora
