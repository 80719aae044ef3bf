#include "capture/driver_link.h"

#include "record/driver_device.h"
#include "record/le.h"
#include "platform/debug_output.h"
#include "document/prompts.h"
#include "document/settings.h"
#include "document/string_table.h"

namespace vantrel {
namespace {

// The document's values live under the application's key with the other
// settings; -1 when missing.
int32_t ReadSettingFromRegistry(std::string_view name) {
    return ReadRegistryNumber(ApplicationKey(), name);
}

}  // namespace

CDriverLink::CDriverLink() = default;

CDriverLink::~CDriverLink() { Close(); }

bool CDriverLink::OpenDriver(const DriverOpener& opener, IPrompts& prompts) {
    std::unique_ptr<IDriverDevice> device = opener ? opener(protocol::kDevicePath) : nullptr;
    const bool open = device != nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_device = std::move(device);
    }
    if (!open) prompts.MessageById(IDS_DRIVER_NOT_LOADED, BoxIcon::Error);
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

bool CDriverLink::CreateDocumentSteps(const DriverOpener& opener, IPrompts& prompts) {
    if (!OpenDriver(opener, prompts)) return false;
    if (!SendIoctl(protocol::IOCTL_SETUPFILTERS, nullptr)) DebugOutput("IOCTL_SETUPFILTERS failed.\n");
    uint8_t speed[protocol::kProcSpeedSize] = {};
    if (SendIoctl(protocol::IOCTL_PROCSPEED, speed))
        m_processorSpeed.store(le::U32(speed), std::memory_order_relaxed);
    else
        DebugOutput("IOCTL_PROCSPEED failed.\n");
    if (m_catalogueStep && !m_catalogueStep(prompts)) {
        Close();
        return false;
    }
    auto read = m_settingsReader ? m_settingsReader : ReadSettingFromRegistry;
    const int32_t filter = read("filter");
    m_showAllDevices = filter == -1 ? 1 : filter;
    const int32_t params = read("params");
    m_outputFlags = params == -1 ? 63u : static_cast<uint32_t>(params) & 63u;
    return true;
}

void CDriverLink::SetCatalogueStep(std::function<bool(IPrompts&)> step) { m_catalogueStep = std::move(step); }

void CDriverLink::SetSettingsReader(std::function<int32_t(std::string_view)> reader) {
    m_settingsReader = std::move(reader);
}

bool CDriverLink::SendSetMode(uint32_t eventHandle) {
    uint8_t b[protocol::kSetModeSize] = {};
    le::Put32(b + protocol::kSetModeMode, protocol::kCaptureMode);
    le::Put32(b + protocol::kSetModeEvent, eventHandle);
    const bool ok = SendIoctl(protocol::IOCTL_SETMODE, b);
    if (!ok) DebugOutput("IOCTL_SETMODE failed.\n");
    return ok;
}

bool CDriverLink::SendInitBuff(uint32_t ringHandle) {
    uint8_t b[protocol::kInitBuffSize] = {};
    le::Put32(b + protocol::kInitBuffCount, protocol::kInitBuffCountValue);
    le::Put32(b + protocol::kInitBuffRing, ringHandle);
    const bool ok = SendIoctl(protocol::IOCTL_INITBUFF, b);
    if (!ok) DebugOutput("IOCTL_INITBUFF failed.\n");
    return ok;
}

bool CDriverLink::SendActivateFilter(uint32_t deviceObject, const MajorFlags& flags) {
    uint8_t b[protocol::kActivateSize] = {};
    le::Put32(b + protocol::kActivateDeviceObject, deviceObject);
    for (size_t i = 0; i < flags.size(); ++i) b[protocol::kActivateFlags + i] = flags[i];
    const bool ok = SendIoctl(protocol::IOCTL_ACTIVATE_FILTER, b);
    if (!ok) DebugOutput("IOCTL_ACTIVATE_FILTER failed.\n");
    return ok;
}

CDriverLink::MajorFlags CDriverLink::FlagsFromMask(uint32_t mask) {
    MajorFlags flags{};
    for (size_t i = 0; i < flags.size(); ++i) flags[i] = (mask >> i) & 1u;
    return flags;
}

}  // namespace vantrel
