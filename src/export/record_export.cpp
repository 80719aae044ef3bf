#include "export/record_export.h"

#include <cstdint>

#include "catalogue/ioctl_code.h"
#include "decode/name_tables.h"
#include "decode/number_format.h"
#include "decode/parameters.h"
#include "decode/text_encoding.h"
#include "export/json_writer.h"

namespace vantrel {
namespace {

enum class F : uint8_t {
    Index,
    Tick,
    DeviceObject,
    ObjectName,
    Description,
    Major,
    Minor,
    Status,
    StatusCode,
    LatencyMs,
    IoctlCode,
    IoctlDeviceType,
    IoctlFunction,
    IoctlAccess,
    IoctlMethod,
    Parameters,
    OutputHex,
    InputHex,
};
static_assert(static_cast<size_t>(F::InputHex) + 1 == kExportFieldNames.size());

constexpr std::string_view Name(F f) {
    return kExportFieldNames[static_cast<size_t>(f)];
}

void AppendLowerHex(std::string& out, const uint8_t* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const size_t start = out.size();
    out.resize(start + 2 * count);
    char* p = out.data() + start;
    for (size_t i = 0; i < count; ++i) {
        *p++ = kDigits[bytes[i] >> 4];
        *p++ = kDigits[bytes[i] & 0xF];
    }
}

std::string Hex8(uint32_t value) {
    std::string s;
    AppendHex8(s, value);
    return s;
}

// Writes the fields of one record, in order, to a sink that knows the format.
// Text is the record's own (Latin-1, anything); PlainText the program's own
// names and numbers (printable ASCII, no quote or backslash).
template <typename Sink>
void EmitRecord(const CIrpRecord& record, size_t index, const ExportOptions& options, Sink& sink) {
    const IRP_CAPTURE_RECORD& c = record.GetCapture();
    sink.Number(F::Index, index);
    sink.Number(F::Tick, record.GetTickCount());
    sink.PlainText(F::DeviceObject, Hex8(c.DeviceObject));
    sink.Text(F::ObjectName, record.ObjectNameView());
    sink.Text(F::Description, record.DescriptionView());
    sink.Code(F::Major, MajorFunctionName(c.MajorFunction), c.MajorFunction);
    sink.Code(F::Minor, MinorFunctionName(c.MajorFunction, c.MinorFunction), c.MinorFunction);
    sink.Code(F::Status, StatusName(c.Status), c.Status);
    sink.Number(F::StatusCode, c.Status);
    sink.Latency(F::LatencyMs, record.GetLatency());

    const bool ioctl = c.MajorFunction == IRP_MJ_DEVICE_CONTROL;
    if (ioctl) {
        const uint32_t code = c.Param32(par::IoControlCode);
        const IoctlCodeParts parts = SplitIoctlCode(code);
        sink.PlainText(F::IoctlCode, Hex8(code));
        sink.PlainText(F::IoctlDeviceType, IoctlDeviceTypeText(parts.deviceType));
        sink.PlainText(F::IoctlFunction, IoctlFunctionText(parts.function));
        sink.PlainText(F::IoctlAccess, IoctlAccessText(parts.access));
        sink.PlainText(F::IoctlMethod, IoctlMethodText(parts.method));
    } else {
        for (F f :
             {F::IoctlCode, F::IoctlDeviceType, F::IoctlFunction, F::IoctlAccess, F::IoctlMethod}) {
            sink.Null(f);
        }
    }
    sink.Parameters(F::Parameters, c);
    if (ioctl) {
        sink.Bytes(F::OutputHex, c.OutputData, rec::DataBytes(c.Param32(par::OutputBufferLength)));
    } else {
        sink.Null(F::OutputHex);
    }
    if (ioctl && options.inputBytesKnown) {
        sink.Bytes(F::InputHex, c.InputData, rec::DataBytes(c.Param32(par::InputBufferLength)));
    } else {
        sink.Null(F::InputHex);
    }
}

class CsvSink {
public:
    explicit CsvSink(std::string& out) : m_out(out) {}

    void Number(F f, uint64_t value) {
        Begin(f);
        AppendDecimal(m_out, static_cast<int64_t>(value));
    }
    void Text(F f, std::string_view latin1) {
        Begin(f);
        AppendCsvField(m_out, latin1);
    }
    void PlainText(F f, std::string_view ascii) { Text(f, ascii); }
    void Code(F f, std::string_view name, uint32_t value) {
        Begin(f);
        if (name.empty()) {
            AppendHex8(m_out, value);
        } else {
            AppendCsvField(m_out, name);
        }
    }
    void Latency(F f, float value) {
        Begin(f);
        AppendFixed3(m_out, static_cast<double>(value));
    }
    void Null(F f) { Begin(f); }
    void Bytes(F f, const uint8_t* bytes, size_t count) {
        Begin(f);
        AppendLowerHex(m_out, bytes, count);
    }
    void Parameters(F f, const IRP_CAPTURE_RECORD& capture) {
        Begin(f);
        // The layout tables hold no comma or quote, so the pairs go out as
        // they are; should one ever hold one, the field is quoted after all.
        const size_t start = m_out.size();
        ForEachParameterValue(capture, [this, start](const ParameterValue& v) {
            if (m_out.size() != start) m_out.append("; ");
            m_out.append(v.type);
            m_out.push_back(' ');
            m_out.append(v.name);
            m_out.push_back('=');
            m_out.append(v.value);
        });
        const std::string_view pairs = std::string_view(m_out).substr(start);
        if (NeedsCsvQuotes(pairs)) {
            const std::string copy(pairs);
            m_out.resize(start);
            AppendCsvField(m_out, copy);
        }
    }
    void End() { m_out.append("\r\n"); }

private:
    void Begin(F f) {
        if (f != F::Index) m_out.push_back(',');
    }

    std::string& m_out;
};

class JsonSink {
public:
    explicit JsonSink(std::string& out) : m_out(out), m_writer(out) { m_writer.BeginObject(); }

    void Number(F f, uint64_t value) {
        m_writer.PlainKey(Name(f));
        m_writer.Number(value);
    }
    void Text(F f, std::string_view latin1) {
        m_writer.PlainKey(Name(f));
        m_writer.String(latin1);
    }
    void PlainText(F f, std::string_view ascii) {
        m_writer.PlainKey(Name(f));
        m_writer.PlainString(ascii);
    }
    void Code(F f, std::string_view name, uint32_t value) {
        m_writer.PlainKey(Name(f));
        if (name.empty()) {
            m_writer.PlainString(Hex8(value));
        } else {
            m_writer.PlainString(name);
        }
    }
    void Latency(F f, float value) {
        m_writer.PlainKey(Name(f));
        m_writer.Number(value);
    }
    void Null(F f) {
        m_writer.PlainKey(Name(f));
        m_writer.Null();
    }
    void Bytes(F f, const uint8_t* bytes, size_t count) {
        m_writer.PlainKey(Name(f));
        m_out.push_back('"');
        AppendLowerHex(m_out, bytes, count);
        m_out.push_back('"');
    }
    void Parameters(F f, const IRP_CAPTURE_RECORD& capture) {
        m_writer.PlainKey(Name(f));
        if (!HasParameterLayout(capture.MajorFunction, capture.MinorFunction)) {
            m_writer.Null();
            return;
        }
        m_writer.BeginObject();
        ForEachParameterValue(capture, [this](const ParameterValue& v) {
            m_writer.PlainKey(v.type, v.name);
            m_writer.PlainString(v.value);
        });
        m_writer.EndObject();
    }
    void End() {
        m_writer.EndObject();
        m_out.push_back('\n');
    }

private:
    std::string& m_out;
    CJsonWriter m_writer;
};

}  // namespace

std::optional<ExportFormat> ParseExportFormat(std::string_view name) {
    if (name == "csv") return ExportFormat::Csv;
    if (name == "jsonl") return ExportFormat::JsonLines;
    return std::nullopt;
}

void AppendCsvHeader(std::string& out) {
    for (size_t i = 0; i < kExportFieldNames.size(); ++i) {
        if (i != 0) out.push_back(',');
        out.append(kExportFieldNames[i]);
    }
    out.append("\r\n");
}

void AppendCsvRow(const CIrpRecord& record, size_t index, const ExportOptions& options,
                  std::string& out) {
    CsvSink sink(out);
    EmitRecord(record, index, options, sink);
    sink.End();
}

void AppendJsonLine(const CIrpRecord& record, size_t index, const ExportOptions& options,
                    std::string& out) {
    JsonSink sink(out);
    EmitRecord(record, index, options, sink);
    sink.End();
}

void AppendExportHeader(ExportFormat format, std::string& out) {
    if (format == ExportFormat::Csv) AppendCsvHeader(out);
}

void AppendExportRecord(ExportFormat format, const CIrpRecord& record, size_t index,
                        const ExportOptions& options, std::string& out) {
    if (format == ExportFormat::Csv) {
        AppendCsvRow(record, index, options, out);
    } else {
        AppendJsonLine(record, index, options, out);
    }
}

}  // namespace vantrel
