// Text blocks per second on one core: a read with every output line on, and
// a device control (all lines on, no template sections), and a device control
// with an input and an output template section of ten rows each.
#include <benchmark/benchmark.h>

#include <string>

#include "decode/template_snapshot.h"
#include "decode/text_block.h"

namespace {

using namespace vantrel;

CIrpRecord MakeRecord(uint32_t major) {
    IRP_CAPTURE_RECORD c;
    c.DeviceObject = 0x81a2b3c0;
    c.MajorFunction = major;
    c.Status = 0;
    if (major == IRP_MJ_READ) {
        c.SetParam32(par::Length, 4096);
        c.SetParam32(par::ByteOffsetLow, 0x7f000);
    } else {
        c.SetParam32(par::OutputBufferLength, 64);
        c.SetParam32(par::InputBufferLength, 16);
        c.SetParam32(par::IoControlCode, 0x0022020C);
    }
    CIrpRecord r(c);
    r.SetLatency(1.2345f);
    r.SetDescription("Disk drive (ATA) on port 0");
    r.SetObjectName("\\Device\\Harddisk0\\DR0");
    return r;
}

void Run(benchmark::State& state, const CIrpRecord& record, const OutputSettings& settings) {
    std::string out;
    out.reserve(4096);
    for (auto _ : state) {
        out.clear();
        FormatRecord(record, settings, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes/block"] = static_cast<double>(out.size());
}

CTemplateSnapshot TenRowTemplates() {
    static const char* const kTypes[] = {"int",   "long",  "SHORT", "BOOL", "char",
                                         "float", "PVOID", "int",   "long", "SHORT"};
    std::vector<TemplateRow> rows;
    for (const char* name : {"IN_TEMPLATE", "OUT_TEMPLATE"}) {
        for (int i = 0; i < 10; ++i) {
            rows.push_back({name, kTypes[i], "Value" + std::to_string(i), 4 * i});
        }
    }
    return CTemplateSnapshot(std::move(rows));
}

void BM_FormatDeviceControlWithTemplates(benchmark::State& state) {
    CIrpRecord record = MakeRecord(IRP_MJ_DEVICE_CONTROL);
    record.GetCapture().SetParam32(par::InputBufferLength, 64);
    for (int i = 0; i < 64; ++i) {
        record.GetCapture().InputData[i] = static_cast<uint8_t>(i * 7 + 1);
        record.GetCapture().OutputData[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    const CTemplateSnapshot templates = TenRowTemplates();
    OutputSettings settings;
    settings.inputTemplate = "IN_TEMPLATE";
    settings.outputTemplate = "OUT_TEMPLATE";
    settings.templates = &templates;
    Run(state, record, settings);
}
BENCHMARK(BM_FormatDeviceControlWithTemplates);

// Every output line on, no template sections.
void BM_FormatRead(benchmark::State& state) {
    Run(state, MakeRecord(IRP_MJ_READ), {});
}
void BM_FormatDeviceControl(benchmark::State& state) {
    Run(state, MakeRecord(IRP_MJ_DEVICE_CONTROL), {});
}

BENCHMARK(BM_FormatRead);
BENCHMARK(BM_FormatDeviceControl);

}  // namespace
