#include "driver/replay_driver.h"

#include <cmath>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "endpoint/endpoint.h"
#include "record/protocol.h"
#include "record/record_list.h"
#include "record/test_file.h"

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;

// Ticks at 1000 a microsecond whose latency, as the application computes
// it in single precision, is `latency`, or the nearest to it there is.
int64_t TicksFor(float latency) {
    const double ns = static_cast<double>(latency) * 1e6;
    if (!std::isfinite(ns) || std::fabs(ns) > 1e18) return 0;
    int64_t best = std::llround(ns);
    auto miss = [latency](int64_t t) {
        return std::fabs(ComputeLatency(0, static_cast<uint64_t>(t), kReplayProcessorSpeed) -
                         latency);
    };
    if (miss(best) == 0) return best;
    // Near the float microseconds m with m * 0.001 == latency, the floats x
    // with x / 1000 == m, and the whole ticks that round to such an x.
    float m = static_cast<float>(ns / 1000);
    for (int i = 0; i < 8; ++i) m = std::nextafter(m, -INFINITY);
    for (int i = 0; i < 17; ++i, m = std::nextafter(m, INFINITY)) {
        float x = static_cast<float>(static_cast<double>(m) * 1000);
        for (int j = 0; j < 4; ++j) x = std::nextafter(x, -INFINITY);
        for (int j = 0; j < 9; ++j, x = std::nextafter(x, INFINITY)) {
            for (int64_t d = -1; d <= 1; ++d) {
                const int64_t t = std::llround(x) + d;
                if (miss(t) < miss(best)) best = t;
                if (miss(best) == 0) return best;
            }
        }
    }
    return best;
}

struct ReplayBox {
    std::mutex mutex;
    ReplayDriverStatus status;  // but its `written`:
    std::shared_ptr<EndpointCounters> counters;
};

}  // namespace

struct CReplayDriverSession::State {
    ReplayDriverOptions options;
    CRecordList records;
    std::vector<DeviceRow> rows;
    std::mutex mutex;
    std::shared_ptr<ReplayBox> last;
};

namespace {

class ReplayDriverCore final : public IEndpointSource {
public:
    explicit ReplayDriverCore(std::shared_ptr<const CReplayDriverSession::State> state)
        : m_state(std::move(state)), m_endpoint(*this, Options()) {
        m_box->counters = m_endpoint.Counters();
    }
    ~ReplayDriverCore() override { Shutdown(); }
    bool Control(uint32_t code, uint8_t* b, uint32_t inLength, uint32_t outLength) {
        return m_endpoint.Control(code, b, inLength, outLength);
    }
    void Shutdown() {
        m_endpoint.Shutdown();
        if (m_thread.joinable()) m_thread.join();
    }
    std::shared_ptr<ReplayBox> Box() const { return m_box; }

    std::vector<DeviceRow> Rows() override { return m_state->rows; }
    void FilterChanged(uint32_t, uint32_t mask, size_t) override {
        if (mask && !m_thread.joinable()) m_thread = std::thread([this] { Play(); });
    }

private:
    static EndpointOptions Options() {
        EndpointOptions e;  // data-ready as the trace driver gives it
        e.processorSpeed = kReplayProcessorSpeed;
        e.kickEvery = std::chrono::milliseconds(2);
        return e;
    }
    void Play();

    const std::shared_ptr<const CReplayDriverSession::State> m_state;
    const std::shared_ptr<ReplayBox> m_box = std::make_shared<ReplayBox>();
    std::thread m_thread;  // started by the first filter, under the endpoint's lock
    CEndpoint m_endpoint;  // last: its hooks use everything above
};

void ReplayDriverCore::Play() {
    // Playback starts once the filters of the first Add stop arriving.
    if (!m_endpoint.WaitForFiltersToSettle()) return;
    {
        std::lock_guard lock(m_box->mutex);
        m_box->status.started = true;
    }
    const CRecordList& records = m_state->records;
    const std::optional<double> rate = m_state->options.rate;
    const Clock::time_point start = Clock::now();
    uint64_t played = 0;   // records written, for a given rate
    uint64_t savedMs = 0;  // the saved spacing: milliseconds since the first record
    for (size_t i = 0; i < records.Size(); ++i) {
        const CIrpRecord& r = *records.AtUnlocked(i);
        if (i > 0) {
            const uint32_t step = r.GetTickCount() - records.AtUnlocked(i - 1)->GetTickCount();
            if (step < 0x80000000u) savedMs += step;  // a tick count going back adds nothing
        }
        const uint32_t major = r.GetMajorFunction();
        if (major >= protocol::kMajorCount ||
            !(m_endpoint.MaskFor(r.GetDeviceObject()) & (1u << major)))
            continue;
        Clock::time_point due = start + std::chrono::milliseconds(savedMs);
        if (rate)
            due = *rate > 0 ? start + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(played / *rate))
                            : start;
        if (!m_endpoint.SleepUntil(due)) return;
        IRP_CAPTURE_RECORD capture = r.GetCapture();
        capture.StartTime = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
        capture.EndTime = capture.StartTime + static_cast<uint64_t>(TicksFor(r.GetLatency()));
        if (!m_endpoint.Put(capture)) return;
        ++played;
    }
    std::lock_guard lock(m_box->mutex);
    m_box->status.finished = true;
}

}  // namespace

std::unique_ptr<CReplayDriverSession> CReplayDriverSession::Load(const ReplayDriverOptions& options,
                                                                 std::string& error) {
    auto state = std::make_shared<State>();
    state->options = options;
    TestFileHeader header;
    if (!LoadTestFile(options.path, header, state->records, &error)) return nullptr;
    std::set<uint32_t> seen;
    for (size_t i = 0; i < state->records.Size(); ++i) {
        const CIrpRecord& r = *state->records.AtUnlocked(i);
        if (!seen.insert(r.GetDeviceObject()).second) continue;
        state->rows.push_back({r.GetDeviceObject(), protocol::kEnumStart, r.GetDescription(), "",
                               r.GetObjectName(), 0});
    }
    return std::unique_ptr<CReplayDriverSession>(new CReplayDriverSession(std::move(state)));
}

CReplayDriverSession::CReplayDriverSession(std::shared_ptr<State> state)
    : m_state(std::move(state)) {}

CReplayDriverSession::~CReplayDriverSession() = default;

DriverOpener CReplayDriverSession::Opener() const {
    return [state = m_state](const std::string& path) -> std::unique_ptr<IDriverDevice> {
        if (!NamesTheDriver(path)) return nullptr;
        auto core = std::make_shared<ReplayDriverCore>(state);
        {
            std::lock_guard lock(state->mutex);
            state->last = core->Box();
        }
        return std::make_unique<CCoreDeviceHandle<ReplayDriverCore>>(std::move(core));
    };
}

ReplayDriverStatus CReplayDriverSession::Status() const {
    std::shared_ptr<ReplayBox> box;
    {
        std::lock_guard lock(m_state->mutex);
        box = m_state->last;
    }
    if (!box) return {};
    std::lock_guard lock(box->mutex);
    ReplayDriverStatus status = box->status;
    status.written = box->counters->written.load(std::memory_order_relaxed);
    return status;
}

}  // namespace vantrel
