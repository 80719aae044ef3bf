#pragma once
// The window-free core of the IOCTL selector: the IOCTL filter test, the
// label of a list entry, and Save IOCTL.

#include <cstdint>
#include <string>
#include <string_view>

#include "decode/template_snapshot.h"
#include "record/irp_record.h"

namespace vantrel {

class CCatalogue;

// The IOCTL filter test. Only IRP_MJ_DEVICE_CONTROL records pass; while the
// filter is on and an IOCTL is selected (code other than -1), only those with
// the selected code and exactly the selected device object name.
bool IoctlFilterTest(const CIrpRecord& record, bool filterOn,
                     const IoctlFilterSelection& selection);

// The label of a list entry: the catalogue's `Ioctl Name` for the pair
// (code, object name), else the code as "0x%.8x". A catalogue that is not
// open (or null) gives the numeric label.
std::string IoctlEntryLabel(CCatalogue* catalogue, uint32_t code, std::string_view objectName);
inline std::string IoctlEntryLabel(CCatalogue* catalogue, const CIrpRecord& record) {
    return IoctlEntryLabel(catalogue, record.GetIoControlCode(), record.ObjectNameView());
}

// Save IOCTL for an entry's record: edits the row of (code, full object
// name) or adds one. False, tables untouched, when the catalogue is not open.
bool SaveIoctl(CCatalogue* catalogue, const CIrpRecord& record, std::string_view ioctlName,
               std::string_view inputTemplate, std::string_view outputTemplate,
               std::string* error = nullptr);

}  // namespace vantrel
