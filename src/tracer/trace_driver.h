#pragma once
// The trace driver: a second driver behind the same protocol as the
// simulated one, whose IRPs are a real program's device I/O. Its device
// objects are the device numbers with a node under /dev plus three
// catch-all rows; when the first filter is added it starts the command it
// was given, under trace (process_tracer.h), and writes one record per
// traced call on a filtered device object and major into the application's
// ring. IOCTL_PROCSPEED answers 1000: a tick is a nanosecond of the
// monotonic clock, so latencies come out in milliseconds as they do with
// the other drivers.
//
// Ring hand-off, as the driver side of it (the simulated driver's rules):
//  - the driver alone writes the slots and WriteIndex; it reads ReadIndex;
//  - a slot is written completely before WriteIndex moves past it (release);
//  - the ring is full when the next write index equals ReadIndex: then the
//    tracer waits for room with the tracee stopped, so nothing is dropped;
//  - it sets the data-ready event after a batch of 32 records or 1 ms after
//    it last did, and while unread records stay in the ring it sets it
//    again every 2 ms, so records never wait longer than that and a wake-up
//    lost between the application's drain and its reset of the event only
//    delays them;
//  - after the device is closed the ring is never touched again.
//
// The command is never detached: under the trace filter it would get
// ENOSYS from every traced call without its tracer. Removing a filter only
// stops recording; closing the driver kills the command (as the kernel
// does when the tracer ends first, PTRACE_O_EXITKILL).

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devnodes/trace_devices.h"
#include "record/driver_device.h"

namespace vantrel {

inline constexpr uint32_t kTraceProcessorSpeed = 1000;

struct TraceDriverOptions {
    std::vector<std::string> command;  // argv; started when the first filter is added
    // Or running processes, attached when the first filter is added and let
    // go (they keep running) when the last filter is removed or the driver
    // closes.
    std::vector<pid_t> attach;
    TraceRoots roots;
};

// What became of the command.
struct TraceDriverStatus {
    bool started = false;   // it runs (or ran) under trace, or the processes were attached
    bool finished = false;  // it ended (attached: all were let go or ended), or could not be
                            // started (then `error` says why)
    int exitStatus = 0;     // its exit code, or 128 + the signal that ended it
    std::string error;
    uint64_t written = 0;  // records written into the ring
};

// Why the command could not be started ("no such command: NAME"), or empty
// when it looks startable; callers say so before any filter is set.
std::string TraceCommandProblem(const std::vector<std::string>& command);

// Opens a new trace driver bound to no session.
std::unique_ptr<IDriverDevice> OpenTraceDriver(const TraceDriverOptions& options);

// CTraceDriverSession: the trace driver as one creator installs it, like
// CSimulatedDriverSession. Any thread may call; the opener keeps the
// session's state alive on its own.
class CTraceDriverSession {
public:
    explicit CTraceDriverSession(TraceDriverOptions options);
    ~CTraceDriverSession();
    CTraceDriverSession(const CTraceDriverSession&) = delete;
    CTraceDriverSession& operator=(const CTraceDriverSession&) = delete;

    // Opens "\\.\KLAVDRIVER" (in any case) as a new trace driver bound to
    // this session; any other path gives null.
    DriverOpener Opener() const;
    // The command of the driver this session opened last.
    TraceDriverStatus Status() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace vantrel
