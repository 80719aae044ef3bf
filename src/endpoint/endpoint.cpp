#include "endpoint/endpoint.h"

#include <algorithm>
#include <span>

#include "platform/event.h"
#include "platform/handle_table.h"
#include "record/le.h"
#include "record/protocol.h"

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

// A text field of the reply: at most size - 1 bytes, zeros to its end.
void PutText(uint8_t* field, size_t size, const std::string& text) {
    const size_t n = std::min(text.size(), size - 1);
    std::fill(std::copy_n(text.begin(), n, field), field + size, uint8_t{0});
}

uint32_t Next(uint32_t slot) {
    return slot + 1 == pr::kRingSlots ? 0 : slot + 1;
}

}  // namespace

bool NamesTheDriver(const std::string& path) {
    const std::string_view want = pr::kDevicePath;
    if (path.size() != want.size()) return false;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (size_t i = 0; i < want.size(); ++i)
        if (lower(static_cast<unsigned char>(path[i])) !=
            lower(static_cast<unsigned char>(want[i])))
            return false;
    return true;
}

bool RowOffersDevice(int32_t state) {
    return state != pr::kEnumDone && state != pr::kEnumSkip && state != pr::kEnumGeneralError &&
           state != pr::kEnumGeneralError4 && state != pr::kEnumNoSuchDevnode;
}

CEndpoint::CEndpoint(IEndpointSource& source, EndpointOptions options)
    : m_source(source), m_options(std::move(options)) {}

CEndpoint::~CEndpoint() {
    Shutdown();
}

void CEndpoint::Shutdown() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_ring = nullptr;
        m_event = nullptr;
    }
    m_cv.notify_all();
    if (m_kicker.joinable() && m_kicker.get_id() != std::this_thread::get_id()) m_kicker.join();
}

bool CEndpoint::Stopped() const {
    std::lock_guard lock(m_mutex);
    return m_stop;
}

uint32_t CEndpoint::MaskFor(uint32_t deviceObject) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_masks.find(deviceObject);
    return it == m_masks.end() ? 0 : it->second;
}

bool CEndpoint::Control(uint32_t code, uint8_t* b, uint32_t inLength, uint32_t outLength) {
    if (m_options.refusedCodes.count(code)) return false;
    const uint32_t need = pr::IoctlBufferLength(code);
    if (code == pr::IOCTL_SETUPFILTERS) return inLength >= need && outLength >= need;
    if (!b || inLength < need || outLength < need) return false;  // STATUS_BUFFER_TOO_SMALL
    std::lock_guard lock(m_mutex);
    if (m_stop) return false;
    switch (code) {
        case pr::IOCTL_PROCSPEED:
            le::Put32(b, m_options.processorSpeed);
            return true;
        case pr::IOCTL_SETMODE: {
            CEvent* event = ResolveEvent(le::U32(b + pr::kSetModeEvent));
            if (le::U32(b + pr::kSetModeMode) != pr::kCaptureMode || !event) return false;
            m_event = event;
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

void CEndpoint::EnsureRows() {
    if (m_haveRows) return;
    m_rows = m_source.Rows();
    for (const DeviceRow& r : m_rows)
        if (RowOffersDevice(r.state)) m_offered.insert(r.deviceObject);
    m_haveRows = true;
}

void CEndpoint::EnumDevices(uint8_t* b) {
    EnsureRows();
    // The application starts an enumeration with state 1 and no device
    // object; a scripted enumeration simply runs through its rows.
    if (m_options.restartOnStart && le::U32(b + pr::kEnumState) == 1 &&
        le::U32(b + pr::kEnumDeviceObject) == 0)
        m_enumCursor = 0;
    static const DeviceRow kDone{};
    const DeviceRow& r = m_enumCursor < m_rows.size() ? m_rows[m_enumCursor] : kDone;
    ++m_enumCursor;
    le::Put32(b + pr::kEnumDeviceObject, r.deviceObject);
    le::Put32(b + pr::kEnumState, static_cast<uint32_t>(r.state));
    PutText(b + pr::kEnumDescription, pr::kEnumDescriptionSize, r.description);
    PutText(b + pr::kEnumSecondName, pr::kEnumSecondNameSize, r.secondName);
    PutText(b + pr::kEnumObjectName, pr::kEnumObjectNameSize, r.objectName);
    le::Put32(b + pr::kEnumFlag, r.flag);
    if (r.state == pr::kEnumDone) m_enumCursor = 0;  // the next enumeration starts over
}

bool CEndpoint::ActivateFilter(const uint8_t* b) {
    EnsureRows();
    const uint32_t deviceObject = le::U32(b + pr::kActivateDeviceObject);
    if (!m_offered.count(deviceObject)) return false;  // STATUS_NO_SUCH_DEVICE
    uint32_t mask = 0;
    for (size_t i = 0; i < pr::kMajorCount; ++i)
        if (b[pr::kActivateFlags + i]) mask |= 1u << i;
    if (mask)
        m_masks[deviceObject] = mask;
    else
        m_masks.erase(deviceObject);
    m_lastFilter = Clock::now();
    m_source.FilterChanged(deviceObject, mask, m_masks.size());
    m_cv.notify_all();
    return true;
}

bool CEndpoint::InitBuff(const uint8_t* b) {
    uint8_t* ring = RingBytes(le::U32(b + pr::kInitBuffRing));
    if (le::U32(b + pr::kInitBuffCount) != pr::kInitBuffCountValue || !ring) return false;
    // Take over the ring where it stands.
    const uint32_t read = RingWord(ring, pr::kRingReadIndex).load(std::memory_order_acquire);
    uint32_t write = RingWord(ring, pr::kRingWriteIndex).load(std::memory_order_relaxed);
    if (write >= pr::kRingSlots) write = read < pr::kRingSlots ? read : 0;
    RingWord(ring, pr::kRingWriteIndex).store(write, std::memory_order_release);
    m_ring = ring;
    m_write = write;
    ++m_ringGeneration;
    m_source.RingTaken();
    if (m_options.kickEvery.count() > 0 && !m_kicker.joinable())
        m_kicker = std::thread([this] { Kick(); });
    m_cv.notify_all();
    return true;
}

uint32_t CEndpoint::ReadIndex() const {
    return RingWord(m_ring, pr::kRingReadIndex).load(std::memory_order_acquire);
}

void CEndpoint::StoreWrite() {
    RingWord(m_ring, pr::kRingWriteIndex).store(m_write, std::memory_order_release);
}

bool CEndpoint::WaitForFiltersToSettle() {
    const auto giveUp = Clock::now() + 500ms;
    std::unique_lock lock(m_mutex);
    while (!m_stop && Clock::now() - m_lastFilter < 50ms && Clock::now() < giveUp)
        m_cv.wait_for(lock, 5ms);
    return !m_stop;
}

bool CEndpoint::SleepUntil(Clock::time_point t) {
    std::unique_lock lock(m_mutex);
    while (!m_stop && Clock::now() < t) m_cv.wait_until(lock, t);
    return !m_stop;
}

bool CEndpoint::Put(const IRP_CAPTURE_RECORD& record) {
    std::unique_lock lock(m_mutex);
    auto backoff = 20us;
    CEvent* event = nullptr;
    bool written = false;
    while (!m_stop) {
        if (!m_ring) {
            m_cv.wait_for(lock, 10ms);  // the application has not handed over its ring yet
            continue;
        }
        const uint32_t read = ReadIndex();
        const uint32_t next = Next(m_write);
        if (read < pr::kRingSlots && next != read) {
            record.Write(m_ring + pr::RingSlotOffset(m_write));
            m_write = next;
            StoreWrite();
            // A wake-up per record would cost the application a system call
            // and a context switch each: signal in batches, and the kicker
            // thread hands over what is left within a few milliseconds.
            const uint32_t unread = (m_write + pr::kRingSlots - read) % pr::kRingSlots;
            const auto now = Clock::now();
            if (unread >= m_options.signalBatch || now - m_lastSignal >= m_options.signalEvery) {
                m_lastSignal = now;
                event = m_event;
            }
            written = true;
            break;
        }
        // Full: the producer waits until the application makes room.
        m_cv.wait_for(lock, backoff);
        backoff = std::min<std::chrono::microseconds>(backoff * 2, 1000us);
    }
    lock.unlock();
    if (written) m_counters->written.fetch_add(1, std::memory_order_relaxed);
    if (event && !event->IsSet()) event->Set();
    return written;
}

void CEndpoint::Kick() {
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        m_cv.wait_for(lock, m_options.kickEvery);
        if (m_stop) break;
        m_source.Kicked();
        if (!m_ring) continue;
        CEvent* event = ReadIndex() != m_write ? m_event : nullptr;
        lock.unlock();
        if (event) event->Set();
        lock.lock();
    }
}

CEndpoint::Batch::Batch(CEndpoint& endpoint) : m_e(endpoint), m_lock(endpoint.m_mutex) {
    m_published = m_e.m_write;
}

CEndpoint::Batch::~Batch() {
    if (!m_lock.owns_lock()) m_lock.lock();
    Publish();
}

uint32_t CEndpoint::Batch::Mask(uint32_t deviceObject) const {
    const auto it = m_e.m_masks.find(deviceObject);
    return it == m_e.m_masks.end() ? 0 : it->second;
}

uint32_t CEndpoint::Batch::Refresh() {
    if (!m_e.m_ring) return m_room = 0;
    if (m_published != m_e.m_write) {
        m_e.StoreWrite();
        m_published = m_e.m_write;
    }
    const uint32_t read = m_e.ReadIndex();
    m_room = read < pr::kRingSlots ? (read + pr::kRingSlots - 1 - m_e.m_write) % pr::kRingSlots : 0;
    return m_room;
}

uint8_t* CEndpoint::Batch::Slot() {
    uint8_t* s = m_e.m_ring + pr::RingSlotOffset(m_e.m_write);
    m_e.m_write = Next(m_e.m_write);
    --m_room;
    ++m_written;
    return s;
}

bool CEndpoint::Batch::WaitForRoom(std::chrono::nanoseconds patience) {
    if (m_room == 0) Refresh();
    if (m_room > 0 || !m_e.m_ring) return m_room > 0;
    const uint64_t generation = m_e.m_ringGeneration;
    bool woke = false;
    while (m_room == 0 && !m_e.m_stop && m_e.m_ring && m_e.m_ringGeneration == generation) {
        const uint32_t read = m_e.ReadIndex();
        const auto t = Clock::now();
        if (read != m_lastRead) {
            m_lastRead = read;
            m_lastProgress = t;
        } else if (t - m_lastProgress > patience) {
            break;  // the application stopped reading
        }
        CEvent* event = m_e.m_event;
        Unlock();
        // A full ring in the middle of a batch wakes the application now,
        // as a kernel filter signals what it has written; waiting for the
        // end of the batch would leave it asleep while the ring stays full.
        if (!woke) {
            if (event) event->Set();
            woke = true;
        }
        std::this_thread::sleep_for(20us);
        Lock();
        Refresh();
    }
    if (woke) m_e.m_lastSignal = Clock::now();
    return m_room > 0;
}

void CEndpoint::Batch::Publish() {
    if (m_e.m_ring && m_published != m_e.m_write) {
        m_e.StoreWrite();
        m_published = m_e.m_write;
    }
    if (m_written > m_counted) {
        m_e.m_counters->written.fetch_add(m_written - m_counted, std::memory_order_relaxed);
        m_counted = m_written;
    }
    if (m_dropped) {
        m_e.m_counters->dropped.fetch_add(m_dropped, std::memory_order_relaxed);
        m_dropped = 0;
    }
}

bool CEndpoint::Batch::Unread() const {
    return m_e.m_ring && m_e.ReadIndex() != m_e.m_write;
}

void CEndpoint::Batch::Signal() {
    Publish();
    CEvent* event = m_e.m_event;
    m_e.m_lastSignal = Clock::now();
    m_lock.unlock();
    if (event) event->Set();
    Lock();
}

void CEndpoint::Batch::Unlock() {
    Publish();
    m_lock.unlock();
}

void CEndpoint::Batch::Lock() {
    m_lock.lock();
    m_published = m_e.m_write;  // the ring may have been handed over again meanwhile
}

void CEndpoint::Batch::WaitFor(std::chrono::nanoseconds d) {
    Publish();
    m_e.m_cv.wait_for(m_lock, d);
    m_published = m_e.m_write;
}

void CEndpoint::Batch::WaitUntil(Clock::time_point t) {
    Publish();
    m_e.m_cv.wait_until(m_lock, t);
    m_published = m_e.m_write;
}

}  // namespace vantrel
