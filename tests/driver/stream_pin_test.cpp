// The simulated traffic of each seed is part of the program's behaviour:
// saved test files, captured text and independent checks compare against it.
// These hashes pin the first records of several streams byte for byte, so a
// change to the generator that alters any record fails here.

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "driver/irp_generator.h"
#include "driver/sim_devices.h"
#include "record/protocol.h"

namespace vantrel {
namespace {

constexpr uint32_t kAllMajors = 0x0FFFFFFF;

// FNV-1a, 64 bits.
class Fnv {
public:
    void Add(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) m_hash = (m_hash ^ p[i]) * 0x100000001B3ull;
    }
    uint64_t Value() const { return m_hash; }

private:
    uint64_t m_hash = 0xCBF29CE484222325ull;
};

void AddStream(Fnv& hash, const SimDevice& device, uint64_t seed, uint32_t mask, size_t count) {
    CIrpStream stream(device, seed, 2400);
    stream.SetMask(mask);
    if (!stream.CanProduce()) return;
    uint8_t wire[protocol::kRecordSize];
    for (size_t i = 0; i < count; ++i) {
        stream.Next(wire);
        hash.Add(wire, sizeof wire);
    }
}

uint64_t StreamHash(const SimDevice& device, uint64_t seed, uint32_t mask, size_t count) {
    Fnv hash;
    AddStream(hash, device, seed, mask, count);
    return hash.Value();
}

// Every device in table order, one after the other.
uint64_t AllDevicesHash(uint64_t seed, uint32_t mask, size_t count) {
    Fnv hash;
    for (const SimDevice& d : SimulatedDevices()) AddStream(hash, d, seed, mask, count);
    return hash.Value();
}

TEST(StreamPinTest, EachDeviceWithEveryMajorSeedOne) {
    const std::pair<std::string_view, uint64_t> expected[] = {
        {"\\Device\\Harddisk0\\DR0", 0xD1326CBB995DC215ull},
        {"\\Device\\HarddiskVolume1", 0x2E27097EE8BE4952ull},
        {"\\Device\\CdRom0", 0xC8EEC869F7BA00DAull},
        {"\\Device\\Floppy0", 0x1241F45AA2DB36BCull},
        {"\\Device\\KeyboardClass0", 0x54A1FC07CA67FDABull},
        {"\\Device\\PointerClass0", 0xEC30BF097458D599ull},
        {"\\Device\\Serial0", 0x6138D6F7C5DD662Eull},
        {"\\Device\\ParallelPort0", 0xF4F1EC132BD36A02ull},
        {"\\Device\\{B5F4D659-7DAA-4565-8E41-BE220ED60542}", 0x7EDEE7EC392C3ECEull},
        {"\\Device\\Beep", 0x2B94423EAF7CD188ull},
        {"\\Device\\Video0", 0xDA130BE92C77DD4Bull},
        {"\\Device\\Null", 0xCE21A397119D61D9ull},
        {"\\Device\\00000034", 0x38D129F3766EB6CDull},
    };
    const auto& devices = SimulatedDevices();
    ASSERT_EQ(devices.size(), std::size(expected));
    for (size_t i = 0; i < devices.size(); ++i) {
        ASSERT_EQ(devices[i].objectName, expected[i].first);
        EXPECT_EQ(StreamHash(devices[i], 1, kAllMajors, 4000), expected[i].second)
            << std::hex << std::showbase << expected[i].first << " gives "
            << StreamHash(devices[i], 1, kAllMajors, 4000);
    }
}

TEST(StreamPinTest, OtherSeedsAndMasks) {
    struct Case {
        uint64_t seed;
        uint32_t mask;
        uint64_t hash;
    };
    const Case cases[] = {
        {42, kAllMajors, 0xB4BEC1B287D58263ull},
        {0xDEADBEEFCAFEull, kAllMajors, 0xE550DCEB0A7A5D11ull},
        {7, 1u << IRP_MJ_DEVICE_CONTROL, 0x96218B3709F7AB5Dull},
        {7, (1u << IRP_MJ_POWER) | (1u << IRP_MJ_PNP), 0x5540F71D2FB40FBEull},
        {3, (1u << IRP_MJ_READ) | (1u << IRP_MJ_WRITE) | (1u << IRP_MJ_CREATE),
         0xAB677B4F730DD07Full},
        {5,
         (1u << IRP_MJ_INTERNAL_DEVICE_CONTROL) | (1u << IRP_MJ_SYSTEM_CONTROL) |
             (1u << IRP_MJ_QUERY_INFORMATION) | (1u << IRP_MJ_SET_INFORMATION) |
             (1u << IRP_MJ_QUERY_VOLUME_INFORMATION),
         0x332991E73635A698ull},
    };
    for (const Case& c : cases) {
        const uint64_t got = AllDevicesHash(c.seed, c.mask, 2000);
        EXPECT_EQ(got, c.hash) << std::hex << std::showbase << "seed " << c.seed << " mask "
                               << c.mask << " gives " << got;
    }
}

// A device object the driver only knows from a scripted enumeration.
TEST(StreamPinTest, GenericDevice) {
    const SimDevice scripted{0x8A700010, 1, 0, SimDeviceKind::Generic, "", "", ""};
    const uint64_t got = StreamHash(scripted, 9, kAllMajors, 4000);
    EXPECT_EQ(got, 0x464E88FBAC17BD52ull) << std::hex << std::showbase << got;
}

// A filter change mid-stream: the stream goes on from where it stood.
TEST(StreamPinTest, MaskChangedMidStream) {
    Fnv hash;
    for (const SimDevice& d : SimulatedDevices()) {
        CIrpStream stream(d, 11, 2400);
        uint8_t wire[protocol::kRecordSize];
        for (uint32_t mask :
             {kAllMajors, 1u << IRP_MJ_DEVICE_CONTROL, 1u << IRP_MJ_POWER, kAllMajors}) {
            stream.SetMask(mask);
            for (int i = 0; i < 500 && stream.CanProduce(); ++i) {
                stream.Next(wire);
                hash.Add(wire, sizeof wire);
            }
        }
    }
    EXPECT_EQ(hash.Value(), 0xB26DDEBD4EF6618Full) << std::hex << std::showbase << hash.Value();
}

}  // namespace
}  // namespace vantrel
