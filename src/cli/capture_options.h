#pragma once
// The capture command's command line.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_document.h"
#include "cli/cli_driver.h"
#include "driver/simulated_driver.h"

namespace vantrel::cli {

inline constexpr char kCaptureUsage[] =
    "capture (--device 0xADDR ... | --all-devices) [--majors LIST|all] [--count N] "
    "[--seconds S] [--flags N] [--format text|jsonl] [--save FILE.vtl] [--log] [--rate R] [--seed "
    "S] "
    "[--catalogue DB] [--input-template NAME] [--output-template NAME] "
    "[--driver sim|trace|kernel|replay:FILE.vtl|remote:HOST:PORT|device|none] "
    "[--trace -- CMD ARGS... | --trace-pid PID[,PID...] | --kernel [--kernel-expiry S] "
    "[--kernel-ring MIB] [--pid PID[,PID...]] [--comm NAME]] "
    "[--connect HOST:PORT --ca CA.pem --token-file FILE [--reconnect-limit S]]";

// The command a trace capture runs, and whether to trace at all: the trace
// driver chosen (cli_driver.h) or --trace-pid; the command after `--`.
struct TraceRequest {
    bool on = false;
    std::vector<std::string> command;
    std::vector<pid_t> pids;  // --trace-pid: running processes instead of a command
};

struct CaptureOptions {
    std::vector<uint32_t> devices;
    bool allDevices = false, log = false, jsonLines = false;
    uint32_t mask = 0;
    std::optional<uint64_t> count;
    std::optional<double> seconds;
    uint32_t flags = 63;
    std::optional<std::string> save;
    std::string catalogue = "Vantrel.db", inputTemplate, outputTemplate;
    DriverOption driver;
    SimulatedDriverOptions simulated;
    std::optional<double> rate;  // --rate: wins over VANTREL_SIM_RATE
    TraceRequest trace;
    bool replay = false;
    bool kernel = false;     // the kernel source is chosen
    CliSource kernelSource;  // the kernel source's own options
    bool kernelOptions = false;
    RemoteRequest remote;  // --connect and its options  // a saved test played again: the capture
                           // lasts as long as it
};

// Reads the command line into `options` (the environment gives the
// defaults) and checks that its parts fit together. nullopt when they do;
// otherwise the exit code, after the one line that says why.
std::optional<int> ReadCaptureOptions(const Args& args, CaptureOptions& options);

// "all", or a comma list of IRP_MJ_ names and numbers (0 to 27).
std::optional<uint32_t> ParseMajors(const std::string& text);

}  // namespace vantrel::cli
