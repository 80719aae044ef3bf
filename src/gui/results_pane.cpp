#include "gui/results_pane.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <algorithm>

#include "document/string_table.h"
#include "gui/qt_text.h"

namespace vantrel {
namespace {

constexpr int kHeaderLines = 3;
constexpr int kTabStopCharacters = 6;
// A line is read into a buffer of this many characters when the header is
// measured and searched.
constexpr int kLineReadLimit = 256;
const QColor kGreen(0, 127, 0);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

QColor FromColour(Colour colour) {
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

QTextCharFormat ColourOnly(const QColor& colour) {
    QTextCharFormat format;
    format.setForeground(colour);
    return format;
}

// The text as the pane holds it: each "\r\n" becomes one line break, every
// other byte stays as it is.
QString PaneText(std::string_view bytes) {
    QString text = FromBytes(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

bool IsPrintableKey(const QKeyEvent* event) {
    const QString text = event->text();
    return !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == QLatin1Char('\r') ||
                               text.at(0) == QLatin1Char('\t'));
}

}  // namespace

CMyEditView::CMyEditView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("resultsPane"));
    setAccessibleName(QStringLiteral("Results"));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ApplyFont();
    // Tab stops every six characters, where the text blocks' columns line up
    // (half an inch of 10-point Courier).
    setTabStopDistance(kTabStopCharacters *
                       QFontMetricsF(font()).horizontalAdvance(QLatin1Char('x')));

    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(kApplyIntervalMs);
    connect(&m_applyTimer, &QTimer::timeout, this, &CMyEditView::ApplyPendingNow);
}

CMyEditView::~CMyEditView() = default;

void CMyEditView::ApplyFont() {
    QFont pane = font();
    pane.setFamily(FromBytes(LoadString(IDS_RESULTS_FONT)));
    pane.setWeight(QFont::Normal);
    pane.setStyleHint(QFont::TypeWriter);
    pane.setFixedPitch(true);
    if (!QFontInfo(pane).family().startsWith(pane.family(), Qt::CaseInsensitive)) {
        // No Courier here: the system's fixed font, at the pane's size.
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        if (pane.pointSizeF() > 0) fixed.setPointSizeF(pane.pointSizeF());
        fixed.setWeight(QFont::Normal);
        pane = fixed;
    }
    setFont(pane);
}

void CMyEditView::AppendText(std::string_view text, Colour colour) {
    if (text.empty()) return;
    PendingText block{PaneText(text), colour};
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::move(block));
    }
    Schedule();
}

void CMyEditView::ClearText() {
    {
        std::lock_guard lock(m_mutex);
        m_dropped.fetch_add(m_pending.size(), std::memory_order_relaxed);
        m_pending.clear();
        m_clearPending = true;
    }
    Schedule();
}

void CMyEditView::Schedule() {
    if (QThread::currentThread() == thread()) {
        // The GUI thread's own calls take effect at once, as a command expects.
        ApplyPendingNow();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_scheduled) return;
        m_scheduled = true;
    }
    // One posted call per batch; the timer then gathers what follows.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_applyTimer.isActive()) m_applyTimer.start();
        },
        Qt::QueuedConnection);
}

void CMyEditView::ApplyPendingNow() {
    bool clear = false;
    std::vector<PendingText> blocks;
    {
        std::lock_guard lock(m_mutex);
        clear = m_clearPending;
        blocks.swap(m_pending);
        m_clearPending = false;
        m_scheduled = false;
    }
    if (!clear && blocks.empty()) return;

    QTextDocument* doc = document();
    // Text put in by the program cannot be undone; switching undo off and on
    // again also empties the history, so Undo only takes back the user's own
    // edits made since.
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    if (clear) {
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
    }
    for (const PendingText& block : blocks) InsertBlock(cursor, block);
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(true);

    // The caret follows the text, as it does after each insert at the end.
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    ensureCursorVisible();
    emit pendingApplied();
}

void CMyEditView::InsertBlock(QTextCursor& cursor, const PendingText& block) {
    const int room = Room();
    if (room <= 0) return;
    const int start = TextLength();
    cursor.setPosition(start);
    const QColor colour = block.colour == kIrpBlockColour ? kBlack : FromColour(block.colour);
    if (block.text.size() > room) {
        cursor.insertText(block.text.left(room), ColourOnly(colour));
    } else {
        cursor.insertText(block.text, ColourOnly(colour));
    }
    if (block.colour == kIrpBlockColour) ColourHeader(cursor, start);
}

// The header is measured from the line that holds the block's first
// character: three lines, each counted with its line break, and the third
// decides the colour.
void CMyEditView::ColourHeader(QTextCursor& cursor, int start) {
    QTextBlock line = document()->findBlock(start);
    bool success = false;
    int length = 0;
    for (int i = 0; i < kHeaderLines && line.isValid(); ++i, line = line.next()) {
        const int withBreak = line.length() - (line.next().isValid() ? 0 : 1);
        length += std::min(withBreak, kLineReadLimit);
        if (i == kHeaderLines - 1) {
            success = line.text().left(kLineReadLimit).contains(QLatin1String("STATUS_SUCCESS"));
        }
    }
    cursor.setPosition(start);
    cursor.setPosition(std::min(start + length, TextLength()), QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(ColourOnly(success ? kGreen : kRed));
    cursor.clearSelection();
}

int CMyEditView::TextLength() const {
    return document()->characterCount() - 1;
}

void CMyEditView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && m_contextMenu) {
        m_contextMenu->exec(event->globalPosition().toPoint());
    }
    QPlainTextEdit::mouseReleaseEvent(event);
}

void CMyEditView::contextMenuEvent(QContextMenuEvent* event) {
    // The pane's menu comes with the right button's release, never the
    // editor's own menu.
    event->accept();
}

void CMyEditView::keyPressEvent(QKeyEvent* event) {
    if (IsPrintableKey(event) && !textCursor().hasSelection() && Room() <= 0) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CMyEditView::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText()) return;
    const int room = Room() + int(textCursor().selectedText().size());
    QString text = source->text();
    if (text.size() > room) text.truncate(std::max(room, 0));
    textCursor().insertText(text);
}

}  // namespace vantrel
