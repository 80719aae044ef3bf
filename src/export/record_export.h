#pragma once
// One record as a CSV row or a JSON Lines object, with its decoded fields.
//
// Fields, in this order (CSV header names and JSON keys alike):
//   index, tick, device_object ("0x%.8x"), object_name, description,
//   major, minor, status (name, else "0x%.8x"), status_code (number),
//   latency_ms (number), ioctl_code ("0x%.8x"), ioctl_device_type,
//   ioctl_function, ioctl_access, ioctl_method (as `vantrel-cli ioctl` prints
//   them), parameters, output_hex, input_hex.
// A field without a value (the IOCTL fields and buffers of a record that is
// not a device control, the parameters of codes without a layout, the input
// bytes of a loaded test) is null in JSON and an empty field in CSV.
//
// CSV follows RFC 4180: comma separated, CR LF after every row, a field with
// a comma, quote or line break quoted with its quotes doubled. latency_ms is
// "%.3f"; parameters are "TYPE Name=value" pairs joined by "; ".
// JSON Lines: one object per line, keys in the order above; latency_ms is
// the shortest decimal that reads back as the same float; parameters is an
// object {"TYPE Name": "value", ...} in layout order.
// Both are UTF-8: the record's ANSI texts go out as Latin-1.
//
// Pure functions of their arguments: any thread may call them.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "record/irp_record.h"

namespace vantrel {

inline constexpr std::array<std::string_view, 18> kExportFieldNames = {
    "index",          "tick",         "device_object", "object_name",
    "description",    "major",        "minor",         "status",
    "status_code",    "latency_ms",   "ioctl_code",    "ioctl_device_type",
    "ioctl_function", "ioctl_access", "ioctl_method",  "parameters",
    "output_hex",     "input_hex",
};

enum class ExportFormat { Csv, JsonLines };

// "csv" or "jsonl"; nullopt for anything else.
std::optional<ExportFormat> ParseExportFormat(std::string_view name);

struct ExportOptions {
    // The records come from a live capture, so their input bytes are real.
    // A loaded test does not store them: input_hex is then null.
    bool inputBytesKnown = false;
};

// The CSV header row, with its CR LF.
void AppendCsvHeader(std::string& out);
// One CSV row with its CR LF. `index` is the record's position in the list.
void AppendCsvRow(const CIrpRecord& record, size_t index, const ExportOptions& options,
                  std::string& out);
// One JSON object with its "\n".
void AppendJsonLine(const CIrpRecord& record, size_t index, const ExportOptions& options,
                    std::string& out);

// What comes before the first record: the CSV header; nothing for JSON Lines.
void AppendExportHeader(ExportFormat format, std::string& out);
void AppendExportRecord(ExportFormat format, const CIrpRecord& record, size_t index,
                        const ExportOptions& options, std::string& out);

}  // namespace vantrel
