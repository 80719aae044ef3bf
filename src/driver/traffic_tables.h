#pragma once
// The simulated IRP traffic as data: what each kind of device receives and
// how often, how long it takes, how requests fail, and what the device
// controls carry in their buffers. CIrpStream draws from these tables; the
// order of its draws (and so each seed's stream) is its business, not theirs.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "driver/sim_devices.h"
#include "record/ntstatus.h"

namespace vantrel::traffic {

// One choice of a weighted pick: `value` comes up `weight` times in the sum
// of the weights.
struct Weighted {
    uint32_t value;
    uint32_t weight;
};

// A log-normal latency: the median in microseconds and the spread.
struct LatencySpec {
    double medianUs;
    double sigma;
};

// The traffic of a kind of device: records per second with every major
// function selected, and the relative weight of each major function.
struct KindTraffic {
    SimDeviceKind kind;
    double activity;
    std::array<uint32_t, 28> majorWeights;  // by major function
};
const KindTraffic& TrafficOf(SimDeviceKind kind);

// Reads and writes of a kind of device.
struct TransferProfile {
    SimDeviceKind kind;
    uint32_t unit;                     // bytes of one block
    std::span<const Weighted> blocks;  // blocks per request, when the counts below are 0
    uint32_t readBlocksBelow;          // non-zero: 1 + a uniform draw below it, for reads
    uint32_t writeBlocksBelow;         // and for writes
    uint64_t mediaBytes;               // non-zero: offsets on a medium this big, mostly sequential
    uint32_t offsetBelow;              // non-zero: a uniform offset below it
    LatencySpec read;
    LatencySpec write;
    bool wireTime;  // writes take ten bit times per byte at the port's baud rate
};
const TransferProfile& TransferOf(SimDeviceKind kind);

// The completion statuses of a failed request (neither success nor pending).
std::span<const Weighted> FailureStatuses(uint32_t major, uint32_t minor, SimDeviceKind kind);

// DEVICE_CAPABILITIES as a kind of device reports them.
struct CapabilitiesProfile {
    uint32_t flags, address, uiNumber, systemWake, deviceWake, d3Latency;
    uint32_t deviceStates[7];
};
const CapabilitiesProfile& CapabilitiesOf(SimDeviceKind kind);

// One little-endian field of a device-control buffer.
struct BufferField {
    uint16_t offset;
    uint8_t size;  // 1, 2, 4 or 8
    uint64_t value;
};

// Buffer contents that depend on the device's state or on chance; the
// stream fills these itself.
enum class IoctlContent {
    Fixed,           // only the fields of the table
    SetBaudRate,     // the input sets the port's new rate
    GetBaudRate,     // the output reports the port's rate
    CommStatus,      // errors and queue lengths of the port
    ParallelStatus,  // the printer's status byte
    NdisStatistics,  // the input names an OID, the output its counter
};

// What one device control carries besides its lengths and code.
struct IoctlBehaviour {
    uint32_t code;
    std::span<const BufferField> output;  // written when the request succeeded or is pending
    std::span<const BufferField> input;   // always written
    IoctlContent content;
    std::optional<LatencySpec> latency;  // replaces the usual device-control latency
};
// Null for a code that carries nothing beyond its lengths.
const IoctlBehaviour* IoctlBehaviourOf(uint32_t code);

}  // namespace vantrel::traffic
