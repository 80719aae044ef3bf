#include "capture/driver_link.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/simulated_driver.h"
#include "platform/debug_output.h"
#include "support/prompts_double.h"
#include "support/scripted_driver.h"
#include "support/test_services.h"

namespace vantrel {
namespace {

using testing::ScriptedDriverState;
using testing::ScriptedOpener;
namespace pr = protocol;

class DriverLinkTest : public ::testing::Test {
protected:
    void SetUp() override { state = std::make_shared<ScriptedDriverState>(); }
    std::string Debug() const { return debug.Text(); }
    std::shared_ptr<ScriptedDriverState> state;
    testing::RecordedDebugOutput debug;
    CDriverLink link{debug.Output()};
};

TEST_F(DriverLinkTest, MissingDriverLeavesTheLinkClosed) {
    EXPECT_FALSE(link.OpenDriver(ScriptedOpener(nullptr)));
    EXPECT_FALSE(link.OpenDriver({}));
    EXPECT_FALSE(link.IsOpen());
    uint8_t speed[4] = {};
    EXPECT_FALSE(link.SendIoctl(pr::IOCTL_PROCSPEED, speed));
}

TEST_F(DriverLinkTest, GatewayPassesTheProtocolLengthOfEachCode) {
    ASSERT_TRUE(link.OpenDriver(ScriptedOpener(state)));
    std::vector<uint8_t> buffer(pr::kEnumSize);
    EXPECT_TRUE(link.SendIoctl(pr::IOCTL_SETUPFILTERS, nullptr));
    for (uint32_t code : {pr::IOCTL_PROCSPEED, pr::IOCTL_SETMODE, pr::IOCTL_INITBUFF,
                          pr::IOCTL_ACTIVATE_FILTER, pr::IOCTL_ENUMDEVICES, pr::IOCTL_UNNAMED_0x91})
        link.SendIoctl(code, buffer.data());
    const uint32_t lengths[] = {4, 4, 12, 8, 32, 2326, 496};
    ASSERT_EQ(state->calls.size(), 7u);
    EXPECT_TRUE(state->calls[0].nullBuffer);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(state->calls[i].inLength, lengths[i]) << i;
        EXPECT_EQ(state->calls[i].outLength, lengths[i]) << i;
    }
    link.Close();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.SendIoctl(pr::IOCTL_PROCSPEED, buffer.data()));
}

TEST_F(DriverLinkTest, CreationRequestsKeepTheSpeedOrOnlyLeaveDebugLines) {
    ASSERT_TRUE(link.OpenDriver(ScriptedOpener(state)));
    state->processorSpeed = 0x00012345;
    EXPECT_TRUE(link.SendSetupFilters());
    EXPECT_TRUE(link.SendProcSpeed());
    EXPECT_EQ(link.ProcessorSpeed(), 0x00012345u);
    EXPECT_EQ(Debug(), "");
    ASSERT_EQ(state->calls.size(), 2u);
    EXPECT_TRUE(state->calls[0].nullBuffer);

    CDriverLink second{debug.Output()};
    ASSERT_TRUE(second.OpenDriver(ScriptedOpener(state)));
    state->failingCodes = {pr::IOCTL_SETUPFILTERS, pr::IOCTL_PROCSPEED};
    EXPECT_FALSE(second.SendSetupFilters());
    EXPECT_FALSE(second.SendProcSpeed());
    EXPECT_EQ(Debug(), "IOCTL_SETUPFILTERS failed.\nIOCTL_PROCSPEED failed.\n");
    EXPECT_EQ(second.ProcessorSpeed(), 0u);
}

TEST_F(DriverLinkTest, CaptureStartAndFilterRequestsCarryTheirBytes) {
    ASSERT_TRUE(link.OpenDriver(ScriptedOpener(state)));
    EXPECT_TRUE(link.SendSetMode(0x00000124));
    EXPECT_TRUE(link.SendInitBuff(0x00000208));
    EXPECT_TRUE(link.SendActivateFilter(0x8A3E6030, CDriverLink::FlagsFromMask(1u << 27)));
    ASSERT_EQ(state->calls.size(), 3u);
    EXPECT_EQ(state->calls[0].bytes, (std::vector<uint8_t>{3, 0, 0, 0, 0, 0, 0, 0, 0x24, 1, 0, 0}));
    EXPECT_EQ(state->calls[1].bytes, (std::vector<uint8_t>{2, 0, 0, 0, 8, 2, 0, 0}));
    std::vector<uint8_t> activate(32, 0);
    activate[0] = 0x30, activate[1] = 0x60, activate[2] = 0x3E, activate[3] = 0x8A;
    activate[4 + 27] = 1;  // IRP_MJ_PNP only
    EXPECT_EQ(state->calls[2].bytes, activate);
    EXPECT_EQ(Debug(), "");

    state->failingCodes = {pr::IOCTL_SETMODE, pr::IOCTL_INITBUFF, pr::IOCTL_ACTIVATE_FILTER};
    EXPECT_FALSE(link.SendSetMode(1));
    EXPECT_FALSE(link.SendInitBuff(1));
    EXPECT_FALSE(link.SendActivateFilter(1, CDriverLink::FlagsFromMask(0)));
    EXPECT_EQ(Debug(),
              "IOCTL_SETMODE failed.\nIOCTL_INITBUFF failed.\nIOCTL_ACTIVATE_FILTER failed.\n");
    std::vector<uint8_t> removeFromDevice1(32, 0);
    removeFromDevice1[0] = 1;
    EXPECT_EQ(state->calls.back().bytes, removeFromDevice1);
}

TEST_F(DriverLinkTest, WorksWithTheSimulatedDriver) {
    CSimulatedDriverSession driver({});
    ASSERT_TRUE(link.OpenDriver(driver.Opener()));
    EXPECT_TRUE(link.SendProcSpeed());
    EXPECT_EQ(link.ProcessorSpeed(), kSimulatedProcessorSpeed);
    EXPECT_EQ(Debug(), "");
    EXPECT_TRUE(link.SendActivateFilter(0x8A3E6030, CDriverLink::FlagsFromMask(0)));
    EXPECT_FALSE(link.SendActivateFilter(0x00000001, CDriverLink::FlagsFromMask(1)));
    EXPECT_EQ(Debug(), "IOCTL_ACTIVATE_FILTER failed.\n");
}

}  // namespace
}  // namespace vantrel
