// vantrel-cli on the kernel source: a capture of a helper's calls with its
// summary, the refusal without privileges, and nothing left loaded in the
// kernel after the program is killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "support/cli_runner.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using testing::RunCli;

// The ids of the kernel source's programs that `bpftool prog` lists now.
std::set<int> LoadedPrograms() {
    std::set<int> ids;
    FILE* p = popen("bpftool prog show 2>/dev/null", "r");
    if (!p) return ids;
    char line[1024];
    while (std::fgets(line, sizeof line, p))
        if (std::strstr(line, " name vantrel_")) ids.insert(std::atoi(line));
    pclose(p);
    return ids;
}

class KernelCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "loading BPF programs needs root here";
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the tests run one command at a time
        if (std::system("bpftool version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no bpftool";
        scratch = fs::temp_directory_path() / ("vantrel_kernel_cli_" + std::to_string(getpid()));
        fs::create_directories(scratch);
    }
    void TearDown() override { fs::remove_all(scratch); }
    fs::path scratch;
};

TEST_F(KernelCliTest, CapturesAHelpersReadsAndSummarises) {
    // The helper starts once the filter is set (its notice is on stderr).
    testing::CliCall call;
    call.prefix = "(for i in $(seq 600); do grep -q 'has been updated' '" +
                  (scratch / "cli_stderr").string() +
                  "' 2>/dev/null && break; sleep 0.05; done; '" + VANTREL_TRACE_HELPER +
                  "' devices) & env -u VANTREL_DRIVER";
    const auto r = RunCli(VANTREL_CLI,
                          "capture --kernel --comm vantrel_trace_h --device 0x00100005 --majors "
                          "IRP_MJ_READ --count 4 --seconds 60",
                          scratch, call);
    if (r.err.find("the kernel source") != std::string::npos && r.exitCode == 2)
        GTEST_SKIP() << r.err;
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("captured 4 records, driver dropped 0; 0 requests without completion\n"),
              std::string::npos)
        << r.err;
}

TEST_F(KernelCliTest, WithoutPrivilegesSaysWhatIsNeeded) {
    testing::CliCall call;
    call.prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all";
    const auto r = RunCli(VANTREL_CLI, "capture --kernel --device 0x00100003", scratch, call);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "vantrel-cli: the kernel source needs root or CAP_BPF and CAP_PERFMON\n");
}

TEST_F(KernelCliTest, BadKernelOptionsAreOneLineWithTheirExitCode) {
    struct Row {
        const char* args;
        int exitCode;
        const char* message;
    };
    const Row rows[] = {
        {"capture --all-devices --trace --kernel", 64, "--trace and --kernel choose two drivers"},
        {"capture --all-devices --driver sim --kernel", 64,
         "--kernel is the short form of --driver kernel"},
        {"capture --all-devices --pid 1", 64, "need --kernel"},
        {"capture --kernel --all-devices --comm 0123456789abcdef", 2, "not a process name"},
        {"capture --kernel --all-devices --pid 0", 2, "not a list of process ids: 0"},
        {"capture --kernel --all-devices --kernel-expiry nan", 2, "not an expiry"},
        {"capture --kernel --all-devices --kernel-expiry", 64, "--kernel-expiry needs a value"},
        {"capture --kernel --all-devices --kernel-ring 3", 2, "not a ring size in MiB"},
    };
    for (const Row& row : rows) {
        const auto r = RunCli(VANTREL_CLI, row.args, scratch, {"env -u VANTREL_DRIVER", {}, {}});
        EXPECT_EQ(r.exitCode, row.exitCode) << row.args << "\n" << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << row.args << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << row.args;
    }
}

TEST_F(KernelCliTest, NothingStaysLoadedAfterKill9) {
    // Programs of earlier runs may still be on their way out: only the ones
    // that appear with this capture count.
    const std::set<int> before = LoadedPrograms();
    const pid_t child = fork();
    if (child == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execl(VANTREL_CLI, VANTREL_CLI, "capture", "--kernel", "--device", "0x00100003",
              "--seconds", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    using namespace std::chrono_literals;
    std::set<int> ours;
    auto collect = [&] {
        for (int id : LoadedPrograms())
            if (!before.count(id)) ours.insert(id);
        return !ours.empty();
    };
    auto remaining = [&] {
        const std::set<int> now = LoadedPrograms();
        return std::count_if(ours.begin(), ours.end(), [&](int id) { return now.count(id); });
    };
    // Generous limits: a busy machine may take seconds to start the program.
    auto waitFor = [](auto done) {
        for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(50ms);
        return done();
    };
    const bool loaded = waitFor(collect);
    std::this_thread::sleep_for(200ms);  // every program of the capture is attached by now
    collect();
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(loaded) << "the capture never loaded its programs";
    EXPECT_TRUE(waitFor([&] { return remaining() == 0; }))
        << remaining() << " programs of Vantrel stay loaded";
}

}  // namespace
}  // namespace vantrel
