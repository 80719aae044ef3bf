#include "gui/qt_prompts.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "document/string_table.h"
#include "gui/qt_text.h"

namespace vantrel {
namespace {

QMessageBox::Icon BoxIconOf(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Question:
            return QMessageBox::Question;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// One name filter; the name usually shows its patterns already.
QString NameFilter(const QString& name, const QString& patterns) {
    QString qtPatterns = patterns;
    qtPatterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    if (name.endsWith(QLatin1Char('(') + qtPatterns + QLatin1Char(')'))) return name;
    if (name.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')'))) {
        return name.left(name.size() - patterns.size() - 1) + qtPatterns + QLatin1Char(')');
    }
    return name + QStringLiteral(" (") + qtPatterns + QLatin1Char(')');
}

// A text of the program's own (UTF-8, CR LF or LF line ends) as box lines.
QString BoxLines(std::string_view text) {
    QString lines = QString::fromUtf8(text.data(), qsizetype(text.size()));
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return lines;
}

}  // namespace

QStringList QtNameFilters(std::string_view filter) {
    const QStringList parts = FromBytes(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;  // the "||" that ends the list
        filters << NameFilter(parts[i], parts[i + 1]);
    }
    return filters;
}

std::unique_ptr<QMessageBox> CQtPrompts::MakeMessageBox(QWidget* parent, const QString& text,
                                                        BoxIcon icon) {
    auto box = std::make_unique<QMessageBox>(BoxIconOf(icon), FromBytes(LoadString(IDS_APP_NAME)),
                                             text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

std::unique_ptr<QMessageBox> CQtPrompts::MakeQuestionBox(QWidget* parent, const QString& text,
                                                         BoxIcon icon) {
    auto box = MakeMessageBox(parent, text, icon);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    return box;
}

void CQtPrompts::MessageById(uint32_t stringId, BoxIcon icon) {
    MakeMessageBox(m_parent, MessageLines(LoadString(stringId)), icon)->exec();
}

void CQtPrompts::MessageText(std::string_view text, BoxIcon icon) {
    MakeMessageBox(m_parent, BoxLines(text), icon)->exec();
}

bool CQtPrompts::AskYesNo(std::string_view text, BoxIcon icon) {
    return MakeQuestionBox(m_parent, BoxLines(text), icon)->exec() == QMessageBox::Yes;
}

std::unique_ptr<QFileDialog> CQtPrompts::MakeFileDialog(QWidget* parent,
                                                        const FileDialogRequest& request) {
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowTitle(request.save ? QStringLiteral("Save As") : QStringLiteral("Open"));
    dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setNameFilters(QtNameFilters(request.filter));
    QString suffix = FromBytes(request.defaultExtension);
    if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
    dialog->setDefaultSuffix(suffix);
    if (!request.initialPath.empty()) {
        // The last test's full path, or a folder: the dialog starts in its folder.
        const QFileInfo initial(QFile::decodeName(request.initialPath.c_str()));
        dialog->setDirectory(initial.isDir() ? initial.absoluteFilePath() : initial.absolutePath());
    }
    return dialog;
}

std::optional<std::string> CQtPrompts::AskFile(const FileDialogRequest& request) {
    const std::unique_ptr<QFileDialog> dialog = MakeFileDialog(m_parent, request);
    if (dialog->exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return QFile::encodeName(QDir::toNativeSeparators(files.front())).toStdString();
}

}  // namespace vantrel
