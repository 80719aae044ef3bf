#include "capture/capture_pipeline.h"

#include <algorithm>
#include <chrono>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "analysis/axis_defaults.h"
#include "catalogue/ioctl_selector.h"
#include "decode/template_snapshot.h"
#include "decode/text_block.h"

namespace vantrel {
namespace {
// Records printed under one hold of the list: large enough to make the
// locking cheap, small enough that a reset never waits long.
constexpr size_t kPrintBatch = 256;
constexpr unsigned kPollPauseUs = 100;

// The printing thread yields to the capture thread: a late drain costs
// records that the driver must drop, a late block costs nothing.
void LowerThisThreadsPriority() {
#ifdef __linux__
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
#endif
}
}  // namespace

CCapturePipeline::CCapturePipeline(CRecordList& records, CDocumentState& document,
                                   IResultsSink& sink, CCaptureRing& ring, PipelineHooks hooks)
    : m_records(records),
      m_document(document),
      m_sink(sink),
      m_ring(ring),
      m_hooks(std::move(hooks)),
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
        m_records.EnablePrefetch();
        m_captureThread = std::thread([this] { CaptureLoop(); });
        m_printingThread = std::thread([this] { PrintingLoop(); });
        m_started.store(true, std::memory_order_release);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kHandOverDelayMs));
    if (m_hooks.handToDriver) m_hooks.handToDriver(m_ring.DataReadyHandle(), m_ring.RingHandle());
}

void CCapturePipeline::CaptureLoop() {
    DrainContext context;
    context.devices = m_hooks.devices;
    context.onDeviceControl = m_hooks.onDeviceControl;
    for (;;) {
        const int which = WaitForAny({&m_captureQuit, &m_ring.DataReady()});
        if (which == 0) return;
        if (which != 1) continue;
        // The event is reset and Signalled cleared before the drain, not
        // after it: a record the driver writes while we drain then sets the
        // event again instead of waiting for the next record to wake us.
        m_captureBusy.store(true, std::memory_order_release);
        m_ring.DataReady().Reset();
        m_ring.SetSignalled(0);
        context.processorSpeed = m_speed.load(std::memory_order_relaxed);
        size_t taken = m_drain.Drain(m_ring, m_records, context);
        m_taken.fetch_add(taken, std::memory_order_relaxed);
        m_recordsAdded.Set();
        // While records keep coming, look at the ring again after a short
        // pause instead of waiting for the next signal: the ring holds only
        // 200 records, and at high rates a wake-up that comes late means
        // records the driver has to drop.
        while (taken > 0 && !m_captureQuit.IsSet()) {
            std::this_thread::sleep_for(std::chrono::microseconds(kPollPauseUs));
            taken = m_drain.Drain(m_ring, m_records, context);
            if (taken) {
                m_taken.fetch_add(taken, std::memory_order_relaxed);
                m_recordsAdded.Set();
            }
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
        m_printingBusy.store(false, std::memory_order_release);
    }
}

OutputSettings CCapturePipeline::SettingsFor(const IoctlFilterSelection& selection,
                                             const CTemplateSnapshot* templates) const {
    OutputSettings settings;
    settings.outputFlags = m_document.OutputFlags();
    settings.inputTemplate = selection.inputTemplate;
    settings.outputTemplate = selection.outputTemplate;
    settings.templates = templates;
    return settings;
}

void CCapturePipeline::ClearResults() {
    m_sink.ClearText();
    PrintedBlockCounter().store(0, std::memory_order_relaxed);
}

void CCapturePipeline::PrintNew() {
    std::vector<size_t>& ends = m_blockEnds;
    for (;;) {
        CRecordList::ReadLock lock(m_records);
        const size_t cursor = m_cursor.load(std::memory_order_relaxed);
        const size_t size = lock.Size();
        if (cursor >= size) return;
        const size_t end = std::min(size, cursor + kPrintBatch);

        const auto selection = CurrentIoctlSelection();
        const auto templates = CurrentTemplates();
        const OutputSettings settings = SettingsFor(*selection, templates.get());

        // Blocks are formatted into one text and handed over block by block;
        // the log gets the same characters in one write per stretch.
        auto flush = [&] {
            m_log.Write(m_text);
            size_t start = 0;
            for (size_t e : ends) {
                m_sink.AppendText(std::string_view(m_text).substr(start, e - start),
                                  kIrpBlockColour);
                start = e;
            }
            m_text.clear();
            ends.clear();
        };
        for (size_t p = cursor; p < end; ++p) {
            if (PrintedBlockCounter().load(std::memory_order_relaxed) > kClearAfterBlocks) {
                flush();
                ClearResults();
            }
            FormatRecord(*lock.At(p), settings, m_text);
            ends.push_back(m_text.size());
        }
        flush();
        m_cursor.store(end, std::memory_order_release);
    }
}

bool CCapturePipeline::Selected(const CIrpRecord& record, bool ioctlFilter,
                                const IoctlFilterSelection& selection, bool allDevices,
                                std::optional<uint32_t> device) const {
    if (!allDevices) {
        // No device row selected: there is nothing to compare with, and no
        // record passes.
        if (!device || record.GetDeviceObject() != *device) return false;
    }
    return !ioctlFilter || IoctlFilterTest(record, true, selection);
}

void CCapturePipeline::PrintRange() {
    size_t p = m_rangeFirst.load(std::memory_order_acquire);
    for (bool first = true;; first = false) {
        CRecordList::ReadLock lock(m_records);
        if (first) {
            if (m_rangeClearPending.exchange(false)) ClearResults();
            m_rangePending.store(false, std::memory_order_release);
        }
        const auto selection = CurrentIoctlSelection();
        const auto templates = CurrentTemplates();
        const OutputSettings settings = SettingsFor(*selection, templates.get());
        const bool allDevices = m_document.ShowAllDevices() || m_document.FileLoaded();
        const std::optional<uint32_t> device = m_document.SelectedDevice();
        const bool ioctlFilter = m_document.IoctlFilter();

        for (size_t n = 0; n < kPrintBatch; ++n, ++p) {
            if (p >= m_rangeLast.load(std::memory_order_acquire)) return;
            if (PrintedBlockCounter().load(std::memory_order_relaxed) > kClearAfterBlocks) {
                ClearResults();
            }
            const CIrpRecord* record = lock.At(p);
            if (!record) return;  // a range past the end stops at the end
            if (!Selected(*record, ioctlFilter, *selection, allDevices, device)) {
                continue;
            }
            m_text.clear();
            FormatRecord(*record, settings, m_text);
            m_sink.AppendText(m_text, kIrpBlockColour);
            m_rangeBlocks.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

void CCapturePipeline::RequestRange(size_t first, size_t last) {
    {
        std::lock_guard lock(m_requestMutex);
        m_requestFirst = first;
        m_requestLast = last;
    }
    m_rangePending.store(true, std::memory_order_release);
    // A display in progress stops before its next position.
    m_rangeFirst.store(0, std::memory_order_release);
    m_rangeLast.store(0, std::memory_order_release);
    m_rangeTimer.Start(kRangeDelayMs);
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
    const size_t n = m_records.Size();
    if (n == 0) return;
    RequestRange(0, n);
}

CCapturePipeline::RangeFields CCapturePipeline::ViewRangeDefaults() const {
    const long long n = static_cast<long long>(m_records.Size());
    return {n <= 1000 ? 1 : n - 1000, n};
}

bool CCapturePipeline::ShowRangeFromDialog(long long start, long long end) {
    const long long n = static_cast<long long>(m_records.Size());
    if (start < 1) return false;
    const long long last = std::min(end, n);
    if (last < start - 1) return false;
    RequestRange(static_cast<size_t>(start - 1), static_cast<size_t>(last));
    return true;
}

void CCapturePipeline::ResetCapture() {
    if (m_hooks.clearIoctlSelector) m_hooks.clearIoctlSelector();
    // The printing thread calls the sink only while it holds the list, so
    // clearing the pane under the list's exclusive lock keeps the sink's
    // calls in order: blocks printed before are cleared, notices written
    // after the reset stay.
    m_records.ClearWith([&] {
        m_cursor.store(0, std::memory_order_relaxed);
        ClearResults();
    });
    m_document.SetFileLoaded(false);
    CAxisDefaults::Instance().Reset();
    if (m_hooks.resetGraph) m_hooks.resetGraph();
    if (m_hooks.refreshCurrentView) m_hooks.refreshCurrentView();
    if (m_hooks.resetTitle) m_hooks.resetTitle();
}

void CCapturePipeline::MarkAllPrinted() {
    CRecordList::ReadLock lock(m_records);
    m_cursor.store(lock.Size(), std::memory_order_release);
}

bool CCapturePipeline::WaitPrinted(unsigned timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const bool idle = !m_recordsAdded.IsSet() && !m_showRange.IsSet() &&
                          !m_rangePending.load(std::memory_order_acquire) &&
                          !m_printingBusy.load(std::memory_order_acquire) &&
                          !m_captureBusy.load(std::memory_order_acquire) &&
                          !m_ring.DataReady().IsSet();
        if (idle && m_cursor.load(std::memory_order_acquire) >= m_records.Size()) return true;
        if (!IsRunning() && m_records.Size() == 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace vantrel
