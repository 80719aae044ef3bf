// libFuzzer target: template rows feeding a buffer section. The input gives
// a capture record's length words and buffer bytes, a few Templates rows
// (types among the seven names or near them, any value names and offsets)
// and the chosen template name. The section must be exactly: the header,
// one field line per row of that template that fits the available bytes,
// in offset order, formatted as printf would, then the closing line.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decode/field_line.h"
#include "decode/template_buffers.h"

namespace {

using namespace vantrel;

struct Type {
    const char* name;
    uint32_t size;
};
constexpr Type kTypes[] = {{"BOOL", 4}, {"char", 1},  {"float", 4}, {"int", 4},
                           {"long", 4}, {"PVOID", 4}, {"SHORT", 2}};
// Near misses: none of these is a type.
constexpr const char* kNotTypes[] = {"Int", "bool", "short", "PVOID ", "", "CHAR", "Float"};

std::string PickType(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            return kTypes[in.ConsumeIntegralInRange<size_t>(0, 6)].name;
        case 1:
            return kNotTypes[in.ConsumeIntegralInRange<size_t>(0, 6)];
        default:
            return in.ConsumeRandomLengthString(8);
    }
}

const Type* Find(const std::string& name) {
    for (const Type& t : kTypes)
        if (name == t.name) return &t;
    return nullptr;
}

uint32_t Word(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// The value part as the printf formats of the section give it.
std::string Value(const std::string& type, const uint8_t* p) {
    char buf[400];
    const uint32_t w = Word(p);
    if (type == "BOOL") return w ? "=\tTRUE\r\n" : "=\tFALSE\r\n";
    if (type == "char") return std::string("=\t'") + static_cast<char>(p[0] ? p[0] : '0') + "'\r\n";
    if (type == "float") {
        float f;
        std::memcpy(&f, &w, sizeof f);
        std::snprintf(buf, sizeof buf, "=\t%.2f\r\n", static_cast<double>(f));
    } else if (type == "int") {
        std::snprintf(buf, sizeof buf, "=\t%i\r\n", static_cast<int32_t>(w));
    } else if (type == "SHORT") {
        const auto v = static_cast<int16_t>(p[0] | (p[1] << 8));
        std::snprintf(buf, sizeof buf, "=\t0x%.4x\r\n", static_cast<uint32_t>(int32_t{v}));
    } else {
        std::snprintf(buf, sizeof buf, "=\t0x%.8x\r\n", w);
    }
    return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    IRP_CAPTURE_RECORD capture;
    capture.MajorFunction = IRP_MJ_DEVICE_CONTROL;
    const bool input = in.ConsumeBool();
    const uint32_t length = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 210)
                                             : in.ConsumeIntegral<uint32_t>();
    capture.SetParam32(input ? par::InputBufferLength : par::OutputBufferLength, length);
    const std::string name = in.ConsumeBool() ? "Geometry" : in.ConsumeRandomLengthString(12);

    std::vector<TemplateRow> rows(in.ConsumeIntegralInRange<size_t>(0, 8));
    for (TemplateRow& row : rows) {
        row.name = in.ConsumeBool() ? name : in.ConsumeRandomLengthString(12);
        row.type = PickType(in);
        row.valueName = in.ConsumeRandomLengthString(40);
        row.offset = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-4, 204)
                                      : in.ConsumeIntegral<int32_t>();
    }
    uint8_t* bytes = input ? capture.InputData : capture.OutputData;
    const std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
    if (!rest.empty())
        std::memcpy(bytes, rest.data(), std::min(rest.size(), size_t{rec::DataSize}));

    const CTemplateSnapshot templates(rows);
    std::string out;
    AppendBufferSection(out, capture, input ? BufferSection::Input : BufferSection::Output, name,
                        templates);

    std::string expected =
        input ? "\r\n    Input Buffer Template {\r\n" : "\r\n    Output Buffer Template {\r\n";
    std::vector<TemplateRow> mine;
    for (const TemplateRow& row : rows)
        if (row.name == name) mine.push_back(row);
    std::stable_sort(mine.begin(), mine.end(), [](const TemplateRow& a, const TemplateRow& b) {
        return a.offset < b.offset;
    });
    const uint64_t available = std::min<uint32_t>(length, rec::DataSize);
    for (const TemplateRow& row : mine) {
        const Type* type = Find(row.type);
        if (!type || row.offset < 0 || uint64_t(uint32_t(row.offset)) + type->size > available)
            continue;
        const std::string label = "        " + row.type + " " + row.valueName;
        expected += label;
        expected.append(static_cast<size_t>(PadTabs(label.size())), '\t');
        expected += Value(row.type, bytes + row.offset);
    }
    expected += "    } " + name + "\r\n";
    if (out != expected) std::abort();
    return 0;
}
