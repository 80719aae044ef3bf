// Writes a small seed corpus for the test file fuzz target into a folder:
// an empty test and tests with records of every parameter layout.

#include <cstdio>
#include <string>

#include "record/test_file.h"

using namespace vantrel;

namespace {

CIrpRecord Make(uint32_t major, uint32_t minor, uint32_t seed) {
    CIrpRecord r;
    IRP_CAPTURE_RECORD& c = r.GetCapture();
    c.DeviceObject = 0x81000000u + seed;
    c.MajorFunction = major;
    c.MinorFunction = minor;
    c.StartTime = 1000 * seed;
    c.EndTime = 1000 * seed + 77;
    for (size_t i = 0; i < rec::ParametersSize; ++i)
        c.Parameters[i] = static_cast<uint8_t>(i * seed);
    for (size_t i = 0; i < rec::DataSize; ++i) c.OutputData[i] = static_cast<uint8_t>(i);
    if (major == IRP_MJ_DEVICE_CONTROL) c.SetParam32(par::OutputBufferLength, seed * 3);
    r.SetLatency(0.01f * static_cast<float>(seed));
    r.SetTickCount(seed);
    r.SetDescription(seed % 3 ? "Disk drive" : "");
    r.SetObjectName(seed % 5 == 4 ? std::string(260, 'n') : std::string("\\Device\\X"));
    return r;
}

bool Save(const std::string& folder, const std::string& name, const CRecordList& list) {
    std::string error;
    if (StoreTestFile(folder + "/" + name, {10, 1, 2, 0}, list, &error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: testfile_seeds FOLDER\n");
        return 64;
    }
    const std::string folder = argv[1];
    CRecordList empty;
    bool ok = Save(folder, "seed-empty.bin", empty);

    CRecordList all;
    uint32_t seed = 1;
    for (uint32_t major : {0x00u, 0x03u, 0x04u, 0x05u, 0x06u, 0x0Au, 0x0Eu, 0x02u})
        all.Append(Make(major, 0, seed++));
    for (uint32_t minor = 0; minor <= 4; ++minor) all.Append(Make(IRP_MJ_POWER, minor, seed++));
    for (uint32_t minor :
         {0x00u, 0x07u, 0x08u, 0x09u, 0x0Au, 0x0Cu, 0x0Du, 0x0Fu, 0x10u, 0x12u, 0x13u, 0x16u})
        all.Append(Make(IRP_MJ_PNP, minor, seed++));
    ok = Save(folder, "seed-layouts.bin", all) && ok;

    for (uint32_t major : {0x03u, 0x0Eu, 0x16u, 0x1Bu}) {
        CRecordList one;
        one.Append(Make(major, major == IRP_MJ_PNP ? 9 : 2, seed++));
        ok = Save(folder, "seed-" + std::to_string(major) + ".bin", one) && ok;
    }
    return ok ? 0 : 1;
}
