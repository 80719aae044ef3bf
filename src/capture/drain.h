#pragma once
// The drain: moves the records of the capture ring into the record list.

#include <cstdint>
#include <utility>
#include <vector>

#include "capture/capture_ring.h"
#include "platform/debug_output.h"
#include "platform/tick.h"
#include "record/irp_record.h"
#include "record/record_list.h"

namespace vantrel {

// Where the drain finds a device object's description and name.
class IDeviceDirectory {
public:
    virtual ~IDeviceDirectory() = default;
    // False when the device object is unknown (the texts are left empty).
    virtual bool FindTexts(uint32_t deviceObject, CText& description, CText& objectName) const = 0;
};

struct DrainContext {
    uint32_t processorSpeed = 0;
    const IDeviceDirectory* devices = nullptr;
    // When set, receives the IOCTL code and object name of each new
    // IRP_MJ_DEVICE_CONTROL record, in order. The caller reports them after
    // the drain, when no lock of the list is held.
    std::vector<std::pair<uint32_t, CText>>* deviceControls = nullptr;
    // Where each record's tick count comes from, and where a ring fault is
    // reported.
    const IClock* clock = &SystemClock();
    CDebugOutput debug;
};

class CRingDrain {
public:
    // Takes every record between ReadIndex and WriteIndex, in ring order,
    // and advances ReadIndex. Indices out of the ring are a driver fault:
    // the drain stops, says so once on the debugger output and takes
    // nothing more until the indices are sane again. Returns the number of
    // records taken. `generation` (when not null) receives the list
    // generation the records were appended to.
    size_t Drain(CCaptureRing& ring, CRecordList& records, const DrainContext& context,
                 uint64_t* generation = nullptr);
    bool FaultSeen() const { return m_faultReported; }

private:
    bool m_faultReported = false;
    // The device object looked up last, with its texts.
    uint32_t m_lastDevice = 0;
    bool m_haveLast = false;
    bool m_lastFound = false;
    CText m_lastDescription;
    CText m_lastName;
};

}  // namespace vantrel
