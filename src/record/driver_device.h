#pragma once
// The driver device seam: what CreateFileA and DeviceIoControl are to the
// program. The simulated driver, the Win32 device and test doubles implement it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// Opens a device by its Win32 path; null when it is not available.
using DriverOpener = std::function<std::unique_ptr<IDriverDevice>(const std::string& path)>;

}  // namespace vantrel
