#include "decode/name_tables.h"

#include <array>

#include "record/capture_record.h"

namespace vantrel {

const char kMajorFunctionTable[kMajorFunctionRows][kMajorFunctionRowWidth] = {
    "IRP_MJ_CREATE",
    "IRP_MJ_CREATE_NAMED_PIPE",
    "IRP_MJ_CLOSE",
    "IRP_MJ_READ",
    "IRP_MJ_WRITE",
    "IRP_MJ_QUERY_INFORMATION",
    "IRP_MJ_SET_INFORMATION",
    "IRP_MJ_QUERY_EA",
    "IRP_MJ_SET_EA",
    "IRP_MJ_FLUSH_BUFFERS",
    "IRP_MJ_QUERY_VOLUME_INFORMATION",
    "IRP_MJ_SET_VOLUME_INFORMATION",
    "IRP_MJ_DIRECTORY_CONTROL",
    "IRP_MJ_FILE_SYSTEM_CONTROL",
    "IRP_MJ_DEVICE_CONTROL",
    "IRP_MJ_INTERNAL_DEVICE_CONTROL",
    "IRP_MJ_SHUTDOWN",
    "IRP_MJ_LOCK_CONTROL",
    "IRP_MJ_CLEANUP",
    "IRP_MJ_CREATE_MAILSLOT",
    "IRP_MJ_QUERY_SECURITY",
    "IRP_MJ_SET_SECURITY",
    "IRP_MJ_POWER",
    "IRP_MJ_SYSTEM_CONTROL",
    "IRP_MJ_DEVICE_CHANGE",
    "IRP_MJ_QUERY_QUOTA",
    "IRP_MJ_SET_QUOTA",
    "IRP_MJ_PNP",
    "IRP_MJ_PNP_POWER",
    "IRP_MJ_MAXIMUM_FUNCTION",
};

namespace {

// Row lengths, computed once so that a lookup is an index and no strlen.
struct MajorNameViews {
    std::array<std::string_view, kMajorFunctionRows> views;
    MajorNameViews() {
        for (size_t i = 0; i < kMajorFunctionRows; ++i) views[i] = kMajorFunctionTable[i];
    }
};

constexpr std::string_view kPowerMinor[] = {
    "IRP_MN_WAIT_WAKE",
    "IRP_MN_POWER_SEQUENCE",
    "IRP_MN_SET_POWER",
    "IRP_MN_QUERY_POWER",
};

constexpr std::string_view kWmiMinor[] = {
    "IRP_MN_QUERY_ALL_DATA",     "IRP_MN_QUERY_SINGLE_INSTANCE", "IRP_MN_CHANGE_SINGLE_INSTANCE",
    "IRP_MN_CHANGE_SINGLE_ITEM", "IRP_MN_ENABLE_EVENTS",         "IRP_MN_DISABLE_EVENTS",
    "IRP_MN_ENABLE_COLLECTION",  "IRP_MN_DISABLE_COLLECTION",    "IRP_MN_REGINFO",
    "IRP_MN_EXECUTE_METHOD",
};

constexpr std::string_view kPnpMinor[] = {
    "IRP_MN_START_DEVICE",
    "IRP_MN_QUERY_REMOVE_DEVICE",
    "IRP_MN_REMOVE_DEVICE",
    "IRP_MN_CANCEL_REMOVE_DEVICE",
    "IRP_MN_STOP_DEVICE",
    "IRP_MN_QUERY_STOP_DEVICE",
    "IRP_MN_CANCEL_STOP_DEVICE",
    "IRP_MN_QUERY_DEVICE_RELATIONS",
    "IRP_MN_QUERY_INTERFACE",
    "IRP_MN_QUERY_CAPABILITIES",
    "IRP_MN_QUERY_RESOURCES",
    "IRP_MN_QUERY_RESOURCE_REQUIREMENTS",
    "IRP_MN_QUERY_DEVICE_TEXT",
    "IRP_MN_FILTER_RESOURCE_REQUIREMENTS",
    "",  // 0x0E has no name
    "IRP_MN_READ_CONFIG",
    "IRP_MN_WRITE_CONFIG",
    "IRP_MN_EJECT",
    "IRP_MN_SET_LOCK",
    "IRP_MN_QUERY_ID",
    "IRP_MN_QUERY_PNP_DEVICE_STATE",
    "IRP_MN_QUERY_BUS_INFORMATION",
    "IRP_MN_DEVICE_USAGE_NOTIFICATION",
};

template <size_t N>
std::string_view Pick(const std::string_view (&names)[N], uint32_t minor) {
    return minor < N ? names[minor] : std::string_view();
}

}  // namespace

std::string_view MajorFunctionName(uint32_t major) {
    static const MajorNameViews names;
    return major < kMajorFunctionRows ? names.views[major] : std::string_view();
}

std::string_view MinorFunctionName(uint32_t major, uint32_t minor) {
    switch (major) {
        case IRP_MJ_POWER:
            return Pick(kPowerMinor, minor);
        case IRP_MJ_SYSTEM_CONTROL:
            return Pick(kWmiMinor, minor);
        case IRP_MJ_PNP:
            return Pick(kPnpMinor, minor);
        default:
            return {};
    }
}

std::string_view StatusName(uint32_t status) {
    switch (status) {
        case 0x00000000:
            return "STATUS_SUCCESS";
        case 0x00000102:
            return "STATUS_TIMEOUT";
        case 0x00000103:
            return "STATUS_PENDING";
        case 0x00000104:
            return "STATUS_REPARSE";
        case 0x80000005:
            return "STATUS_BUFFER_OVERFLOW";
        case 0x80000022:
            return "STATUS_NO_DATA_DETECTED";
        case 0xC0000001:
            return "STATUS_UNSUCCESSFUL";
        case 0xC0000002:
            return "STATUS_NOT_IMPLEMENTED";
        case 0xC0000008:
            return "STATUS_INVALID_HANDLE";
        case 0xC000000D:
            return "STATUS_INVALID_PARAM";
        case 0xC0000010:
            return "STATUS_INVALID_DEVICE_REQUEST";
        case 0xC0000013:
            return "STATUS_NO_MEDIA_IN_DEVICE";
        case 0xC0000021:
            return "STATUS_ALREADY_COMMITTED";
        case 0xC0000022:
            return "STATUS_ACCESS_DENIED";
        case 0xC0000023:
            return "STATUS_BUFFER_TOO_SMALL";
        case 0xC0000034:
            return "STATUS_OBJECT_NAME_NOT_FOUND";
        case 0xC000009A:
            return "STATUS_INSUFF_RES";
        case 0xC00000B5:
            return "STATUS_IO_TIMEOUT";
        case 0xC00000BB:
            return "STATUS_NOT_SUPPORTED";
        case 0xC0000120:
            return "STATUS_CANCELLED";
        case 0xC000014F:
            return "STATUS_UNRECOGNIZED_VOLUME";
        case 0xC0000183:
            return "STATUS_DRIVER_INTERNAL_ERROR";
        case 0xC0000225:
            return "STATUS_NOT_FOUND";
        case 0xC0000230:
            return "STATUS_PROPSET_NOT_FOUND";
        default:
            return {};
    }
}

}  // namespace vantrel
