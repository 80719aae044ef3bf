#include "catalogue/ioctl_selector.h"

#include <cstdio>

#include "catalogue/catalogue.h"

namespace vantrel {

bool IoctlFilterTest(const CIrpRecord& record, bool filterOn,
                     const IoctlFilterSelection& selection) {
    if (record.GetMajorFunction() != IRP_MJ_DEVICE_CONTROL) return false;
    if (!filterOn || selection.code == -1) return true;
    if (StoredIoctlCode(record.GetIoControlCode()) != selection.code) return false;
    return record.ObjectNameView() == selection.objectName;
}

std::string IoctlEntryLabel(CCatalogue* catalogue, uint32_t code, std::string_view objectName) {
    if (catalogue && catalogue->FindIoctl(code, objectName)) return catalogue->Ioctls().m_IoctlName;
    char text[16];
    std::snprintf(text, sizeof text, "0x%.8x", code);
    return text;
}

bool SaveIoctl(CCatalogue* catalogue, const CIrpRecord& record, std::string_view ioctlName,
               std::string_view inputTemplate, std::string_view outputTemplate,
               std::string* error) {
    if (!catalogue || !catalogue->IsOpen()) {
        if (error) *error = "The catalogue is not open.";
        return false;
    }
    return catalogue->SaveIoctl(record.GetIoControlCode(), record.ObjectNameView(), ioctlName,
                                inputTemplate, outputTemplate, error);
}

}  // namespace vantrel
