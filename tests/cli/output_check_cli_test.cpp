// vantrel-cli refuses, before it captures or reads anything, an output it
// could not write; a capture whose save fails at the end keeps its records.
// The refused paths fail even for root: a missing folder, a path under a
// regular file, a working folder in /proc or /sys.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/cli_fixture.h"

namespace vantrel {
namespace {

using vantrel::testing::CliCall;
using vantrel::testing::CliRun;
using vantrel::testing::ReadFileBytes;

namespace fs = std::filesystem;

constexpr char kCapture[] = "capture --all-devices --count 2000";

class OutputCheckCliTest : public testing::CliFixture {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "run");
        std::ofstream(m_dir / "run" / "plain") << "a regular file";
    }

    CliRun Cli(const std::string& args, CliCall call = {}) {
        call.prefix = "env VANTREL_SIM_RATE=200000 " + call.prefix;
        return RunProgram(args, call);
    }
    std::string Run(const std::string& name) const { return (m_dir / "run" / name).string(); }
    std::vector<std::string> RunFolder() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir / "run"))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A refusal: exit 2 within a second, `line` alone on stderr (no filter
    // notice), nothing on stdout, nothing new in the run folder.
    void ExpectRefused(const std::string& args, const std::string& line, CliCall call = {}) {
        SCOPED_TRACE(args);
        const auto start = std::chrono::steady_clock::now();
        const CliRun r = Cli(args, std::move(call));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "vantrel-cli: " + line + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(RunFolder(), std::vector<std::string>{"plain"});
    }
};

TEST_F(OutputCheckCliTest, ASaveThatCannotBeCreatedStopsTheCaptureAtOnce) {
    ExpectRefused(std::string(kCapture) + " --save '" + Run("none/t.vtl") + "'",
                  Run("none/t.vtl") + ": cannot create the file: No such file or directory");
    ExpectRefused(std::string(kCapture) + " --save '" + Run("plain/t.vtl") + "'",
                  Run("plain/t.vtl") + ": cannot create the file: Not a directory");
    // Before the driver is opened: its refusal is never reached.
    CliCall noDriver;
    noDriver.prefix = "VANTREL_DRIVER=none";
    ExpectRefused(std::string(kCapture) + " --log --save '" + Run("none/t.vtl") + "'",
                  Run("none/t.vtl") + ": cannot create the file: No such file or directory",
                  noDriver);
}

TEST_F(OutputCheckCliTest, ALogFolderThatTakesNoFilesStopsTheCaptureAtOnce) {
    for (const char* folder : {"/proc", "/sys"}) {
        CliCall in;
        in.workDir = folder;
        const CliRun r = Cli(std::string(kCapture) + " --log", in);
        SCOPED_TRACE(folder);
        EXPECT_EQ(r.exitCode, 2);
        const std::string start =
            "vantrel-cli: " + std::string(folder) + ": cannot create a log file in this folder: ";
        EXPECT_EQ(r.err.rfind(start, 0), 0u) << r.err;
        EXPECT_GT(r.err.size(), start.size() + 1) << "a reason";
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line, no filter notice";
        EXPECT_EQ(r.out, "");
    }
    CliCall proc;
    proc.workDir = "/proc";
    ExpectRefused(std::string(kCapture) + " --log",
                  "/proc: cannot create a log file in this folder: No such file or directory",
                  proc);
}

TEST_F(OutputCheckCliTest, ExportAndRoundtripTryTheirOutputBeforeReadingTheInput) {
    const std::string missing = Run("none/x.csv");
    ExpectRefused("export '" + Run("absent.vtl") + "' --format csv --output '" + missing + "'",
                  missing + ": cannot create the file: No such file or directory");
    ExpectRefused("roundtrip '" + Run("absent.vtl") + "' '" + Run("plain/x.vtl") + "'",
                  Run("plain/x.vtl") + ": cannot create the file: Not a directory");
    ExpectRefused("graph '" + Run("absent.vtl") + "' --output '" + Run("none/g.png") + "'",
                  Run("none/g.png") + ": cannot create the file: No such file or directory");
    // A good output and a missing input: the input's error, and no output.
    const CliRun r =
        Cli("export '" + Run("absent.vtl") + "' --format csv --output '" + Run("x.csv") + "'");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("absent.vtl"), std::string::npos) << r.err;
    EXPECT_EQ(RunFolder(), std::vector<std::string>{"plain"});
}

TEST_F(OutputCheckCliTest, ASavedCaptureReplacesTheFileAndLeavesNoTemporaryFile) {
    std::ofstream(m_dir / "run" / "t.vtl") << "an older test";
    CliCall call;
    call.stdoutPath = Run("live.txt");
    const CliRun r = Cli(std::string(kCapture) + " --save '" + Run("t.vtl") + "'", call);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(RunFolder(), (std::vector<std::string>{"live.txt", "plain", "t.vtl"}));
    const CliRun dumped = Cli("dump '" + Run("t.vtl") + "'");
    EXPECT_TRUE(dumped.out == ReadFileBytes(m_dir / "run" / "live.txt"));
}

class SaveFailureCliTest : public OutputCheckCliTest {
protected:
    // A capture whose save fails at its end: /dev/full is written in place
    // and takes nothing, as a full disk; stdout to live.txt.
    CliRun FailingCapture(const std::string& workDir, const std::string& tmpDir) {
        CliCall call;
        call.prefix = "TMPDIR='" + tmpDir + "'";
        call.workDir = workDir;
        call.stdoutPath = (m_dir / "live.txt").string();
        return Cli(std::string(kCapture) + " --save /dev/full", call);
    }
    // The kept file loads, prints what the capture printed, and stores back
    // byte for byte.
    void ExpectKept(const fs::path& kept) {
        ASSERT_TRUE(fs::is_regular_file(kept)) << kept;
        const CliRun dumped = Cli("dump '" + kept.string() + "'");
        ASSERT_EQ(dumped.exitCode, 0) << dumped.err;
        EXPECT_TRUE(dumped.out == ReadFileBytes(m_dir / "live.txt"));
        const CliRun again = Cli("roundtrip '" + kept.string() + "' '" + Run("again.vtl") + "'");
        ASSERT_EQ(again.exitCode, 0) << again.err;
        EXPECT_TRUE(ReadFileBytes(Run("again.vtl")) == ReadFileBytes(kept));
        fs::remove(Run("again.vtl"));
    }
    // The stderr lines after the filter notices: the save's, then the summary.
    static std::vector<std::string> LastLines(const std::string& err, size_t n) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(err.substr(start, end - start));
        if (lines.size() > n) lines.erase(lines.begin(), lines.end() - static_cast<long>(n));
        return lines;
    }
    static std::string KeptName(const std::string& line) {
        const std::string mark = "; the records were kept in ";
        const size_t at = line.find(mark);
        return at == std::string::npos ? std::string() : line.substr(at + mark.size());
    }
};

TEST_F(SaveFailureCliTest, TheRecordsAreKeptInTheCurrentFolder) {
    fs::create_directory(m_dir / "work");
    const CliRun r = FailingCapture((m_dir / "work").string(), (m_dir / "tmp").string());
    EXPECT_EQ(r.exitCode, 2);
    const auto lines = LastLines(r.err, 2);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    const std::string kept = KeptName(lines[0]);
    EXPECT_EQ(lines[0],
              "vantrel-cli: /dev/full"
              ": cannot write the file: No space left on device; the records were "
              "kept in " +
                  kept);
    EXPECT_EQ(kept.rfind("vantrel-unsaved-", 0), 0u) << "named in the current folder";
    EXPECT_EQ(kept.find('/'), std::string::npos);
    EXPECT_EQ(kept.substr(kept.size() - 4), ".vtl");
    EXPECT_EQ(lines[1].rfind("captured ", 0), 0u) << "the summary as usual";
    EXPECT_EQ(RunFolder(), std::vector<std::string>{"plain"}) << "nothing else written";
    ExpectKept(m_dir / "work" / kept);
}

TEST_F(SaveFailureCliTest, ThenInTheTemporaryFolder) {
    fs::create_directory(m_dir / "tmp");
    const CliRun r = FailingCapture("/proc", (m_dir / "tmp").string());
    EXPECT_EQ(r.exitCode, 2);
    const auto lines = LastLines(r.err, 2);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    const fs::path kept = KeptName(lines[0]);
    EXPECT_EQ(kept.parent_path(), m_dir / "tmp") << lines[0];
    EXPECT_EQ(lines[1].rfind("captured ", 0), 0u);
    ExpectKept(kept);
}

}  // namespace
}  // namespace vantrel
