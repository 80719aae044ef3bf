// vantrel-cli catalogue-create, templates, ioctls: create a catalogue file
// and list its two tables.

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "catalogue/catalogue.h"
#include "cli/cli.h"

namespace vantrel::cli {

namespace {

void Write(std::string_view s) { std::fwrite(s.data(), 1, s.size(), stdout); }

// Reads "[--catalogue DB]"; false on anything else.
bool CatalogueOption(const Args& args, std::string& path) {
    path = kCatalogueFileName;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--catalogue" && i + 1 < args.size()) {
            path = args[++i];
        } else {
            return false;
        }
    }
    return true;
}

bool OpenFor(const char* command, const std::string& path, CCatalogue& catalogue, int& exitCode) {
    std::string error;
    if (catalogue.Open(path, &error)) return true;
    exitCode = Fail(kExitBadInput, std::string(command) + ": cannot open the catalogue " + path +
                                       ": " + error);
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
    if (path.empty()) return Fail(kExitUsage, "usage: vantrel-cli catalogue-create PATH [--sample]");
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
    Write(out);
    return kExitOk;
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
    Write(out);
    return kExitOk;
}

}  // namespace vantrel::cli
