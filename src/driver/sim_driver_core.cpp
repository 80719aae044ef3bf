#include "driver/sim_driver_core.h"

#include <algorithm>

#include "platform/debug_output.h"
#include "platform/thread_priority.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
namespace pr = protocol;

EndpointOptions SimEndpointOptions(const SimulatedDriverOptions& options, uint32_t speed) {
    EndpointOptions e;
    e.processorSpeed = speed;
    e.restartOnStart = options.script.enumReplies.empty();
    e.refusedCodes = options.script.failingCodes;
    return e;  // no kicker: every pass signals what it wrote
}

}  // namespace

SimDriverCore::SimDriverCore(const SimulatedDriverOptions& options)
    : m_options(options),
      m_speed(options.script.processorSpeed.value_or(kSimulatedProcessorSpeed)),
      m_endpoint(*this, SimEndpointOptions(options, m_speed)) {
    if (!options.script.enumReplies.empty()) {
        m_rows = options.script.enumReplies;
        for (const DeviceRow& r : m_rows) {
            if (!RowOffersDevice(r.state) || m_offered.count(r.deviceObject)) continue;
            const SimDevice* known = FindSimulatedDevice(r.deviceObject);
            m_offered[r.deviceObject] =
                known ? *known
                      : SimDevice{
                            r.deviceObject, r.state, r.flag, SimDeviceKind::Generic, "", "", ""};
        }
    } else {
        m_rows = DefaultEnumeration(options.devices);
        for (const DeviceRow& r : m_rows)
            if (RowOffersDevice(r.state))
                m_offered[r.deviceObject] = *FindSimulatedDevice(r.deviceObject);
    }
}

void SimDriverCore::Shutdown() {
    m_endpoint.Shutdown();
    if (m_thread.joinable()) m_thread.join();
}

void SimDriverCore::Inject(const std::vector<IRP_CAPTURE_RECORD>& records) {
    {
        CEndpoint::Batch hold(m_endpoint);
        m_injected.insert(m_injected.end(), records.begin(), records.end());
    }
    m_endpoint.Notify();
}

void SimDriverCore::FilterChanged(uint32_t deviceObject, uint32_t mask, size_t) {
    auto it = m_streams.find(deviceObject);
    if (it == m_streams.end()) {
        if (mask == 0) return;
        it = m_streams
                 .emplace(deviceObject, std::make_unique<CIrpStream>(m_offered.at(deviceObject),
                                                                     m_options.seed, m_speed))
                 .first;
    }
    it->second->SetMask(mask);
    const bool wasIdle = m_active.empty();
    RebuildActive();
    if (wasIdle && !m_active.empty()) {
        m_paceStart = Clock::now();
        m_paced = 0;
    }
}

void SimDriverCore::RingTaken() {
    // Traffic is paced from the moment the ring is known, without a burst for
    // the time filters were set before it.
    m_paceStart = Clock::now();
    m_paced = 0;
    if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
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
    for (;;) {
        CEndpoint::Batch batch(m_endpoint);
        if (batch.Stopped()) return;
        if (!batch.HasRing()) {
            batch.WaitFor(10ms);
            continue;
        }
        batch.Refresh();
        WriteInjected(batch);
        bool wantsRoom = !m_injected.empty();
        Clock::time_point nextDue = Clock::now() + 10ms;
        const bool generating = m_options.generate && !m_active.empty();
        if (generating && m_options.rate > 0) {
            nextDue = WritePaced(batch);
        } else if (generating) {
            WriteUntilFull(batch);
            wantsRoom = true;
        }
        const uint64_t written = batch.WrittenInBatch();
        SignalAfterPass(batch, written);
        if (!WaitAfterPass(batch, wantsRoom, written, nextDue)) return;
    }
}

// Injected records go first and are never dropped.
void SimDriverCore::WriteInjected(CEndpoint::Batch& batch) {
    while (!m_injected.empty()) {
        if (batch.Room() == 0 && batch.Refresh() == 0) break;
        m_injected.front().Write(batch.Slot());
        m_injected.pop_front();
    }
}

// The records due at the rate since the pace began; returns when the next
// one is due.
SimDriverCore::Clock::time_point SimDriverCore::WritePaced(CEndpoint::Batch& batch) {
    const auto now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - m_paceStart).count();
    const auto target = static_cast<uint64_t>(elapsed * m_options.rate);
    uint64_t due = target > m_paced ? target - m_paced : 0;
    if (due > kMaxBurst) {
        // Far behind (the thread was starved): what it could not produce in
        // time is lost, like IRPs missed by a stalled filter.
        m_paced = target - kMaxBurst;
        due = kMaxBurst;
    }
    // The records of one pass would have arrived spread over the time this
    // thread slept, while the application drained. So a full ring makes the
    // driver drop records only when the application has not taken anything
    // for as long as the ring lasts at this rate; a pause of the driver's
    // own thread is not the application's fault.
    const auto ringSpan = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>((pr::kRingSlots - 1) / m_options.rate));
    const uint64_t generation = batch.RingGeneration();
    uint8_t scratch[pr::kRecordSize];
    for (uint64_t i = 0; i < due; ++i) {
        const bool room = batch.WaitForRoom(ringSpan);
        // Filters or the ring may have changed while the lock was given up.
        if (batch.Stopped() || m_active.empty() || batch.RingGeneration() != generation) break;
        CIrpStream* s = PickStream();
        if (room) {
            s->Next(batch.Slot());
        } else {
            s->Next(scratch);
            batch.Drop();
        }
    }
    m_paced += due;
    const double nextAt = static_cast<double>(m_paced + 1) / m_options.rate;
    const auto nextDue = m_paceStart + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(nextAt));
    return std::max(nextDue, now + 200us);
}

// The unlimited rate: as many records as the ring has room for.
void SimDriverCore::WriteUntilFull(CEndpoint::Batch& batch) {
    if (batch.Room() == 0) batch.Refresh();
    while (batch.Room() > 0) PickStream()->Next(batch.Slot());
}

// Data-ready after every pass that wrote, and every 10 ms while records
// stay unread, so a wake-up lost between the application's drain and its
// reset of the event only delays records.
void SimDriverCore::SignalAfterPass(CEndpoint::Batch& batch, uint64_t written) {
    batch.Publish();
    const bool unread = batch.Unread();
    if (written) m_idle = 0;
    if (written || (unread && Clock::now() - batch.LastSignal() >= 10ms)) batch.Signal();
}

bool SimDriverCore::WaitAfterPass(CEndpoint::Batch& batch, bool wantsRoom, uint64_t written,
                                  Clock::time_point nextDue) {
    if (wantsRoom && !written && ++m_idle <= 64) {
        batch.Unlock();
        std::this_thread::yield();  // the application is draining: look again soon
        batch.Lock();
        return true;
    }
    if (batch.Stopped()) return false;
    if (wantsRoom) {
        if (written) return true;
        // The ring stays full: back off up to 1 ms.
        batch.WaitFor(std::min<std::chrono::microseconds>(1000us, 20us * (m_idle - 64)));
    } else {
        batch.WaitUntil(nextDue);
    }
    return true;
}

}  // namespace vantrel
