#pragma once
// The driver device seam: what CreateFileA and DeviceIoControl are to the
// program. The simulated driver, the Win32 device and test doubles implement it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace vantrel {

class IDriverDevice {
public:
    virtual ~IDriverDevice() = default;
    // One control request. `buffer` is used as input and output (it may be
    // null); inLength and outLength are its lengths. Returns the call's
    // success flag.
    virtual bool DeviceIoControl(uint32_t code, uint8_t* buffer, uint32_t inLength,
                                 uint32_t outLength) = 0;
};

// The handle an in-process driver gives the application: requests go to the
// driver's core, and closing the handle shuts the core down, after which it
// never touches the application's ring again. `Core` offers
// Control(code, buffer, inLength, outLength) and Shutdown().
template <class Core>
class CCoreDeviceHandle final : public IDriverDevice {
public:
    explicit CCoreDeviceHandle(std::shared_ptr<Core> core) : m_core(std::move(core)) {}
    ~CCoreDeviceHandle() override { m_core->Shutdown(); }
    CCoreDeviceHandle(const CCoreDeviceHandle&) = delete;
    CCoreDeviceHandle& operator=(const CCoreDeviceHandle&) = delete;
    bool DeviceIoControl(uint32_t code, uint8_t* buffer, uint32_t inLength,
                         uint32_t outLength) override {
        return m_core->Control(code, buffer, inLength, outLength);
    }

private:
    std::shared_ptr<Core> m_core;
};

// Opens a device by its Win32 path; null when it is not available. Whoever
// creates a document hands it the opener it should use (the simulated
// driver's session, the Win32 device, a test double): there is no
// process-wide one.
using DriverOpener = std::function<std::unique_ptr<IDriverDevice>(const std::string& path)>;

}  // namespace vantrel
