#include "gui/main_frame.h"

#include "document/string_table.h"

namespace vantrel {

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromLatin1(LoadString(IDS_APP_NAME).data()));
    resize(900, 640);
}

}  // namespace vantrel
