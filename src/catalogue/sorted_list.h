#pragma once
// The items and selection of a sorted drop-down list, kept in the order of
// the platform's sorted lists: case-insensitively, names that differ only in
// case in case-sensitive order. The windows show the items in this order and
// never sort on their own.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The order of a sorted list: true when `a` sorts before `b`.
bool SortedListLess(std::string_view a, std::string_view b);

class CSortedList {
public:
    // Empties the list and its selection.
    void Clear();
    // Inserts at the sorted place (after equal items); returns the index. A
    // selection stays on the same item.
    size_t Insert(std::string text);
    // Removes an item; removing the selected item leaves nothing selected.
    void Remove(size_t index);
    // Index of an item equal to `text` (exact, case-sensitive).
    std::optional<size_t> Find(std::string_view text) const;

    size_t Size() const { return m_items.size(); }
    bool Empty() const { return m_items.empty(); }
    const std::vector<std::string>& Items() const { return m_items; }
    const std::string& At(size_t index) const { return m_items[index]; }

    std::optional<size_t> Selection() const { return m_selection; }
    // Selects an item (nullopt or an index out of range: nothing selected).
    void Select(std::optional<size_t> index);
    // Selects the item equal to `text`; false, with nothing selected, when
    // there is none.
    bool SelectText(std::string_view text);
    // The selected item's text, "" with nothing selected.
    std::string SelectedText() const;

private:
    std::vector<std::string> m_items;
    std::optional<size_t> m_selection;
};

}  // namespace vantrel
