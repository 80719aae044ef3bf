#pragma once
// The text block of one IRP record: header, status, the lines chosen by the
// output flags, the parameter section, the template buffer sections and the
// separator. The same bytes go to the results pane and to the log file.

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/template_snapshot.h"
#include "record/irp_record.h"

namespace vantrel {

// Bits of OutputFlags: the optional lines of a block.
enum OutputFlag : uint32_t {
    kOutputDescription = 0x01,
    kOutputLatency = 0x02,
    kOutputMajorCode = 0x04,
    kOutputMinorCode = 0x08,
    kOutputObjectName = 0x10,
    kOutputParameters = 0x20,
};
inline constexpr uint32_t kDefaultOutputFlags = 63;

// What the formatter reads besides the record. The views must stay valid for
// the call. A template name that is empty or "None" switches its buffer
// section off; with no snapshot the buffer sections are left out.
struct OutputSettings {
    uint32_t outputFlags = 63;
    std::string_view inputTemplate;
    std::string_view outputTemplate;
    const CTemplateSnapshot* templates = nullptr;
};

// Appends the whole block of one record to out: a pure function of the
// record and the settings. Whoever prints the block grows the graph's Y
// range and counts the block.
void FormatRecord(const CIrpRecord& record, const OutputSettings& settings, std::string& out);

}  // namespace vantrel
