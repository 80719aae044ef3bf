#include "catalogue/sorted_list.h"

#include <algorithm>
#include <cctype>

namespace vantrel {

bool SortedListLess(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

void CSortedList::Clear() {
    m_items.clear();
    m_selection.reset();
}

size_t CSortedList::Insert(std::string text) {
    const auto at = std::upper_bound(
        m_items.begin(), m_items.end(), text,
        [](const std::string& t, const std::string& item) { return SortedListLess(t, item); });
    const size_t index = static_cast<size_t>(at - m_items.begin());
    m_items.insert(at, std::move(text));
    if (m_selection && *m_selection >= index) ++*m_selection;
    return index;
}

void CSortedList::Remove(size_t index) {
    if (index >= m_items.size()) return;
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
    if (!m_selection) return;
    if (*m_selection == index) {
        m_selection.reset();
    } else if (*m_selection > index) {
        --*m_selection;
    }
}

std::optional<size_t> CSortedList::Find(std::string_view text) const {
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i] == text) return i;
    }
    return std::nullopt;
}

void CSortedList::Select(std::optional<size_t> index) {
    if (index && *index >= m_items.size()) index.reset();
    m_selection = index;
}

bool CSortedList::SelectText(std::string_view text) {
    m_selection = Find(text);
    return m_selection.has_value();
}

std::string CSortedList::SelectedText() const {
    return m_selection ? m_items[*m_selection] : std::string();
}

}  // namespace vantrel
