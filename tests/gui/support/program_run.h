#pragma once
// One start of the desktop program for the window tests, and the helpers
// that reach its menus and panes as a user would.

#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "document/document.h"
#include "document/settings.h"
#include "driver/simulated_driver.h"
#include "gui/main_frame.h"
#include "gui/vantrel_app.h"
#include "gui_doubles.h"
#include "support/document_fixture.h"

namespace vantrel::guitest {

// One start of the program in a scratch folder holding the sample
// catalogue, with settings in that folder, scripted prompts and dialogs.
struct ProgramRun {
    testing::ScratchDir& dir;
    SimulatedDriverOptions options;
    CQtSettingsStore settings;
    CScriptedPrompts prompts;
    CScriptedDialogRunner dialogs;
    std::unique_ptr<CSimulatedDriverSession> driver;
    std::unique_ptr<CVantrelApp> app;
    // Stands between the program and the simulated driver (a driver that
    // refuses some requests, say); empty: none.
    std::function<DriverOpener(DriverOpener)> wrapOpener;

    explicit ProgramRun(testing::ScratchDir& folder, SimulatedDriverOptions driverOptions = Quiet())
        : dir(folder), options(std::move(driverOptions)), settings(folder / "settings") {}
    ~ProgramRun() { End(); }

    static SimulatedDriverOptions Quiet() {
        SimulatedDriverOptions o;
        o.generate = false;
        return o;
    }

    bool Start(const QStringList& arguments = {}, int showCmd = kShowNormal,
               const QString& helpDir = QString()) {
        driver = std::make_unique<CSimulatedDriverSession>(options);
        AppServices services;
        services.openDriver = wrapOpener ? wrapOpener(driver->Opener()) : driver->Opener();
        services.driverDropped = [session = driver.get()] { return session->Stats().dropped; };
        services.prompts = &prompts;
        services.dialogs = &dialogs;
        services.settings = &settings;
        services.helpDir = helpDir.isEmpty() ? QString::fromStdString(dir / "nohelp") : helpDir;
        app = std::make_unique<CVantrelApp>(std::move(services));
        return app->InitInstance(arguments, showCmd);
    }
    // Closes the window as the user does, then ends the program.
    void End() {
        if (app && app->MainFrame()) app->MainFrame()->close();
        app.reset();
        driver.reset();
    }
    CMainFrame& Frame() { return *app->MainFrame(); }
    CVantrelDoc& Doc() { return *Frame().Document(); }
    int32_t Stored(const char* name) { return settings.ReadNumber(ApplicationKey(), name); }
};

inline QMenu* SubMenu(const QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
}

inline QMenu* TopMenu(CMainFrame& frame, const QString& title) {
    for (QAction* a : frame.menuBar()->actions())
        if (a->text() == title) return a->menu();
    return nullptr;
}

inline bool Enabled(CMainFrame& frame, int id) {
    frame.UpdateCommandStates();
    return frame.Command(id)->isEnabled();
}

inline void SelectRows(QTreeWidget& list, std::initializer_list<int> rows) {
    list.clearSelection();
    for (int row : rows) list.topLevelItem(row)->setSelected(true);
    list.setCurrentItem(list.topLevelItem(*rows.begin()), 0, QItemSelectionModel::NoUpdate);
}

}  // namespace vantrel::guitest
