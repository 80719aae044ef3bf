#include "gui/export_job.h"

#include <algorithm>

namespace vantrel {

CExportJob::CExportJob(Work work) {
    m_thread = std::thread([this, work = std::move(work)] {
        ExportProgress progress = [this](size_t done, size_t total) {
            m_total.store(total, std::memory_order_relaxed);
            m_done.store(done, std::memory_order_relaxed);
            return !m_cancel.load(std::memory_order_relaxed);
        };
        std::string error;
        const ExportOutcome outcome = work(std::move(progress), &error);
        m_outcome = outcome;
        m_error = std::move(error);
        m_finished.store(true, std::memory_order_release);
    });
}

CExportJob::~CExportJob() {
    Cancel();
    if (m_thread.joinable()) m_thread.join();
}

int CExportJob::Progress(int steps) const {
    const size_t total = m_total.load(std::memory_order_relaxed);
    const size_t done = m_done.load(std::memory_order_relaxed);
    if (total == 0) return 0;
    return static_cast<int>(static_cast<double>(std::min(done, total)) * steps /
                            static_cast<double>(total));
}

ExportOutcome CExportJob::Outcome(std::string* error) {
    if (m_thread.joinable()) m_thread.join();
    if (error) *error = m_error;
    return m_outcome;
}

}  // namespace vantrel
