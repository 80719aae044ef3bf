#pragma once
// CVantrelDoc: the one object that owns a run. It holds the driver link and
// ProcessorSpeed, the device list, the capture ring, the record list, the
// capture pipeline with its threads and log file, the filter control, the
// catalogue with its template snapshot, the IOCTL filter selection, the
// axis defaults and filter ticks, and the document's flags. There is no
// other mutable state: two documents in one process never see each other.
//
// The desktop program, the CLI, the benchmarks and the tests all build a
// capture the same way: create a document with its services, call
// OnNewDocument, then its operations. Operations are called from one thread
// (the GUI thread in the desktop program); windows hear back through
// IDocumentView.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/axis_defaults.h"
#include "analysis/graph_refresh.h"
#include "analysis/record_selection.h"
#include "capture/capture_pipeline.h"
#include "capture/capture_ring.h"
#include "capture/device_list.h"
#include "capture/document_state.h"
#include "capture/driver_link.h"
#include "capture/filter_control.h"
#include "catalogue/catalogue.h"
#include "decode/template_snapshot.h"
#include "document/prompts.h"
#include "document/settings.h"
#include "document/views.h"
#include "export/export_file.h"
#include "platform/debug_output.h"
#include "platform/published.h"
#include "platform/tick.h"
#include "record/driver_device.h"
#include "record/record_list.h"
#include "record/test_file.h"

namespace vantrel {

// How the document finds its catalogue at creation.
enum class CataloguePolicy {
    // "Vantrel.db" in the current directory, else ask the user for a file
    // (the desktop program). Cancelling, or a file that cannot be opened,
    // fails document creation.
    DefaultOrAsk,
    // Only the given path, and only when one is given (the CLI opens a
    // catalogue only for templates). A path that cannot be opened fails.
    PathIfGiven,
};

struct DocumentServices {
    DriverOpener openDriver;             // opens "\\.\KLAVDRIVER"
    IPrompts* prompts = nullptr;         // message boxes and file dialogs (required)
    ISettingsStore* settings = nullptr;  // null: no settings are read or written
    IResultsSink* results = nullptr;     // the results pane (required)
    IResultsSink* notices = nullptr;     // the grey notices; null: the results pane
    IDocumentView* view = nullptr;       // may be set later with SetView
    CataloguePolicy catalogue = CataloguePolicy::DefaultOrAsk;
    std::string cataloguePath;  // for PathIfGiven
    // The machine the driver runs on, when it is another one ("host:port"):
    // the title names it while no test file is open.
    std::string driverHost;
    // Formats newly arrived records instead of text blocks (the CLI's JSON
    // Lines); empty: text blocks.
    std::function<void(const CIrpRecord&, size_t index, std::string& out)> formatNew;
    // The tick count and local time (records, filter ticks, the log file's
    // name); null: the machine's clock. Must outlive the document.
    const IClock* clock = nullptr;
    // Where the debugger-output lines of the driver link, the capture thread
    // and the log file go; by default stderr.
    CDebugOutput debugOutput;
};

class CVantrelDoc {
public:
    explicit CVantrelDoc(DocumentServices services);
    // Stops the threads, stores "filter" and "params" (only when creation
    // read them), closes the driver, then releases the catalogue; the ring
    // is freed last, after the driver can no longer write into it.
    ~CVantrelDoc();
    CVantrelDoc(const CVantrelDoc&) = delete;
    CVantrelDoc& operator=(const CVantrelDoc&) = delete;

    void SetView(IDocumentView* view) { m_view = view; }

    // Document creation: opens the driver (failure: string 61452, false),
    // IOCTL_SETUPFILTERS, IOCTL_PROCSPEED, the catalogue by its policy
    // (failure: false), then "filter" and "params". The program ends when
    // this fails.
    bool OnNewDocument();
    // Fills the device list (the pane's first update): states -1/-4 and -2
    // show strings 61447 and 61448. False when a request failed.
    bool FillDeviceList();

    // --- IRP Monitor page -------------------------------------------------
    // LogFileFailed: the log file could not be created and the user chose
    // not to capture without it; nothing changed.
    enum class AddOutcome { Added, NoIrpSelected, NoDeviceSelected, LogFileFailed };
    // Add filter for the rows (device list order) and the IRP mask: the
    // checks with strings 61451 and 61462, the log file when `logToFile`,
    // ResetCapture, the filter ticks, the threads, one IOCTL_ACTIVATE_FILTER
    // per row. The log file is created before the reset: when it cannot be,
    // the user is asked (LogFileQuestion) whether to capture without it.
    AddOutcome AddFilter(uint32_t mask, const std::vector<size_t>& rows, bool logToFile);
    // The question asked when the log file `name` cannot be created.
    static std::string LogFileQuestion(const std::string& name);
    // Update selection: the mask on the rows only (61451 for an empty mask).
    bool UpdateSelection(uint32_t mask, const std::vector<size_t>& rows);
    // Remove filter: stop tick, every filtered row, the log file closed once
    // everything taken so far is written, then ShowSelectedDeviceMask.
    void RemoveFilter();
    // Button 1002: Remove when a filter is active, else Add. Returns whether
    // "Update Selection" is enabled afterwards; nothing when the user
    // declined to capture without the log file (the button stays as it is).
    std::optional<bool> AddRemoveFilter(uint32_t mask, const std::vector<size_t>& rows,
                                        bool logToFile);
    // The IRP list shows the selected row's mask; nothing without a row.
    void ShowSelectedDeviceMask();
    // The IRP list shows this row's mask (none when out of range).
    void ShowDeviceMask(size_t row);

    // --- Device list ------------------------------------------------------
    const CDeviceList& Devices() const { return m_devices; }
    // The user selected `row`: SelectedDevice, a refresh in selected-device
    // mode without a loaded test, the row's mask while filtering.
    void OnDeviceSelected(size_t row);

    // --- Commands ----------------------------------------------------------
    // File New: ResetCapture.
    void New();
    // Empties everything before a new filter run or a new test.
    void ResetCapture();
    // File Open: 61464 while filtering, the file dialog, the load. False
    // when nothing was opened.
    bool Open();
    // The load of a named file (Open, and the command line): 61454 when the
    // file cannot be read, the loader's one-line reason when it is not a
    // test file. On success the title names the file and "path" holds it.
    bool OpenFile(const std::string& path);
    // File Save As: the file dialog, the store (61454 on failure), title and
    // "path". False when nothing was saved.
    bool SaveAs();
    bool SaveFile(const std::string& path);
    // When the program is told to end (SIGTERM, SIGHUP): a capture made
    // since the last New, Open or Save is kept as StoreUnsavedTest keeps it.
    // The path it went to, or empty (nothing to keep, or `error` says why
    // it could not be kept).
    std::string KeepUnsavedCapture(std::string& error);
    // File Export: the records the current data scope and IOCTL filter
    // take, in list order, to `path` as CSV or JSON Lines. The file appears
    // only when complete; a cancel or a failure leaves none (`error` then
    // names the path and the reason).
    ExportOutcome ExportRecords(const std::string& path, ExportFormat format,
                                ExportProgress progress, std::string* error) const;
    // ".jsonl" or ".json" (any case) for JSON Lines, CSV otherwise.
    static ExportFormat ExportFormatForPath(const std::string& path);

    // Refresh: the current view (the frame re-prints with Auto-Update).
    void RefreshCurrentView();
    // Re-prints every record (Auto-Update's part of a refresh).
    void ShowAllRecords() { m_pipeline->ShowAllRecords(); }
    void ShowRecord(long long position) { m_pipeline->ShowRecord(position); }
    void StopRange() { m_pipeline->StopRange(); }
    // Clear: the results pane and the printed-block count.
    void ClearResults() { m_pipeline->ClearResults(); }
    // Makes memory ready for the next `records` records (a capture that
    // knows its length), so that none has to be handed out while it runs.
    void ReserveRecords(size_t records) { m_records.Reserve(records); }

    // View IRP Range: the dialog's two texts ("%i": 1 or N - 1000, and N).
    struct RangeTexts {
        std::string start, end;
    };
    RangeTexts ViewRangeProposal() const;
    // The dialog's OK: each text converted as strtol does (no digits: 0);
    // start < 1 or end < start shows 61461 and returns false (the dialog
    // stays open); otherwise [start - 1, min(end, N)) is re-printed.
    bool RequestViewRange(const std::string& startText, const std::string& endText);

    // Data scope (View > Data) and output fields (Output Properties).
    void SetShowAllDevices(bool all);
    void SetOutputFlags(uint32_t flags) { m_state.SetOutputFlags(flags); }
    // The IOCTL selector's choices, for the printing thread and the views.
    void PublishIoctlSelection(IoctlFilterSelection selection) {
        m_selection.Set(std::move(selection));
    }
    void SetIoctlFilter(bool on) { m_state.SetIoctlFilter(on); }
    void PublishTemplates(std::shared_ptr<const CTemplateSnapshot> t) {
        m_templates.Set(std::move(t));
    }

    // --- State --------------------------------------------------------------
    const CDocumentState& State() const { return m_state; }
    const CAxisDefaults& Axes() const { return m_axes; }
    const CRecordList& Records() const { return m_records; }
    uint64_t RecordGeneration() const { return m_records.Generation(); }
    size_t RecordCount() const { return m_records.Size(); }
    std::shared_ptr<const IoctlFilterSelection> IoctlSelection() const { return m_selection.Get(); }
    std::shared_ptr<const CTemplateSnapshot> Templates() const { return m_templates.Get(); }
    CCatalogue& Catalogue() { return m_catalogue; }
    uint32_t ProcessorSpeed() const { return m_link.ProcessorSpeed(); }
    // The clock the document was given (or the machine's).
    const IClock& Clock() const { return m_clock; }
    const std::string& Title() const { return m_title; }
    // The full path of the test file last opened or saved; empty for a new test.
    const std::string& PathName() const { return m_pathName; }
    // The records the views take now: the data scope (a loaded test shows
    // every device), the selected device, the IOCTL filter and its choice.
    RecordSelection CurrentRecordSelection() const;
    // The filter's start and stop ticks (stop 0 while a filter is active).
    FilterTicks CurrentFilterTicks() const {
        return {m_axes.FilterStartTick(), m_axes.FilterStopTick()};
    }
    // The header a Save As writes: default maximum Y and the filter ticks.
    TestFileHeader CurrentHeader() const;
    CCapturePipeline& Pipeline() { return *m_pipeline; }
    bool LogToFileOpen() const { return m_pipeline->Log().IsLogging(); }
    // IOCTL_ACTIVATE_FILTER requests the driver refused so far.
    size_t FailedFilterRequests() const { return m_filters->FailedRequests(); }

private:
    bool OpenCatalogue();
    void SetTitle(std::string title);
    std::string UntitledTitle() const;
    void OfferDeviceControls();
    std::vector<const CDeviceObjectInfo*> RowsAt(const std::vector<size_t>& rows) const;
    void Message(uint32_t id);

    DocumentServices m_services;
    const IClock& m_clock;
    IDocumentView* m_view;
    IDocumentView m_noView;
    IDocumentView& View() { return m_view ? *m_view : m_noView; }

    // The ring outlives the link (declared first, destroyed last): the
    // driver may write into it until its handle is closed.
    CCaptureRing m_ring;
    CDriverLink m_link;
    CCatalogue m_catalogue;
    CDocumentState m_state;
    CAxisDefaults m_axes;
    CPublished<IoctlFilterSelection> m_selection;
    CPublished<CTemplateSnapshot> m_templates;
    CDeviceList m_devices;
    CDeviceListDirectory m_directory{m_devices};
    CRecordList m_records;
    std::unique_ptr<CCapturePipeline> m_pipeline;
    std::unique_ptr<CFilterControl> m_filters;
    std::string m_title;
    std::string m_pathName;
    bool m_captureUnsaved = false;  // records captured since the last New, Open or Save
    bool m_settingsRead = false;

    // Capture thread only: the IOCTLs already reported for one generation.
    uint64_t m_seenGeneration = 0;
    std::vector<std::pair<uint32_t, std::string>> m_seenIoctls;
};

}  // namespace vantrel
