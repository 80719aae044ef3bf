#pragma once
// The kernel source for the CLI: its options (--kernel-expiry,
// --kernel-ring, --pid, --comm; --kernel itself is a driver choice, cli_driver.h) and its session.
// On a build without the kernel source the same calls exist and say why it
// is missing.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_document.h"

namespace vantrel::cli {

// Takes args[i] (and its value) when it is one of the kernel source's
// options: true when taken, with `error` set when its value is bad (then
// the caller fails with exit 2) or missing (`usage` set: exit 64).
bool TakeKernelOption(const std::vector<std::string>& args, size_t& i, CliSource& source,
                      std::string& error, bool& usage);

// Why the kernel source cannot run here (not built, no BTF, no
// permission), or empty.
std::string KernelProblem();

// "; K requests without completion" for the capture's summary line.
std::string KernelSummary(const CliDocument& cli);
// The kernel's drop count.
uint64_t KernelDropped(const CliDocument& cli);

}  // namespace vantrel::cli
