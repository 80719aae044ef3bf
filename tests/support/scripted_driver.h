#pragma once
// A driver device that records every request and answers from a script.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "record/driver_device.h"
#include "record/le.h"
#include "record/protocol.h"

namespace vantrel::testing {

struct DriverCall {
    uint32_t code = 0;
    bool nullBuffer = false;
    uint32_t inLength = 0;
    uint32_t outLength = 0;
    std::vector<uint8_t> bytes;  // the buffer as it came in
};

struct ScriptedDriverState {
    std::vector<DriverCall> calls;
    std::set<uint32_t> failingCodes;
    uint32_t processorSpeed = 2400;
    // Answers IOCTL_ENUMDEVICES: fills the reply into the buffer; false fails the call.
    std::function<bool(uint8_t* buffer, size_t enumCall)> enumerate;
    size_t enumCalls = 0;
    std::function<void()> onCall;  // runs inside every request
};

class ScriptedDriverDevice final : public IDriverDevice {
public:
    explicit ScriptedDriverDevice(std::shared_ptr<ScriptedDriverState> state)
        : m_state(std::move(state)) {}
    bool DeviceIoControl(uint32_t code, uint8_t* buffer, uint32_t inLength,
                         uint32_t outLength) override {
        DriverCall call{code, buffer == nullptr, inLength, outLength, {}};
        if (buffer) call.bytes.assign(buffer, buffer + inLength);
        m_state->calls.push_back(std::move(call));
        if (m_state->onCall) m_state->onCall();
        if (m_state->failingCodes.count(code)) return false;
        if (code == protocol::IOCTL_PROCSPEED) le::Put32(buffer, m_state->processorSpeed);
        if (code == protocol::IOCTL_ENUMDEVICES) {
            if (!m_state->enumerate) {
                le::Put32(buffer + protocol::kEnumState, 0);
                return true;
            }
            return m_state->enumerate(buffer, m_state->enumCalls++);
        }
        return true;
    }

private:
    std::shared_ptr<ScriptedDriverState> m_state;
};

// An opener for the driver path that opens a scripted device sharing
// `state`; a null state: opening fails.
inline DriverOpener ScriptedOpener(std::shared_ptr<ScriptedDriverState> state) {
    return [state = std::move(state)](const std::string& path) -> std::unique_ptr<IDriverDevice> {
        if (!state || path != protocol::kDevicePath) return nullptr;
        return std::make_unique<ScriptedDriverDevice>(state);
    };
}

}  // namespace vantrel::testing
