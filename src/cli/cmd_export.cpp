// vantrel-cli export FILE.vtl --format csv|jsonl [--output OUT]: every record
// of a saved test as CSV or JSON Lines, on standard output or into OUT (which
// appears only once it is complete).

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "cli/cli.h"
#include "cli/cli_output.h"
#include "cli/cli_signals.h"
#include "export/export_file.h"
#include "record/test_file.h"

namespace vantrel::cli {

int CmdExport(const Args& args) {
    constexpr char kUsage[] = "export FILE.vtl --format csv|jsonl [--output OUT]";
    std::string file, formatName, output;
    COnceOptions once;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--format" || a == "--output") {
            if (i + 1 >= args.size())
                return Fail(kExitUsage, a + " needs a value; usage: " + kUsage);
            if (!once.First(a, kUsage)) return kExitUsage;
            (a == "--format" ? formatName : output) = args[++i];
            if (a == "--output" && output.empty())
                return Fail(kExitUsage,
                            std::string("--output needs a file name; usage: ") + kUsage);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Fail(kExitUsage, "unknown option " + a + "; usage: " + kUsage);
        } else if (file.empty()) {
            file = a;
        } else {
            return Fail(kExitUsage, std::string("one test file only; usage: ") + kUsage);
        }
    }
    if (file.empty() || formatName.empty())
        return Fail(kExitUsage, std::string("usage: ") + kUsage);
    const auto format = ParseExportFormat(formatName);
    if (!format)
        return Fail(kExitUsage,
                    "not an export format (csv or jsonl): " + formatName + "; usage: " + kUsage);

    // The output is tried before the input is read.
    std::string error;
    CClaimedOutput claim;
    if (!output.empty() && !claim.Claim(output, error, {file})) return Fail(kExitBadInput, error);
    const CRemovePartOnSignal removeOnSignal(claim.TempPath());
    TestFileHeader header;
    CRecordList records;
    if (!LoadTestFile(file, header, records, &error)) return Fail(kExitBadInput, error);

    ExportRequest request;
    request.format = *format;
    // A test file does not store input bytes.
    request.options.inputBytesKnown = false;
    ExportOutcome outcome;
    if (output.empty()) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY);  // CSV rows end in CR LF, not CR CR LF
#endif
        outcome = ExportRecordsToStream(stdout, "standard output", records, request, &error);
    } else {
        outcome = ExportRecordsToClaimed(claim, records, request, &error);
    }
    return outcome == ExportOutcome::Written ? kExitOk : Fail(kExitBadInput, error);
}

}  // namespace vantrel::cli
