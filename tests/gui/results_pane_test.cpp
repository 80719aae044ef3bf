// The results pane: colours of IRP blocks and notices, text kept as given,
// batched delivery from another thread equal to one-by-one delivery, undo,
// the size cap and the context menu.

#include "gui/results_pane.h"

#include <QApplication>
#include <QFontInfo>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/gui_doubles.h"

using namespace vantrel;

namespace {

const QColor kGreen(0, 127, 0);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
const QColor kGrey(127, 127, 127);

std::string Block(uint32_t deviceObject, const char* status, const char* extra = "") {
    char text[512];
    std::snprintf(text, sizeof text,
                  "IRP Monitor Data\r\n    PDEVICE_OBJECT:\t\t0x%.8x\r\n    NTSTATUS:\t\t\t%s\r\n"
                  "%s    Major Code:\t\t\tIRP_MJ_READ\r\n"
                  "-------------------------------------------------\r\n",
                  deviceObject, status, extra);
    return text;
}

std::string Notice(uint32_t deviceObject) {
    char text[128];
    std::snprintf(text, sizeof text, "Filter for PDEVICE_OBJECT 0x%.8x has been updated\r\n",
                  deviceObject);
    return text;
}

// The text with its colour, run by run (adjacent characters of one colour
// form one run).
struct Run {
    QString text;
    QRgb colour;
    bool operator==(const Run&) const = default;
};

std::vector<Run> Runs(const QTextDocument& doc) {
    std::vector<Run> runs;
    auto add = [&](const QString& text, QRgb colour) {
        if (text.isEmpty()) return;
        if (!runs.empty() && runs.back().colour == colour) {
            runs.back().text += text;
        } else {
            runs.push_back({text, colour});
        }
    };
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            add(fragment.text(), fragment.charFormat().foreground().color().rgb());
        }
        // A line break shows no colour.
        if (block.next().isValid()) add(QStringLiteral("\n"), 0);
    }
    return runs;
}

// Colour of every character of line `line`.
std::vector<QRgb> LineColours(const QTextDocument& doc, int line) {
    std::vector<QRgb> colours;
    const QTextBlock block = doc.findBlockByNumber(line);
    for (int i = 0; i < block.length() - 1; ++i) {
        QTextCursor cursor(block);
        cursor.setPosition(block.position() + i + 1);
        colours.push_back(cursor.charFormat().foreground().color().rgb());
    }
    return colours;
}

bool LineIs(const QTextDocument& doc, int line, const QColor& colour) {
    const std::vector<QRgb> colours = LineColours(doc, line);
    return !colours.empty() &&
           std::all_of(colours.begin(), colours.end(), [&](QRgb c) { return c == colour.rgb(); });
}

QString Shown(std::string text) {
    QString shown = QString::fromLatin1(text.data(), qsizetype(text.size()));
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

// One scripted stream of pane operations, as the printing thread and the
// filter notices produce them: blocks, a clear after every 250 blocks, a
// notice now and then.
struct Op {
    bool clear = false;
    std::string text;
    Colour colour = 0;
};

std::vector<Op> Stream(size_t blocks, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Op> ops;
    size_t printed = 0;
    for (size_t i = 0; i < blocks; ++i) {
        if (printed > 250) {
            ops.push_back({true, {}, 0});
            printed = 0;
        }
        if (random() % 40 == 0) ops.push_back({false, Notice(uint32_t(random())), kNoticeGrey});
        const char* status = random() % 3 ? "STATUS_SUCCESS" : "STATUS_ACCESS_DENIED";
        ops.push_back({false, Block(0x8A000000u + uint32_t(i), status), 0});
        ++printed;
    }
    return ops;
}

void Deliver(IResultsSink& sink, const Op& op) {
    if (op.clear) {
        sink.ClearText();
    } else {
        sink.AppendText(op.text, op.colour);
    }
}

}  // namespace

class ResultsPaneTest : public QObject {
    Q_OBJECT
private slots:
    void successBlockHasGreenHeaderAndBlackBody() {
        CMyEditView pane;
        pane.AppendText(Block(0x8A3E6030, "STATUS_SUCCESS"), kIrpBlockColour);
        const QTextDocument& doc = *pane.document();
        QCOMPARE(doc.blockCount(), 6);  // five lines and the empty line after the last break
        for (int line = 0; line < 3; ++line)
            QVERIFY2(LineIs(doc, line, kGreen), qPrintable(QString::number(line)));
        QVERIFY(LineIs(doc, 3, kBlack));
        QVERIFY(LineIs(doc, 4, kBlack));
    }

    void anyOtherStatusGivesARedHeader() {
        CMyEditView pane;
        pane.AppendText(Block(1, "STATUS_ACCESS_DENIED"), 0);
        // The third line decides: "STATUS_SUCCESS" further down does not count.
        pane.AppendText(Block(2, "0xc0000022", "    Description:\t\tSTATUS_SUCCESS\r\n"), 0);
        pane.AppendText(Block(3, "STATUS_SUCCESS"), 0);
        const QTextDocument& doc = *pane.document();
        for (int line = 0; line < 3; ++line) QVERIFY(LineIs(doc, line, kRed));
        for (int line = 5; line < 8; ++line) QVERIFY(LineIs(doc, line, kRed));
        QVERIFY(LineIs(doc, 8, kBlack));  // the description line
        for (int line = 11; line < 14; ++line) QVERIFY(LineIs(doc, line, kGreen));
        QVERIFY(LineIs(doc, 14, kBlack));
    }

    void noticesAreGreyThroughoutAndLeaveBlocksAlone() {
        CMyEditView pane;
        pane.AppendText(Block(1, "STATUS_SUCCESS"), 0);
        pane.AppendText(Notice(0x8A3E6030), kNoticeGrey);
        pane.AppendText(Block(2, "STATUS_PENDING"), 0);
        const QTextDocument& doc = *pane.document();
        QVERIFY(LineIs(doc, 0, kGreen));
        QCOMPARE(doc.findBlockByNumber(5).text(),
                 QStringLiteral("Filter for PDEVICE_OBJECT 0x8a3e6030 has been updated"));
        QVERIFY(LineIs(doc, 5, kGrey));
        for (int line = 6; line < 9; ++line) QVERIFY(LineIs(doc, line, kRed));
        QVERIFY(LineIs(doc, 9, kBlack));
        pane.resize(640, 360);
        guitest::SaveShot(pane, QStringLiteral("results_pane"));
    }

    void showsExactlyWhatItIsGivenInOrder() {
        CMyEditView pane;
        const std::string name = "    Object Name:\t\t\\Device\\Caf\xe9\r\n";
        const std::vector<std::string> texts = {Block(1, "STATUS_SUCCESS", name.c_str()), Notice(7),
                                                Block(2, "STATUS_PENDING")};
        std::string all;
        for (const std::string& text : texts) {
            pane.AppendText(text, text == texts[1] ? kNoticeGrey : 0);
            all += text;
        }
        QCOMPARE(pane.toPlainText(), Shown(all));
        QCOMPARE(pane.TextLength(), Shown(all).size());
        QVERIFY(pane.toPlainText().contains(QStringLiteral("\\Device\\Caf\u00e9")));

        const QString before = pane.toPlainText();
        pane.AppendText("", 0);  // nothing at all
        QCOMPARE(pane.toPlainText(), before);
        pane.ClearText();
        QCOMPARE(pane.TextLength(), 0);
        pane.AppendText(Block(3, "STATUS_SUCCESS"), 0);
        QVERIFY(LineIs(*pane.document(), 0, kGreen));
    }

    void batchedDeliveryFromAWorkerEqualsOneByOne() {
        const std::vector<Op> ops = Stream(1000, 11);
        CMyEditView reference;
        for (const Op& op : ops) Deliver(reference, op);  // GUI thread: applied one by one

        CMyEditView pane;
        int batches = 0;
        connect(&pane, &CMyEditView::pendingApplied, [&] { ++batches; });
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (size_t i = 0; i < ops.size(); ++i) {
                Deliver(pane, ops[i]);
                if (i % 100 == 99) std::this_thread::sleep_for(std::chrono::milliseconds(15));
            }
            done = true;
        });
        while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        worker.join();
        QTRY_COMPARE_WITH_TIMEOUT(pane.toPlainText(), reference.toPlainText(), 2000);
        QVERIFY(Runs(*pane.document()) == Runs(*reference.document()));
        QVERIFY2(batches >= 3 && batches < 200, qPrintable(QString::number(batches)));
    }

    void aClearDropsQueuedBlocksUnseen() {
        const std::vector<Op> ops = Stream(1000, 5);
        CMyEditView reference;
        for (const Op& op : ops) Deliver(reference, op);

        CMyEditView pane;
        int changes = 0;
        connect(pane.document(), &QTextDocument::contentsChange, [&] { ++changes; });
        // The GUI thread is busy joining: everything queues before one tick.
        std::thread worker([&] {
            for (const Op& op : ops) Deliver(pane, op);
        });
        worker.join();
        const auto lastClear =
            std::find_if(ops.rbegin(), ops.rend(), [](const Op& op) { return op.clear; });
        const size_t survivors = size_t(lastClear - ops.rbegin());
        const auto clears =
            size_t(std::count_if(ops.begin(), ops.end(), [](const Op& op) { return op.clear; }));
        QCOMPARE(clears, size_t(3));
        QCOMPARE(pane.DroppedBlocks(), uint64_t(ops.size() - survivors - clears));
        pane.ApplyPendingNow();
        QCOMPARE(pane.toPlainText(), reference.toPlainText());
        QVERIFY(Runs(*pane.document()) == Runs(*reference.document()));
        // One edit block: the clear and the survivors, not 1000 inserts.
        QVERIFY2(changes <= int(survivors) * 2 + 2, qPrintable(QString::number(changes)));
    }

    void aBacklogReachesTheTextOverSeveralTicksInOrder() {
        std::vector<Op> ops;
        for (uint32_t i = 0; i < 3000; ++i) {
            ops.push_back({false, Block(i, i % 2 ? "STATUS_SUCCESS" : "STATUS_PENDING"), 0});
        }
        CMyEditView reference;
        for (const Op& op : ops) Deliver(reference, op);

        CMyEditView pane;
        int ticks = 0;
        connect(&pane, &CMyEditView::pendingApplied, [&] { ++ticks; });
        std::thread([&] {
            for (const Op& op : ops) Deliver(pane, op);
        }).join();
        QTRY_COMPARE_WITH_TIMEOUT(pane.toPlainText(), reference.toPlainText(), 10000);
        QVERIFY(Runs(*pane.document()) == Runs(*reference.document()));
        QVERIFY2(ticks >= 2, qPrintable(QString::number(ticks)));  // no single long stall

        // A clear that comes while part of the backlog still waits drops it.
        const int before = ticks;
        std::thread([&] {
            for (const Op& op : ops) Deliver(pane, op);
        }).join();
        QTRY_VERIFY(ticks > before);
        const uint64_t dropped = pane.DroppedBlocks();
        std::thread([&] {
            pane.ClearText();
            pane.AppendText(Notice(9), kNoticeGrey);
        }).join();
        QTRY_COMPARE(pane.toPlainText(), Shown(Notice(9)));
        QVERIFY(pane.DroppedBlocks() > dropped);
    }

    void undoTakesBackOnlyTheUsersEditsSinceTheLastAppend() {
        CMyEditView pane;
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        pane.AppendText(Block(1, "STATUS_SUCCESS"), 0);
        QVERIFY(!pane.document()->isUndoAvailable());
        const QString afterAppend = pane.toPlainText();

        pane.moveCursor(QTextCursor::End);
        QTest::keyClicks(&pane, "abc");
        QVERIFY(pane.document()->isUndoAvailable());
        pane.undo();
        QCOMPARE(pane.toPlainText(), afterAppend);

        QTest::keyClicks(&pane, "xyz");
        pane.AppendText(Notice(2), kNoticeGrey);
        QVERIFY(!pane.document()->isUndoAvailable());
        pane.undo();
        QVERIFY(pane.toPlainText().contains(QStringLiteral("xyz")));

        pane.ClearText();
        QCOMPARE(pane.TextLength(), 0);
        QVERIFY(!pane.document()->isUndoAvailable());
    }

    void textStopsAtTheCap() {
        CMyEditView pane;
        const std::string line(999, 'x');
        std::string chunk;
        for (int i = 0; i < 1000; ++i) chunk += line + "\r\n";  // 1,000,000 characters shown
        for (int i = 0; i < 17; ++i) pane.AppendText(chunk, kNoticeGrey);
        QCOMPARE(pane.TextLength(), CMyEditView::kMaxCharacters);
        pane.AppendText(Notice(1), kNoticeGrey);
        QCOMPARE(pane.TextLength(), CMyEditView::kMaxCharacters);
        pane.ClearText();
        QCOMPARE(pane.TextLength(), 0);
    }

    void fontIsFixedPitch() {
        CMyEditView pane;
        QVERIFY(QFontInfo(pane.font()).fixedPitch());
    }

    void rightButtonReleaseShowsTheMenuAtThePointer() {
        CMyEditView pane;
        pane.resize(400, 300);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QMenu menu;
        menu.addAction(QStringLiteral("&Properties..."));
        menu.addAction(QStringLiteral("&Clear"))->setEnabled(false);
        pane.SetContextMenu(&menu);

        QPoint shownAt;
        bool shown = false;
        QTimer::singleShot(50, [&] {
            shown = QApplication::activePopupWidget() == &menu;
            shownAt = menu.pos();
            menu.close();
        });
        const QPoint click(40, 30);
        QTest::mousePress(pane.viewport(), Qt::RightButton, {}, click);
        QVERIFY(!shown);  // not on the press
        QTest::mouseRelease(pane.viewport(), Qt::RightButton, {}, click);
        QVERIFY(shown);
        QCOMPARE(shownAt, pane.viewport()->mapToGlobal(click));
    }
};

QTEST_MAIN(ResultsPaneTest)
#include "results_pane_test.moc"
