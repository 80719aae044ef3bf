// vantrel-cli with the driver chosen by --driver, --trace or VANTREL_DRIVER:
// the usage errors of the choice and of the rate, and the replay of a saved
// capture through the whole pipeline.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/document_fixture.h"

namespace {

using vantrel::testing::CliCall;
using vantrel::testing::CliRun;
using vantrel::testing::ScratchDir;

struct DriverChoiceCliTest : ::testing::Test {
    const ScratchDir scratch{std::string("driver_choice_") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    CliRun Run(const std::string& environment, const std::string& args) {
        CliCall call;
        call.prefix =
            "env -u VANTREL_DRIVER -u VANTREL_SIM_DEVICES -u VANTREL_SIM_RATE " + environment;
        call.workDir = scratch.Path().string();
        return vantrel::testing::RunCli(VANTREL_CLI, args, scratch.Path(), call);
    }
    // The record lines of `records FILE`, without their tick count column.
    std::vector<std::string> RecordsWithoutTicks(const std::string& file) {
        const CliRun r = Run("", "records " + file);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::string> lines;
        std::istringstream in(r.out);
        std::string line;
        std::getline(in, line);  // the header: its ticks are new
        while (std::getline(in, line))
            lines.push_back(std::regex_replace(line, std::regex("\t[0-9]+\t"), "\t\t",
                                               std::regex_constants::format_first_only));
        return lines;
    }
};

TEST_F(DriverChoiceCliTest, BadChoicesAndRatesAreOneLineWithTheirExitCode) {
    struct Row {
        const char* environment;
        const char* args;
        int exitCode;
        const char* message;  // a pattern for the one line on stderr
    };
    const Row rows[] = {
        {"", "capture --all-devices --trace --driver sim", 64,
         "--trace is the short form of --driver trace"},
        {"", "capture --all-devices --driver sim --driver none", 64, "--driver given twice"},
        {"", "capture --all-devices --driver kernelx", 64,
         "not a driver \\(sim, trace, kernel, replay:FILE, remote:HOST:PORT, device or none\\): "
         "kernelx"},
        {"", "devices --driver", 64, "--driver needs a value"},
        {"VANTREL_DRIVER=bogus", "devices", 2, "VANTREL_DRIVER is not a driver .*: bogus"},
        {"", "devices --driver replay:missing.vtl", 2, "missing.vtl"},
        {"", "capture --all-devices --rate 1e99", 2, "not a rate from 0 to 10000000: 1e99"},
        {"", "capture --all-devices --rate inf", 2, "not a rate"},
        {"", "capture --all-devices --rate -5", 2, "not a rate"},
        {"", "capture --all-devices --rate nan", 2, "not a rate"},
        {"VANTREL_SIM_RATE=1e25", "capture --all-devices --count 1", 2,
         "VANTREL_SIM_RATE is not a rate"},
        {"VANTREL_DRIVER=none", "devices", 2, "klavdrv.sys"},
        {"", "devices --driver device", 2, "klavdrv.sys"},  // no real driver here
        {"VANTREL_DRIVER=none", "devices --driver sim", 0, ""},
        {"VANTREL_SIM_RATE=nan", "capture --all-devices --count 1 --rate 1000", 0, ""},
    };
    for (const Row& row : rows) {
        const CliRun r = Run(row.environment, row.args);
        EXPECT_EQ(r.exitCode, row.exitCode) << row.args << "\n" << r.err;
        if (row.exitCode == 0) continue;
        EXPECT_TRUE(std::regex_match(
            r.err, std::regex("vantrel-cli: .*" + std::string(row.message) + ".*\n")))
            << row.args << "\n"
            << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << row.args;
    }
}

TEST_F(DriverChoiceCliTest, TheDriverVariableChoosesForDevicesToo) {
    const CliRun sim = Run("", "devices");
    const CliRun trace = Run("VANTREL_DRIVER=trace", "devices");
    EXPECT_EQ(trace.exitCode, 0) << trace.err;
    EXPECT_NE(trace.out, sim.out);
    EXPECT_NE(trace.out.find("\t(files)\t"), std::string::npos);
}

TEST_F(DriverChoiceCliTest, ReplayGivesBackTheSavedRecordsInOrderAndOnlyTheChosenMajors) {
    ASSERT_EQ(Run("", "capture --all-devices --count 3000 --rate 50000 --save t.vtl").exitCode, 0);
    const std::vector<std::string> saved = RecordsWithoutTicks("t.vtl");
    ASSERT_GE(saved.size(), 3000u);

    const CliRun all = Run("", "capture --driver replay:t.vtl --all-devices --rate 0 --save r.vtl");
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(RecordsWithoutTicks("r.vtl"), saved);
    const CliRun devices = Run("VANTREL_DRIVER=replay:t.vtl", "devices");
    EXPECT_EQ(devices.exitCode, 0);

    ASSERT_EQ(Run("",
                  "capture --driver replay:t.vtl --all-devices --rate 0 "
                  "--majors IRP_MJ_READ,IRP_MJ_WRITE --save m.vtl")
                  .exitCode,
              0);
    std::vector<std::string> chosen;  // renumbered: without the index column
    for (const std::string& line : saved) {
        const std::string rest = line.substr(line.find('\t'));
        if (rest.compare(11, 12, "\t0x00000003\t") == 0 ||
            rest.compare(11, 12, "\t0x00000004\t") == 0)
            chosen.push_back(rest);
    }
    std::vector<std::string> replayed;
    for (const std::string& line : RecordsWithoutTicks("m.vtl"))
        replayed.push_back(line.substr(line.find('\t')));
    ASSERT_FALSE(chosen.empty());
    EXPECT_EQ(replayed, chosen);
}

}  // namespace
