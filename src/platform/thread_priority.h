#pragma once
// Scheduling for the threads that keep pace with the driver: the capture
// thread (it drains a ring that lasts 1 ms at 200,000 IRPs/s) and the
// simulated driver's writer thread (it stands for kernel code). Measured on
// a shared two-core machine, an ordinary thread sleeping 100 us woke more
// than 1 ms late about 16 times a second and up to 5 ms late; under a
// real-time class those runs dropped nothing. Other threads keep ordinary
// priority.

#include <cstdint>
#include <string_view>

#include "platform/debug_output.h"

namespace vantrel {

enum class SchedulingGranted {
    RealTime,  // Linux: SCHED_FIFO; Windows: THREAD_PRIORITY_TIME_CRITICAL
    Raised,    // Linux: a lower nice value than before (real-time refused)
    Ordinary,  // unchanged
};

// Raises the calling thread as far as the process may: real-time scheduling
// where it is allowed (Linux: SCHED_FIFO at a low priority, when
// RLIMIT_RTPRIO or CAP_SYS_NICE permits it; threads it starts do not inherit
// the class), else a lower nice value where RLIMIT_NICE or CAP_SYS_NICE
// permits it, else nothing. Writes exactly one line to `debug` saying
// what `who` got, e.g. "capture thread: real-time scheduling (SCHED_FIFO 10)\n".
SchedulingGranted RaiseThisThreadForCapture(std::string_view who, const CDebugOutput& debug);

// The SCHED_FIFO priority asked for under a given RLIMIT_RTPRIO soft limit:
// kCaptureFifoPriority, or the limit when that is lower and not 0 (0 means
// "no real-time without privilege", where only CAP_SYS_NICE can grant it).
inline constexpr int kCaptureFifoPriority = 10;
int CaptureFifoPriority(uint64_t rtprioLimit);

}  // namespace vantrel
