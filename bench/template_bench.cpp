// Template buffer sections: the input and output sections of one
// device-control block, each about ten rows, appended to a reused string.

#include <benchmark/benchmark.h>

#include <cstring>

#include "decode/template_buffers.h"

namespace {

using vantrel::TemplateRow;

vantrel::CTemplateSnapshot MakeSnapshot() {
    std::vector<TemplateRow> rows;
    auto add = [&](const char* name, const char* type, const char* value, int32_t offset) {
        rows.push_back({name, type, value, offset});
    };
    // Input: every type, ten rows.
    add("IN_PARAMS", "BOOL", "Enabled", 0);
    add("IN_PARAMS", "char", "Letter", 4);
    add("IN_PARAMS", "char", "Zero", 5);
    add("IN_PARAMS", "SHORT", "Delta", 6);
    add("IN_PARAMS", "float", "Scale", 8);
    add("IN_PARAMS", "int", "Count", 12);
    add("IN_PARAMS", "long", "Flags", 16);
    add("IN_PARAMS", "PVOID", "Context", 20);
    add("IN_PARAMS", "int", "Frequency", 24);
    add("IN_PARAMS", "int", "Duration", 28);
    // Output: the video mode layout, twelve rows.
    const char* video[] = {"Length",       "ModeIndex",      "VisScreenWidth", "VisScreenHeight",
                           "ScreenStride", "NumberOfPlanes", "BitsPerPlane",   "Frequency",
                           "XMillimeter",  "YMillimeter",    "NumberRedBits"};
    for (int i = 0; i < 11; ++i) add("VIDEO_MODE_INFORMATION", "int", video[i], 4 * i);
    add("VIDEO_MODE_INFORMATION", "long", "AttributeFlags", 44);
    // Other templates around them, as in a real catalogue.
    const char* others[] = {"BEEP_SET_PARAMETERS", "CDROM_TOC", "DISK_GEOMETRY", "NDIS_OID",
                            "SERIAL_STATUS",       "XYZ_LAST"};
    for (const char* o : others)
        for (int i = 0; i < 6; ++i) add(o, "int", "Value", 4 * i);
    return vantrel::CTemplateSnapshot(std::move(rows));
}

vantrel::IRP_CAPTURE_RECORD MakeRecord() {
    vantrel::IRP_CAPTURE_RECORD r;
    r.MajorFunction = vantrel::IRP_MJ_DEVICE_CONTROL;
    r.SetParam32(vantrel::par::InputBufferLength, 32);
    r.SetParam32(vantrel::par::OutputBufferLength, 48);
    const float scale = 1.25f;
    r.InputData[0] = 1;
    r.InputData[4] = 'Q';
    r.InputData[6] = 0x34;
    r.InputData[7] = 0x92;
    std::memcpy(r.InputData + 8, &scale, 4);
    for (int i = 12; i < 32; ++i) r.InputData[i] = static_cast<uint8_t>(i * 7);
    const uint32_t video[] = {48, 3, 1920, 1080, 7680, 1, 32, 60, 520, 290, 8, 0x11};
    for (int i = 0; i < 12; ++i) vantrel::le::Put32(r.OutputData + 4 * i, video[i]);
    return r;
}

void BM_TwoTemplateSections(benchmark::State& state) {
    const vantrel::CTemplateSnapshot snapshot = MakeSnapshot();
    const vantrel::IRP_CAPTURE_RECORD record = MakeRecord();
    std::string out;
    out.reserve(4096);
    for (auto _ : state) {
        out.clear();
        vantrel::AppendBufferSection(out, record, vantrel::BufferSection::Input, "IN_PARAMS",
                                     snapshot);
        vantrel::AppendBufferSection(out, record, vantrel::BufferSection::Output,
                                     "VIDEO_MODE_INFORMATION", snapshot);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(out.size()));
}
BENCHMARK(BM_TwoTemplateSections);

}  // namespace
