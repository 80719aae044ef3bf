// Whole captures through the document, on the simulated driver.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "decode/text_block.h"
#include "driver/simulated_driver.h"
#include "platform/tick.h"
#include "support/document_fixture.h"
#include "support/wait_until.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::DocumentParts;
using testing::InFolder;
using testing::ScratchDir;

constexpr uint32_t kAllMajors = (1u << 28) - 1;

std::vector<size_t> AllRows(const CVantrelDoc& doc) {
    std::vector<size_t> rows(doc.Devices().Count());
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = i;
    return rows;
}

std::string Block(const CIrpRecord& r) {
    std::string s;
    FormatRecord(r, {}, s);
    return s;
}

// A results pane that takes its time with every block, as a slow window
// would; it never waits for anything else.
class SlowSink final : public IResultsSink {
public:
    void AppendText(std::string_view text, Colour) override {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::lock_guard lock(m_mutex);
        ++m_sinceClear;
        m_last = std::string(text);
    }
    void ClearText() override {
        std::lock_guard lock(m_mutex);
        m_sinceClear = 0;
    }
    size_t SinceClear() const {
        std::lock_guard lock(m_mutex);
        return m_sinceClear;
    }

private:
    mutable std::mutex m_mutex;
    size_t m_sinceClear = 0;
    std::string m_last;
};

// The simulated driver as fast as it goes, on every device object, while
// the GUI side resets the capture and asks for ranges: every record the
// driver wrote is taken exactly once, and nothing hangs.
TEST(CaptureDocumentTest, FullRateWithResetsAndRanges) {
    SimulatedDriverOptions options;
    options.rate = 0;
    options.seed = 11;
    CSimulatedDriverSession driver(options);
    DocumentParts parts;
    parts.Make(driver.Opener());
    CVantrelDoc& doc = *parts.doc;
    ASSERT_TRUE(doc.OnNewDocument());
    ASSERT_TRUE(doc.FillDeviceList());
    ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), false), CVantrelDoc::AddOutcome::Added);
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(50ms);
        if (i % 10 == 9) doc.Pipeline().ResetRecords();
        doc.Pipeline().RequestRange(0, 500);
        if (i % 3 == 0) doc.ShowAllRecords();
    }
    doc.RemoveFilter();
    // The driver may finish a record it began before the removal.
    EXPECT_TRUE(testing::WaitUntil([&] {
        doc.Pipeline().PokeDrain();
        return doc.Pipeline().RecordsTaken() == driver.Stats().written;
    }));
    ASSERT_TRUE(doc.Pipeline().WaitPrinted(30000));
    EXPECT_EQ(doc.Pipeline().RecordsTaken(), driver.Stats().written);
    EXPECT_GT(doc.Pipeline().RecordsTaken(), 10000u);
    EXPECT_FALSE(parts.view.Ioctls().empty());
}

// Two documents in one process, each on its own simulated driver: each
// gets exactly its own records, counters and axis maxima.
TEST(CaptureDocumentTest, TwoDocumentsNeverSeeEachOther) {
    SimulatedDriverOptions a, b;
    a.seed = 3;
    a.rate = 20000;
    a.devices = {"\\Device\\Harddisk0\\DR0"};
    b.seed = 4;
    b.rate = 5000;
    b.devices = {"\\Device\\Serial0", "\\Device\\CdRom0"};
    CSimulatedDriverSession driverA(a), driverB(b);
    DocumentParts pa, pb;
    pa.Make(driverA.Opener());
    pb.Make(driverB.Opener());
    ASSERT_TRUE(pa.doc->OnNewDocument() && pb.doc->OnNewDocument());
    ASSERT_TRUE(pa.doc->FillDeviceList() && pb.doc->FillDeviceList());
    ASSERT_EQ(pa.doc->Devices().Count(), 1u);
    ASSERT_EQ(pb.doc->Devices().Count(), 2u);
    ASSERT_EQ(pa.doc->AddFilter(kAllMajors, AllRows(*pa.doc), false),
              CVantrelDoc::AddOutcome::Added);
    ASSERT_EQ(pb.doc->AddFilter(1u << 3, {1}, false), CVantrelDoc::AddOutcome::Added);
    std::this_thread::sleep_for(400ms);
    pa.doc->RemoveFilter();
    pb.doc->RemoveFilter();
    for (DocumentParts* p : {&pa, &pb}) {
        p->doc->Pipeline().PokeDrain();
        ASSERT_TRUE(p->doc->Pipeline().WaitPrinted(10000));
    }
    const uint32_t diskA = pa.doc->Devices().Row(0)->GetDeviceObject();
    const uint32_t cdromB = pb.doc->Devices().Row(1)->GetDeviceObject();
    ASSERT_GT(pa.doc->RecordCount(), 100u);
    ASSERT_GT(pb.doc->RecordCount(), 0u);
    for (size_t i = 0; i < pa.doc->RecordCount(); ++i)
        ASSERT_EQ(pa.doc->Records().AtUnlocked(i)->GetDeviceObject(), diskA);
    for (size_t i = 0; i < pb.doc->RecordCount(); ++i) {
        const CIrpRecord& r = *pb.doc->Records().AtUnlocked(i);
        ASSERT_EQ(r.GetDeviceObject(), cdromB);
        ASSERT_EQ(r.GetMajorFunction(), 3u);
    }
    EXPECT_EQ(pa.doc->Pipeline().RecordsTaken(), pa.doc->RecordCount());
    EXPECT_EQ(pb.doc->Pipeline().RecordsTaken(), pb.doc->RecordCount());
    EXPECT_EQ(driverA.Stats().written, pa.doc->RecordCount());
    EXPECT_EQ(driverB.Stats().written, pb.doc->RecordCount());
    // Each document's Y range grew only from its own latencies.
    for (DocumentParts* p : {&pa, &pb}) {
        float most = 0;
        for (size_t i = 0; i < p->doc->RecordCount(); ++i)
            most = std::max(most, p->doc->Records().AtUnlocked(i)->GetLatency());
        const int32_t expected = most > 10.0f ? static_cast<int32_t>(most + 10.0) : 10;
        EXPECT_EQ(p->doc->Axes().MaxY(), expected);
    }
    EXPECT_EQ(pb.pane.Pane().find("Harddisk0"), std::string::npos);
}

// A document on a simulated driver at 20,000 IRPs a second whose results
// pane is a SlowSink.
struct SlowPaneDocument {
    explicit SlowPaneDocument(uint64_t seed) : driver(Options(seed)) {
        DocumentServices s;
        s.openDriver = driver.Opener();
        s.prompts = &prompts;
        s.results = &slow;
        s.notices = &notices;
        s.catalogue = CataloguePolicy::PathIfGiven;
        s.clock = &clock;
        doc = std::make_unique<CVantrelDoc>(std::move(s));
    }
    static SimulatedDriverOptions Options(uint64_t seed) {
        SimulatedDriverOptions options;
        options.rate = 20000;
        options.seed = seed;
        return options;
    }
    CSimulatedDriverSession driver;
    testing::TestClock clock;
    SlowSink slow;
    testing::RecordingPrompts prompts;
    test::CRecordingSink notices;
    std::unique_ptr<CVantrelDoc> doc;
};

// Add filter, New and loading a test while the printing thread feeds a slow
// pane: nothing deadlocks, and every record of the final list is printed.
TEST(CaptureDocumentTest, CommandsWhilePrintingIntoASlowPane) {
    ScratchDir dir("slow_pane");
    SlowPaneDocument slowDoc(5);
    CVantrelDoc& doc = *slowDoc.doc;
    ASSERT_TRUE(doc.OnNewDocument());
    ASSERT_TRUE(doc.FillDeviceList());
    ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), false), CVantrelDoc::AddOutcome::Added);
    std::this_thread::sleep_for(150ms);
    doc.RemoveFilter();
    ASSERT_TRUE(doc.SaveFile(dir / "t.vtl"));
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), false), CVantrelDoc::AddOutcome::Added);
        std::this_thread::sleep_for(60ms);
        doc.New();
        std::this_thread::sleep_for(20ms);
        doc.RemoveFilter();
        ASSERT_TRUE(doc.OpenFile(dir / "t.vtl"));
    }
    ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), false), CVantrelDoc::AddOutcome::Added);
    std::this_thread::sleep_for(100ms);
    doc.RemoveFilter();
    doc.Pipeline().PokeDrain();
    ASSERT_TRUE(doc.Pipeline().WaitPrinted(60000));
    const size_t n = doc.RecordCount();
    ASSERT_GT(n, 0u);
    // Blocks since the last clear: a clear comes before every 252nd block.
    const size_t expected = (n - 1) % 251 + 1;
    EXPECT_EQ(slowDoc.slow.SinceClear(), expected) << n;
}

// The log file gets every record taken before Remove, however quickly the
// filter comes off, and equals what was printed as new.
TEST(CaptureDocumentTest, LogHoldsEveryRecordTakenBeforeRemove) {
    ScratchDir dir("log_remove");
    InFolder here(dir.Path());
    SimulatedDriverOptions options;
    options.rate = 50000;
    CSimulatedDriverSession driver(options);
    DocumentParts parts;
    parts.clock.FixLocal(LocalTime{2026, 12, 8, 6, 5, 9});
    parts.Make(driver.Opener());
    CVantrelDoc& doc = *parts.doc;
    ASSERT_TRUE(doc.OnNewDocument());
    ASSERT_TRUE(doc.FillDeviceList());
    ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), true), CVantrelDoc::AddOutcome::Added);
    ASSERT_TRUE(testing::WaitUntil([&] { return doc.Pipeline().RecordsTaken() >= 3000; }));
    // Remove waits for one drain pass, not for its time limit (half a second).
    const auto removing = std::chrono::steady_clock::now();
    doc.RemoveFilter();
    EXPECT_LT(std::chrono::steady_clock::now() - removing, 450ms);
    ASSERT_TRUE(doc.Pipeline().WaitPrinted(30000));
    EXPECT_FALSE(doc.LogToFileOpen());
    std::string expected;
    CRecordList::ReadLock lock(doc.Records());
    for (size_t i = 0; i < lock.Size(); ++i) expected += Block(*lock.At(i));
    std::ifstream in("12-8-2026 6.5.9.log", std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str().size(), expected.size());
    EXPECT_TRUE(got.str() == expected);
}

// Remove and then, straight after it, Add (or Open and then Add), while a
// slow pane keeps the printing thread behind: the first log still gets every
// record of its run, and the second is not closed where the first run ended.
void CheckBothLogsWhole(const char* folder, bool openBetween) {
    ScratchDir dir(folder);
    InFolder here(dir.Path());
    SlowPaneDocument slowDoc(1);
    slowDoc.clock.FixLocal(LocalTime{2026, 12, 8, 6, 5, 1});
    CVantrelDoc& doc = *slowDoc.doc;
    ASSERT_TRUE(doc.OnNewDocument());
    ASSERT_TRUE(doc.FillDeviceList());
    if (openBetween) {
        ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), false), CVantrelDoc::AddOutcome::Added);
        ASSERT_TRUE(testing::WaitUntil([&] { return doc.RecordCount() >= 50; }));
        doc.RemoveFilter();
        ASSERT_TRUE(doc.SaveFile(dir / "small.vtl"));
    }
    ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), true), CVantrelDoc::AddOutcome::Added);
    ASSERT_TRUE(testing::WaitUntil([&] { return doc.RecordCount() >= 2000; }));
    doc.RemoveFilter();
    const size_t firstRun = doc.RecordCount();
    if (openBetween) ASSERT_TRUE(doc.OpenFile(dir / "small.vtl"));
    slowDoc.clock.FixLocal(LocalTime{2026, 12, 8, 6, 5, 2});
    ASSERT_EQ(doc.AddFilter(kAllMajors, AllRows(doc), true), CVantrelDoc::AddOutcome::Added);
    ASSERT_TRUE(testing::WaitUntil([&] { return doc.RecordCount() >= 3 * firstRun; }));
    doc.RemoveFilter();
    ASSERT_TRUE(doc.Pipeline().WaitPrinted(60000));
    EXPECT_FALSE(doc.LogToFileOpen());

    auto read = [](const char* name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream got;
        got << in.rdbuf();
        return got.str();
    };
    const std::string first = read("12-8-2026 6.5.1.log");
    size_t blocks = 0;
    for (size_t at = first.find("IRP Monitor Data"); at != std::string::npos;
         at = first.find("IRP Monitor Data", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, firstRun);
    std::string expected;
    CRecordList::ReadLock lock(doc.Records());
    for (size_t i = 0; i < lock.Size(); ++i) expected += Block(*lock.At(i));
    const std::string next = read("12-8-2026 6.5.2.log");
    EXPECT_EQ(next.size(), expected.size());
    EXPECT_TRUE(next == expected);
}

TEST(CaptureDocumentTest, AddRightAfterRemoveKeepsBothLogsWhole) {
    CheckBothLogsWhole("log_readd", false);
}

TEST(CaptureDocumentTest, OpenRightAfterRemoveKeepsBothLogsWhole) {
    CheckBothLogsWhole("log_reopen", true);
}

}  // namespace
}  // namespace vantrel
