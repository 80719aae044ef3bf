// Which of the two readers an exchange file goes to.

#include "catalogue/catalogue_exchange.h"

namespace vantrel {

bool ParseCatalogueFile(std::string_view text, CatalogueContents& out, std::string& error) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] == '{')
        return ParseCatalogueJson(text, out, error);
    return ParseCatalogueCsv(text, out, error);
}

}  // namespace vantrel
