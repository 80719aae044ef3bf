#include <QApplication>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "document/document.h"
#include "gui/command_table.h"
#include "gui/device_list_view.h"
#include "gui/dialog_runner.h"
#include "gui/export_job.h"
#include "gui/graph_view_page.h"
#include "gui/help_window.h"
#include "gui/ioctl_catalogue_windows.h"
#include "gui/irp_monitor_page.h"
#include "gui/main_frame.h"
#include "gui/results_pane.h"
#include "gui/small_dialogs.h"
#include "gui/statistics_page.h"
#include "gui/tab_view.h"

namespace vantrel {
namespace {
// The progress dialog's scale.
constexpr int kExportSteps = 1000;
}  // namespace

const CMainFrame::Handler CMainFrame::kHandlers[] = {
    {cmd::kNew, &CMainFrame::OnNew},
    {cmd::kOpen, &CMainFrame::OnOpen},
    {cmd::kSaveAs, &CMainFrame::OnSaveAs},
    {cmd::kExport, &CMainFrame::OnExport},
    {cmd::kExit, &CMainFrame::OnExit},
    {cmd::kUndo, &CMainFrame::OnUndo},
    {cmd::kCut, &CMainFrame::OnCut},
    {cmd::kCopy, &CMainFrame::OnCopy},
    {cmd::kPaste, &CMainFrame::OnPaste},
    {cmd::kToolbar, &CMainFrame::OnToggleToolBar},
    {cmd::kStatusBar, &CMainFrame::OnToggleStatusBar},
    {cmd::kIoctlSelector, &CMainFrame::OnIoctlSelector},
    {cmd::kIoctlTemplates, &CMainFrame::OnIoctlTemplates},
    {cmd::kSelectedDevice, &CMainFrame::OnSelectedDevice},
    {cmd::kAllDevices, &CMainFrame::OnAllDevices},
    {cmd::kOutputProperties, &CMainFrame::OnOutputProperties},
    {cmd::kViewDataRange, &CMainFrame::OnViewDataRange},
    {cmd::kAutoUpdate, &CMainFrame::OnAutoUpdate},
    {cmd::kLogToFile, &CMainFrame::OnLogToFile},
    {cmd::kClear, &CMainFrame::OnClear},
    {cmd::kGraphProperties, &CMainFrame::OnGraphProperties},
    {cmd::kRefresh, &CMainFrame::OnRefresh},
    {cmd::kPrintGraph, &CMainFrame::OnPrintGraph},
    {cmd::kHelpContents, &CMainFrame::OnHelpContents},
    {cmd::kAbout, &CMainFrame::OnAbout},
};

void CMainFrame::ExecuteCommand(int id) {
    QAction* action = Command(id);
    if (!action) return;
    UpdateCommandStates();
    if (!action->isEnabled()) return;
    for (const Handler& h : kHandlers) {
        if (h.id == id) {
            (this->*h.run)();
            break;
        }
    }
    UpdateCommandStates();
}

void CMainFrame::OnNew() {
    m_doc->New();
}

void CMainFrame::OnOpen() {
    if (m_doc->Open() && m_services.fileUsed) m_services.fileUsed(m_doc->PathName());
}

void CMainFrame::OnSaveAs() {
    if (m_doc->SaveAs() && m_services.fileUsed) m_services.fileUsed(m_doc->PathName());
}

void CMainFrame::OnExport() {
    FileDialogRequest request;
    request.save = true;
    request.filter = "CSV files (*.csv)|*.csv|JSON Lines files (*.jsonl)|*.jsonl||";
    request.defaultExtension = ".csv";
    const std::optional<std::string> path = m_services.prompts->AskFile(request);
    if (!path || path->empty()) return;

    if (m_doc->RecordCount() > m_exportProgressThreshold) {
        m_exportProgress = new QProgressDialog(QStringLiteral("Exporting the records..."),
                                               QStringLiteral("Cancel"), 0, kExportSteps, this);
        m_exportProgress->setWindowTitle(QStringLiteral("Export"));
        m_exportProgress->setWindowModality(Qt::WindowModal);
        m_exportProgress->setMinimumDuration(0);
        m_exportProgress->setAutoClose(false);
        m_exportProgress->setAutoReset(false);
        m_exportProgress->setValue(0);
    }
    // The writing starts from the event loop, once the dialog is up: a
    // Cancel that comes before it writes nothing at all.
    m_exporting = true;
    QTimer::singleShot(0, this, [this, file = *path] { StartExport(file); });
}

void CMainFrame::StartExport(const std::string& path) {
    if (m_exportProgress && m_exportProgress->wasCanceled()) {
        m_exportProgress->deleteLater();
        m_exportProgress = nullptr;
        m_exporting = false;
        UpdateCommandStates();
        return;
    }
    const CVantrelDoc* doc = m_doc.get();
    m_export =
        std::make_unique<CExportJob>([doc, path](ExportProgress progress, std::string* error) {
            return doc->ExportRecords(path, CVantrelDoc::ExportFormatForPath(path),
                                      std::move(progress), error);
        });
    if (m_exportProgress)
        connect(m_exportProgress, &QProgressDialog::canceled, this, [this] {
            if (m_export) m_export->Cancel();
        });
    m_exportTimer->start();
    UpdateCommandStates();
}

void CMainFrame::FollowExport() {
    if (!m_export) return;
    if (m_exportProgress) m_exportProgress->setValue(m_export->Progress(kExportSteps));
    if (!m_export->Finished()) return;
    m_exportTimer->stop();
    std::string error;
    const ExportOutcome outcome = m_export->Outcome(&error);
    m_export.reset();
    m_exporting = false;
    if (m_exportProgress) {
        m_exportProgress->close();
        m_exportProgress->deleteLater();
        m_exportProgress = nullptr;
    }
    UpdateCommandStates();
    if (outcome == ExportOutcome::Failed) m_services.prompts->MessageText(error, BoxIcon::Error);
}

void CMainFrame::OnPrintGraph() {
    m_graphPage->PrintWithDialog();
}

void CMainFrame::OnExit() {
    close();
}

void CMainFrame::OnUndo() {
    m_results->undo();
}
void CMainFrame::OnCut() {
    m_results->cut();
}
void CMainFrame::OnCopy() {
    m_results->copy();
}
void CMainFrame::OnPaste() {
    m_results->paste();
}

void CMainFrame::OnToggleToolBar() {
    m_toolBar->setVisible(!m_toolBar->isVisibleTo(this));
}

void CMainFrame::OnToggleStatusBar() {
    statusBar()->setVisible(!statusBar()->isVisibleTo(this));
}

void CMainFrame::OnIoctlSelector() {
    m_catalogueWindows->ToggleSelector();
}

void CMainFrame::OnIoctlTemplates() {
    m_catalogueWindows->OpenTemplateEditor();
}

void CMainFrame::OnSelectedDevice() {
    m_doc->SetShowAllDevices(false);
}

void CMainFrame::OnAllDevices() {
    m_doc->SetShowAllDevices(true);
}

void CMainFrame::OnOutputProperties() {
    if (const auto flags =
            RunOutputProperties(*m_services.dialogs, this, m_doc->State().OutputFlags()))
        m_doc->SetOutputFlags(*flags);
}

void CMainFrame::OnViewDataRange() {
    const auto choice =
        RunIrpRange(*m_services.dialogs, this, *m_services.prompts, m_doc->RecordCount());
    if (choice) m_doc->RequestViewRange(std::to_string(choice->start), std::to_string(choice->end));
}

void CMainFrame::OnAutoUpdate() {
    m_autoUpdate = !m_autoUpdate;
}

void CMainFrame::OnLogToFile() {
    m_logToFile = !m_logToFile;
}

void CMainFrame::OnClear() {
    m_doc->ClearResults();
    m_results->ApplyPendingNow();
}

void CMainFrame::OnGraphProperties() {
    // The page opens its dialog once the command has returned, as a posted
    // request does.
    QMetaObject::invokeMethod(
        m_graphPage, [page = m_graphPage] { page->ShowProperties(); }, Qt::QueuedConnection);
}

void CMainFrame::OnRefresh() {
    RefreshCurrentView();
}

void CMainFrame::OnHelpContents() {
    ShowHelpContents(this, m_services.helpDir, *m_services.prompts);
}

void CMainFrame::OnAbout() {
    RunAboutBox(*m_services.dialogs, this);
}

std::vector<size_t> CMainFrame::SelectedDeviceRows() const {
    std::vector<size_t> rows;
    for (int row : m_devices->SelectedRows()) rows.push_back(static_cast<size_t>(row));
    return rows;
}

void CMainFrame::OnAddRemoveFilter() {
    const auto update =
        m_doc->AddRemoveFilter(m_irpPage->SelectedMask(), SelectedDeviceRows(), m_logToFile);
    if (update) m_irpPage->SetUpdateEnabled(*update);
    UpdateCommandStates();
}

void CMainFrame::OnUpdateSelection() {
    m_doc->UpdateSelection(m_irpPage->SelectedMask(), SelectedDeviceRows());
}

void CMainFrame::OnPageShown(int tab) {
    if (!m_doc) return;
    switch (tab) {
        case CMyTabView::kIrpMonitorTab:
            m_doc->ShowSelectedDeviceMask();
            break;
        case CMyTabView::kStatisticsTab:
            m_statisticsPage->Recompute();
            break;
        case CMyTabView::kGraphViewTab:
            m_graphPage->Refresh();
            break;
        default:
            break;
    }
}

}  // namespace vantrel
