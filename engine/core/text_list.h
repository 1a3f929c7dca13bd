// TextList: the engine's universal container, an ordered list of text lines with a look-up of
// the first line equal to a text (ignoring case). The index is built on the first look-up and
// kept up to date by add, so look-ups cost one hash probe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <deque>
#include <vector>

#include "core/text.h"

namespace velmora {

class TextList {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    TextList() = default;
    TextList(std::initializer_list<std::string> lines) : lines_(lines) {}
    explicit TextList(const std::vector<std::string>& lines) : lines_(lines.begin(), lines.end()) {}
    // A copy gets its own index: the views of the source's index point into the source's lines.
    TextList(const TextList& other) : lines_(other.lines_) {}
    TextList& operator=(const TextList& other) {
        if (this != &other) { lines_ = other.lines_; index_.clear(); indexed_ = false; }
        return *this;
    }
    TextList(TextList&&) = default;            // a moved deque keeps its elements where they are
    TextList& operator=(TextList&&) = default;

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    const std::string& operator[](std::size_t i) const { return lines_[i]; }
    std::vector<std::string> toVector() const { return {lines_.begin(), lines_.end()}; }
    auto begin() const { return lines_.begin(); }
    auto end() const { return lines_.end(); }

    void add(std::string line);
    void set(std::size_t i, std::string line);
    void clear();

    // Index of the first line equal to text ignoring case, or npos.
    std::size_t indexOf(std::string_view text) const;
    // The line after the first line equal to name (name/value pairs on alternating lines
    // are found by this only when the name stands at an even position: see valueOfPair).
    std::optional<std::string> valueAfter(std::string_view name) const;
    // Name/value pairs on alternating lines: the value of the first name (even position) equal
    // to name ignoring case.
    std::optional<std::string> valueOfPair(std::string_view name) const;

    bool operator==(const TextList& other) const { return lines_ == other.lines_; }

private:
    void buildIndex() const;

    // A deque never moves its elements when it grows, so the index's views stay valid on add.
    std::deque<std::string> lines_;
    mutable std::unordered_map<std::string_view, std::size_t, text::IgnoreCaseHash, text::IgnoreCaseEqual> index_;
    mutable bool indexed_ = false;
};

} // namespace velmora
