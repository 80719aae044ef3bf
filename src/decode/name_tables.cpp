#include "decode/name_tables.h"

#include <array>

#include "record/capture_record.h"
#include "record/ntstatus.h"

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
        case kStatusSuccess:
            return "STATUS_SUCCESS";
        case kStatusTimeout:
            return "STATUS_TIMEOUT";
        case kStatusPending:
            return "STATUS_PENDING";
        case kStatusReparse:
            return "STATUS_REPARSE";
        case kStatusBufferOverflow:
            return "STATUS_BUFFER_OVERFLOW";
        case kStatusNoDataDetected:
            return "STATUS_NO_DATA_DETECTED";
        case kStatusUnsuccessful:
            return "STATUS_UNSUCCESSFUL";
        case kStatusNotImplemented:
            return "STATUS_NOT_IMPLEMENTED";
        case kStatusInvalidHandle:
            return "STATUS_INVALID_HANDLE";
        case kStatusInvalidParameter:
            return "STATUS_INVALID_PARAM";
        case kStatusInvalidDeviceRequest:
            return "STATUS_INVALID_DEVICE_REQUEST";
        case kStatusNoMediaInDevice:
            return "STATUS_NO_MEDIA_IN_DEVICE";
        case kStatusAlreadyCommitted:
            return "STATUS_ALREADY_COMMITTED";
        case kStatusAccessDenied:
            return "STATUS_ACCESS_DENIED";
        case kStatusBufferTooSmall:
            return "STATUS_BUFFER_TOO_SMALL";
        case kStatusObjectNameNotFound:
            return "STATUS_OBJECT_NAME_NOT_FOUND";
        case kStatusInsufficientResources:
            return "STATUS_INSUFF_RES";
        case kStatusIoTimeout:
            return "STATUS_IO_TIMEOUT";
        case kStatusNotSupported:
            return "STATUS_NOT_SUPPORTED";
        case kStatusCancelled:
            return "STATUS_CANCELLED";
        case kStatusUnrecognizedVolume:
            return "STATUS_UNRECOGNIZED_VOLUME";
        case kStatusDriverInternalError:
            return "STATUS_DRIVER_INTERNAL_ERROR";
        case kStatusNotFound:
            return "STATUS_NOT_FOUND";
        case kStatusPropsetNotFound:
            return "STATUS_PROPSET_NOT_FOUND";
        default:
            return {};
    }
}

}  // namespace vantrel
