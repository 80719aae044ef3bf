// vantrel-cli graph: the Graph View of a saved test drawn by the graph
// painter, as a PNG image (screen look) or a one-page A4 PDF (the printed
// page with its footers). Needs QtGui only: without a display it draws on
// the offscreen platform.

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "cli/cli_analysis.h"
#include "cli/cli_output.h"
#include "cli/cli_signals.h"
#include "plot/graph_painter.h"

namespace vantrel::cli {
namespace {

constexpr char kUsage[] =
    "graph FILE.vtl --output OUT.png|OUT.pdf [--width W --height H] [--now TICK]";
constexpr int kMinWidth = 300, kMinHeight = 200, kMaxSide = 16384;

int Usage(const std::string& why) {
    return Fail(kExitUsage, why + "; usage: " + kUsage);
}

// Fonts need a GUI application; a command-line program never shows a
// window, so the offscreen platform serves wherever no other is asked for.
// The application lives on the caller's stack: destroyed after static
// objects, it would outlive the Qt state it depends on.
struct GuiApp {
    int argc = 1;
    char name[12] = "vantrel-cli";
    char* argv[2] = {name, nullptr};
    std::optional<QGuiApplication> app;
    GuiApp() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app.emplace(argc, argv);
    }
};

bool WritePng(QIODevice& out, const CGraphModel& model, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        CGraphPainter().Paint(painter, model, width, height, GraphPaintStyle{});
    }
    return image.save(&out, "PNG");
}

bool WritePdf(QIODevice& out, const QString& title, const CGraphModel& model) {
    QPdfWriter writer(&out);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Vantrel"));
    return PrintGraph(writer, model, GraphLeftFooter(title), GraphRightFooter());
}

}  // namespace

int CmdGraph(const Args& args) {
    std::string file, output;
    std::optional<uint32_t> now, width, height;
    COnceOptions once;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--output" || a == "--width" || a == "--height" || a == "--now") {
            if (i + 1 >= args.size()) return Usage(a + " needs a value");
            if (!once.First(a, kUsage)) return kExitUsage;
            const std::string& v = args[++i];
            if (a == "--output") {
                output = v;
                continue;
            }
            const auto n = ParseU32(v);
            if (!n) return Fail(kExitBadInput, "not a number: " + v);
            (a == "--width" ? width : a == "--height" ? height : now) = *n;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return Usage("one test file only");
        }
    }
    if (file.empty()) return Usage("no test file");
    if (output.empty()) return Usage("no --output file");
    const QString out = QString::fromLocal8Bit(output.c_str());
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != "png" && suffix != "pdf") return Usage("the output must end in .png or .pdf");
    if (suffix == "pdf" && (width || height))
        return Usage("--width and --height apply to PNG only; a PDF is an A4 page");
    const int w = static_cast<int>(width.value_or(1024)),
              h = static_cast<int>(height.value_or(768));
    if (w < kMinWidth || h < kMinHeight || w > kMaxSide || h > kMaxSide)
        return Fail(kExitBadInput, "the image must be 300 x 200 to 16384 x 16384 pixels");

    std::string error;
    CClaimedOutput claim;
    if (!claim.Claim(output, error, {file})) return Fail(kExitBadInput, error);
    const CRemovePartOnSignal removeOnSignal(claim.TempPath());
    CGraphModel model;
    if (!LoadTestGraph(file, RecordSelection{}, now, std::nullopt, model, error))
        return Fail(kExitBadInput, error);

    GuiApp gui;
    // Drawn in memory, then written to the claimed output as any other
    // output is, so that a device or pipe gets the bytes in place.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        const QString title = QFileInfo(QString::fromLocal8Bit(file.c_str())).fileName();
        const bool drawn =
            suffix == "png" ? WritePng(buffer, model, w, h) : WritePdf(buffer, title, model);
        if (!drawn) return Fail(kExitBadInput, "cannot write " + output);
    }
    const auto size = static_cast<size_t>(bytes.size());
    if (std::fwrite(bytes.constData(), 1, size, claim.Stream()) != size ||
        std::fflush(claim.Stream()) != 0)
        return Fail(kExitBadInput,
                    output + ": cannot write the file: " + std::generic_category().message(errno));
    if (!claim.Commit(error)) return Fail(kExitBadInput, error);
    return kExitOk;
}

}  // namespace vantrel::cli
