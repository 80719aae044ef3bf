#include "capture/device_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/driver_link.h"
#include "driver/simulated_driver.h"
#include "support/scripted_driver.h"
#include "support/test_services.h"

namespace vantrel {
namespace {

using testing::ScriptedDriverState;
using testing::ScriptedOpener;
namespace pr = protocol;

struct Reply {
    uint32_t deviceObject;
    int32_t state;
    std::string description, second, name;
    uint32_t flag = 0;
};

// The text, then zeros to the end of its field; a scripted text never runs
// into the next field.
void PutField(uint8_t* field, size_t size, const std::string& text) {
    ASSERT_LT(text.size(), size);
    std::fill(std::copy(text.begin(), text.end(), field), field + size, uint8_t{0});
}

void PutReply(uint8_t* b, const Reply& r) {
    le::Put32(b + pr::kEnumDeviceObject, r.deviceObject);
    le::Put32(b + pr::kEnumState, static_cast<uint32_t>(r.state));
    PutField(b + pr::kEnumDescription, pr::kEnumDescriptionSize, r.description);
    PutField(b + pr::kEnumSecondName, pr::kEnumSecondNameSize, r.second);
    PutField(b + pr::kEnumObjectName, pr::kEnumObjectNameSize, r.name);
    le::Put32(b + pr::kEnumFlag, r.flag);
}

class DeviceListTest : public ::testing::Test {
protected:
    void SetUp() override {
        state = std::make_shared<ScriptedDriverState>();
        ASSERT_TRUE(link.OpenDriver(ScriptedOpener(state)));
    }
    // The driver answers with these replies, then fails; it checks that
    // every request carries the previous reply unchanged.
    void Script(std::vector<Reply> replies) {
        state->enumerate = [this, replies = std::move(replies)](uint8_t* b, size_t call) {
            if (call == 0) {
                passedBack = le::U32(b + pr::kEnumState) == 1 && le::U32(b) == 0;
            } else {
                passedBack = passedBack && std::equal(b, b + pr::kEnumSize, last.begin());
            }
            fillingSeen = fillingSeen && list.IsFilling();
            if (call >= replies.size()) return false;
            PutReply(b, replies[call]);
            last.assign(b, b + pr::kEnumSize);
            return true;
        };
    }
    std::shared_ptr<ScriptedDriverState> state;
    std::vector<int32_t> reported;
    CDeviceList::ErrorStateReport report = [this](int32_t s) { reported.push_back(s); };
    testing::RecordedDebugOutput debug;
    CDriverLink link{debug.Output()};
    CDeviceList list;
    std::vector<uint8_t> last;
    bool passedBack = false;
    bool fillingSeen = true;
};

TEST_F(DeviceListTest, EveryStateCodeHasItsOutcome) {
    Script({{0x10, -5, "skip", "", "\\Device\\Skip"},
            {0x20, -3, "Beep", "Root\\LEGACY_BEEP\\0000", "\\Device\\Beep"},
            {0x30, -1, "", "", ""},
            {0x40, 1, "PCI bridge", "PCI\\VEN_8086", "\\Device\\00000034", 1},
            {0x50, -4, "", "", ""},
            {0x60, -2, "", "", ""},
            {0x70, 7, "Serial", "ACPI\\PNP0501\\1", "\\Device\\Serial0"},
            {0, 0, "", "", ""}});
    EXPECT_TRUE(list.FillDeviceList(link, report));
    EXPECT_TRUE(passedBack);
    EXPECT_TRUE(fillingSeen);
    EXPECT_FALSE(list.IsFilling());
    EXPECT_EQ(state->enumCalls, 8u);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Row(0)->GetDeviceObject(), 0x20u);  // -3 is a row
    EXPECT_EQ(list.Row(0)->GetDescription().view(), "Beep");
    EXPECT_EQ(list.Row(0)->GetSecondText().view(), "Root\\LEGACY_BEEP\\0000");
    const CDeviceObjectInfo* flagged = list.Row(1);
    EXPECT_EQ(flagged->GetFlag(), 1u);
    EXPECT_TRUE(flagged->GetDescription().empty());  // blanked by the flag
    EXPECT_EQ(flagged->GetName().view(), "\\Device\\00000034");
    EXPECT_EQ(flagged->GetSecondText().view(), "PCI\\VEN_8086");
    EXPECT_EQ(list.Row(2)->GetName().view(), "\\Device\\Serial0");
    EXPECT_EQ(list.Row(2)->GetIrpMask(), 0u);
    EXPECT_EQ(list.Row(3), nullptr);
    EXPECT_EQ(reported, (std::vector<int32_t>{-1, -4, -2}));
}

TEST_F(DeviceListTest, SkipThenDoneAddsNothingAndShowsNothing) {
    Script({{0x10, -5, "", "", ""}, {0, 0, "", "", ""}});
    EXPECT_TRUE(list.FillDeviceList(link, report));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(list.FindDeviceObject(0x10), nullptr);
}

TEST_F(DeviceListTest, FindDeviceObjectReturnsTheUpperOfTwoRows) {
    Script({{0x20, 1, "first", "", "\\Device\\A"},
            {0x30, 1, "other", "", "\\Device\\B"},
            {0x20, 1, "second", "", "\\Device\\C"},
            {0, 0, "", "", ""}});
    ASSERT_TRUE(list.FillDeviceList(link, report));
    ASSERT_NE(list.FindDeviceObject(0x20), nullptr);
    EXPECT_EQ(list.FindDeviceObject(0x20)->GetName().view(), "\\Device\\A");
    EXPECT_EQ(list.FindDeviceObject(0x20), list.Row(0));
    EXPECT_EQ(list.FindDeviceObject(0x99), nullptr);
    list.Row(2)->SetIrpMask(1u << 27);
    EXPECT_EQ(list.Row(2)->GetIrpMask(), 1u << 27);
    EXPECT_EQ(list.Row(0)->GetIrpMask(), 0u);
}

TEST_F(DeviceListTest, AFailedRequestEndsTheFillAndKeepsTheRows) {
    Script({{0x20, 1, "a", "", "\\Device\\A"}, {0x30, 1, "b", "", "\\Device\\B"}});  // then fails
    EXPECT_FALSE(list.FillDeviceList(link, report));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_FALSE(list.IsFilling());
    EXPECT_TRUE(reported.empty());
}

TEST_F(DeviceListTest, TextsWithoutTheirNulStopAtTheFieldEnd) {
    state->enumerate = [](uint8_t* b, size_t call) {
        if (call == 0) {
            le::Put32(b, 0x40);
            le::Put32(b + pr::kEnumState, 1);
            std::memset(b + pr::kEnumDescription, 'D', pr::kEnumDescriptionSize);
            std::memset(b + pr::kEnumSecondName, 'S', pr::kEnumSecondNameSize);
            std::memset(b + pr::kEnumObjectName, 'N', pr::kEnumObjectNameSize);
            le::Put32(b + pr::kEnumFlag, 0);
        } else {
            le::Put32(b + pr::kEnumState, 0);
        }
        return true;
    };
    ASSERT_TRUE(list.FillDeviceList(link, report));
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Row(0)->GetDescription().view(), std::string(260, 'D'));
    EXPECT_EQ(list.Row(0)->GetSecondText().view(), std::string(780, 'S'));
    // The flag word follows the name directly: the name must not run into it.
    EXPECT_EQ(list.Row(0)->GetName().view(), std::string(794, 'N'));
}

TEST_F(DeviceListTest, ADriverThatNeverEndsIsGivenUp) {
    state->enumerate = [](uint8_t* b, size_t) {
        le::Put32(b + pr::kEnumState, static_cast<uint32_t>(-5));
        return true;
    };
    EXPECT_FALSE(list.FillDeviceList(link, report));
    EXPECT_EQ(debug.Text(), "IOCTL_ENUMDEVICES: the driver did not end its device list.\n");
    EXPECT_EQ(state->enumCalls, CDeviceList::kMaxReplies);
    EXPECT_FALSE(list.IsFilling());
}

TEST_F(DeviceListTest, FillsFromTheSimulatedDriverWhileTheCaptureSideLooksUp) {
    CSimulatedDriverSession driver({});
    CDriverLink sim;
    ASSERT_TRUE(sim.OpenDriver(driver.Opener()));
    std::atomic<bool> done{false};
    std::thread reader([&] {  // the capture thread's lookups during a fill
        while (!done.load()) {
            if (const CDeviceObjectInfo* row = list.FindDeviceObject(0x8A4C2D10)) {
                EXPECT_EQ(row->GetName().view(), "\\Device\\Serial0");
            }
            for (size_t i = 0; i < list.Count(); ++i) list.Row(i);
        }
    });
    EXPECT_TRUE(list.FillDeviceList(sim, report));
    done = true;
    reader.join();
    EXPECT_GE(list.Count(), 12u);
    EXPECT_TRUE(reported.empty());
    size_t blank = 0;
    for (size_t i = 0; i < list.Count(); ++i) blank += list.Row(i)->GetDescription().empty();
    EXPECT_EQ(blank, 1u);
    EXPECT_EQ(list.Row(0)->GetName().view(), "\\Device\\Harddisk0\\DR0");
    // Filling again rebuilds the list instead of doubling it.
    const size_t rows = list.Count();
    EXPECT_TRUE(list.FillDeviceList(sim, report));
    EXPECT_EQ(list.Count(), rows);
}

}  // namespace
}  // namespace vantrel
