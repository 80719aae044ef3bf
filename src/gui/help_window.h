#pragma once
// The help window: the manual "Vantrel.html" from the program's folder,
// opened on its contents. GUI thread only.

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace vantrel {

class IPrompts;

class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* parent = nullptr);
    // Shows the manual from its top.
    void ShowManual(const QString& path);
    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

// Help contents: the manual beside the executable in `exeDir`, in the one
// help window of `parent` (made on first use, raised afterwards). A manual
// that is missing, unreadable or not HTML gives message 61457 and false.
bool ShowHelpContents(QWidget* parent, const QString& exeDir, IPrompts& prompts);

}  // namespace vantrel
