#pragma once
// The program's string table: texts shown to the user, by id.

#include <cstdint>
#include <string_view>

namespace vantrel {

enum StringId : uint32_t {
    IDS_APP_NAME = 129,
    IDS_REGISTRY_KEY = 61446,
    IDS_GENERAL_ERROR = 61447,
    IDS_NO_SUCH_DEVNODE = 61448,
    IDS_RESULTS_FONT = 61449,
    IDS_TAB_FONT = 61450,
    IDS_NO_IRP_SELECTED = 61451,
    IDS_DRIVER_NOT_LOADED = 61452,
    IDS_CANNOT_OPEN_FILE = 61454,
    IDS_NO_RECORDS_TO_DELETE = 61455,
    IDS_HELP_FILE = 61456,
    IDS_HELP_MISSING = 61457,
    IDS_BAD_RANGE = 61461,
    IDS_NO_DEVICE_SELECTED = 61462,
    IDS_UNCHECK_IOCTL_FILTER = 61463,
    IDS_REMOVE_FILTER_FIRST = 61464,
};

// The text of a string id; empty for an unknown id.
std::string_view LoadString(uint32_t id);

}  // namespace vantrel
