// Runs vantrel-cli records and roundtrip on test files made here.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "record/test_file.h"
#include "support/cli_fixture.h"

namespace vantrel {
namespace {

using vantrel::testing::CliCall;
using vantrel::testing::CliRun;
using vantrel::testing::ReadFileBytes;

class CliTest : public testing::CliFixture {
protected:
    CliRun Cli(const std::string& args) { return RunProgram(args); }
};

std::string Sample() {
    CRecordList list;
    CIrpRecord a;
    a.GetCapture().DeviceObject = 0x81A2B3C4;
    a.GetCapture().MajorFunction = IRP_MJ_READ;
    a.GetCapture().Status = 0xC0000022;
    a.SetLatency(1.2345f);
    a.SetTickCount(4000);
    a.SetDescription(std::string("Disk \xE4", 6));
    a.SetObjectName("\\Device\\Harddisk0\\DR0");
    list.Append(a);
    CIrpRecord b;
    b.GetCapture().MajorFunction = IRP_MJ_PNP;
    b.GetCapture().MinorFunction = IRP_MN_QUERY_CAPABILITIES;
    b.GetCapture().SetParam32(par::CapFlags, 0xFFFFFFFF);
    b.SetLatency(-0.5f);
    list.Append(b);
    std::string bytes;
    StoreTestFile({22, 100, 900, 0}, list, bytes);
    return bytes;
}

TEST_F(CliTest, RecordsPrintsHeaderAndOneLinePerRecord) {
    Write("a.vtl", Sample());
    const CliRun r = Cli("records '" + Path("a.vtl") + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "ymax=22 start=100 stop=900 count=2\n"
              "0\t0x81a2b3c4\t0x00000003\t0x00000000\t0xc0000022\t1.235\t4000\tDisk "
              "\xE4\t\\Device\\Harddisk0\\DR0\n"
              "1\t0x00000000\t0x0000001b\t0x00000009\t0x00000000\t-0.500\t0\t\t\n");
    EXPECT_EQ(r.err, "");

    Write("empty.vtl", std::string(16, '\0'));
    EXPECT_EQ(Cli("records '" + Path("empty.vtl") + "'").out, "ymax=0 start=0 stop=0 count=0\n");
}

TEST_F(CliTest, RoundtripIsByteIdentical) {
    const std::string bytes = Sample();
    Write("in.vtl", bytes);
    const CliRun r = Cli("roundtrip '" + Path("in.vtl") + "' '" + Path("out.vtl") + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(m_dir / "out.vtl"), bytes);
}

TEST_F(CliTest, BadInputAndUsage) {
    std::string cut = Sample();
    cut.resize(cut.size() - 3);
    Write("cut.vtl", cut);
    CliRun r = Cli("records '" + Path("cut.vtl") + "'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cut.vtl: record 1"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";

    r = Cli("roundtrip '" + Path("cut.vtl") + "' '" + Path("out.vtl") + "'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out.vtl")) << "nothing written for a bad input";

    r = Cli("records '" + Path("missing.vtl") + "'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("missing.vtl"), std::string::npos);

    Write("in.vtl", Sample());
    r = Cli("roundtrip '" + Path("in.vtl") + "' '" + m_dir.string() + "'");
    EXPECT_EQ(r.exitCode, 2);

    EXPECT_EQ(Cli("records").exitCode, 64);
    EXPECT_EQ(Cli("records a b").exitCode, 64);
    EXPECT_EQ(Cli("roundtrip a").exitCode, 64);
}

}  // namespace
}  // namespace vantrel
