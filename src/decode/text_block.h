#pragma once
// TEMPORARY local stand-in until the decoding work lands.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include "capture/irp_record.h"
#include "catalogue/template_snapshot.h"
namespace vantrel {
struct OutputSettings {
    uint32_t outputFlags = 63;
    std::string_view inputTemplate;
    std::string_view outputTemplate;
    const CTemplateSnapshot* templates = nullptr;
};
void FormatRecord(const CIrpRecord& record, const OutputSettings& settings, std::string& out);
std::atomic<uint32_t>& PrintedBlockCounter();
}
