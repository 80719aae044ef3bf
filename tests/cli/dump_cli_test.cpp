// Runs vantrel-cli dump on test files made here.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "catalogue/catalogue.h"
#include "decode/text_block.h"
#include "record/test_file.h"
#include "support/cli_fixture.h"

namespace vantrel {
namespace {

using vantrel::testing::CliCall;
using vantrel::testing::CliRun;
using vantrel::testing::ReadFileBytes;

class DumpCliTest : public testing::CliFixture {
protected:
    void SetUp() override {
        // A device control on the disk with a geometry in its output buffer,
        // and a read.
        IRP_CAPTURE_RECORD dc;
        dc.DeviceObject = 0x81234560;
        dc.MajorFunction = IRP_MJ_DEVICE_CONTROL;
        dc.EndTime = 2400 * 3;
        le::Put32(dc.Parameters + 0, 24);          // OutputBufferLength
        le::Put32(dc.Parameters + 8, 0x00070000);  // IoControlCode
        const uint32_t geometry[] = {0x3A38, 0, 12, 255, 63, 512};
        for (int i = 0; i < 6; ++i) le::Put32(dc.OutputData + 4 * i, geometry[i]);
        CIrpRecord r(dc);
        r.SetLatency(0.003f);
        r.SetDescription("Disk drive");
        r.SetObjectName("\\Device\\Harddisk0\\DR0");
        m_list.Append(r);
        IRP_CAPTURE_RECORD rd;
        rd.DeviceObject = 0x81234560;
        rd.MajorFunction = IRP_MJ_READ;
        le::Put32(rd.Parameters + 0, 4096);
        m_list.Append(CIrpRecord(rd));
        std::string error;
        EXPECT_TRUE(StoreTestFile(Path("t.vtl"), {}, m_list, &error)) << error;
    }

    int Cli(const std::string& args) {
        CliCall call;
        call.workDir = m_dir.string();
        const CliRun r = RunProgram(args, call);
        m_out = r.out;
        m_err = r.err;
        return r.exitCode;
    }
    std::string Expected(uint32_t flags, const CTemplateSnapshot* templates = nullptr,
                         std::string_view output = {}) {
        std::string text;
        OutputSettings settings;
        settings.outputFlags = flags;
        settings.templates = templates;
        settings.outputTemplate = output;
        for (size_t i = 0; i < m_list.Size(); ++i)
            FormatRecord(*m_list.AtUnlocked(i), settings, text);
        return text;
    }
    CRecordList m_list;
    std::string m_out, m_err;
};

TEST_F(DumpCliTest, PrintsEveryBlockWithTheFlagsGiven) {
    ASSERT_EQ(Cli("dump t.vtl"), 0) << m_err;
    EXPECT_EQ(m_out, Expected(63));
    EXPECT_NE(m_out.find("\r\n"), std::string::npos);
    ASSERT_EQ(Cli("dump t.vtl --flags 0x5"), 0) << m_err;
    EXPECT_EQ(m_out, Expected(5));
    ASSERT_EQ(Cli("dump --flags 0 t.vtl"), 0) << m_err;
    EXPECT_EQ(m_out, Expected(0));
}

TEST_F(DumpCliTest, TemplatesComeFromTheCatalogue) {
    ASSERT_TRUE(CCatalogue::Create(Path("cat.db"), true));
    ASSERT_EQ(Cli("dump t.vtl --catalogue cat.db --output-template DISK_GEOMETRY"), 0) << m_err;
    std::string error;
    auto templates = LoadTemplateSnapshot(Path("cat.db"), &error);
    ASSERT_TRUE(templates) << error;
    EXPECT_EQ(m_out, Expected(63, templates.get(), "DISK_GEOMETRY"));
    EXPECT_NE(m_out.find("        int BytesPerSector\t\t\t=\t512\r\n"), std::string::npos);
    // "None" is off: no catalogue is needed at all.
    ASSERT_EQ(Cli("dump t.vtl --output-template None --catalogue missing.db"), 0) << m_err;
    EXPECT_EQ(m_out, Expected(63));
}

TEST_F(DumpCliTest, BadInputAndUsage) {
    EXPECT_EQ(Cli("dump missing.vtl"), 2);
    EXPECT_NE(m_err.find("missing.vtl"), std::string::npos);
    EXPECT_EQ(m_err.find('\n'), m_err.size() - 1);
    EXPECT_EQ(Cli("dump t.vtl --output-template X"), 2);  // no Vantrel.db here
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Vantrel.db"));
    EXPECT_EQ(Cli("dump t.vtl --flags junk"), 2);
    EXPECT_EQ(Cli("dump"), 64);
    EXPECT_EQ(Cli("dump t.vtl --flags"), 64);
    EXPECT_EQ(Cli("dump t.vtl --bogus"), 64);
    EXPECT_EQ(Cli("dump a.vtl b.vtl"), 64);
}

}  // namespace
}  // namespace vantrel
