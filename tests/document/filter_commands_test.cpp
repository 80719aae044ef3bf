#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "capture/filter_control.h"
#include "document/string_table.h"
#include "platform/debug_output.h"
#include "platform/tick.h"
#include "record/test_file.h"
#include "support/document_fixture.h"

namespace vantrel {
namespace {

namespace pr = protocol;
using testing::ScriptedDriverState;
using testing::ScriptedOpener;

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
        parts.Make(ScriptedOpener(state));
        ASSERT_TRUE(doc().OnNewDocument());
        ASSERT_TRUE(doc().FillDeviceList());
        ASSERT_EQ(doc().Devices().Count(), 4u);
        state->calls.clear();
    }
    void TearDown() override { parts.doc.reset(); }
    CVantrelDoc& doc() { return *parts.doc; }
    const CDeviceList& list() { return doc().Devices(); }
    // A record on the list, as a loaded test would leave it.
    void OneRecordOnTheList() {
        CIrpRecord r;
        r.GetCapture().MajorFunction = 3;
        CRecordList one;
        one.Append(r);
        doc().Pipeline().ReplaceRecords(one);
    }
    static std::vector<size_t> Rows(std::initializer_list<size_t> idx) { return idx; }
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
    testing::DocumentParts parts;
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
    EXPECT_EQ(doc().AddFilter(0, {}, false), CVantrelDoc::AddOutcome::NoIrpSelected);
    ASSERT_EQ(parts.prompts.messages.size(), 1u);
    EXPECT_EQ(parts.prompts.messages[0].first, IDS_NO_IRP_SELECTED);
    EXPECT_EQ(parts.prompts.messages[0].second, BoxIcon::None);
    EXPECT_EQ(doc().AddFilter(1, {}, false), CVantrelDoc::AddOutcome::NoDeviceSelected);
    EXPECT_EQ(parts.prompts.messages[1].first, IDS_NO_DEVICE_SELECTED);
    EXPECT_FALSE(doc().State().FilterActive());
    EXPECT_FALSE(doc().Pipeline().IsRunning());
    EXPECT_TRUE(state->calls.empty());
}

TEST_F(FilterControlTest, AddResetsLogsStartsAndFiltersEachSelectedRow) {
    const testing::ScratchDir dir("filter_add");
    const testing::InFolder here(dir.Path());
    parts.clock.FixLocal(LocalTime{2026, 12, 8, 6, 5, 9});
    OneRecordOnTheList();

    ASSERT_EQ(doc().AddFilter(0x08000001, Rows({2, 0}), true), CVantrelDoc::AddOutcome::Added);
    EXPECT_EQ(doc().RecordCount(), 0u);
    EXPECT_TRUE(doc().Pipeline().IsRunning());
    EXPECT_TRUE(doc().Pipeline().Log().HasFile());
    EXPECT_TRUE(std::filesystem::exists(dir / "12-8-2026 6.5.9.log"));
    EXPECT_EQ(doc().Axes().FilterStopTick(), 0u);
    EXPECT_TRUE(doc().State().FilterActive());
    EXPECT_EQ(list().Row(2)->GetIrpMask(), 0x08000001u);
    EXPECT_EQ(list().Row(1)->GetIrpMask(), 0u);
    // SETMODE and INITBUFF, then one request per row in the given order.
    const auto sent = Activations();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], std::make_pair(kDevices[2], 0x08000001u));
    EXPECT_EQ(sent[1], std::make_pair(kDevices[0], 0x08000001u));
    ASSERT_TRUE(doc().Pipeline().WaitPrinted(2000));
    EXPECT_EQ(parts.pane.Pane(),
              "Filter for PDEVICE_OBJECT 0x8a000030 has been updated\r\n"
              "Filter for PDEVICE_OBJECT 0x8a000010 has been updated\r\n");
    for (const auto& op : parts.pane.Ops()) {
        if (!op.clear) {  // notices only: no record arrived
            EXPECT_EQ(op.colour, kNoticeGrey);
        }
    }
    // A second run: the reset clears the pane before the new notices, even
    // with the threads running.
    doc().RemoveFilter();
    ASSERT_EQ(doc().AddFilter(0x1, Rows({1}), false), CVantrelDoc::AddOutcome::Added);
    ASSERT_TRUE(doc().Pipeline().WaitPrinted(2000));
    EXPECT_EQ(parts.pane.Pane(), "Filter for PDEVICE_OBJECT 0x8a000020 has been updated\r\n");

    doc().RemoveFilter();
    EXPECT_FALSE(doc().Pipeline().Log().IsLogging());
}

// The state a declined Add must leave alone: the threads running from an
// earlier run, a record on the list, notices in the pane, masks on two rows.
class LogQuestionTest : public FilterControlTest {
protected:
    void SetUp() override {
        FilterControlTest::SetUp();
        // A current folder that no longer exists: no log file can be
        // created in it, not even by root.
        std::filesystem::create_directory(dir.Path() / "gone");
        here.emplace(dir.Path() / "gone");
        std::filesystem::remove(dir.Path() / "gone");
        parts.clock.FixLocal(LocalTime{2026, 12, 8, 6, 5, 9});
        ASSERT_EQ(doc().AddFilter(0x1, Rows({1}), false), CVantrelDoc::AddOutcome::Added);
        doc().RemoveFilter();
        OneRecordOnTheList();
        ASSERT_TRUE(doc().UpdateSelection(0x4, Rows({0, 3})));
        ASSERT_TRUE(doc().Pipeline().WaitPrinted(2000));
        state->calls.clear();
        parts.view.Forget();
    }
    void TearDown() override {
        here.reset();
        FilterControlTest::TearDown();
    }
    std::vector<uint32_t> Masks() {
        std::vector<uint32_t> masks;
        for (size_t i = 0; i < list().Count(); ++i) masks.push_back(list().Row(i)->GetIrpMask());
        return masks;
    }

    static constexpr char kLogName[] = "12-8-2026 6.5.9.log";
    testing::ScratchDir dir{"log_question"};
    std::optional<testing::InFolder> here;
};

TEST_F(LogQuestionTest, NoChangesNothingAtAll) {
    const std::string pane = parts.pane.Pane();
    const size_t ops = parts.pane.Ops().size();
    const uint64_t generation = doc().RecordGeneration();
    const uint32_t startTick = doc().Axes().FilterStartTick();
    const std::string title = doc().Title();
    ASSERT_EQ(Masks(), (std::vector<uint32_t>{0x4, 0, 0, 0x4}));

    EXPECT_EQ(doc().AddFilter(0x08000001, Rows({1, 2}), true),
              CVantrelDoc::AddOutcome::LogFileFailed);
    ASSERT_EQ(parts.prompts.questions.size(), 1u);
    EXPECT_EQ(parts.prompts.questions[0].first,
              "The log file \"12-8-2026 6.5.9.log\" cannot be created.\n"
              "Capture without the log file?");
    EXPECT_EQ(parts.prompts.questions[0].second, BoxIcon::Question);
    EXPECT_TRUE(parts.prompts.messages.empty());

    ASSERT_TRUE(doc().Pipeline().WaitPrinted(2000));
    EXPECT_EQ(doc().RecordCount(), 1u);
    EXPECT_EQ(doc().RecordGeneration(), generation);
    EXPECT_EQ(parts.pane.Pane(), pane);
    EXPECT_EQ(parts.pane.Ops().size(), ops) << "no clear, no notice";
    EXPECT_EQ(Masks(), (std::vector<uint32_t>{0x4, 0, 0, 0x4}));
    EXPECT_TRUE(state->calls.empty()) << "nothing sent to the driver";
    EXPECT_TRUE(parts.view.Events().empty());
    EXPECT_EQ(doc().Axes().FilterStartTick(), startTick);
    EXPECT_EQ(doc().Title(), title);
    EXPECT_TRUE(doc().State().FilterActive());
    EXPECT_TRUE(doc().Pipeline().IsRunning());
    EXPECT_FALSE(doc().LogToFileOpen());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(LogQuestionTest, YesCapturesWithoutTheLog) {
    parts.prompts.yesNoAnswers = {true};
    ASSERT_EQ(doc().AddFilter(0x08000001, Rows({1, 2}), true), CVantrelDoc::AddOutcome::Added);
    EXPECT_EQ(parts.prompts.questions.size(), 1u);
    EXPECT_EQ(doc().RecordCount(), 0u) << "the reset came after the answer";
    EXPECT_FALSE(doc().LogToFileOpen());
    EXPECT_FALSE(doc().Pipeline().Log().HasFile());
    EXPECT_EQ(Masks(), (std::vector<uint32_t>{0x4, 0x08000001, 0x08000001, 0x4}));
    const auto sent = Activations();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], std::make_pair(kDevices[1], 0x08000001u));
    ASSERT_TRUE(doc().Pipeline().WaitPrinted(2000));
    EXPECT_EQ(parts.pane.Pane(),
              "Filter for PDEVICE_OBJECT 0x8a000020 has been updated\r\n"
              "Filter for PDEVICE_OBJECT 0x8a000030 has been updated\r\n");
    doc().RemoveFilter();
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "no log file anywhere";
}

TEST_F(LogQuestionTest, ALogThatCanBeCreatedAsksNothing) {
    here.emplace(dir.Path());
    ASSERT_EQ(doc().AddFilter(0x1, Rows({0}), true), CVantrelDoc::AddOutcome::Added);
    EXPECT_TRUE(parts.prompts.questions.empty());
    EXPECT_TRUE(doc().LogToFileOpen());
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path() / kLogName));
    doc().RemoveFilter();
    EXPECT_FALSE(doc().LogToFileOpen());
}

TEST_F(FilterControlTest, RemoveStopsEveryFilteredRowSelectedOrNot) {
    ASSERT_TRUE(doc().UpdateSelection(0x4, Rows({0, 1, 3})));
    parts.pane.Forget();
    state->calls.clear();
    doc().RemoveFilter();
    EXPECT_EQ(parts.pane.Pane(),
              "No longer filtering PDEVICE_OBJECT 0x8a000010\r\n"
              "No longer filtering PDEVICE_OBJECT 0x8a000020\r\n"
              "No longer filtering PDEVICE_OBJECT 0x8a000040\r\n");
    const auto sent = Activations();
    ASSERT_EQ(sent.size(), 3u);
    for (const auto& s : sent) EXPECT_EQ(s.second, 0u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(list().Row(i)->GetIrpMask(), 0u);
    EXPECT_FALSE(doc().State().FilterActive());
    EXPECT_NE(doc().Axes().FilterStopTick(), 0u);
}

TEST_F(FilterControlTest, UpdateAfterAFailedAddFiltersWithoutResetOrThreads) {
    OneRecordOnTheList();
    EXPECT_EQ(doc().AddFilter(0x2, {}, false), CVantrelDoc::AddOutcome::NoDeviceSelected);
    ASSERT_TRUE(doc().UpdateSelection(0x2, Rows({1, 2})));
    EXPECT_EQ(doc().RecordCount(), 1u);
    EXPECT_FALSE(doc().Pipeline().IsRunning());
    EXPECT_TRUE(doc().State().FilterActive());
    EXPECT_EQ(Activations().size(), 2u);
    EXPECT_EQ(parts.pane.Appends(), 2u);
    // No major function: the message, and nothing sent.
    EXPECT_FALSE(doc().UpdateSelection(0, Rows({1})));
    EXPECT_EQ(parts.prompts.messages.back().first, IDS_NO_IRP_SELECTED);
    EXPECT_EQ(Activations().size(), 2u);
}

TEST_F(FilterControlTest, ARefusedRequestMarksNothingAndSaysSo) {
    state->failingCodes.insert(pr::IOCTL_ACTIVATE_FILTER);
    parts.pane.Forget();
    ASSERT_TRUE(doc().UpdateSelection(0x10, Rows({3})));
    EXPECT_EQ(list().Row(3)->GetIrpMask(), 0u);
    EXPECT_FALSE(doc().State().FilterActive());
    EXPECT_EQ(parts.pane.Pane(),
              "No filter on PDEVICE_OBJECT 0x8a000040: the driver refused it\r\n");
    EXPECT_EQ(parts.debug.Text(), "IOCTL_ACTIVATE_FILTER failed.\n");
}

// SIGTERM or SIGHUP to the desktop program: a capture not yet saved is kept;
// a loaded or saved test, or no capture at all, leaves nothing behind.
TEST_F(FilterControlTest, OnlyAnUnsavedCaptureIsKeptWhenTheProgramIsToldToEnd) {
    testing::ScratchDir dir{"keep_unsaved"};
    testing::InFolder here(dir.Path());
    std::string error;
    EXPECT_EQ(doc().KeepUnsavedCapture(error), "") << "no capture yet";
    ASSERT_EQ(doc().AddFilter(0x1, Rows({0}), false), CVantrelDoc::AddOutcome::Added);
    OneRecordOnTheList();
    const std::string kept = doc().KeepUnsavedCapture(error);
    EXPECT_EQ(kept, "vantrel-unsaved-" + std::to_string(::getpid()) + ".vtl") << error;
    TestFileHeader header;
    CRecordList back;
    ASSERT_TRUE(LoadTestFile(kept, header, back, &error)) << error;
    EXPECT_EQ(back.Size(), 1u);
    std::filesystem::remove(kept);
    ASSERT_TRUE(doc().SaveFile("saved.vtl"));
    EXPECT_EQ(doc().KeepUnsavedCapture(error), "") << "saved already";
    doc().RemoveFilter();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
}  // namespace vantrel
