#pragma once
// What a simulated driver is opened with: its rate, seed and devices, and
// the script a test gives it. The core reads these; the session that opens
// drivers (simulated_driver.h) is built on top.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "endpoint/device_row.h"

namespace vantrel {

// Ticks per microsecond the simulated driver reports (IOCTL_PROCSPEED).
inline constexpr uint32_t kSimulatedProcessorSpeed = 2400;

// The fastest rate a source may be asked for, in records a second.
inline constexpr double kMaxRecordRate = 10'000'000;

struct SimulatedDriverScript {
    // When non-empty: the exact enumeration replies, in order; after the last
    // one the driver answers "done" (state 0).
    std::vector<DeviceRow> enumReplies;
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

// A rate given as text: finite, from 0 (as fast as the ring drains) to
// kMaxRecordRate. Nullopt for anything else.
std::optional<double> ParseRecordRate(const std::string& text);

// Options from the environment: VANTREL_SIM_RATE, VANTREL_SIM_SEED,
// VANTREL_SIM_DEVICES (comma-separated object names), VANTREL_DRIVER=none
// (absent). A seed that does not parse leaves the default; a rate that is
// not one (ParseRecordRate) leaves the default and, when `problem` is
// given, says so there in one line.
SimulatedDriverOptions OptionsFromEnvironment(std::string* problem = nullptr);

}  // namespace vantrel
