// vantrel-cli capture: a live capture from the driver to stdout.

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_document.h"
#include "cli/cli_driver.h"
#include "cli/cli_output.h"
#include "decode/name_tables.h"
#include "decode/template_buffers.h"
#include "export/record_export.h"

namespace vantrel::cli {
namespace {

std::atomic<bool> g_interrupted{false};
extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
}

// "all", or a comma list of IRP_MJ_ names and numbers (0 to 27).
std::optional<uint32_t> ParseMajors(const std::string& text) {
    if (text == "all") return (1u << protocol::kMajorCount) - 1;
    uint32_t mask = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string word = text.substr(start, comma - start);
        bool found = false;
        for (uint32_t i = 0; i < protocol::kMajorCount && !found; ++i) {
            if (word == MajorFunctionName(i)) {
                mask |= 1u << i;
                found = true;
            }
        }
        if (!found) {
            const auto n = ParseU32(word);
            if (!n || *n >= protocol::kMajorCount) return std::nullopt;
            mask |= 1u << *n;
        }
        start = comma + 1;
    }
    return mask ? std::optional<uint32_t>(mask) : std::nullopt;
}

constexpr char kUsage[] =
    "capture (--device 0xADDR ... | --all-devices) [--majors LIST|all] [--count N] "
    "[--seconds S] [--flags N] [--format text|jsonl] [--save FILE.vtl] [--log] [--rate R] [--seed "
    "S] "
    "[--catalogue DB] [--input-template NAME] [--output-template NAME] "
    "[--driver sim|trace|replay:FILE.vtl|device|none] "
    "[--trace -- CMD ARGS... | --trace-pid PID[,PID...]]";

// The command a trace capture runs, and whether to trace at all: the trace
// driver chosen (cli_driver.h) or --trace-pid; the command after `--`.
struct TraceRequest {
    bool on = false;
    std::vector<std::string> command;
    std::vector<pid_t> pids;  // --trace-pid: running processes instead of a command
};

// "PID[,PID...]", or nullopt.
std::optional<std::vector<pid_t>> ParsePids(const std::string& text) {
    std::vector<pid_t> pids;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const auto n = ParseU32(text.substr(start, comma - start));
        if (!n || *n == 0 || *n > 0x3FFFFFFF) return std::nullopt;
        pids.push_back(static_cast<pid_t>(*n));
        start = comma + 1;
    }
    return pids;
}

// Why the processes cannot be attached, before anything is set up.
std::string PidProblem(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids)
        if (kill(pid, 0) != 0 && errno == ESRCH) return "no such process: " + std::to_string(pid);
    return {};
}

// The capture's exit code once a traced command ran: its own status, or 0
// when --count, --seconds or an interrupt ended the capture first.
int TraceExitCode(const CliDocument& cli, int rc) {
    const TraceDriverStatus status = cli.trace->Status();
    if (rc != kExitOk || !status.finished) return rc;
    return status.exitStatus;
}

}  // namespace

int CmdCapture(const Args& given) {
    Args args = given;
    DriverOption driver;
    if (const int rc = TakeDriverOption(args, driver, kUsage); rc != kExitOk) return rc;
    std::vector<uint32_t> devices;
    bool allDevices = false, log = false, jsonLines = false;
    uint32_t mask = (1u << protocol::kMajorCount) - 1;
    std::optional<uint64_t> count;
    std::optional<double> seconds;
    uint32_t flags = 63;
    std::string save, catalogue = "Vantrel.db", inputTemplate, outputTemplate;
    std::string rateProblem;  // the environment's; --rate wins over it
    SimulatedDriverOptions options = OptionsFromEnvironment(&rateProblem);
    std::optional<double> rate;
    TraceRequest trace;
    trace.on = driver.choice.kind == SourceKind::Trace;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        const std::string* v = nullptr;
        if (a == "--") {
            trace.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (a == "--trace-pid") {
            if (!(v = value())) return Fail(kExitUsage, a + " needs a value; usage: " + kUsage);
            const auto pids = ParsePids(*v);
            if (!pids) return Fail(kExitBadInput, "not a list of process ids: " + *v);
            if (driver.onCommandLine && !trace.on)
                return Fail(kExitUsage,
                            "--trace-pid needs the trace driver; usage: " + std::string(kUsage));
            trace.on = true;
            trace.pids = *pids;
        } else if (a == "--all-devices") {
            allDevices = true;
        } else if (a == "--log") {
            log = true;
        } else if (a == "--device" || a == "--majors" || a == "--count" || a == "--seconds" ||
                   a == "--flags" || a == "--save" || a == "--format" || a == "--rate" ||
                   a == "--seed" || a == "--catalogue" || a == "--input-template" ||
                   a == "--output-template") {
            if (!(v = value())) return Fail(kExitUsage, a + " needs a value; usage: " + kUsage);
            if (a == "--device") {
                const auto d = ParseU32(*v);
                if (!d) return Fail(kExitBadInput, "not a device object: " + *v);
                devices.push_back(*d);
            } else if (a == "--majors") {
                const auto m = ParseMajors(*v);
                if (!m) return Fail(kExitBadInput, "not a list of major functions: " + *v);
                mask = *m;
            } else if (a == "--count") {
                count = ParseU64(*v);
                if (!count || *count == 0) return Fail(kExitBadInput, "not a record count: " + *v);
            } else if (a == "--seconds") {
                seconds = ParseDouble(*v);
                if (!seconds || !(*seconds > 0)) return Fail(kExitBadInput, "not a time: " + *v);
            } else if (a == "--flags") {
                const auto f = ParseU32(*v);
                if (!f) return Fail(kExitBadInput, "not an output flags word: " + *v);
                flags = *f;
            } else if (a == "--format") {
                if (*v == "jsonl") {
                    jsonLines = true;
                } else if (*v != "text") {
                    return Fail(kExitBadInput, "not an output format (text or jsonl): " + *v);
                }
            } else if (a == "--save") {
                save = *v;
            } else if (a == "--catalogue") {
                catalogue = *v;
            } else if (a == "--input-template") {
                inputTemplate = *v;
            } else if (a == "--output-template") {
                outputTemplate = *v;
            } else if (a == "--rate") {
                rate = ParseRecordRate(*v);
                if (!rate) return Fail(kExitBadInput, "not a rate from 0 to 10000000: " + *v);
                options.rate = *rate;
            } else {
                const auto s = ParseU64(*v);
                if (!s) return Fail(kExitBadInput, "not a seed: " + *v);
                options.seed = *s;
            }
        } else {
            return Fail(kExitUsage, "unknown option " + a + "; usage: " + kUsage);
        }
    }
    if (allDevices == !devices.empty()) {
        return Fail(kExitUsage,
                    std::string("name devices with --device or --all-devices; usage: ") + kUsage);
    }
    if (!trace.pids.empty() && !trace.command.empty())
        return Fail(kExitUsage, std::string("--trace-pid takes no command; usage: ") + kUsage);
    if (trace.on && trace.command.empty() && trace.pids.empty())
        return Fail(kExitUsage, std::string("--trace needs a command after --; usage: ") + kUsage);
    if (!trace.on && !trace.command.empty())
        return Fail(kExitUsage, std::string("a command after -- needs --trace; usage: ") + kUsage);
    if (trace.on) {
        const std::string problem =
            trace.pids.empty() ? TraceCommandProblem(trace.command) : PidProblem(trace.pids);
        if (!problem.empty()) return Fail(kExitBadInput, problem);
    }
    const bool replay = driver.choice.kind == SourceKind::Replay && !trace.on;
    if (!trace.on && !replay && !rate && !rateProblem.empty())
        return Fail(kExitBadInput, rateProblem);
    // A traced command's capture lasts as long as the command, a replay as
    // long as its file.
    if (!count && !seconds && !trace.on && !replay) seconds = 5.0;
    // Every file this run will write is tried before the driver is opened.
    CClaimedOutput saveFile;
    std::string error;
    if (!save.empty() && !saveFile.Claim(save, error)) return Fail(kExitBadInput, error);
    if (log && !ProbeLogFolder(error)) return Fail(kExitBadInput, error);

    const bool templated = TemplateNameIsOn(inputTemplate) || TemplateNameIsOn(outputTemplate);
    std::setvbuf(stdout, nullptr, _IOFBF, size_t{1} << 20);
    DocumentServices services;
    if (jsonLines) {
        // One JSON object per record as it arrives, input bytes included.
        services.formatNew = [](const CIrpRecord& record, size_t index, std::string& out) {
            ExportOptions exportOptions;
            exportOptions.inputBytesKnown = true;
            AppendJsonLine(record, index, exportOptions, out);
        };
    }
    const std::string cataloguePath = templated ? catalogue : std::string();
    CliSource source{driver.choice, options, {trace.command, trace.pids, {}}, rate};
    if (trace.on) source.choice = {SourceKind::Trace, {}};
    auto cli = OpenCliDocument(std::move(source), cataloguePath, std::move(services));
    if (!cli) return kExitBadInput;  // the document said why
    CVantrelDoc& doc = *cli->doc;
    doc.SetOutputFlags(flags);
    if (templated) {
        // The templates as the IOCTL selector would choose them.
        IoctlFilterSelection selection;
        selection.inputTemplate = inputTemplate;
        selection.outputTemplate = outputTemplate;
        doc.PublishIoctlSelection(std::move(selection));
    }
    if (!doc.FillDeviceList())
        return Fail(kExitBadInput, "the driver's device list could not be read");

    const CDeviceList& list = doc.Devices();
    std::vector<size_t> rows;
    if (allDevices) {
        for (size_t i = 0; i < list.Count(); ++i) rows.push_back(i);
    } else {
        for (uint32_t d : devices) {
            size_t i = 0;
            while (i < list.Count() && list.Row(i)->GetDeviceObject() != d) ++i;
            if (i == list.Count()) {
                char text[64];
                std::snprintf(text, sizeof text, "no device object 0x%.8x", d);
                return Fail(kExitBadInput, text);
            }
            rows.push_back(i);
        }
    }

    // A capture of known length gets its memory before the driver starts.
    if (count) doc.ReserveRecords(static_cast<size_t>(*count));
    g_interrupted.store(false);
    auto previous = std::signal(SIGINT, OnInterrupt);
    const auto start = std::chrono::steady_clock::now();
    if (doc.AddFilter(mask, rows, log) != CVantrelDoc::AddOutcome::Added) {
        std::signal(SIGINT, previous);
        return kExitBadInput;  // the document said why
    }
    if (doc.FailedFilterRequests() > 0) {
        doc.RemoveFilter();
        std::signal(SIGINT, previous);
        return Fail(kExitBadInput, "the driver refused a filter (IOCTL_ACTIVATE_FILTER failed)");
    }
    CCapturePipeline& pipeline = doc.Pipeline();
    for (;;) {
        if (g_interrupted.load()) break;
        if (count && pipeline.RecordsTaken() >= *count) break;
        if (trace.on && cli->trace->Status().finished) break;
        if (replay && cli->replay->Status().finished) break;
        if (seconds &&
            std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(*seconds)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Whatever the driver wrote before the filter went is taken, printed
    // and logged.
    doc.RemoveFilter();
    pipeline.PokeDrain();
    pipeline.WaitPrinted(60'000);
    std::signal(SIGINT, previous);
    std::fflush(stdout);

    if (trace.on && !cli->trace->Status().error.empty())
        return Fail(kExitBadInput, cli->trace->Status().error);  // it never started
    int rc = kExitOk;
    if (saveFile.IsClaimed()) {
        const std::string failure = SaveCaptureOrKeep(saveFile, doc.CurrentHeader(), doc.Records());
        if (!failure.empty()) rc = Fail(kExitBadInput, failure);
    }
    const SimulatedDriverStats stats = cli->driver ? cli->driver->Stats() : SimulatedDriverStats{};
    std::fprintf(stderr, "captured %zu records, driver dropped %llu\n", doc.RecordCount(),
                 static_cast<unsigned long long>(stats.dropped));
    return trace.on ? TraceExitCode(*cli, rc) : rc;
}

}  // namespace vantrel::cli
