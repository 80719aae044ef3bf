#pragma once
// SimDriverCore: one open simulated driver (the state behind one device
// handle) and the thread that writes its IRP traffic into the application's
// ring. The device object the application holds, and the session that opened
// it, share it; simulated_driver.h describes the ring hand-off it follows.
//
// Thread safety: Control, Inject and Shutdown may come from any thread; one
// mutex guards the filters, the streams, the handles and the write index,
// and the writer thread gives it up while it sleeps or waits for room. The
// counters are atomics that the writer adds to after each pass.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/irp_generator.h"
#include "driver/sim_devices.h"
#include "driver/simulated_driver.h"
#include "record/capture_record.h"

namespace vantrel {

struct SimDriverCounters {
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> dropped{0};
};

class SimDriverCore {
public:
    using Clock = std::chrono::steady_clock;

    explicit SimDriverCore(const SimulatedDriverOptions& options);
    ~SimDriverCore() { Shutdown(); }

    bool Control(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength);
    void Inject(const std::vector<IRP_CAPTURE_RECORD>& records);
    void Shutdown();
    std::shared_ptr<SimDriverCounters> Counters() const { return m_counters; }

private:
    struct Active {
        CIrpStream* stream;
        double weight;
        double current;
    };
    static constexpr uint32_t kMaxBurst = 1024;  // records per pass at a finite rate

    void EnumDevices(uint8_t* b);
    bool ActivateFilter(const uint8_t* b);
    bool InitBuff(const uint8_t* b);
    void RebuildActive();
    CIrpStream* PickStream();
    void Run();

    const SimulatedDriverOptions m_options;
    const uint32_t m_speed;
    const std::shared_ptr<SimDriverCounters> m_counters = std::make_shared<SimDriverCounters>();
    std::vector<EnumReply> m_enumReplies;
    std::map<uint32_t, SimDevice> m_offered;

    std::mutex m_mutex;  // everything below
    std::condition_variable m_cv;
    size_t m_enumCursor = 0;
    uint32_t m_eventHandle = 0;
    uint32_t m_ringHandle = 0;
    uint32_t m_write = 0;  // the driver's write index
    std::map<uint32_t, std::unique_ptr<CIrpStream>> m_streams;
    std::vector<Active> m_active;
    std::deque<IRP_CAPTURE_RECORD> m_injected;
    Clock::time_point m_paceStart;
    uint64_t m_paced = 0;
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace vantrel
