// Runs vantrel-cli export on test files made here.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_readers.h"
#include "record/test_file.h"
#include "support/cli_fixture.h"

namespace vantrel {
namespace {

using vantrel::testing::CliCall;
using vantrel::testing::CliRun;
using vantrel::testing::ReadFileBytes;

namespace fs = std::filesystem;

class ExportCliTest : public testing::CliFixture {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "run");
        std::ofstream(m_dir / "run" / "a.vtl", std::ios::binary) << Sample();
    }

    // Standard output goes to `stdoutPath` (a file of the run folder unless given).
    CliRun Cli(const std::string& args, std::string stdoutPath = {}) {
        CliCall call;
        call.stdoutPath = std::move(stdoutPath);
        return RunProgram(args, call);
    }
    // A quoted path in the run folder.
    std::string Run(const char* name) const {
        std::string quoted(1, '\'');
        quoted += (m_dir / "run" / name).string();
        quoted += '\'';
        return quoted;
    }
    size_t RunFolderSize() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir / "run"), {}));
    }

    // A read with an awkward description, a device control, a power IRP.
    static std::string Sample() {
        CRecordList list;
        CIrpRecord a;
        a.GetCapture().MajorFunction = IRP_MJ_READ;
        a.GetCapture().SetParam32(par::Length, 512);
        a.SetDescription("Disk, \"0\"\r\n\xE4");
        a.SetLatency(0.1f);
        list.Append(a);
        CIrpRecord b;
        b.GetCapture().MajorFunction = IRP_MJ_DEVICE_CONTROL;
        b.GetCapture().SetParam32(par::OutputBufferLength, 2);
        b.GetCapture().SetParam32(par::InputBufferLength, 2);
        b.GetCapture().SetParam32(par::IoControlCode, 0x002D1400);
        b.GetCapture().OutputData[0] = 0xFE;
        b.GetCapture().InputData[0] = 0x11;
        list.Append(b);
        CIrpRecord c;
        c.GetCapture().MajorFunction = IRP_MJ_POWER;
        c.GetCapture().MinorFunction = IRP_MN_SET_POWER;
        c.GetCapture().SetParam32(par::State, 3);
        list.Append(c);
        std::string bytes;
        StoreTestFile({10, 0, 0, 0}, list, bytes);
        return bytes;
    }
};

TEST_F(ExportCliTest, BothFormatsToStdoutAndToAFile) {
    const CliRun csv = Cli("export " + Run("a.vtl") + " --format csv");
    EXPECT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.err, "");
    const auto rows = test::ReadCsv(csv.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][4], "Disk, \"0\"\r\n\xC3\xA4");
    EXPECT_EQ(rows[2][12], "0x0500");  // ioctl_function
    EXPECT_EQ(rows[2][16], "fe00");    // output_hex
    EXPECT_EQ(rows[2][17], "") << "a test file stores no input bytes";
    EXPECT_EQ(rows[3][15],
              "ULONG SystemContext=0x00000000; POWER_STATE_TYPE Type=0x00000000; "
              "SYSTEM_POWER_STATE State=0x00000003; DEVICE_POWER_STATE State=0x00000003; "
              "POWER_ACTION ShutdownType=0x00000000");

    const CliRun jsonl = Cli("export --format jsonl " + Run("a.vtl"));
    EXPECT_EQ(jsonl.exitCode, 0) << jsonl.err;
    const auto objects = test::ReadJsonLines(jsonl.out);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0].value("latency_ms").toDouble(), 0.1);
    EXPECT_TRUE(objects[1].value("input_hex").isNull());
    EXPECT_EQ(objects[2].value("minor").toString(), "IRP_MN_SET_POWER");

    // --output writes the same bytes, and nothing on stdout.
    for (const auto& [format, text] : {std::pair{"csv", csv.out}, std::pair{"jsonl", jsonl.out}}) {
        const CliRun r =
            Cli("export " + Run("a.vtl") + " --format " + format + " --output " + Run("out"));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(ReadFileBytes(m_dir / "run" / "out"), text);
    }
    EXPECT_EQ(RunFolderSize(), 2u) << "the input and OUT only";
}

TEST_F(ExportCliTest, BadInputExitsTwoAndLeavesNoFile) {
    const std::string missing = (m_dir / "run" / "no" / "x.csv").string();
    CliRun r = Cli("export " + Run("a.vtl") + " --format csv --output '" + missing + "'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "vantrel-cli: " + missing + ": cannot create the file: No such file or directory\n");

    std::string cut = Sample();
    cut.resize(cut.size() - 2);
    std::ofstream(m_dir / "run" / "cut.vtl", std::ios::binary) << cut;
    r = Cli("export " + Run("cut.vtl") + " --format jsonl --output " + Run("out.jsonl"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("cut.vtl: record 2"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";

    r = Cli("export " + Run("a.vtl") + " --format xml");
    EXPECT_EQ(r.exitCode, 64) << "an unknown choice is a usage error";
    EXPECT_EQ(r.err.rfind("vantrel-cli: not an export format (csv or jsonl): xml; usage: ", 0), 0u);
    EXPECT_EQ(RunFolderSize(), 2u) << "nothing written next to the inputs";

    r = Cli("export " + Run("a.vtl") + " --format csv", "/dev/full");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "vantrel-cli: standard output: cannot write: No space left on device\n");
}

TEST_F(ExportCliTest, UsageErrorsExit64) {
    const std::string file = Run("a.vtl");
    for (const std::string& args : std::vector<std::string>{
             "export", "export " + file, "export " + file + " --format",
             "export " + file + " --format csv --output", "export " + file + " --format csv --zip",
             "export --format csv"}) {
        SCOPED_TRACE(args);
        const CliRun r = Cli(args);
        EXPECT_EQ(r.exitCode, 64);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage: "), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace vantrel
