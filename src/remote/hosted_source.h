#pragma once
// CHostedSource: the capture source that `serve` hosts, as the application
// on the served machine would hold it: one device handle, a capture ring
// and data-ready event of the server's own, and a thread that drains the
// ring into the backlog of numbered records that the network writer sends.
//
// Numbering: every record taken from the ring gets the next sequence number
// (from 1), in ring order. The backlog keeps every record not yet
// acknowledged by the client, up to a byte limit; a record that finds the
// backlog full is counted as dropped and gets no number, so the numbers a
// client sees have no gaps.
//
// Thread safety: Control, the backlog calls and Stop may come from any
// thread; one mutex guards the backlog and the filter masks set through the
// source. The ready callback runs on the drain thread, without the mutex.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"
#include "record/driver_device.h"

namespace vantrel::remote {

inline constexpr uint64_t kDefaultBacklogBytes = uint64_t{256} << 20;

class CHostedSource {
public:
    CHostedSource(std::unique_ptr<IDriverDevice> device, uint64_t backlogBytes);
    ~CHostedSource();
    CHostedSource(const CHostedSource&) = delete;
    CHostedSource& operator=(const CHostedSource&) = delete;

    // Hands the source the ring and the event and starts draining; false
    // and `error` when the source refuses them.
    bool Start(std::function<void()> onReady, std::string& error);
    // One control request of a client, for the codes a client may send
    // (set-up, processor speed, enumeration, filters); any other fails.
    bool Control(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength);
    // A new client session: the filters the last one set are removed and
    // its unacknowledged records forgotten. Returns the next record's number.
    uint64_t NewSession();
    // Removes every filter set through this source, closes the source and
    // stops draining. After it the source's ring is never touched again.
    void Stop();

    // Up to `maxRecords` records from number `from` on, appended as wire
    // bytes; returns how many.
    uint32_t Take(uint64_t from, uint32_t maxRecords, std::vector<uint8_t>& out) const;
    // Forgets the records up to `lastHeld`.
    void Acknowledge(uint64_t lastHeld);
    uint64_t NextSequence() const;
    uint64_t OldestKept() const;
    uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    struct Batch {
        uint64_t first = 0;
        std::vector<uint8_t> bytes;
    };
    void Drain();
    void Keep(const uint8_t* record);
    void RemoveFilters();

    std::unique_ptr<IDriverDevice> m_device;
    const uint64_t m_backlogLimit;
    std::unique_ptr<uint32_t[]> m_ring;  // words, so the index words are aligned
    CEvent m_dataReady;
    uint32_t m_ringHandle = 0;
    uint32_t m_eventHandle = 0;
    std::atomic<bool> m_stop{false};
    std::function<void()> m_onReady;
    std::thread m_thread;
    std::atomic<uint64_t> m_dropped{0};

    mutable std::mutex m_mutex;  // everything below
    std::deque<Batch> m_backlog;
    uint64_t m_next = 1;
    uint64_t m_keptBytes = 0;
    std::map<uint32_t, std::vector<uint8_t>> m_filters;  // device object -> its 28 flags
    bool m_closed = false;
};

}  // namespace vantrel::remote
