#pragma once
// The results pane: the decoded IRP blocks and the filter notices, as text
// the user may select, copy and edit.
//
// Threads: AppendText and ClearText may be called from any thread (the
// printing thread above all) and never wait for the GUI thread. They queue
// under a small mutex; the GUI thread applies the queue in batches on a
// ~40 ms timer, at most ~8 ms of work per tick, or all at once when the
// caller is the GUI thread itself. A clear drops the appends queued before
// it, which nobody would ever have seen, so the pane ends up exactly as
// one-by-one delivery would leave it. Everything else (the text, the font,
// the context menu, the edit commands) belongs to the GUI thread. The pane
// must outlive its callers: stop the printing thread before destroying it.
// A lone CR in a text breaks the line as CR LF does.

#include <QPlainTextEdit>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "capture/results_sink.h"

class QMenu;

namespace vantrel {

class CMyEditView : public QPlainTextEdit, public IResultsSink {
    Q_OBJECT
public:
    // The most characters the pane holds (line breaks count one each).
    static constexpr int kMaxCharacters = 16777215;
    static constexpr int kApplyIntervalMs = 40;
    // The most one tick spends on the text; what is left waits for the next
    // tick (or for a clear that makes it moot), so the GUI thread never
    // stalls long however fast blocks come.
    static constexpr qint64 kTickBudgetNs = 8'000'000;

    explicit CMyEditView(QWidget* parent = nullptr);
    ~CMyEditView() override;

    // IResultsSink: any thread, never blocks on the GUI thread. Lines end in
    // "\r\n"; the pane shows them as lines. Colour 0 is an IRP block whose
    // first three lines are green when the third carries "STATUS_SUCCESS",
    // red otherwise, and black after; any other colour colours the whole text.
    void AppendText(std::string_view text, Colour colour) override;
    void ClearText() override;

    // GUI thread: applies everything queued so far (the timer does this by
    // itself; tests and the close path call it directly).
    void ApplyPendingNow();

    // GUI thread: characters shown, a line break counting one (the Clear
    // command is enabled while this is not 0).
    int TextLength() const;

    // The menu shown at the pointer when the right button is released over
    // the pane; not owned, may be null. Its owner keeps its entries' states.
    void SetContextMenu(QMenu* menu) { m_contextMenu = menu; }
    QMenu* ContextMenu() const { return m_contextMenu; }

    // Blocks that a later clear removed before they were ever shown.
    uint64_t DroppedBlocks() const { return m_dropped.load(std::memory_order_relaxed); }

signals:
    // After a batch of queued operations has reached the text (GUI thread).
    void pendingApplied();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // The caller's bytes: converting only what survives the next clear keeps
    // the printing thread's share small.
    struct PendingText {
        std::string bytes;
        Colour colour = 0;
    };

    void ApplyFont();
    void Schedule();
    void ApplyTick();
    // Applies the queue until done or until the budget is spent; true when done.
    bool ApplyPending(qint64 budgetNs);
    bool KeepUnapplied(std::vector<PendingText>& blocks, size_t applied);
    void InsertBlock(QTextCursor& cursor, const PendingText& block);
    int Room() const { return kMaxCharacters - TextLength(); }

    std::mutex m_mutex;
    bool m_clearPending = false;         // guarded by m_mutex
    std::vector<PendingText> m_pending;  // guarded by m_mutex: appends after that clear
    bool m_scheduled = false;            // guarded by m_mutex: a tick is on its way
    std::atomic<uint64_t> m_dropped{0};

    QTimer m_applyTimer;
    QMenu* m_contextMenu = nullptr;
};

}  // namespace vantrel
