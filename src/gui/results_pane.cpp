#include "gui/results_pane.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
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
#include <iterator>
#include <limits>

#include "document/string_table.h"
#include "gui/qt_text.h"

namespace vantrel {
namespace {

constexpr int kHeaderLines = 3;
constexpr int kTabStopCharacters = 8;
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

struct HeaderSpan {
    int length = 0;  // characters from the block's start
    bool success = false;
};

// The first three lines of `lines`, each counted with its line break and
// read at most kLineReadLimit characters long; the third decides the colour.
HeaderSpan MeasureHeader(const QString& lines) {
    HeaderSpan header;
    qsizetype start = 0;
    for (int i = 0; i < kHeaderLines; ++i) {
        const qsizetype end = lines.indexOf(QLatin1Char('\n'), start);
        const qsizetype length = (end < 0 ? lines.size() : end) - start;
        const QStringView line =
            QStringView(lines).mid(start, std::min<qsizetype>(length, kLineReadLimit));
        if (i == kHeaderLines - 1) header.success = line.contains(QLatin1String("STATUS_SUCCESS"));
        header.length += int(std::min<qsizetype>(length + (end < 0 ? 0 : 1), kLineReadLimit));
        if (end < 0) break;  // the last line: there are no more
        start = end + 1;
    }
    return header;
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
    // Tab stops every eight characters of the pane's font, where the text
    // blocks' header labels and the "=" signs of the structures line up.
    setTabStopDistance(kTabStopCharacters *
                       QFontMetricsF(font()).horizontalAdvance(QLatin1Char('x')));

    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(kApplyIntervalMs);
    connect(&m_applyTimer, &QTimer::timeout, this, &CMyEditView::ApplyTick);
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
    PendingText block{std::string(text), colour};
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
    ApplyPending(std::numeric_limits<qint64>::max());
}

void CMyEditView::ApplyTick() {
    if (!ApplyPending(kTickBudgetNs)) m_applyTimer.start();
}

bool CMyEditView::ApplyPending(qint64 budgetNs) {
    bool clear = false;
    std::vector<PendingText> blocks;
    {
        std::lock_guard lock(m_mutex);
        clear = m_clearPending;
        blocks.swap(m_pending);
        m_clearPending = false;
        m_scheduled = false;
    }
    if (!clear && blocks.empty()) return true;

    QElapsedTimer clock;
    clock.start();
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
    size_t applied = 0;
    while (applied < blocks.size() && clock.nsecsElapsed() < budgetNs) {
        InsertBlock(cursor, blocks[applied++]);
    }
    cursor.endEditBlock();
    doc->setUndoRedoEnabled(true);

    // The caret follows the text, as it does after each insert at the end.
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    ensureCursorVisible();
    emit pendingApplied();
    return applied == blocks.size() || !KeepUnapplied(blocks, applied);
}

// Puts the blocks a tick had no time for back in front of the queue, unless
// a clear came meanwhile and made them moot. True when some went back.
bool CMyEditView::KeepUnapplied(std::vector<PendingText>& blocks, size_t applied) {
    std::lock_guard lock(m_mutex);
    if (m_clearPending) {
        m_dropped.fetch_add(blocks.size() - applied, std::memory_order_relaxed);
        return false;
    }
    blocks.erase(blocks.begin(), blocks.begin() + std::ptrdiff_t(applied));
    blocks.insert(blocks.end(), std::make_move_iterator(m_pending.begin()),
                  std::make_move_iterator(m_pending.end()));
    m_pending.swap(blocks);
    return true;
}

void CMyEditView::InsertBlock(QTextCursor& cursor, const PendingText& block) {
    const int room = Room();
    if (room <= 0) return;
    QString text = PaneText(block.bytes);
    if (text.size() > room) text.truncate(room);
    cursor.movePosition(QTextCursor::End);
    if (block.colour != kIrpBlockColour) {
        cursor.insertText(text, ColourOnly(FromColour(block.colour)));
        return;
    }
    // The header is measured from the start of the line the block begins
    // on, which is the text's own first line unless the pane's last line
    // was left open.
    const HeaderSpan header = MeasureHeader(cursor.block().text() + text);
    const qsizetype headerLength = std::min<qsizetype>(header.length, text.size());
    cursor.insertText(text.left(headerLength), ColourOnly(header.success ? kGreen : kRed));
    cursor.insertText(text.mid(headerLength), ColourOnly(kBlack));
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
