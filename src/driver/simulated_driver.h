#pragma once
// SimulatedDriver: the in-process stand-in for the kernel filter driver
// behind "\\.\KLAVDRIVER". It answers every control code of the driver
// protocol byte for byte, enumerates a fixed set of device objects and, once
// the application has handed it the capture ring (IOCTL_INITBUFF) and the
// data-ready event (IOCTL_SETMODE), writes an IRP stream for every filtered
// device object into the ring from a thread of its own.
//
// Ring hand-off, as the driver side of it:
//  - the driver alone writes the slots and WriteIndex; it reads ReadIndex;
//  - a slot is written completely before WriteIndex moves past it (release);
//  - the ring is full when the next write index equals ReadIndex: then a
//    captured record is dropped and counted (at a finite rate); at the
//    unlimited rate the driver waits for room instead;
//  - after each batch of written records it sets the data-ready event. It
//    never writes Signalled (that word is the application's), and while
//    unread records stay in the ring it sets the event again every 10 ms, so
//    a wake-up lost between the application's drain and its reset of the
//    event only delays records, never strands them;
//  - after the device is closed the ring is never touched again.
//
// The writer thread stands for kernel code: at a finite rate it asks for
// real-time scheduling (RaiseThisThreadForCapture) and says on the debugger
// output what it got; at the unlimited rate it never drops and stays at
// ordinary priority.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/sim_devices.h"
#include "driver/sim_options.h"
#include "record/capture_record.h"
#include "record/driver_device.h"

namespace vantrel {

// Opens a new simulated driver on its own, bound to no session (null when
// `absent`).
std::unique_ptr<IDriverDevice> OpenSimulatedDriver(const SimulatedDriverOptions& options);

struct SimulatedDriverStats {
    uint64_t written = 0;  // records written into the ring
    uint64_t dropped = 0;  // records lost because the ring was full
};

// CSimulatedDriverSession: the simulated driver as one creator (a document,
// the command line, a test) installs it. Its opener opens a new simulated
// driver with the session's options; the session keeps track of the driver
// it opened last, for its counters and for injected records. Sessions share
// nothing: two in one process never see each other's drivers.
//
// Thread safety: every call may come from any thread. The opener holds the
// session's state, so it stays valid after the session object is gone
// (Stats and Inject then simply concern no one).
class CSimulatedDriverSession {
public:
    explicit CSimulatedDriverSession(SimulatedDriverOptions options);
    ~CSimulatedDriverSession();
    CSimulatedDriverSession(const CSimulatedDriverSession&) = delete;
    CSimulatedDriverSession& operator=(const CSimulatedDriverSession&) = delete;

    // Opens "\\.\KLAVDRIVER" (in any case) as a new simulated driver bound
    // to this session; any other path, or `absent` options, gives null.
    DriverOpener Opener() const;
    // The counters of the driver this session opened last (it may be closed
    // by now); zero before the first open.
    SimulatedDriverStats Stats() const;
    // Queues records for the ring of the driver this session opened last, as
    // if captured; that driver writes them in order, ahead of its own
    // traffic, as soon as the ring is known and has room (injected records
    // are never dropped). Nothing happens when that driver is closed or none
    // was opened.
    void Inject(const std::vector<IRP_CAPTURE_RECORD>& records);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace vantrel
