#include "cli/cli_kernel.h"

#include <cmath>
#include <cstdio>

#include "cli/cli.h"
#ifdef VANTREL_KERNEL_SOURCE
#include "kernel/kernel_driver.h"
#endif

namespace vantrel::cli {

bool TakeKernelOption(const std::vector<std::string>& args, size_t& i, CliSource& source,
                      std::string& error, bool& usage) {
    const std::string& a = args[i];
    if (a != "--kernel-expiry" && a != "--kernel-ring" && a != "--pid" && a != "--comm")
        return false;
    if (i + 1 >= args.size()) {
        usage = true;
        error = a + " needs a value";
        return true;
    }
    const std::string& v = args[++i];
    if (a == "--kernel-expiry") {
        const auto s = ParseDouble(v);
        if (!s || !std::isfinite(*s) || *s <= 0 || *s > 86400)
            error = "not an expiry in seconds (more than 0, at most 86400): " + v;
        else
            source.kernelExpiry = *s;
    } else if (a == "--kernel-ring") {
        const auto mib = ParseU32(v);
        if (!mib || *mib == 0 || *mib > 1024 || (*mib & (*mib - 1)) != 0)
            error = "not a ring size in MiB (a power of two from 1 to 1024): " + v;
        else
            source.kernelRingMiB = *mib;
    } else if (a == "--pid") {
        size_t start = 0;
        source.kernelPids.clear();
        while (start <= v.size()) {
            size_t comma = v.find(',', start);
            if (comma == std::string::npos) comma = v.size();
            const auto n = ParseU32(v.substr(start, comma - start));
            if (!n || *n == 0 || *n > 0x3FFFFFFF) {
                error = "not a list of process ids: " + v;
                break;
            }
            source.kernelPids.push_back(static_cast<pid_t>(*n));
            start = comma + 1;
        }
    } else {
        // The kernel keeps 15 characters of a thread's name.
        if (v.empty() || v.size() > 15)
            error = "not a process name (1 to 15 characters): " + v;
        else
            source.kernelComm = v;
    }
    return true;
}

#ifdef VANTREL_KERNEL_SOURCE

std::string KernelProblem() {
    return KernelSourceProblem();
}

DriverOpener OpenCliKernelSession(CliDocument& cli, const CliSource& source) {
    if (const std::string problem = KernelSourceProblem(); !problem.empty()) {
        Fail(kExitBadInput, problem);
        return nullptr;
    }
    KernelDriverOptions options;
    options.capture.expirySeconds = source.kernelExpiry;
    options.capture.ringBytes = source.kernelRingMiB << 20;
    options.capture.pids = source.kernelPids;
    options.capture.comm = source.kernelComm;
    cli.kernel = std::make_shared<CKernelDriverSession>(options);
    DriverOpener inner = cli.kernel->Opener();
    // A load that fails after the checks says why in its own line.
    return [inner, session = cli.kernel](const std::string& path) {
        auto device = inner(path);
        if (!device && !session->Status().error.empty())
            Fail(kExitBadInput, session->Status().error);
        return device;
    };
}

std::string KernelSummary(const CliDocument& cli) {
    if (!cli.kernel) return {};
    return "; " + std::to_string(cli.kernel->Status().unfinished) + " requests without completion";
}

uint64_t KernelDropped(const CliDocument& cli) {
    return cli.kernel ? cli.kernel->Status().dropped : 0;
}

#else

std::string KernelProblem() {
    return "the kernel source is not in this build (" VANTREL_KERNEL_MISSING ")";
}

DriverOpener OpenCliKernelSession(CliDocument&, const CliSource&) {
    Fail(kExitBadInput, KernelProblem());
    return nullptr;
}

std::string KernelSummary(const CliDocument&) {
    return {};
}

uint64_t KernelDropped(const CliDocument&) {
    return 0;
}

#endif

}  // namespace vantrel::cli
