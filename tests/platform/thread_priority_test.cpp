#include "platform/thread_priority.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"

#ifdef __linux__
#include <grp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

TEST(ThreadPriorityTest, FifoPriorityStaysLowAndWithinTheLimit) {
    EXPECT_EQ(CaptureFifoPriority(0), 10);  // no limit: only CAP_SYS_NICE can grant it
    EXPECT_EQ(CaptureFifoPriority(1), 1);
    EXPECT_EQ(CaptureFifoPriority(5), 5);
    EXPECT_EQ(CaptureFifoPriority(10), 10);
    EXPECT_EQ(CaptureFifoPriority(99), 10);
    EXPECT_EQ(CaptureFifoPriority(UINT64_MAX), 10);  // RLIM_INFINITY
}

#ifdef __linux__

struct Outcome {
    SchedulingGranted granted = SchedulingGranted::Ordinary;
    std::vector<std::string> lines;
    int policy = -1;        // of the raised thread, afterwards
    int fifoPriority = -1;  // of the raised thread, afterwards
    int niceBefore = 0, niceAfter = 0;
    int childPolicy = -1;  // of a thread the raised thread started
};

// Raises a fresh thread, so the test's own thread keeps its scheduling.
Outcome RaiseAFreshThread() {
    Outcome o;
    const CDebugOutput debug([&o](std::string_view line) { o.lines.emplace_back(line); });
    std::thread([&o, &debug] {
        o.niceBefore = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        o.granted = RaiseThisThreadForCapture("capture thread", debug);
        o.policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
        sched_param param{};
        sched_getparam(0, &param);
        o.fifoPriority = param.sched_priority;
        o.niceAfter = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        std::thread([&o] { o.childPolicy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK; }).join();
    }).join();
    return o;
}

// Whatever this machine allows, the thread gets what its one line says, and
// threads it starts run at the ordinary class.
TEST(ThreadPriorityTest, OneLineSaysWhatTheThreadGot) {
    const Outcome o = RaiseAFreshThread();
    ASSERT_EQ(o.lines.size(), 1u);
    switch (o.granted) {
        case SchedulingGranted::RealTime:
            EXPECT_EQ(o.policy, SCHED_FIFO);
            EXPECT_EQ(o.lines[0], "capture thread: real-time scheduling (SCHED_FIFO " +
                                      std::to_string(o.fifoPriority) + ")\n");
            EXPECT_GE(o.fifoPriority, 1);
            EXPECT_LE(o.fifoPriority, kCaptureFifoPriority);
            break;
        case SchedulingGranted::Raised:
            EXPECT_EQ(o.policy, SCHED_OTHER);
            EXPECT_LT(o.niceAfter, o.niceBefore);
            EXPECT_EQ(o.lines[0], "capture thread: raised priority (nice " +
                                      std::to_string(o.niceAfter) + ", real-time refused)\n");
            break;
        case SchedulingGranted::Ordinary:
            EXPECT_EQ(o.policy, SCHED_OTHER);
            EXPECT_EQ(o.niceAfter, o.niceBefore);
            EXPECT_EQ(o.lines[0], "capture thread: ordinary scheduling (real-time refused)\n");
            break;
    }
    EXPECT_EQ(o.childPolicy, SCHED_OTHER);
}

// In a child process without privilege: give up root (and with it
// CAP_SYS_NICE), set the limits, raise, and exit with the result's number.
void RaiseWithoutPrivilege(rlim_t rtprio, rlim_t nice) {
    const rlimit rt{rtprio, rtprio}, ni{nice, nice};
    if (setrlimit(RLIMIT_RTPRIO, &rt) != 0 || setrlimit(RLIMIT_NICE, &ni) != 0) std::_Exit(90);
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        std::_Exit(91);
    std::_Exit(static_cast<int>(RaiseThisThreadForCapture("who", CDebugOutput())));
}

// The limits a child may set: lowering is always allowed, raising a hard
// limit only with CAP_SYS_RESOURCE (often missing in containers).
bool MaySetLimits(rlim_t rtprio, rlim_t nice) {
    rlimit rt{}, ni{};
    getrlimit(RLIMIT_RTPRIO, &rt);
    getrlimit(RLIMIT_NICE, &ni);
    if (rt.rlim_max >= rtprio && ni.rlim_max >= nice) return true;
    const pid_t child = fork();
    if (child == 0) {
        const rlimit wantRt{rtprio, rtprio}, wantNi{nice, nice};
        std::_Exit(
            setrlimit(RLIMIT_RTPRIO, &wantRt) == 0 && setrlimit(RLIMIT_NICE, &wantNi) == 0 ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

class ThreadPriorityUnprivilegedTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (getuid() != 0) GTEST_SKIP() << "needs root to set the limits it then gives up";
        GTEST_FLAG_SET(death_test_style, "threadsafe");
    }
};

TEST_F(ThreadPriorityUnprivilegedTest, NoLimitsLeaveTheThreadUnchanged) {
    EXPECT_EXIT(RaiseWithoutPrivilege(0, 0),
                ::testing::ExitedWithCode(static_cast<int>(SchedulingGranted::Ordinary)),
                "^who: ordinary scheduling \\(real-time refused\\)\n$");
}

TEST_F(ThreadPriorityUnprivilegedTest, RlimitNiceGivesTheLowestNiceItAllows) {
    if (!MaySetLimits(0, 25)) GTEST_SKIP() << "RLIMIT_NICE cannot be raised here";
    // RLIMIT_NICE 25 allows nice values down to 20 - 25 = -5.
    EXPECT_EXIT(RaiseWithoutPrivilege(0, 25),
                ::testing::ExitedWithCode(static_cast<int>(SchedulingGranted::Raised)),
                "^who: raised priority \\(nice -5, real-time refused\\)\n$");
}

TEST_F(ThreadPriorityUnprivilegedTest, RlimitRtprioGrantsFifoUpToTheLimit) {
    if (!MaySetLimits(4, 0)) GTEST_SKIP() << "RLIMIT_RTPRIO cannot be raised here";
    EXPECT_EXIT(RaiseWithoutPrivilege(4, 0),
                ::testing::ExitedWithCode(static_cast<int>(SchedulingGranted::RealTime)),
                "^who: real-time scheduling \\(SCHED_FIFO 4\\)\n$");
}

#endif

}  // namespace
}  // namespace vantrel
