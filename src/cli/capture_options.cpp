#include "cli/capture_options.h"

#include "decode/name_tables.h"
#include "record/protocol.h"
#include "tracer/process_tracer.h"
#include "tracer/trace_driver.h"

namespace vantrel::cli {
namespace {

constexpr uint32_t kAllMajors = (1u << protocol::kMajorCount) - 1;

int Usage(const std::string& why) {
    return Fail(kExitUsage, why + "; usage: " + kCaptureUsage);
}

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

bool IsValueOption(const std::string& a) {
    static constexpr const char* kNames[] = {
        "--device",         "--majors",          "--count",    "--seconds", "--flags",
        "--save",           "--format",          "--rate",     "--seed",    "--catalogue",
        "--input-template", "--output-template", "--trace-pid"};
    for (const char* name : kNames)
        if (a == name) return true;
    return false;
}

// One option with its value; nullopt when it is good.
std::optional<int> TakeValue(const std::string& a, const std::string& v, CaptureOptions& o) {
    if (a == "--device") {
        const auto d = ParseU32(v);
        if (!d) return Fail(kExitBadInput, "not a device object: " + v);
        o.devices.push_back(*d);
    } else if (a == "--majors") {
        const auto m = ParseMajors(v);
        if (!m) return Fail(kExitBadInput, "not a list of major functions: " + v);
        o.mask = *m;
    } else if (a == "--count") {
        o.count = ParseU64(v);
        if (!o.count || *o.count == 0) return Fail(kExitBadInput, "not a record count: " + v);
    } else if (a == "--seconds") {
        o.seconds = ParseDouble(v);
        if (!o.seconds || !(*o.seconds > 0) || *o.seconds > 1e9)
            return Fail(kExitBadInput, "not a time: " + v);
    } else if (a == "--flags") {
        const auto f = ParseU32(v);
        if (!f) return Fail(kExitBadInput, "not an output flags word: " + v);
        o.flags = *f;
    } else if (a == "--format") {
        if (v != "jsonl" && v != "text") return Usage("not an output format (text or jsonl): " + v);
        o.jsonLines = v == "jsonl";
    } else if (a == "--save") {
        if (v.empty()) return Usage("--save needs a file name");
        o.save = v;
    } else if (a == "--catalogue") {
        o.catalogue = v;
    } else if (a == "--input-template") {
        o.inputTemplate = v;
    } else if (a == "--output-template") {
        o.outputTemplate = v;
    } else if (a == "--rate") {
        o.rate = ParseRecordRate(v);
        if (!o.rate) return Fail(kExitBadInput, "not a rate from 0 to 10000000: " + v);
        o.simulated.rate = *o.rate;
    } else if (a == "--trace-pid") {
        const auto pids = ParsePids(v);
        if (!pids) return Fail(kExitBadInput, "not a list of process ids: " + v);
        if (o.driver.onCommandLine && !o.trace.on)
            return Usage("--trace-pid needs the trace driver");
        o.trace.on = true;
        o.trace.pids = *pids;
    } else {
        const auto s = ParseU64(v);
        if (!s) return Fail(kExitBadInput, "not a seed: " + v);
        o.simulated.seed = *s;
    }
    return std::nullopt;
}

// Why the processes cannot be attached, before anything is set up.
std::string PidProblem(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids)
        if (std::string problem = TracePidProblem(pid); !problem.empty()) return problem;
    return {};
}

// The parts that must fit together; nullopt when they do.
std::optional<int> CheckCaptureOptions(CaptureOptions& o, const std::string& rateProblem) {
    if (o.allDevices == !o.devices.empty())
        return Usage("name devices with --device or --all-devices");
    if (!o.trace.pids.empty() && !o.trace.command.empty())
        return Usage("--trace-pid takes no command");
    if (o.trace.on && o.trace.command.empty() && o.trace.pids.empty())
        return Usage("--trace needs a command after --");
    if (!o.trace.on && !o.trace.command.empty()) return Usage("a command after -- needs --trace");
    if (o.trace.on) {
        const std::string problem =
            o.trace.pids.empty() ? TraceCommandProblem(o.trace.command) : PidProblem(o.trace.pids);
        if (!problem.empty()) return Fail(kExitBadInput, problem);
    }
    o.replay = o.driver.choice.kind == SourceKind::Replay && !o.trace.on;
    if (!o.trace.on && !o.replay && !o.rate && !rateProblem.empty())
        return Fail(kExitBadInput, rateProblem);
    // A traced command's capture lasts as long as the command, a replay as
    // long as its file.
    if (!o.count && !o.seconds && !o.trace.on && !o.replay) o.seconds = 5.0;
    return std::nullopt;
}

}  // namespace

std::optional<uint32_t> ParseMajors(const std::string& text) {
    if (text == "all") return kAllMajors;
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

std::optional<int> ReadCaptureOptions(const Args& given, CaptureOptions& o) {
    Args args = given;
    if (const int rc = TakeDriverOption(args, o.driver, kCaptureUsage); rc != kExitOk) return rc;
    o.mask = kAllMajors;
    std::string rateProblem;  // the environment's; --rate wins over it
    o.simulated = OptionsFromEnvironment(&rateProblem);
    o.trace.on = o.driver.choice.kind == SourceKind::Trace;
    COnceOptions once;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            o.trace.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (a == "--all-devices" || a == "--log") {
            if (!once.First(a, kCaptureUsage)) return kExitUsage;
            (a == "--log" ? o.log : o.allDevices) = true;
        } else if (IsValueOption(a)) {
            if (i + 1 >= args.size()) return Usage(a + " needs a value");
            if (a != "--device" && !once.First(a, kCaptureUsage)) return kExitUsage;
            if (const auto rc = TakeValue(a, args[++i], o)) return rc;
        } else {
            return Usage("unknown option " + a);
        }
    }
    return CheckCaptureOptions(o, rateProblem);
}

}  // namespace vantrel::cli
