#include "platform/thread_priority.h"

#include <algorithm>
#include <cerrno>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

void Report(const CDebugOutput& debug, std::string_view who, const std::string& what) {
    std::string line(who);
    line += ": ";
    line += what;
    line += '\n';
    debug.Write(line);
}

#if defined(__linux__)
// The nice value a thread asks for when real-time is refused.
constexpr int kCaptureNice = -10;

// The calling thread's id for the per-thread forms of getpriority and
// setpriority (on Linux a "process" there is a thread).
id_t ThisThread() {
    return static_cast<id_t>(gettid());
}

bool TryFifo(int priority) {
    sched_param param{};
    param.sched_priority = priority;
    // Per thread (pid 0 is the caller); threads it starts fall back to
    // SCHED_OTHER instead of inheriting the real-time class.
    return sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

// Lowers the nice value toward kCaptureNice as far as allowed; the value
// reached, or nothing when it could not be lowered at all.
bool TryNice(int* reached) {
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, ThisThread());
    if (errno != 0 || current <= kCaptureNice) return false;
    if (setpriority(PRIO_PROCESS, ThisThread(), kCaptureNice) == 0) {
        *reached = kCaptureNice;
        return true;
    }
    // Without CAP_SYS_NICE the floor is 20 - RLIMIT_NICE.
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
    const int floor = 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
    if (floor >= current || setpriority(PRIO_PROCESS, ThisThread(), floor) != 0) return false;
    *reached = floor;
    return true;
}
#endif

}  // namespace

int CaptureFifoPriority(uint64_t rtprioLimit) {
    if (rtprioLimit == 0 || rtprioLimit >= static_cast<uint64_t>(kCaptureFifoPriority))
        return kCaptureFifoPriority;
    return static_cast<int>(rtprioLimit);
}

SchedulingGranted RaiseThisThreadForCapture(std::string_view who, const CDebugOutput& debug) {
#if defined(_WIN32)
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) {
        Report(debug, who, "real-time scheduling (THREAD_PRIORITY_TIME_CRITICAL)");
        return SchedulingGranted::RealTime;
    }
    Report(debug, who, "ordinary scheduling (real-time refused)");
    return SchedulingGranted::Ordinary;
#elif defined(__linux__)
    rlimit limit{};
    uint64_t rtprio = 0;
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0)
        rtprio = limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : limit.rlim_cur;
    // Just try: CAP_SYS_NICE grants it whatever the limit says.
    const int priority = CaptureFifoPriority(rtprio);
    if (TryFifo(priority)) {
        Report(debug, who, "real-time scheduling (SCHED_FIFO " + std::to_string(priority) + ")");
        return SchedulingGranted::RealTime;
    }
    int nice = 0;
    if (TryNice(&nice)) {
        Report(debug, who,
               "raised priority (nice " + std::to_string(nice) + ", real-time refused)");
        return SchedulingGranted::Raised;
    }
    Report(debug, who, "ordinary scheduling (real-time refused)");
    return SchedulingGranted::Ordinary;
#else
    Report(debug, who, "ordinary scheduling (real-time not available)");
    return SchedulingGranted::Ordinary;
#endif
}

}  // namespace vantrel
