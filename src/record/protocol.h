#pragma once
// The control protocol between Vantrel and its filter driver behind the
// device link "KLAVDRIVER": control codes, buffer sizes and layouts, the
// enumeration states and the capture ring. Shared by the program and the
// simulated driver; nothing else is known to both sides.

#include <cstddef>
#include <cstdint>

namespace vantrel::protocol {

inline constexpr char kDeviceLinkName[] = "KLAVDRIVER";
inline constexpr char kDevicePathFormat[] = "\\\\.\\%s";
// The formatted path: \\.\KLAVDRIVER
inline constexpr char kDevicePath[] = "\\\\.\\KLAVDRIVER";

constexpr uint32_t CtlCode(uint32_t deviceType, uint32_t function, uint32_t method,
                           uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

inline constexpr uint32_t IOCTL_SETUPFILTERS = 0x0022020C;
inline constexpr uint32_t IOCTL_SETMODE = 0x00220218;
inline constexpr uint32_t IOCTL_PROCSPEED = 0x0022021C;
inline constexpr uint32_t IOCTL_INITBUFF = 0x00220220;
inline constexpr uint32_t IOCTL_ACTIVATE_FILTER = 0x00220224;
inline constexpr uint32_t IOCTL_ENUMDEVICES = 0x0022023C;
inline constexpr uint32_t IOCTL_UNNAMED_0x91 = 0x00220244;  // in the size table only; never sent
static_assert(CtlCode(0x22, 0x83, 0, 0) == IOCTL_SETUPFILTERS);
static_assert(CtlCode(0x22, 0x8F, 0, 0) == IOCTL_ENUMDEVICES);

// Buffer length that the gateway passes for a control code (input and output).
constexpr uint32_t IoctlBufferLength(uint32_t code) {
    switch (code) {
        case IOCTL_SETMODE:
            return 12;
        case IOCTL_INITBUFF:
            return 8;
        case IOCTL_ACTIVATE_FILTER:
            return 32;
        case IOCTL_ENUMDEVICES:
            return 2326;
        case IOCTL_UNNAMED_0x91:
            return 496;
        default:
            return 4;
    }
}

// IOCTL_SETMODE, 12 bytes.
inline constexpr size_t kSetModeSize = 12;
inline constexpr size_t kSetModeMode = 0;
inline constexpr size_t kSetModeEvent = 8;  // handle of the data-ready event
inline constexpr uint32_t kCaptureMode = 3;

// IOCTL_INITBUFF, 8 bytes.
inline constexpr size_t kInitBuffSize = 8;
inline constexpr size_t kInitBuffCount = 0;
inline constexpr size_t kInitBuffRing = 4;  // handle of the ring header
inline constexpr uint32_t kInitBuffCountValue = 2;

// IOCTL_ACTIVATE_FILTER, 32 bytes.
inline constexpr size_t kActivateSize = 32;
inline constexpr size_t kActivateDeviceObject = 0;
inline constexpr size_t kActivateFlags = 4;  // 28 bytes, one per major function
inline constexpr size_t kMajorCount = 28;

// IOCTL_PROCSPEED, 4 bytes.
inline constexpr size_t kProcSpeedSize = 4;

// IOCTL_ENUMDEVICES, 2326 bytes, one device object per call.
inline constexpr size_t kEnumSize = 2326;
inline constexpr size_t kEnumDeviceObject = 0x000;
inline constexpr size_t kEnumState = 0x004;
inline constexpr size_t kEnumDescription = 0x1E8;
inline constexpr size_t kEnumDescriptionSize = 260;
inline constexpr size_t kEnumSecondName = 0x2EC;
inline constexpr size_t kEnumSecondNameSize = 780;
inline constexpr size_t kEnumObjectName = 0x5F8;
inline constexpr size_t kEnumObjectNameSize = 794;
inline constexpr size_t kEnumFlag = 0x912;
static_assert(kEnumFlag + 4 == kEnumSize);

// Enumeration states returned by the driver.
inline constexpr int32_t kEnumStart = 1;
inline constexpr int32_t kEnumDone = 0;
inline constexpr int32_t kEnumSkip = -5;
inline constexpr int32_t kEnumGeneralError = -1;
inline constexpr int32_t kEnumGeneralError4 = -4;
inline constexpr int32_t kEnumNoSuchDevnode = -2;

// Capture ring: 16-byte header, then 200 slots of one capture record each.
inline constexpr size_t kRecordSize = 496;
inline constexpr uint32_t kRingSlots = 200;
inline constexpr size_t kRingReadIndex = 0x00;
inline constexpr size_t kRingWriteIndex = 0x04;
inline constexpr size_t kRingSignalled = 0x08;
inline constexpr size_t kRingHeaderSize = 0x10;
inline constexpr size_t kRingSize = kRingHeaderSize + kRingSlots * kRecordSize;
constexpr size_t RingSlotOffset(uint32_t slot) {
    return kRingHeaderSize + slot * kRecordSize;
}

}  // namespace vantrel::protocol
