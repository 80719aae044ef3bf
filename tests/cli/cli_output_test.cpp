// Claimed outputs, the log folder probe and the capture's save with its
// fallback, in-process.

#include "cli/cli_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/document_fixture.h"
#include "support/scoped_env.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;
using vantrel::testing::InFolder;
using vantrel::testing::ReadFileBytes;
using vantrel::testing::ScratchDir;

std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Enough records to take several of the writer's 1 MiB steps, and one whose
// description alone is larger than a step.
void FillMany(CRecordList& list) {
    for (uint32_t i = 0; i < 9000; ++i) {
        CIrpRecord r;
        r.GetCapture().MajorFunction = i % 28;
        r.GetCapture().DeviceObject = 0x8A000000u + i;
        const std::string description(150 + i % 100, static_cast<char>('a' + i % 26));
        r.SetDescription(std::string_view(description));
        r.SetLatency(0.25f * static_cast<float>(i % 7));
        list.Append(r);
        if (i == 4000) {
            CIrpRecord huge;
            const std::string description((size_t{1} << 20) + 77, 'h');
            huge.SetDescription(std::string_view(description));
            list.Append(huge);
        }
    }
}

using testing::ScopedEnv;

const TestFileHeader kHeader{250, 0x01020304, 0xA0B0C0D0, 0};

TEST(ClaimedOutputTest, TheTemporaryFileIsTheOnlyTraceUntilCommit) {
    ScratchDir dir("claim_commit");
    const std::string out = dir / "out.vtl";
    std::ofstream(out, std::ios::binary) << "old";
    CClaimedOutput claim;
    std::string error;
    ASSERT_TRUE(claim.Claim(out, error)) << error;
    const std::string temp = fs::path(claim.TempPath()).filename().string();
    EXPECT_EQ(temp.size(), std::string("out.vtl.12345678.part").size());
    EXPECT_EQ(temp.rfind("out.vtl.", 0), 0u);
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"out.vtl", temp}));
    std::fputs("new", claim.Stream());
    EXPECT_EQ(ReadFileBytes(out), "old") << "nothing replaced before the commit";
    ASSERT_TRUE(claim.Commit(error)) << error;
    EXPECT_EQ(ReadFileBytes(out), "new");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"out.vtl"});
}

TEST(ClaimedOutputTest, AnUncommittedClaimLeavesNothing) {
    ScratchDir dir("claim_discard");
    {
        CClaimedOutput claim;
        std::string error;
        ASSERT_TRUE(claim.Claim(dir / "a.csv", error));
        std::fputs("part", claim.Stream());
        CClaimedOutput second;
        ASSERT_TRUE(second.Claim(dir / "a.csv", error)) << "two claims, two temporary files";
        EXPECT_NE(second.TempPath(), claim.TempPath());
        EXPECT_EQ(Names(dir.Path()).size(), 2u);
    }
    EXPECT_TRUE(Names(dir.Path()).empty());
}

TEST(ClaimedOutputTest, RefusalsNameThePathAndTheReason) {
    ScratchDir dir("claim_refused");
    std::ofstream(dir / "file") << "x";
    CClaimedOutput claim;
    std::string error;
    EXPECT_FALSE(claim.Claim(dir / "none/t.vtl", error));
    EXPECT_EQ(error, dir / "none/t.vtl" + ": cannot create the file: No such file or directory");
    EXPECT_FALSE(claim.Claim(dir / "file/t.vtl", error));
    EXPECT_EQ(error, dir / "file/t.vtl" + ": cannot create the file: Not a directory");
    EXPECT_FALSE(claim.IsClaimed());

    // A folder in the output's place is refused before anything is written.
    fs::create_directory(dir / "taken");
    EXPECT_FALSE(claim.Claim(dir / "taken", error));
    EXPECT_EQ(error, dir / "taken" + ": is a directory");
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"file", "taken"}));
}

TEST(LogFolderProbeTest, LeavesNothingAndNamesAFolderThatRefuses) {
    ScratchDir dir("log_probe");
    std::string error;
    {
        InFolder here(dir.Path());
        EXPECT_TRUE(ProbeLogFolder(error)) << error;
    }
    EXPECT_TRUE(Names(dir.Path()).empty());
    InFolder proc("/proc");
    EXPECT_FALSE(ProbeLogFolder(error));
    EXPECT_EQ(error, "/proc: cannot create a log file in this folder: No such file or directory");
}

TEST(TestStreamTest, BytesAreThoseOfTheTestFile) {
    CRecordList list;
    FillMany(list);
    std::string expected;
    StoreTestFile(kHeader, list, expected);
    ASSERT_GT(expected.size(), size_t{3} << 20);
    ScratchDir dir("test_stream");
    CClaimedOutput claim;
    std::string error;
    ASSERT_TRUE(claim.Claim(dir / "t.vtl", error));
    ASSERT_TRUE(StoreClaimedTest(claim, kHeader, list, error)) << error;
    EXPECT_TRUE(ReadFileBytes(dir / "t.vtl") == expected);

    CRecordList empty;
    std::string header;
    StoreTestFile(kHeader, empty, header);
    ASSERT_TRUE(claim.Claim(dir / "e.vtl", error));
    ASSERT_TRUE(StoreClaimedTest(claim, kHeader, empty, error));
    EXPECT_EQ(ReadFileBytes(dir / "e.vtl"), header);
}

TEST(TestStreamTest, AFullDiskIsAFailure) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    errno = 0;
    CRecordList list;
    FillMany(list);
    EXPECT_FALSE(WriteTestStream(full, kHeader, list));
    EXPECT_EQ(errno, ENOSPC);
    std::fclose(full);
}

constexpr char kFull[] = "/dev/full";

class SaveFallbackTest : public ::testing::Test {
protected:
    void SetUp() override { FillMany(m_list); }
    // Saves `m_list` into a claim of /dev/full: a device written in place
    // whose every write fails as a full disk's would.
    std::string FailingSave() {
        CClaimedOutput claim;
        std::string error;
        EXPECT_TRUE(claim.Claim(kFull, error)) << error;
        return SaveCaptureOrKeep(claim, kHeader, m_list);
    }
    std::string Expected() const {
        std::string bytes;
        StoreTestFile(kHeader, m_list, bytes);
        return bytes;
    }

    ScratchDir m_dir{"save_fallback"};
    CRecordList m_list;
    const std::string m_kept = "vantrel-unsaved-" + std::to_string(::getpid()) + ".vtl";
};

TEST_F(SaveFallbackTest, ASaveThatWorksSaysNothing) {
    CClaimedOutput claim;
    std::string error;
    ASSERT_TRUE(claim.Claim(m_dir / "t.vtl", error));
    EXPECT_EQ(SaveCaptureOrKeep(claim, kHeader, m_list), "");
    EXPECT_TRUE(ReadFileBytes(m_dir / "t.vtl") == Expected());
    EXPECT_EQ(Names(m_dir.Path()), std::vector<std::string>{"t.vtl"});
}

TEST_F(SaveFallbackTest, TheRecordsGoToTheCurrentFolder) {
    fs::create_directory(m_dir.Path() / "work");
    InFolder here(m_dir.Path() / "work");
    EXPECT_EQ(FailingSave(), std::string(kFull) +
                                 ": cannot write the file: No space left on device; the "
                                 "records were kept in " +
                                 m_kept);
    EXPECT_EQ(Names(m_dir.Path()), std::vector<std::string>{"work"});
    EXPECT_EQ(Names(m_dir.Path() / "work"), std::vector<std::string>{m_kept});
    EXPECT_TRUE(ReadFileBytes(m_kept) == Expected());
}

TEST_F(SaveFallbackTest, ThenToTheTemporaryFolder) {
    ScopedEnv temporary("TMPDIR", m_dir.Path().string());
    InFolder proc("/proc");
    EXPECT_EQ(FailingSave(), std::string(kFull) +
                                 ": cannot write the file: No space left on device; the "
                                 "records were kept in " +
                                 m_dir / m_kept);
    EXPECT_EQ(Names(m_dir.Path()), std::vector<std::string>{m_kept});
    EXPECT_TRUE(ReadFileBytes(m_dir / m_kept) == Expected());
}

TEST_F(SaveFallbackTest, WhenNothingTakesThemTheLineSaysWhy) {
    ScopedEnv temporary("TMPDIR", "/proc");
    InFolder proc("/proc");
    EXPECT_EQ(FailingSave(),
              std::string(kFull) +
                  ": cannot write the file: No space left on device; the records could not be "
                  "kept either: /proc/" +
                  m_kept + ": cannot create the file: No such file or directory");
    EXPECT_TRUE(Names(m_dir.Path()).empty());
}

}  // namespace
}  // namespace vantrel::cli
