#pragma once
// CVantrelApp: the desktop program's start-up. It makes the main frame,
// creates the document on the frame's results pane (driver, catalogue,
// settings), runs the panes' first update, opens the test named on the
// command line, and shows the window. Any failure ends the start before a
// window is shown. GUI thread only.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "capture/driver_link.h"
#include "document/recent_files.h"
#include "gui/main_frame.h"

namespace vantrel {

class CQtPrompts;
class CQtSettingsStore;
class CModalDialogRunner;

struct AppServices {
    DriverOpener openDriver;
    IPrompts* prompts = nullptr;           // null: Qt's message boxes and file dialogs
    IDialogRunner* dialogs = nullptr;      // null: modal dialogs
    CQtSettingsStore* settings = nullptr;  // null: no settings and no recent-file list
    QString helpDir;                       // empty: the executable's folder
    // Records the driver has dropped so far; empty: none known.
    std::function<uint64_t()> driverDropped;
    std::string driverHost;  // the driver's machine when it is another one
};

class CVantrelApp {
public:
    explicit CVantrelApp(AppServices services);
    ~CVantrelApp();
    CVantrelApp(const CVantrelApp&) = delete;
    CVantrelApp& operator=(const CVantrelApp&) = delete;

    // The start: false when the document could not be created (no driver,
    // a refused catalogue) or the test named in `arguments` (the program's
    // arguments after its name) could not be opened; no window is then
    // shown, and the program should end with a non-zero status.
    bool InitInstance(const QStringList& arguments, int showCmd = kShowNormal);

    CMainFrame* MainFrame() const { return m_frame.get(); }
    const CRecentFileList& RecentFiles() const { return m_recent; }

private:
    void AddRecentFile(const std::string& path);

    AppServices m_services;
    std::unique_ptr<CQtPrompts> m_qtPrompts;
    std::unique_ptr<CModalDialogRunner> m_modal;
    CRecentFileList m_recent;
    std::unique_ptr<CMainFrame> m_frame;
};

// The test file named among the program's arguments (the first one that is
// not an option), or empty.
QString CommandLineFile(const QStringList& arguments);

}  // namespace vantrel
