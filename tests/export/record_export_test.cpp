// Records exported as CSV and JSON Lines and read back with real parsers.

#include "export/record_export.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/ioctl_code.h"
#include "decode/parameters.h"
#include "decode/text_block.h"
#include "export/export_readers.h"

namespace vantrel {
namespace {

using test::ReadCsv;
using test::ReadJsonLines;

// Every (major, minor) with a parameter layout.
constexpr std::pair<uint32_t, uint32_t> kLayouts[] = {
    {IRP_MJ_CREATE, 0},
    {IRP_MJ_READ, 0},
    {IRP_MJ_WRITE, 0},
    {IRP_MJ_QUERY_INFORMATION, 0},
    {IRP_MJ_SET_INFORMATION, 0},
    {IRP_MJ_QUERY_VOLUME_INFORMATION, 0},
    {IRP_MJ_DEVICE_CONTROL, 0},
    {IRP_MJ_POWER, IRP_MN_WAIT_WAKE},
    {IRP_MJ_POWER, IRP_MN_POWER_SEQUENCE},
    {IRP_MJ_POWER, IRP_MN_SET_POWER},
    {IRP_MJ_POWER, IRP_MN_QUERY_POWER},
    {IRP_MJ_PNP, IRP_MN_START_DEVICE},
    {IRP_MJ_PNP, IRP_MN_QUERY_DEVICE_RELATIONS},
    {IRP_MJ_PNP, IRP_MN_QUERY_INTERFACE},
    {IRP_MJ_PNP, IRP_MN_QUERY_CAPABILITIES},
    {IRP_MJ_PNP, IRP_MN_QUERY_DEVICE_TEXT},
    {IRP_MJ_PNP, IRP_MN_FILTER_RESOURCE_REQUIREMENTS},
    {IRP_MJ_PNP, IRP_MN_READ_CONFIG},
    {IRP_MJ_PNP, IRP_MN_WRITE_CONFIG},
    {IRP_MJ_PNP, IRP_MN_SET_LOCK},
    {IRP_MJ_PNP, IRP_MN_QUERY_ID},
    {IRP_MJ_PNP, IRP_MN_DEVICE_USAGE_NOTIFICATION},
};

// Parameter byte i holds i + 1, output byte i holds 0xA0 + i, input byte i
// holds 0x10 + i: every value shows where it came from.
CIrpRecord PatternRecord(uint32_t major, uint32_t minor, size_t n) {
    IRP_CAPTURE_RECORD c;
    c.DeviceObject = 0x81A2B300u + static_cast<uint32_t>(n);
    c.MajorFunction = major;
    c.MinorFunction = minor;
    c.Status = n % 2 ? 0xC0000022u : 0u;
    for (size_t i = 0; i < rec::ParametersSize; ++i) c.Parameters[i] = static_cast<uint8_t>(i + 1);
    for (size_t i = 0; i < rec::DataSize; ++i) {
        c.OutputData[i] = static_cast<uint8_t>(0xA0 + i);
        c.InputData[i] = static_cast<uint8_t>(0x10 + i);
    }
    CIrpRecord r(c);
    r.SetLatency(0.25f * static_cast<float>(n) + 0.1f);
    r.SetTickCount(4000 + static_cast<uint32_t>(n));
    r.SetDescription("Disk drive " + std::to_string(n));
    r.SetObjectName("\\Device\\Harddisk0\\DR" + std::to_string(n));
    return r;
}

std::vector<CIrpRecord> EveryLayout() {
    std::vector<CIrpRecord> records;
    for (auto [major, minor] : kLayouts)
        records.push_back(PatternRecord(major, minor, records.size()));
    // Codes without a layout and names past the tables.
    records.push_back(PatternRecord(0x02, 5, records.size()));     // CLOSE, a plain minor
    records.push_back(PatternRecord(0x1B, 0x0E, records.size()));  // the PnP minor without a name
    records.push_back(PatternRecord(0x1C, 0, records.size()));     // an alias row of the table
    records.push_back(PatternRecord(30, 0, records.size()));       // past the table
    records.back().GetCapture().Status = 0xC0001234u;              // no status name
    return records;
}

// The text block's line "<prefix><text>\r\n", the value after the prefix.
std::string TextBlockValue(const std::string& block, const std::string& prefix) {
    const size_t at = block.find(prefix);
    if (at == std::string::npos) return "<no line " + prefix + ">";
    const size_t start = at + prefix.size();
    return block.substr(start, block.find("\r\n", start) - start);
}

// The parameters as the text section prints them: (key, value) in order.
// A field line gives its own label; the members of a POWER_STATE are keyed by
// their reading and the field name, those of a POWER_SEQUENCE as ULONGs.
std::vector<std::pair<std::string, std::string>> SectionPairs(const IRP_CAPTURE_RECORD& c) {
    std::string text;
    AppendParameterSection(text, c);
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string group;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        const size_t eq = line.find("=\t");
        if (line.rfind("        ", 0) != 0 || line.rfind("    } ", 0) == 0) continue;
        if (eq == std::string::npos) {  // a group header: "TYPE Name"
            group = line.substr(line.rfind(' ') + 1);
            continue;
        }
        // The label ends at its tabs, or right at "=\t" when it is too long for any.
        std::string label = line.substr(0, std::min(eq, line.find('\t')));
        const std::string value = line.substr(eq + 2);
        if (label.rfind("            ", 0) == 0) {
            label = label.substr(12);
            if (label.rfind("Sequence", 0) == 0) {
                label.insert(0, "ULONG ");
            } else {
                label.append(" ").append(group);
            }
        } else {
            label = label.substr(8);
        }
        pairs.emplace_back(label, value);
    }
    return pairs;
}

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%.8x", v);
    return buf;
}

std::string LowerHex(const uint8_t* bytes, size_t n) {
    std::string s;
    char buf[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        s += buf;
    }
    return s;
}

// Every field of one record as the CSV prints it; nullopt for no value.
std::vector<std::optional<std::string>> ExpectedFields(const CIrpRecord& r, size_t index,
                                                       bool live) {
    const IRP_CAPTURE_RECORD& c = r.GetCapture();
    std::string block;
    FormatRecord(r, OutputSettings{}, block);
    char latency[64];
    std::snprintf(latency, sizeof latency, "%.3f", static_cast<double>(r.GetLatency()));
    std::vector<std::optional<std::string>> f = {
        std::to_string(index),
        std::to_string(r.GetTickCount()),
        Hex8(c.DeviceObject),
        r.GetObjectName(),
        r.GetDescription(),
        TextBlockValue(block, "    Major Code:\t\t\t"),
        TextBlockValue(block, "    Minor Code:\t\t\t"),
        TextBlockValue(block, "    NTSTATUS:\t\t\t"),
        std::to_string(c.Status),
        latency,
    };
    const bool ioctl = c.MajorFunction == IRP_MJ_DEVICE_CONTROL;
    const IoctlCodeParts parts = SplitIoctlCode(c.Param32(par::IoControlCode));
    const auto ifIoctl = [ioctl](std::string s) { return ioctl ? std::optional(s) : std::nullopt; };
    f.push_back(ifIoctl(Hex8(c.Param32(par::IoControlCode))));
    f.push_back(ifIoctl(IoctlDeviceTypeText(parts.deviceType)));
    f.push_back(ifIoctl(IoctlFunctionText(parts.function)));
    f.push_back(ifIoctl(IoctlAccessText(parts.access)));
    f.push_back(ifIoctl(IoctlMethodText(parts.method)));
    std::string params;
    for (const auto& [key, value] : SectionPairs(c)) {
        params.append(params.empty() ? "" : "; ").append(key).append("=").append(value);
    }
    f.push_back(HasParameterLayout(c.MajorFunction, c.MinorFunction) ? std::optional(params)
                                                                     : std::nullopt);
    const auto bytes = [](uint32_t length) {
        const auto n = static_cast<int32_t>(length);
        return n >= 200 ? size_t{200} : n > 0 ? static_cast<size_t>(n) : 0;
    };
    f.push_back(ifIoctl(LowerHex(c.OutputData, bytes(c.Param32(par::OutputBufferLength)))));
    f.push_back(live ? ifIoctl(LowerHex(c.InputData, bytes(c.Param32(par::InputBufferLength))))
                     : std::nullopt);
    return f;
}

std::string Csv(const std::vector<CIrpRecord>& records, const ExportOptions& options) {
    std::string out;
    AppendCsvHeader(out);
    for (size_t i = 0; i < records.size(); ++i) AppendCsvRow(records[i], i, options, out);
    return out;
}

std::string Jsonl(const std::vector<CIrpRecord>& records, const ExportOptions& options) {
    std::string out;
    for (size_t i = 0; i < records.size(); ++i) AppendJsonLine(records[i], i, options, out);
    return out;
}

std::string Quoted(std::string_view s) {
    std::string q(1, '"');
    q.append(s);
    q.push_back('"');
    return q;
}

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The JSON value against the CSV text of the same field.
void ExpectJsonField(const QJsonValue& v, std::string_view key,
                     const std::optional<std::string>& expected, const CIrpRecord& r) {
    SCOPED_TRACE(std::string(key));
    if (!expected) {
        EXPECT_TRUE(v.isNull());
    } else if (key == "index" || key == "tick" || key == "status_code") {
        ASSERT_TRUE(v.isDouble());
        EXPECT_EQ(std::to_string(static_cast<uint64_t>(v.toDouble())), *expected);
    } else if (key == "latency_ms") {
        ASSERT_TRUE(v.isDouble());
        EXPECT_EQ(static_cast<float>(v.toDouble()), r.GetLatency());
    } else if (key == "parameters") {
        ASSERT_TRUE(v.isObject());
        const QJsonObject params = v.toObject();
        const auto pairs = SectionPairs(r.GetCapture());
        EXPECT_EQ(static_cast<size_t>(params.size()), pairs.size());
        for (const auto& [k, value] : pairs) {
            EXPECT_EQ(params.value(Utf8(k)).toString(), Utf8(value)) << k;
        }
    } else {
        ASSERT_TRUE(v.isString());
        EXPECT_EQ(v.toString(), Utf8(*expected));
    }
}

void ExpectBothWays(const std::vector<CIrpRecord>& records, const ExportOptions& options) {
    const std::vector<test::CsvRow> rows = ReadCsv(Csv(records, options));
    std::vector<std::string> lines;
    const std::vector<QJsonObject> objects = ReadJsonLines(Jsonl(records, options), &lines);
    ASSERT_EQ(rows.size(), records.size() + 1);
    ASSERT_EQ(objects.size(), records.size());
    EXPECT_EQ(rows[0], test::CsvRow(kExportFieldNames.begin(), kExportFieldNames.end()));

    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        const auto expected = ExpectedFields(records[i], i, options.inputBytesKnown);
        const test::CsvRow& row = rows[i + 1];
        ASSERT_EQ(row.size(), kExportFieldNames.size());
        ASSERT_EQ(static_cast<size_t>(objects[i].size()), kExportFieldNames.size());
        size_t keyAt = 0;
        for (size_t f = 0; f < kExportFieldNames.size(); ++f) {
            const std::string_view key = kExportFieldNames[f];
            EXPECT_EQ(row[f], expected[f].value_or("")) << key;
            ExpectJsonField(objects[i].value(QString::fromLatin1(key.data(), key.size())), key,
                            expected[f], records[i]);
            // QJsonObject sorts its keys: the order is checked on the line itself.
            const size_t at = lines[i].find(Quoted(key) + ":", keyAt);
            EXPECT_NE(at, std::string::npos) << key << " out of order";
            keyAt = at;
        }
        // The parameter keys keep the layout order too.
        size_t pairAt = lines[i].find("\"parameters\":");
        for (const auto& [k, value] : SectionPairs(records[i].GetCapture())) {
            pairAt = lines[i].find(Quoted(k) + ":" + Quoted(value), pairAt);
            EXPECT_NE(pairAt, std::string::npos) << k;
        }
    }
}

TEST(RecordExport, EveryLayoutBothWaysFieldByField) {
    const std::vector<CIrpRecord> records = EveryLayout();
    ExpectBothWays(records, ExportOptions{false});
    ExpectBothWays(records, ExportOptions{true});
}

TEST(RecordExport, HeaderAndOneDeviceControlExactly) {
    std::string header;
    AppendCsvHeader(header);
    EXPECT_EQ(header,
              "index,tick,device_object,object_name,description,major,minor,status,status_code,"
              "latency_ms,ioctl_code,ioctl_device_type,ioctl_function,ioctl_access,ioctl_method,"
              "parameters,output_hex,input_hex\r\n");

    IRP_CAPTURE_RECORD c;
    c.DeviceObject = 0x8a2b9a60;
    c.MajorFunction = IRP_MJ_DEVICE_CONTROL;
    c.Status = 0xC0000010;
    c.SetParam32(par::OutputBufferLength, 4);
    c.SetParam32(par::InputBufferLength, 2);
    c.SetParam32(par::IoControlCode, 0x002D1400);
    c.SetParam32(par::Type3InputBuffer, 0x00109170);
    const uint8_t out[] = {0x80, 0x96, 0x98, 0x00, 0xFF};
    std::memcpy(c.OutputData, out, sizeof out);
    c.InputData[0] = 0xAB;
    c.InputData[1] = 0x01;
    CIrpRecord r(c);
    r.SetLatency(0.1f);
    r.SetTickCount(775943);
    r.SetDescription("Disk");
    r.SetObjectName("\\Device\\Harddisk0\\DR0");

    std::string csv;
    AppendCsvRow(r, 12, ExportOptions{true}, csv);
    EXPECT_EQ(csv,
              "12,775943,0x8a2b9a60,\\Device\\Harddisk0\\DR0,Disk,IRP_MJ_DEVICE_CONTROL,0x00000000,"
              "STATUS_INVALID_DEVICE_REQUEST,3221225488,0.100,0x002d1400,FILE_DEVICE_MASS_STORAGE,"
              "0x0500,FILE_ANY_ACCESS,METHOD_BUFFERED,ULONG OutputBufferLength=0x00000004; ULONG "
              "InputBufferLength=0x00000002; ULONG IoControlCode=0x002d1400; PVOID "
              "Type3InputBuffer=0x00109170,80969800,ab01\r\n");
    std::string json;
    AppendJsonLine(r, 12, ExportOptions{false}, json);
    EXPECT_EQ(json,
              "{\"index\":12,\"tick\":775943,\"device_object\":\"0x8a2b9a60\","
              "\"object_name\":\"\\\\Device\\\\Harddisk0\\\\DR0\",\"description\":\"Disk\","
              "\"major\":\"IRP_MJ_DEVICE_CONTROL\",\"minor\":\"0x00000000\","
              "\"status\":\"STATUS_INVALID_DEVICE_REQUEST\",\"status_code\":3221225488,"
              "\"latency_ms\":0.1,\"ioctl_code\":\"0x002d1400\","
              "\"ioctl_device_type\":\"FILE_DEVICE_MASS_STORAGE\",\"ioctl_function\":\"0x0500\","
              "\"ioctl_access\":\"FILE_ANY_ACCESS\",\"ioctl_method\":\"METHOD_BUFFERED\","
              "\"parameters\":{\"ULONG OutputBufferLength\":\"0x00000004\","
              "\"ULONG InputBufferLength\":\"0x00000002\",\"ULONG IoControlCode\":\"0x002d1400\","
              "\"PVOID Type3InputBuffer\":\"0x00109170\"},\"output_hex\":\"80969800\","
              "\"input_hex\":null}\n");
}

TEST(RecordExport, AwkwardTextsSurviveBothWays) {
    // A comma, a quote, CR LF, a tab, control bytes, a NUL and bytes above 0x7F.
    static const char kDescription[] =
        "Disk, \"fast\"\r\nnext\tline \x01\x1F\x7F \x80\xE4\xFF end\0!";
    const std::string description(kDescription, sizeof kDescription - 1);
    const std::string name("\\Device\\\"odd\",\n\xA0");
    CIrpRecord r = PatternRecord(IRP_MJ_READ, 0, 0);
    r.SetDescription(description);
    r.SetObjectName(name);
    const std::vector<CIrpRecord> records = {r, r};

    const std::string csv = Csv(records, {});
    const std::string jsonl = Jsonl(records, {});
    for (const std::string* text : {&csv, &jsonl}) {
        EXPECT_EQ(Utf8(*text).toUtf8().toStdString(), *text) << "valid UTF-8 throughout";
    }
    EXPECT_EQ(std::count(jsonl.begin(), jsonl.end(), '\n'), 2) << "line breaks escaped";

    const auto rows = ReadCsv(csv);
    const auto objects = ReadJsonLines(jsonl);
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(objects.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(Utf8(rows[i + 1][4]),
                  QString::fromLatin1(description.data(), description.size()));
        EXPECT_EQ(Utf8(rows[i + 1][3]), QString::fromLatin1(name.data(), name.size()));
        EXPECT_EQ(objects[i].value("description").toString(),
                  QString::fromLatin1(description.data(), description.size()));
        EXPECT_EQ(objects[i].value("object_name").toString(),
                  QString::fromLatin1(name.data(), name.size()));
        EXPECT_EQ(rows[i + 1][0], std::to_string(i))
            << "the row after the awkward one starts cleanly";
    }
}

TEST(RecordExport, LatencyShortestInJsonThreeDecimalsInCsv) {
    struct Case {
        float value;
        const char* json;
        const char* csv;
    };
    const Case cases[] = {
        {0.1f, "0.1", "0.100"},
        {1.2345f, "1.2345", "1.235"},  // 1.2345f is just above 1.2345
        {3.0f, "3", "3.000"},
        {-0.5f, "-0.5", "-0.500"},
        {0.0f, "0", "0.000"},
        {1e-10f, "1e-10", "0.000"},
        {16777217.0f, "16777216", "16777216.000"},
        {std::numeric_limits<float>::max(), "3.4028235e+38",
         "340282346638528859811704183484516925440.000"},
        {std::numeric_limits<float>::infinity(), "null", "inf"},
        {std::numeric_limits<float>::quiet_NaN(), "null", "nan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        CIrpRecord r = PatternRecord(IRP_MJ_CLOSE, 0, 0);
        r.SetLatency(c.value);
        std::string json, csv;
        AppendJsonLine(r, 0, {}, json);
        AppendCsvRow(r, 0, {}, csv);
        EXPECT_NE(json.find(std::string(",\"latency_ms\":") + c.json + ","), std::string::npos)
            << json;
        EXPECT_EQ(ReadCsv(csv).at(0).at(9), c.csv);
        const QJsonValue parsed = ReadJsonLines(json).at(0).value("latency_ms");
        if (std::isfinite(c.value)) {
            EXPECT_EQ(static_cast<float>(parsed.toDouble()), c.value)
                << "reads back the same float";
        }
    }
}

TEST(RecordExport, BufferBytesFollowTheLengths) {
    struct Case {
        uint32_t outputLength, inputLength;
        size_t outputBytes, inputBytes;
    };
    const Case cases[] = {
        {0, 0, 0, 0},
        {4, 1, 4, 1},
        {199, 200, 199, 200},
        {4096, 201, 200, 200},
        {0xFFFFFFFF, 0x80000000, 0, 0},  // negative when read as signed: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outputLength);
        CIrpRecord r = PatternRecord(IRP_MJ_DEVICE_CONTROL, 0, 0);
        r.GetCapture().SetParam32(par::OutputBufferLength, c.outputLength);
        r.GetCapture().SetParam32(par::InputBufferLength, c.inputLength);
        std::string live, loaded;
        AppendJsonLine(r, 0, ExportOptions{true}, live);
        AppendJsonLine(r, 0, ExportOptions{false}, loaded);
        const QJsonObject l = ReadJsonLines(live).at(0), f = ReadJsonLines(loaded).at(0);
        EXPECT_EQ(l.value("output_hex").toString().toStdString(),
                  LowerHex(r.GetCapture().OutputData, c.outputBytes));
        EXPECT_EQ(l.value("input_hex").toString().toStdString(),
                  LowerHex(r.GetCapture().InputData, c.inputBytes));
        EXPECT_TRUE(l.value("input_hex").isString());
        EXPECT_TRUE(f.value("input_hex").isNull()) << "a loaded test has no input bytes";
        EXPECT_EQ(f.value("output_hex"), l.value("output_hex"));
    }
    // Not a device control: no buffers even when the bytes are there.
    std::string read;
    AppendJsonLine(PatternRecord(IRP_MJ_READ, 0, 0), 0, ExportOptions{true}, read);
    const QJsonObject o = ReadJsonLines(read).at(0);
    EXPECT_TRUE(o.value("output_hex").isNull());
    EXPECT_TRUE(o.value("input_hex").isNull());
}

TEST(RecordExport, FormatNames) {
    EXPECT_EQ(ParseExportFormat("csv"), ExportFormat::Csv);
    EXPECT_EQ(ParseExportFormat("jsonl"), ExportFormat::JsonLines);
    EXPECT_EQ(ParseExportFormat("json"), std::nullopt);
    EXPECT_EQ(ParseExportFormat("CSV"), std::nullopt);
    EXPECT_EQ(ParseExportFormat(""), std::nullopt);
}

}  // namespace
}  // namespace vantrel
