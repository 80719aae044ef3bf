// Commands not built yet. Each moves to its own file when it is built.
#include "cli/cli.h"

namespace vantrel::cli {
int CmdCapture(const Args&) { return Fail(kExitUsage, "capture: not available yet"); }
}  // namespace vantrel::cli
