#pragma once
// Immutable values that the GUI thread publishes (CPublished, owned by the
// document) and the printing thread reads without waiting on it: the rows
// of the Templates table, and the IOCTL filter selection of the IOCTL
// selector.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct TemplateRow {
    std::string name;
    std::string type;
    std::string valueName;
    int32_t offset = 0;
};

class CTemplateSnapshot {
public:
    CTemplateSnapshot() = default;
    // Rows in table order; they are grouped by name and ordered by offset,
    // equal offsets keeping table order.
    explicit CTemplateSnapshot(std::vector<TemplateRow> rowsInTableOrder);

    // The rows of one template (exact, case-sensitive name), by offset.
    std::span<const TemplateRow> RowsOf(std::string_view name) const;
    // Every row: by name, then offset, then table order.
    const std::vector<TemplateRow>& Rows() const { return m_rows; }

private:
    std::vector<TemplateRow> m_rows;
};

struct IoctlFilterSelection {
    int32_t code = -1;          // selected IOCTL code, -1 for none
    std::string objectName;     // ObjectName of the selected IOCTL
    std::string inputTemplate;  // "None", a template name, or empty
    std::string outputTemplate;
};

}  // namespace vantrel
