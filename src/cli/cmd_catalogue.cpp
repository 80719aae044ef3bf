// vantrel-cli catalogue-create, templates, ioctls, catalogue-export,
// catalogue-import: create a catalogue file, list its two tables, and move
// them to and from JSON or CSV files.

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_exchange.h"
#include "cli/cli.h"
#include "platform/output_file.h"

namespace vantrel::cli {

namespace {

// The command's whole output; its exit code.
int Write(std::string_view s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    return FinishStandardOutput(kExitOk);
}

// Reads "[--catalogue DB]"; false on anything else.
bool CatalogueOption(const Args& args, std::string& path) {
    path = kCatalogueFileName;
    bool named = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--catalogue" && i + 1 < args.size() && !named) {
            path = args[++i];
            named = true;
        } else {
            return false;
        }
    }
    return true;
}

bool OpenFor(const char* command, const std::string& path, CCatalogue& catalogue, int& exitCode) {
    std::string error;
    if (catalogue.Open(path, &error)) return true;
    exitCode = Fail(kExitBadInput,
                    std::string(command) + ": cannot open the catalogue " + path + ": " + error);
    return false;
}

}  // namespace

int CmdCatalogueCreate(const Args& args) {
    std::string path;
    bool sample = false;
    for (const std::string& a : args) {
        if (a == "--sample") {
            sample = true;
        } else if (path.empty() && !a.empty() && a[0] != '-') {
            path = a;
        } else {
            return Fail(kExitUsage, "usage: vantrel-cli catalogue-create PATH [--sample]");
        }
    }
    if (path.empty())
        return Fail(kExitUsage, "usage: vantrel-cli catalogue-create PATH [--sample]");
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return Fail(kExitBadInput, "catalogue-create: " + path + " already exists");
    std::string error;
    if (!CCatalogue::Create(path, sample, &error))
        return Fail(kExitBadInput, "catalogue-create: " + error);
    return kExitOk;
}

int CmdTemplates(const Args& args) {
    std::string path;
    if (!CatalogueOption(args, path))
        return Fail(kExitUsage, "usage: vantrel-cli templates [--catalogue DB]");
    std::string error;
    auto snapshot = LoadTemplateSnapshot(path, &error);
    if (!snapshot)
        return Fail(kExitBadInput, "templates: cannot open the catalogue " + path + ": " + error);
    std::string out;
    for (const TemplateRow& row : snapshot->Rows()) {
        out += row.name;
        out += '\t';
        out += std::to_string(row.offset);
        out += '\t';
        out += row.type;
        out += '\t';
        out += row.valueName;
        out += '\n';
    }
    return Write(out);
}

int CmdIoctls(const Args& args) {
    std::string path;
    if (!CatalogueOption(args, path))
        return Fail(kExitUsage, "usage: vantrel-cli ioctls [--catalogue DB]");
    CCatalogue catalogue;
    int exitCode = kExitOk;
    if (!OpenFor("ioctls", path, catalogue, exitCode)) return exitCode;
    std::string error;
    const std::vector<IoctlRow> rows = catalogue.ReadIoctls(&error);
    if (!error.empty()) return Fail(kExitBadInput, "ioctls: " + error);
    std::string out;
    for (const IoctlRow& row : rows) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%.8x", IoctlCodeFromStored(row.ioctl));
        out += code;
        out += '\t';
        out += row.object;
        out += '\t';
        out += row.ioctlName;
        out += '\t';
        out += row.inputBuffer;
        out += '\t';
        out += row.outputBuffer;
        out += '\n';
    }
    return Write(out);
}

namespace {

constexpr const char* kExportUsage =
    "usage: vantrel-cli catalogue-export DB --format json | --format csv --table ioctls|templates";

struct ExportOptions {
    std::string path;
    std::string format;
    std::string table;
};

bool ReadExportOptions(const Args& args, ExportOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--format" || args[i] == "--table") && i + 1 < args.size()) {
            std::string& value = args[i] == "--format" ? o.format : o.table;
            if (!value.empty()) return false;  // given twice
            value = args[i + 1];
            ++i;
        } else if (o.path.empty() && !args[i].empty() && args[i][0] != '-') {
            o.path = args[i];
        } else {
            return false;
        }
    }
    if (o.path.empty()) return false;
    if (o.format == "json") return o.table.empty();
    return o.format == "csv" && (o.table == "ioctls" || o.table == "templates");
}

}  // namespace

int CmdCatalogueExport(const Args& args) {
    ExportOptions o;
    if (!ReadExportOptions(args, o)) return Fail(kExitUsage, kExportUsage);
    CCatalogue catalogue;
    int exitCode = kExitOk;
    if (!OpenFor("catalogue-export", o.path, catalogue, exitCode)) return exitCode;
    std::string error;
    std::vector<IoctlRow> ioctls;
    std::vector<TemplateRow> templates;
    if (o.table != "templates") ioctls = catalogue.ReadIoctls(&error);
    if (error.empty() && o.table != "ioctls") templates = catalogue.ReadTemplateRows(&error);
    if (!error.empty()) return Fail(kExitBadInput, "catalogue-export: " + error);
    if (o.format == "json") return Write(CatalogueToJson(ioctls, templates));
    return Write(o.table == "ioctls" ? IoctlsToCsv(ioctls) : TemplatesToCsv(templates));
}

int CmdCatalogueImport(const Args& args) {
    if (args.size() != 2 || args[0].empty() || args[0][0] == '-' || args[1].empty())
        return Fail(kExitUsage, "usage: vantrel-cli catalogue-import DB FILE");
    const std::string& path = args[0];
    const std::string& file = args[1];
    std::string text, error;
    if (!ReadInputFile(file, kStreamInputLimit, text, error))
        return Fail(kExitBadInput, "catalogue-import: " + error);

    CatalogueContents contents;
    if (!ParseCatalogueFile(text, contents, error))
        return Fail(kExitBadInput, "catalogue-import: " + file + ": " + error);
    CCatalogue catalogue;
    int exitCode = kExitOk;
    if (!OpenFor("catalogue-import", path, catalogue, exitCode)) return exitCode;
    if (!catalogue.ReplaceTables(contents.ioctls ? &*contents.ioctls : nullptr,
                                 contents.templates ? &*contents.templates : nullptr, &error))
        return Fail(kExitBadInput, "catalogue-import: " + path + ": " + error);
    return kExitOk;
}

}  // namespace vantrel::cli
