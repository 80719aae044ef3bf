#pragma once
// IRP_CAPTURE_RECORD: the 496-byte record the filter driver writes for each
// IRP. Read and written field by field, little-endian.

#include <cstdint>
#include <cstring>

#include "record/le.h"
#include "record/protocol.h"

namespace vantrel {

// The major function codes, 0 to 27; the names (decode/name_tables.h) are
// indexed by them.
enum : uint32_t {
    IRP_MJ_CREATE = 0x00,
    IRP_MJ_CREATE_NAMED_PIPE = 0x01,
    IRP_MJ_CLOSE = 0x02,
    IRP_MJ_READ = 0x03,
    IRP_MJ_WRITE = 0x04,
    IRP_MJ_QUERY_INFORMATION = 0x05,
    IRP_MJ_SET_INFORMATION = 0x06,
    IRP_MJ_QUERY_EA = 0x07,
    IRP_MJ_SET_EA = 0x08,
    IRP_MJ_FLUSH_BUFFERS = 0x09,
    IRP_MJ_QUERY_VOLUME_INFORMATION = 0x0A,
    IRP_MJ_SET_VOLUME_INFORMATION = 0x0B,
    IRP_MJ_DIRECTORY_CONTROL = 0x0C,
    IRP_MJ_FILE_SYSTEM_CONTROL = 0x0D,
    IRP_MJ_DEVICE_CONTROL = 0x0E,
    IRP_MJ_INTERNAL_DEVICE_CONTROL = 0x0F,
    IRP_MJ_SHUTDOWN = 0x10,
    IRP_MJ_LOCK_CONTROL = 0x11,
    IRP_MJ_CLEANUP = 0x12,
    IRP_MJ_CREATE_MAILSLOT = 0x13,
    IRP_MJ_QUERY_SECURITY = 0x14,
    IRP_MJ_SET_SECURITY = 0x15,
    IRP_MJ_POWER = 0x16,
    IRP_MJ_SYSTEM_CONTROL = 0x17,
    IRP_MJ_DEVICE_CHANGE = 0x18,
    IRP_MJ_QUERY_QUOTA = 0x19,
    IRP_MJ_SET_QUOTA = 0x1A,
    IRP_MJ_PNP = 0x1B,
};

enum : uint32_t {
    IRP_MN_WAIT_WAKE = 0x00,
    IRP_MN_POWER_SEQUENCE = 0x01,
    IRP_MN_SET_POWER = 0x02,
    IRP_MN_QUERY_POWER = 0x03,
};

enum : uint32_t {
    IRP_MN_START_DEVICE = 0x00,
    IRP_MN_QUERY_DEVICE_RELATIONS = 0x07,
    IRP_MN_QUERY_INTERFACE = 0x08,
    IRP_MN_QUERY_CAPABILITIES = 0x09,
    IRP_MN_QUERY_RESOURCES = 0x0A,
    IRP_MN_QUERY_DEVICE_TEXT = 0x0C,
    IRP_MN_FILTER_RESOURCE_REQUIREMENTS = 0x0D,
    IRP_MN_READ_CONFIG = 0x0F,
    IRP_MN_WRITE_CONFIG = 0x10,
    IRP_MN_SET_LOCK = 0x12,
    IRP_MN_QUERY_ID = 0x13,
    IRP_MN_DEVICE_USAGE_NOTIFICATION = 0x16,
};

// Offsets of the fields inside the 496 bytes.
namespace rec {
inline constexpr size_t DeviceObject = 0x000;
inline constexpr size_t MajorFunction = 0x004;
inline constexpr size_t MinorFunction = 0x008;
inline constexpr size_t StartTime = 0x00C;
inline constexpr size_t EndTime = 0x014;
inline constexpr size_t Status = 0x01C;
inline constexpr size_t Parameters = 0x020;
inline constexpr size_t ParametersSize = 64;
inline constexpr size_t OutputData = 0x060;
inline constexpr size_t InputData = 0x128;
inline constexpr size_t DataSize = 200;
static_assert(InputData + DataSize == protocol::kRecordSize);

// The meaningful bytes of OutputData or InputData for a device control's
// buffer length word: the length read as signed, at most 200, none for 0 or
// less. The test file stores the output bytes by this rule and the export
// shows them by it.
constexpr size_t DataBytes(uint32_t length) {
    const auto n = static_cast<int32_t>(length);
    if (n >= static_cast<int32_t>(DataSize)) return DataSize;
    return n > 0 ? static_cast<size_t>(n) : 0;
}
static_assert(DataBytes(0xFFFFFFFFu) == 0 && DataBytes(200) == 200 && DataBytes(7) == 7);
}  // namespace rec

// Offsets inside Parameters (from the start of the parameter area).
namespace par {
// IRP_MJ_CREATE
inline constexpr size_t SecurityContext = 0, Options = 4, FileAttributes = 8, ShareAccess = 10,
                        EaLength = 12;
// IRP_MJ_READ / IRP_MJ_WRITE
inline constexpr size_t Length = 0, Key = 4, ByteOffsetLow = 8, ByteOffsetHigh = 12;
// IRP_MJ_QUERY_INFORMATION / SET_INFORMATION / QUERY_VOLUME_INFORMATION
inline constexpr size_t InformationClass = 4, FileObject = 8;
// IRP_MJ_DEVICE_CONTROL
inline constexpr size_t OutputBufferLength = 0, InputBufferLength = 4, IoControlCode = 8,
                        Type3InputBuffer = 12;
// IRP_MJ_POWER
inline constexpr size_t PowerState = 0;                                  // WAIT_WAKE
inline constexpr size_t SequenceD1 = 0, SequenceD2 = 4, SequenceD3 = 8;  // POWER_SEQUENCE copy
inline constexpr size_t SystemContext = 0, PowerType = 4, State = 8, ShutdownType = 12;
// IRP_MJ_PNP
inline constexpr size_t AllocatedResources = 0, AllocatedResourcesTranslated = 4;
inline constexpr size_t RelationType = 0;
inline constexpr size_t InterfaceType = 0, InterfaceSize = 4, InterfaceVersion = 6, Interface = 8,
                        InterfaceSpecificData = 12;
inline constexpr size_t CapSize = 0, CapVersion = 2, CapFlags = 4, CapAddress = 8, CapUINumber = 12,
                        CapDeviceState = 16, CapSystemWake = 44, CapDeviceWake = 48,
                        CapD1Latency = 52, CapD2Latency = 56, CapD3Latency = 60;
inline constexpr size_t DeviceTextType = 0, LocaleId = 4;
inline constexpr size_t IoResourceRequirementList = 0;
inline constexpr size_t WhichSpace = 0, ConfigBuffer = 4, ConfigOffset = 8, ConfigLength = 12;
inline constexpr size_t Lock = 0;
inline constexpr size_t IdType = 0;
inline constexpr size_t InPath = 0, UsageReserved = 1, UsageType = 4;
}  // namespace par

struct IRP_CAPTURE_RECORD {
    uint32_t DeviceObject = 0;
    uint32_t MajorFunction = 0;
    uint32_t MinorFunction = 0;
    uint64_t StartTime = 0;
    uint64_t EndTime = 0;
    uint32_t Status = 0;
    uint8_t Parameters[rec::ParametersSize] = {};
    uint8_t OutputData[rec::DataSize] = {};
    uint8_t InputData[rec::DataSize] = {};

    // Reads the 496 wire bytes at p.
    void Read(const uint8_t* p) {
        DeviceObject = le::U32(p + rec::DeviceObject);
        MajorFunction = le::U32(p + rec::MajorFunction);
        MinorFunction = le::U32(p + rec::MinorFunction);
        StartTime = le::U64(p + rec::StartTime);
        EndTime = le::U64(p + rec::EndTime);
        Status = le::U32(p + rec::Status);
        std::memcpy(Parameters, p + rec::Parameters, sizeof Parameters);
        std::memcpy(OutputData, p + rec::OutputData, sizeof OutputData);
        std::memcpy(InputData, p + rec::InputData, sizeof InputData);
    }
    // Writes the 496 wire bytes at p.
    void Write(uint8_t* p) const {
        le::Put32(p + rec::DeviceObject, DeviceObject);
        le::Put32(p + rec::MajorFunction, MajorFunction);
        le::Put32(p + rec::MinorFunction, MinorFunction);
        le::Put64(p + rec::StartTime, StartTime);
        le::Put64(p + rec::EndTime, EndTime);
        le::Put32(p + rec::Status, Status);
        std::memcpy(p + rec::Parameters, Parameters, sizeof Parameters);
        std::memcpy(p + rec::OutputData, OutputData, sizeof OutputData);
        std::memcpy(p + rec::InputData, InputData, sizeof InputData);
    }

    // Parameter words, offsets from the start of the parameter area.
    uint8_t Param8(size_t off) const { return Parameters[off]; }
    uint16_t Param16(size_t off) const { return le::U16(Parameters + off); }
    uint32_t Param32(size_t off) const { return le::U32(Parameters + off); }
    void SetParam8(size_t off, uint8_t v) { Parameters[off] = v; }
    void SetParam16(size_t off, uint16_t v) { le::Put16(Parameters + off, v); }
    void SetParam32(size_t off, uint32_t v) { le::Put32(Parameters + off, v); }

    // A value at an offset of the whole 496-byte record (0x20 and up), as the
    // text output addresses them.
    uint32_t U32At(size_t recordOffset) const;
    uint16_t U16At(size_t recordOffset) const;
    uint8_t U8At(size_t recordOffset) const;
};

inline uint8_t IRP_CAPTURE_RECORD::U8At(size_t off) const {
    if (off >= rec::InputData) return InputData[off - rec::InputData];
    if (off >= rec::OutputData) return OutputData[off - rec::OutputData];
    if (off >= rec::Parameters) return Parameters[off - rec::Parameters];
    uint8_t head[rec::Parameters];
    le::Put32(head + rec::DeviceObject, DeviceObject);
    le::Put32(head + rec::MajorFunction, MajorFunction);
    le::Put32(head + rec::MinorFunction, MinorFunction);
    le::Put64(head + rec::StartTime, StartTime);
    le::Put64(head + rec::EndTime, EndTime);
    le::Put32(head + rec::Status, Status);
    return head[off];
}
inline uint16_t IRP_CAPTURE_RECORD::U16At(size_t off) const {
    return static_cast<uint16_t>(U8At(off) | (U8At(off + 1) << 8));
}
inline uint32_t IRP_CAPTURE_RECORD::U32At(size_t off) const {
    return static_cast<uint32_t>(U16At(off)) | (static_cast<uint32_t>(U16At(off + 2)) << 16);
}

}  // namespace vantrel
