// Whole-list export: the file appears only when complete, progress and
// cancelling, failures named in one line, and a list cleared mid-way.

#include "export/export_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "export/export_readers.h"
#include "support/scratch_dir.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> FolderEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

// More records than one step of the export, so progress comes more than once.
constexpr size_t kRecords = 10'000;

void Fill(CRecordList& list, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        list.AppendWith([i](CIrpRecord& r) {
            IRP_CAPTURE_RECORD& c = r.GetCapture();
            c.DeviceObject = 0x81000000u + static_cast<uint32_t>(i % 5);
            c.MajorFunction = i % 3 == 0 ? IRP_MJ_DEVICE_CONTROL : IRP_MJ_READ;
            c.SetParam32(par::OutputBufferLength, static_cast<uint32_t>(i % 7));
            c.SetParam32(par::IoControlCode, 0x002D1400);
            r.SetTickCount(static_cast<uint32_t>(i));
            r.SetLatency(static_cast<float>(i) / 8);
            r.SetDescription(i % 2 ? "Disk, \"one\"" : "Volume\r\n\xE4");
        });
    }
}

class ExportFileTest : public ::testing::Test {
protected:
    void SetUp() override { Fill(m_list, kRecords); }

    std::string Expected(ExportFormat format, const ExportOptions& options = {}) const {
        std::string out;
        AppendExportHeader(format, out);
        for (size_t i = 0; i < m_list.Size(); ++i) {
            AppendExportRecord(format, *m_list.AtUnlocked(i), i, options, out);
        }
        return out;
    }

    const testing::ScratchDir m_scratch{"export"};
    const fs::path m_dir = m_scratch.Path();
    CRecordList m_list;
};

TEST_F(ExportFileTest, WritesEveryRecordAndLeavesOnlyTheFile) {
    for (ExportFormat format : {ExportFormat::Csv, ExportFormat::JsonLines}) {
        const fs::path out = m_dir / (format == ExportFormat::Csv ? "a.csv" : "a.jsonl");
        ExportRequest request;
        request.format = format;
        std::vector<std::pair<size_t, size_t>> calls;
        request.progress = [&calls](size_t done, size_t total) {
            calls.emplace_back(done, total);
            return true;
        };
        std::string error;
        ASSERT_EQ(ExportRecordsToFile(out.string(), m_list, request, &error),
                  ExportOutcome::Written)
            << error;
        EXPECT_EQ(ReadAll(out), Expected(format));
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls.front(), std::make_pair(size_t{0}, kRecords));
        EXPECT_EQ(calls.back(), std::make_pair(kRecords, kRecords));
        for (size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i].first, calls[i - 1].first);
    }
    const std::vector<std::string> names = FolderEntries(m_dir);
    EXPECT_EQ(names.size(), 2u) << "no temporary file left";
    EXPECT_EQ(test::ReadCsv(ReadAll(m_dir / "a.csv")).size(), kRecords + 1);
}

TEST_F(ExportFileTest, ReplacesAnExistingFileOnlyWhenDone) {
    const fs::path out = m_dir / "a.csv";
    std::ofstream(out) << "old";
    ExportRequest request;
    request.progress = [&out](size_t done, size_t) {
        EXPECT_EQ(ReadAll(out), "old") << "the old file stays until the new one is complete";
        return true;
    };
    std::string error;
    ASSERT_EQ(ExportRecordsToFile(out.string(), m_list, request, &error), ExportOutcome::Written);
    EXPECT_EQ(ReadAll(out), Expected(ExportFormat::Csv));
}

TEST_F(ExportFileTest, CancelledExportLeavesNothing) {
    for (const size_t cancelAt : {size_t{0}, size_t{4096}}) {
        SCOPED_TRACE(cancelAt);
        ExportRequest request;
        request.format = ExportFormat::JsonLines;
        request.progress = [cancelAt](size_t done, size_t) { return done < cancelAt; };
        std::string error = "untouched";
        EXPECT_EQ(ExportRecordsToFile((m_dir / "a.jsonl").string(), m_list, request, &error),
                  ExportOutcome::Cancelled);
        EXPECT_EQ(error, "untouched") << "a cancel is not an error";
        EXPECT_TRUE(FolderEntries(m_dir).empty());
    }
    // An existing file stays as it was.
    std::ofstream(m_dir / "keep.csv") << "old";
    ExportRequest request;
    request.progress = [](size_t done, size_t) { return done == 0; };
    EXPECT_EQ(ExportRecordsToFile((m_dir / "keep.csv").string(), m_list, request, nullptr),
              ExportOutcome::Cancelled);
    EXPECT_EQ(ReadAll(m_dir / "keep.csv"), "old");
    EXPECT_EQ(FolderEntries(m_dir).size(), 1u);
}

TEST_F(ExportFileTest, UnwritablePathsFailInOneLineNamingThePath) {
    std::ofstream(m_dir / "plain") << "x";
    fs::create_directory(m_dir / "folder");
    struct Case {
        fs::path path;
        const char* reason;
    };
    const Case cases[] = {
        {m_dir / "missing" / "a.csv", "cannot create the file: No such file or directory"},
        {m_dir / "plain" / "a.csv", "cannot create the file: Not a directory"},
        {m_dir / "folder", "is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        std::string error;
        EXPECT_EQ(ExportRecordsToFile(c.path.string(), m_list, {}, &error), ExportOutcome::Failed);
        EXPECT_EQ(error.rfind(c.path.string() + ": " + c.reason, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(FolderEntries(m_dir).size(), 2u) << "no temporary file left";
    EXPECT_TRUE(fs::is_empty(m_dir / "folder"));
}

TEST_F(ExportFileTest, FullDeviceFailsTheStream) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    std::string error;
    EXPECT_EQ(ExportRecordsToStream(full, "standard output", m_list, {}, &error),
              ExportOutcome::Failed);
    std::fclose(full);
    EXPECT_EQ(error, "standard output: cannot write: No space left on device");
}

TEST_F(ExportFileTest, ChosenPositionsKeepTheirIndex) {
    ExportRequest request;
    request.format = ExportFormat::JsonLines;
    request.positions = std::vector<size_t>{9, 2, 5000};
    const fs::path out = m_dir / "some.jsonl";
    std::string error;
    ASSERT_EQ(ExportRecordsToFile(out.string(), m_list, request, &error), ExportOutcome::Written);
    std::string expected;
    for (size_t p : *request.positions) AppendJsonLine(*m_list.AtUnlocked(p), p, {}, expected);
    EXPECT_EQ(ReadAll(out), expected);

    request.positions = std::vector<size_t>{1, kRecords};
    EXPECT_EQ(ExportRecordsToFile(out.string(), m_list, request, &error), ExportOutcome::Failed);
    EXPECT_EQ(error, out.string() + ": record 10000 is past the end of the list");
    EXPECT_EQ(ReadAll(out), expected) << "the earlier export stays";
}

// The progress callback runs with no lock held: it may clear the list (as a
// File New pumped by a progress dialog would) without a deadlock, and the
// export then fails instead of writing records of another generation.
TEST_F(ExportFileTest, ListClearedDuringTheExportFailsIt) {
    ExportRequest request;
    request.progress = [this](size_t done, size_t) {
        if (done > 0) m_list.Clear();
        return true;
    };
    std::string error;
    EXPECT_EQ(ExportRecordsToFile((m_dir / "a.csv").string(), m_list, request, &error),
              ExportOutcome::Failed);
    EXPECT_EQ(error, (m_dir / "a.csv").string() + ": the records were cleared during the export");
    EXPECT_TRUE(FolderEntries(m_dir).empty());
}

// A capture goes on while the records so far are exported: the export holds
// to the records there were when it started, and the appender never waits.
TEST_F(ExportFileTest, RecordsAppendedMeanwhileAreLeftOut) {
    std::atomic<bool> exporting{true};
    std::thread capture([this, &exporting] {
        do {
            Fill(m_list, 100);
        } while (exporting.load());
    });
    while (m_list.Size() == kRecords) std::this_thread::yield();  // the capture is running
    const size_t sizeAtStart = m_list.Size();
    ExportRequest request;
    request.format = ExportFormat::JsonLines;
    size_t total = 0;
    request.progress = [&total](size_t, size_t t) {
        total = t;
        return true;
    };
    std::string error;
    const ExportOutcome outcome =
        ExportRecordsToFile((m_dir / "a.jsonl").string(), m_list, request, &error);
    exporting = false;
    capture.join();
    ASSERT_EQ(outcome, ExportOutcome::Written) << error;
    EXPECT_GE(total, sizeAtStart);
    std::string expected;
    for (size_t i = 0; i < total; ++i) AppendJsonLine(*m_list.AtUnlocked(i), i, {}, expected);
    EXPECT_TRUE(ReadAll(m_dir / "a.jsonl") == expected) << "the first " << total << " records";
}

}  // namespace
}  // namespace vantrel
