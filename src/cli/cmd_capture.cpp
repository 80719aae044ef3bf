// vantrel-cli capture: a live capture from the driver to stdout.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/capture_options.h"
#include "cli/cli.h"
#include "cli/cli_document.h"
#include "cli/cli_kernel.h"
#include "cli/cli_output.h"
#include "cli/cli_signals.h"
#include "decode/template_buffers.h"
#include "export/record_export.h"

namespace vantrel::cli {
namespace {

// The exit code of a process whose reader closed its standard output, as a
// pipeline's writer killed by SIGPIPE would give.
constexpr int kExitClosedOutput = 128 + 13;

bool Templated(const CaptureOptions& o) {
    return TemplateNameIsOn(o.inputTemplate) || TemplateNameIsOn(o.outputTemplate);
}

// Every file this run will write, and the templates it reads, are tried
// before the driver is opened. nullopt when all is well.
std::optional<int> ClaimOutputs(const CaptureOptions& o, CClaimedOutput& saveFile) {
    std::string error;
    if (Templated(o)) {
        error = CheckTemplateNames(o.catalogue, o.inputTemplate, o.outputTemplate);
        if (!error.empty()) return Fail(kExitBadInput, error);
    }
    const std::vector<std::string> inputs =
        Templated(o) ? std::vector<std::string>{o.catalogue} : std::vector<std::string>{};
    if (o.save && !saveFile.Claim(*o.save, error, inputs)) return Fail(kExitBadInput, error);
    if (o.log && !ProbeLogFolder(error)) return Fail(kExitBadInput, error);
    return std::nullopt;
}

std::unique_ptr<CliDocument> OpenCapture(const CaptureOptions& o) {
    DocumentServices services;
    if (o.jsonLines) {
        // One JSON object per record as it arrives, input bytes included.
        services.formatNew = [](const CIrpRecord& record, size_t index, std::string& out) {
            ExportOptions exportOptions;
            exportOptions.inputBytesKnown = true;
            AppendJsonLine(record, index, exportOptions, out);
        };
    }
    const std::string cataloguePath = Templated(o) ? o.catalogue : std::string();
    CliSource source = o.kernelSource;  // the kernel source's options
    source.choice = o.trace.on ? SourceChoice{SourceKind::Trace, {}} : o.driver.choice;
    source.sim = o.simulated;
    source.trace = {o.trace.command, o.trace.pids, {}};
    source.rate = o.rate;
    source.remote = o.remote;
    auto cli = OpenCliDocument(std::move(source), cataloguePath, std::move(services));
    if (!cli) return nullptr;
    cli->doc->SetOutputFlags(o.flags);
    if (Templated(o)) {
        // The templates as the IOCTL selector would choose them.
        IoctlFilterSelection selection;
        selection.inputTemplate = o.inputTemplate;
        selection.outputTemplate = o.outputTemplate;
        cli->doc->PublishIoctlSelection(std::move(selection));
    }
    return cli;
}

// The device list rows the options name; nullopt after the line that says
// why they cannot be had.
std::optional<std::vector<size_t>> ChooseRows(CVantrelDoc& doc, const CaptureOptions& o) {
    if (!doc.FillDeviceList()) {
        Fail(kExitBadInput, "the driver's device list could not be read");
        return std::nullopt;
    }
    const CDeviceList& list = doc.Devices();
    std::vector<size_t> rows;
    if (o.allDevices) {
        for (size_t i = 0; i < list.Count(); ++i) rows.push_back(i);
        if (rows.empty()) {
            // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
            const char* chosen = std::getenv("VANTREL_SIM_DEVICES");
            Fail(kExitBadInput,
                 chosen && *chosen && o.driver.choice.kind == SourceKind::Simulated && !o.trace.on
                     ? "no device object matches VANTREL_SIM_DEVICES"
                     : "the driver offers no device object");
            return std::nullopt;
        }
        return rows;
    }
    for (uint32_t d : o.devices) {
        size_t i = 0;
        while (i < list.Count() && list.Row(i)->GetDeviceObject() != d) ++i;
        if (i == list.Count()) {
            char text[64];
            std::snprintf(text, sizeof text, "no device object 0x%.8x", d);
            Fail(kExitBadInput, text);
            return std::nullopt;
        }
        rows.push_back(i);
    }
    return rows;
}

// Waits until the capture is to end: a count or a time reached, the traced
// command gone, a stop signal, or a standard output that takes no more.
void WaitForTheEnd(CliDocument& cli, const CaptureOptions& o) {
    CCapturePipeline& pipeline = cli.doc->Pipeline();
    const auto start = std::chrono::steady_clock::now();
    auto nextFlush = start;
    for (;;) {
        if (CCaptureStopSignals::Requested() || cli.out.Error() != 0) return;
        if (o.count && pipeline.RecordsTaken() >= *o.count) return;
        if (o.trace.on && cli.trace->Status().finished) return;
        if (o.replay && cli.replay->Status().finished) return;
        if (cli.remote && cli.remote->Status().lost) return;
        const auto now = std::chrono::steady_clock::now();
        if (o.seconds && now - start >= std::chrono::duration<double>(*o.seconds)) return;
        // A reader that went away is noticed within a tenth of a second.
        if (now >= nextFlush) {
            cli.out.Flush();
            nextFlush = now + std::chrono::milliseconds(100);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Removes the filter, lets the last records print, saves and summarises.
int FinishCapture(CliDocument& cli, const CaptureOptions& o, CClaimedOutput& saveFile) {
    CVantrelDoc& doc = *cli.doc;
    // Whatever the driver wrote before the filter went is taken, printed
    // and logged.
    doc.RemoveFilter();
    doc.Pipeline().PokeDrain();
    doc.Pipeline().WaitPrinted(60'000);
    cli.out.Flush();

    if (o.trace.on && !cli.trace->Status().error.empty())
        return Fail(kExitBadInput, cli.trace->Status().error);  // it never started
    int rc = kExitOk;
    if (saveFile.IsClaimed()) {
        const std::string failure = SaveCaptureOrKeep(saveFile, doc.CurrentHeader(), doc.Records());
        if (!failure.empty()) rc = Fail(kExitBadInput, failure);
    }
    if (cli.out.Error() == EPIPE) return rc == kExitOk ? kExitClosedOutput : rc;
    if (cli.out.Error() != 0 && rc == kExitOk) {
        rc = Fail(kExitBadInput, std::string("cannot write to standard output: ") +
                                     std::generic_category().message(cli.out.Error()));
    }
    // The log's failure was told when it happened.
    if (doc.Pipeline().Log().Failed() && rc == kExitOk) rc = kExitBadInput;
    const SimulatedDriverStats stats = cli.driver ? cli.driver->Stats() : SimulatedDriverStats{};
    // A source lost for good ends the capture with what arrived, saved.
    if (cli.remote && cli.remote->Status().lost && rc == kExitOk) rc = kExitBadInput;
    const uint64_t dropped = o.kernel     ? KernelDropped(cli)
                             : cli.remote ? cli.remote->Status().dropped
                                          : stats.dropped;
    std::fprintf(stderr, "captured %zu records, driver dropped %llu%s\n", doc.RecordCount(),
                 static_cast<unsigned long long>(dropped), KernelSummary(cli).c_str());
    if (!o.trace.on || rc != kExitOk) return rc;
    // A traced command's own status, unless --count, --seconds or a stop
    // signal ended the capture first.
    const TraceDriverStatus status = cli.trace->Status();
    return status.finished ? status.exitStatus : rc;
}

}  // namespace

int CmdCapture(const Args& args) {
    CaptureOptions o;
    if (const auto rc = ReadCaptureOptions(args, o)) return *rc;
    // From here on a stop signal ends the capture in order, and the claimed
    // output's temporary file goes on every way out.
    const CCaptureStopSignals stopSignals;
    CClaimedOutput saveFile;
    if (const auto rc = ClaimOutputs(o, saveFile)) return *rc;

    std::setvbuf(stdout, nullptr, _IOFBF, size_t{1} << 20);
    auto cli = OpenCapture(o);
    if (!cli) return kExitBadInput;  // the document said why
    CVantrelDoc& doc = *cli->doc;
    const auto rows = ChooseRows(doc, o);
    if (!rows) return kExitBadInput;

    // A capture of known length gets its memory before the driver starts.
    if (o.count) doc.ReserveRecords(static_cast<size_t>(*o.count));
    if (doc.AddFilter(o.mask, *rows, o.log) != CVantrelDoc::AddOutcome::Added)
        return kExitBadInput;  // the document said why
    if (doc.FailedFilterRequests() > 0) {
        doc.RemoveFilter();
        return Fail(kExitBadInput, "the driver refused a filter (IOCTL_ACTIVATE_FILTER failed)");
    }
    WaitForTheEnd(*cli, o);
    return FinishCapture(*cli, o, saveFile);
}

}  // namespace vantrel::cli
