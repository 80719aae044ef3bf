#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "analysis/record_builder.h"

namespace vantrel {
namespace {

using test::Add;
using test::Rec;

constexpr uint32_t kStatusPending = 0x103;
constexpr uint32_t kDisk = 0x81A2B3C4, kUsb = 0x81000100;

RecordSelection AllDevices() {
    return RecordSelection{};
}
RecordSelection Device(std::optional<uint32_t> device) {
    RecordSelection s;
    s.allDevices = false;
    s.device = device;
    return s;
}

using Cells = std::array<std::string, 5>;

TEST(StatisticsTest, EmptyListWithAllDevicesListsEveryRowWithZeroSamples) {
    CRecordList list;
    const StatisticsTable t = ComputeStatistics(list, AllDevices(), true);
    ASSERT_TRUE(t.listed);
    for (size_t row = 0; row < kStatisticsRows; ++row) {
        const Cells cells = StatisticsCells(row, t.rows[row]);
        EXPECT_EQ(cells[1], "0");
        EXPECT_EQ(cells[2], "");
        EXPECT_EQ(cells[3], "");
        EXPECT_EQ(cells[4], "");
        EXPECT_EQ(StatisticsExtendedCells(t.rows[row]), (std::array<std::string, 4>{}));
    }
    EXPECT_EQ(StatisticsRowLabel(0), "IRP_MJ_CREATE");
    EXPECT_EQ(StatisticsRowLabel(26), "IRP_MJ_SET_QUOTA");
    EXPECT_EQ(StatisticsRowLabel(27), "IRP_MJ_PNP");
}

TEST(StatisticsTest, SelectedDeviceCaseListsNothingWithoutADeviceOrATakenRecord) {
    CRecordList list;
    Add(list, Rec().Device(kDisk));
    EXPECT_FALSE(ComputeStatistics(list, Device(std::nullopt), true).listed);
    EXPECT_FALSE(ComputeStatistics(list, Device(kUsb), true).listed);
    const StatisticsTable t = ComputeStatistics(list, Device(kDisk), true);
    ASSERT_TRUE(t.listed);
    EXPECT_EQ(t.rows[IRP_MJ_READ].samples, 1);

    // A device whose only records fail the IOCTL filter takes nothing either.
    RecordSelection filtered = Device(kDisk);
    filtered.ioctlFilter = true;
    EXPECT_FALSE(ComputeStatistics(list, filtered, false).listed);
}

TEST(StatisticsTest, ThreeReadsOnePendingIsTwoThirdsSuccessful) {
    CRecordList list;
    Add(list, Rec().Status(0).Latency(1.0f));
    Add(list, Rec().Status(kStatusPending).Latency(2.0f));
    Add(list, Rec().Status(0).Latency(3.0f));
    const StatisticsTable t = ComputeStatistics(list, AllDevices(), true);
    EXPECT_EQ(StatisticsCells(IRP_MJ_READ, t.rows[IRP_MJ_READ]),
              (Cells{"IRP_MJ_READ", "3", "2.000", "6.000", "66.67 %"}));
    EXPECT_EQ(StatisticsExtendedCells(t.rows[IRP_MJ_READ]),
              (std::array<std::string, 4>{"1.000", "2.000", "3.000", "3.000"}));
    EXPECT_EQ(StatisticsCells(IRP_MJ_WRITE, t.rows[IRP_MJ_WRITE]),
              (Cells{"IRP_MJ_WRITE", "0", "", "", ""}));
}

TEST(StatisticsTest, TotalsAreSinglePrecisionSumsInListOrder) {
    // 2^24 + 1 is not a float: added first, the big value swallows each 1.
    CRecordList bigFirst, bigLast;
    for (float v : {16777216.0f, 1.0f, 1.0f}) Add(bigFirst, Rec().Latency(v));
    for (float v : {1.0f, 1.0f, 16777216.0f}) Add(bigLast, Rec().Latency(v));
    const auto a = StatisticsCells(3, ComputeStatistics(bigFirst, AllDevices(), false).rows[3]);
    const auto b = StatisticsCells(3, ComputeStatistics(bigLast, AllDevices(), false).rows[3]);
    EXPECT_EQ(a[3], "16777216.000");
    EXPECT_EQ(b[3], "16777218.000");
    // The average divides by the count in single precision.
    EXPECT_EQ(a[2], "5592405.500");
}

TEST(StatisticsTest, UnknownMajorCodesAreSkippedAndNeverPassTheIoctlFilter) {
    CRecordList list;
    Add(list, Rec().Major(28));
    Add(list, Rec().Major(0x10E));  // its low byte is IRP_MJ_DEVICE_CONTROL
    Add(list, Rec().Major(0xFFFFFFFF));
    Add(list, Rec().Major(IRP_MJ_PNP));
    const StatisticsTable t = ComputeStatistics(list, AllDevices(), true);
    int32_t total = 0;
    for (const StatisticsRow& r : t.rows) total += r.samples;
    EXPECT_EQ(total, 1);
    EXPECT_EQ(t.rows[IRP_MJ_PNP].samples, 1);

    RecordSelection s;
    s.ioctlFilter = true;
    EXPECT_EQ(ComputeStatistics(list, s, false).rows[IRP_MJ_DEVICE_CONTROL].samples, 0);
}

TEST(StatisticsTest, IoctlFilterKeepsOnlyDeviceControlsOfTheSelectedIoctl) {
    CRecordList list;
    const uint32_t dc = IRP_MJ_DEVICE_CONTROL;
    Add(list, Rec().Major(dc).Latency(1).Ioctl(0x2D1400).Name("\\Device\\A"));
    Add(list, Rec().Major(dc).Latency(2).Ioctl(0x2D1400).Name("\\Device\\B"));
    Add(list, Rec().Major(dc).Latency(4).Ioctl(0x70000).Name("\\Device\\A"));
    Add(list, Rec().Major(IRP_MJ_READ).Latency(8).Ioctl(0x2D1400).Name("\\Device\\A"));
    Add(list, Rec().Major(dc).Latency(16).Ioctl(0x2D1400).Name("\\Device\\A"));

    RecordSelection s;
    s.ioctlFilter = true;  // on, nothing selected: every device control
    StatisticsTable t = ComputeStatistics(list, s, false);
    EXPECT_EQ(t.rows[dc].samples, 4);
    EXPECT_EQ(t.rows[IRP_MJ_READ].samples, 0);

    s.ioctl.code = 0x2D1400;
    s.ioctl.objectName = "\\Device\\A";
    t = ComputeStatistics(list, s, false);
    ASSERT_TRUE(t.listed);
    for (size_t row = 0; row < kStatisticsRows; ++row)
        EXPECT_EQ(t.rows[row].samples, row == dc ? 2 : 0) << row;
    EXPECT_EQ(t.rows[dc].total, 17.0f);

    s.ioctl.objectName = "\\device\\a";  // names compare exactly
    EXPECT_EQ(ComputeStatistics(list, s, false).rows[dc].samples, 0);
}

TEST(StatisticsTest, NearestRankPercentiles) {
    std::vector<float> values;
    for (int i = 1; i <= 200; ++i) values.push_back(static_cast<float>(i));
    std::shuffle(values.begin(), values.end(), std::mt19937(7));
    CRecordList list;
    for (float v : values) Add(list, Rec().Major(IRP_MJ_WRITE).Latency(v));
    Add(list, Rec().Major(IRP_MJ_CLOSE).Latency(-0.25f));
    Add(list, Rec().Major(IRP_MJ_CLOSE).Latency(5.0f));
    const StatisticsTable t = ComputeStatistics(list, AllDevices(), true);
    const StatisticsRow& w = t.rows[IRP_MJ_WRITE];
    EXPECT_EQ(w.minimum, 1.0f);
    EXPECT_EQ(w.median, 100.0f);  // rank ceil(0.5 x 200) = 100
    EXPECT_EQ(w.p99, 198.0f);     // rank ceil(0.99 x 200) = 198
    EXPECT_EQ(w.maximum, 200.0f);
    const StatisticsRow& c = t.rows[IRP_MJ_CLOSE];
    EXPECT_EQ(c.minimum, -0.25f);
    EXPECT_EQ(c.median, -0.25f);  // rank 1 of 2
    EXPECT_EQ(c.p99, 5.0f);
    EXPECT_EQ(c.maximum, 5.0f);
}

TEST(StatisticsTest, ColumnsFollowAppendsAndStartOverAfterAClear) {
    CRecordList list;
    CRecordColumns columns;
    CStatisticsCalculator calculator;
    Add(list, Rec().Latency(1));
    columns.Update(list);
    EXPECT_EQ(calculator.Compute(columns, AllDevices(), true).rows[3].samples, 1);
    Add(list, Rec().Latency(2));
    Add(list, Rec().Major(IRP_MJ_WRITE).Latency(3));
    columns.Update(list);
    StatisticsTable t = calculator.Compute(columns, AllDevices(), true);
    EXPECT_EQ(t.rows[3].samples, 2);
    EXPECT_EQ(t.rows[3].maximum, 2.0f);
    EXPECT_EQ(t.rows[4].samples, 1);

    list.Clear();
    Add(list, Rec().Major(IRP_MJ_CREATE).Latency(9));
    columns.Update(list);
    t = calculator.Compute(columns, AllDevices(), true);
    EXPECT_EQ(columns.Size(), 1u);
    EXPECT_EQ(t.rows[3].samples, 0);
    EXPECT_EQ(t.rows[0].samples, 1);
    EXPECT_EQ(t.rows[0].median, 9.0f);
}

// The compiled column test must agree with Takes() on the record for every
// combination of device, major, code, name and selection.
TEST(StatisticsTest, ColumnSelectionAgreesWithTheRecordRule) {
    std::mt19937 rng(11);
    const uint32_t devices[] = {1, 2, 3};
    const uint32_t majors[] = {IRP_MJ_READ, IRP_MJ_DEVICE_CONTROL, 0x10E, 40};
    const uint32_t codes[] = {0x2D1400, 0x70000, 0xFFFFFFFF};
    const char* names[] = {"", "\\Device\\A", "\\Device\\B"};
    CRecordList list;
    for (int i = 0; i < 600; ++i) {
        Add(list, Rec()
                      .Device(devices[rng() % 3])
                      .Major(majors[rng() % 4])
                      .Ioctl(codes[rng() % 3])
                      .Name(names[rng() % 3]));
    }
    CRecordColumns columns;
    columns.Update(list);
    for (int round = 0; round < 200; ++round) {
        RecordSelection s;
        s.allDevices = rng() % 2;
        if (rng() % 4) s.device = devices[rng() % 3];
        s.ioctlFilter = rng() % 2;
        s.ioctl.code = rng() % 3 ? static_cast<int32_t>(codes[rng() % 3]) : -1;
        s.ioctl.objectName = rng() % 4 ? names[rng() % 3] : "\\Device\\C";
        const auto compiled = columns.Compile(s);
        for (size_t i = 0; i < list.Size(); ++i) {
            ASSERT_EQ(compiled.any && columns.Takes(compiled, i), Takes(s, *list.AtUnlocked(i)))
                << "round " << round << " record " << i;
        }
    }
}

}  // namespace
}  // namespace vantrel
