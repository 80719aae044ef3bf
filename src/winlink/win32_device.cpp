#include "winlink/win32_device.h"

#include <utility>

namespace vantrel {

CWin32DriverDevice::CWin32DriverDevice(std::shared_ptr<IDeviceCalls> calls,
                                       IDeviceCalls::Handle device)
    : m_calls(std::move(calls)), m_device(device) {}

CWin32DriverDevice::~CWin32DriverDevice() {
    m_calls->Close(m_device);
}

bool CWin32DriverDevice::DeviceIoControl(uint32_t code, uint8_t* buffer, uint32_t inLength,
                                         uint32_t outLength) {
    uint32_t returned = 0;
    return m_calls->Control(m_device, code, buffer, inLength, buffer, outLength, &returned);
}

std::unique_ptr<IDriverDevice> OpenWin32Device(const std::shared_ptr<IDeviceCalls>& calls,
                                               const std::string& path) {
    if (!calls) return nullptr;
    const IDeviceCalls::Handle device =
        calls->Open(path, win32::kGenericRead | win32::kGenericWrite,
                    win32::kFileShareRead | win32::kFileShareWrite, win32::kOpenExisting, 0);
    if (device == win32::kInvalidHandle) return nullptr;
    return std::make_unique<CWin32DriverDevice>(calls, device);
}

DriverOpener Win32DriverOpener(std::shared_ptr<IDeviceCalls> calls) {
    return [calls = std::move(calls)](const std::string& path) {
        return OpenWin32Device(calls, path);
    };
}

}  // namespace vantrel
