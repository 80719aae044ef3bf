#include "decode/text_block.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/number_format.h"
#include "decode/template_buffers.h"

namespace vantrel {
namespace {

constexpr const char* kSeparator = "-------------------------------------------------\r\n";

class TextBlock : public testing::Test {
protected:
    static CIrpRecord Record(uint32_t major, uint32_t minor, uint32_t status = 0,
                             float latency = 1.5f) {
        IRP_CAPTURE_RECORD c;
        c.DeviceObject = 0x81a2b3c0;
        c.MajorFunction = major;
        c.MinorFunction = minor;
        c.Status = status;
        CIrpRecord r(c);
        r.SetLatency(latency);
        r.SetDescription("Disk #0");
        r.SetObjectName("\\Device\\Harddisk0\\DR0");
        return r;
    }

    static std::string Format(const CIrpRecord& r, uint32_t flags = 63) {
        OutputSettings s;
        s.outputFlags = flags;
        std::string out;
        FormatRecord(r, s, out);
        return out;
    }

    // The n-th line (0-based) of a block, without its CR LF.
    static std::string Line(const std::string& block, size_t n) {
        size_t start = 0;
        for (size_t i = 0; i < n; ++i) start = block.find("\r\n", start) + 2;
        return block.substr(start, block.find("\r\n", start) - start);
    }
};

TEST_F(TextBlock, ReadWithAllFlagsOn) {
    CIrpRecord r = Record(0x03, 0);
    r.GetCapture().SetParam32(par::Length, 4096);
    r.GetCapture().SetParam32(par::Key, 0);
    r.GetCapture().SetParam32(par::ByteOffsetLow, 4096);
    EXPECT_EQ(Format(r),
              "IRP Monitor Data\r\n"
              "    PDEVICE_OBJECT:\t\t0x81a2b3c0\r\n"
              "    NTSTATUS:\t\t\tSTATUS_SUCCESS\r\n"
              "    Description:\t\tDisk #0\r\n"
              "    Object Name:\t\t\\Device\\Harddisk0\\DR0\r\n"
              "    Major Code:\t\t\tIRP_MJ_READ\r\n"
              "    Minor Code:\t\t\t0x00000000\r\n"
              "    Latency:\t\t\t1.500 ms\r\n"
              "\r\n"
              "    Parameters:\r\n"
              "    struct {\r\n"
              "        ULONG Length\t\t\t\t=\t0x00001000\r\n"
              "        ULONG Key\t\t\t\t=\t0x00000000\r\n"
              "        LARGE_INTEGER ByteOffset\t=\t0x0000000000001000\r\n"
              "    } Read\r\n"
              "-------------------------------------------------\r\n");
}

TEST_F(TextBlock, AllFlagsOffGivesFourLines) {
    const CIrpRecord r = Record(0x03, 0, 0xC0000010);
    EXPECT_EQ(Format(r, 0),
              "IRP Monitor Data\r\n"
              "    PDEVICE_OBJECT:\t\t0x81a2b3c0\r\n"
              "    NTSTATUS:\t\t\tSTATUS_INVALID_DEVICE_REQUEST\r\n"
              "-------------------------------------------------\r\n");
    // Bits beyond the six change nothing.
    EXPECT_EQ(Format(r, 0xFFFFFFC0u), Format(r, 0));
}

TEST_F(TextBlock, EachFlagSwitchesItsLineInFixedOrder) {
    const CIrpRecord r = Record(0x1B, 0x17, 0, 2.25f);
    struct {
        uint32_t flag;
        const char* line;
    } const lines[] = {
        {0x01, "    Description:\t\tDisk #0\r\n"},
        {0x10, "    Object Name:\t\t\\Device\\Harddisk0\\DR0\r\n"},
        {0x04, "    Major Code:\t\t\tIRP_MJ_PNP\r\n"},
        {0x08, "    Minor Code:\t\t\t0x00000017\r\n"},
        {0x02, "    Latency:\t\t\t2.250 ms\r\n"},
    };
    const std::string head =
        "IRP Monitor Data\r\n    PDEVICE_OBJECT:\t\t0x81a2b3c0\r\n"
        "    NTSTATUS:\t\t\tSTATUS_SUCCESS\r\n";
    std::string all = head;
    uint32_t flags = 0;
    for (const auto& l : lines) {
        EXPECT_EQ(Format(r, l.flag), head + l.line + kSeparator);
        all += l.line;
        flags |= l.flag;
    }
    // PnP minor 0x17 has no parameter layout: the parameter flag adds nothing.
    EXPECT_EQ(Format(r, flags | 0x20), all + kSeparator);
}

TEST_F(TextBlock, StatusLineNamesOrNumbers) {
    EXPECT_EQ(Line(Format(Record(0x03, 0, 0x00000103)), 2), "    NTSTATUS:\t\t\tSTATUS_PENDING");
    EXPECT_EQ(Line(Format(Record(0x03, 0, 0x40000000)), 2), "    NTSTATUS:\t\t\t0x40000000");
    EXPECT_EQ(Line(Format(Record(0x03, 0, 0xC00000AB), 0), 2), "    NTSTATUS:\t\t\t0xc00000ab");
    EXPECT_EQ(Line(Format(Record(0x03, 0, 0xC000009A)), 2), "    NTSTATUS:\t\t\tSTATUS_INSUFF_RES");
}

TEST_F(TextBlock, MajorAndMinorCodeLines) {
    EXPECT_EQ(Line(Format(Record(0x16, 2), 0x0C), 3), "    Major Code:\t\t\tIRP_MJ_POWER");
    EXPECT_EQ(Line(Format(Record(0x16, 2), 0x0C), 4), "    Minor Code:\t\t\tIRP_MN_SET_POWER");
    EXPECT_EQ(Line(Format(Record(0x17, 9), 0x08), 3), "    Minor Code:\t\t\tIRP_MN_EXECUTE_METHOD");
    EXPECT_EQ(Line(Format(Record(0x1B, 0x0E), 0x08), 3), "    Minor Code:\t\t\t0x0000000e");
    // Codes past the table print their number and read nothing outside it.
    EXPECT_EQ(Line(Format(Record(0x1D, 0), 0x04), 3),
              "    Major Code:\t\t\tIRP_MJ_MAXIMUM_FUNCTION");
    EXPECT_EQ(Line(Format(Record(30, 0), 0x04), 3), "    Major Code:\t\t\t0x0000001e");
    EXPECT_EQ(Line(Format(Record(0xFFFFFFFF, 0), 0x04), 3), "    Major Code:\t\t\t0xffffffff");
}

TEST_F(TextBlock, LatencyLineRoundsToThreeDecimals) {
    EXPECT_EQ(Line(Format(Record(0x03, 0, 0, 0.0004f), 0x02), 3), "    Latency:\t\t\t0.000 ms");
    EXPECT_EQ(Line(Format(Record(0x03, 0, 0, -0.25f), 0x02), 3), "    Latency:\t\t\t-0.250 ms");
    EXPECT_EQ(Line(Format(Record(0x03, 0, 0, 1234.5678f), 0x02), 3),
              "    Latency:\t\t\t1234.568 ms");
}

// The hand-written "%.3f" must give the C library's bytes for any float.
// C libraries spell a NaN differently (MinGW's drops the sign); the
// program's spelling is the same everywhere: "nan" or "-nan".
TEST(NumberFormat, Fixed3MatchesPrintfForFloats) {
    std::vector<float> values = {0.0f,     -0.0f,    0.0004f,   0.0005f, 0.0015f, 0.0625f, 0.1875f,
                                 1.0005f,  2.5f,     999.9995f, 12.9f,   21.5f,   1e-30f,  3.4e38f,
                                 -3.4e38f, INFINITY, -INFINITY, NAN,     -NAN};
    std::mt19937 rng(12345);
    for (int i = 0; i < 200000; ++i) {
        uint32_t bits = static_cast<uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        values.push_back(f);
        values.push_back(static_cast<float>(rng() % 10000000) / 1000.0f);  // typical latencies
    }
    char expect[512];
    for (float f : values) {
        std::string got;
        AppendFixed3(got, static_cast<double>(f));
        if (std::isnan(f)) {
            ASSERT_EQ(got, std::signbit(f) ? "-nan" : "nan");
            continue;
        }
        std::snprintf(expect, sizeof expect, "%.3f", static_cast<double>(f));
        ASSERT_EQ(got, expect) << "float bits " << std::hex << std::bit_cast<uint32_t>(f);
    }
}

TEST(NumberFormat, HexWidths) {
    std::string s;
    AppendHex8(s, 0xABCDEF);
    AppendHex(s, 0x83, 4);
    AppendHex(s, 0x12345, 4);
    AppendHex(s, 0, 4);
    EXPECT_EQ(s, "0x00abcdef0x00830x123450x0000");
}

TEST_F(TextBlock, BlocksFollowOneAnother) {
    std::string out;
    OutputSettings s;
    for (int i = 0; i < 3; ++i) FormatRecord(Record(0x02, 0), s, out);
    // Blocks are appended one after the other.
    EXPECT_EQ(out, Format(Record(0x02, 0)) + Format(Record(0x02, 0)) + Format(Record(0x02, 0)));
}

TEST_F(TextBlock, TemplateSectionsFollowParametersInputFirst) {
    const CTemplateSnapshot templates;
    CIrpRecord r = Record(0x03, 0);
    const std::string plain = Format(r);
    const std::string body = plain.substr(0, plain.size() - std::strlen(kSeparator));

    auto with = [&](std::string_view in, std::string_view outName, const CTemplateSnapshot* t) {
        OutputSettings s;
        s.inputTemplate = in;
        s.outputTemplate = outName;
        s.templates = t;
        std::string out;
        FormatRecord(r, s, out);
        return out;
    };
    auto section = [&](BufferSection which, std::string_view name) {
        std::string s;
        AppendBufferSection(s, r.GetCapture(), which, name, templates);
        return s;
    };

    // The sections do not depend on the major code (a read here).
    EXPECT_EQ(with("In", "Out", &templates), body + section(BufferSection::Input, "In") +
                                                 section(BufferSection::Output, "Out") +
                                                 kSeparator);
    EXPECT_EQ(with("None", "Out", &templates),
              body + section(BufferSection::Output, "Out") + kSeparator);
    EXPECT_EQ(with("none", "", &templates),
              body + section(BufferSection::Input, "none") + kSeparator);
    EXPECT_EQ(with("", "None", &templates), plain);
    EXPECT_EQ(with("In", "Out", nullptr), plain);
}

TEST_F(TextBlock, TextsEndAtTheirFirstNul) {
    CIrpRecord r = Record(0x02, 0);
    r.SetDescription(std::string_view("Disk\0junk", 9));
    r.SetObjectName("");
    const std::string out = Format(r, 0x11);
    EXPECT_EQ(Line(out, 3), "    Description:\t\tDisk");
    EXPECT_EQ(Line(out, 4), "    Object Name:\t\t");
    EXPECT_EQ(out.find('\0'), std::string::npos);
}

}  // namespace
}  // namespace vantrel
