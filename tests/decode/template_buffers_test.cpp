#include "decode/template_buffers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vantrel {
namespace {

IRP_CAPTURE_RECORD DeviceControl(uint32_t inLength, uint32_t outLength) {
    IRP_CAPTURE_RECORD r;
    r.MajorFunction = IRP_MJ_DEVICE_CONTROL;
    r.SetParam32(par::InputBufferLength, inLength);
    r.SetParam32(par::OutputBufferLength, outLength);
    return r;
}

void Put(uint8_t* data, size_t offset, std::initializer_list<uint8_t> bytes) {
    std::memcpy(data + offset, bytes.begin(), bytes.size());
}

std::string Section(const IRP_CAPTURE_RECORD& r, BufferSection which, std::string_view name,
                    std::vector<TemplateRow> rows) {
    CTemplateSnapshot snapshot(std::move(rows));
    std::string out = "before";
    AppendBufferSection(out, r, which, name, snapshot);
    EXPECT_EQ(out.substr(0, 6), "before");  // appends, never replaces
    return out.substr(6);
}

TEST(TemplateBuffers, RowPastTheOutputLengthIsSkipped) {
    IRP_CAPTURE_RECORD r = DeviceControl(0, 8);
    Put(r.OutputData, 0, {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0});
    EXPECT_EQ(Section(r, BufferSection::Output, "T",
                      {{"T", "int", "C", 8}, {"T", "int", "A", 0}, {"T", "int", "B", 4}}),
              "\r\n    Output Buffer Template {\r\n"
              "        int A\t\t\t\t\t=\t1\r\n"
              "        int B\t\t\t\t\t=\t-1\r\n"
              "    } T\r\n");
}

TEST(TemplateBuffers, LengthIsCappedAt200) {
    IRP_CAPTURE_RECORD r = DeviceControl(500, 0);
    Put(r.InputData, 196, {0, 1, 0, 0});
    EXPECT_EQ(Section(r, BufferSection::Input, "Caps",
                      {{"Caps", "BOOL", "First", 0},
                       {"Caps", "BOOL", "AtEnd", 196},
                       {"Caps", "BOOL", "PastEnd", 197}}),
              "\r\n    Input Buffer Template {\r\n"
              "        BOOL First\t\t\t\t=\tFALSE\r\n"
              "        BOOL AtEnd\t\t\t\t=\tTRUE\r\n"
              "    } Caps\r\n");
}

TEST(TemplateBuffers, EveryTypeAndItsValueForm) {
    IRP_CAPTURE_RECORD r = DeviceControl(0, 40);
    Put(r.OutputData, 0, {0x41, 0x00});               // char 'A', char 0
    Put(r.OutputData, 2, {0x00, 0x80});               // SHORT 0x8000
    Put(r.OutputData, 4, {0x12, 0x00});               // SHORT 0x0012
    Put(r.OutputData, 6, {0x00, 0x00, 0x80, 0x3F});   // float 1.0, unaligned
    Put(r.OutputData, 10, {0xEF, 0xBE, 0xAD, 0xDE});  // long
    Put(r.OutputData, 14, {0x78, 0x56, 0x34, 0x12});  // PVOID
    Put(r.OutputData, 18, {0x00, 0x00, 0x00, 0x80});  // int INT_MIN
    Put(r.OutputData, 22, {0xCD, 0xCC, 0x4C, 0xBF});  // float -0.8
    EXPECT_EQ(Section(r, BufferSection::Output, "ALL",
                      {{"ALL", "char", "Letter", 0},
                       {"ALL", "char", "Nul", 1},
                       {"ALL", "SHORT", "Negative", 2},
                       {"ALL", "SHORT", "Positive", 4},
                       {"ALL", "float", "One", 6},
                       {"ALL", "long", "Flags", 10},
                       {"ALL", "PVOID", "Context", 14},
                       {"ALL", "int", "Min", 18},
                       {"ALL", "float", "NegativeFraction", 22}}),
              "\r\n    Output Buffer Template {\r\n"
              "        char Letter\t\t\t\t=\t'A'\r\n"
              "        char Nul\t\t\t\t=\t'0'\r\n"
              "        SHORT Negative\t\t\t=\t0xffff8000\r\n"
              "        SHORT Positive\t\t\t=\t0x0012\r\n"
              "        float One\t\t\t\t=\t1.00\r\n"
              "        long Flags\t\t\t\t=\t0xdeadbeef\r\n"
              "        PVOID Context\t\t\t\t=\t0x12345678\r\n"
              "        int Min\t\t\t\t\t=\t-2147483648\r\n"
              "        float NegativeFraction\t\t=\t-0.80\r\n"
              "    } ALL\r\n");
}

TEST(TemplateBuffers, UnknownTypesAndBadOffsetsLeaveNoTrace) {
    IRP_CAPTURE_RECORD r = DeviceControl(0, 200);
    EXPECT_EQ(Section(r, BufferSection::Output, "Skip",
                      {{"Skip", "Int", "WrongCase", 0},
                       {"Skip", "bool", "WrongCase2", 0},
                       {"Skip", "DWORD", "Unknown", 0},
                       {"Skip", "int", "Negative", -4},
                       {"Skip", "int", "Huge", 0x7FFFFFFF},
                       {"Skip", "SHORT", "LastTwo", 198},
                       {"Skip", "SHORT", "PastEnd", 199},
                       {"Other", "int", "OtherTemplate", 0}}),
              "\r\n    Output Buffer Template {\r\n"
              "        SHORT LastTwo\t\t\t\t=\t0x0000\r\n"
              "    } Skip\r\n");
    EXPECT_EQ(Section(r, BufferSection::Output, "Missing", {{"Skip", "int", "A", 0}}),
              "\r\n    Output Buffer Template {\r\n    } Missing\r\n");
}

TEST(TemplateBuffers, ReadRecordTakesItsInputCountFromTheKey) {
    IRP_CAPTURE_RECORD r;
    r.MajorFunction = IRP_MJ_READ;
    r.SetParam32(par::Length, 512);
    r.SetParam32(par::Key, 8);  // the word at 0x24
    Put(r.InputData, 0, {5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0});
    EXPECT_EQ(Section(r, BufferSection::Input, "K",
                      {{"K", "int", "A", 0}, {"K", "int", "B", 4}, {"K", "int", "C", 8}}),
              "\r\n    Input Buffer Template {\r\n"
              "        int A\t\t\t\t\t=\t5\r\n"
              "        int B\t\t\t\t\t=\t6\r\n"
              "    } K\r\n");
}

TEST(TemplateBuffers, LongLabelsGetFewerTabs) {
    IRP_CAPTURE_RECORD r = DeviceControl(0, 4);
    // 8 + "long " + 25 = 38 characters: no tab.
    EXPECT_EQ(
        Section(r, BufferSection::Output, "L",
                {{"L", "long", std::string(25, 'v'), 0}, {"L", "long", std::string(24, 'w'), 0}}),
        "\r\n    Output Buffer Template {\r\n"
        "        long " +
            std::string(25, 'v') +
            "=\t0x00000000\r\n"
            "        long " +
            std::string(24, 'w') +
            "\t=\t0x00000000\r\n"
            "    } L\r\n");
}

}  // namespace
}  // namespace vantrel
