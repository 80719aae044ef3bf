#pragma once
// The driver link to the real filter driver on Windows: the device opened
// with CreateFileA, every request one DeviceIoControl with the buffer as both
// input and output, the handle closed when the device goes. The three system
// calls sit behind IDeviceCalls, so the opening, the requests and the closing
// can be checked where the driver is absent (Wine, Linux).
//
// Thread safety: a CWin32DriverDevice may be used from any thread; the system
// serialises nothing for it, and CDriverLink sends one request at a time.

#include <cstdint>
#include <memory>
#include <string>

#include "record/driver_device.h"

namespace vantrel {

// CreateFileA's arguments for the driver's device, and its failure value,
// with the values of the Win32 headers.
namespace win32 {
inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
inline constexpr uint32_t kFileShareRead = 0x00000001;
inline constexpr uint32_t kFileShareWrite = 0x00000002;
inline constexpr uint32_t kOpenExisting = 3;
inline constexpr uintptr_t kInvalidHandle = ~uintptr_t{0};  // INVALID_HANDLE_VALUE
}  // namespace win32

class IDeviceCalls {
public:
    using Handle = uintptr_t;
    virtual ~IDeviceCalls() = default;
    // CreateFileA(path, access, share, no security attributes, creation,
    // flags, no template file); win32::kInvalidHandle on failure.
    virtual Handle Open(const std::string& path, uint32_t access, uint32_t share, uint32_t creation,
                        uint32_t flags) = 0;
    // DeviceIoControl(device, code, in, inLength, out, outLength, returned,
    // no overlapped structure); the call's success flag.
    virtual bool Control(Handle device, uint32_t code, void* in, uint32_t inLength, void* out,
                         uint32_t outLength, uint32_t* returned) = 0;
    virtual void Close(Handle device) = 0;
};

// The system's own calls on Windows; null elsewhere, where no driver of this
// kind can exist.
std::shared_ptr<IDeviceCalls> SystemDeviceCalls();

class CWin32DriverDevice final : public IDriverDevice {
public:
    CWin32DriverDevice(std::shared_ptr<IDeviceCalls> calls, IDeviceCalls::Handle device);
    ~CWin32DriverDevice() override;
    CWin32DriverDevice(const CWin32DriverDevice&) = delete;
    CWin32DriverDevice& operator=(const CWin32DriverDevice&) = delete;

    // The lengths are the caller's (CDriverLink takes them from the
    // protocol's table); the bytes-returned count is not used.
    bool DeviceIoControl(uint32_t code, uint8_t* buffer, uint32_t inLength,
                         uint32_t outLength) override;

private:
    const std::shared_ptr<IDeviceCalls> m_calls;
    const IDeviceCalls::Handle m_device;
};

// Opens `path` (GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
// FILE_SHARE_WRITE, OPEN_EXISTING, flags 0); null when CreateFileA gives
// INVALID_HANDLE_VALUE, that is when the driver is not available, or when
// there are no calls to make.
std::unique_ptr<IDriverDevice> OpenWin32Device(const std::shared_ptr<IDeviceCalls>& calls,
                                               const std::string& path);

// The opener of the real driver: what a Windows program hands its document
// when no other driver is chosen.
DriverOpener Win32DriverOpener(std::shared_ptr<IDeviceCalls> calls = SystemDeviceCalls());

}  // namespace vantrel
