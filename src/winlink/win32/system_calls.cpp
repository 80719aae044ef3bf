#include <windows.h>

#include "winlink/win32_device.h"

namespace vantrel {
namespace {

static_assert(win32::kGenericRead == GENERIC_READ && win32::kGenericWrite == GENERIC_WRITE);
static_assert(win32::kFileShareRead == FILE_SHARE_READ &&
              win32::kFileShareWrite == FILE_SHARE_WRITE);
static_assert(win32::kOpenExisting == OPEN_EXISTING);

HANDLE Native(IDeviceCalls::Handle device) {
    return reinterpret_cast<HANDLE>(device);
}

class CSystemDeviceCalls final : public IDeviceCalls {
public:
    Handle Open(const std::string& path, uint32_t access, uint32_t share, uint32_t creation,
                uint32_t flags) override {
        HANDLE device = CreateFileA(path.c_str(), access, share, nullptr, creation, flags, nullptr);
        static_assert(sizeof(HANDLE) <= sizeof(Handle));
        return device == INVALID_HANDLE_VALUE ? win32::kInvalidHandle
                                              : reinterpret_cast<Handle>(device);
    }

    bool Control(Handle device, uint32_t code, void* in, uint32_t inLength, void* out,
                 uint32_t outLength, uint32_t* returned) override {
        DWORD bytes = 0;
        const BOOL ok =
            ::DeviceIoControl(Native(device), code, in, inLength, out, outLength, &bytes, nullptr);
        *returned = bytes;
        return ok != FALSE;
    }

    void Close(Handle device) override { ::CloseHandle(Native(device)); }
};

}  // namespace

std::shared_ptr<IDeviceCalls> SystemDeviceCalls() {
    return std::make_shared<CSystemDeviceCalls>();
}

}  // namespace vantrel
