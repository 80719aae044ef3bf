// The whole pipeline against the simulated driver: the driver writes at a
// fixed rate, the capture thread drains, the printing thread formats every
// block to /dev/null and logs it. Reports the records taken and the
// records the driver had to drop because the ring was full.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "capture/capture_pipeline.h"
#include "capture/driver_link.h"
#include "capture/filter_control.h"
#include "driver/simulated_driver.h"
#include "capture/device_list.h"
#include "document/prompts.h"

namespace vantrel {
namespace {

class NullSink : public IResultsSink {
public:
    NullSink() : m_out(std::fopen("/dev/null", "wb")) {}
    ~NullSink() override { std::fclose(m_out); }
    void AppendText(std::string_view text, Colour) override {
        std::fwrite(text.data(), 1, text.size(), m_out);
    }
    void ClearText() override {}

private:
    std::FILE* m_out;
};

class SilentPrompts : public IPrompts {
public:
    void MessageById(uint32_t, BoxIcon) override {}
    void MessageText(std::string_view, BoxIcon) override {}
    std::optional<std::string> AskFile(const FileDialogRequest&) override { return std::nullopt; }
};

// state.range(0): the driver's rate in IRPs per second; 0: as fast as it can.
void BM_PipelineAtRate(benchmark::State& state) {
    const double seconds = 2.0;
    SimulatedDriverOptions options;
    options.rate = static_cast<double>(state.range(0));
    options.seed = 7;
    CSimulatedDriverSession driver(options);
    SilentPrompts prompts;
    CDriverLink link;
    if (!link.CreateDocumentSteps(driver.Opener(), prompts)) {
        state.SkipWithError("driver");
        return;
    }
    CDeviceList list;
    list.FillDeviceList(link, prompts);
    std::vector<const CDeviceObjectInfo*> rows;
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(list.Row(i));

    const auto logDir = std::filesystem::temp_directory_path() / "vantrel_pipeline_bench";
    std::filesystem::create_directories(logDir);
    const auto oldDir = std::filesystem::current_path();
    std::filesystem::current_path(logDir);

    CRecordList records;
    CDocumentState document;
    NullSink sink;
    NullSink notices;
    CDeviceListDirectory directory(list);
    PipelineHooks hooks;
    hooks.devices = &directory;
    hooks.handToDriver = [&](uint32_t e, uint32_t r) {
        link.SendSetMode(e);
        link.SendInitBuff(r);
    };
    uint64_t taken = 0, dropped = 0;
    for (auto _ : state) {
        CCapturePipeline pipeline(records, document, sink, CCaptureRing::Process(), hooks);
        pipeline.SetProcessorSpeed(link.ProcessorSpeed());
        CFilterControl filters(list, link, document, pipeline, notices, prompts);
        const uint64_t droppedBefore = driver.Stats().dropped;
        filters.AddFilter((1u << 28) - 1, rows, /*logToFile=*/true);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        filters.RemoveFilter();
        pipeline.PokeDrain();
        pipeline.WaitPrinted(60'000);
        taken = pipeline.RecordsTaken();
        dropped = driver.Stats().dropped - droppedBefore;
    }
    link.Close();
    std::filesystem::current_path(oldDir);
    std::filesystem::remove_all(logDir);
    state.counters["records_per_s"] = static_cast<double>(taken) / seconds;
    state.counters["dropped"] = static_cast<double>(dropped);
}
BENCHMARK(BM_PipelineAtRate)
    ->Arg(50'000)
    ->Arg(100'000)
    ->Arg(200'000)
    ->Arg(400'000)
    ->Arg(800'000)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantrel
