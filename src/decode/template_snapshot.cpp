#include "decode/template_snapshot.h"

#include <algorithm>
#include <mutex>

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

namespace {
std::mutex g_mutex;
std::shared_ptr<const CTemplateSnapshot>& TemplatesSlot() {
    static std::shared_ptr<const CTemplateSnapshot> slot = std::make_shared<CTemplateSnapshot>();
    return slot;
}
std::shared_ptr<const IoctlFilterSelection>& SelectionSlot() {
    static std::shared_ptr<const IoctlFilterSelection> slot =
        std::make_shared<IoctlFilterSelection>();
    return slot;
}
}  // namespace

std::shared_ptr<const CTemplateSnapshot> CurrentTemplates() {
    std::lock_guard lock(g_mutex);
    return TemplatesSlot();
}

void PublishTemplates(std::shared_ptr<const CTemplateSnapshot> snapshot) {
    if (!snapshot) snapshot = std::make_shared<CTemplateSnapshot>();
    std::lock_guard lock(g_mutex);
    TemplatesSlot() = std::move(snapshot);
}

std::shared_ptr<const IoctlFilterSelection> CurrentIoctlSelection() {
    std::lock_guard lock(g_mutex);
    return SelectionSlot();
}

void PublishIoctlSelection(std::shared_ptr<const IoctlFilterSelection> selection) {
    if (!selection) selection = std::make_shared<IoctlFilterSelection>();
    std::lock_guard lock(g_mutex);
    SelectionSlot() = std::move(selection);
}

}  // namespace vantrel
