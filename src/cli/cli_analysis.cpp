#include "cli/cli_analysis.h"

#include "analysis/graph_refresh.h"
#include "platform/tick.h"

namespace vantrel::cli {

bool TakeSelectionOption(const Args& args, size_t& i, SelectionOptions& options, int& exitCode,
                         std::string& error) {
    const std::string& a = args[i];
    if (a == "--device-controls") {
        options.deviceControls = true;
        return true;
    }
    if (a != "--ioctl" && a != "--object") return false;
    if (i + 1 >= args.size()) {
        exitCode = kExitUsage;
        error = a + " needs a value";
        return true;
    }
    if ((a == "--object" && options.object) || (a == "--ioctl" && options.code)) {
        exitCode = kExitUsage;
        error = a + " given twice";
        return true;
    }
    const std::string& value = args[++i];
    if (a == "--object") {
        options.object = value;
    } else if (const auto code = ParseU32(value)) {
        options.code = *code;
    } else {
        exitCode = kExitBadInput;
        error = "not an IOCTL code: " + value;
    }
    return true;
}

RecordSelection LoadedTestSelection(const SelectionOptions& options, std::string& error) {
    RecordSelection s;  // a loaded test: every device
    if (options.code.has_value() != options.object.has_value()) {
        error = "--ioctl and --object go together";
    } else if (options.deviceControls && options.code) {
        error = "--device-controls and --ioctl exclude each other";
    } else if (options.deviceControls || options.code) {
        s.ioctlFilter = true;
        if (options.code) {
            s.ioctl.code = static_cast<int32_t>(*options.code);
            s.ioctl.objectName = *options.object;
        }
    }
    return s;
}

bool LoadTestGraph(const std::string& file, const RecordSelection& selection,
                   std::optional<uint32_t> now, std::optional<GraphLimits> limits,
                   CGraphModel& model, std::string& error) {
    TestFileHeader header;
    CRecordList records;
    if (!LoadTestFile(file, header, records, &error)) return false;
    model.SetTexts(GraphViewTexts(), kGraphViewOptions);
    model.SetLimits(
        limits.value_or(GraphLimits{0.0, 100.0, 0.0, static_cast<double>(header.DefaultMaxY)}));
    CRecordColumns columns;
    RefreshGraph(columns, records, selection, {header.FilterStartTick, header.FilterStopTick},
                 now.value_or(GetTickCount32()), model);
    return true;
}

}  // namespace vantrel::cli
