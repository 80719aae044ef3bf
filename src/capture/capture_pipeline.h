#pragma once
// The capture pipeline: the capture thread drains the driver's ring into the
// record list, the printing thread turns new records into text blocks for
// the results sink and the log file, and re-prints ranges of the list on
// request. The threads start once and run until the pipeline is destroyed.
//
// Thread contract:
//  - the capture thread alone appends to the record list;
//  - the printing thread formats under the list's read lock, then hands the
//    blocks to the sink and the log under the sink mutex, with no list lock
//    held, and drops them when the list was cleared or replaced meanwhile
//    (its generation changed), so a reset never shows stale blocks;
//  - every clear of the results, every reset and every replacement of the
//    list takes the sink mutex first, then the list's exclusive lock: the
//    sink sees its calls in one order and the new-record cursor always
//    belongs to the list it points into;
//  - hooks are called with no lock held; they must not wait for the GUI
//    thread (the sink never blocks its caller).

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/axis_defaults.h"
#include "capture/capture_ring.h"
#include "capture/delayed_call.h"
#include "capture/document_state.h"
#include "capture/drain.h"
#include "capture/log_file.h"
#include "capture/results_sink.h"
#include "decode/template_snapshot.h"
#include "decode/text_block.h"
#include "platform/debug_output.h"
#include "platform/event.h"
#include "platform/published.h"
#include "platform/tick.h"
#include "record/record_list.h"

namespace vantrel {

// What the pipeline reads and writes that belongs to its owner (the
// document). Everything must outlive the pipeline.
struct PipelineParts {
    CRecordList& records;
    CDocumentState& state;
    CAxisDefaults& axes;
    const CPublished<IoctlFilterSelection>& selection;
    const CPublished<CTemplateSnapshot>& templates;
    IResultsSink& sink;
    // Where the grey notices go: usually the same sink.
    IResultsSink& notices;
    CCaptureRing& ring;
};

// What the pipeline asks of the rest of the program. Every member may be
// empty.
struct PipelineHooks {
    // Hands the ring and the data-ready event to the driver (IOCTL_SETMODE,
    // then IOCTL_INITBUFF); called once, 100 ms after the threads start.
    std::function<void(uint32_t eventHandle, uint32_t ringHandle)> handToDriver;
    // The device list, for the texts of each record (may be null).
    const IDeviceDirectory* devices = nullptr;
    // Each new IRP_MJ_DEVICE_CONTROL record's IOCTL code and object name,
    // with the list generation it belongs to; on the capture thread, after
    // the record is on the list.
    std::function<void(uint32_t code, std::string_view objectName, uint64_t generation)>
        onDeviceControl;
    // The graph's default maximum Y grew to this value (printing thread).
    std::function<void(int32_t maxY)> onMaxYGrown;
    // Formats a newly arrived record instead of its text block (the CLI's
    // JSON Lines); `index` is its position in the list. Range displays
    // always print text blocks.
    std::function<void(const CIrpRecord&, size_t index, std::string& out)> formatNew;
    // The records' tick counts, and the debugger output of the capture
    // thread, the drain and the log file.
    const IClock* clock = &SystemClock();
    CDebugOutput debug;
};

class CCapturePipeline {
public:
    static constexpr uint32_t kClearAfterBlocks = 250;
    static constexpr unsigned kRangeDelayMs = 200;
    static constexpr unsigned kHandOverDelayMs = 100;

    CCapturePipeline(PipelineParts parts, PipelineHooks hooks);
    // Sets both quit events and joins the threads; closes an open log file.
    ~CCapturePipeline();
    CCapturePipeline(const CCapturePipeline&) = delete;
    CCapturePipeline& operator=(const CCapturePipeline&) = delete;

    // Starts both threads (once), waits 100 ms and hands the ring to the
    // driver. A second call does nothing.
    void StartCapture();
    bool IsRunning() const { return m_started.load(std::memory_order_acquire); }

    // The record-list half of a reset: empties the list, the results and
    // the printed-block count, rewinds the new-record cursor and resets the
    // axis maxima, in one step. A log that a removal is still closing gets
    // its remaining records first (the printing thread is given up to
    // kLogCatchUpMs), then closes; so does ReplaceRecords.
    void ResetRecords();
    // Replaces the record list with `loaded` (a test file) and moves the
    // new-record cursor past its records in the same step: loaded records
    // are shown only through range displays, never printed or logged as new.
    // The results are cleared; `loaded` receives the old records.
    void ReplaceRecords(CRecordList& loaded);
    // Clears the results pane and the printed-block count (the Clear command).
    void ClearResults();
    // A grey notice, in order with the printed blocks and the clears.
    void AppendNotice(std::string_view text);

    // Range displays. A request is shown 200 ms after the last request of a
    // burst; a range display in progress stops at the next request.
    void RequestRange(size_t first, size_t last);
    // Position < 0 does nothing; otherwise the range [position, position+1).
    void ShowRecord(long long position);
    // [0, number of records); nothing for an empty list.
    void ShowAllRecords();
    // Stops a range display at its next record (the main window's close).
    void StopRange();

    // The log file of a filter run. Opening happens on the caller's thread;
    // the printing thread writes every new record's block to it.
    CLogFile& Log() { return m_log; }
    // Remove filter: takes what the driver has already written into the
    // ring, then closes the log once the printing thread has written every
    // record taken so far (at once when it has). Waits at most `timeoutMs`
    // for the capture thread's drain, never for the GUI thread.
    void CloseLogAfterTaken(unsigned timeoutMs = 500);
    // The end of a filter run (Remove filter, after the driver was told):
    // takes what the driver has already written, as CloseLogAfterTaken
    // does, then shows `notices` (grey) right after the blocks of every
    // record taken so far, so that they are the last thing the run prints;
    // and closes the log there when `closeLog`. A reset or a load before
    // then drops the notices with the results they follow.
    void EndFilterRun(std::string_view notices, bool closeLog, unsigned timeoutMs = 500);
    // How long a reset waits for the printing thread to finish a log that a
    // removal is closing.
    static constexpr unsigned kLogCatchUpMs = 10000;

    void SetProcessorSpeed(uint32_t speed) { m_speed.store(speed, std::memory_order_relaxed); }

    // Records taken from the ring since the pipeline was made.
    uint64_t RecordsTaken() const { return m_taken.load(std::memory_order_relaxed); }
    // Blocks printed by range displays (not by the new-record path).
    uint64_t RangeBlocksPrinted() const { return m_rangeBlocks.load(std::memory_order_relaxed); }
    // Blocks given to the sink since it was last cleared.
    uint32_t PrintedBlockCount() const { return m_printedBlocks.load(std::memory_order_relaxed); }
    // Waits until the printing thread has printed every record on the list
    // and no range display is pending; false on time-out.
    bool WaitPrinted(unsigned timeoutMs);
    // Asks the capture thread to drain now (as if the driver had signalled).
    void PokeDrain() { m_parts.ring.DataReady().Set(); }

private:
    void CaptureLoop();
    void PrintingLoop();
    size_t DrainOnce(DrainContext& context);
    void PrintNew();
    void PrintRange();
    // Hands the blocks of m_text to the sink, clearing it every 250 blocks.
    void AppendBlocksLocked(bool range);
    void ReleaseHeldNoticesLocked();
    void AwaitTakenPass(unsigned timeoutMs);
    void ClearResultsLocked();
    void OnRangeTimer();
    OutputSettings SettingsFor(const IoctlFilterSelection& selection,
                               const CTemplateSnapshot* templates) const;
    void CloseLogIfCaughtUpLocked();
    // Before the list changes under a log that a removal is still closing
    // (Remove then Add, New or Open at once): the printing thread gets up to
    // kLogCatchUpMs to write the records left for it, without the sink lock
    // held; whatever is still pending then closes under that lock.
    void AwaitLogClose();
    void CloseLogStillPendingLocked();

    PipelineParts m_parts;
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

    // Order of the sink's calls, the cursor and the log's closing.
    std::mutex m_sinkMutex;
    size_t m_cursor = 0;             // under m_sinkMutex: next record to print as new
    uint64_t m_cursorGeneration;     // under m_sinkMutex: the list generation m_cursor is of
    size_t m_logCloseAt = 0;         // under m_sinkMutex: close the log at this cursor
    bool m_logClosePending = false;  // under m_sinkMutex
    struct HeldNotice {
        size_t at;  // shown once the cursor reaches this position
        std::string text;
    };
    std::vector<HeldNotice> m_heldNotices;  // under m_sinkMutex
    std::atomic<size_t> m_printed{0};       // m_cursor, for WaitPrinted
    std::atomic<uint32_t> m_printedBlocks{0};

    std::atomic<uint32_t> m_speed{0};
    std::atomic<bool> m_rangeClearPending{false};
    std::atomic<size_t> m_rangeFirst{0};
    std::atomic<size_t> m_rangeLast{0};
    std::mutex m_requestMutex;
    size_t m_requestFirst = 0;
    size_t m_requestLast = 0;
    std::atomic<bool> m_rangePending{false};
    std::atomic<uint64_t> m_taken{0};
    std::atomic<uint64_t> m_drainStarts{0};  // drain passes begun
    std::atomic<uint64_t> m_drainPasses{0};  // drain passes ended (in the order begun)
    std::atomic<uint64_t> m_rangeBlocks{0};
    std::atomic<bool> m_printingBusy{false};
    std::atomic<bool> m_captureBusy{false};

    // Printing thread only.
    std::string m_text;
    std::vector<size_t> m_blockEnds;  // where each block of m_text ends
    // Capture thread only: device controls of the last drain.
    std::vector<std::pair<uint32_t, CText>> m_deviceControls;
    CDelayedCall m_rangeTimer;
};

}  // namespace vantrel
