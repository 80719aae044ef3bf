#pragma once
// CEndpoint: the driver's side of the control protocol (record/protocol.h),
// written once for every capture source behind "\\.\KLAVDRIVER". A source
// (the simulated driver, the trace driver, a replay of a saved test, a
// kernel or a remote machine) supplies only its device rows and a producer
// of records; the endpoint does the rest:
//  - the seven control codes, their buffer lengths and their replies
//    (a short buffer fails, as STATUS_BUFFER_TOO_SMALL; an unknown code
//    fails, as STATUS_INVALID_DEVICE_REQUEST);
//  - the enumeration replies, one row per IOCTL_ENUMDEVICES, then "done";
//  - the filter table (device object to major-function mask) that
//    IOCTL_ACTIVATE_FILTER adds to, changes and removes from (mask 0); a
//    device object that was not offered is refused (STATUS_NO_SUCH_DEVICE);
//  - the ring: taken over where it stands at IOCTL_INITBUFF, written slot
//    by slot (a slot is complete before WriteIndex moves past it), never
//    its Signalled word; the data-ready event of IOCTL_SETMODE;
//  - what a full ring means, chosen by the source: Put waits for room
//    (nothing is ever dropped), a Batch with a patience drops and counts;
//  - the written and dropped counts.
//
// Contract for a source:
//  - Construct the endpoint with an IEndpointSource and EndpointOptions;
//    forward every DeviceIoControl to Control (CCoreDeviceHandle does).
//  - Rows() is asked once, at the first request that needs the devices.
//  - The hooks (FilterChanged, RingTaken, Kicked) run with the endpoint's
//    lock held: they must not call the endpoint, and must not block. State
//    that only hooks and a Batch holder touch needs no lock of its own.
//  - Records go in through Put (one record, waits for room) or a Batch
//    (several records under one lock; the simulated driver's fixed-rate
//    passes). Check MaskFor (or a Batch's Mask) before producing a record:
//    a record of a device object or major that is not filtered must not
//    reach the ring.
//  - Shutdown (the device handle's close) first makes the endpoint refuse
//    every later write, then returns: after it, the source never touches
//    the application's ring or event again. The source joins its own
//    threads after calling it (a producer blocked in Put returns false).
//  - Data-ready: with `kickEvery` set, the endpoint sets the event after
//    `signalBatch` records or `signalEvery` since it last did, and a thread
//    of its own sets it again every `kickEvery` while unread records stay
//    in the ring. Without it the source signals from its Batch (Signal).
//
// Thread safety: every member may be called from any thread; one mutex
// guards the filters, the ring and the write index.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "endpoint/device_row.h"
#include "record/capture_record.h"

namespace vantrel {

class CEvent;

// True when `path` is the driver's device path, "\\.\KLAVDRIVER", in any
// case: what every source's opener opens.
bool NamesTheDriver(const std::string& path);

struct EndpointOptions {
    uint32_t processorSpeed = 0;  // ticks per microsecond, IOCTL_PROCSPEED
    // true: a request {state 1, no device object} starts the enumeration
    // over; false: the rows are answered in order whatever is asked (a
    // scripted enumeration).
    bool restartOnStart = true;
    std::set<uint32_t> refusedCodes;  // control codes whose requests fail
    // Data-ready in batches (see above); zero kickEvery: the source signals.
    uint32_t signalBatch = 32;
    std::chrono::microseconds signalEvery{1000};
    std::chrono::microseconds kickEvery{0};
};

struct EndpointCounters {
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> dropped{0};
};

class IEndpointSource {
public:
    virtual ~IEndpointSource() = default;
    // The enumeration, in order; the endpoint answers "done" after the last
    // row (a row with state done ends it early and starts it over).
    virtual std::vector<DeviceRow> Rows() = 0;
    // A filter was set (mask 0: removed); `filtered` device objects have
    // one now.
    virtual void FilterChanged(uint32_t deviceObject, uint32_t mask, size_t filtered) {}
    // The application handed over its ring (again).
    virtual void RingTaken() {}
    // The kicker thread's turn, every kickEvery.
    virtual void Kicked() {}
};

class CEndpoint {
public:
    using Clock = std::chrono::steady_clock;

    CEndpoint(IEndpointSource& source, EndpointOptions options);
    ~CEndpoint();
    CEndpoint(const CEndpoint&) = delete;
    CEndpoint& operator=(const CEndpoint&) = delete;

    // One control request, as IDriverDevice::DeviceIoControl.
    bool Control(uint32_t code, uint8_t* buffer, uint32_t inLength, uint32_t outLength);
    // See the contract above. Idempotent.
    void Shutdown();

    std::shared_ptr<EndpointCounters> Counters() const { return m_counters; }
    uint32_t MaskFor(uint32_t deviceObject) const;
    bool Stopped() const;

    // Blocks until the filters of an Add stop arriving: 50 ms without a
    // change after the first filter, at most 500 ms. Returns false after
    // Shutdown.
    bool WaitForFiltersToSettle();

    // A producer's pause that Shutdown cuts short: false after Shutdown.
    bool SleepUntil(Clock::time_point t);

    // Writes one record, waiting for room (and for the ring, if it has not
    // been handed over yet); signals data-ready by the batch rule. False
    // after Shutdown (the record is not written).
    bool Put(const IRP_CAPTURE_RECORD& record);

    // Several records under the endpoint's lock. Refresh() publishes what
    // was written and looks at ReadIndex again; Slot() hands out the next
    // slot (call it only while Room() > 0). The lock can be given up for a
    // wait (what was written is published first); every pointer from Slot()
    // is invalid after that. A Batch is also how a source holds the
    // endpoint's lock for the state its hooks share.
    class Batch {
    public:
        explicit Batch(CEndpoint& endpoint);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

        bool Stopped() const { return m_e.m_stop; }
        bool HasRing() const { return m_e.m_ring != nullptr; }
        // Increases with every ring handed over: a source's pass ends when
        // it changes while the lock was given up.
        uint64_t RingGeneration() const { return m_e.m_ringGeneration; }
        uint32_t Mask(uint32_t deviceObject) const;
        // Slots free after a fresh look at ReadIndex (0 without a ring).
        uint32_t Refresh();
        uint32_t Room() const { return m_room; }
        uint8_t* Slot();
        // A record that a full ring lost.
        void Drop() { ++m_dropped; }
        // Full ring, dropping policy: waits (with the lock given up) until
        // there is room, or until the application has taken nothing for
        // `patience`; sets the data-ready event once as the wait begins.
        // True when there is room.
        bool WaitForRoom(std::chrono::nanoseconds patience);
        // Makes every write visible (WriteIndex), counts them.
        void Publish();
        bool Unread() const;
        // Sets data-ready (with the lock given up), publishing first.
        void Signal();
        uint64_t WrittenInBatch() const { return m_written; }
        // When data-ready was last set by this endpoint.
        Clock::time_point LastSignal() const { return m_e.m_lastSignal; }

        void Unlock();
        void Lock();
        void WaitFor(std::chrono::nanoseconds d);
        void WaitUntil(Clock::time_point t);

    private:
        CEndpoint& m_e;
        std::unique_lock<std::mutex> m_lock;
        uint32_t m_published = 0;
        uint32_t m_room = 0;
        uint64_t m_written = 0;  // counted at Publish
        uint64_t m_dropped = 0;
        uint64_t m_counted = 0;
        uint32_t m_lastRead = UINT32_MAX;
        Clock::time_point m_lastProgress{};
    };

    // Wakes whoever waits in a Batch (after a source changed what it produces).
    void Notify() { m_cv.notify_all(); }

private:
    void EnsureRows();
    void EnumDevices(uint8_t* b);
    bool ActivateFilter(const uint8_t* b);
    bool InitBuff(const uint8_t* b);
    void Kick();
    uint32_t ReadIndex() const;
    void StoreWrite();

    IEndpointSource& m_source;
    const EndpointOptions m_options;
    const std::shared_ptr<EndpointCounters> m_counters = std::make_shared<EndpointCounters>();

    mutable std::mutex m_mutex;  // everything below
    std::condition_variable m_cv;
    std::vector<DeviceRow> m_rows;
    std::set<uint32_t> m_offered;
    bool m_haveRows = false;
    size_t m_enumCursor = 0;
    std::map<uint32_t, uint32_t> m_masks;
    Clock::time_point m_lastFilter{};
    // Resolved once, when the application hands them over: it unregisters
    // them only after closing the driver, which clears them first.
    CEvent* m_event = nullptr;
    uint8_t* m_ring = nullptr;
    uint64_t m_ringGeneration = 0;
    uint32_t m_write = 0;
    Clock::time_point m_lastSignal{};
    bool m_stop = false;
    std::thread m_kicker;
};

}  // namespace vantrel
