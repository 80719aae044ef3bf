// Commands not built yet. Each moves to its own file when it is built.
#include "cli/cli.h"

namespace vantrel::cli {
int CmdDevices(const Args&) { return Fail(kExitUsage, "devices: not available yet"); }
}  // namespace vantrel::cli
