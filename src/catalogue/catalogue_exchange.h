#pragma once
// The catalogue as text files that a team can keep in version control and
// review: both tables as one JSON object, or one table as CSV (RFC 4180).
//
// The catalogue's texts are bytes, one character each (Latin-1); in the files
// they are Unicode, written as UTF-8. A character above U+00FF cannot be
// stored and is refused. Reading checks every row before anything is
// stored: a bad row is named by the line where it starts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"

namespace vantrel {

inline constexpr const char* kIoctlsCsvHeader =
    "Ioctl,Object,Ioctl Name,Input Buffer,Output Buffer";
inline constexpr const char* kTemplatesCsvHeader = "Name,Offset,Type,Value Name";

// What an exchange file holds: a table that the file does not mention is
// nullopt (and is left alone by an import).
struct CatalogueContents {
    std::optional<std::vector<IoctlRow>> ioctls;
    std::optional<std::vector<TemplateRow>> templates;
};

// {"ioctls": [...], "templates": [...]}, one row per line, rows in table
// order; an IOCTL code as "0x%.8x".
std::string CatalogueToJson(const std::vector<IoctlRow>& ioctls,
                            const std::vector<TemplateRow>& templates);
// One table with its header line; CR LF line ends.
std::string IoctlsToCsv(const std::vector<IoctlRow>& rows);
std::string TemplatesToCsv(const std::vector<TemplateRow>& rows);

// Reads an exchange file: JSON when its first character other than blanks
// is '{', else CSV whose header line names the table. False with
// "line N: <what>" (or a whole-file reason) on the first fault.
bool ParseCatalogueFile(std::string_view text, CatalogueContents& out, std::string& error);
bool ParseCatalogueJson(std::string_view text, CatalogueContents& out, std::string& error);
bool ParseCatalogueCsv(std::string_view text, CatalogueContents& out, std::string& error);

}  // namespace vantrel
