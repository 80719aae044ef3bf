#pragma once
// The capture pipeline: the capture thread drains the driver's ring into the
// record list, the printing thread turns new records into text blocks for
// the results sink and the log file, and re-prints ranges of the list on
// request. The threads start once and run until the pipeline is destroyed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_ring.h"
#include "capture/delayed_call.h"
#include "capture/drain.h"
#include "capture/log_file.h"
#include "record/record_list.h"
#include "capture/results_sink.h"
#include "decode/template_snapshot.h"
#include "decode/text_block.h"
#include "platform/event.h"
#include "document/document_state.h"

namespace vantrel {

// What the pipeline asks of the rest of the program. Every member may be
// empty. The window steps run on the thread that calls ResetCapture.
struct PipelineHooks {
    // Hands the ring and the data-ready event to the driver (IOCTL_SETMODE,
    // then IOCTL_INITBUFF); called once, 100 ms after the threads start.
    std::function<void(uint32_t eventHandle, uint32_t ringHandle)> handToDriver;
    // The device list, for the texts of each record (may be null).
    const IDeviceDirectory* devices = nullptr;
    // Each new IRP_MJ_DEVICE_CONTROL record, on the capture thread (the IOCTL
    // selector learns its IOCTL). The record is valid only during the call.
    std::function<void(const CIrpRecord&, uint64_t generation)> onDeviceControl;
    // Steps of ResetCapture that belong to windows.
    std::function<void()> clearIoctlSelector;
    std::function<void()> resetGraph;
    std::function<void()> refreshCurrentView;
    std::function<void()> resetTitle;
};

class CCapturePipeline {
public:
    static constexpr uint32_t kClearAfterBlocks = 250;
    static constexpr unsigned kRangeDelayMs = 200;
    static constexpr unsigned kHandOverDelayMs = 100;

    CCapturePipeline(CRecordList& records, CDocumentState& document, IResultsSink& sink,
                     CCaptureRing& ring, PipelineHooks hooks);
    // Sets both quit events and joins the threads; closes an open log file.
    ~CCapturePipeline();
    CCapturePipeline(const CCapturePipeline&) = delete;
    CCapturePipeline& operator=(const CCapturePipeline&) = delete;

    // Starts both threads (once), waits 100 ms and hands the ring to the
    // driver. A second call does nothing.
    void StartCapture();
    bool IsRunning() const { return m_started.load(std::memory_order_acquire); }

    // Empties everything before a new filter run.
    void ResetCapture();

    // Range displays. A request is shown 200 ms after the last request of a
    // burst; a range display in progress stops at the next request.
    void RequestRange(size_t first, size_t last);
    // Position < 0 does nothing; otherwise the range [position, position+1).
    void ShowRecord(long long position);
    // [0, number of records); nothing for an empty list.
    void ShowAllRecords();
    // The View IRP Range dialog's initial fields.
    struct RangeFields {
        long long start = 1;
        long long end = 0;
    };
    RangeFields ViewRangeDefaults() const;
    // The dialog's OK: requests [start - 1, min(end, number of records)).
    // False (nothing requested) for a range that means nothing.
    bool ShowRangeFromDialog(long long start, long long end);

    void SetProcessorSpeed(uint32_t speed) { m_speed.store(speed, std::memory_order_relaxed); }
    CLogFile& Log() { return m_log; }

    // Records taken from the ring since the pipeline was made.
    uint64_t RecordsTaken() const { return m_taken.load(std::memory_order_relaxed); }
    // Blocks printed by range displays (not by the new-record path).
    uint64_t RangeBlocksPrinted() const { return m_rangeBlocks.load(std::memory_order_relaxed); }
    // Waits until the printing thread has printed every record on the list
    // and no range display is pending; false on time-out.
    bool WaitPrinted(unsigned timeoutMs);
    // After a test file replaced the list: its records are not new records
    // (range displays show them), so the new-record path starts past them.
    void MarkAllPrinted();
    // Asks the capture thread to drain now (as if the driver had signalled).
    void PokeDrain() { m_ring.DataReady().Set(); }

private:
    void CaptureLoop();
    void PrintingLoop();
    void PrintNew();
    void PrintRange();
    void ClearResults();
    void OnRangeTimer();
    bool Selected(const CIrpRecord& record, bool ioctlFilter, const IoctlFilterSelection& selection,
                  bool allDevices, std::optional<uint32_t> device) const;
    OutputSettings SettingsFor(const IoctlFilterSelection& selection,
                               const CTemplateSnapshot* templates) const;

    CRecordList& m_records;
    CDocumentState& m_document;
    IResultsSink& m_sink;
    CCaptureRing& m_ring;
    PipelineHooks m_hooks;
    CLogFile m_log;
    CRingDrain m_drain;

    CEvent m_recordsAdded;
    CEvent m_showRange;
    CEvent m_captureQuit;
    CEvent m_printingQuit;

    std::mutex m_startMutex;
    std::atomic<bool> m_started{false};
    bool m_stopping = false;  // under m_startMutex
    std::thread m_captureThread;
    std::thread m_printingThread;

    std::atomic<uint32_t> m_speed{0};
    std::atomic<size_t> m_cursor{0};
    std::atomic<bool> m_rangeClearPending{false};
    std::atomic<size_t> m_rangeFirst{0};
    std::atomic<size_t> m_rangeLast{0};
    std::mutex m_requestMutex;
    size_t m_requestFirst = 0;
    size_t m_requestLast = 0;
    std::atomic<bool> m_rangePending{false};
    std::atomic<uint64_t> m_taken{0};
    std::atomic<uint64_t> m_rangeBlocks{0};
    std::atomic<bool> m_printingBusy{false};
    std::atomic<bool> m_captureBusy{false};

    std::string m_text;              // printing thread only
    std::vector<size_t> m_blockEnds;  // printing thread only: where each block of m_text ends
    CDelayedCall m_rangeTimer;
};

}  // namespace vantrel
