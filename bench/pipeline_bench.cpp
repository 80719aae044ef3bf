// The whole pipeline against the simulated driver: the driver writes at a
// fixed rate, the capture thread drains, the printing thread formats every
// block to /dev/null and logs it. Reports the records taken and the
// records the driver had to drop because the ring was full.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "document/document.h"
#include "driver/simulated_driver.h"

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
    const auto logDir = std::filesystem::temp_directory_path() / "vantrel_pipeline_bench";
    std::filesystem::create_directories(logDir);
    const auto oldDir = std::filesystem::current_path();
    std::filesystem::current_path(logDir);

    SilentPrompts prompts;
    NullSink sink;
    NullSink notices;
    uint64_t taken = 0, dropped = 0;
    for (auto _ : state) {
        DocumentServices services;
        services.openDriver = driver.Opener();
        services.prompts = &prompts;
        services.results = &sink;
        services.notices = &notices;
        services.catalogue = CataloguePolicy::PathIfGiven;
        CVantrelDoc doc(std::move(services));
        if (!doc.OnNewDocument() || !doc.FillDeviceList()) {
            state.SkipWithError("driver");
            break;
        }
        std::vector<size_t> rows(doc.Devices().Count());
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = i;
        doc.AddFilter((1u << 28) - 1, rows, /*logToFile=*/true);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        doc.RemoveFilter();
        doc.Pipeline().PokeDrain();
        doc.Pipeline().WaitPrinted(60'000);
        taken = doc.Pipeline().RecordsTaken();
        dropped = driver.Stats().dropped;
    }
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
