#include "capture/record_figures.h"

#include <cstdio>

namespace vantrel {
namespace {

std::string Grouped(uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), 1, ',');
    return digits;
}

std::string MemoryText(uint64_t bytes) {
    constexpr uint64_t kKiB = 1024, kMiB = kKiB * 1024;
    char text[32];
    if (bytes < kMiB)
        std::snprintf(text, sizeof text, "%llu KB",
                      static_cast<unsigned long long>((bytes + kKiB - 1) / kKiB));
    else if (bytes < 1024 * kMiB)
        std::snprintf(text, sizeof text, "%llu MB",
                      static_cast<unsigned long long>((bytes + kMiB / 2) / kMiB));
    else
        std::snprintf(text, sizeof text, "%.1f GB",
                      static_cast<double>(bytes) / static_cast<double>(1024 * kMiB));
    return text;
}

}  // namespace

RecordFigures FiguresOf(const CRecordList& records, uint64_t driverDropped) {
    RecordFigures figures;
    figures.records = records.Size();
    figures.bytes = figures.records * sizeof(CIrpRecord);
    figures.driverDropped = driverDropped;
    return figures;
}

std::string FiguresText(const RecordFigures& figures) {
    std::string text = Grouped(figures.records);
    text += figures.records == 1 ? " record, " : " records, ";
    text += MemoryText(figures.bytes);
    if (figures.driverDropped > 0) text += ", driver dropped " + Grouped(figures.driverDropped);
    return text;
}

}  // namespace vantrel
