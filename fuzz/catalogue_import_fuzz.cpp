// libFuzzer target: a file given to catalogue-import, as JSON or CSV (the
// first byte chooses which parser sees the rest, so both get every input).
// A file that is taken must come back the same: written out again (as JSON,
// and as CSV table by table) and read back, it gives the same rows, and a
// second writing is the same text as the first. A refused file must say
// why in one line.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "catalogue/catalogue_exchange.h"

namespace {

using namespace vantrel;

std::string Written(const CatalogueContents& c) {
    static const std::vector<IoctlRow> kNoIoctls;
    static const std::vector<TemplateRow> kNoTemplates;
    return CatalogueToJson(c.ioctls ? *c.ioctls : kNoIoctls,
                           c.templates ? *c.templates : kNoTemplates);
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void RoundTrip(const CatalogueContents& first) {
    const std::string json = Written(first);
    CatalogueContents again;
    std::string error;
    Check(ParseCatalogueJson(json, again, error));
    Check(Written(again) == json);
    if (first.ioctls && !first.ioctls->empty()) {
        const std::string csv = IoctlsToCsv(*first.ioctls);
        CatalogueContents fromCsv;
        Check(ParseCatalogueCsv(csv, fromCsv, error) && fromCsv.ioctls);
        Check(IoctlsToCsv(*fromCsv.ioctls) == csv);
    }
    if (first.templates && !first.templates->empty()) {
        const std::string csv = TemplatesToCsv(*first.templates);
        CatalogueContents fromCsv;
        Check(ParseCatalogueCsv(csv, fromCsv, error) && fromCsv.templates);
        Check(TemplatesToCsv(*fromCsv.templates) == csv);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    CatalogueContents contents;
    std::string error;
    bool taken = false;
    switch (data[0] % 3) {
        case 0:
            taken = ParseCatalogueJson(text, contents, error);
            break;
        case 1:
            taken = ParseCatalogueCsv(text, contents, error);
            break;
        default:
            taken = ParseCatalogueFile(text, contents, error);
            break;
    }
    if (!taken) {
        Check(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    RoundTrip(contents);
    return 0;
}
