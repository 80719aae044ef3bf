#include "driver/irp_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "driver/sim_devices.h"
#include "driver/traffic_tables.h"

namespace vantrel {
namespace {

constexpr uint32_t kAllMajors = 0x0FFFFFFF;

const SimDevice& Device(const char* objectName) {
    for (const SimDevice& d : SimulatedDevices())
        if (std::string_view(d.objectName) == objectName) return d;
    ADD_FAILURE() << "no device " << objectName;
    return SimulatedDevices().front();
}

std::vector<IRP_CAPTURE_RECORD> Generate(const SimDevice& device, uint32_t mask, size_t count,
                                         uint64_t seed = 1) {
    CIrpStream stream(device, seed, 2400);
    stream.SetMask(mask);
    std::vector<IRP_CAPTURE_RECORD> out;
    if (!stream.CanProduce()) return out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) out.push_back(stream.NextRecord());
    return out;
}

bool SameBytes(const IRP_CAPTURE_RECORD& a, const IRP_CAPTURE_RECORD& b) {
    uint8_t x[protocol::kRecordSize], y[protocol::kRecordSize];
    a.Write(x);
    b.Write(y);
    return std::memcmp(x, y, sizeof x) == 0;
}

TEST(SimDevicesTest, TableCoversTheIoctlContractAndAFlaggedBusDevice) {
    const auto& devices = SimulatedDevices();
    EXPECT_GE(devices.size(), 12u);
    std::set<uint32_t> objects;
    std::set<std::string> names;
    int flagged = 0;
    for (const SimDevice& d : devices) {
        objects.insert(d.deviceObject);
        names.insert(d.objectName);
        EXPECT_EQ(d.deviceObject % 8, 0u) << d.objectName;
        EXPECT_GE(d.deviceObject, 0x80000000u) << d.objectName;
        if (d.flag) ++flagged;
    }
    EXPECT_EQ(objects.size(), devices.size());
    EXPECT_EQ(flagged, 1);
    for (const char* name :
         {"\\Device\\Harddisk0\\DR0", "\\Device\\HarddiskVolume1", "\\Device\\CdRom0",
          "\\Device\\KeyboardClass0", "\\Device\\PointerClass0", "\\Device\\Serial0",
          "\\Device\\ParallelPort0", "\\Device\\{B5F4D659-7DAA-4565-8E41-BE220ED60542}",
          "\\Device\\Beep", "\\Device\\Video0", "\\Device\\Null", "\\Device\\00000034"})
        EXPECT_TRUE(names.count(name)) << name;
}

// Every parameter layout the program decodes shows up in the traffic of the
// simulated devices, with mixed statuses.
TEST(IrpStreamTest, TrafficCoversEveryParameterLayoutAndStatusKind) {
    std::set<std::pair<uint32_t, uint32_t>> seen;  // major, minor (minor only for power and PnP)
    std::map<uint32_t, size_t> statuses;
    size_t total = 0;
    for (const SimDevice& d : SimulatedDevices()) {
        for (const IRP_CAPTURE_RECORD& r : Generate(d, kAllMajors, 20000)) {
            const bool minorMatters =
                r.MajorFunction == IRP_MJ_POWER || r.MajorFunction == IRP_MJ_PNP;
            seen.insert({r.MajorFunction, minorMatters ? r.MinorFunction : 0});
            ++statuses[r.Status];
            ++total;
            EXPECT_LT(r.MajorFunction, 28u);
            EXPECT_GT(r.EndTime, r.StartTime);
        }
    }
    const std::pair<uint32_t, uint32_t> layouts[] = {
        {IRP_MJ_CREATE, 0},          {IRP_MJ_READ, 0},
        {IRP_MJ_WRITE, 0},           {IRP_MJ_QUERY_INFORMATION, 0},
        {IRP_MJ_SET_INFORMATION, 0}, {IRP_MJ_QUERY_VOLUME_INFORMATION, 0},
        {IRP_MJ_DEVICE_CONTROL, 0},  {IRP_MJ_POWER, 0},
        {IRP_MJ_POWER, 1},           {IRP_MJ_POWER, 2},
        {IRP_MJ_POWER, 3},           {IRP_MJ_PNP, 0x00},
        {IRP_MJ_PNP, 0x07},          {IRP_MJ_PNP, 0x08},
        {IRP_MJ_PNP, 0x09},          {IRP_MJ_PNP, 0x0C},
        {IRP_MJ_PNP, 0x0D},          {IRP_MJ_PNP, 0x0F},
        {IRP_MJ_PNP, 0x10},          {IRP_MJ_PNP, 0x12},
        {IRP_MJ_PNP, 0x13},          {IRP_MJ_PNP, 0x16}};
    for (const auto& l : layouts)
        EXPECT_TRUE(seen.count(l)) << "major " << l.first << " minor " << l.second;

    EXPECT_GT(statuses[0x00000000], total * 85 / 100);  // mostly kStatusSuccess
    EXPECT_GT(statuses[0x00000103], 0u);                // kStatusPending
    EXPECT_GT(statuses[0xC00000BB], 0u);                // kStatusNotSupported
    EXPECT_GT(statuses[0xC0000011], 0u);                // kStatusEndOfFile: no name in the table
    EXPECT_GT(statuses.size(), 15u);
}

TEST(IrpStreamTest, OnlySelectedMajorsAndSilentWhenTheDeviceGetsNoneOfThem) {
    const SimDevice& disk = Device("\\Device\\Harddisk0\\DR0");
    const uint32_t mask = (1u << IRP_MJ_READ) | (1u << IRP_MJ_PNP);
    for (const IRP_CAPTURE_RECORD& r : Generate(disk, mask, 5000)) {
        EXPECT_TRUE(r.MajorFunction == IRP_MJ_READ || r.MajorFunction == IRP_MJ_PNP);
        EXPECT_EQ(r.DeviceObject, disk.deviceObject);
    }
    CIrpStream beep(Device("\\Device\\Beep"), 1, 2400);
    beep.SetMask(1u << IRP_MJ_READ);
    EXPECT_FALSE(beep.CanProduce());
    beep.SetMask(0);
    EXPECT_FALSE(beep.CanProduce());
    beep.SetMask(1u << IRP_MJ_DEVICE_CONTROL);
    EXPECT_TRUE(beep.CanProduce());
}

TEST(IrpStreamTest, SameSeedAndDeviceGiveTheSameRecords) {
    const SimDevice& serial = Device("\\Device\\Serial0");
    const auto a = Generate(serial, kAllMajors, 3000, 42);
    const auto b = Generate(serial, kAllMajors, 3000, 42);
    const auto c = Generate(serial, kAllMajors, 3000, 43);
    size_t equalAB = 0, equalAC = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        equalAB += SameBytes(a[i], b[i]);
        equalAC += SameBytes(a[i], c[i]);
    }
    EXPECT_EQ(equalAB, a.size());
    EXPECT_LT(equalAC, 10u);
}

// Device-control buffers follow the device/IOCTL table that the sample
// catalogue describes.
TEST(IrpStreamTest, DeviceControlsMatchTheCatalogueContract) {
    std::set<uint32_t> codesSeen;
    for (const SimDevice& d : SimulatedDevices()) {
        const auto& table = SimulatedIoctls(d.kind);
        for (const IRP_CAPTURE_RECORD& r : Generate(d, 1u << IRP_MJ_DEVICE_CONTROL, 400)) {
            const uint32_t code = r.Param32(par::IoControlCode);
            const uint32_t outLen = r.Param32(par::OutputBufferLength);
            const uint32_t inLen = r.Param32(par::InputBufferLength);
            ASSERT_FALSE(table.empty()) << d.objectName;
            const SimIoctl* entry = nullptr;
            for (const SimIoctl& io : table)
                if (io.code == code) entry = &io;
            ASSERT_NE(entry, nullptr) << std::hex << code;
            EXPECT_EQ(outLen, entry->outLength);
            EXPECT_EQ(inLen, entry->inLength);
            codesSeen.insert(code);
            for (size_t i = std::min<size_t>(outLen, 200); i < 200; ++i)
                ASSERT_EQ(r.OutputData[i], 0);
            for (size_t i = std::min<size_t>(inLen, 200); i < 200; ++i)
                ASSERT_EQ(r.InputData[i], 0);
            if (r.Status != 0) continue;
            const uint8_t* o = r.OutputData;
            switch (code) {
                case 0x00070000:
                    EXPECT_EQ(le::U32(o), 0x3A38u);
                    EXPECT_EQ(le::U32(o + 8), 12u);
                    EXPECT_EQ(le::U32(o + 12), 255u);
                    EXPECT_EQ(le::U32(o + 16), 63u);
                    EXPECT_EQ(le::U32(o + 20), 512u);
                    break;
                case 0x0007405C:
                    EXPECT_EQ(le::U64(o), 0x3A38ull * 255 * 63 * 512);
                    break;
                case 0x00024000:
                    EXPECT_EQ(le::U16(o), 0x0012);
                    EXPECT_EQ(o[2], 1);
                    EXPECT_EQ(o[6], 1);
                    break;
                case 0x001B0004: {
                    const uint32_t baud = le::U32(r.InputData);
                    EXPECT_TRUE(baud == 9600 || baud == 19200 || baud == 115200) << baud;
                    break;
                }
                case 0x00010000:
                    EXPECT_EQ(le::U32(r.InputData), 800u);
                    EXPECT_EQ(le::U32(r.InputData + 4), 200u);
                    break;
                case 0x00230420: {
                    const uint32_t expect[] = {48, 0x1F, 1920, 1080, 7680, 1, 32, 60};
                    for (int i = 0; i < 8; ++i) EXPECT_EQ(le::U32(o + 4 * i), expect[i]);
                    break;
                }
                default:
                    break;
            }
        }
    }
    for (uint32_t code :
         {0x00070000u, 0x0007405Cu, 0x00560000u, 0x00024000u, 0x000B0000u, 0x000F0000u, 0x001B0004u,
          0x001B0050u, 0x001B006Cu, 0x00160004u, 0x00170002u, 0x00010000u, 0x00230420u})
        EXPECT_TRUE(codesSeen.count(code)) << std::hex << code;
}

// The buffer tables write only inside the lengths the request declares, so
// the decoded buffer sections never show bytes beyond them.
TEST(TrafficTablesTest, IoctlFieldsStayWithinTheDeclaredLengths) {
    for (SimDeviceKind kind = SimDeviceKind::Disk; kind <= SimDeviceKind::Generic;
         kind = static_cast<SimDeviceKind>(static_cast<int>(kind) + 1)) {
        for (const SimIoctl& io : SimulatedIoctls(kind)) {
            const traffic::IoctlBehaviour* b = traffic::IoctlBehaviourOf(io.code);
            if (!b) continue;
            for (const traffic::BufferField& f : b->output)
                EXPECT_LE(f.offset + f.size, io.outLength) << std::hex << io.code;
            for (const traffic::BufferField& f : b->input)
                EXPECT_LE(f.offset + f.size, io.inLength) << std::hex << io.code;
        }
    }
}

// A failed request never reports success or pending, whatever it was.
TEST(TrafficTablesTest, FailureStatusesAreFailures) {
    for (uint32_t major = 0; major < 28; ++major) {
        for (uint32_t minor : {0u, 1u, 2u, 3u, 9u}) {
            for (SimDeviceKind kind : {SimDeviceKind::Disk, SimDeviceKind::CdRom,
                                       SimDeviceKind::Serial, SimDeviceKind::Generic}) {
                const auto statuses = traffic::FailureStatuses(major, minor, kind);
                ASSERT_FALSE(statuses.empty());
                for (const traffic::Weighted& w : statuses) {
                    EXPECT_NE(w.value, kStatusSuccess);
                    EXPECT_NE(w.value, kStatusPending);
                    EXPECT_GT(w.weight, 0u);
                }
            }
        }
    }
}

// POWER_SEQUENCE carries the three counters in place of the pointer, at
// record offsets 0x20, 0x24 and 0x28; a deeper state counts for every
// shallower one, and the counters never go back.
TEST(IrpStreamTest, PowerSequenceValuesSitAtTheParameterStart) {
    const auto records = Generate(Device("\\Device\\00000034"), 1u << IRP_MJ_POWER, 20000);
    uint32_t last[3] = {0, 0, 0};
    size_t sequences = 0;
    bool grew = false;
    for (const IRP_CAPTURE_RECORD& r : records) {
        if (r.MinorFunction != IRP_MN_POWER_SEQUENCE) continue;
        ++sequences;
        const uint32_t d1 = r.U32At(0x20), d2 = r.U32At(0x24), d3 = r.U32At(0x28);
        EXPECT_GE(d1, d2);
        EXPECT_GE(d2, d3);
        EXPECT_GE(d1, last[0]);
        EXPECT_GE(d2, last[1]);
        EXPECT_GE(d3, last[2]);
        grew = grew || (sequences > 1 && d3 > last[2]);
        last[0] = d1, last[1] = d2, last[2] = d3;
        for (size_t off = 12; off < 64; ++off) ASSERT_EQ(r.Parameters[off], 0);
    }
    EXPECT_GT(sequences, 100u);
    EXPECT_GT(last[0], 0u);
    EXPECT_TRUE(grew);
}

TEST(IrpStreamTest, CapabilitiesAreAWholeStructureAndLatenciesAreSkewed) {
    const auto records =
        Generate(Device("\\Device\\CdRom0"), (1u << IRP_MJ_PNP) | (1u << IRP_MJ_READ), 20000);
    size_t caps = 0;
    std::vector<double> readMs;
    for (const IRP_CAPTURE_RECORD& r : records) {
        if (r.MajorFunction == IRP_MJ_PNP && r.MinorFunction == IRP_MN_QUERY_CAPABILITIES) {
            ++caps;
            EXPECT_EQ(r.Param16(par::CapSize), 64);
            EXPECT_EQ(r.Param16(par::CapVersion), 1);
            EXPECT_EQ(r.Param32(par::CapFlags) & 0x1C, 0x1Cu);  // lock, eject, removable
            for (int i = 0; i < 7; ++i) EXPECT_LE(r.Param32(par::CapDeviceState + 4 * i), 4u);
        }
        if (r.MajorFunction == IRP_MJ_READ)
            readMs.push_back(static_cast<double>(r.EndTime - r.StartTime) / 2400 / 1000);
    }
    EXPECT_GT(caps, 10u);
    ASSERT_GT(readMs.size(), 1000u);
    std::sort(readMs.begin(), readMs.end());
    const double median = readMs[readMs.size() / 2];
    const double p99 = readMs[readMs.size() * 99 / 100];
    EXPECT_GT(median, 0.5);
    EXPECT_LT(median, 10.0);
    EXPECT_GT(p99, 5 * median);  // a long right tail
}

}  // namespace
}  // namespace vantrel
