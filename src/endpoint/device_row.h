#pragma once
// One row of the driver's device enumeration, as the endpoint writes it into
// the 2326-byte IOCTL_ENUMDEVICES buffer.

#include <cstdint>
#include <string>

namespace vantrel {

struct DeviceRow {
    uint32_t deviceObject = 0;
    int32_t state = 0;  // protocol::kEnumStart for a device; done, skip or an error otherwise
    std::string description;
    std::string secondName;
    std::string objectName;
    uint32_t flag = 0;
};

// True when a row with this state offers a device object (it is not done,
// skip or an error).
bool RowOffersDevice(int32_t state);

}  // namespace vantrel
