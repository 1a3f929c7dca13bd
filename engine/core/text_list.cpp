#include "core/text_list.h"

namespace velmora {

void TextList::add(std::string line) {
    lines_.push_back(std::move(line));
    if (indexed_) index_.try_emplace(std::string_view(lines_.back()), lines_.size() - 1);
}

void TextList::set(std::size_t i, std::string line) {
    lines_.at(i) = std::move(line);
    index_.clear();
    indexed_ = false;
}

void TextList::clear() {
    lines_.clear();
    index_.clear();
    indexed_ = false;
}

void TextList::buildIndex() const {
    index_.clear();
    index_.reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) index_.try_emplace(std::string_view(lines_[i]), i);
    indexed_ = true;
}

std::size_t TextList::indexOf(std::string_view text) const {
    if (!indexed_) buildIndex();
    auto it = index_.find(text);
    return it == index_.end() ? npos : it->second;
}

std::optional<std::string> TextList::valueAfter(std::string_view name) const {
    const std::size_t i = indexOf(name);
    if (i == npos || i + 1 >= lines_.size()) return std::nullopt;
    return lines_[i + 1];
}

std::optional<std::string> TextList::valueOfPair(std::string_view name) const {
    for (std::size_t i = 0; i + 1 < lines_.size(); i += 2)
        if (text::equalsIgnoreCase(lines_[i], name)) return lines_[i + 1];
    return std::nullopt;
}

} // namespace velmora
