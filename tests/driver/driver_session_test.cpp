// The simulated driver as its creators see it: a session's opener, its
// counters and injected records, and sessions that never see each other.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "driver/sim_test_support.h"
#include "driver/simulated_driver.h"

namespace vantrel {
namespace {

using namespace simtest;

std::vector<IRP_CAPTURE_RECORD> Tagged(uint32_t deviceObject, size_t count) {
    std::vector<IRP_CAPTURE_RECORD> records(count);
    for (size_t i = 0; i < count; ++i) {
        records[i].DeviceObject = deviceObject;
        records[i].MajorFunction = IRP_MJ_WRITE;
        records[i].SetParam32(par::Length, static_cast<uint32_t>(i));
    }
    return records;
}

bool SameRecords(const std::vector<IRP_CAPTURE_RECORD>& a,
                 const std::vector<IRP_CAPTURE_RECORD>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        uint8_t x[pr::kRecordSize], y[pr::kRecordSize];
        a[i].Write(x);
        b[i].Write(y);
        if (std::memcmp(x, y, sizeof x) != 0) return false;
    }
    return true;
}

TEST(DriverSessionTest, OpensOnlyTheDriverPathInAnyCaseAndHonoursAbsent) {
    SimulatedDriverOptions o;
    CSimulatedDriverSession present(o);
    const DriverOpener open = present.Opener();
    EXPECT_TRUE(open(pr::kDevicePath));
    EXPECT_TRUE(open("\\\\.\\klavdriver"));
    EXPECT_FALSE(open("\\\\.\\OTHER"));
    EXPECT_FALSE(open("\\\\.\\KLAVDRIVER2"));
    EXPECT_FALSE(open(""));
    o.absent = true;
    CSimulatedDriverSession absent(o);
    EXPECT_FALSE(absent.Opener()(pr::kDevicePath));
    EXPECT_EQ(absent.Stats().written, 0u);
    absent.Inject(Tagged(kSerial, 1));  // nobody to take them: nothing happens
}

// Counters and injected records belong to the driver the session opened
// last; an earlier driver of the same session keeps its own traffic.
TEST(DriverSessionTest, StatsAndInjectionFollowTheDriverOpenedLast) {
    SimulatedDriverOptions o;
    o.generate = false;
    CSimulatedDriverSession session(o);
    session.Inject(Tagged(kSerial, 5));  // before any open: lost, not queued
    EXPECT_EQ(session.Stats().written, 0u);

    Event ev1, ev2;
    auto ring1 = std::make_unique<Ring>();
    auto ring2 = std::make_unique<Ring>();
    auto first = session.Opener()(pr::kDevicePath);
    ASSERT_TRUE(SetMode(*first, ev1.handle));
    ASSERT_TRUE(InitBuff(*first, ring1->handle));
    auto second = session.Opener()(pr::kDevicePath);
    ASSERT_TRUE(SetMode(*second, ev2.handle));
    ASSERT_TRUE(InitBuff(*second, ring2->handle));

    const auto injected = Tagged(kSerial, 120);
    session.Inject(injected);
    EXPECT_TRUE(SameRecords(Collect(*ring2, ev2, injected.size()), injected));
    std::this_thread::sleep_for(30ms);
    std::vector<IRP_CAPTURE_RECORD> none;
    EXPECT_EQ(ring1->Drain(none), 0u);
    EXPECT_EQ(session.Stats().written, 120u);

    second.reset();  // closed: its counters stay readable, injection goes nowhere
    session.Inject(Tagged(kSerial, 3));
    EXPECT_EQ(session.Stats().written, 120u);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ring1->Drain(none), 0u);
}

// The opener carries the session's state: a creator may keep it after the
// session object has gone.
TEST(DriverSessionTest, OpenerOutlivesTheSession) {
    DriverOpener open;
    {
        CSimulatedDriverSession session(MaxRate());
        open = session.Opener();
    }
    auto d = open(pr::kDevicePath);
    ASSERT_TRUE(d);
    uint8_t speed[4] = {};
    EXPECT_TRUE(Send(*d, pr::IOCTL_PROCSPEED, speed));
    EXPECT_EQ(le::U32(speed), kSimulatedProcessorSpeed);
}

// Two sessions at once, each with its own ring: each ring gets exactly its
// own session's records, in the order that session alone would give, and
// each session counts only its own.
TEST(DriverSessionTest, TwoSessionsRunningAtOnceNeverSeeEachOther) {
    auto solo = [](uint64_t seed, std::initializer_list<uint32_t> devices) {
        Event ev;
        auto ring = std::make_unique<Ring>();
        Sim d(MaxRate(seed));  // closed first: the driver never outlives its ring
        for (uint32_t device : devices) EXPECT_TRUE(Activate(*d, device, 0x0FFFFFFF));
        EXPECT_TRUE(SetMode(*d, ev.handle));
        EXPECT_TRUE(InitBuff(*d, ring->handle));
        auto records = Collect(*ring, ev, 3000);
        records.resize(3000);
        return records;
    };
    const auto expectA = solo(7, {kDisk, kSerial});
    const auto expectB = solo(8, {kBusDevice, kDisk});

    Event evA, evB;
    auto ringA = std::make_unique<Ring>();
    auto ringB = std::make_unique<Ring>();
    Sim a(MaxRate(7)), b(MaxRate(8));
    for (uint32_t device : {kDisk, kSerial}) ASSERT_TRUE(Activate(*a, device, 0x0FFFFFFF));
    for (uint32_t device : {kBusDevice, kDisk}) ASSERT_TRUE(Activate(*b, device, 0x0FFFFFFF));
    ASSERT_TRUE(SetMode(*a, evA.handle));
    ASSERT_TRUE(SetMode(*b, evB.handle));
    ASSERT_TRUE(InitBuff(*a, ringA->handle));
    ASSERT_TRUE(InitBuff(*b, ringB->handle));
    std::vector<IRP_CAPTURE_RECORD> gotA, gotB;
    std::thread consumerB([&] { gotB = Collect(*ringB, evB, 3000); });
    gotA = Collect(*ringA, evA, 3000);
    consumerB.join();
    ASSERT_GE(gotA.size(), 3000u);
    ASSERT_GE(gotB.size(), 3000u);
    // Both drivers stop here; what each wrote is what its consumer saw.
    a.device.reset();
    b.device.reset();
    ringA->Drain(gotA);
    ringB->Drain(gotB);
    EXPECT_EQ(a.Stats().written, gotA.size());
    EXPECT_EQ(b.Stats().written, gotB.size());
    gotA.resize(3000);
    gotB.resize(3000);
    EXPECT_TRUE(SameRecords(gotA, expectA));
    EXPECT_TRUE(SameRecords(gotB, expectB));
}

}  // namespace
}  // namespace vantrel
