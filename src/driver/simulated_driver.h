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

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "record/capture_record.h"
#include "driver/sim_devices.h"
#include "record/driver_device.h"

namespace vantrel {


// Ticks per microsecond the simulated driver reports (IOCTL_PROCSPEED).
inline constexpr uint32_t kSimulatedProcessorSpeed = 2400;

struct SimulatedDriverScript {
    // When non-empty: the exact enumeration replies, in order; after the last
    // one the driver answers "done" (state 0).
    std::vector<EnumReply> enumReplies;
    // Control codes whose requests fail.
    std::set<uint32_t> failingCodes;
    // Replaces the reported processor speed.
    std::optional<uint32_t> processorSpeed;
};

struct SimulatedDriverOptions {
    double rate = 2000;  // IRPs per second; <= 0 means as fast as the ring drains
    uint64_t seed = 1;
    std::vector<std::string> devices;  // object names to offer; empty = all
    bool generate = true;              // false: only injected records reach the ring
    bool absent = false;               // opening the driver fails
    SimulatedDriverScript script;
};

// Opens a new simulated driver directly (null when `absent`).
std::unique_ptr<IDriverDevice> OpenSimulatedDriver(const SimulatedDriverOptions& options);


// Options from the environment: VANTREL_SIM_RATE, VANTREL_SIM_SEED,
// VANTREL_SIM_DEVICES (comma-separated object names), VANTREL_DRIVER=none
// (absent). Values that do not parse leave the default.
SimulatedDriverOptions OptionsFromEnvironment();

struct SimulatedDriverStats {
    uint64_t written = 0;  // records written into the ring
    uint64_t dropped = 0;  // records lost because the ring was full
};
// Counters of the simulated driver opened last (it may be closed by now).
SimulatedDriverStats CurrentSimulatedDriverStats();

// Queues records for the ring of the simulated driver opened last, as if
// captured; the driver writes them in order, ahead of its own traffic, as
// soon as the ring is known and has room (injected records are never
// dropped). Nothing happens when no simulated driver is open.
void InjectSimulatedRecords(const std::vector<IRP_CAPTURE_RECORD>& records);

// The simulated driver as its creator sees it: an opener for the document
// and the counters of the driver it opened last.
class CSimulatedDriverSession {
public:
    explicit CSimulatedDriverSession(SimulatedDriverOptions options) : m_options(std::move(options)) {}
    // Opens "\\.\KLAVDRIVER" (any case) as a new simulated driver; other
    // paths, or an absent driver, give null.
    DriverOpener Opener();
    SimulatedDriverStats Stats() const { return CurrentSimulatedDriverStats(); }
    void Inject(const std::vector<IRP_CAPTURE_RECORD>& records) { InjectSimulatedRecords(records); }

private:
    SimulatedDriverOptions m_options;
};

}  // namespace vantrel
