// The endpoint with a source of its own: the filter table, the two full-ring
// policies and the shutdown contract. The simulated driver's tests cover the
// control codes and the enumeration through it.

#include "endpoint/endpoint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "driver/sim_test_support.h"
#include "endpoint/source_choice.h"

namespace vantrel {
namespace {

using namespace simtest;

class TwoDevices final : public IEndpointSource {
public:
    std::vector<DeviceRow> Rows() override {
        return {{0x10, pr::kEnumStart, "A", "", "\\Device\\A", 0},
                {0x20, pr::kEnumStart, "B", "", "\\Device\\B", 0}};
    }
    void FilterChanged(uint32_t, uint32_t, size_t filtered) override { m_filtered = filtered; }
    size_t m_filtered = 0;
};

// An endpoint with its ring and event handed over, as a capture starts.
struct EndpointFixture : ::testing::Test {
    TwoDevices source;
    CEndpoint endpoint{source, EndpointOptions{}};
    Ring ring;
    Event event;
    struct Device final : IDriverDevice {
        CEndpoint& e;
        explicit Device(CEndpoint& endpoint) : e(endpoint) {}
        bool DeviceIoControl(uint32_t c, uint8_t* b, uint32_t i, uint32_t o) override {
            return e.Control(c, b, i, o);
        }
    } device{endpoint};
    void SetUp() override {
        ASSERT_TRUE(SetMode(device, event.handle));
        ASSERT_TRUE(InitBuff(device, ring.handle));
    }
    void TearDown() override { endpoint.Shutdown(); }  // closed before the ring goes
    static IRP_CAPTURE_RECORD Numbered(uint64_t n) {
        IRP_CAPTURE_RECORD r;
        r.DeviceObject = 0x10;
        r.StartTime = n;
        return r;
    }
};

TEST_F(EndpointFixture, FilterTableAddsUpdatesRemovesAndRefusesUnofferedDevices) {
    struct Step {
        uint32_t device, mask;
        bool accepted;
        uint32_t maskOf10, maskOf20;
        size_t filtered;
    };
    const Step steps[] = {
        {0x10, 0x5, true, 0x5, 0, 1}, {0x10, 0x3, true, 0x3, 0, 1},  {0x20, 0x8, true, 0x3, 0x8, 2},
        {0x10, 0, true, 0, 0x8, 1},   {0x30, 0x1, false, 0, 0x8, 1}, {0x20, 0, true, 0, 0, 0},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(Activate(device, s.device, s.mask), s.accepted) << s.device;
        EXPECT_EQ(endpoint.MaskFor(0x10), s.maskOf10);
        EXPECT_EQ(endpoint.MaskFor(0x20), s.maskOf20);
        EXPECT_EQ(source.m_filtered, s.filtered);
    }
}

TEST_F(EndpointFixture, PutWaitsForRoomAndNeverDrops) {
    constexpr uint64_t kCount = 2000;  // ten rings' worth, drained slowly
    std::thread producer([&] {
        for (uint64_t i = 0; i < kCount; ++i) ASSERT_TRUE(endpoint.Put(Numbered(i)));
    });
    std::vector<IRP_CAPTURE_RECORD> got;
    while (got.size() < kCount) {
        std::this_thread::sleep_for(1ms);
        ring.Drain(got);
    }
    producer.join();
    for (uint64_t i = 0; i < kCount; ++i) ASSERT_EQ(got[i].StartTime, i);
    EXPECT_EQ(endpoint.Counters()->written.load(), kCount);
    EXPECT_EQ(endpoint.Counters()->dropped.load(), 0u);
    EXPECT_TRUE(event.event.IsSet());
}

TEST_F(EndpointFixture, BatchDropsOnlyOnceTheApplicationStopsReading) {
    {
        CEndpoint::Batch batch(endpoint);
        batch.Refresh();
        while (batch.Room() > 0) Numbered(0).Write(batch.Slot());
        EXPECT_EQ(batch.WrittenInBatch(), pr::kRingSlots - 1);
        EXPECT_FALSE(batch.WaitForRoom(2ms));  // nobody reads
        batch.Drop();
    }
    EXPECT_EQ(endpoint.Counters()->dropped.load(), 1u);
    EXPECT_TRUE(event.event.IsSet());  // the full ring woke the application
    std::vector<IRP_CAPTURE_RECORD> got;
    std::thread reader([&] {
        std::this_thread::sleep_for(5ms);
        ring.Drain(got);
    });
    CEndpoint::Batch batch(endpoint);
    EXPECT_TRUE(batch.WaitForRoom(std::chrono::seconds(5)));  // reading again: room, no drop
    batch.Unlock();
    reader.join();
    EXPECT_EQ(got.size(), pr::kRingSlots - 1);
}

TEST_F(EndpointFixture, AfterShutdownTheRingIsNeverTouchedAndABlockedPutReturns) {
    for (uint32_t i = 0; i + 1 < pr::kRingSlots; ++i) ASSERT_TRUE(endpoint.Put(Numbered(i)));
    std::thread blocked([&] { EXPECT_FALSE(endpoint.Put(Numbered(999))); });
    std::this_thread::sleep_for(5ms);
    endpoint.Shutdown();
    blocked.join();
    std::vector<uint8_t> before(ring.bytes, ring.bytes + pr::kRingSize);
    ring.Word(pr::kRingReadIndex).store(ring.WriteIndex());  // room again
    std::memcpy(before.data(), ring.bytes, pr::kRingHeaderSize);
    EXPECT_FALSE(endpoint.Put(Numbered(1000)));
    EXPECT_FALSE(SetMode(device, event.handle));
    EXPECT_EQ(std::memcmp(before.data(), ring.bytes, pr::kRingSize), 0);
}

TEST(SourceChoiceTest, ParsesTheWordsOfDriverAndVantrelDriver) {
    struct Row {
        const char* text;
        bool valid;
        SourceKind kind;
        const char* file;
    };
    const Row rows[] = {
        {"sim", true, SourceKind::Simulated, ""},
        {"trace", true, SourceKind::Trace, ""},
        {"device", true, SourceKind::Device, ""},
        {"none", true, SourceKind::None, ""},
        {"replay:a b.vtl", true, SourceKind::Replay, "a b.vtl"},
        {"replay:", false, {}, ""},
        {"", false, {}, ""},
        {"Sim", false, {}, ""},
        {"simulated", false, {}, ""},
    };
    for (const Row& r : rows) {
        const auto choice = ParseSourceChoice(r.text);
        ASSERT_EQ(choice.has_value(), r.valid) << r.text;
        if (!choice) continue;
        EXPECT_EQ(choice->kind, r.kind) << r.text;
        EXPECT_EQ(choice->file, r.file) << r.text;
    }
}

}  // namespace
}  // namespace vantrel
