#include "record/irp_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

TEST(CaptureRecordTest, ReadsAndWritesEveryFieldLittleEndian) {
    std::vector<uint8_t> wire(protocol::kRecordSize);
    for (size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<uint8_t>(i * 7 + 3);
    IRP_CAPTURE_RECORD r;
    r.Read(wire.data());
    EXPECT_EQ(r.DeviceObject, le::U32(wire.data()));
    EXPECT_EQ(r.MajorFunction, le::U32(wire.data() + 4));
    EXPECT_EQ(r.StartTime, le::U64(wire.data() + 0x0C));
    EXPECT_EQ(r.EndTime, le::U64(wire.data() + 0x14));
    EXPECT_EQ(r.Status, le::U32(wire.data() + 0x1C));
    EXPECT_EQ(r.Param32(0), le::U32(wire.data() + 0x20));
    EXPECT_EQ(r.OutputData[0], wire[0x60]);
    EXPECT_EQ(r.InputData[199], wire[495]);
    EXPECT_EQ(r.U32At(0x24), le::U32(wire.data() + 0x24));
    EXPECT_EQ(r.U32At(0x10), le::U32(wire.data() + 0x10));
    std::vector<uint8_t> back(protocol::kRecordSize);
    r.Write(back.data());
    EXPECT_EQ(back, wire);
}

TEST(LatencyTest, ConvertsTicksToMillisecondsSignedAndSafeAtZeroSpeed) {
    EXPECT_FLOAT_EQ(ComputeLatency(1000, 3000, 2), 1.0f);   // 2000 ticks / 2 per us
    EXPECT_FLOAT_EQ(ComputeLatency(3000, 1000, 2), -1.0f);  // end before start
    EXPECT_FLOAT_EQ(ComputeLatency(0x100000000ull, 0x100000000ull + 2'400'000, 2400), 1.0f);
    EXPECT_EQ(ComputeLatency(1, 5'000'000, 0), 0.0f);  // no speed: latency 0, no fault
}

TEST(IrpRecordTest, StringsAndIoControlCode) {
    CIrpRecord r;
    EXPECT_EQ(r.GetDescription(), "");
    // An empty text still has a data pointer: memchr and fwrite take it.
    EXPECT_NE(r.DescriptionView().data(), nullptr);
    EXPECT_NE(CText("").view().data(), nullptr);
    r.SetDescription("Disk drive");
    r.SetObjectName(std::string_view("\\Device\\Harddisk0\\DR0"));
    r.GetCapture().SetParam32(par::IoControlCode, 0x2d1400);
    EXPECT_EQ(r.GetDescription(), "Disk drive");
    EXPECT_EQ(r.GetObjectName(), "\\Device\\Harddisk0\\DR0");
    EXPECT_EQ(r.GetIoControlCode(), 0x2d1400u);
    CIrpRecord copy = r;
    EXPECT_EQ(copy.ObjectNameView().data(), r.ObjectNameView().data());  // shared, not copied
}

// Texts from an arena share its blocks, hold any bytes (NULs included),
// and outlive the arena and each other.
TEST(TextArenaTest, TextsKeepTheirBytesAfterTheArenaAndTheirNeighboursAreGone) {
    std::vector<CText> kept;
    std::vector<std::string> expected;
    {
        CTextArena arena;
        for (int i = 0; i < 600; ++i) {
            std::string s = "\\Device\\Harddisk" + std::to_string(i);
            if (i % 7 == 0) s += std::string("\0\xFF", 2);
            if (i % 11 == 0) s = std::string(600 + i % 5, 'x');  // more than a first block
            if (i % 50 == 0) s = std::string(1500 + i, static_cast<char>('a' + i % 26));
            CText t = arena.Add(s);
            if (i % 3 == 0) {
                kept.push_back(t);
                expected.push_back(s);
            }
        }
        EXPECT_TRUE(arena.Add("").empty());
    }
    ASSERT_EQ(kept.size(), expected.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        ASSERT_EQ(kept[i].view(), expected[i]) << i;
        ASSERT_EQ(kept[i].size(), expected[i].size());
    }
    EXPECT_EQ(kept[1], CText(expected[1]));
}

}  // namespace
}  // namespace vantrel
