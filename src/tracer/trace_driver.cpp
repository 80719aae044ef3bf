#include "tracer/trace_driver.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <span>
#include <thread>
#include <unordered_set>

#include "platform/event.h"
#include "platform/handle_table.h"
#include "record/le.h"
#include "record/protocol.h"
#include "tracer/process_tracer.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
namespace pr = protocol;

// The application's ring behind a handle: null unless the handle names ring
// memory large enough for the header and every slot, with the index words
// aligned for atomic access.
uint8_t* RingBytes(uint32_t handle) {
    const std::span<uint8_t> ring = ResolveRing(handle);
    if (ring.size() < pr::kRingSize ||
        reinterpret_cast<uintptr_t>(ring.data()) % alignof(uint32_t) != 0)
        return nullptr;
    return ring.data();
}

std::atomic_ref<uint32_t> RingWord(uint8_t* ring, size_t offset) {
    return std::atomic_ref(*reinterpret_cast<uint32_t*>(ring + offset));
}

void PutText(uint8_t* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::copy_n(text.data(), std::min(text.size(), size - 1), field);
}

bool SamePathIgnoringCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (size_t i = 0; i < n; ++i)
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

// What a session can still read after the driver is gone.
struct TraceStatusBox {
    mutable std::mutex mutex;
    TraceDriverStatus status;  // but its `written`:
    std::atomic<uint64_t> written{0};
};

// One open trace driver. Thread safety: Control and Shutdown come from any
// thread; the tracer thread calls MaskFor and Emit; the kicker thread only
// sets the event. One mutex guards everything below it.
class TraceDriverCore final : public ITraceSink {
public:
    explicit TraceDriverCore(TraceDriverOptions options) : m_options(std::move(options)) {}
    ~TraceDriverCore() override { Shutdown(); }

    bool Control(uint32_t code, uint8_t* b, uint32_t inLength, uint32_t outLength);
    void Shutdown();
    std::shared_ptr<TraceStatusBox> Box() const { return m_box; }

    uint32_t MaskFor(uint32_t deviceObject) override {
        std::lock_guard lock(m_mutex);
        const auto it = m_masks.find(deviceObject);
        return it == m_masks.end() ? 0 : it->second;
    }
    void Emit(const IRP_CAPTURE_RECORD& record) override;
    void CommandEnded(int status) override { Finish({true, status}, {}); }

private:
    void EnumDevices(uint8_t* b);
    bool ActivateFilter(const uint8_t* b);
    bool InitBuff(const uint8_t* b);
    void Trace(std::unordered_set<uint32_t> known);
    void Kick();
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

    std::mutex m_mutex;  // everything below
    std::condition_variable m_cv;
    std::vector<TraceDevice> m_devices;  // enumerated once, at the first request
    bool m_enumerated = false;
    size_t m_enumCursor = 0;
    std::map<uint32_t, uint32_t> m_masks;
    // Resolved once, when the application hands them over: it unregisters
    // them only after closing the driver, which clears them first.
    CEvent* m_event = nullptr;
    uint8_t* m_ring = nullptr;
    uint32_t m_write = 0;
    bool m_stop = false;
    bool m_launched = false;
    bool m_detach = false;  // the last filter went: attached processes are let go
    std::chrono::steady_clock::time_point m_lastActivate;
    std::chrono::steady_clock::time_point m_lastSignal;
    static constexpr uint32_t kSignalBatch = 32;  // records; well below a full ring
    CProcessTracer* m_tracer = nullptr;           // while the tracer thread runs one
    std::thread m_traceThread;
    std::thread m_kickThread;
};

bool TraceDriverCore::Control(uint32_t code, uint8_t* b, uint32_t inLength, uint32_t outLength) {
    const uint32_t need = pr::IoctlBufferLength(code);
    if (code == pr::IOCTL_SETUPFILTERS) return inLength >= need && outLength >= need;
    if (!b || inLength < need || outLength < need) return false;  // STATUS_BUFFER_TOO_SMALL
    std::lock_guard lock(m_mutex);
    if (m_stop) return false;
    switch (code) {
        case pr::IOCTL_PROCSPEED:
            le::Put32(b, kTraceProcessorSpeed);
            return true;
        case pr::IOCTL_SETMODE: {
            const uint32_t handle = le::U32(b + pr::kSetModeEvent);
            if (le::U32(b + pr::kSetModeMode) != pr::kCaptureMode || !ResolveEvent(handle))
                return false;
            m_event = ResolveEvent(handle);
            return true;
        }
        case pr::IOCTL_INITBUFF:
            return InitBuff(b);
        case pr::IOCTL_ACTIVATE_FILTER:
            return ActivateFilter(b);
        case pr::IOCTL_ENUMDEVICES:
            EnumDevices(b);
            return true;
        default:
            return false;  // STATUS_INVALID_DEVICE_REQUEST
    }
}

void TraceDriverCore::EnumDevices(uint8_t* b) {
    if (!m_enumerated) {
        m_devices = EnumerateTraceDevices(m_options.roots);
        m_enumerated = true;
    }
    if (le::U32(b + pr::kEnumState) == 1 && le::U32(b + pr::kEnumDeviceObject) == 0)
        m_enumCursor = 0;
    static const TraceDevice kDone{};
    const bool done = m_enumCursor >= m_devices.size();
    const TraceDevice& d = done ? kDone : m_devices[m_enumCursor];
    ++m_enumCursor;
    le::Put32(b + pr::kEnumDeviceObject, d.deviceObject);
    le::Put32(b + pr::kEnumState, static_cast<uint32_t>(done ? pr::kEnumDone : pr::kEnumStart));
    PutText(b + pr::kEnumDescription, pr::kEnumDescriptionSize, d.description);
    PutText(b + pr::kEnumSecondName, pr::kEnumSecondNameSize, "");
    PutText(b + pr::kEnumObjectName, pr::kEnumObjectNameSize, d.name);
    le::Put32(b + pr::kEnumFlag, d.flag);
    if (done) m_enumCursor = 0;  // the next enumeration starts over
}

bool TraceDriverCore::ActivateFilter(const uint8_t* b) {
    const uint32_t deviceObject = le::U32(b + pr::kActivateDeviceObject);
    if (!m_enumerated) {
        m_devices = EnumerateTraceDevices(m_options.roots);
        m_enumerated = true;
    }
    const bool offered = std::any_of(m_devices.begin(), m_devices.end(), [&](const TraceDevice& d) {
        return d.deviceObject == deviceObject;
    });
    if (!offered) return false;  // STATUS_NO_SUCH_DEVICE
    uint32_t mask = 0;
    for (size_t i = 0; i < pr::kMajorCount; ++i)
        if (b[pr::kActivateFlags + i]) mask |= 1u << i;
    m_lastActivate = std::chrono::steady_clock::now();
    if (mask)
        m_masks[deviceObject] = mask;
    else
        m_masks.erase(deviceObject);
    if (m_launched && m_masks.empty() && !m_options.attach.empty()) {
        m_detach = true;
        if (m_tracer) m_tracer->Detach();
    }
    if (mask && !m_launched) {
        m_launched = true;
        std::unordered_set<uint32_t> known;
        for (const TraceDevice& d : m_devices) known.insert(d.deviceObject);
        m_traceThread =
            std::thread([this, known = std::move(known)]() mutable { Trace(std::move(known)); });
    }
    return true;
}

bool TraceDriverCore::InitBuff(const uint8_t* b) {
    const uint32_t handle = le::U32(b + pr::kInitBuffRing);
    uint8_t* ring = RingBytes(handle);
    if (le::U32(b + pr::kInitBuffCount) != pr::kInitBuffCountValue || !ring) return false;
    // Take over the ring where it stands.
    const uint32_t read = RingWord(ring, pr::kRingReadIndex).load(std::memory_order_acquire);
    uint32_t write = RingWord(ring, pr::kRingWriteIndex).load(std::memory_order_relaxed);
    if (write >= pr::kRingSlots) write = read < pr::kRingSlots ? read : 0;
    RingWord(ring, pr::kRingWriteIndex).store(write, std::memory_order_release);
    m_ring = ring;
    m_write = write;
    if (!m_kickThread.joinable()) m_kickThread = std::thread([this] { Kick(); });
    m_cv.notify_all();
    return true;
}

void TraceDriverCore::Emit(const IRP_CAPTURE_RECORD& record) {
    std::unique_lock lock(m_mutex);
    auto backoff = 20us;
    CEvent* event = nullptr;
    bool written = false;
    while (!m_stop) {
        uint8_t* ring = m_ring;
        if (!ring) {
            m_cv.wait_for(lock, 10ms);  // the application has not handed over its ring yet
            continue;
        }
        const uint32_t read = RingWord(ring, pr::kRingReadIndex).load(std::memory_order_acquire);
        const uint32_t next = m_write + 1 == pr::kRingSlots ? 0 : m_write + 1;
        if (read < pr::kRingSlots && next != read) {
            record.Write(ring + pr::RingSlotOffset(m_write));
            m_write = next;
            RingWord(ring, pr::kRingWriteIndex).store(m_write, std::memory_order_release);
            // A wake-up per record would cost the application a system call
            // and a context switch each: signal in batches, and the kicker
            // thread hands over what is left within a few milliseconds.
            const uint32_t unread = (m_write + pr::kRingSlots - read) % pr::kRingSlots;
            const auto now = std::chrono::steady_clock::now();
            if (unread >= kSignalBatch || now - m_lastSignal >= 1ms) {
                m_lastSignal = now;
                event = m_event;
            }
            written = true;
            break;
        }
        // Full: the tracee stays stopped until the application makes room.
        m_cv.wait_for(lock, backoff);
        backoff = std::min<std::chrono::microseconds>(backoff * 2, 1000us);
    }
    lock.unlock();
    if (written) m_box->written.fetch_add(1, std::memory_order_relaxed);
    if (event && !event->IsSet()) event->Set();
}

void TraceDriverCore::Kick() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        m_cv.wait_for(lock, 2ms);
        if (m_stop) break;
        uint8_t* ring = m_ring;
        if (!ring) continue;
        const bool unread =
            RingWord(ring, pr::kRingReadIndex).load(std::memory_order_acquire) != m_write;
        CEvent* event = unread ? m_event : nullptr;
        if (m_detach && m_tracer) m_tracer->Wake();
        lock.unlock();
        if (event) event->Set();
        lock.lock();
    }
}

void TraceDriverCore::Trace(std::unordered_set<uint32_t> known) {
    // Adding a filter is one request per device object, with no word that
    // the last one has come: the command starts once they stop arriving, so
    // that its first calls meet every filter of the Add.
    {
        using Clock = std::chrono::steady_clock;
        const auto giveUp = Clock::now() + 500ms;
        std::unique_lock lock(m_mutex);
        while (!m_stop && Clock::now() - m_lastActivate < 50ms && Clock::now() < giveUp)
            m_cv.wait_for(lock, 5ms);
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
        std::lock_guard lock(m_mutex);
        m_tracer = &tracer;
        if (m_stop || (attach && m_detach)) LetGo(tracer);
    }
    {
        std::lock_guard boxLock(m_box->mutex);
        m_box->status.started = true;
    }
    tracer.Run();
    {
        std::lock_guard lock(m_mutex);
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
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_ring = nullptr;
        m_event = nullptr;
        if (m_tracer) LetGo(*m_tracer);
    }
    m_cv.notify_all();
    // An attached tracer may be waiting for a stop that never comes: wake
    // it until it has let every process go.
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_tracer) break;
            m_tracer->Wake();
        }
        std::this_thread::sleep_for(2ms);
    }
    if (m_traceThread.joinable()) m_traceThread.join();
    if (m_kickThread.joinable()) m_kickThread.join();
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
        if (!SamePathIgnoringCase(path, protocol::kDevicePath)) return nullptr;
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
    status.written = box->written.load(std::memory_order_relaxed);
    return status;
}

}  // namespace vantrel
