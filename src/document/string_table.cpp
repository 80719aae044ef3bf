#include "document/string_table.h"

namespace vantrel {

std::string_view LoadString(uint32_t id) {
    switch (id) {
        case IDS_APP_NAME:
            return "Vantrel";
        case IDS_REGISTRY_KEY:
            return "Software\\Corvane\\Vantrel";
        case IDS_GENERAL_ERROR:
            return "A CS_DVN_GENERAL_ERROR ocurred.";
        case IDS_NO_SUCH_DEVNODE:
            return "A CS_DVN_NO_SUCH_DEVNODE ocurred.";
        case IDS_RESULTS_FONT:
            return "Courier";
        case IDS_TAB_FONT:
            return "MS Sans Serif";
        case IDS_NO_IRP_SELECTED:
            return "You must select at least one IRP in the IRP filter.";
        case IDS_DRIVER_NOT_LOADED:
            return "The system file 'klavdrv.sys' could not be loaded.  It is most\rlikely either "
                   "not present, or in use by another application";
        case IDS_CANNOT_OPEN_FILE:
            return "Vantrel couldn't open the specified file.";
        case IDS_NO_RECORDS_TO_DELETE:
            return "There are currently no records to delete.";
        case IDS_HELP_FILE:
            return "Vantrel.html";
        case IDS_HELP_MISSING:
            return "The help file, Vantrel.html, is either corrupted, or could not be\nfound.  "
                   "Make sure it's in the same directory as vantrel";
        case IDS_BAD_RANGE:
            return "The IRP range you entered is invalid.";
        case IDS_NO_DEVICE_SELECTED:
            return "You must select at least one device object in the device\nobject pane.";
        case IDS_UNCHECK_IOCTL_FILTER:
            return "You must uncheck the 'Filter Selected IOCTL' check box in the\nIOCTL Selector "
                   "to use the Template Editor.";
        case IDS_REMOVE_FILTER_FIRST:
            return "You must remove the active filter before you can open a file.";
        default:
            return {};
    }
}

}  // namespace vantrel
