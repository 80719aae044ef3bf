// vantrel-cli records FILE.vtl: the header and one line per record of a test file.

#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "record/test_file.h"

namespace vantrel::cli {

int CmdRecords(const Args& args) {
    if (args.size() != 1) return Fail(kExitUsage, "usage: records FILE.vtl");
    TestFileHeader header;
    CRecordList list;
    std::string error;
    if (!LoadTestFile(args[0], header, list, &error)) return Fail(kExitBadInput, error);

    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    std::printf("ymax=%u start=%u stop=%u count=%u\n", header.DefaultMaxY, header.FilterStartTick,
                header.FilterStopTick, header.RecordCount);
    const size_t count = list.Size();
    for (size_t i = 0; i < count; ++i) {
        const CIrpRecord& r = *list.AtUnlocked(i);
        std::printf("%u\t0x%.8x\t0x%.8x\t0x%.8x\t0x%.8x\t%.3f\t%u\t", static_cast<unsigned>(i),
                    r.GetDeviceObject(), r.GetMajorFunction(), r.GetMinorFunction(), r.GetStatus(),
                    static_cast<double>(r.GetLatency()), r.GetTickCount());
        // The strings' bytes exactly as stored.
        const std::string_view description = r.DescriptionView();
        const std::string_view name = r.ObjectNameView();
        std::fwrite(description.data(), 1, description.size(), stdout);
        std::fputc('\t', stdout);
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::fputc('\n', stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail(kExitBadInput, "records: cannot write to standard output");
    return kExitOk;
}

}  // namespace vantrel::cli
