#include "driver/sim_driver_core.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/debug_output.h"
#include "platform/event.h"
#include "platform/handle_table.h"
#include "platform/thread_priority.h"
#include "record/le.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
namespace pr = protocol;

bool ListsDevice(int32_t state) {
    return state != pr::kEnumDone && state != pr::kEnumSkip && state != pr::kEnumGeneralError &&
           state != pr::kEnumGeneralError4 && state != pr::kEnumNoSuchDevnode;
}

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

// A text field of the reply: at most size - 1 bytes, zeros to its end.
void PutText(uint8_t* field, size_t size, const std::string& text) {
    const size_t n = std::min(text.size(), size - 1);
    std::fill(std::copy_n(text.begin(), n, field), field + size, uint8_t{0});
}

}  // namespace

SimDriverCore::SimDriverCore(const SimulatedDriverOptions& options)
    : m_options(options),
      m_speed(options.script.processorSpeed.value_or(kSimulatedProcessorSpeed)) {
    if (!options.script.enumReplies.empty()) {
        m_enumReplies = options.script.enumReplies;
        for (const EnumReply& r : m_enumReplies) {
            if (!ListsDevice(r.state) || m_offered.count(r.deviceObject)) continue;
            const SimDevice* known = FindSimulatedDevice(r.deviceObject);
            m_offered[r.deviceObject] =
                known ? *known
                      : SimDevice{
                            r.deviceObject, r.state, r.flag, SimDeviceKind::Generic, "", "", ""};
        }
    } else {
        m_enumReplies = DefaultEnumeration(options.devices);
        for (const EnumReply& r : m_enumReplies)
            if (ListsDevice(r.state))
                m_offered[r.deviceObject] = *FindSimulatedDevice(r.deviceObject);
    }
}

void SimDriverCore::Shutdown() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_ringHandle = 0;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void SimDriverCore::Inject(const std::vector<IRP_CAPTURE_RECORD>& records) {
    {
        std::lock_guard lock(m_mutex);
        m_injected.insert(m_injected.end(), records.begin(), records.end());
    }
    m_cv.notify_all();
}

bool SimDriverCore::Control(uint32_t code, uint8_t* b, uint32_t inLength, uint32_t outLength) {
    if (m_options.script.failingCodes.count(code)) return false;
    const uint32_t need = pr::IoctlBufferLength(code);
    if (code == pr::IOCTL_SETUPFILTERS) return inLength >= need && outLength >= need;
    if (!b || inLength < need || outLength < need) return false;  // STATUS_BUFFER_TOO_SMALL
    std::lock_guard lock(m_mutex);
    if (m_stop) return false;
    switch (code) {
        case pr::IOCTL_PROCSPEED:
            le::Put32(b, m_speed);
            return true;
        case pr::IOCTL_SETMODE: {
            const uint32_t handle = le::U32(b + pr::kSetModeEvent);
            if (le::U32(b + pr::kSetModeMode) != pr::kCaptureMode || !ResolveEvent(handle))
                return false;
            m_eventHandle = handle;
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

void SimDriverCore::EnumDevices(uint8_t* b) {
    // The application starts an enumeration with state 1 and no device
    // object; a scripted enumeration simply runs through its replies.
    if (m_options.script.enumReplies.empty() && le::U32(b + pr::kEnumState) == 1 &&
        le::U32(b + pr::kEnumDeviceObject) == 0)
        m_enumCursor = 0;
    static const EnumReply kDone{};
    const EnumReply& r = m_enumCursor < m_enumReplies.size() ? m_enumReplies[m_enumCursor] : kDone;
    ++m_enumCursor;
    le::Put32(b + pr::kEnumDeviceObject, r.deviceObject);
    le::Put32(b + pr::kEnumState, static_cast<uint32_t>(r.state));
    PutText(b + pr::kEnumDescription, pr::kEnumDescriptionSize, r.description);
    PutText(b + pr::kEnumSecondName, pr::kEnumSecondNameSize, r.secondName);
    PutText(b + pr::kEnumObjectName, pr::kEnumObjectNameSize, r.objectName);
    le::Put32(b + pr::kEnumFlag, r.flag);
    if (r.state == pr::kEnumDone) m_enumCursor = 0;  // the next enumeration starts over
}

bool SimDriverCore::ActivateFilter(const uint8_t* b) {
    const uint32_t deviceObject = le::U32(b + pr::kActivateDeviceObject);
    auto offered = m_offered.find(deviceObject);
    if (offered == m_offered.end()) return false;  // STATUS_NO_SUCH_DEVICE
    uint32_t mask = 0;
    for (size_t i = 0; i < pr::kMajorCount; ++i)
        if (b[pr::kActivateFlags + i]) mask |= 1u << i;
    auto it = m_streams.find(deviceObject);
    if (it == m_streams.end()) {
        if (mask == 0) return true;
        it = m_streams
                 .emplace(deviceObject,
                          std::make_unique<CIrpStream>(offered->second, m_options.seed, m_speed))
                 .first;
    }
    it->second->SetMask(mask);
    const bool wasIdle = m_active.empty();
    RebuildActive();
    if (wasIdle && !m_active.empty()) {
        m_paceStart = Clock::now();
        m_paced = 0;
    }
    m_cv.notify_all();
    return true;
}

bool SimDriverCore::InitBuff(const uint8_t* b) {
    const uint32_t handle = le::U32(b + pr::kInitBuffRing);
    uint8_t* ring = RingBytes(handle);
    if (le::U32(b + pr::kInitBuffCount) != pr::kInitBuffCountValue || !ring) return false;
    // Take over the ring where it stands.
    const uint32_t read = std::atomic_ref(*reinterpret_cast<uint32_t*>(ring + pr::kRingReadIndex))
                              .load(std::memory_order_acquire);
    std::atomic_ref writeRef(*reinterpret_cast<uint32_t*>(ring + pr::kRingWriteIndex));
    uint32_t write = writeRef.load(std::memory_order_relaxed);
    if (write >= pr::kRingSlots) write = read < pr::kRingSlots ? read : 0;
    writeRef.store(write, std::memory_order_release);
    m_ringHandle = handle;
    m_write = write;
    // Traffic is paced from the moment the ring is known, without a burst for
    // the time filters were set before it.
    m_paceStart = Clock::now();
    m_paced = 0;
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    m_cv.notify_all();
    return true;
}

void SimDriverCore::RebuildActive() {
    m_active.clear();
    for (auto& [device, stream] : m_streams)
        if (stream->CanProduce()) m_active.push_back({stream.get(), stream->Activity(), 0.0});
}

// Smooth weighted round robin: devices take turns in proportion to their
// traffic, without a random draw, so the interleaving is reproducible.
CIrpStream* SimDriverCore::PickStream() {
    if (m_active.size() == 1) return m_active.front().stream;
    double total = 0;
    Active* best = nullptr;
    for (Active& a : m_active) {
        a.current += a.weight;
        total += a.weight;
        if (!best || a.current > best->current) best = &a;
    }
    best->current -= total;
    return best->stream;
}

void SimDriverCore::Run() {
    // Paced, the driver has deadlines: a late pass drops records, as a
    // kernel filter would lose IRPs. At the unlimited rate it waits for room
    // and never drops; real-time there would only take the processor from
    // the application draining the ring (measured: half the throughput on a
    // busy two-core machine).
    // Its lines go where a kernel driver's go: the machine's debugger output.
    const CDebugOutput debug;
    if (m_options.rate > 0)
        RaiseThisThreadForCapture("simulated driver", debug);
    else
        debug.Write("simulated driver: ordinary scheduling (unlimited rate)\n");
    std::unique_lock lock(m_mutex);
    Clock::time_point lastSignal = Clock::now();
    unsigned idle = 0;
    uint8_t scratch[pr::kRecordSize];
    while (!m_stop) {
        const uint32_t ringHandle = m_ringHandle;
        uint8_t* ring = RingBytes(ringHandle);
        if (!ring) {
            m_cv.wait_for(lock, 10ms);
            continue;
        }
        std::atomic_ref readRef(*reinterpret_cast<uint32_t*>(ring + pr::kRingReadIndex));
        std::atomic_ref writeRef(*reinterpret_cast<uint32_t*>(ring + pr::kRingWriteIndex));
        uint32_t published = m_write;
        uint32_t room = 0;
        auto refresh = [&] {
            if (published != m_write) {
                writeRef.store(m_write, std::memory_order_release);
                published = m_write;
            }
            const uint32_t read = readRef.load(std::memory_order_acquire);
            room =
                read < pr::kRingSlots ? (read + pr::kRingSlots - 1 - m_write) % pr::kRingSlots : 0;
        };
        refresh();
        uint64_t written = 0, dropped = 0;
        auto slot = [&] {
            uint8_t* s = ring + pr::RingSlotOffset(m_write);
            m_write = m_write + 1 == pr::kRingSlots ? 0 : m_write + 1;
            --room;
            ++written;
            return s;
        };

        while (!m_injected.empty()) {
            if (room == 0) refresh();
            if (room == 0) break;
            m_injected.front().Write(slot());
            m_injected.pop_front();
        }

        bool wantsRoom = !m_injected.empty();
        Clock::time_point nextDue = Clock::now() + 10ms;
        const bool generating = m_options.generate && !m_active.empty();
        if (generating && m_options.rate > 0) {
            const auto now = Clock::now();
            const double elapsed = std::chrono::duration<double>(now - m_paceStart).count();
            const auto target = static_cast<uint64_t>(elapsed * m_options.rate);
            uint64_t due = target > m_paced ? target - m_paced : 0;
            if (due > kMaxBurst) {
                // Far behind (the thread was starved): what it could not
                // produce in time is lost, like IRPs missed by a stalled filter.
                m_paced = target - kMaxBurst;
                due = kMaxBurst;
            }
            // The records of one pass would have arrived spread over the
            // time this thread slept, while the application drained. So a
            // full ring makes the driver drop records only when the
            // application has not taken anything for as long as the ring
            // lasts at this rate; a pause of the driver's own thread is not
            // the application's fault.
            const auto ringSpan = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>((pr::kRingSlots - 1) / m_options.rate));
            uint32_t lastRead = readRef.load(std::memory_order_acquire);
            Clock::time_point lastProgress = Clock::now();
            for (uint64_t i = 0; i < due; ++i) {
                if (room == 0) refresh();
                bool woke = false;
                while (room == 0 && !m_stop) {
                    const uint32_t read = readRef.load(std::memory_order_acquire);
                    const auto t = Clock::now();
                    if (read != lastRead) {
                        lastRead = read;
                        lastProgress = t;
                    } else if (t - lastProgress > ringSpan) {
                        break;  // the application stopped reading: drop
                    }
                    const uint32_t eventHandle = m_eventHandle;
                    lock.unlock();
                    // A full ring in the middle of a pass (one that came
                    // late and has a burst to write) wakes the application
                    // now, as a kernel filter signals what it has written;
                    // waiting for the end of the pass would leave the
                    // application asleep while the ring stays full.
                    if (!woke) {
                        if (CEvent* event = ResolveEvent(eventHandle)) event->Set();
                        lastSignal = t;
                        woke = true;
                    }
                    std::this_thread::sleep_for(20us);
                    lock.lock();
                    refresh();
                }
                // Filters or the ring may have changed while the lock was
                // given up.
                if (m_stop || m_active.empty() || m_ringHandle != ringHandle) break;
                CIrpStream* s = PickStream();
                if (room > 0) {
                    s->Next(slot());
                } else {
                    s->Next(scratch);
                    ++dropped;
                }
            }
            m_paced += due;
            const double nextAt = static_cast<double>(m_paced + 1) / m_options.rate;
            nextDue = m_paceStart + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(nextAt));
            nextDue = std::max(nextDue, now + 200us);
        } else if (generating) {
            if (room == 0) refresh();
            while (room > 0) PickStream()->Next(slot());
            wantsRoom = true;
        }
        if (published != m_write) writeRef.store(m_write, std::memory_order_release);
        const bool unread = readRef.load(std::memory_order_acquire) != m_write;
        const uint32_t eventHandle = m_eventHandle;

        lock.unlock();
        if (written) {
            m_counters->written.fetch_add(written, std::memory_order_relaxed);
            idle = 0;
        }
        if (dropped) m_counters->dropped.fetch_add(dropped, std::memory_order_relaxed);
        const auto now = Clock::now();
        if (written || (unread && now - lastSignal >= 10ms)) {
            if (CEvent* event = ResolveEvent(eventHandle)) event->Set();
            lastSignal = now;
        }
        if (wantsRoom && !written && ++idle <= 64) {
            std::this_thread::yield();  // the application is draining: look again soon
            lock.lock();
            continue;
        }
        lock.lock();
        if (m_stop) break;
        if (wantsRoom) {
            if (written) continue;
            // The ring stays full: back off up to 1 ms.
            const auto wait = std::min<std::chrono::microseconds>(1000us, 20us * (idle - 64));
            m_cv.wait_for(lock, wait);
        } else {
            m_cv.wait_until(lock, nextDue);
        }
    }
}

}  // namespace vantrel
