#include "remote/hosted_source.h"

#include <algorithm>
#include <cstring>

#include "platform/handle_table.h"
#include "record/le.h"
#include "record/protocol.h"
#include "remote/frame.h"

namespace vantrel::remote {
namespace {

namespace pr = protocol;
constexpr size_t kRingWords = (pr::kRingSize + 3) / 4;

bool ClientMaySend(uint32_t code) {
    return code == pr::IOCTL_SETUPFILTERS || code == pr::IOCTL_PROCSPEED ||
           code == pr::IOCTL_ENUMDEVICES || code == pr::IOCTL_ACTIVATE_FILTER;
}

}  // namespace

CHostedSource::CHostedSource(std::unique_ptr<IDriverDevice> device, uint64_t backlogBytes)
    : m_device(std::move(device)),
      m_backlogLimit(backlogBytes),
      m_ring(std::make_unique<uint32_t[]>(kRingWords)) {}

CHostedSource::~CHostedSource() {
    Stop();
}

bool CHostedSource::Start(std::function<void()> onReady, std::string& error) {
    m_onReady = std::move(onReady);
    auto* bytes = reinterpret_cast<uint8_t*>(m_ring.get());
    m_ringHandle = RegisterRingHandle(std::span<uint8_t>(bytes, pr::kRingSize));
    m_eventHandle = RegisterEventHandle(&m_dataReady);
    uint8_t setMode[pr::kSetModeSize] = {};
    le::Put32(setMode + pr::kSetModeMode, pr::kCaptureMode);
    le::Put32(setMode + pr::kSetModeEvent, m_eventHandle);
    uint8_t initBuff[pr::kInitBuffSize] = {};
    le::Put32(initBuff + pr::kInitBuffCount, pr::kInitBuffCountValue);
    le::Put32(initBuff + pr::kInitBuffRing, m_ringHandle);
    if (!m_device->DeviceIoControl(pr::IOCTL_SETMODE, setMode, sizeof setMode, sizeof setMode) ||
        !m_device->DeviceIoControl(pr::IOCTL_INITBUFF, initBuff, sizeof initBuff,
                                   sizeof initBuff)) {
        error = "the capture source refused its ring (IOCTL_SETMODE or IOCTL_INITBUFF failed)";
        return false;
    }
    m_thread = std::thread([this] { Drain(); });
    return true;
}

bool CHostedSource::Control(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength) {
    if (!ClientMaySend(code)) return false;
    std::lock_guard lock(m_mutex);
    if (m_closed) return false;
    const bool ok = m_device->DeviceIoControl(code, buffer, inLength, outLength);
    if (ok && code == pr::IOCTL_ACTIVATE_FILTER && buffer && inLength >= pr::kActivateSize) {
        const uint32_t device = le::U32(buffer + pr::kActivateDeviceObject);
        const uint8_t* flags = buffer + pr::kActivateFlags;
        if (std::all_of(flags, flags + pr::kMajorCount, [](uint8_t f) { return f == 0; }))
            m_filters.erase(device);
        else
            m_filters[device].assign(flags, flags + pr::kMajorCount);
    }
    return ok;
}

void CHostedSource::RemoveFilters() {
    for (const auto& [device, flags] : m_filters) {
        uint8_t request[pr::kActivateSize] = {};
        le::Put32(request + pr::kActivateDeviceObject, device);
        m_device->DeviceIoControl(pr::IOCTL_ACTIVATE_FILTER, request, sizeof request,
                                  sizeof request);
    }
    m_filters.clear();
}

uint64_t CHostedSource::NewSession() {
    std::lock_guard lock(m_mutex);
    if (!m_closed) RemoveFilters();
    m_backlog.clear();
    m_keptBytes = 0;
    return m_next;
}

void CHostedSource::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
        RemoveFilters();
        m_closed = true;
    }
    // Closing the device is the source's promise never to write the ring
    // again; only then may the drain stop and the ring go.
    m_device.reset();
    m_stop.store(true);
    m_dataReady.Set();
    if (m_thread.joinable()) m_thread.join();
    UnregisterHandle(m_ringHandle);
    UnregisterHandle(m_eventHandle);
}

void CHostedSource::Drain() {
    auto* ring = reinterpret_cast<uint8_t*>(m_ring.get());
    std::atomic_ref readRef(*reinterpret_cast<uint32_t*>(ring + pr::kRingReadIndex));
    std::atomic_ref writeRef(*reinterpret_cast<uint32_t*>(ring + pr::kRingWriteIndex));
    while (!m_stop.load()) {
        m_dataReady.WaitFor(5);
        m_dataReady.Reset();
        uint32_t read = readRef.load(std::memory_order_relaxed);
        const uint32_t write = writeRef.load(std::memory_order_acquire);
        if (write >= pr::kRingSlots) continue;  // the source broke the ring: take nothing
        if (read == write) continue;
        {
            std::lock_guard lock(m_mutex);
            while (read != write) {
                Keep(ring + pr::RingSlotOffset(read));
                read = read + 1 == pr::kRingSlots ? 0 : read + 1;
            }
        }
        readRef.store(read, std::memory_order_release);
        if (m_onReady) m_onReady();
    }
}

void CHostedSource::Keep(const uint8_t* record) {
    if (m_keptBytes + pr::kRecordSize > m_backlogLimit) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (m_backlog.empty() ||
        m_backlog.back().bytes.size() >= kMaxRecordsPerFrame * pr::kRecordSize) {
        m_backlog.push_back({m_next, {}});
        m_backlog.back().bytes.reserve(kMaxRecordsPerFrame * pr::kRecordSize);
    }
    m_backlog.back().bytes.insert(m_backlog.back().bytes.end(), record, record + pr::kRecordSize);
    m_keptBytes += pr::kRecordSize;
    ++m_next;
}

uint32_t CHostedSource::Take(uint64_t from, uint32_t maxRecords, std::vector<uint8_t>& out) const {
    std::lock_guard lock(m_mutex);
    // Batches hold consecutive numbers, so the one holding `from` is found
    // by its first number.
    auto it = std::upper_bound(m_backlog.begin(), m_backlog.end(), from,
                               [](uint64_t n, const Batch& b) { return n < b.first; });
    if (it == m_backlog.begin()) return 0;
    --it;
    const uint64_t offset = from - it->first;
    const uint64_t held = it->bytes.size() / pr::kRecordSize;
    if (offset >= held) return 0;
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(held - offset, maxRecords));
    const auto begin = it->bytes.begin() + static_cast<std::ptrdiff_t>(offset * pr::kRecordSize);
    out.insert(out.end(), begin, begin + static_cast<std::ptrdiff_t>(n * pr::kRecordSize));
    return n;
}

void CHostedSource::Acknowledge(uint64_t lastHeld) {
    std::lock_guard lock(m_mutex);
    while (!m_backlog.empty()) {
        const Batch& b = m_backlog.front();
        const uint64_t count = b.bytes.size() / pr::kRecordSize;
        // The batch still filling stays, so new records keep their order.
        if (b.first + count - 1 > lastHeld || m_backlog.size() == 1) break;
        m_keptBytes -= b.bytes.size();
        m_backlog.pop_front();
    }
}

uint64_t CHostedSource::NextSequence() const {
    std::lock_guard lock(m_mutex);
    return m_next;
}

uint64_t CHostedSource::OldestKept() const {
    std::lock_guard lock(m_mutex);
    return m_backlog.empty() ? m_next : m_backlog.front().first;
}

}  // namespace vantrel::remote
