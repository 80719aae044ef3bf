#include <gtest/gtest.h>

#include "cli/cli.h"

namespace vantrel::cli {
namespace {

TEST(CliIoctl, PrintsTheFourParts) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(CmdIoctl({"0x22020C"}), kExitOk);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Device Type: FILE_DEVICE_UNKNOWN\nFunction: 0x0083\nAccess: FILE_ANY_ACCESS\n"
              "Method: METHOD_BUFFERED\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(CmdIoctl({"4294967295"}), kExitOk);  // decimal, full 32 bits
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "Device Type: 0x0000ffff\nFunction: 0x0fff\nAccess: 0x0003\nMethod: METHOD_NEITHER\n");
}

TEST(CliIoctl, BadInputAndUsage) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(CmdIoctl({"0x100000000"}), kExitBadInput);
    EXPECT_EQ(CmdIoctl({"12abc"}), kExitBadInput);
    EXPECT_EQ(CmdIoctl({""}), kExitBadInput);
    EXPECT_EQ(CmdIoctl({}), kExitUsage);
    EXPECT_EQ(CmdIoctl({"1", "2"}), kExitUsage);
    testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace vantrel::cli
