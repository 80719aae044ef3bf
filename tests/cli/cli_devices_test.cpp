// Runs vantrel-cli devices as a user would.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_fixture.h"

namespace {

using vantrel::testing::CliCall;
using vantrel::testing::CliRun;

class CliDevicesTest : public vantrel::testing::CliFixture {
protected:
    CliRun RunCli(const std::string& environment, const std::string& args) const {
        CliCall call;
        call.prefix = "env -u VANTREL_DRIVER -u VANTREL_SIM_DEVICES " + environment;
        return RunProgram(args, call);
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(CliDevicesTest, ListsEveryDeviceObjectOnePerLine) {
    const CliRun r = RunCli("", "devices");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), '\n');
    const auto lines = Lines(r.out);
    EXPECT_GE(lines.size(), 12u);
    const std::regex row("0x[0-9a-f]{8}\t\\\\Device\\\\[^\t]+\t[^\t]*");
    int blank = 0;
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, row)) << line;
        blank += line.back() == '\t';
    }
    EXPECT_EQ(blank, 1);  // the bus device's description is blanked by its flag
    EXPECT_EQ(lines[0], "0x8a3e6030\t\\Device\\Harddisk0\\DR0\tST3500418AS ATA Device");
}

TEST_F(CliDevicesTest, OffersOnlyTheDevicesNamedInTheEnvironment) {
    const CliRun r = RunCli("VANTREL_SIM_DEVICES='\\Device\\Null,\\Device\\Beep'", "devices");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0x8a61f3c8\t\\Device\\Beep\tBeep\n0x8a6204f8\t\\Device\\Null\tNull\n");
}

TEST_F(CliDevicesTest, AbsentDriverIsOneErrorLineAndExitTwo) {
    const CliRun r = RunCli("VANTREL_DRIVER=none", "devices");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "vantrel-cli: The system file 'klavdrv.sys' could not be loaded.  It is most likely "
              "either not present, or in use by another application\n");
}

}  // namespace
