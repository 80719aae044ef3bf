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

namespace vantrel::traffic {

// Completion statuses. The named ones are the common kernel codes; the
// others are real codes that the program prints by number.
inline constexpr uint32_t STATUS_SUCCESS = 0x00000000;
inline constexpr uint32_t STATUS_TIMEOUT = 0x00000102;
inline constexpr uint32_t STATUS_PENDING = 0x00000103;
inline constexpr uint32_t STATUS_BUFFER_OVERFLOW = 0x80000005;
inline constexpr uint32_t STATUS_DEVICE_BUSY = 0x80000011;
inline constexpr uint32_t STATUS_VERIFY_REQUIRED = 0x80000016;
inline constexpr uint32_t STATUS_UNSUCCESSFUL = 0xC0000001;
inline constexpr uint32_t STATUS_NOT_IMPLEMENTED = 0xC0000002;
inline constexpr uint32_t STATUS_INVALID_INFO_CLASS = 0xC0000003;
inline constexpr uint32_t STATUS_INVALID_PARAMETER = 0xC000000D;
inline constexpr uint32_t STATUS_INVALID_DEVICE_REQUEST = 0xC0000010;
inline constexpr uint32_t STATUS_END_OF_FILE = 0xC0000011;
inline constexpr uint32_t STATUS_NO_MEDIA_IN_DEVICE = 0xC0000013;
inline constexpr uint32_t STATUS_ACCESS_DENIED = 0xC0000022;
inline constexpr uint32_t STATUS_BUFFER_TOO_SMALL = 0xC0000023;
inline constexpr uint32_t STATUS_OBJECT_NAME_NOT_FOUND = 0xC0000034;
inline constexpr uint32_t STATUS_SHARING_VIOLATION = 0xC0000043;
inline constexpr uint32_t STATUS_INSUFFICIENT_RESOURCES = 0xC000009A;
inline constexpr uint32_t STATUS_DEVICE_DATA_ERROR = 0xC000009C;
inline constexpr uint32_t STATUS_DEVICE_NOT_CONNECTED = 0xC000009D;
inline constexpr uint32_t STATUS_DEVICE_NOT_READY = 0xC00000A3;
inline constexpr uint32_t STATUS_IO_TIMEOUT = 0xC00000B5;
inline constexpr uint32_t STATUS_NOT_SUPPORTED = 0xC00000BB;
inline constexpr uint32_t STATUS_CANCELLED = 0xC0000120;
inline constexpr uint32_t STATUS_INVALID_DEVICE_STATE = 0xC0000184;
inline constexpr uint32_t STATUS_NOT_FOUND = 0xC0000225;
inline constexpr uint32_t STATUS_WMI_GUID_NOT_FOUND = 0xC0000295;
inline constexpr uint32_t STATUS_WMI_INSTANCE_NOT_FOUND = 0xC0000296;
inline constexpr uint32_t STATUS_POWER_STATE_INVALID = 0xC00002D3;

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
