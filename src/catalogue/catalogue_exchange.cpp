// Which of the two readers an exchange file goes to.

#include "catalogue/catalogue_exchange.h"

namespace vantrel {

bool ParseCatalogueFile(std::string_view text, CatalogueContents& out, std::string& error) {
    // JSON is told by its first character after blanks (and a UTF-8
    // byte-order mark); a file of blanks alone is an empty JSON text.
    std::string_view body = text;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    const size_t first = body.find_first_not_of(" \t\r\n");
    if (body.empty()) return ParseCatalogueCsv(body, out, error);  // "the file is empty"
    if (first == std::string_view::npos || body[first] == '{' || body[first] == '[')
        return ParseCatalogueJson(body, out, error);
    return ParseCatalogueCsv(text, out, error);
}

}  // namespace vantrel
