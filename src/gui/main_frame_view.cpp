#include "document/document.h"
#include "gui/device_list_view.h"
#include "gui/graph_view_page.h"
#include "gui/ioctl_catalogue_windows.h"
#include "gui/irp_monitor_page.h"
#include "gui/main_frame.h"
#include "gui/qt_text.h"
#include "gui/statistics_page.h"
#include "gui/tab_view.h"

namespace vantrel {

CIoctlSelectorWindow* CMainFrame::GetIoctlSelector() const {
    return m_catalogueWindows ? m_catalogueWindows->Selector() : nullptr;
}

void CMainFrame::RefreshCurrentView() {
    if (!m_doc) return;
    switch (m_tabs->currentIndex()) {
        case CMyTabView::kStatisticsTab:
            m_statisticsPage->Recompute();
            break;
        case CMyTabView::kGraphViewTab:
            m_graphPage->Refresh();
            break;
        default:
            break;
    }
    if (m_autoUpdate) m_doc->ShowAllRecords();
}

void CMainFrame::OnTitleChanged(const std::string& title) {
    setWindowTitle(FromBytes(title));
}

void CMainFrame::OnDeviceRowsChanged() {
    m_devices->RefreshRowColours();
}

void CMainFrame::ShowIrpMask(uint32_t mask) {
    if (m_irpPage) m_irpPage->ShowMask(mask);
}

void CMainFrame::OnRecordsCleared() {
    if (m_catalogueWindows) m_catalogueWindows->ClearEntries();
}

void CMainFrame::OnGraphReset(int32_t maxX, int32_t maxY) {
    m_graphModel.Clear();
    m_graphModel.SetLimits(maxX, maxY, 0.0, 0.0);
    if (m_graphPage) m_graphPage->update();
}

void CMainFrame::OnIoctlSeen(uint32_t code, std::string_view objectName, uint64_t generation) {
    // Any thread: the selector hears of it on the GUI thread, and only while
    // the record list it came from is still the current one.
    QMetaObject::invokeMethod(
        this,
        [this, code, name = std::string(objectName), generation] {
            if (m_doc && m_catalogueWindows && generation == m_doc->RecordGeneration())
                m_catalogueWindows->OnDeviceControl(code, name);
        },
        Qt::QueuedConnection);
}

void CMainFrame::OnMaxYGrown(int32_t maxY) {
    // The model's limits are safe to set from the printing thread; the
    // graph repaints itself when they change.
    m_graphModel.SetMaxY(maxY);
}

}  // namespace vantrel
