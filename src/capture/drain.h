#pragma once
// The drain: moves the records of the capture ring into the record list.

#include <cstdint>
#include <functional>

#include "capture/capture_ring.h"
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
    // Called for each new IRP_MJ_DEVICE_CONTROL record, after it is on the
    // list, with the list's generation at the append. The record is valid
    // only during the call.
    std::function<void(const CIrpRecord&, uint64_t generation)> onDeviceControl;
};

class CRingDrain {
public:
    // Takes every record between ReadIndex and WriteIndex, in ring order,
    // and advances ReadIndex. Indices out of the ring are a driver fault:
    // the drain stops, says so once on the debugger output and takes
    // nothing more until the indices are sane again. Returns the number of
    // records taken.
    size_t Drain(CCaptureRing& ring, CRecordList& records, const DrainContext& context);
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
