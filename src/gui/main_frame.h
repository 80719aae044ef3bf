#pragma once
// CMainFrame: the main window. It builds the panes (the device list and the
// tab view side by side above the results pane, in two splitters), the
// menus, the toolbar and the status bar, routes every command, keeps the
// commands' enabled and checked states, and is the document's view.
//
// Life: the frame is made first (hidden), the document is created on its
// results pane, then AttachDocument runs the panes' first update (the device
// list is filled, the tab pages are made) and ActivateFrame shows the window
// where it was last closed. The frame owns the document from then on and
// destroys it before anything the document's threads write to.
//
// Threads: everything runs on the GUI thread except the two IDocumentView
// calls that come from the capture and printing threads (OnIoctlSeen,
// OnMaxYGrown), which only post work to the GUI thread, and File Export,
// which writes on a worker thread while a timer here follows it.
//
// The code is in three files: main_frame.cpp builds the window and keeps
// the commands' states, main_frame_commands.cpp runs the commands, and
// main_frame_view.cpp is the document's view.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/graph_model.h"
#include "analysis/record_columns.h"
#include "document/views.h"

class QAction;
class QLabel;
class QMenu;
class QProgressDialog;
class QSplitter;
class QTimer;
class QToolBar;

namespace vantrel {

class CDocumentSelectorHost;
class CExportJob;
class CGraphViewPage;
class CIoctlCatalogueWindows;
class CIoctlSelectorWindow;
class CIrpMonitorPage;
class CMyEditView;
class CMyListView;
class CMyTabView;
class CStatisticsPage;
class CVantrelDoc;
class IDialogRunner;
class IPrompts;
class ISettingsStore;

struct FrameServices {
    IPrompts* prompts = nullptr;         // message boxes and file dialogs (required)
    IDialogRunner* dialogs = nullptr;    // how modal dialogs run (required)
    ISettingsStore* settings = nullptr;  // null: nothing is read or stored
    QString helpDir;                     // the folder of the manual "Vantrel.html"
    // A test was opened or saved (the recent-file list); may be empty.
    std::function<void(const std::string& path)> fileUsed;
    // Records the driver has dropped so far (the status bar figure); may be
    // empty: none known.
    std::function<uint64_t()> driverDropped;
};

// Show commands, as the placement stores them.
inline constexpr int kShowNormal = 1;
inline constexpr int kShowMinimized = 2;
inline constexpr int kShowMaximized = 3;

class CMainFrame : public QMainWindow, public IDocumentView {
    Q_OBJECT
public:
    explicit CMainFrame(FrameServices services, QWidget* parent = nullptr);
    // Ends the document (its threads first), stores "LogToFile" and
    // "AutoUpdate", then lets the selector go.
    ~CMainFrame() override;

    // The panes' first update with the document created on GetResultsPane:
    // the device list is filled, the tab pages and the catalogue windows
    // are made.
    void AttachDocument(std::unique_ptr<CVantrelDoc> document);
    // Shows the window: the stored placement when there is one (a show
    // command other than normal replaces the stored one), the show command
    // alone otherwise; then the splitters from "xoffset" and "yoffset".
    void ActivateFrame(int showCmd = kShowNormal);

    CVantrelDoc* Document() const { return m_doc.get(); }
    CMyEditView* GetResultsPane() const { return m_results; }
    CMyListView* GetDeviceListPane() const { return m_devices; }
    CMyTabView* GetTabView() const { return m_tabs; }
    CIoctlSelectorWindow* GetIoctlSelector() const;
    CIoctlCatalogueWindows* CatalogueWindows() const { return m_catalogueWindows.get(); }
    QSplitter* OuterSplitter() const { return m_outer; }
    QSplitter* InnerSplitter() const { return m_inner; }
    QToolBar* ToolBar() const { return m_toolBar; }
    QMenu* ContextMenu() const { return m_contextMenu; }

    // The action of a command id (null for an unknown id).
    QAction* Command(int id) const;
    // Runs a command as its menu entry would (nothing when it is disabled).
    void ExecuteCommand(int id);
    // Recomputes every command's enabled and checked state.
    void UpdateCommandStates();

    // File Export shows a progress dialog with Cancel above this many
    // records (100,000 unless set).
    void SetExportProgressThreshold(size_t records) { m_exportProgressThreshold = records; }
    // An export is being written (on its worker thread).
    bool ExportRunning() const { return m_exporting; }
    // The status bar's permanent figure: records, memory, drops.
    QLabel* FiguresLabel() const { return m_figures; }

    bool AutoUpdate() const { return m_autoUpdate; }
    bool LogToFile() const { return m_logToFile; }

    // F6 and Shift+F6: the focus moves to the next or previous pane (device
    // list, tab view, results pane).
    void MoveToPane(int step);

    // IDocumentView.
    void RefreshCurrentView() override;
    void OnTitleChanged(const std::string& title) override;
    void OnDeviceRowsChanged() override;
    void ShowIrpMask(uint32_t mask) override;
    void OnRecordsCleared() override;
    void OnGraphReset(int32_t maxX, int32_t maxY) override;
    void OnIoctlSeen(uint32_t code, std::string_view objectName, uint64_t generation) override;
    void OnMaxYGrown(int32_t maxY) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Handler {
        int id;
        void (CMainFrame::*run)();
    };
    static const Handler kHandlers[];

    void BuildActions();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildClientArea();
    void BuildTabPages();
    QMenu* AddMenu(QMenu* parent, const QString& title, std::span<const int> entries);
    void SetState(int id, bool enabled, bool checked = false);
    void UpdateLockIndicators();
    void UpdateFigures();
    void OnFocusChanged(QWidget* now);
    void StartExport(const std::string& path);
    void FollowExport();
    static QWidget* FocusTarget(QWidget& pane);
    void StorePlacement();
    void OnPageShown(int tab);
    // The device list's selected rows, in list order.
    std::vector<size_t> SelectedDeviceRows() const;

    // Commands.
    void OnNew();
    void OnOpen();
    void OnSaveAs();
    void OnExport();
    void OnPrintGraph();
    void OnExit();
    void OnUndo();
    void OnCut();
    void OnCopy();
    void OnPaste();
    void OnToggleToolBar();
    void OnToggleStatusBar();
    void OnIoctlSelector();
    void OnIoctlTemplates();
    void OnSelectedDevice();
    void OnAllDevices();
    void OnOutputProperties();
    void OnViewDataRange();
    void OnAutoUpdate();
    void OnLogToFile();
    void OnClear();
    void OnGraphProperties();
    void OnRefresh();
    void OnHelpContents();
    void OnAbout();
    void OnAddRemoveFilter();
    void OnUpdateSelection();

    FrameServices m_services;
    bool m_autoUpdate = true;
    bool m_logToFile = false;
    size_t m_exportProgressThreshold = 100000;

    std::map<int, QAction*> m_actions;  // by command id
    QMenu* m_contextMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_ready = nullptr;
    QLabel* m_locks[3] = {};
    QLabel* m_figures = nullptr;
    QTimer* m_idle = nullptr;
    QTimer* m_figuresTimer = nullptr;
    // The Edit commands act on the results pane when it was the last pane
    // with the focus: a menu opened from the keyboard takes the focus first.
    bool m_editOnPane = false;
    // The upper row's share of the outer splitter, kept as the window is
    // resized, while no stored "yoffset" placed it.
    std::optional<double> m_upperShare;

    QSplitter* m_outer = nullptr;
    QSplitter* m_inner = nullptr;
    CMyEditView* m_results = nullptr;
    CMyListView* m_devices = nullptr;
    CMyTabView* m_tabs = nullptr;
    CIrpMonitorPage* m_irpPage = nullptr;
    CStatisticsPage* m_statisticsPage = nullptr;
    CGraphViewPage* m_graphPage = nullptr;

    // Declared after the widgets' owners above and destroyed first, in the
    // destructor's own order.
    CGraphModel m_graphModel;
    CRecordColumns m_columns;
    std::unique_ptr<CVantrelDoc> m_doc;
    std::unique_ptr<CDocumentSelectorHost> m_selectorHost;
    std::unique_ptr<CIoctlCatalogueWindows> m_catalogueWindows;
    // The export in progress, its dialog and the timer that follows it.
    std::unique_ptr<CExportJob> m_export;
    bool m_exporting = false;  // from the file's choice to the end
    QProgressDialog* m_exportProgress = nullptr;
    QTimer* m_exportTimer = nullptr;
};

}  // namespace vantrel
