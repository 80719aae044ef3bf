// vantrel-cli roundtrip IN.vtl OUT.vtl: loads a test file and stores it again.
// A well-formed file comes out byte for byte the same.

#include <string>

#include "cli/cli.h"
#include "record/test_file.h"

namespace vantrel::cli {

int CmdRoundtrip(const Args& args) {
    if (args.size() != 2) return Fail(kExitUsage, "usage: roundtrip IN.vtl OUT.vtl");
    TestFileHeader header;
    CRecordList list;
    std::string error;
    if (!LoadTestFile(args[0], header, list, &error)) return Fail(kExitBadInput, error);
    if (!StoreTestFile(args[1], header, list, &error)) return Fail(kExitBadInput, error);
    return kExitOk;
}

}  // namespace vantrel::cli
