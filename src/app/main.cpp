#include <QApplication>

#include "gui/main_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vantrel::CMainFrame frame;
    frame.show();
    return app.exec();
}
