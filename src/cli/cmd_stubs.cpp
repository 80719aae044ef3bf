// Commands not built yet. Each moves to its own file when it is built.
#include "cli/cli.h"

namespace vantrel::cli {
int CmdRecords(const Args&) { return Fail(kExitUsage, "records: not available yet"); }
int CmdRoundtrip(const Args&) { return Fail(kExitUsage, "roundtrip: not available yet"); }
int CmdDump(const Args&) { return Fail(kExitUsage, "dump: not available yet"); }
int CmdIoctl(const Args&) { return Fail(kExitUsage, "ioctl: not available yet"); }
}  // namespace vantrel::cli
