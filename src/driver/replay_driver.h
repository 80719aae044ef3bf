#pragma once
// The replay driver: a saved test played back through the whole pipeline,
// as if its IRPs were happening again. It offers the device objects the
// test's records name (in the order they first appear, with their names and
// descriptions), and once the filters of the first Add stop arriving writes
// the records of filtered device objects and majors into the ring, in their
// stored order; the others are skipped, as a driver would. It waits for room
// in the ring and never drops.
//
// Timing: the records keep their original spacing (their tick counts), or
// come at a given rate, or as fast as the ring drains (rate 0). The driver
// reports a processor speed of 1000 (a tick is a nanosecond of the replay's
// clock) and writes start and end times whose difference gives back each
// record's stored latency.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "record/driver_device.h"

namespace vantrel {

inline constexpr uint32_t kReplayProcessorSpeed = 1000;

struct ReplayDriverOptions {
    std::string path;            // the test file
    std::optional<double> rate;  // records a second; 0: as fast as the ring drains; none: as saved
};

struct ReplayDriverStatus {
    bool started = false;   // playback began
    bool finished = false;  // every record was played (or skipped)
    uint64_t written = 0;   // records written into the ring
};

// CReplayDriverSession: the replay driver as one creator installs it (see
// CSimulatedDriverSession). The test is read once, by Load; every driver the
// opener opens plays it from the start. Any thread may call.
class CReplayDriverSession {
public:
    // Null, with one line in `error`, when the test cannot be read.
    static std::unique_ptr<CReplayDriverSession> Load(const ReplayDriverOptions& options,
                                                      std::string& error);
    ~CReplayDriverSession();
    CReplayDriverSession(const CReplayDriverSession&) = delete;
    CReplayDriverSession& operator=(const CReplayDriverSession&) = delete;

    DriverOpener Opener() const;
    // The playback of the driver this session opened last.
    ReplayDriverStatus Status() const;

    struct State;

private:
    explicit CReplayDriverSession(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
};

}  // namespace vantrel
