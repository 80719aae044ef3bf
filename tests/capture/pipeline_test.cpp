#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "analysis/axis_defaults.h"
#include "capture/capture_pipeline.h"
#include "decode/text_block.h"
#include "platform/debug_output.h"
#include "platform/tick.h"
#include "record/le.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"
#include "support/test_services.h"

namespace vantrel {
namespace {

using test::CRecordingSink;
using namespace std::chrono_literals;

IRP_CAPTURE_RECORD MakeCapture(uint32_t device, uint32_t major, uint32_t serial) {
    IRP_CAPTURE_RECORD c;
    c.DeviceObject = device;
    c.MajorFunction = major;
    c.StartTime = 1000;
    c.EndTime = 1000 + 2400ull * serial;  // serial microseconds at 2400 ticks/us
    c.Status = serial;                    // the record's identity in these tests
    le::Put32(c.Parameters + par::IoControlCode, serial);
    return c;
}

// Plays the driver: writes one record into the next slot; false when the
// ring is full (the driver drops it).
bool DriverWrite(CCaptureRing& ring, const IRP_CAPTURE_RECORD& c) {
    const uint32_t write = ring.WriteIndex();
    const uint32_t next = (write + 1) % protocol::kRingSlots;
    if (next == std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(ring.Base()))
                    .load(std::memory_order_acquire)) {
        return false;
    }
    c.Write(ring.DriverSlot(write));
    ring.DriverSetWriteIndex(next);
    ring.DataReady().Set();
    return true;
}

class MapDirectory : public IDeviceDirectory {
public:
    bool FindTexts(uint32_t device, CText& description, CText& name) const override {
        auto it = m_rows.find(device);
        if (it == m_rows.end()) return false;
        description = it->second.first;
        name = it->second.second;
        return true;
    }
    std::map<uint32_t, std::pair<CText, CText>> m_rows;
};

// ---- drain ----------------------------------------------------------------

TEST(DrainTest, TakesSlotsInRingOrderAcrossTheWrap) {
    CCaptureRing ring;
    for (uint32_t slot : {198u, 199u, 0u, 1u, 2u}) {
        MakeCapture(0x100 + slot, slot == 0 ? uint32_t{IRP_MJ_DEVICE_CONTROL} : 3u, slot)
            .Write(ring.DriverSlot(slot));
    }
    ring.SetReadIndex(198);
    ring.DriverSetWriteIndex(3);

    MapDirectory devices;
    devices.m_rows[0x100 + 199] = {CText("Disk drive"), CText("\\Device\\Harddisk0\\DR0")};
    testing::TestClock clock;
    clock.FixTick(4242);
    DrainContext context;
    context.clock = &clock;
    context.processorSpeed = 2400;
    context.devices = &devices;
    std::vector<std::pair<uint32_t, CText>> controls;
    context.deviceControls = &controls;
    CRecordList list;
    CRingDrain drain;
    EXPECT_EQ(drain.Drain(ring, list, context), 5u);

    ASSERT_EQ(list.Size(), 5u);
    const uint32_t expected[] = {198, 199, 0, 1, 2};
    for (size_t i = 0; i < 5; ++i) {
        const CIrpRecord& r = *list.AtUnlocked(i);
        EXPECT_EQ(r.GetStatus(), expected[i]);
        EXPECT_EQ(r.GetTickCount(), 4242u);
        EXPECT_FLOAT_EQ(r.GetLatency(), expected[i] * 0.001f);
    }
    EXPECT_EQ(list.AtUnlocked(1)->GetDescription(), "Disk drive");
    EXPECT_EQ(list.AtUnlocked(1)->GetObjectName(), "\\Device\\Harddisk0\\DR0");
    EXPECT_TRUE(list.AtUnlocked(0)->GetDescription().empty());
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].first, 0u);  // slot 0's serial is its IOCTL code
    EXPECT_EQ(ring.ReadIndex(), 3u);
    EXPECT_EQ(drain.Drain(ring, list, context), 0u);
}

TEST(DrainTest, IndicesOutsideTheRingAreAFaultReportedOnce) {
    testing::RecordedDebugOutput debug;
    DrainContext context;
    context.debug = debug.Output();
    CCaptureRing ring;
    CRecordList list;
    CRingDrain drain;
    ring.DriverSetWriteIndex(200);
    EXPECT_EQ(drain.Drain(ring, list, context), 0u);
    ring.DriverSetWriteIndex(0xFFFFFFFF);
    EXPECT_EQ(drain.Drain(ring, list, context), 0u);
    EXPECT_EQ(debug.Lines().size(), 1u);
    EXPECT_TRUE(drain.FaultSeen());
    EXPECT_EQ(ring.ReadIndex(), 0u);
    // Sane indices again: draining goes on.
    ring.DriverSetWriteIndex(2);
    EXPECT_EQ(drain.Drain(ring, list, context), 2u);
    EXPECT_EQ(debug.Lines().size(), 1u);
}

// ---- pipeline -------------------------------------------------------------

class PipelineTest : public ::testing::Test {
protected:
    std::unique_ptr<CCapturePipeline> Make(PipelineHooks hooks = {}) {
        hooks.devices = &m_devices;
        auto p = std::make_unique<CCapturePipeline>(
            PipelineParts{m_list, m_doc, m_axes, m_selection, m_templates, m_sink, m_sink, m_ring},
            std::move(hooks));
        p->SetProcessorSpeed(2400);
        return p;
    }

    void Feed(uint32_t count, uint32_t device = 0x10, uint32_t major = 3) {
        for (uint32_t i = 0; i < count; ++i) {
            while (!DriverWrite(m_ring, MakeCapture(device, major, m_serial))) {
                std::this_thread::sleep_for(100us);
            }
            ++m_serial;
        }
    }

    // Text of one record as the printing thread would make it.
    static std::string Block(const CIrpRecord& r) {
        std::string s;
        FormatRecord(r, {}, s);
        return s;
    }

    MapDirectory m_devices;
    CRecordList m_list;
    CDocumentState m_doc;
    CAxisDefaults m_axes;
    CPublished<IoctlFilterSelection> m_selection;
    CPublished<CTemplateSnapshot> m_templates;
    CRecordingSink m_sink;
    CCaptureRing m_ring;
    uint32_t m_serial = 0;
};

TEST_F(PipelineTest, StartHandsRingAndEventToTheDriverOnce) {
    std::vector<std::pair<uint32_t, uint32_t>> handed;
    PipelineHooks hooks;
    hooks.handToDriver = [&](uint32_t e, uint32_t r) { handed.emplace_back(e, r); };
    auto p = Make(hooks);
    const auto t0 = std::chrono::steady_clock::now();
    p->StartCapture();
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 100ms);
    p->StartCapture();
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].first, m_ring.DataReadyHandle());
    EXPECT_EQ(handed[0].second, m_ring.RingHandle());
}

TEST_F(PipelineTest, The252ndBlockClearsThePaneFirst) {
    auto p = Make();
    p->StartCapture();
    Feed(252);
    ASSERT_TRUE(p->WaitPrinted(5000));
    const auto ops = m_sink.Ops();
    ASSERT_EQ(ops.size(), 253u);
    for (size_t i = 0; i < 251; ++i) EXPECT_FALSE(ops[i].clear) << i;
    EXPECT_TRUE(ops[251].clear);
    EXPECT_FALSE(ops[252].clear);
    EXPECT_EQ(p->PrintedBlockCount(), 1u);
    EXPECT_EQ(m_sink.Pane(), Block(*m_list.AtUnlocked(251)));
}

TEST_F(PipelineTest, NewRecordsPrintInOrderWithColourZeroWhateverTheFilters) {
    m_doc.SetShowAllDevices(false);
    m_doc.SetIoctlFilter(true);
    auto p = Make();
    p->StartCapture();
    Feed(30, 0x20);
    Feed(30, 0x30, IRP_MJ_DEVICE_CONTROL);
    ASSERT_TRUE(p->WaitPrinted(5000));
    std::string expected;
    for (size_t i = 0; i < 60; ++i) expected += Block(*m_list.AtUnlocked(i));
    EXPECT_EQ(m_sink.Pane(), expected);
    for (const auto& op : m_sink.Ops()) EXPECT_EQ(op.colour, kIrpBlockColour);
    EXPECT_EQ(m_sink.Appends(), 60u);
}

TEST_F(PipelineTest, ShowRecordMinusOneDoesNothing) {
    auto p = Make();
    p->StartCapture();
    Feed(5);
    ASSERT_TRUE(p->WaitPrinted(5000));
    m_sink.Forget();
    p->ShowRecord(-1);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(p->WaitPrinted(5000));
    EXPECT_TRUE(m_sink.Ops().empty());
}

TEST_F(PipelineTest, TwoRequestsWithinTheDelayPrintOnlyTheSecondOnce) {
    auto p = Make();
    p->StartCapture();
    Feed(10);
    ASSERT_TRUE(p->WaitPrinted(5000));
    m_sink.Forget();
    p->RequestRange(0, 3);
    std::this_thread::sleep_for(100ms);
    p->RequestRange(5, 7);
    // WaitPrinted also waits for a request that its delay still holds back.
    ASSERT_TRUE(p->WaitPrinted(5000));
    const auto ops = m_sink.Ops();
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_TRUE(ops[0].clear);
    EXPECT_EQ(ops[1].text, Block(*m_list.AtUnlocked(5)));
    EXPECT_EQ(ops[2].text, Block(*m_list.AtUnlocked(6)));
    EXPECT_EQ(p->RangeBlocksPrinted(), 2u);
}

TEST_F(PipelineTest, RangeFromTheDialogStopsAtTheEndOfTheList) {
    auto p = Make();
    p->StartCapture();
    Feed(4);
    ASSERT_TRUE(p->WaitPrinted(5000));
    m_sink.Forget();
    p->RequestRange(1, 100);
    ASSERT_TRUE(p->WaitPrinted(5000));
    EXPECT_EQ(p->RangeBlocksPrinted(), 3u);
}

TEST_F(PipelineTest, RangeTimerStartsTheThreadsWhenNeeded) {
    int handed = 0;
    PipelineHooks hooks;
    hooks.handToDriver = [&](uint32_t, uint32_t) { ++handed; };
    auto p = Make(hooks);
    CIrpRecord r(MakeCapture(1, 3, 1));
    CRecordList loaded;
    loaded.Append(r);
    loaded.Append(r);
    m_doc.SetFileLoaded(true);
    p->ReplaceRecords(loaded);
    p->ShowAllRecords();
    ASSERT_TRUE(p->WaitPrinted(5000));
    EXPECT_TRUE(p->IsRunning());
    EXPECT_EQ(handed, 1);
    EXPECT_EQ(p->RangeBlocksPrinted(), 2u);
}

TEST_F(PipelineTest, RangeSelectionFollowsDeviceAndIoctlFilter) {
    auto p = Make();
    p->StartCapture();
    Feed(3, 0xA);                         // 0..2
    Feed(3, 0xB, IRP_MJ_DEVICE_CONTROL);  // 3..5
    ASSERT_TRUE(p->WaitPrinted(5000));
    le::Put32(m_list.AtUnlocked(4)->GetCapture().Parameters + par::IoControlCode, 0x44);

    auto range = [&] {
        m_sink.Forget();
        const uint64_t before = p->RangeBlocksPrinted();
        p->RequestRange(0, 6);
        EXPECT_TRUE(p->WaitPrinted(5000));
        return p->RangeBlocksPrinted() - before;
    };
    EXPECT_EQ(range(), 6u);  // all devices
    m_doc.SetShowAllDevices(false);
    EXPECT_EQ(range(), 0u);  // no device selected: nothing passes
    m_doc.SetSelectedDevice(CDocumentState::Selection{3, 0xA});
    EXPECT_EQ(range(), 3u);
    m_doc.SetFileLoaded(true);
    EXPECT_EQ(range(), 6u);
    m_doc.SetIoctlFilter(true);
    EXPECT_EQ(range(), 3u);  // device controls, any code
    IoctlFilterSelection sel;
    sel.code = 0x44;
    sel.objectName = "";
    m_selection.Set(sel);
    EXPECT_EQ(range(), 1u);
    sel.objectName = "\\Device\\Other";
    m_selection.Set(sel);
    EXPECT_EQ(range(), 0u);
}

TEST_F(PipelineTest, LogGetsNewRecordsOnlyNeverRangeReprints) {
    const testing::ScratchDir dir("pipeline_log");
    const auto path = dir / LogFileName({2026, 12, 8, 6, 5, 9});
    EXPECT_EQ(LogFileName({2026, 12, 8, 6, 5, 9}), "12-8-2026 6.5.9.log");
    { std::ofstream(path) << "old content that must go"; }
    auto p = Make();
    p->Log().Open(path);
    p->StartCapture();
    Feed(20);
    ASSERT_TRUE(p->WaitPrinted(5000));
    p->RequestRange(0, 20);
    ASSERT_TRUE(p->WaitPrinted(5000));
    EXPECT_EQ(p->RangeBlocksPrinted(), 20u);
    p->Log().Close();
    Feed(2);
    ASSERT_TRUE(p->WaitPrinted(5000));

    std::string expected;
    for (size_t i = 0; i < 20; ++i) expected += Block(*m_list.AtUnlocked(i));
    std::ifstream in(path, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), expected);
}

TEST_F(PipelineTest, LogThatCannotBeCreatedWritesNothingAndSaysSoOnce) {
    testing::RecordedDebugOutput debug;
    PipelineHooks hooks;
    hooks.debug = debug.Output();
    auto p = Make(std::move(hooks));
    p->Log().Open("/nonexistent-folder/x/1-1-2026 0.0.0.log");
    EXPECT_TRUE(p->Log().IsLogging());
    EXPECT_FALSE(p->Log().HasFile());
    p->StartCapture();
    Feed(5);
    ASSERT_TRUE(p->WaitPrinted(5000));
    // The capture thread's scheduling line is not about the log.
    std::vector<std::string> lines;
    for (const std::string& line : debug.Lines())
        if (line.find("thread") == std::string::npos) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("1-1-2026 0.0.0.log"), std::string::npos);
    EXPECT_EQ(m_sink.Appends(), 5u);
}

TEST_F(PipelineTest, ResetEmptiesListResultsAndAxes) {
    auto p = Make();
    p->StartCapture();
    Feed(7);
    ASSERT_TRUE(p->WaitPrinted(5000));
    m_axes.SetMaxY(77);
    m_axes.SetMaxX(55);
    p->ResetRecords();
    EXPECT_EQ(m_list.Size(), 0u);
    EXPECT_EQ(m_sink.Pane(), "");
    EXPECT_EQ(p->PrintedBlockCount(), 0u);
    EXPECT_EQ(m_axes.MaxY(), 10);
    EXPECT_EQ(m_axes.MaxX(), 100);
    // New records print from the start of the new list, after the clear.
    Feed(2);
    ASSERT_TRUE(p->WaitPrinted(5000));
    EXPECT_EQ(m_sink.Pane(), Block(*m_list.AtUnlocked(0)) + Block(*m_list.AtUnlocked(1)));
}

// The driver writes as fast as it can while the GUI thread resets the
// capture and asks for ranges: every record written is either taken once,
// in order, or counted as dropped, and nothing deadlocks.
TEST_F(PipelineTest, StressWithResetsAndRangesLosesNothing) {
    std::atomic<uint64_t> anomalies{0};
    std::atomic<uint32_t> lastSeen{0};
    std::atomic<bool> haveLast{false};
    PipelineHooks hooks;
    hooks.onDeviceControl = [&](uint32_t code, std::string_view, uint64_t) {
        // Device-control records carry increasing serials as their codes.
        const uint32_t s = code;
        if (haveLast.load() && s <= lastSeen.load()) anomalies.fetch_add(1);
        lastSeen.store(s);
        haveLast.store(true);
    };
    auto p = Make(hooks);
    p->StartCapture();
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> written{0}, dropped{0};
    std::thread driver([&] {
        uint32_t serial = 1;
        while (!stop.load(std::memory_order_relaxed)) {
            if (DriverWrite(m_ring, MakeCapture(0x10, IRP_MJ_DEVICE_CONTROL, serial))) {
                written.fetch_add(1, std::memory_order_relaxed);
                ++serial;
            } else {
                dropped.fetch_add(1, std::memory_order_relaxed);
            }
        }
    });
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(40ms);
        if (i % 5 == 4) p->ResetRecords();
        p->RequestRange(0, 300);
        p->ShowAllRecords();
    }
    stop = true;
    driver.join();
    p->PokeDrain();
    ASSERT_TRUE(p->WaitPrinted(20000));
    EXPECT_EQ(p->RecordsTaken(), written.load());
    EXPECT_EQ(anomalies.load(), 0u);
    // Since the last reset the list holds consecutive serials.
    for (size_t i = 1; i < m_list.Size(); ++i) {
        ASSERT_EQ(m_list.AtUnlocked(i)->GetStatus(), m_list.AtUnlocked(i - 1)->GetStatus() + 1);
    }
    EXPECT_GT(written.load(), 1000u);
}

}  // namespace
}  // namespace vantrel
