#include "decode/template_snapshot.h"

#include <algorithm>

namespace vantrel {

CTemplateSnapshot::CTemplateSnapshot(std::vector<TemplateRow> rows) : m_rows(std::move(rows)) {
    std::stable_sort(m_rows.begin(), m_rows.end(), [](const TemplateRow& a, const TemplateRow& b) {
        if (a.name != b.name) return a.name < b.name;
        return a.offset < b.offset;
    });
}

std::span<const TemplateRow> CTemplateSnapshot::RowsOf(std::string_view name) const {
    auto lo = std::lower_bound(m_rows.begin(), m_rows.end(), name,
                               [](const TemplateRow& r, std::string_view n) { return r.name < n; });
    auto hi = lo;
    while (hi != m_rows.end() && hi->name == name) ++hi;
    return {lo, hi};
}

}  // namespace vantrel
