#include "capture/driver_link.h"

#include <utility>

#include "record/le.h"

namespace vantrel {
CDriverLink::CDriverLink(CDebugOutput debug) : m_debug(std::move(debug)) {}

CDriverLink::~CDriverLink() {
    Close();
}

bool CDriverLink::OpenDriver(const DriverOpener& opener) {
    std::unique_ptr<IDriverDevice> device = opener ? opener(protocol::kDevicePath) : nullptr;
    const bool open = device != nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_device = std::move(device);
    }
    return open;
}

bool CDriverLink::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_device != nullptr;
}

void CDriverLink::Close() {
    std::unique_ptr<IDriverDevice> device;
    std::lock_guard lock(m_mutex);
    device = std::move(m_device);
    device.reset();  // closed under the lock: no request can be in flight
}

bool CDriverLink::SendIoctl(uint32_t code, uint8_t* buffer) {
    const uint32_t length = protocol::IoctlBufferLength(code);
    std::lock_guard lock(m_mutex);
    if (!m_device) return false;
    return m_device->DeviceIoControl(code, buffer, length, length);
}

bool CDriverLink::SendSetupFilters() {
    const bool ok = SendIoctl(protocol::IOCTL_SETUPFILTERS, nullptr);
    if (!ok) m_debug.Write("IOCTL_SETUPFILTERS failed.\n");
    return ok;
}

bool CDriverLink::SendProcSpeed() {
    uint8_t speed[protocol::kProcSpeedSize] = {};
    const bool ok = SendIoctl(protocol::IOCTL_PROCSPEED, speed);
    if (ok)
        m_processorSpeed.store(le::U32(speed), std::memory_order_relaxed);
    else
        m_debug.Write("IOCTL_PROCSPEED failed.\n");
    return ok;
}

bool CDriverLink::SendSetMode(uint32_t eventHandle) {
    uint8_t b[protocol::kSetModeSize] = {};
    le::Put32(b + protocol::kSetModeMode, protocol::kCaptureMode);
    le::Put32(b + protocol::kSetModeEvent, eventHandle);
    const bool ok = SendIoctl(protocol::IOCTL_SETMODE, b);
    if (!ok) m_debug.Write("IOCTL_SETMODE failed.\n");
    return ok;
}

bool CDriverLink::SendInitBuff(uint32_t ringHandle) {
    uint8_t b[protocol::kInitBuffSize] = {};
    le::Put32(b + protocol::kInitBuffCount, protocol::kInitBuffCountValue);
    le::Put32(b + protocol::kInitBuffRing, ringHandle);
    const bool ok = SendIoctl(protocol::IOCTL_INITBUFF, b);
    if (!ok) m_debug.Write("IOCTL_INITBUFF failed.\n");
    return ok;
}

bool CDriverLink::SendActivateFilter(uint32_t deviceObject, const MajorFlags& flags) {
    uint8_t b[protocol::kActivateSize] = {};
    le::Put32(b + protocol::kActivateDeviceObject, deviceObject);
    for (size_t i = 0; i < flags.size(); ++i) b[protocol::kActivateFlags + i] = flags[i];
    const bool ok = SendIoctl(protocol::IOCTL_ACTIVATE_FILTER, b);
    if (!ok) m_debug.Write("IOCTL_ACTIVATE_FILTER failed.\n");
    return ok;
}

CDriverLink::MajorFlags CDriverLink::FlagsFromMask(uint32_t mask) {
    MajorFlags flags{};
    for (size_t i = 0; i < flags.size(); ++i) flags[i] = (mask >> i) & 1u;
    return flags;
}

}  // namespace vantrel
