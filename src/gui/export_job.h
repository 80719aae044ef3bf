#pragma once
// CExportJob: one File Export on a worker thread. The GUI thread starts it
// and reads its progress with a timer; the worker never waits for the GUI
// thread and never touches a widget. Cancel is a flag the worker reads
// between steps of the export.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "export/export_file.h"

namespace vantrel {

class CExportJob {
public:
    // Runs `work` on a new thread, giving it the progress callback that
    // records the figures and answers the cancel flag.
    using Work = std::function<ExportOutcome(ExportProgress progress, std::string* error)>;
    explicit CExportJob(Work work);
    // Cancels and joins: the frame may close while an export runs.
    ~CExportJob();
    CExportJob(const CExportJob&) = delete;
    CExportJob& operator=(const CExportJob&) = delete;

    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    bool Finished() const { return m_finished.load(std::memory_order_acquire); }
    // The share written so far, 0 to `steps`.
    int Progress(int steps) const;
    // After Finished: joins the thread, then the outcome and its error text.
    ExportOutcome Outcome(std::string* error);

private:
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_finished{false};
    std::atomic<size_t> m_done{0};
    std::atomic<size_t> m_total{0};
    ExportOutcome m_outcome = ExportOutcome::Failed;  // written by the worker before m_finished
    std::string m_error;                              // likewise
    std::thread m_thread;
};

}  // namespace vantrel
