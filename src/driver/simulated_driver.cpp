#include "driver/simulated_driver.h"

#include <cstring>
#include <mutex>

#include "driver/sim_driver_core.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

using SimulatedDevice = CCoreDeviceHandle<SimDriverCore>;

}  // namespace

struct CSimulatedDriverSession::State {
    explicit State(SimulatedDriverOptions o) : options(std::move(o)) {}

    const SimulatedDriverOptions options;
    std::mutex mutex;  // the two below
    std::weak_ptr<SimDriverCore> last;
    std::shared_ptr<EndpointCounters> counters;
};

std::unique_ptr<IDriverDevice> OpenSimulatedDriver(const SimulatedDriverOptions& options) {
    if (options.absent) return nullptr;
    return std::make_unique<SimulatedDevice>(std::make_shared<SimDriverCore>(options));
}

CSimulatedDriverSession::CSimulatedDriverSession(SimulatedDriverOptions options)
    : m_state(std::make_shared<State>(std::move(options))) {}

CSimulatedDriverSession::~CSimulatedDriverSession() = default;

DriverOpener CSimulatedDriverSession::Opener() const {
    return [state = m_state](const std::string& path) -> std::unique_ptr<IDriverDevice> {
        if (state->options.absent || !NamesTheDriver(path)) return nullptr;
        auto core = std::make_shared<SimDriverCore>(state->options);
        {
            std::lock_guard lock(state->mutex);
            state->last = core;
            state->counters = core->Counters();
        }
        return std::make_unique<SimulatedDevice>(std::move(core));
    };
}

SimulatedDriverStats CSimulatedDriverSession::Stats() const {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->counters) return {};
    return {m_state->counters->written.load(std::memory_order_relaxed),
            m_state->counters->dropped.load(std::memory_order_relaxed)};
}

void CSimulatedDriverSession::Inject(const std::vector<IRP_CAPTURE_RECORD>& records) {
    std::shared_ptr<SimDriverCore> core;
    {
        std::lock_guard lock(m_state->mutex);
        core = m_state->last.lock();
    }
    if (core) core->Inject(records);
}

}  // namespace vantrel
