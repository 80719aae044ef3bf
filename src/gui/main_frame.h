#pragma once
#include <QMainWindow>

namespace vantrel {

// The main window.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
};

}  // namespace vantrel
