#include "kernel/kernel_driver.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "endpoint/endpoint.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

bool SamePathIgnoringCase(const std::string& a, const char* b) {
    const size_t n = std::char_traits<char>::length(b);
    if (a.size() != n) return false;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (size_t i = 0; i < n; ++i)
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Records handed to the endpoint at once.
constexpr size_t kFlushRecords = 256;
// The reader's timer: records submitted without a wake-up wait at most this.
constexpr int kPollMs = 10;

}  // namespace

// What a session can still read after the driver is gone.
struct KernelStatusBox {
    std::atomic<uint64_t> dropped{0};
    std::atomic<uint64_t> unfinished{0};
    std::shared_ptr<EndpointCounters> counters;
};

// One open kernel driver. Control and Shutdown come from any thread; the
// reader thread polls the kernel's ring and writes into the endpoint; the
// filter hook runs under the endpoint's lock, which serialises it.
class KernelDriverCore final : public IEndpointSource {
public:
    KernelDriverCore(const KernelDriverOptions& options, std::unique_ptr<CKernelCapture> capture)
        : m_options(options), m_capture(std::move(capture)), m_endpoint(*this, Options()) {
        m_box->counters = m_endpoint.Counters();
        m_reader = std::thread([this] { Read(); });
    }
    ~KernelDriverCore() override { Shutdown(); }

    bool Control(uint32_t code, uint8_t* b, uint32_t inLength, uint32_t outLength) {
        return m_endpoint.Control(code, b, inLength, outLength);
    }
    void Shutdown() {
        m_endpoint.Shutdown();
        m_stop.store(true);
        if (m_reader.joinable()) m_reader.join();
        UpdateCounts();
    }
    std::shared_ptr<KernelStatusBox> Box() const { return m_box; }

    std::vector<DeviceRow> Rows() override {
        std::vector<DeviceRow> rows;
        std::vector<uint32_t> known;
        for (const TraceDevice& d : EnumerateTraceDevices(m_options.roots)) {
            // Regular files, pipes and sockets are not this source's.
            if (d.deviceObject == kTraceFilesObject || d.deviceObject == kTracePipesObject)
                continue;
            rows.push_back(
                {d.deviceObject, protocol::kEnumStart, d.description, "", d.name, d.flag});
            if (!d.flag) known.push_back(d.deviceObject);
        }
        m_capture->SetKnown(known);
        return rows;
    }
    void FilterChanged(uint32_t deviceObject, uint32_t mask, size_t) override {
        m_capture->SetFilter(deviceObject, mask);
    }

private:
    static EndpointOptions Options() {
        EndpointOptions options;
        options.processorSpeed = kKernelProcessorSpeed;
        return options;
    }
    void Read();
    void Flush();
    void UpdateCounts() {
        const KernelCounts counts = m_capture->Counts();
        m_box->dropped.store(counts.dropped);
        m_box->unfinished.store(counts.unfinished);
    }

    const KernelDriverOptions m_options;
    const std::shared_ptr<KernelStatusBox> m_box = std::make_shared<KernelStatusBox>();
    const std::unique_ptr<CKernelCapture> m_capture;
    std::atomic<bool> m_stop{false};
    std::vector<IRP_CAPTURE_RECORD> m_pending;  // the reader thread's
    std::thread m_reader;
    CEndpoint m_endpoint;  // last: its hooks use everything above
};

void KernelDriverCore::Read() {
    const CKernelCapture::Sink sink = [this](const IRP_CAPTURE_RECORD& r) {
        m_pending.push_back(r);
        if (m_pending.size() >= kFlushRecords) Flush();
    };
    while (!m_stop.load()) {
        m_capture->Poll(kPollMs, sink);
        Flush();
        UpdateCounts();
    }
}

void KernelDriverCore::Flush() {
    if (m_pending.empty()) return;
    CEndpoint::Batch batch(m_endpoint);
    for (const IRP_CAPTURE_RECORD& r : m_pending) {
        if (batch.Stopped()) break;
        // The endpoint's table is the filter that counts: a change may not
        // have reached the kernel's maps when the record was made.
        if (r.MajorFunction >= 32 || !(batch.Mask(r.DeviceObject) & (1u << r.MajorFunction)))
            continue;
        // A full ring waits for the application; the kernel's ring holds
        // what comes meanwhile, and counts what it cannot.
        while (!batch.Stopped() && batch.Room() == 0 && batch.Refresh() == 0) {
            if (!batch.HasRing())
                batch.WaitFor(10ms);
            else
                batch.WaitForRoom(1s);
        }
        if (batch.Stopped()) break;
        r.Write(batch.Slot());
    }
    m_pending.clear();
    if (batch.WrittenInBatch() > 0) batch.Signal();
}

struct CKernelDriverSession::State {
    explicit State(KernelDriverOptions o) : options(std::move(o)) {}
    const KernelDriverOptions options;
    std::mutex mutex;
    std::shared_ptr<KernelStatusBox> last;
    std::string error;
};

CKernelDriverSession::CKernelDriverSession(KernelDriverOptions options)
    : m_state(std::make_shared<State>(std::move(options))) {}

CKernelDriverSession::~CKernelDriverSession() = default;

DriverOpener CKernelDriverSession::Opener() const {
    return [state = m_state](const std::string& path) -> std::unique_ptr<IDriverDevice> {
        if (!SamePathIgnoringCase(path, protocol::kDevicePath)) return nullptr;
        std::string error;
        auto capture = CKernelCapture::Open(state->options.capture, error);
        std::lock_guard lock(state->mutex);
        state->error = error;
        if (!capture) return nullptr;
        auto core = std::make_shared<KernelDriverCore>(state->options, std::move(capture));
        state->last = core->Box();
        return std::make_unique<CCoreDeviceHandle<KernelDriverCore>>(std::move(core));
    };
}

KernelDriverStatus CKernelDriverSession::Status() const {
    std::lock_guard lock(m_state->mutex);
    KernelDriverStatus status;
    status.error = m_state->error;
    if (const auto& box = m_state->last) {
        status.written = box->counters->written.load();
        status.dropped = box->dropped.load();
        status.unfinished = box->unfinished.load();
    }
    return status;
}

}  // namespace vantrel
