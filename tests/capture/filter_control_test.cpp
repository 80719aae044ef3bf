#include "capture/filter_control.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "analysis/axis_defaults.h"
#include "capture/scripted_driver_device.h"
#include "platform/debug_output.h"
#include "platform/tick.h"
#include "document/string_table.h"
#include "support/recording_sink.h"

namespace vantrel {
namespace {

namespace pr = protocol;
using testing::ScriptedDriverOpener;
using testing::RecordingPrompts;
using testing::ScriptedDriverState;

constexpr uint32_t kDevices[] = {0x8A000010, 0x8A000020, 0x8A000030, 0x8A000040};

class FilterControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        state = std::make_shared<ScriptedDriverState>();
        state->enumerate = [](uint8_t* b, size_t call) {
            if (call < std::size(kDevices)) {
                le::Put32(b + pr::kEnumDeviceObject, kDevices[call]);
                le::Put32(b + pr::kEnumState, 1);
                std::memcpy(b + pr::kEnumObjectName, "\\Device\\X", 10);
            } else {
                le::Put32(b + pr::kEnumState, 0);
            }
            return true;
        };
        SetDebugOutputSink([this](std::string_view s) { debug += s; });
        ASSERT_TRUE(link.OpenDriver(ScriptedDriverOpener(state), prompts));
        ASSERT_TRUE(list.FillDeviceList(link, prompts));
        ASSERT_EQ(list.Count(), 4u);
        state->calls.clear();
    }
    void TearDown() override {
        SetDebugOutputSink(nullptr);
        SetLocalTimeSource({});
    }
    std::vector<const CDeviceObjectInfo*> Rows(std::initializer_list<size_t> idx) {
        std::vector<const CDeviceObjectInfo*> rows;
        for (size_t i : idx) rows.push_back(list.Row(i));
        return rows;
    }
    // The ACTIVATE_FILTER requests sent: device object and mask from the flags.
    std::vector<std::pair<uint32_t, uint32_t>> Activations() const {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& c : state->calls) {
            if (c.code != pr::IOCTL_ACTIVATE_FILTER) continue;
            uint32_t mask = 0;
            for (size_t i = 0; i < 28; ++i) {
                EXPECT_LE(c.bytes[pr::kActivateFlags + i], 1);
                mask |= uint32_t{c.bytes[pr::kActivateFlags + i]} << i;
            }
            out.emplace_back(le::U32(c.bytes.data()), mask);
        }
        return out;
    }

    std::shared_ptr<ScriptedDriverState> state;
    RecordingPrompts prompts;
    CDriverLink link;
    CDeviceList list;
    CRecordList records;
    CDocumentState document;
    test::CRecordingSink pane;
    CCaptureRing ring;
    CCapturePipeline pipeline{records, document, pane, ring, {}};
    CFilterControl filters{list, link, document, pipeline, pane, prompts};
    std::string debug;
};

TEST(FilterMaskTest, SelectionGivesMaskAndFlags) {
    const int createAndPnp[] = {0, 27};
    const uint32_t mask = MaskFromSelection(createAndPnp);
    EXPECT_EQ(mask, 0x08000001u);
    const auto flags = CDriverLink::FlagsFromMask(mask);
    for (size_t i = 0; i < 28; ++i) EXPECT_EQ(flags[i], (i == 0 || i == 27) ? 1 : 0) << i;
    const int odd[] = {-1, 28, 40, 3};
    EXPECT_EQ(MaskFromSelection(odd), 1u << 3);
}

TEST_F(FilterControlTest, AddChecksTheIrpsFirstThenTheDevices) {
    EXPECT_FALSE(filters.AddFilter(0, {}, false));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].first, IDS_NO_IRP_SELECTED);
    EXPECT_EQ(prompts.messages[0].second, BoxIcon::None);
    EXPECT_FALSE(filters.AddFilter(1, {}, false));
    EXPECT_EQ(prompts.messages[1].first, IDS_NO_DEVICE_SELECTED);
    EXPECT_FALSE(document.FilterActive());
    EXPECT_FALSE(pipeline.IsRunning());
    EXPECT_TRUE(state->calls.empty());
}

TEST_F(FilterControlTest, AddResetsLogsStartsAndFiltersEachSelectedRow) {
    const auto dir = std::filesystem::temp_directory_path() / ("vantrel_filter_add_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    SetLocalTimeSource([] { return LocalTime{2026, 12, 8, 6, 5, 9}; });
    records.Append(CIrpRecord());
    CAxisDefaults::Instance().SetFilterStopTick(5);

    ASSERT_TRUE(filters.AddFilter(0x08000001, Rows({2, 0}), true));
    EXPECT_EQ(records.Size(), 0u);
    EXPECT_TRUE(pipeline.IsRunning());
    EXPECT_TRUE(pipeline.Log().HasFile());
    EXPECT_TRUE(std::filesystem::exists(dir / "12-8-2026 6.5.9.log"));
    EXPECT_EQ(CAxisDefaults::Instance().FilterStopTick(), 0u);
    EXPECT_TRUE(document.FilterActive());
    EXPECT_EQ(list.Row(2)->GetIrpMask(), 0x08000001u);
    EXPECT_EQ(list.Row(1)->GetIrpMask(), 0u);
    // SETMODE and INITBUFF, then one request per row in the given order.
    const auto sent = Activations();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], std::make_pair(kDevices[2], 0x08000001u));
    EXPECT_EQ(sent[1], std::make_pair(kDevices[0], 0x08000001u));
    ASSERT_TRUE(pipeline.WaitPrinted(2000));
    EXPECT_EQ(pane.Pane(),
              "Filter for PDEVICE_OBJECT 0x8a000030 has been updated\r\n"
              "Filter for PDEVICE_OBJECT 0x8a000010 has been updated\r\n");
    for (const auto& op : pane.Ops()) {
        if (!op.clear) {
            EXPECT_EQ(op.colour, kNoticeGrey);
        }
    }
    // A second run: the reset clears the pane before the new notices, even
    // with the threads running.
    filters.RemoveFilter();
    ASSERT_TRUE(filters.AddFilter(0x1, Rows({1}), false));
    ASSERT_TRUE(pipeline.WaitPrinted(2000));
    EXPECT_EQ(pane.Pane(), "Filter for PDEVICE_OBJECT 0x8a000020 has been updated\r\n");

    filters.RemoveFilter();
    EXPECT_FALSE(pipeline.Log().IsLogging());
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
}

TEST_F(FilterControlTest, RemoveStopsEveryFilteredRowSelectedOrNot) {
    ASSERT_TRUE(filters.UpdateSelection(0x4, Rows({0, 1, 3})));
    pane.Forget();
    state->calls.clear();
    filters.RemoveFilter();
    EXPECT_EQ(pane.Pane(),
              "No longer filtering PDEVICE_OBJECT 0x8a000010\r\n"
              "No longer filtering PDEVICE_OBJECT 0x8a000020\r\n"
              "No longer filtering PDEVICE_OBJECT 0x8a000040\r\n");
    const auto sent = Activations();
    ASSERT_EQ(sent.size(), 3u);
    for (const auto& s : sent) EXPECT_EQ(s.second, 0u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(list.Row(i)->GetIrpMask(), 0u);
    EXPECT_FALSE(document.FilterActive());
    EXPECT_NE(CAxisDefaults::Instance().FilterStopTick(), 0u);
}

TEST_F(FilterControlTest, UpdateAfterAFailedAddFiltersWithoutResetOrThreads) {
    records.Append(CIrpRecord());
    EXPECT_FALSE(filters.AddFilter(0x2, {}, false));
    ASSERT_TRUE(filters.UpdateSelection(0x2, Rows({1, 2})));
    EXPECT_EQ(records.Size(), 1u);
    EXPECT_FALSE(pipeline.IsRunning());
    EXPECT_TRUE(document.FilterActive());
    EXPECT_EQ(Activations().size(), 2u);
    EXPECT_EQ(pane.Appends(), 2u);
    // No major function: the message, and nothing sent.
    EXPECT_FALSE(filters.UpdateSelection(0, Rows({1})));
    EXPECT_EQ(prompts.messages.back().first, IDS_NO_IRP_SELECTED);
    EXPECT_EQ(Activations().size(), 2u);
}

TEST_F(FilterControlTest, AFailedRequestKeepsTheMaskAndSaysSoOnce) {
    state->failingCodes.insert(pr::IOCTL_ACTIVATE_FILTER);
    ASSERT_TRUE(filters.UpdateSelection(0x10, Rows({3})));
    EXPECT_EQ(list.Row(3)->GetIrpMask(), 0x10u);
    EXPECT_EQ(debug, "IOCTL_ACTIVATE_FILTER failed.\n");
}

}  // namespace
}  // namespace vantrel
