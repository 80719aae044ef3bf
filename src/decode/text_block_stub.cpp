#include "decode/text_block.h"
#include <cstdio>
namespace vantrel {
std::atomic<uint32_t>& PrintedBlockCounter() { static std::atomic<uint32_t> c{0}; return c; }
void FormatRecord(const CIrpRecord& r, const OutputSettings&, std::string& out) {
    char b[128];
    std::snprintf(b, sizeof b, "DO 0x%.8x MJ %u\r\n", r.GetDeviceObject(), r.GetMajorFunction());
    out += b;
    PrintedBlockCounter().fetch_add(1);
}
}
