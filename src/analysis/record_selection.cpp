#include "analysis/record_selection.h"

namespace vantrel {

bool Takes(const RecordSelection& selection, const CIrpRecord& record) {
    if (!selection.allDevices) {
        if (!selection.device || record.GetDeviceObject() != *selection.device) return false;
    }
    return !selection.ioctlFilter || IoctlFilterTest(record, true, selection.ioctl);
}

}  // namespace vantrel
