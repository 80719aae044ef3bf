#pragma once
// What the JSON and the CSV reader of the catalogue's exchange files share:
// the check of each field of a row, the check of the IOCTL table as a whole,
// and the error text that names a line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"

namespace vantrel {

// One field of a row as read from a file: its text, and whether it was a
// string (JSON numbers are not).
struct ExchangeField {
    std::string text;  // UTF-8
    bool isString = true;
};

// "line N: <what>" into `error`; always false.
bool FailAt(size_t line, const std::string& what, std::string& error);

// A stored IOCTL code as the files write it: "0x%.8x".
std::string ExchangeCodeText(int32_t stored);

// The fields of a row in the order of the table's CSV header. False with
// "line N: <what>" when a value does not fit its field.
bool MakeIoctlRow(size_t line, const std::vector<ExchangeField>& fields, IoctlRow& row,
                  std::string& error);
bool MakeTemplateRow(size_t line, const std::vector<ExchangeField>& fields, TemplateRow& row,
                     std::string& error);
// Refuses a second row for an (IOCTL code, object) pair; `lines` gives each
// row's line.
bool CheckIoctlPairs(const std::vector<IoctlRow>& rows, const std::vector<size_t>& lines,
                     std::string& error);

}  // namespace vantrel
