// vantrel: the desktop program, on the simulated driver (VANTREL_SIM_*
// variables choose its rate, seed and devices; VANTREL_DRIVER=none stands
// for a machine without the driver).

#include <QApplication>

#include "document/settings.h"
#include "driver/simulated_driver.h"
#include "gui/vantrel_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    vantrel::CSimulatedDriverSession driver(vantrel::OptionsFromEnvironment());
    vantrel::CQtSettingsStore settings;
    vantrel::AppServices services;
    services.openDriver = driver.Opener();
    services.settings = &settings;
    vantrel::CVantrelApp vantrelApp(std::move(services));
    if (!vantrelApp.InitInstance(QApplication::arguments().mid(1))) return 1;
    return QApplication::exec();
}
