#pragma once
// The device objects the simulated filter driver knows: what it reports in
// the device enumeration, and which kind of IRP traffic each one sees.

#include <cstdint>
#include <string>
#include <vector>

#include "endpoint/device_row.h"

namespace vantrel {

// The traffic profile of a device object.
enum class SimDeviceKind {
    Disk,
    Volume,
    CdRom,
    Floppy,
    Keyboard,
    Mouse,
    Serial,
    Parallel,
    Network,
    Beep,
    Video,
    Null,
    PnpBus,
    Generic,  // a device object the driver only knows from a scripted enumeration
};

// One device control the device object receives, with its buffer lengths.
struct SimIoctl {
    uint32_t code;
    uint32_t inLength;
    uint32_t outLength;
    uint32_t weight;
};

struct SimDevice {
    uint32_t deviceObject;
    int32_t state;  // enumeration state reported with the row: 1, or -3 for a legacy device
    uint32_t flag;  // non-zero: a bus-enumerated object without a device description of its own
    SimDeviceKind kind;
    const char* objectName;
    const char* description;
    const char* secondName;
};

// Every device object, in enumeration order.
const std::vector<SimDevice>& SimulatedDevices();
// The device object with that value, or null.
const SimDevice* FindSimulatedDevice(uint32_t deviceObject);
// The device controls a kind of device receives (empty for most kinds).
const std::vector<SimIoctl>& SimulatedIoctls(SimDeviceKind kind);

// The default enumeration: one reply per offered device object (all when
// `objectNames` is empty, otherwise those whose object name is listed), a
// few "nothing to add" replies for nameless objects in between, and the
// final "done" reply.
std::vector<DeviceRow> DefaultEnumeration(const std::vector<std::string>& objectNames);

}  // namespace vantrel
