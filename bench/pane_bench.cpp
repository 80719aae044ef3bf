// The desktop program under load: the main window shown (offscreen), a
// filter on every device object and major function of the simulated driver
// at 200,000 IRPs per second for 10 seconds. A 10 ms heartbeat timer on the
// GUI thread measures its stalls; a tee beside the results pane keeps what
// one-by-one delivery would show, to compare with the pane's final text.
//
// VANTREL_PANE_BENCH_SECONDS and VANTREL_PANE_BENCH_RATE change the run.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "document/document.h"
#include "driver/simulated_driver.h"
#include "gui/device_list_view.h"
#include "gui/dialog_runner.h"
#include "gui/irp_monitor_page.h"
#include "gui/main_frame.h"
#include "gui/results_pane.h"
#include "gui/tab_view.h"

namespace vantrel {
namespace {

class SilentPrompts : public IPrompts {
public:
    void MessageById(uint32_t, BoxIcon) override {}
    void MessageText(std::string_view, BoxIcon) override {}
    std::optional<std::string> AskFile(const FileDialogRequest&) override { return std::nullopt; }
};

// Passes everything to the pane and keeps the text one-by-one delivery
// gives (as the pane shows it: CR LF as one line break).
class TeeSink : public IResultsSink {
public:
    explicit TeeSink(IResultsSink& pane) : m_pane(pane) {}
    void AppendText(std::string_view text, Colour colour) override {
        {
            std::lock_guard lock(m_mutex);
            for (size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\r') {
                    m_text.push_back('\n');
                    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                } else {
                    m_text.push_back(text[i]);
                }
            }
        }
        m_pane.AppendText(text, colour);
    }
    void ClearText() override {
        {
            std::lock_guard lock(m_mutex);
            m_text.clear();
        }
        m_pane.ClearText();
    }
    std::string Text() const {
        std::lock_guard lock(m_mutex);
        return m_text;
    }

private:
    IResultsSink& m_pane;
    mutable std::mutex m_mutex;
    std::string m_text;
};

double EnvNumber(const char* name, double fallback) {
    // Read before the benchmark starts its threads.
    const char* v = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    return v && *v ? std::atof(v) : fallback;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// What the GUI thread went through during a capture: every gap of a 10 ms
// heartbeat beyond its 10 ms is a stall of that thread.
struct GuiLoad {
    std::vector<double> stalls;
    int maxPaneCharacters = 0;
};

// Adds the filter with the page's button, captures for `seconds` while the
// heartbeat runs, and removes it.
GuiLoad CaptureWithHeartbeat(CMainFrame& frame, CIrpMonitorPage& page, double seconds) {
    GuiLoad load;
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        load.stalls.push_back(std::max(0.0, (now - last) / 1e6 - 10.0));
        last = now;
        load.maxPaneCharacters =
            std::max(load.maxPaneCharacters, frame.GetResultsPane()->TextLength());
    });
    QEventLoop loop;
    clock.start();
    heartbeat.start(10);
    page.AddRemoveButton()->click();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    heartbeat.stop();
    page.AddRemoveButton()->click();
    return load;
}

void ReportCounters(benchmark::State& state, GuiLoad& load, double records, double dropped,
                    bool equal, long residentGrowthKiB, double paneDroppedBlocks) {
    std::sort(load.stalls.begin(), load.stalls.end());
    const double p99 = load.stalls.empty() ? 0 : load.stalls[load.stalls.size() * 99 / 100];
    const double worst = load.stalls.empty() ? 0 : load.stalls.back();
    state.counters["records"] = records;
    state.counters["dropped"] = dropped;
    state.counters["stall_p99_ms"] = p99;
    state.counters["stall_max_ms"] = worst;
    state.counters["pane_equal"] = equal ? 1 : 0;
    state.counters["pane_max_chars"] = load.maxPaneCharacters;
    state.counters["rss_bytes_per_record"] =
        records > 0 ? static_cast<double>(residentGrowthKiB) * 1024.0 / records : 0;
    state.counters["pane_dropped_blocks"] = paneDroppedBlocks;
}

void BM_PaneUnderLoad(benchmark::State& state) {
    const double seconds = EnvNumber("VANTREL_PANE_BENCH_SECONDS", 10);
    const double rate = EnvNumber("VANTREL_PANE_BENCH_RATE", 200000);
    const auto dir = std::filesystem::temp_directory_path() / "vantrel_pane_bench";
    std::filesystem::create_directories(dir);
    const auto oldDir = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    CCatalogue::Create((dir / "Vantrel.db").string(), true);

    for (auto _ : state) {
        SimulatedDriverOptions options;
        options.rate = rate;
        options.seed = 3;
        CSimulatedDriverSession driver(options);
        SilentPrompts prompts;
        CModalDialogRunner dialogs;
        FrameServices frameServices;
        frameServices.prompts = &prompts;
        frameServices.dialogs = &dialogs;
        auto frame = std::make_unique<CMainFrame>(std::move(frameServices));
        TeeSink tee(*frame->GetResultsPane());
        DocumentServices services;
        services.openDriver = driver.Opener();
        services.prompts = &prompts;
        services.results = &tee;
        services.view = frame.get();
        auto doc = std::make_unique<CVantrelDoc>(std::move(services));
        if (!doc->OnNewDocument()) {
            state.SkipWithError("the document could not be created");
            break;
        }
        frame->AttachDocument(std::move(doc));
        frame->ActivateFrame();
        CVantrelDoc& document = *frame->Document();

        frame->GetDeviceListPane()->selectAll();
        CIrpMonitorPage& page = *frame->GetTabView()->IrpMonitorPage();
        page.ShowMask(0xFFFFFFF);
        const long rssBefore = ResidentKiB();

        GuiLoad load = CaptureWithHeartbeat(*frame, page, seconds);

        document.Pipeline().WaitPrinted(30000);
        frame->GetResultsPane()->ApplyPendingNow();
        const bool equal = frame->GetResultsPane()->toPlainText().toStdString() == tee.Text();
        const long rssAfter = ResidentKiB();

        ReportCounters(state, load, static_cast<double>(document.RecordCount()),
                       static_cast<double>(driver.Stats().dropped), equal, rssAfter - rssBefore,
                       static_cast<double>(frame->GetResultsPane()->DroppedBlocks()));
        frame.reset();
    }
    std::filesystem::current_path(oldDir);
}
BENCHMARK(BM_PaneUnderLoad)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace vantrel

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
