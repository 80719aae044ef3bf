// vantrel-cli roundtrip IN.vtl OUT.vtl: loads a test file and stores it again.
// A well-formed file comes out byte for byte the same.

#include <string>

#include "cli/cli.h"
#include "cli/cli_output.h"
#include "cli/cli_signals.h"
#include "record/test_file.h"

namespace vantrel::cli {

int CmdRoundtrip(const Args& args) {
    if (args.size() != 2) return Fail(kExitUsage, "usage: roundtrip IN.vtl OUT.vtl");
    std::string error;
    CClaimedOutput output;
    if (!output.Claim(args[1], error, {args[0]})) return Fail(kExitBadInput, error);
    const CRemovePartOnSignal removeOnSignal(output.TempPath());
    TestFileHeader header;
    CRecordList list;
    if (!LoadTestFile(args[0], header, list, &error)) return Fail(kExitBadInput, error);
    if (!StoreClaimedTest(output, header, list, error)) return Fail(kExitBadInput, error);
    return kExitOk;
}

}  // namespace vantrel::cli
