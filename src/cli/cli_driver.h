#pragma once
// The driver a command opens: `--driver
// sim|trace|kernel|replay:FILE|remote:HOST:PORT|device|none`, or `--trace`
// or `--kernel` (short forms for the trace driver and the kernel source),
// else VANTREL_DRIVER.

#include <string>
#include <string_view>

#include "cli/cli.h"
#include "endpoint/source_choice.h"

namespace vantrel::cli {

struct DriverOption {
    SourceChoice choice;
    bool onCommandLine = false;  // --driver or --trace was given
};

// Takes `--driver WORD` and `--trace` out of `args` (the words before a
// `--`) and sets `option`. Returns kExitOk, or the exit code after its
// message: a usage error for a repeated option, for both forms at once, for
// a missing or unknown word; 2 when VANTREL_DRIVER (used only when the
// command line names no driver) is not a driver.
int TakeDriverOption(Args& args, DriverOption& option, std::string_view usage);

}  // namespace vantrel::cli
