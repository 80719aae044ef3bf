#include "decode/name_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "record/capture_record.h"

namespace vantrel {
namespace {

const char* const kMajorNames[30] = {
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

TEST(NameTables, MajorTableHoldsThirtyFixedRows) {
    static_assert(sizeof(kMajorFunctionTable) == 30 * 128);
    const char* base = &kMajorFunctionTable[0][0];
    for (uint32_t code = 0; code < 30; ++code) {
        SCOPED_TRACE(code);
        // Row N starts at N * 128 and holds one NUL-terminated name.
        EXPECT_STREQ(base + code * 128, kMajorNames[code]);
        EXPECT_EQ(MajorFunctionName(code), kMajorNames[code]);
    }
    EXPECT_EQ(MajorFunctionName(0x1B), "IRP_MJ_PNP");
    EXPECT_EQ(MajorFunctionName(0x1C), "IRP_MJ_PNP_POWER");
}

TEST(NameTables, MajorCodeOutsideTableHasNoName) {
    for (uint32_t code : {30u, 31u, 0x100u, 0xFFFFFFFFu})
        EXPECT_TRUE(MajorFunctionName(code).empty());
}

TEST(NameTables, MinorNamesOfPowerWmiAndPnp) {
    const std::vector<const char*> power = {"IRP_MN_WAIT_WAKE", "IRP_MN_POWER_SEQUENCE",
                                            "IRP_MN_SET_POWER", "IRP_MN_QUERY_POWER"};
    const std::vector<const char*> wmi = {"IRP_MN_QUERY_ALL_DATA",
                                          "IRP_MN_QUERY_SINGLE_INSTANCE",
                                          "IRP_MN_CHANGE_SINGLE_INSTANCE",
                                          "IRP_MN_CHANGE_SINGLE_ITEM",
                                          "IRP_MN_ENABLE_EVENTS",
                                          "IRP_MN_DISABLE_EVENTS",
                                          "IRP_MN_ENABLE_COLLECTION",
                                          "IRP_MN_DISABLE_COLLECTION",
                                          "IRP_MN_REGINFO",
                                          "IRP_MN_EXECUTE_METHOD"};
    const std::vector<const char*> pnp = {"IRP_MN_START_DEVICE",
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
                                          "",
                                          "IRP_MN_READ_CONFIG",
                                          "IRP_MN_WRITE_CONFIG",
                                          "IRP_MN_EJECT",
                                          "IRP_MN_SET_LOCK",
                                          "IRP_MN_QUERY_ID",
                                          "IRP_MN_QUERY_PNP_DEVICE_STATE",
                                          "IRP_MN_QUERY_BUS_INFORMATION",
                                          "IRP_MN_DEVICE_USAGE_NOTIFICATION"};
    const std::pair<uint32_t, const std::vector<const char*>*> tables[] = {
        {IRP_MJ_POWER, &power}, {IRP_MJ_SYSTEM_CONTROL, &wmi}, {IRP_MJ_PNP, &pnp}};
    for (auto [major, names] : tables) {
        for (uint32_t minor = 0; minor < names->size(); ++minor) {
            SCOPED_TRACE(testing::Message() << major << "/" << minor);
            EXPECT_EQ(MinorFunctionName(major, minor), (*names)[minor]);
        }
        // Each list is complete: the next code has no name.
        EXPECT_TRUE(MinorFunctionName(major, static_cast<uint32_t>(names->size())).empty());
        EXPECT_TRUE(MinorFunctionName(major, 0xFFFFFFFFu).empty());
    }
    EXPECT_TRUE(MinorFunctionName(IRP_MJ_PNP, 0x0E).empty());
    EXPECT_TRUE(MinorFunctionName(IRP_MJ_PNP, 0x17).empty());
    EXPECT_TRUE(MinorFunctionName(IRP_MJ_POWER, 0x04).empty());
}

TEST(NameTables, OtherMajorsHaveNoMinorNames) {
    for (uint32_t major = 0; major < 40; ++major) {
        if (major == IRP_MJ_POWER || major == IRP_MJ_SYSTEM_CONTROL || major == IRP_MJ_PNP)
            continue;
        EXPECT_TRUE(MinorFunctionName(major, 0).empty()) << major;
    }
    EXPECT_TRUE(MinorFunctionName(0x10016, 0).empty());  // no masking of the major code
}

TEST(NameTables, StatusNames) {
    const std::pair<uint32_t, const char*> named[] = {
        {0x00000000, "STATUS_SUCCESS"},
        {0x00000102, "STATUS_TIMEOUT"},
        {0x00000103, "STATUS_PENDING"},
        {0x00000104, "STATUS_REPARSE"},
        {0x80000005, "STATUS_BUFFER_OVERFLOW"},
        {0x80000022, "STATUS_NO_DATA_DETECTED"},
        {0xC0000001, "STATUS_UNSUCCESSFUL"},
        {0xC0000002, "STATUS_NOT_IMPLEMENTED"},
        {0xC0000008, "STATUS_INVALID_HANDLE"},
        {0xC000000D, "STATUS_INVALID_PARAM"},
        {0xC0000010, "STATUS_INVALID_DEVICE_REQUEST"},
        {0xC0000013, "STATUS_NO_MEDIA_IN_DEVICE"},
        {0xC0000021, "STATUS_ALREADY_COMMITTED"},
        {0xC0000022, "STATUS_ACCESS_DENIED"},
        {0xC0000023, "STATUS_BUFFER_TOO_SMALL"},
        {0xC0000034, "STATUS_OBJECT_NAME_NOT_FOUND"},
        {0xC000009A, "STATUS_INSUFF_RES"},
        {0xC00000B5, "STATUS_IO_TIMEOUT"},
        {0xC00000BB, "STATUS_NOT_SUPPORTED"},
        {0xC0000120, "STATUS_CANCELLED"},
        {0xC000014F, "STATUS_UNRECOGNIZED_VOLUME"},
        {0xC0000183, "STATUS_DRIVER_INTERNAL_ERROR"},
        {0xC0000225, "STATUS_NOT_FOUND"},
        {0xC0000230, "STATUS_PROPSET_NOT_FOUND"},
    };
    for (auto [status, name] : named) EXPECT_EQ(StatusName(status), name) << std::hex << status;
    // The whole value is compared: no severity or facility masking.
    for (uint32_t status : {0x00000001u, 0x40000000u, 0x80000000u, 0x0000000Du, 0xE000000Du,
                            0xC001000Du, 0x00000105u}) {
        EXPECT_TRUE(StatusName(status).empty()) << std::hex << status;
    }
}

}  // namespace
}  // namespace vantrel
