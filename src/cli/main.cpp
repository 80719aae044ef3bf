// vantrel-cli: the headless face of Vantrel.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cli/cli.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const vantrel::cli::Args&);
    const char* synopsis;
};

const Command kCommands[] = {
    {"devices", vantrel::cli::CmdDevices,
     "devices [--driver sim|trace|kernel|replay:FILE|remote:HOST:PORT|none] [--connect HOST:PORT "
     "--ca CA.pem --token-file FILE]"},
    {"records", vantrel::cli::CmdRecords, "records FILE.vtl"},
    {"roundtrip", vantrel::cli::CmdRoundtrip, "roundtrip IN.vtl OUT.vtl"},
    {"dump", vantrel::cli::CmdDump,
     "dump FILE.vtl [--flags N] [--catalogue DB] [--input-template NAME] [--output-template NAME]"},
    {"capture", vantrel::cli::CmdCapture,
     "capture (--device 0xADDR ... | --all-devices) [--majors LIST|all] [--count N] [--seconds S] "
     "[--flags N] [--format text|jsonl] [--save FILE.vtl] [--log] [--rate R] [--seed S] "
     "[--catalogue DB] "
     "[--input-template NAME] [--output-template NAME] [--driver "
     "sim|trace|kernel|replay:FILE.vtl|remote:HOST:PORT|none] [--trace -- CMD ARGS... | "
     "--trace-pid PID[,PID...] | "
     "--kernel [--kernel-expiry S] [--kernel-ring MIB] [--pid PID[,PID...]] [--comm NAME] | "
     "--connect HOST:PORT --ca CA.pem --token-file FILE "
     "[--reconnect-limit S]]"},
    {"export", vantrel::cli::CmdExport, "export FILE.vtl --format csv|jsonl [--output OUT]"},
    {"ioctl", vantrel::cli::CmdIoctl, "ioctl CODE"},
    {"catalogue-create", vantrel::cli::CmdCatalogueCreate, "catalogue-create PATH [--sample]"},
    {"templates", vantrel::cli::CmdTemplates, "templates [--catalogue DB]"},
    {"ioctls", vantrel::cli::CmdIoctls, "ioctls [--catalogue DB]"},
    {"catalogue-export", vantrel::cli::CmdCatalogueExport,
     "catalogue-export DB --format json | --format csv --table ioctls|templates"},
    {"catalogue-import", vantrel::cli::CmdCatalogueImport, "catalogue-import DB FILE"},
    {"stats", vantrel::cli::CmdStats,
     "stats FILE.vtl [--device-controls | --ioctl CODE --object NAME] [--extended]"},
    {"points", vantrel::cli::CmdPoints,
     "points FILE.vtl [--now TICK] [--limits XMIN XMAX YMIN YMAX] [--device-controls | --ioctl "
     "CODE --object NAME]"},
    {"serve", vantrel::cli::CmdServe,
     "serve --listen HOST:PORT --cert CERT.pem --key KEY.pem --token-file FILE [--rate R] [--seed "
     "S] [--backlog-mib N] [--log-sent] | serve --make-cert DIR"},
    {"graph", vantrel::cli::CmdGraph,
     "graph FILE.vtl --output OUT.png|OUT.pdf [--width W --height H] [--now TICK]"},
};

// Qt's own warnings (a missing XDG_RUNTIME_DIR, font lookups) are no part of
// a command's output: stderr carries only the command's own lines, unless
// VANTREL_DEBUG=1 asks for Qt's too.
void QtMessages(QtMsgType, const QMessageLogContext&, const QString& message) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    const char* debug = std::getenv("VANTREL_DEBUG");
    if (!debug || std::strcmp(debug, "1") != 0) return;
    const QByteArray text = message.toLocal8Bit();
    std::fprintf(stderr, "qt: %s\n", text.constData());
}

int Usage() {
    std::fprintf(stderr, "usage: vantrel-cli COMMAND [ARGS]\ncommands:\n");
    for (const Command& c : kCommands) std::fprintf(stderr, "  vantrel-cli %s\n", c.synopsis);
    return vantrel::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QtMessages);
    if (argc < 2) return Usage();
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        Usage();
        return 0;
    }
    vantrel::cli::Args args(argv + 2, argv + argc);
    for (const Command& c : kCommands) {
        if (name == c.name) return vantrel::cli::FinishStandardOutput(c.run(args));
    }
    std::fprintf(stderr, "vantrel-cli: unknown command '%s'\n", argv[1]);
    return Usage();
}
