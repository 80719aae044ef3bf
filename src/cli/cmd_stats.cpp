// vantrel-cli stats and points: the Statistics page and the Graph View's
// points of a saved test, as text.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/statistics.h"
#include "cli/cli_analysis.h"

namespace vantrel::cli {
namespace {

constexpr char kStatsUsage[] =
    "stats FILE.vtl [--device-controls | --ioctl CODE --object NAME] [--extended]";
constexpr char kPointsUsage[] =
    "points FILE.vtl [--now TICK] [--limits XMIN XMAX YMIN YMAX] [--device-controls | --ioctl "
    "CODE --object NAME]";

int Usage(const char* usage, const std::string& why) {
    return Fail(kExitUsage, why + "; usage: " + usage);
}

void Line(std::string& out, const std::string* cells, size_t n) {
    for (size_t c = 0; c < n; ++c) {
        if (c) out += '\t';
        out += cells[c];
    }
}

int Flush(const std::string& out, const char* command) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return Fail(kExitBadInput, std::string(command) + ": cannot write to standard output");
    return kExitOk;
}

}  // namespace

int CmdStats(const Args& args) {
    std::string file, error;
    SelectionOptions options;
    bool extended = false;
    int exitCode = kExitOk;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (TakeSelectionOption(args, i, options, exitCode, error)) {
            if (!error.empty())
                return exitCode == kExitUsage ? Usage(kStatsUsage, error) : Fail(exitCode, error);
        } else if (a == "--extended") {
            extended = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage(kStatsUsage, "unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return Usage(kStatsUsage, "one test file only");
        }
    }
    if (file.empty()) return Usage(kStatsUsage, "no test file");
    const RecordSelection selection = LoadedTestSelection(options, error);
    if (!error.empty()) return Usage(kStatsUsage, error);

    TestFileHeader header;
    CRecordList records;
    if (!LoadTestFile(file, header, records, &error)) return Fail(kExitBadInput, error);
    const StatisticsTable table = ComputeStatistics(records, selection, extended);

    std::string out;
    for (std::string_view heading : kStatisticsHeadings) {
        if (!out.empty()) out += '\t';
        out += heading;
    }
    if (extended) {
        for (std::string_view heading : kStatisticsExtendedHeadings) {
            out += '\t';
            out += heading;
        }
    }
    out += '\n';
    for (size_t row = 0; row < kStatisticsRows && table.listed; ++row) {
        const auto cells = StatisticsCells(row, table.rows[row]);
        Line(out, cells.data(), cells.size());
        if (extended) {
            const auto more = StatisticsExtendedCells(table.rows[row]);
            out += '\t';
            Line(out, more.data(), more.size());
        }
        out += '\n';
    }
    return Flush(out, "stats");
}

int CmdPoints(const Args& args) {
    std::string file, error;
    SelectionOptions options;
    std::optional<uint32_t> now;
    std::optional<GraphLimits> limits;
    int exitCode = kExitOk;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (TakeSelectionOption(args, i, options, exitCode, error)) {
            if (!error.empty())
                return exitCode == kExitUsage ? Usage(kPointsUsage, error) : Fail(exitCode, error);
        } else if (a == "--now") {
            if (i + 1 >= args.size()) return Usage(kPointsUsage, "--now needs a value");
            if (now) return Usage(kPointsUsage, "--now given twice");
            now = ParseU32(args[++i]);
            if (!now) return Fail(kExitBadInput, "not a tick count: " + args[i]);
        } else if (a == "--limits") {
            if (i + 4 >= args.size()) return Usage(kPointsUsage, "--limits needs four values");
            if (limits) return Usage(kPointsUsage, "--limits given twice");
            double v[4];
            for (double& d : v) {
                const auto parsed = ParseDouble(args[++i]);
                if (!parsed || !std::isfinite(*parsed))
                    return Fail(kExitBadInput, "not a number: " + args[i]);
                d = *parsed;
            }
            if (v[0] > v[1] || v[2] > v[3])
                return Fail(kExitBadInput,
                            "each minimum of --limits must not be above its maximum");
            limits = GraphLimits{v[0], v[1], v[2], v[3]};
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage(kPointsUsage, "unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return Usage(kPointsUsage, "one test file only");
        }
    }
    if (file.empty()) return Usage(kPointsUsage, "no test file");
    const RecordSelection selection = LoadedTestSelection(options, error);
    if (!error.empty()) return Usage(kPointsUsage, error);

    CGraphModel model;
    if (!LoadTestGraph(file, selection, now, limits, model, error))
        return Fail(kExitBadInput, error);

    std::string out = "samples=" + std::to_string(model.SampleCount()) + "\n";
    char line[64];
    for (size_t i = 0; i < model.PointCount(); ++i) {
        const GraphPoint p = model.PointAt(i);
        std::snprintf(line, sizeof line, "%d\t%d\t%d\t%d\n", p.data, p.x, p.y, p.type);
        out += line;
    }
    return Flush(out, "points");
}

}  // namespace vantrel::cli
