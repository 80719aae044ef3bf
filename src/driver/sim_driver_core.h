#pragma once
// SimDriverCore: one open simulated driver (the state behind one device
// handle) and the thread that writes its IRP traffic into the application's
// ring through the endpoint. The device object the application holds, and
// the session that opened it, share it; simulated_driver.h describes the
// ring hand-off it follows.
//
// Thread safety: Control, Inject and Shutdown may come from any thread. The
// streams, the injected records and the pacing are guarded by the
// endpoint's lock: the endpoint's hooks run under it, and the writer thread
// holds it as a Batch, giving it up while it sleeps or waits for room.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "driver/irp_generator.h"
#include "driver/sim_devices.h"
#include "driver/sim_options.h"
#include "endpoint/endpoint.h"
#include "record/capture_record.h"

namespace vantrel {

class SimDriverCore final : public IEndpointSource {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimDriverCore(const SimulatedDriverOptions& options);
    ~SimDriverCore() override { Shutdown(); }

    bool Control(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength) {
        return m_endpoint.Control(code, buffer, inLength, outLength);
    }
    void Inject(const std::vector<IRP_CAPTURE_RECORD>& records);
    void Shutdown();
    std::shared_ptr<EndpointCounters> Counters() const { return m_endpoint.Counters(); }

    std::vector<DeviceRow> Rows() override { return m_rows; }
    void FilterChanged(uint32_t deviceObject, uint32_t mask, size_t filtered) override;
    void RingTaken() override;

private:
    struct Active {
        CIrpStream* stream;
        double weight;
        double current;
    };
    static constexpr uint32_t kMaxBurst = 1024;  // records per pass at a finite rate

    void RebuildActive();
    CIrpStream* PickStream();
    void Run();
    // The steps of one pass; each returns with the batch's lock held.
    void WriteInjected(CEndpoint::Batch& batch);
    Clock::time_point WritePaced(CEndpoint::Batch& batch);
    void WriteUntilFull(CEndpoint::Batch& batch);
    void SignalAfterPass(CEndpoint::Batch& batch, uint64_t written);
    // False when the writer should stop.
    bool WaitAfterPass(CEndpoint::Batch& batch, bool wantsRoom, uint64_t written,
                       Clock::time_point nextDue);

    const SimulatedDriverOptions m_options;
    const uint32_t m_speed;
    std::vector<DeviceRow> m_rows;
    std::map<uint32_t, SimDevice> m_offered;

    // Guarded by the endpoint's lock.
    std::map<uint32_t, std::unique_ptr<CIrpStream>> m_streams;
    std::vector<Active> m_active;
    std::deque<IRP_CAPTURE_RECORD> m_injected;
    Clock::time_point m_paceStart;
    uint64_t m_paced = 0;
    unsigned m_idle = 0;  // passes in a row that found the ring full (writer thread only)
    std::thread m_thread;

    CEndpoint m_endpoint;  // last: its hooks use everything above
};

}  // namespace vantrel
