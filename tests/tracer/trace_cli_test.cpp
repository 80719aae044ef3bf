// vantrel-cli capture --trace: a traced command's records, its exit status
// as the capture's, and the refusals before it starts.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/cli_fixture.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class TraceCliTest : public testing::CliFixture {
protected:
    testing::CliRun Capture(const std::string& args, const std::string& prefix = "") {
        testing::CliCall call;
        call.prefix = prefix.empty() ? "env -u VANTREL_DRIVER" : prefix;
        return RunProgram("capture " + args, call);
    }
    // Skips where the machine refuses tracing; the CLI must then say so in
    // one line and exit 2.
    bool Refused(const testing::CliRun& r) {
        if (r.err.find("tracing is not permitted here") == std::string::npos) return false;
        EXPECT_EQ(r.exitCode, 2);
        return true;
    }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(TraceCliTest, CapturesTheCommandsReadsOnTheChosenDeviceUntilItExits) {
    const auto r = Capture(std::string("--trace --device 0x00100005 --majors IRP_MJ_READ -- ") +
                           VANTREL_TRACE_HELPER + " devices");
    if (Refused(r)) GTEST_SKIP() << "tracing is not permitted here";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.out, "Major Code:\t\t\tIRP_MJ_READ\r\n"), 4u) << r.out;
    EXPECT_EQ(Count(r.out, "Object Name:\t\t/dev/zero\r\n"), 4u);
    EXPECT_EQ(Count(r.out, "PDEVICE_OBJECT:\t\t0x00100005\r\n"), 4u);
    EXPECT_NE(r.err.find("captured 4 records, driver dropped 0\n"), std::string::npos) << r.err;
}

TEST_F(TraceCliTest, TheDriverCanBeChosenFromTheEnvironment) {
    const auto r = Capture(std::string("--device 0x00100003 --majors IRP_MJ_WRITE -- ") +
                               VANTREL_TRACE_HELPER + " devices",
                           "env VANTREL_DRIVER=trace");
    if (Refused(r)) GTEST_SKIP() << "tracing is not permitted here";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Count(r.out, "Major Code:\t\t\tIRP_MJ_WRITE\r\n"), 2u);
}

TEST_F(TraceCliTest, ExitsWithTheCommandsStatusOr128PlusItsSignal) {
    const auto exited =
        Capture(std::string("--trace --all-devices -- ") + VANTREL_TRACE_HELPER + " exit 42");
    if (Refused(exited)) GTEST_SKIP() << "tracing is not permitted here";
    EXPECT_EQ(exited.exitCode, 42);
    EXPECT_NE(exited.err.find("captured "), std::string::npos);
    const auto killed = Capture("--trace --all-devices -- sh -c 'kill -KILL $$'");
    EXPECT_EQ(killed.exitCode, 128 + 9);
}

TEST_F(TraceCliTest, AttachesToARunningProcessAndLeavesItRunning) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(VANTREL_TRACE_HELPER, VANTREL_TRACE_HELPER, "loop", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto r = Capture("--trace-pid " + std::to_string(pid) +
                           " --device 0x00100005 --majors IRP_MJ_READ --count 3");
    int status = 0;
    const bool running = waitpid(pid, &status, WNOHANG) == 0;
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
    if (Refused(r)) GTEST_SKIP() << "attaching is not permitted here";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GE(Count(r.out, "Major Code:\t\t\tIRP_MJ_READ\r\n"), 3u);
    EXPECT_TRUE(running) << "the process did not survive the capture";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST_F(TraceCliTest, RefusesBeforeAnythingStarts) {
    const auto missing = Capture("--trace --all-devices -- vantrel-no-such-command-here");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "vantrel-cli: no such command: vantrel-no-such-command-here\n");
    const auto noCommand = Capture("--trace --all-devices");
    EXPECT_EQ(noCommand.exitCode, 64);
    EXPECT_NE(noCommand.err.find("--trace needs a command after --"), std::string::npos);
    const auto notTraced = Capture("--all-devices -- true");
    EXPECT_EQ(notTraced.exitCode, 64);
    const auto noProcess = Capture("--trace-pid 999999999 --all-devices");
    EXPECT_EQ(noProcess.exitCode, 2);
    EXPECT_EQ(noProcess.err, "vantrel-cli: no such process: 999999999\n");
    EXPECT_EQ(Capture("--trace-pid 12x --all-devices").exitCode, 2);
    EXPECT_EQ(Capture("--trace-pid 1 --all-devices -- true").exitCode, 64);
}

TEST_F(TraceCliTest, AProcessThatHasExitedIsNamed) {
    const pid_t zombie = fork();
    ASSERT_GE(zombie, 0);
    if (zombie == 0) _exit(0);
    // Not reaped yet: a zombie until the wait below.
    for (int i = 0; i < 200; ++i) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == zombie)
            break;
        usleep(5000);
    }
    const auto r = Capture("--trace-pid " + std::to_string(zombie) + " --all-devices");
    waitpid(zombie, nullptr, 0);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "vantrel-cli: process " + std::to_string(zombie) + " has exited\n");
}

// A traced command that stops itself stays stopped until SIGCONT, as it
// would untraced, and then goes on to its end.
TEST_F(TraceCliTest, ATracedCommandFollowsJobControl) {
    const std::string done = (m_dir / "done").string();
    const std::string command =
        "capture --trace --all-devices --majors IRP_MJ_WRITE -- sh -c "
        "'kill -STOP $$; echo resumed > " +
        done + "'";
    const pid_t cli = fork();
    ASSERT_GE(cli, 0);
    if (cli == 0) {
        const std::string line = "exec env -u VANTREL_DRIVER '" + std::string(VANTREL_CLI) + "' " +
                                 command + " >/dev/null 2>&1";
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The traced shell is the program's only child (forked by its tracer
    // thread); wait for it to stop.
    pid_t child = 0;
    char state = 0;
    for (int i = 0; i < 400 && state != 't' && state != 'T'; ++i) {
        usleep(10000);
        std::error_code ec;
        const fs::path tasks = "/proc/" + std::to_string(cli) + "/task";
        for (const auto& task : fs::directory_iterator(tasks, ec)) {
            const std::string children = testing::ReadFileBytes(task.path() / "children");
            if (!children.empty()) child = static_cast<pid_t>(std::atoi(children.c_str()));
        }
        if (child <= 0) continue;
        const std::string stat = testing::ReadFileBytes("/proc/" + std::to_string(child) + "/stat");
        const size_t close = stat.rfind(')');
        state = close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : 0;
    }
    int status = 0;
    if (state != 't' && state != 'T') {
        kill(cli, SIGKILL);
        waitpid(cli, &status, 0);
        GTEST_SKIP() << "the command never stopped (tracing not permitted here?)";
    }
    usleep(200000);
    EXPECT_FALSE(fs::exists(done)) << "the stop was swallowed";
    EXPECT_EQ(waitpid(cli, &status, WNOHANG), 0) << "the capture ended with its command stopped";
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(cli, &status, 0), cli);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(fs::exists(done));
}

}  // namespace
}  // namespace vantrel
