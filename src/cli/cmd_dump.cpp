// vantrel-cli dump: the text blocks of a saved test, as the results pane and
// the log file would get them.

#include <cstdio>
#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "cli/cli.h"
#include "cli/cli_document.h"
#include "decode/template_buffers.h"
#include "decode/text_block.h"
#include "record/test_file.h"

namespace vantrel::cli {

int CmdDump(const Args& args) {
    constexpr char kUsage[] =
        "dump FILE.vtl [--flags N] [--catalogue DB] [--input-template NAME] "
        "[--output-template NAME]";
    std::string file, catalogue = "Vantrel.db", inputTemplate, outputTemplate;
    uint32_t flags = 63;
    COnceOptions once;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--flags" || a == "--catalogue" || a == "--input-template" ||
            a == "--output-template") {
            if (i + 1 >= args.size())
                return Fail(kExitUsage, a + " needs a value; usage: " + kUsage);
            if (!once.First(a, kUsage)) return kExitUsage;
            const std::string& v = args[++i];
            if (a == "--flags") {
                const auto f = ParseU32(v);
                if (!f) return Fail(kExitBadInput, "not an output flags word: " + v);
                flags = *f;
            } else if (a == "--catalogue") {
                catalogue = v;
            } else if (a == "--input-template") {
                inputTemplate = v;
            } else {
                outputTemplate = v;
            }
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Fail(kExitUsage, "unknown option " + a + "; usage: " + kUsage);
        } else if (file.empty()) {
            file = a;
        } else {
            return Fail(kExitUsage, std::string("one test file only; usage: ") + kUsage);
        }
    }
    if (file.empty()) return Fail(kExitUsage, std::string("usage: ") + kUsage);

    // The catalogue is only needed when a template is named.
    std::shared_ptr<const CTemplateSnapshot> templates;
    if (TemplateNameIsOn(inputTemplate) || TemplateNameIsOn(outputTemplate)) {
        const std::string error =
            CheckTemplateNames(catalogue, inputTemplate, outputTemplate, &templates);
        if (!error.empty()) return Fail(kExitBadInput, error);
    }

    TestFileHeader header;
    CRecordList records;
    std::string error;
    if (!LoadTestFile(file, header, records, &error)) return Fail(kExitBadInput, error);

    OutputSettings settings;
    settings.outputFlags = flags;
    settings.inputTemplate = inputTemplate;
    settings.outputTemplate = outputTemplate;
    settings.templates = templates.get();
    std::string text;
    for (size_t i = 0; i < records.Size(); ++i) {
        FormatRecord(*records.AtUnlocked(i), settings, text);
        if (text.size() >= (size_t{1} << 20)) {
            if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) break;
            text.clear();
        }
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return FinishStandardOutput(kExitOk);
    return kExitOk;
}

}  // namespace vantrel::cli
