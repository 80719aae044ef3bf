#pragma once
// Completion statuses (NTSTATUS values) by name: the ones the program names
// when it prints a record, and the ones its drivers complete IRPs with.
// Named kStatus... rather than by the kernel's macro names, so that this
// header and the platform's own headers can meet in one file.

#include <cstdint>

namespace vantrel {

inline constexpr uint32_t kStatusSuccess = 0x00000000;
inline constexpr uint32_t kStatusTimeout = 0x00000102;
inline constexpr uint32_t kStatusPending = 0x00000103;
inline constexpr uint32_t kStatusReparse = 0x00000104;
inline constexpr uint32_t kStatusBufferOverflow = 0x80000005;
inline constexpr uint32_t kStatusDeviceBusy = 0x80000011;
inline constexpr uint32_t kStatusVerifyRequired = 0x80000016;
inline constexpr uint32_t kStatusNoDataDetected = 0x80000022;
inline constexpr uint32_t kStatusUnsuccessful = 0xC0000001;
inline constexpr uint32_t kStatusNotImplemented = 0xC0000002;
inline constexpr uint32_t kStatusInvalidInfoClass = 0xC0000003;
inline constexpr uint32_t kStatusInvalidHandle = 0xC0000008;
inline constexpr uint32_t kStatusInvalidParameter = 0xC000000D;
inline constexpr uint32_t kStatusInvalidDeviceRequest = 0xC0000010;
inline constexpr uint32_t kStatusEndOfFile = 0xC0000011;
inline constexpr uint32_t kStatusNoMediaInDevice = 0xC0000013;
inline constexpr uint32_t kStatusAlreadyCommitted = 0xC0000021;
inline constexpr uint32_t kStatusAccessDenied = 0xC0000022;
inline constexpr uint32_t kStatusBufferTooSmall = 0xC0000023;
inline constexpr uint32_t kStatusObjectNameNotFound = 0xC0000034;
inline constexpr uint32_t kStatusSharingViolation = 0xC0000043;
inline constexpr uint32_t kStatusInsufficientResources = 0xC000009A;
inline constexpr uint32_t kStatusDeviceDataError = 0xC000009C;
inline constexpr uint32_t kStatusDeviceNotConnected = 0xC000009D;
inline constexpr uint32_t kStatusDeviceNotReady = 0xC00000A3;
inline constexpr uint32_t kStatusIoTimeout = 0xC00000B5;
inline constexpr uint32_t kStatusNotSupported = 0xC00000BB;
inline constexpr uint32_t kStatusCancelled = 0xC0000120;
inline constexpr uint32_t kStatusUnrecognizedVolume = 0xC000014F;
inline constexpr uint32_t kStatusDriverInternalError = 0xC0000183;
inline constexpr uint32_t kStatusInvalidDeviceState = 0xC0000184;
inline constexpr uint32_t kStatusNotFound = 0xC0000225;
inline constexpr uint32_t kStatusPropsetNotFound = 0xC0000230;
inline constexpr uint32_t kStatusWmiGuidNotFound = 0xC0000295;
inline constexpr uint32_t kStatusWmiInstanceNotFound = 0xC0000296;
inline constexpr uint32_t kStatusPowerStateInvalid = 0xC00002D3;

}  // namespace vantrel
