#include "gui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "capture/record_figures.h"
#include "document/document.h"
#include "document/settings.h"
#include "gui/command_table.h"
#include "gui/device_list_view.h"
#include "gui/dialog_runner.h"
#include "gui/document_selector_host.h"
#include "gui/export_job.h"
#include "gui/graph_view_page.h"
#include "gui/help_window.h"
#include "gui/ioctl_catalogue_windows.h"
#include "gui/irp_monitor_page.h"
#include "gui/lock_indicators.h"
#include "gui/qt_text.h"
#include "gui/results_pane.h"
#include "gui/small_dialogs.h"
#include "gui/statistics_page.h"
#include "gui/tab_view.h"

namespace vantrel {
namespace {

// How often the idle update runs: the toolbar follows the record count and
// the pane's text while a capture runs, and the lock indicators follow the
// keyboard.
constexpr int kIdleUpdateMs = 250;
// The status bar figure follows a capture at most twice a second.
constexpr int kFiguresUpdateMs = 500;
// Without a stored "yoffset" the upper row takes this share of the outer
// splitter, so that a large screen gives the graph and the pages room.
constexpr double kUpperRowShare = 0.45;

constexpr const char* kLockTexts[] = {"CAP", "NUM", "SCRL"};
constexpr const char* kLockNames[] = {"Caps Lock", "Num Lock", "Scroll Lock"};

QString Text(const char* s) {
    return QString::fromLatin1(s);
}

bool IsMinimizedCommand(uint32_t showCmd) {
    // SW_SHOWMINIMIZED, SW_MINIMIZE, SW_SHOWMINNOACTIVE, SW_FORCEMINIMIZE
    return showCmd == 2 || showCmd == 6 || showCmd == 7 || showCmd == 11;
}

}  // namespace

CMainFrame::CMainFrame(FrameServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(ResourceIcon(128));
    // The system's default placement for a first start, at a size that
    // leaves room for the 260 by 300 pixel upper panes.
    resize(1000, 720);
    if (m_services.settings) {
        const FrameSettings values = ReadFrameSettings(*m_services.settings);
        m_autoUpdate = values.AutoUpdate != 0;
        m_logToFile = values.LogToFile != 0;
    }
    BuildActions();
    BuildToolBar();
    BuildStatusBar();
    BuildMenus();
    BuildClientArea();

    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { MoveToPane(1); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { MoveToPane(-1); });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { OnFocusChanged(now); });

    m_idle = new QTimer(this);
    m_idle->setInterval(kIdleUpdateMs);
    connect(m_idle, &QTimer::timeout, this, [this] {
        UpdateCommandStates();
        UpdateLockIndicators();
    });
    m_idle->start();
    m_figuresTimer = new QTimer(this);
    m_figuresTimer->setInterval(kFiguresUpdateMs);
    connect(m_figuresTimer, &QTimer::timeout, this, &CMainFrame::UpdateFigures);
    m_figuresTimer->start();
    m_exportTimer = new QTimer(this);
    m_exportTimer->setInterval(50);
    connect(m_exportTimer, &QTimer::timeout, this, &CMainFrame::FollowExport);
    UpdateCommandStates();
    UpdateLockIndicators();
}

CMainFrame::~CMainFrame() {
    // Nothing reaches this object's slots while its base classes take the
    // window down (hiding it moves the focus, children emit as they go).
    QObject::disconnect(qApp, nullptr, this, nullptr);
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
    m_idle->stop();
    m_figuresTimer->stop();
    // An export in progress stops and its thread ends before the records go.
    m_exportTimer->stop();
    m_export.reset();
    // The threads end before the pane they print into and the views they
    // report to; the document stores its own values and closes the driver.
    m_doc.reset();
    if (m_services.settings) {
        FrameSettings values;
        values.AutoUpdate = m_autoUpdate ? 1 : 0;
        values.LogToFile = m_logToFile ? 1 : 0;
        WriteFrameSettings(values, *m_services.settings);
    }
    m_catalogueWindows.reset();
    m_selectorHost.reset();
    // The pages read the graph model and the column copy, which go with
    // this object before its child widgets would.
    delete m_tabs;
    m_tabs = nullptr;
}

// --- Building -----------------------------------------------------------------

void CMainFrame::BuildActions() {
    for (const CommandInfo& info : CommandTable()) {
        auto* action = new QAction(Text(info.text), this);
        action->setObjectName(QStringLiteral("cmd%1").arg(info.id));
        action->setProperty("commandId", info.id);
        action->setStatusTip(Text(info.prompt));
        action->setToolTip(Text(info.tip));
        action->setCheckable(info.checkable);
        QList<QKeySequence> keys;
        for (const char* key : info.keys)
            if (key) keys << QKeySequence(Text(key), QKeySequence::PortableText);
        action->setShortcuts(keys);
        if (info.picture) action->setIcon(QIcon(QStringLiteral(":/icons/") + Text(info.picture)));
        // The checked state is the command's to set: a click runs the
        // command, which changes what the next update shows.
        const int id = info.id;
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        m_actions.emplace(id, action);
    }
}

QAction* CMainFrame::Command(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QMenu* CMainFrame::AddMenu(QMenu* parent, const QString& title, std::span<const int> entries) {
    QMenu* menu = parent ? parent->addMenu(title) : menuBar()->addMenu(title);
    for (int id : entries) {
        if (id == cmd::kSeparator)
            menu->addSeparator();
        else
            menu->addAction(Command(id));
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    return menu;
}

void CMainFrame::BuildMenus() {
    AddMenu(nullptr, QStringLiteral("&File"), FileMenuLayout());
    AddMenu(nullptr, QStringLiteral("&Edit"), EditMenuLayout());
    static constexpr int kViewTop[] = {cmd::kToolbar,       cmd::kStatusBar,      cmd::kSeparator,
                                       cmd::kIoctlSelector, cmd::kIoctlTemplates, cmd::kSeparator};
    QMenu* view = AddMenu(nullptr, QStringLiteral("&View"), kViewTop);
    static constexpr int kData[] = {cmd::kSelectedDevice, cmd::kAllDevices};
    AddMenu(view, QStringLiteral("&Data"), kData);
    view->addSeparator();
    AddMenu(view, QStringLiteral("&Results Pane"), ResultsPaneMenuLayout());
    static constexpr int kGraph[] = {cmd::kGraphProperties, cmd::kRefresh, cmd::kSeparator,
                                     cmd::kPrintGraph};
    AddMenu(view, QStringLiteral("&Graph"), kGraph);
    static constexpr int kStatistics[] = {cmd::kRefresh};
    AddMenu(view, QStringLiteral("St&atistics"), kStatistics);
    static constexpr int kHelp[] = {cmd::kHelpContents, cmd::kAbout};
    AddMenu(nullptr, QStringLiteral("&Help"), kHelp);
    if (auto* more = menuBar()->findChild<QWidget*>(QStringLiteral("qt_menubar_ext_button")))
        more->setAccessibleName(QStringLiteral("More menus"));

    m_contextMenu = new QMenu(this);
    m_contextMenu->setObjectName(QStringLiteral("resultsContextMenu"));
    for (int id : ResultsPaneMenuLayout()) {
        if (id == cmd::kSeparator)
            m_contextMenu->addSeparator();
        else
            m_contextMenu->addAction(Command(id));
    }
    connect(m_contextMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::BuildToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : ToolbarLayout()) {
        if (id == cmd::kSeparator)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(Command(id));
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    // The buttons Qt adds for entries that do not fit.
    if (auto* more = m_toolBar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QStringLiteral("More toolbar buttons"));
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    // The message pane's idle text; prompts cover it while a command is
    // pointed at.
    m_ready = new QLabel(QStringLiteral("Ready"), bar);
    m_ready->setObjectName(QStringLiteral("messagePane"));
    bar->addWidget(m_ready, 1);
    // A label, so that its text is there for screen readers too.
    m_figures = new QLabel(bar);
    m_figures->setObjectName(QStringLiteral("recordFigures"));
    m_figures->setAccessibleName(QStringLiteral("Records"));
    bar->addPermanentWidget(m_figures);
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(Text(kLockTexts[i]));
        label->setAccessibleName(Text(kLockNames[i]));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(Text(kLockTexts[i])) + 12);
        bar->addPermanentWidget(label);
        m_locks[i] = label;
    }
}

void CMainFrame::BuildClientArea() {
    m_outer = new QSplitter(Qt::Vertical, this);
    m_outer->setObjectName(QStringLiteral("outerSplitter"));
    m_inner = new QSplitter(Qt::Horizontal, m_outer);
    m_inner->setObjectName(QStringLiteral("innerSplitter"));
    m_devices = new CMyListView(m_inner);
    m_tabs = new CMyTabView(m_inner);
    m_results = new CMyEditView(m_outer);
    m_results->SetContextMenu(m_contextMenu);
    m_outer->addWidget(m_inner);
    m_outer->addWidget(m_results);
    // A resized window gives its extra room to the tab view and the
    // results pane; the device list and the upper row keep their sizes.
    m_inner->setStretchFactor(0, 0);
    m_inner->setStretchFactor(1, 1);
    m_outer->setStretchFactor(0, 0);
    m_outer->setStretchFactor(1, 1);
    m_outer->installEventFilter(this);
    connect(m_outer, &QSplitter::splitterMoved, this, [this] {
        const QList<int> rows = m_outer->sizes();
        const int total = rows.value(0) + rows.value(1);
        if (m_upperShare && total > 0) m_upperShare = double(rows.value(0)) / total;
    });
    setCentralWidget(m_outer);

    connect(m_devices, &CMyListView::rowSelectionChanged, this, [this](int row) {
        if (m_doc && row >= 0) m_doc->OnDeviceSelected(static_cast<size_t>(row));
        UpdateCommandStates();
    });
    connect(m_results, &CMyEditView::pendingApplied, this, &CMainFrame::UpdateCommandStates);
    connect(m_results, &QPlainTextEdit::selectionChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_results, &QPlainTextEdit::undoAvailable, this, &CMainFrame::UpdateCommandStates);
    connect(m_tabs, &CMyTabView::pageShown, this, &CMainFrame::OnPageShown);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::AttachDocument(std::unique_ptr<CVantrelDoc> document) {
    m_doc = std::move(document);
    m_doc->SetView(this);

    // The device list's first update.
    m_doc->FillDeviceList();
    m_devices->Fill(m_doc->Devices());

    BuildTabPages();

    m_selectorHost = std::make_unique<CDocumentSelectorHost>(*m_doc);
    m_catalogueWindows = std::make_unique<CIoctlCatalogueWindows>(
        this, &m_doc->Catalogue(), *m_selectorHost, *m_services.prompts);
    IDialogRunner* dialogs = m_services.dialogs;
    m_catalogueWindows->SetEditorRunner([dialogs](CTemplateEditorDialog& d) { dialogs->Run(d); });
    OnTitleChanged(m_doc->Title());
    UpdateCommandStates();
    UpdateFigures();
}

void CMainFrame::BuildTabPages() {
    CVantrelDoc* doc = m_doc.get();
    AnalysisSource analysis{&doc->Records(), &m_columns,
                            [doc] { return doc->CurrentRecordSelection(); }};
    GraphViewSource graph;
    graph.analysis = analysis;
    graph.ticks = [doc] { return doc->CurrentFilterTicks(); };
    graph.defaultMaxima = [doc] {
        return std::pair<int32_t, int32_t>{doc->Axes().MaxX(), doc->Axes().MaxY()};
    };
    graph.showRecord = [doc](int32_t index) {
        if (index >= 0) doc->ShowRecord(index);
    };
    graph.title = [doc] { return FromBytes(doc->Title()); };

    m_irpPage = new CIrpMonitorPage;
    m_statisticsPage = new CStatisticsPage(analysis);
    m_graphPage = new CGraphViewPage(m_graphModel, graph);
    IDialogRunner* dialogs = m_services.dialogs;
    m_graphPage->SetDialogRunner([dialogs](QDialog& d) { return dialogs->Run(d); });
    m_tabs->SetPages(m_irpPage, m_statisticsPage, m_graphPage);

    connect(m_irpPage, &CIrpMonitorPage::addRemoveFilterClicked, this,
            &CMainFrame::OnAddRemoveFilter);
    connect(m_irpPage, &CIrpMonitorPage::updateSelectionClicked, this,
            &CMainFrame::OnUpdateSelection);
}

void CMainFrame::ActivateFrame(int showCmd) {
    StoredPlacement stored;
    if (m_services.settings) stored = ReadWindowPlacement(*m_services.settings);
    uint32_t show = static_cast<uint32_t>(showCmd);
    if (stored.stored) {
        const WindowPlacement& p = stored.placement;
        if (showCmd == kShowNormal) show = p.showCmd;
        if (p.right > p.left && p.bottom > p.top)
            setGeometry(p.left, p.top, p.right - p.left, p.bottom - p.top);
        else
            move(p.left, p.top);
    }
    if (show == kShowMaximized)
        showMaximized();
    else if (IsMinimizedCommand(show))
        showMinimized();
    else
        showNormal();

    // Exact pixel sizes: the splitter's other pane takes what is left.
    const auto apply = [](QSplitter* splitter, int first, int total) {
        first = std::max(0, first);
        splitter->setSizes({first, std::max(0, total - first)});
    };
    apply(m_inner, stored.xOffset, m_inner->width() - m_inner->handleWidth());
    const int rows = m_outer->height() - m_outer->handleWidth();
    if (stored.yOffsetStored) {
        m_upperShare.reset();
        apply(m_outer, stored.yOffset, rows);
    } else {
        m_upperShare = kUpperRowShare;
        apply(m_outer, static_cast<int>(std::lround(rows * kUpperRowShare)), rows);
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_outer && event->type() == QEvent::Resize && m_upperShare) {
        const int rows = m_outer->height() - m_outer->handleWidth();
        const int upper = static_cast<int>(std::lround(rows * *m_upperShare));
        m_outer->setSizes({upper, std::max(0, rows - upper)});
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::StorePlacement() {
    if (!m_services.settings) return;
    WindowPlacement p;
    QRect normal = normalGeometry();
    if (!normal.isValid()) normal = geometry();
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.left() + normal.width();
    p.bottom = normal.top() + normal.height();
    const bool minimized = isMinimized();
    const bool maximized = isMaximized();
    p.showCmd = minimized ? kShowMinimized : maximized ? kShowMaximized : kShowNormal;
    p.flags = PlacementFlags(minimized, maximized);
    const QList<int> columns = m_inner->sizes();
    const QList<int> rows = m_outer->sizes();
    WriteWindowPlacement(p, columns.value(0), rows.value(0), *m_services.settings);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A range display in progress stops at its next record.
    if (m_doc) m_doc->StopRange();
    StorePlacement();
    event->accept();
}

// --- Command routing and states ------------------------------------------------

void CMainFrame::SetState(int id, bool enabled, bool checked) {
    QAction* action = Command(id);
    if (!action) return;
    if (action->isEnabled() != enabled) action->setEnabled(enabled);
    if (action->isCheckable() && action->isChecked() != checked) action->setChecked(checked);
}

void CMainFrame::UpdateCommandStates() {
    const bool haveDoc = m_doc != nullptr;
    const bool haveRecords = haveDoc && m_doc->RecordCount() > 0;
    const bool fileLoaded = haveDoc && m_doc->State().FileLoaded();
    const bool allDevices = haveDoc && m_doc->State().ShowAllDevices();
    const bool filtering = haveDoc && m_doc->State().FilterActive();

    SetState(cmd::kNew, haveDoc);
    SetState(cmd::kOpen, haveDoc);
    SetState(cmd::kSaveAs, haveRecords);
    SetState(cmd::kExport, haveRecords && !m_exporting);
    SetState(cmd::kExit, true);

    // The Edit commands act on the results pane while it has the focus, or
    // had it last before a menu took it.
    const bool paneFocused = m_results && (m_results->hasFocus() || m_editOnPane);
    const bool selection = paneFocused && m_results->textCursor().hasSelection();
    SetState(cmd::kUndo, paneFocused && m_results->document()->isUndoAvailable());
    SetState(cmd::kCut, selection && !m_results->isReadOnly());
    SetState(cmd::kCopy, selection);
    SetState(cmd::kPaste, paneFocused && m_results->canPaste());

    SetState(cmd::kToolbar, true, m_toolBar->isVisibleTo(this));
    SetState(cmd::kStatusBar, true, statusBar()->isVisibleTo(this));
    SetState(cmd::kIoctlSelector, haveDoc,
             m_catalogueWindows && m_catalogueWindows->SelectorVisible());
    SetState(cmd::kIoctlTemplates, haveDoc);
    SetState(cmd::kSelectedDevice, haveDoc && !fileLoaded, haveDoc && !allDevices);
    SetState(cmd::kAllDevices, haveDoc && !fileLoaded, allDevices);
    SetState(cmd::kOutputProperties, haveDoc);
    SetState(cmd::kViewDataRange, haveRecords);
    SetState(cmd::kAutoUpdate, true, m_autoUpdate);
    SetState(cmd::kLogToFile, !filtering, m_logToFile);
    SetState(cmd::kClear, haveDoc && m_results->TextLength() > 0);
    SetState(cmd::kGraphProperties, haveDoc && m_tabs->currentIndex() == CMyTabView::kGraphViewTab);
    SetState(cmd::kPrintGraph, haveDoc && m_tabs->currentIndex() == CMyTabView::kGraphViewTab);
    SetState(cmd::kRefresh, haveDoc);
    SetState(cmd::kHelpContents, true);
    SetState(cmd::kAbout, true);
}

void CMainFrame::OnFocusChanged(QWidget* now) {
    // A menu bar or a menu taking the focus leaves the Edit target as it
    // was; so does the focus leaving the application.
    if (now == m_results)
        m_editOnPane = true;
    else if (now && !qobject_cast<QMenuBar*>(now) && !qobject_cast<QMenu*>(now))
        m_editOnPane = false;
    UpdateCommandStates();
}

void CMainFrame::UpdateFigures() {
    if (!m_doc) return;
    const uint64_t dropped = m_services.driverDropped ? m_services.driverDropped() : 0;
    const QString text = QString::fromStdString(FiguresText(FiguresOf(m_doc->Records(), dropped)));
    if (m_figures->text() != text) m_figures->setText(text);
}

void CMainFrame::UpdateLockIndicators() {
    const LockStates states = ReadLockStates();
    const bool on[] = {states.caps, states.num, states.scroll};
    for (int i = 0; i < 3; ++i) {
        const QString text = on[i] ? Text(kLockTexts[i]) : QString();
        if (m_locks[i]->text() != text) m_locks[i]->setText(text);
    }
}

void CMainFrame::MoveToPane(int step) {
    QWidget* panes[] = {m_devices, m_tabs->currentWidget(), m_results};
    if (!panes[1]) panes[1] = m_tabs;
    int at = -1;
    const QWidget* focus = QApplication::focusWidget();
    for (int i = 0; i < 3; ++i)
        if (focus && (focus == panes[i] || panes[i]->isAncestorOf(focus))) at = i;
    const int next = at < 0 ? (step > 0 ? 0 : 2) : (at + 3 + step) % 3;
    FocusTarget(*panes[next])->setFocus(Qt::OtherFocusReason);
}

QWidget* CMainFrame::FocusTarget(QWidget& pane) {
    // A page takes the focus on its first control that takes it from the
    // keyboard (the IRP Monitor page's list, say).
    if (pane.focusPolicy() & Qt::TabFocus) return &pane;
    for (QWidget* child : pane.findChildren<QWidget*>())
        if ((child->focusPolicy() & Qt::TabFocus) && child->isVisibleTo(&pane) &&
            child->isEnabled())
            return child;
    return &pane;
}

}  // namespace vantrel
