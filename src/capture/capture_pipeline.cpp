#include "capture/capture_pipeline.h"

#include <algorithm>
#include <chrono>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "catalogue/ioctl_selector.h"
#include "platform/thread_priority.h"

namespace vantrel {
namespace {
// Records formatted under one hold of the list: large enough to make the
// locking cheap, small enough that a reset never waits long.
constexpr size_t kPrintBatch = 256;
constexpr unsigned kPollPauseUs = 100;
// A drain that took fewer records than this ends the polling: records come
// slowly enough that the driver's own signal wakes the thread in time, and
// a thread polling a slow source (a traced program's calls) would only take
// the processor from the program and its tracer.
constexpr size_t kPollMinRecords = 8;

// The printing thread yields to the capture thread: a late drain costs
// records that the driver must drop, a late block costs nothing.
void LowerThisThreadsPriority() {
#ifdef __linux__
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
#endif
}

// The range display's record selection: with all devices (or a loaded test)
// every device object passes, otherwise only the selected one (none
// selected: nothing passes); then the IOCTL filter, when it is on.
bool RangeTakes(const CIrpRecord& record, bool allDevices,
                const std::optional<CDocumentState::Selection>& device, bool ioctlFilter,
                const IoctlFilterSelection& selection) {
    if (!allDevices && (!device || record.GetDeviceObject() != device->deviceObject)) return false;
    return !ioctlFilter || IoctlFilterTest(record, true, selection);
}
}  // namespace

CCapturePipeline::CCapturePipeline(PipelineParts parts, PipelineHooks hooks)
    : m_parts(parts),
      m_hooks(std::move(hooks)),
      m_log(m_hooks.debug),
      m_cursorGeneration(parts.records.Generation()),
      m_rangeTimer([this] { OnRangeTimer(); }) {}

CCapturePipeline::~CCapturePipeline() {
    m_rangeTimer.Cancel();
    {
        std::lock_guard lock(m_startMutex);
        m_stopping = true;
    }
    m_printingQuit.Set();
    m_captureQuit.Set();
    if (m_captureThread.joinable()) m_captureThread.join();
    if (m_printingThread.joinable()) m_printingThread.join();
    m_log.Close();
}

void CCapturePipeline::StartCapture() {
    {
        std::lock_guard lock(m_startMutex);
        if (m_stopping || m_started.load(std::memory_order_relaxed)) return;
        m_parts.records.EnablePrefetch();
        m_captureThread = std::thread([this] { CaptureLoop(); });
        m_printingThread = std::thread([this] { PrintingLoop(); });
        m_started.store(true, std::memory_order_release);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kHandOverDelayMs));
    if (m_hooks.handToDriver) {
        m_hooks.handToDriver(m_parts.ring.DataReadyHandle(), m_parts.ring.RingHandle());
    }
}

size_t CCapturePipeline::DrainOnce(DrainContext& context) {
    context.processorSpeed = m_speed.load(std::memory_order_relaxed);
    m_deviceControls.clear();
    uint64_t generation = 0;
    m_drainStarts.fetch_add(1, std::memory_order_acq_rel);
    const size_t taken = m_drain.Drain(m_parts.ring, m_parts.records, context, &generation);
    m_drainPasses.fetch_add(1, std::memory_order_release);
    if (!taken) return 0;
    m_taken.fetch_add(taken, std::memory_order_relaxed);
    m_recordsAdded.Set();
    if (m_hooks.onDeviceControl) {
        for (const auto& [code, name] : m_deviceControls)
            m_hooks.onDeviceControl(code, name.view(), generation);
    }
    return taken;
}

void CCapturePipeline::CaptureLoop() {
    // This thread keeps the driver's pace: a late drain means records the
    // driver must drop, so it asks for real-time scheduling where it may.
    RaiseThisThreadForCapture("capture thread", m_hooks.debug);
    DrainContext context;
    context.devices = m_hooks.devices;
    context.clock = m_hooks.clock;
    context.debug = m_hooks.debug;
    if (m_hooks.onDeviceControl) context.deviceControls = &m_deviceControls;
    for (;;) {
        const int which = WaitForAny({&m_captureQuit, &m_parts.ring.DataReady()});
        if (which == 0) return;
        if (which != 1) continue;
        // The event is reset and Signalled cleared before the drain, not
        // after it: a record the driver writes while we drain then sets the
        // event again instead of waiting for the next record to wake us.
        m_captureBusy.store(true, std::memory_order_release);
        m_parts.ring.DataReady().Reset();
        m_parts.ring.SetSignalled(0);
        size_t taken = DrainOnce(context);
        // While records keep coming fast, look at the ring again after a
        // short pause instead of waiting for the next signal: the ring holds
        // only 200 records, and at high rates a wake-up that comes late means
        // records the driver has to drop.
        while (taken >= kPollMinRecords && !m_captureQuit.IsSet()) {
            std::this_thread::sleep_for(std::chrono::microseconds(kPollPauseUs));
            taken = DrainOnce(context);
        }
        m_captureBusy.store(false, std::memory_order_release);
    }
}

void CCapturePipeline::PrintingLoop() {
    LowerThisThreadsPriority();
    for (;;) {
        const int which = WaitForAny({&m_printingQuit, &m_recordsAdded, &m_showRange});
        if (which == 0) return;
        m_printingBusy.store(true, std::memory_order_release);
        if (which == 1) {
            m_recordsAdded.Reset();
            PrintNew();
        }
        // A range request is served even while records keep arriving.
        if (m_showRange.IsSet()) {
            m_showRange.Reset();
            PrintRange();
        }
        // Going back to waiting: what the log holds so far reaches the file,
        // so a crash loses at most one batch.
        if (const std::string failure = m_log.Flush(); !failure.empty()) AppendNotice(failure);
        m_printingBusy.store(false, std::memory_order_release);
    }
}

OutputSettings CCapturePipeline::SettingsFor(const IoctlFilterSelection& selection,
                                             const CTemplateSnapshot* templates) const {
    OutputSettings settings;
    settings.outputFlags = m_parts.state.OutputFlags();
    settings.inputTemplate = selection.inputTemplate;
    settings.outputTemplate = selection.outputTemplate;
    settings.templates = templates;
    return settings;
}

void CCapturePipeline::ClearResultsLocked() {
    m_parts.sink.ClearText();
    m_printedBlocks.store(0, std::memory_order_relaxed);
}

void CCapturePipeline::AppendNotice(std::string_view text) {
    std::lock_guard sink(m_sinkMutex);
    m_parts.notices.AppendText(text, kNoticeGrey);
}

void CCapturePipeline::ClearResults() {
    std::lock_guard sink(m_sinkMutex);
    ClearResultsLocked();
}

void CCapturePipeline::CloseLogIfCaughtUpLocked() {
    if (m_logClosePending && m_cursor >= m_logCloseAt) {
        m_log.Close();
        m_logClosePending = false;
    }
}

void CCapturePipeline::AppendBlocksLocked(bool range) {
    size_t start = 0;
    for (size_t e : m_blockEnds) {
        if (m_printedBlocks.load(std::memory_order_relaxed) > kClearAfterBlocks) {
            ClearResultsLocked();
        }
        m_parts.sink.AppendText(std::string_view(m_text).substr(start, e - start), kIrpBlockColour);
        m_printedBlocks.fetch_add(1, std::memory_order_relaxed);
        if (range) m_rangeBlocks.fetch_add(1, std::memory_order_relaxed);
        start = e;
    }
}

void CCapturePipeline::ReleaseHeldNoticesLocked() {
    // Notices wait for the blocks of the records taken before them, so they
    // are the last thing printed of what they report.
    auto ready = std::stable_partition(m_heldNotices.begin(), m_heldNotices.end(),
                                       [this](const HeldNotice& n) { return n.at <= m_cursor; });
    for (auto it = m_heldNotices.begin(); it != ready; ++it)
        m_parts.notices.AppendText(it->text, kNoticeGrey);
    m_heldNotices.erase(m_heldNotices.begin(), ready);
}

void CCapturePipeline::PrintNew() {
    for (;;) {
        size_t first = 0, end = 0;
        uint64_t generation = 0;
        {
            std::lock_guard sink(m_sinkMutex);
            first = m_cursor;
            generation = m_cursorGeneration;
        }
        std::optional<int32_t> grown;
        m_text.clear();
        m_blockEnds.clear();
        {
            CRecordList::ReadLock lock(m_parts.records);
            // A reset or a load came in between: read the new cursor.
            if (m_parts.records.Generation() != generation) continue;
            end = std::min(lock.Size(), first + kPrintBatch);
            const auto selection = m_parts.selection.Get();
            const auto templates = m_parts.templates.Get();
            const OutputSettings settings = SettingsFor(*selection, templates.get());
            for (size_t p = first; p < end; ++p) {
                const CIrpRecord& record = *lock.At(p);
                if (auto y = m_parts.axes.GrowY(record.GetLatency())) grown = y;
                if (m_hooks.formatNew)
                    m_hooks.formatNew(record, p, m_text);
                else
                    FormatRecord(record, settings, m_text);
                m_blockEnds.push_back(m_text.size());
            }
        }
        bool caughtUp = false;
        {
            std::lock_guard sink(m_sinkMutex);
            if (first >= end) {
                CloseLogIfCaughtUpLocked();
                ReleaseHeldNoticesLocked();
                caughtUp = true;
            } else if (m_cursorGeneration != generation || m_cursor != first) {
                // The blocks belong to records that a reset or a load removed.
                continue;
            } else {
                if (const std::string failure = m_log.Write(m_text); !failure.empty())
                    m_parts.notices.AppendText(failure, kNoticeGrey);
                AppendBlocksLocked(false);
                m_cursor = end;
                m_printed.store(end, std::memory_order_release);
                CloseLogIfCaughtUpLocked();
                ReleaseHeldNoticesLocked();
            }
        }
        // The view hears of it with no lock held.
        if (grown && m_hooks.onMaxYGrown) m_hooks.onMaxYGrown(*grown);
        if (caughtUp) return;
    }
}

void CCapturePipeline::PrintRange() {
    size_t p = m_rangeFirst.load(std::memory_order_acquire);
    if (m_rangeClearPending.exchange(false)) ClearResults();
    m_rangePending.store(false, std::memory_order_release);
    for (;;) {
        uint64_t generation = 0;
        std::optional<int32_t> grown;
        bool atEnd = false;
        m_text.clear();
        m_blockEnds.clear();
        {
            CRecordList::ReadLock lock(m_parts.records);
            generation = m_parts.records.Generation();
            const auto selection = m_parts.selection.Get();
            const auto templates = m_parts.templates.Get();
            const OutputSettings settings = SettingsFor(*selection, templates.get());
            const bool allDevices = m_parts.state.ShowAllDevices() || m_parts.state.FileLoaded();
            const auto device = m_parts.state.SelectedDevice();
            const bool ioctlFilter = m_parts.state.IoctlFilter();
            for (size_t n = 0; n < kPrintBatch; ++n, ++p) {
                const CIrpRecord* record = nullptr;
                // The bounds are read afresh for every position: a new
                // request stops this display at once.
                if (p >= m_rangeLast.load(std::memory_order_acquire) || !(record = lock.At(p))) {
                    atEnd = true;  // a range past the end stops at the end
                    break;
                }
                if (!RangeTakes(*record, allDevices, device, ioctlFilter, *selection)) continue;
                if (auto y = m_parts.axes.GrowY(record->GetLatency())) grown = y;
                FormatRecord(*record, settings, m_text);
                m_blockEnds.push_back(m_text.size());
            }
        }
        {
            std::lock_guard sink(m_sinkMutex);
            if (m_parts.records.Generation() != generation) return;
            AppendBlocksLocked(true);
        }
        if (grown && m_hooks.onMaxYGrown) m_hooks.onMaxYGrown(*grown);
        if (atEnd) return;
    }
}

void CCapturePipeline::RequestRange(size_t first, size_t last) {
    {
        std::lock_guard lock(m_requestMutex);
        m_requestFirst = first;
        m_requestLast = last;
    }
    m_rangePending.store(true, std::memory_order_release);
    StopRange();
    m_rangeTimer.Start(kRangeDelayMs);
}

void CCapturePipeline::StopRange() {
    m_rangeFirst.store(0, std::memory_order_release);
    m_rangeLast.store(0, std::memory_order_release);
}

void CCapturePipeline::OnRangeTimer() {
    {
        std::lock_guard lock(m_requestMutex);
        m_rangeFirst.store(m_requestFirst, std::memory_order_release);
        m_rangeLast.store(m_requestLast, std::memory_order_release);
    }
    // The pane is cleared on the printing thread, so that it stays in order
    // with the blocks that thread appends.
    m_rangeClearPending.store(true, std::memory_order_release);
    if (!IsRunning()) StartCapture();
    m_showRange.Set();
}

void CCapturePipeline::ShowRecord(long long position) {
    if (position < 0) return;
    RequestRange(static_cast<size_t>(position), static_cast<size_t>(position) + 1);
}

void CCapturePipeline::ShowAllRecords() {
    const size_t n = m_parts.records.Size();
    if (n == 0) return;
    RequestRange(0, n);
}

void CCapturePipeline::AwaitLogClose() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kLogCatchUpMs);
    for (;;) {
        {
            std::lock_guard sink(m_sinkMutex);
            if (!m_logClosePending) return;
        }
        if (std::chrono::steady_clock::now() >= deadline) return;
        m_recordsAdded.Set();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void CCapturePipeline::CloseLogStillPendingLocked() {
    // The old log closes now, never at a position of the records that follow.
    if (m_logClosePending) {
        m_log.Close();
        m_logClosePending = false;
    }
}

void CCapturePipeline::ResetRecords() {
    AwaitLogClose();
    std::lock_guard sink(m_sinkMutex);
    CloseLogStillPendingLocked();
    m_heldNotices.clear();
    m_parts.records.ClearWith([&] {
        m_cursor = 0;
        m_cursorGeneration = m_parts.records.Generation();
        m_printed.store(0, std::memory_order_release);
        ClearResultsLocked();
        m_parts.axes.Reset();
    });
}

void CCapturePipeline::ReplaceRecords(CRecordList& loaded) {
    AwaitLogClose();
    std::lock_guard sink(m_sinkMutex);
    CloseLogStillPendingLocked();
    m_heldNotices.clear();
    m_parts.records.Swap(loaded, [&] {
        m_cursor = m_parts.records.Size();
        m_cursorGeneration = m_parts.records.Generation();
        m_printed.store(m_cursor, std::memory_order_release);
        ClearResultsLocked();
    });
}

void CCapturePipeline::AwaitTakenPass(unsigned timeoutMs) {
    if (!IsRunning()) return;
    // One full drain pass that starts after this call takes what the
    // driver wrote before it: passes end in the order they begin, so the
    // one after those begun so far has ended once that many and one more
    // have.
    const uint64_t before = m_drainStarts.load(std::memory_order_acquire);
    PokeDrain();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const bool passed = m_drainPasses.load(std::memory_order_acquire) >= before + 1;
        if (passed && !m_captureBusy.load(std::memory_order_acquire) &&
            !m_parts.ring.DataReady().IsSet()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void CCapturePipeline::CloseLogAfterTaken(unsigned timeoutMs) {
    EndFilterRun({}, true, timeoutMs);
}

void CCapturePipeline::EndFilterRun(std::string_view notices, bool closeLog, unsigned timeoutMs) {
    AwaitTakenPass(timeoutMs);
    std::lock_guard sink(m_sinkMutex);
    const size_t taken = m_parts.records.Size();
    if (!notices.empty()) {
        if (!IsRunning() || m_cursor >= taken)
            m_parts.notices.AppendText(notices, kNoticeGrey);
        else
            m_heldNotices.push_back(HeldNotice{taken, std::string(notices)});
    }
    if (closeLog) {
        if (!IsRunning()) {
            m_log.Close();
            return;
        }
        m_logCloseAt = taken;
        m_logClosePending = true;
        CloseLogIfCaughtUpLocked();
    }
    if (m_logClosePending || !m_heldNotices.empty()) m_recordsAdded.Set();
}

bool CCapturePipeline::WaitPrinted(unsigned timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const bool idle = !m_recordsAdded.IsSet() && !m_showRange.IsSet() &&
                          !m_rangePending.load(std::memory_order_acquire) &&
                          !m_printingBusy.load(std::memory_order_acquire) &&
                          !m_captureBusy.load(std::memory_order_acquire) &&
                          !m_parts.ring.DataReady().IsSet();
        if (idle && m_printed.load(std::memory_order_acquire) >= m_parts.records.Size())
            return true;
        if (!IsRunning() && m_parts.records.Size() == 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace vantrel
