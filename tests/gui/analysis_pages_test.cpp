// The Statistics and Graph View pages, the graph widget and the Graph
// Properties dialog, offscreen.

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <thread>

#include "gui/graph_properties_dialog.h"
#include "gui/graph_view_page.h"
#include "gui/statistics_page.h"

using namespace vantrel;

namespace {

CIrpRecord Record(uint32_t major, uint32_t status, float latency, uint32_t tick,
                  uint32_t device = 0x81000000) {
    CIrpRecord r;
    r.GetCapture().DeviceObject = device;
    r.GetCapture().MajorFunction = major;
    r.GetCapture().Status = status;
    r.SetLatency(latency);
    r.SetTickCount(tick);
    return r;
}

QStringList Row(const QTreeWidgetItem* item) {
    QStringList texts;
    for (int c = 0; c < item->columnCount(); ++c) texts << item->text(c);
    return texts;
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The first stream of a PDF file, inflated.
QByteArray FirstStream(const QByteArray& pdf) {
    const qsizetype start = pdf.indexOf("stream\n") + 7;
    const qsizetype end = pdf.indexOf("endstream", start);
    if (start < 7 || end < 0) return {};
    QByteArray zlib = pdf.mid(start, end - start);
    // qUncompress wants the expected size first; it grows past a low guess.
    const uint32_t guess = 1 << 20;
    zlib.prepend(char(guess & 0xFF)).prepend(char(guess >> 8 & 0xFF));
    zlib.prepend(char(guess >> 16 & 0xFF)).prepend(char(guess >> 24));
    return qUncompress(zlib);
}

// A document's worth of state for the pages.
struct Document {
    CRecordList records;
    CRecordColumns columns;
    RecordSelection selection;
    FilterTicks ticks{1000, 0};
    uint32_t now = 11000;
    std::pair<int32_t, int32_t> maxima{100, 10};
    QList<int32_t> shown;
    CGraphModel model;

    AnalysisSource Analysis() {
        return AnalysisSource{&records, &columns, [this] { return selection; }};
    }
    GraphViewSource GraphView() {
        GraphViewSource s;
        s.analysis = Analysis();
        s.ticks = [this] { return ticks; };
        s.now = [this] { return now; };
        s.defaultMaxima = [this] { return maxima; };
        s.showRecord = [this](int32_t i) { shown << i; };
        s.title = [] { return QStringLiteral("run1.vtl"); };
        return s;
    }
};

}  // namespace

class AnalysisPagesTest : public QObject {
    Q_OBJECT
private slots:
    void statisticsPageListsTheRows();
    void statisticsPageFollowsTheSelection();
    void graphViewRefreshPlacesTheTakenRecords();
    void propertiesDialogRoundTrip();
    void dragZoomsAndRightClickUnzooms();
    void clickWithoutMovingDoesNotZoom();
    void doubleClickShowsTheRecord();
    void printsOneA4PageWithTheGraph();
    void printDialogGoesThroughTheRunner();
    void limitsGrownOnAnotherThreadRepaint();
    void axisLimitProfile();
};

void AnalysisPagesTest::statisticsPageListsTheRows() {
    Document doc;
    doc.records.Append(Record(IRP_MJ_READ, 0, 1.0f, 0));
    doc.records.Append(Record(IRP_MJ_READ, 0x103, 2.0f, 0));
    doc.records.Append(Record(IRP_MJ_READ, 0, 3.0f, 0));
    CStatisticsPage page(doc.Analysis());
    QTreeWidget* list = page.List();
    QCOMPARE(list->topLevelItemCount(), 28);
    QCOMPARE(Row(list->headerItem()), QStringList({"Major Code", "Samples", "Avg. Processing Time",
                                                   "Total Processing Time", "% Successful"}));
    // The widths are minimums; a column is never narrower than its heading
    // or its values in the font in use.
    const int widths[] = {200, 55, 120, 120, 80};
    const QFontMetrics fm(list->font());
    for (int c = 0; c < 5; ++c) {
        int widest =
            QFontMetrics(list->header()->font()).horizontalAdvance(list->headerItem()->text(c));
        for (int r = 0; r < list->topLevelItemCount(); ++r)
            widest = std::max(widest, fm.horizontalAdvance(list->topLevelItem(r)->text(c)));
        QVERIFY(list->columnWidth(c) >= std::max(widths[c], widest));
    }
    QCOMPARE(Row(list->topLevelItem(3)),
             QStringList({"IRP_MJ_READ", "3", "2.000", "6.000", "66.67 %"}));
    QCOMPARE(Row(list->topLevelItem(27)), QStringList({"IRP_MJ_PNP", "0", "", "", ""}));
    QVERIFY(!page.findChild<QLabel*>("caption")->isVisibleTo(&page));

    // Records captured since are counted at the next recompute only.
    doc.records.Append(Record(IRP_MJ_WRITE, 0, 4.0f, 0));
    QCOMPARE(list->topLevelItem(4)->text(1), QString("0"));
    page.Recompute();
    QCOMPARE(Row(list->topLevelItem(4)),
             QStringList({"IRP_MJ_WRITE", "1", "4.000", "4.000", "100.00 %"}));
}

void AnalysisPagesTest::statisticsPageFollowsTheSelection() {
    Document doc;
    doc.records.Append(Record(IRP_MJ_READ, 0, 1.0f, 0, 0x1111));
    doc.records.Append(Record(IRP_MJ_CREATE, 0, 1.0f, 0, 0x2222));
    doc.selection.allDevices = false;  // selected-device mode, nothing selected
    CStatisticsPage page(doc.Analysis());
    QCOMPARE(page.List()->topLevelItemCount(), 0);
    doc.selection.device = 0x2222;
    page.Recompute();
    QCOMPARE(page.List()->topLevelItemCount(), 28);
    QCOMPARE(page.List()->topLevelItem(0)->text(1), QString("1"));
    QCOMPARE(page.List()->topLevelItem(3)->text(1), QString("0"));
    doc.selection.device = 0x3333;  // a device without records
    page.Recompute();
    QCOMPARE(page.List()->topLevelItemCount(), 0);
}

void AnalysisPagesTest::graphViewRefreshPlacesTheTakenRecords() {
    Document doc;
    doc.records.Append(Record(IRP_MJ_READ, 0, 5.0f, 3500));
    doc.records.Append(Record(IRP_MJ_READ, 0x103, 50.0f, 3500));  // above the axis
    CGraphViewPage page(doc.model, doc.GraphView());
    QCOMPARE(doc.model.Limits(), (GraphLimits{0, 100, 0, 10}));
    QCOMPARE(doc.model.Texts().title, std::string("IRP Latencies vs. Filter Duration"));
    page.Refresh();
    QCOMPARE(doc.model.SampleCount(), 2);
    QCOMPARE(doc.model.PointCount(), size_t{1});
    QCOMPARE(doc.model.PointAt(0).x, 256);  // 2.5 s into 10 s
    QCOMPARE(doc.model.PointAt(0).y, 384);
    doc.now = 21000;
    page.Refresh();
    QCOMPARE(doc.model.PointAt(0).x, 128);
}

void AnalysisPagesTest::propertiesDialogRoundTrip() {
    Document doc;
    for (int i = 0; i < 3; ++i) doc.records.Append(Record(IRP_MJ_READ, 0, 1.0f, 2000));
    CGraphViewPage page(doc.model, doc.GraphView());
    page.Refresh();
    GraphPropertiesTexts shown;
    page.SetDialogRunner([&](QDialog& d) {
        auto& dialog = dynamic_cast<CGraphPropertiesDialog&>(d);
        shown = dialog.Texts();
        dialog.Field(CGraphPropertiesDialog::kMaxX)->setText("letters");
        dialog.Field(CGraphPropertiesDialog::kMinY)->setText("-2.5");
        dialog.OkButton()->click();
        return dialog.result();
    });
    doc.records.Append(Record(IRP_MJ_READ, 0, 1.0f, 2000));
    page.ShowProperties();
    QCOMPARE(shown.samples, QString("3"));
    QCOMPARE(shown.maxX, QString("100.00"));
    QCOMPARE(shown.maxY, QString("10.00"));
    QCOMPARE(shown.minX, QString("0.00"));
    QCOMPARE(shown.minY, QString("0.00"));
    QCOMPARE(doc.model.Limits(), (GraphLimits{0, 0, -2.5, 10}));
    QCOMPARE(doc.model.SampleCount(), 4);         // refreshed after OK
    QCOMPARE(doc.model.PointCount(), size_t{0});  // equal X limits: nothing drawn

    page.SetDialogRunner([&](QDialog& d) {
        auto& dialog = dynamic_cast<CGraphPropertiesDialog&>(d);
        shown = dialog.Texts();
        dialog.Field(CGraphPropertiesDialog::kMaxY)->setText("99");
        dialog.CancelButton()->click();
        return dialog.result();
    });
    doc.records.Append(Record(IRP_MJ_READ, 0, 1.0f, 2000));
    page.ShowProperties();
    QCOMPARE(shown.maxX, QString("0.00"));
    QCOMPARE(shown.minY, QString("-2.50"));
    QCOMPARE(doc.model.Limits(), (GraphLimits{0, 0, -2.5, 10}));
    QCOMPARE(doc.model.SampleCount(), 5);  // refreshed after Cancel too

    // The default maxima stay: an unzoom goes back to them, not to the typed values.
    doc.model.SetLimits(50, 5, 1, 1);
    page.Refresh();
    QVERIFY(doc.model.Unzoom(doc.maxima.first, doc.maxima.second));
    QCOMPARE(doc.model.Limits(), (GraphLimits{0, 100, 0, 10}));
}

void AnalysisPagesTest::dragZoomsAndRightClickUnzooms() {
    Document doc;
    for (uint32_t i = 0; i < 200; ++i)
        doc.records.Append(Record(IRP_MJ_READ, i % 5 ? 0 : 1, (i % 40) * 0.25f, 1000 + i * 50));
    CGraphViewPage page(doc.model, doc.GraphView());
    page.resize(800, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.Refresh();
    CGraphWidget* graph = page.Graph();
    const GraphGeometry surface = graph->Surface();

    // The zoom the model computes for this rectangle on this surface.
    CGraphModel expected;
    expected.SetLimits(doc.model.Limits());
    expected.AddPoint(doc.model.Extents().largestX, doc.model.Extents().largestY, 1, 0);
    const QPoint from(200, 150), to(500, 400);
    QVERIFY(expected.ZoomTo(from.x(), from.y(), to.x(), to.y(), surface));

    const QImage before = graph->grab().toImage();
    QTest::mousePress(graph, Qt::LeftButton, {}, from);
    QTest::mouseMove(graph, QPoint(300, 300));
    QTest::mouseMove(graph, to);
    // The rubber band inverts what lies under its edges.
    const QImage band = graph->grab().toImage();
    const QPoint edge(from.x(), (from.y() + to.y()) / 2);
    QCOMPARE(band.pixel(edge) & 0xFFFFFF, ~before.pixel(edge) & 0xFFFFFF);
    QCOMPARE(band.pixel(edge.x() + 1, edge.y()), before.pixel(edge.x() + 1, edge.y()));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, to);
    QCOMPARE(doc.model.Limits(), expected.Limits());
    QVERIFY(doc.model.Limits() != (GraphLimits{0, 100, 0, 10}));
    QCOMPARE(doc.model.SampleCount(), 200);  // the page fed the points again
    QCOMPARE(doc.model.PointSize(), expected.PointSize());

    QTest::mouseClick(graph, Qt::RightButton, {}, QPoint(400, 300));
    QCOMPARE(doc.model.Limits(), (GraphLimits{0, 100, 0, 10}));
    QCOMPARE(doc.model.SampleCount(), 200);
    QCOMPARE(doc.model.PointSize(), 2);
}

void AnalysisPagesTest::clickWithoutMovingDoesNotZoom() {
    Document doc;
    doc.records.Append(Record(IRP_MJ_READ, 0, 5.0f, 3500));
    CGraphViewPage page(doc.model, doc.GraphView());
    page.resize(800, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.Refresh();
    CGraphWidget* graph = page.Graph();
    QSignalSpy changed(graph, &CGraphWidget::limitsChanged);
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(200, 200));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(doc.model.Limits(), (GraphLimits{0, 100, 0, 10}));
    // A rectangle 3 pixels wide ends the drag without a zoom.
    QTest::mouseMove(graph, QPoint(203, 400));
    QTest::mouseRelease(graph, Qt::LeftButton, {}, QPoint(203, 400));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(doc.model.Limits(), (GraphLimits{0, 100, 0, 10}));
}

void AnalysisPagesTest::doubleClickShowsTheRecord() {
    Document doc;
    doc.records.Append(Record(IRP_MJ_READ, 0, 2.0f, 2000));
    doc.records.Append(Record(IRP_MJ_READ, 0, 7.0f, 8000));
    CGraphViewPage page(doc.model, doc.GraphView());
    page.resize(800, 600);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.Refresh();
    CGraphWidget* graph = page.Graph();
    const GraphGeometry g = graph->Surface();
    const GraphPoint second = doc.model.PointAt(1);
    QTest::mouseDClick(graph, Qt::LeftButton, {},
                       QPoint(g.SurfaceX(second.x), g.SurfaceY(second.y)));
    QTest::mouseDClick(graph, Qt::LeftButton, {}, QPoint(g.width - 80, 80));
    QCOMPARE(doc.shown, (QList<int32_t>{1, -1}));
}

void AnalysisPagesTest::printsOneA4PageWithTheGraph() {
    Document doc;
    for (uint32_t i = 0; i < 50; ++i)
        doc.records.Append(Record(IRP_MJ_READ, 0, i * 0.2f, 1000 + i * 100));
    CGraphViewPage page(doc.model, doc.GraphView());
    page.Refresh();
    QTemporaryDir dir;
    const QString path = dir.filePath("graph.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QVERIFY(page.Print(printer));
    const QByteArray pdf = ReadFile(path);
    QVERIFY(pdf.startsWith("%PDF-"));
    QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r"), 1);
    QVERIFY(pdf.contains("/MediaBox [0 0 595"));
    // The page's drawing: one 4 x 4 blue square per record, in the page's
    // first (compressed) content stream.
    const QByteArray content = FirstStream(pdf);
    QCOMPARE(content.count(" 4 4 re\nf"), 50);
    QVERIFY(content.contains("0 0 1 scn"));
}

void AnalysisPagesTest::printDialogGoesThroughTheRunner() {
    Document doc;
    doc.records.Append(Record(IRP_MJ_READ, 0, 2.0f, 2000));
    CGraphViewPage page(doc.model, doc.GraphView());
    page.Refresh();
    QTemporaryDir dir;
    const QString path = dir.filePath("dialog.pdf");
    QPageSize chosen;
    page.SetDialogRunner([&](QDialog& d) {
        auto& dialog = dynamic_cast<QPrintDialog&>(d);
        chosen = dialog.printer()->pageLayout().pageSize();
        dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog.printer()->setOutputFileName(path);
        return int(QDialog::Accepted);
    });
    QVERIFY(page.PrintWithDialog());
    QCOMPARE(chosen.id(), QPageSize::A4);
    QVERIFY(ReadFile(path).startsWith("%PDF-"));

    page.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    QVERIFY(!page.PrintWithDialog());
}

void AnalysisPagesTest::limitsGrownOnAnotherThreadRepaint() {
    Document doc;
    doc.records.Append(Record(IRP_MJ_READ, 0, 2.0f, 2000));
    CGraphViewPage page(doc.model, doc.GraphView());
    page.resize(600, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.Refresh();
    std::thread printing([&] {
        for (int y = 11; y < 200; ++y) doc.model.SetMaxY(y);
    });
    printing.join();
    QCoreApplication::processEvents();
    QCOMPARE(doc.model.Limits().maxY, 199.0);
    // The next paint shows the new axis: its image differs from a 0-10 one.
    const QImage grown = page.Graph()->grab().toImage();
    doc.model.SetMaxY(10);
    const QImage original = page.Graph()->grab().toImage();
    QVERIFY(grown != original);
}

void AnalysisPagesTest::axisLimitProfile() {
    QTemporaryDir dir;
    const QString file = dir.filePath("graph.ini");
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.beginGroup("Latency");
        ini.setValue("MaxX", "50.5");
        ini.setValue("MinY", "2junk");
    }
    CGraphModel model(GraphTexts{"Latency", "x", "y"}, 1);
    {
        CGraphWidget graph(model, {}, file);
        // Missing maxima read as 1000.0; a value takes its leading number.
        QCOMPARE(model.Limits(), (GraphLimits{0, 50.5, 2, 1000}));
        model.SetLimits(47.5, 7.25, 12, 0.001);
    }
    QSettings ini(file, QSettings::IniFormat);
    QCOMPARE(ini.value("Latency/MaxX").toString(), QString("47.5"));
    QCOMPARE(ini.value("Latency/MaxY").toString(), QString("7.25"));
    QCOMPARE(ini.value("Latency/MinX").toString(), QString("12"));
    QCOMPARE(ini.value("Latency/MinY").toString(), QString("0.001"));

    // No file name: nothing read, nothing written.
    CGraphModel other(GraphTexts{"Latency", "x", "y"}, 1);
    other.SetLimits(10, 10, 0, 0);
    { CGraphWidget graph(other, {}, QString()); }
    QCOMPARE(other.Limits(), (GraphLimits{0, 10, 0, 10}));
}

QTEST_MAIN(AnalysisPagesTest)
#include "analysis_pages_test.moc"
