#pragma once
// Which records the views take: the Statistics and Graph View pages and the
// range display all walk the record list under the same rule. With every
// device shown (or a loaded test) all records are taken, otherwise only
// those of the selected device object, and none while no row is selected;
// with the IOCTL filter on, a record must also pass the IOCTL filter test
// against the selection given here (a snapshot: the caller takes it once
// per walk, never per record).

#include <cstdint>
#include <optional>

#include "catalogue/ioctl_selector.h"
#include "decode/template_snapshot.h"
#include "record/irp_record.h"

namespace vantrel {

struct RecordSelection {
    bool allDevices = true;          // ShowAllDevices set, or a test file loaded
    std::optional<uint32_t> device;  // the selected device row's device object
    bool ioctlFilter = false;        // "Filter Selected IOCTL"
    IoctlFilterSelection ioctl;      // the selector's choice (code -1: none)
};

// True when the walk can take anything at all: false only in the
// selected-device case without a selected device object.
inline bool CanTakeAny(const RecordSelection& s) {
    return s.allDevices || s.device.has_value();
}

bool Takes(const RecordSelection& selection, const CIrpRecord& record);

}  // namespace vantrel
