#include "winlink/win32_device.h"

namespace vantrel {

std::shared_ptr<IDeviceCalls> SystemDeviceCalls() {
    return nullptr;
}

}  // namespace vantrel
