#include "tracer/trace_driver.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "endpoint/endpoint.h"
#include "record/protocol.h"
#include "tracer/process_tracer.h"

namespace vantrel {
namespace {

EndpointOptions TraceEndpointOptions() {
    EndpointOptions e;
    e.processorSpeed = kTraceProcessorSpeed;
    // A wake-up per record would cost the application a system call and a
    // context switch each: signal in batches of 32 (well below a full ring)
    // or 1 ms, and the kicker hands over what is left every 2 ms.
    e.signalBatch = 32;
    e.signalEvery = std::chrono::milliseconds(1);
    e.kickEvery = std::chrono::milliseconds(2);
    return e;
}

}  // namespace

// What a session can still read after the driver is gone.
struct TraceStatusBox {
    mutable std::mutex mutex;
    TraceDriverStatus status;  // but its `written`:
    std::shared_ptr<EndpointCounters> counters;
};

// One open trace driver. Thread safety: Control and Shutdown come from any
// thread; the tracer thread calls MaskFor and Emit. What the endpoint's
// hooks share with the other threads is guarded by the endpoint's lock.
class TraceDriverCore final : public ITraceSink, public IEndpointSource {
public:
    explicit TraceDriverCore(TraceDriverOptions options)
        : m_options(std::move(options)), m_endpoint(*this, TraceEndpointOptions()) {
        m_box->counters = m_endpoint.Counters();
    }
    ~TraceDriverCore() override { Shutdown(); }

    bool Control(uint32_t code, uint8_t* b, uint32_t inLength, uint32_t outLength) {
        return m_endpoint.Control(code, b, inLength, outLength);
    }
    void Shutdown();
    std::shared_ptr<TraceStatusBox> Box() const { return m_box; }

    uint32_t MaskFor(uint32_t deviceObject) override { return m_endpoint.MaskFor(deviceObject); }
    // Full ring: the tracee stays stopped until the application makes room.
    void Emit(const IRP_CAPTURE_RECORD& record) override { m_endpoint.Put(record); }
    void CommandEnded(int status) override { Finish({true, status}, {}); }

    std::vector<DeviceRow> Rows() override;
    void FilterChanged(uint32_t deviceObject, uint32_t mask, size_t filtered) override;
    void Kicked() override {
        if (m_detach && m_tracer) m_tracer->Wake();
    }

private:
    void Trace();
    void Finish(const TraceExit& exit, const std::string& error);
    // Attached processes are let go, a started command is ended.
    void LetGo(CProcessTracer& tracer) {
        if (m_options.attach.empty())
            tracer.Kill();
        else
            tracer.Detach();
    }

    const TraceDriverOptions m_options;
    const std::shared_ptr<TraceStatusBox> m_box = std::make_shared<TraceStatusBox>();

    // Guarded by the endpoint's lock.
    std::unordered_set<uint32_t> m_known;  // the device objects enumerated
    bool m_launched = false;
    bool m_detach = false;               // the last filter went: attached processes are let go
    CProcessTracer* m_tracer = nullptr;  // while the tracer thread runs one
    std::thread m_traceThread;

    CEndpoint m_endpoint;  // last: its hooks use everything above
};

std::vector<DeviceRow> TraceDriverCore::Rows() {
    std::vector<DeviceRow> rows;
    for (TraceDevice& d : EnumerateTraceDevices(m_options.roots)) {
        m_known.insert(d.deviceObject);
        rows.push_back({d.deviceObject, protocol::kEnumStart, std::move(d.description), "",
                        std::move(d.name), d.flag});
    }
    return rows;
}

void TraceDriverCore::FilterChanged(uint32_t, uint32_t mask, size_t filtered) {
    if (m_launched && filtered == 0 && !m_options.attach.empty()) {
        m_detach = true;
        if (m_tracer) m_tracer->Detach();
    }
    if (mask && !m_launched) {
        m_launched = true;
        m_traceThread = std::thread([this] { Trace(); });
    }
}

void TraceDriverCore::Trace() {
    // Adding a filter is one request per device object, with no word that
    // the last one has come: the command starts once they stop arriving, so
    // that its first calls meet every filter of the Add.
    m_endpoint.WaitForFiltersToSettle();
    std::unordered_set<uint32_t> known;
    {
        CEndpoint::Batch hold(m_endpoint);
        known = m_known;
    }
    CProcessTracer tracer(*this, std::move(known));
    std::string error;
    const bool attach = !m_options.attach.empty();
    if (attach ? !tracer.Attach(m_options.attach, error)
               : !tracer.Launch(m_options.command, error)) {
        Finish({}, error);
        return;
    }
    {
        CEndpoint::Batch hold(m_endpoint);
        m_tracer = &tracer;
        if (hold.Stopped() || (attach && m_detach)) LetGo(tracer);
    }
    {
        std::lock_guard boxLock(m_box->mutex);
        m_box->status.started = true;
    }
    tracer.Run();
    {
        CEndpoint::Batch hold(m_endpoint);
        m_tracer = nullptr;
    }
    Finish(tracer.Exit(), {});
}

void TraceDriverCore::Finish(const TraceExit& exit, const std::string& error) {
    std::lock_guard boxLock(m_box->mutex);
    m_box->status.finished = true;
    m_box->status.exitStatus = exit.status;
    m_box->status.error = error;
}

void TraceDriverCore::Shutdown() {
    m_endpoint.Shutdown();
    {
        CEndpoint::Batch hold(m_endpoint);
        if (m_tracer) LetGo(*m_tracer);
    }
    // An attached tracer may be waiting for a stop that never comes: wake
    // it until it has let every process go.
    for (;;) {
        {
            CEndpoint::Batch hold(m_endpoint);
            if (!m_tracer) break;
            m_tracer->Wake();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (m_traceThread.joinable()) m_traceThread.join();
}

namespace {

using TraceDeviceHandle = CCoreDeviceHandle<TraceDriverCore>;

}  // namespace

struct CTraceDriverSession::State {
    explicit State(TraceDriverOptions o) : options(std::move(o)) {}
    const TraceDriverOptions options;
    std::mutex mutex;
    std::shared_ptr<TraceStatusBox> last;
};

std::string TraceCommandProblem(const std::vector<std::string>& command) {
    if (command.empty()) return "no command to trace";
    return TraceProgramProblem(command[0]);
}

std::unique_ptr<IDriverDevice> OpenTraceDriver(const TraceDriverOptions& options) {
    return std::make_unique<TraceDeviceHandle>(std::make_shared<TraceDriverCore>(options));
}

CTraceDriverSession::CTraceDriverSession(TraceDriverOptions options)
    : m_state(std::make_shared<State>(std::move(options))) {}

CTraceDriverSession::~CTraceDriverSession() = default;

DriverOpener CTraceDriverSession::Opener() const {
    return [state = m_state](const std::string& path) -> std::unique_ptr<IDriverDevice> {
        if (!NamesTheDriver(path)) return nullptr;
        auto core = std::make_shared<TraceDriverCore>(state->options);
        {
            std::lock_guard lock(state->mutex);
            state->last = core->Box();
        }
        return std::make_unique<TraceDeviceHandle>(std::move(core));
    };
}

TraceDriverStatus CTraceDriverSession::Status() const {
    std::shared_ptr<TraceStatusBox> box;
    {
        std::lock_guard lock(m_state->mutex);
        box = m_state->last;
    }
    if (!box) return {};
    std::lock_guard lock(box->mutex);
    TraceDriverStatus status = box->status;
    status.written = box->counters->written.load(std::memory_order_relaxed);
    return status;
}

}  // namespace vantrel
