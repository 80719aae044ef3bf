#include "gui/help_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "document/prompts.h"
#include "document/string_table.h"
#include "gui/qt_text.h"

namespace vantrel {
namespace {

// The first bytes of a manual that can be shown.
bool LooksLikeManual(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(4096).toLower();
    return head.contains("<html");
}

}  // namespace

CHelpWindow::CHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Vantrel Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Help contents"));
    m_browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(760, 620);
}

void CHelpWindow::ShowManual(const QString& path) {
    m_browser->setSource(QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(path).absoluteFilePath())));
}

bool ShowHelpContents(QWidget* parent, const QString& exeDir, IPrompts& prompts) {
    const QString path = QDir(exeDir).filePath(FromBytes(LoadString(IDS_HELP_FILE)));
    if (!LooksLikeManual(path)) {
        prompts.MessageById(IDS_HELP_MISSING, BoxIcon::Warning);
        return false;
    }
    CHelpWindow* window =
        parent ? parent->findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!window) window = new CHelpWindow(parent);
    window->ShowManual(path);
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

}  // namespace vantrel
