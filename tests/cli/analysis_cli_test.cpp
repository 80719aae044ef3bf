// Runs vantrel-cli stats, points and graph on a test file made here.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "record/test_file.h"
#include "support/cli_fixture.h"

namespace vantrel {
namespace {

using testing::CliCall;
using testing::CliRun;
using testing::ReadFileBytes;

const char* const kRowNames[28] = {"IRP_MJ_CREATE",
                                   "IRP_MJ_CREATE_NAMED_PIPE",
                                   "IRP_MJ_CLOSE",
                                   "IRP_MJ_READ",
                                   "IRP_MJ_WRITE",
                                   "IRP_MJ_QUERY_INFORMATION",
                                   "IRP_MJ_SET_INFORMATION",
                                   "IRP_MJ_QUERY_EA",
                                   "IRP_MJ_SET_EA",
                                   "IRP_MJ_FLUSH_BUFFERS",
                                   "IRP_MJ_QUERY_VOLUME_INFORMATION",
                                   "IRP_MJ_SET_VOLUME_INFORMATION",
                                   "IRP_MJ_DIRECTORY_CONTROL",
                                   "IRP_MJ_FILE_SYSTEM_CONTROL",
                                   "IRP_MJ_DEVICE_CONTROL",
                                   "IRP_MJ_INTERNAL_DEVICE_CONTROL",
                                   "IRP_MJ_SHUTDOWN",
                                   "IRP_MJ_LOCK_CONTROL",
                                   "IRP_MJ_CLEANUP",
                                   "IRP_MJ_CREATE_MAILSLOT",
                                   "IRP_MJ_QUERY_SECURITY",
                                   "IRP_MJ_SET_SECURITY",
                                   "IRP_MJ_POWER",
                                   "IRP_MJ_SYSTEM_CONTROL",
                                   "IRP_MJ_DEVICE_CHANGE",
                                   "IRP_MJ_QUERY_QUOTA",
                                   "IRP_MJ_SET_QUOTA",
                                   "IRP_MJ_PNP"};

const char kHeader[] =
    "Major Code\tSamples\tAvg. Processing Time\tTotal Processing Time\t% Successful";
const char kExtendedHeader[] = "\tMin (ms)\tMedian (ms)\tp99 (ms)\tMax (ms)";

// The whole stats output: the header, then every row, with the figures
// given for some rows and a zero count for the others.
std::string Table(const std::map<int, std::string>& figures, bool extended) {
    std::string out = std::string(kHeader) + (extended ? kExtendedHeader : "") + "\n";
    for (int row = 0; row < 28; ++row) {
        const auto it = figures.find(row);
        out += kRowNames[row];
        out += it != figures.end() ? "\t" + it->second
               : extended          ? "\t0\t\t\t\t\t\t\t"
                                   : "\t0\t\t\t";
        out += "\n";
    }
    return out;
}

class AnalysisCliTest : public testing::CliFixture {
protected:
    void SetUp() override { WriteSample(); }

    CliRun Cli(const std::string& args) { return RunProgram(args); }
    std::string Path(const char* name) const { return "'" + (m_dir / name).string() + "'"; }

    // Eight records: three reads (one pending), three device controls of two
    // codes on two objects, a PnP IRP and one with major code 40. Filter
    // active from tick 1000, not yet stopped; default maximum Y 10.
    void WriteSample() {
        struct R {
            uint32_t major, status;
            float latency;
            uint32_t tick, code;
            const char* name;
        };
        const R rows[] = {
            {IRP_MJ_READ, 0, 1.0f, 3500, 0, "\\Device\\A"},
            {IRP_MJ_READ, 0x103, 2.0f, 6000, 0, "\\Device\\A"},
            {IRP_MJ_READ, 0, 3.0f, 11000, 0, "\\Device\\A"},
            {IRP_MJ_DEVICE_CONTROL, 0, 0.5f, 1000, 0x2D1400, "\\Device\\A"},
            {IRP_MJ_DEVICE_CONTROL, 0xC0000001, 1.5f, 8500, 0x2D1400, "\\Device\\B"},
            {IRP_MJ_DEVICE_CONTROL, 0, 4.25f, 9000, 0x70000, "\\Device\\A"},
            {IRP_MJ_PNP, 0, 0.125f, 2000, 0, "\\Device\\B"},
            {40, 0, 20.0f, 4000, 0, "\\Device\\B"},
        };
        CRecordList list;
        for (const R& r : rows) {
            CIrpRecord rec;
            rec.GetCapture().MajorFunction = r.major;
            rec.GetCapture().Status = r.status;
            rec.GetCapture().SetParam32(par::IoControlCode, r.code);
            rec.SetLatency(r.latency);
            rec.SetTickCount(r.tick);
            rec.SetObjectName(r.name);
            list.Append(rec);
        }
        std::string bytes;
        StoreTestFile({10, 1000, 0, 0}, list, bytes);
        std::ofstream(m_dir / "t.vtl", std::ios::binary) << bytes;
    }
};

TEST_F(AnalysisCliTest, StatsOfEveryRecord) {
    const CliRun r = Cli("stats " + Path("t.vtl"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Table({{3, "3\t2.000\t6.000\t66.67 %"},
                            {14, "3\t2.083\t6.250\t66.67 %"},
                            {27, "1\t0.125\t0.125\t100.00 %"}},
                           false));
}

TEST_F(AnalysisCliTest, StatsExtended) {
    const CliRun r = Cli("stats " + Path("t.vtl") + " --extended");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Table({{3, "3\t2.000\t6.000\t66.67 %\t1.000\t2.000\t3.000\t3.000"},
                            {14, "3\t2.083\t6.250\t66.67 %\t0.500\t1.500\t4.250\t4.250"},
                            {27, "1\t0.125\t0.125\t100.00 %\t0.125\t0.125\t0.125\t0.125"}},
                           true));
}

TEST_F(AnalysisCliTest, StatsWithTheIoctlFilter) {
    CliRun r = Cli("stats --device-controls " + Path("t.vtl"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Table({{14, "3\t2.083\t6.250\t66.67 %"}}, false));

    r = Cli("stats " + Path("t.vtl") + " --ioctl 0x2D1400 --object '\\Device\\A'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Table({{14, "1\t0.500\t0.500\t100.00 %"}}, false));

    r = Cli("stats " + Path("t.vtl") + " --ioctl 2954240 --object '\\Device\\B' --extended");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Table({{14, "1\t1.500\t1.500\t0.00 %\t1.500\t1.500\t1.500\t1.500"}}, true));
}

TEST_F(AnalysisCliTest, StatsRefusals) {
    EXPECT_EQ(Cli("stats").exitCode, 64);
    EXPECT_EQ(Cli("stats " + Path("t.vtl") + " --ioctl 0x2D1400").exitCode, 64);
    EXPECT_EQ(Cli("stats " + Path("t.vtl") + " --device-controls --ioctl 1 --object x").exitCode,
              64);
    EXPECT_EQ(Cli("stats " + Path("t.vtl") + " --median").exitCode, 64);
    EXPECT_EQ(Cli("stats " + Path("t.vtl") + " --ioctl 0xZZ --object x").exitCode, 2);
    const CliRun r = Cli("stats " + Path("missing.vtl"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("missing.vtl"), std::string::npos) << r.err;
}

TEST_F(AnalysisCliTest, PointsOfTheGraphView) {
    // 10 s after the filter started: tick 3500 is at 25 %, virtual x 256.
    CliRun r = Cli("points " + Path("t.vtl") + " --now 11000");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "samples=8\n"
              "0\t256\t76\t2\n"
              "1\t512\t153\t1\n"
              "3\t0\t38\t2\n"
              "4\t768\t115\t1\n"
              "5\t819\t326\t2\n"
              "6\t102\t9\t2\n");

    r = Cli("points " + Path("t.vtl") + " --now 11000 --limits 0 50 0 5");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "samples=8\n0\t512\t153\t2\n3\t0\t76\t2\n6\t204\t19\t2\n");

    r = Cli("points --device-controls " + Path("t.vtl") + " --now 21000");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "samples=3\n3\t0\t38\t2\n4\t384\t115\t1\n5\t409\t326\t2\n");

    EXPECT_EQ(Cli("points " + Path("t.vtl") + " --limits 0 50 0").exitCode, 64);
    EXPECT_EQ(Cli("points " + Path("t.vtl") + " --limits 0 50 0 x").exitCode, 2);
    EXPECT_EQ(Cli("points " + Path("t.vtl") + " --now -5").exitCode, 2);
}

uint32_t BigEndian(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

TEST_F(AnalysisCliTest, GraphAsPngAndPdf) {
    CliRun r = Cli("graph " + Path("t.vtl") + " --output " + Path("g.png") + " --now 11000");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string png = ReadFileBytes(m_dir / "g.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(BigEndian(png, 16), 1024u);
    EXPECT_EQ(BigEndian(png, 20), 768u);

    r = Cli("graph " + Path("t.vtl") + " --output " + Path("s.png") + " --width 640 --height 480");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    png = ReadFileBytes(m_dir / "s.png");
    EXPECT_EQ(BigEndian(png, 16), 640u);
    EXPECT_EQ(BigEndian(png, 20), 480u);

    r = Cli("graph " + Path("t.vtl") + " --output " + Path("g.pdf"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string pdf = ReadFileBytes(m_dir / "g.pdf");
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_EQ(Count(pdf, "/MediaBox [0 0 595"), 1u) << "one A4 page";
    EXPECT_NE(pdf.find("842"), std::string::npos);
}

TEST_F(AnalysisCliTest, GraphRefusals) {
    EXPECT_EQ(Cli("graph " + Path("t.vtl")).exitCode, 64);
    EXPECT_EQ(Cli("graph " + Path("t.vtl") + " --output " + Path("g.txt")).exitCode, 64);
    EXPECT_EQ(
        Cli("graph " + Path("t.vtl") + " --output " + Path("g.pdf") + " --width 800").exitCode, 64);
    EXPECT_EQ(
        Cli("graph " + Path("t.vtl") + " --output " + Path("g.png") + " --width 100").exitCode, 2);
    EXPECT_EQ(Cli("graph " + Path("nope.vtl") + " --output " + Path("g.png")).exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "g.png"));
    EXPECT_EQ(Cli("graph " + Path("t.vtl") + " --output " + Path("no/such/dir/g.png")).exitCode, 2);
}

}  // namespace
}  // namespace vantrel
