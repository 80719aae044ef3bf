#include "driver/simulated_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "driver/sim_test_support.h"
#include "platform/event.h"
#include "platform/handle_table.h"
#include "record/driver_device.h"
#include "record/le.h"
#include "record/protocol.h"
#include "support/environment.h"

namespace vantrel {
namespace {

using namespace simtest;

std::vector<DeviceRow> Enumerate(IDriverDevice& d, std::vector<uint8_t>* last = nullptr) {
    std::vector<uint8_t> b(pr::kEnumSize, 0);
    le::Put32(b.data() + 4, 1);
    std::vector<DeviceRow> replies;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(Send(d, pr::IOCTL_ENUMDEVICES, b.data()));
        DeviceRow r;
        r.deviceObject = le::U32(b.data());
        r.state = static_cast<int32_t>(le::U32(b.data() + 4));
        r.description = reinterpret_cast<const char*>(b.data() + 0x1E8);
        r.secondName = reinterpret_cast<const char*>(b.data() + 0x2EC);
        r.objectName = reinterpret_cast<const char*>(b.data() + 0x5F8);
        r.flag = le::U32(b.data() + 0x912);
        replies.push_back(r);
        if (r.state == 0) break;
    }
    if (last) *last = b;
    return replies;
}

TEST(SimulatedDriverTest, AnswersEachControlCodeAndRefusesBadRequests) {
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(MaxRate());
    ASSERT_TRUE(d.device);
    EXPECT_TRUE(d->DeviceIoControl(pr::IOCTL_SETUPFILTERS, nullptr, 4, 4));
    uint8_t speed[4] = {};
    EXPECT_TRUE(Send(*d, pr::IOCTL_PROCSPEED, speed));
    EXPECT_EQ(le::U32(speed), 2400u);
    uint8_t big[496] = {};
    EXPECT_FALSE(Send(*d, pr::IOCTL_UNNAMED_0x91, big));
    EXPECT_FALSE(Send(*d, 0x00220228, big));
    EXPECT_FALSE(d->DeviceIoControl(pr::IOCTL_ENUMDEVICES, big, 496, 496));  // too short
    EXPECT_FALSE(d->DeviceIoControl(pr::IOCTL_PROCSPEED, nullptr, 4, 4));

    EXPECT_FALSE(SetMode(*d, ev.handle, 2));
    EXPECT_FALSE(SetMode(*d, 0xFFFFFFF0));    // not a handle
    EXPECT_FALSE(SetMode(*d, ring->handle));  // a ring is no event
    EXPECT_TRUE(SetMode(*d, ev.handle));
    EXPECT_FALSE(InitBuff(*d, ring->handle, 1));
    EXPECT_FALSE(InitBuff(*d, 0));
    EXPECT_FALSE(InitBuff(*d, ev.handle));  // an event is no ring
    alignas(64) uint8_t shortRing[pr::kRingSize - 1] = {};
    const uint32_t shortHandle = RegisterRingHandle(shortRing);
    EXPECT_FALSE(InitBuff(*d, shortHandle));  // too small for every slot
    UnregisterHandle(shortHandle);
    EXPECT_TRUE(InitBuff(*d, ring->handle));
    EXPECT_FALSE(Activate(*d, 0x12345678, 1u << 3));  // not a device the driver knows
    EXPECT_TRUE(Activate(*d, kDisk, 0));              // removing a filter that is not there

    SimulatedDriverOptions scripted;
    scripted.script.processorSpeed = 3000;
    scripted.script.failingCodes = {pr::IOCTL_SETUPFILTERS, pr::IOCTL_ACTIVATE_FILTER};
    auto s = OpenSimulatedDriver(scripted);
    EXPECT_FALSE(s->DeviceIoControl(pr::IOCTL_SETUPFILTERS, nullptr, 4, 4));
    EXPECT_FALSE(Activate(*s, kDisk, 1u << 3));
    EXPECT_TRUE(Send(*s, pr::IOCTL_PROCSPEED, speed));
    EXPECT_EQ(le::U32(speed), 3000u);
}

TEST(SimulatedDriverTest, DefaultEnumerationListsTheDeviceTableWithSkipsAndEnds) {
    auto d = OpenSimulatedDriver({});
    std::vector<uint8_t> last;
    const auto replies = Enumerate(*d, &last);
    ASSERT_FALSE(replies.empty());
    EXPECT_EQ(replies.back().state, 0);
    std::map<int32_t, int> states;
    int rows = 0;
    for (const DeviceRow& r : replies) {
        ++states[r.state];
        if (r.state == 1 || r.state == -3) {
            ++rows;
            EXPECT_FALSE(r.objectName.empty());
            EXPECT_FALSE(r.description.empty());
            EXPECT_FALSE(r.secondName.empty());
        }
    }
    EXPECT_GE(rows, 12);
    EXPECT_EQ(states[-5], 2);
    EXPECT_GE(states[-3], 1);
    EXPECT_EQ(replies.front().objectName, "\\Device\\Harddisk0\\DR0");
    // A finished enumeration starts over with the next one.
    EXPECT_EQ(Enumerate(*d).size(), replies.size());

    SimulatedDriverOptions some;
    some.devices = {"\\Device\\Beep", "\\Device\\Serial0", "\\Device\\NoSuchThing"};
    auto s = OpenSimulatedDriver(some);
    const auto subset = Enumerate(*s);
    ASSERT_EQ(subset.size(), 3u);
    EXPECT_EQ(subset[0].objectName, "\\Device\\Serial0");  // table order
    EXPECT_EQ(subset[1].objectName, "\\Device\\Beep");
    EXPECT_EQ(subset[1].state, -3);
    EXPECT_FALSE(Activate(*s, kDisk, 1u << 3));  // not offered
    EXPECT_TRUE(Activate(*s, kSerial, 1u << 3));
}

TEST(SimulatedDriverTest, ScriptedEnumerationRepliesExactlyAndCutsLongTexts) {
    SimulatedDriverOptions o;
    const std::string longText(300, 'x');
    o.script.enumReplies = {{0x11111110, -2, "", "", "", 0},
                            {0x22222220, -3, longText, "second", "\\Device\\Scripted", 1},
                            {0x33333330, 5, "d", "s", "n", 0}};
    Sim d(o);
    std::vector<uint8_t> b;
    const auto replies = Enumerate(*d, &b);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[0].state, -2);
    EXPECT_EQ(replies[1].deviceObject, 0x22222220u);
    EXPECT_EQ(replies[1].description, std::string(259, 'x'));  // NUL in the last byte
    EXPECT_EQ(replies[1].flag, 1u);
    EXPECT_EQ(replies[2].state, 5);
    EXPECT_EQ(replies[3].state, 0);
    EXPECT_TRUE(Activate(*d, 0x22222220, 1u << 3));  // a scripted row can be filtered
    EXPECT_FALSE(Activate(*d, 0x11111110, 1u << 3));
}

TEST(SimulatedDriverTest, WritesRecordsOfTheFilteredMajorsAndSignals) {
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(MaxRate());
    ASSERT_TRUE(SetMode(*d, ev.handle));
    ASSERT_TRUE(InitBuff(*d, ring->handle));
    ASSERT_TRUE(Activate(*d, kDisk, (1u << IRP_MJ_READ) | (1u << IRP_MJ_WRITE)));
    const auto records = Collect(*ring, ev, 5000);
    ASSERT_GE(records.size(), 5000u);
    for (const IRP_CAPTURE_RECORD& r : records) {
        ASSERT_EQ(r.DeviceObject, kDisk);
        ASSERT_TRUE(r.MajorFunction == IRP_MJ_READ || r.MajorFunction == IRP_MJ_WRITE);
        ASSERT_EQ(r.Param32(par::Length) % 512, 0u);
    }
    ASSERT_TRUE(Activate(*d, kDisk, 0));  // removed: the stream stops
    std::this_thread::sleep_for(20ms);
    std::vector<IRP_CAPTURE_RECORD> rest;
    ring->Drain(rest);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ring->Drain(rest), 0u);
    EXPECT_EQ(d.Stats().dropped, 0u);  // the unlimited rate waits for room
    EXPECT_EQ(d.Stats().written, records.size() + rest.size());
}

// Filters set before the ring is handed over: the whole interleaved stream
// depends only on the seed and the filtered devices.
TEST(SimulatedDriverTest, SameSeedGivesTheSameRecords) {
    auto run = [](uint64_t seed) {
        Event ev;
        auto ring = std::make_unique<Ring>();
        Sim d(MaxRate(seed));
        EXPECT_TRUE(Activate(*d, kDisk, 0x0FFFFFFF));
        EXPECT_TRUE(Activate(*d, kSerial, 0x0FFFFFFF));
        EXPECT_TRUE(Activate(*d, kBusDevice, 0x0FFFFFFF));
        EXPECT_TRUE(SetMode(*d, ev.handle));
        EXPECT_TRUE(InitBuff(*d, ring->handle));
        auto records = Collect(*ring, ev, 3000);
        records.resize(3000);
        return records;
    };
    const auto a = run(7), b = run(7), c = run(8);
    size_t same = 0, sameAsOther = 0;
    std::set<uint32_t> devices;
    for (size_t i = 0; i < a.size(); ++i) {
        uint8_t x[496], y[496], z[496];
        a[i].Write(x), b[i].Write(y), c[i].Write(z);
        same += std::memcmp(x, y, 496) == 0;
        sameAsOther += std::memcmp(x, z, 496) == 0;
        devices.insert(a[i].DeviceObject);
    }
    EXPECT_EQ(same, a.size());
    EXPECT_LT(sameAsOther, 10u);
    EXPECT_EQ(devices.size(), 3u);
}

// The interleaving of several devices is pinned too: the first records the
// driver writes at the unlimited rate, hashed (FNV-1a over the wire bytes).
TEST(SimulatedDriverTest, InterleavedStreamIsPinned) {
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(MaxRate(7));
    for (uint32_t device : {kDisk, kSerial, kBusDevice, 0x8A2B9A60u, 0x8A40E250u})
        ASSERT_TRUE(Activate(*d, device, 0x0FFFFFFF));
    ASSERT_TRUE(SetMode(*d, ev.handle));
    ASSERT_TRUE(InitBuff(*d, ring->handle));
    auto records = Collect(*ring, ev, 5000);
    ASSERT_GE(records.size(), 5000u);
    records.resize(5000);
    uint64_t hash = 0xCBF29CE484222325ull;
    for (const IRP_CAPTURE_RECORD& r : records) {
        uint8_t wire[pr::kRecordSize];
        r.Write(wire);
        for (uint8_t b : wire) hash = (hash ^ b) * 0x100000001B3ull;
    }
    EXPECT_EQ(hash, 0xDC03B2FE5197D88Full) << std::hex << std::showbase << hash;
}

TEST(SimulatedDriverTest, DropsAndCountsRecordsWhileTheRingIsFull) {
    SimulatedDriverOptions o;
    o.rate = 200000;
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(o);
    ASSERT_TRUE(SetMode(*d, ev.handle));
    ASSERT_TRUE(InitBuff(*d, ring->handle));
    ASSERT_TRUE(Activate(*d, kDisk, 0x0FFFFFFF));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (d.Stats().dropped < 1000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    const SimulatedDriverStats stats = d.Stats();
    EXPECT_GE(stats.dropped, 1000u);
    EXPECT_EQ(stats.written, 199u);  // one slot always stays free
    EXPECT_EQ(ring->WriteIndex(), 199u);
    EXPECT_EQ(ring->ReadIndex(), 0u);
    EXPECT_TRUE(ev.event.IsSet());
    // Once the application drains, records flow again.
    std::vector<IRP_CAPTURE_RECORD> got;
    ring->Drain(got);
    const auto more = Collect(*ring, ev, 100);
    EXPECT_GE(more.size(), 100u);
}

// With the ring full the driver waits a while for the application before it
// drops; filters removed meanwhile must not leave it picking from nothing.
TEST(SimulatedDriverTest, FilterRemovedWhileWaitingForRoom) {
    SimulatedDriverOptions o;
    o.rate = 2000;  // the ring lasts about 100 ms: a long wait
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(o);
    ASSERT_TRUE(SetMode(*d, ev.handle));
    ASSERT_TRUE(InitBuff(*d, ring->handle));
    ASSERT_TRUE(Activate(*d, kDisk, 0x0FFFFFFF));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (ring->WriteIndex() != 199 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(ring->WriteIndex(), 199u);
    std::this_thread::sleep_for(20ms);  // the driver now waits for room
    ASSERT_TRUE(Activate(*d, kDisk, 0));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(d.Stats().written, 199u);
}

TEST(SimulatedDriverTest, PacesTrafficAtTheGivenRate) {
    SimulatedDriverOptions o;
    o.rate = 2000;
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(o);
    ASSERT_TRUE(Activate(*d, kDisk, 0x0FFFFFFF));
    ASSERT_TRUE(SetMode(*d, ev.handle));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(InitBuff(*d, ring->handle));
    std::vector<IRP_CAPTURE_RECORD> got;
    while (std::chrono::steady_clock::now() - start < 400ms) {
        ev.event.WaitFor(20);
        ev.event.Reset();
        ring->Drain(got);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(got.size(), 2000 * seconds + 2);  // never ahead of the rate
    EXPECT_GE(got.size(), 2000 * 0.4 * 0.25);   // and not far behind, even on a busy machine
    EXPECT_EQ(d.Stats().dropped, 0u);
}

TEST(SimulatedDriverTest, InjectedRecordsArriveInOrderAndAreNeverDropped) {
    SimulatedDriverOptions o;
    o.generate = false;
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(o);
    std::vector<IRP_CAPTURE_RECORD> injected(450);
    for (size_t i = 0; i < injected.size(); ++i) {
        injected[i].DeviceObject = kSerial;
        injected[i].MajorFunction = IRP_MJ_WRITE;
        injected[i].StartTime = 0x100000000ull + i;
        injected[i].EndTime = injected[i].StartTime + 2400;
        injected[i].SetParam32(par::Length, static_cast<uint32_t>(i));
    }
    d.session.Inject(injected);  // queued until the ring is known
    ASSERT_TRUE(SetMode(*d, ev.handle));
    ASSERT_TRUE(InitBuff(*d, ring->handle));
    const auto got = Collect(*ring, ev, injected.size());
    ASSERT_EQ(got.size(), injected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].Param32(par::Length), i);
        ASSERT_EQ(got[i].StartTime, injected[i].StartTime);
    }
    EXPECT_EQ(d.Stats().written, 450u);
    EXPECT_EQ(d.Stats().dropped, 0u);
}

// The application may reset data-ready just after the driver set it (it
// drains first, then resets). The records are not stranded: while they
// stay unread the driver signals again.
TEST(SimulatedDriverTest, SignalsAgainWhileRecordsStayUnread) {
    SimulatedDriverOptions o;
    o.generate = false;
    Event ev;
    auto ring = std::make_unique<Ring>();
    Sim d(o);
    ASSERT_TRUE(SetMode(*d, ev.handle));
    ASSERT_TRUE(InitBuff(*d, ring->handle));
    d.session.Inject({IRP_CAPTURE_RECORD{}});
    ASSERT_TRUE(ev.event.WaitFor(2000));
    while (ring->WriteIndex() != 1) std::this_thread::yield();
    ev.event.Reset();  // the lost wake-up
    EXPECT_TRUE(ev.event.WaitFor(1000));
    std::vector<IRP_CAPTURE_RECORD> got;
    EXPECT_EQ(ring->Drain(got), 1u);
}

TEST(SimulatedDriverTest, NeverTouchesTheRingAfterClose) {
    auto ring = std::make_unique<Ring>();
    Event ev;
    {
        Sim d(MaxRate());
        ASSERT_TRUE(SetMode(*d, ev.handle));
        ASSERT_TRUE(InitBuff(*d, ring->handle));
        ASSERT_TRUE(Activate(*d, kDisk, 0x0FFFFFFF));
        Collect(*ring, ev, 1000);
    }
    std::vector<IRP_CAPTURE_RECORD> got;
    ring->Drain(got);  // make room: a live driver would fill it at once
    const std::vector<uint8_t> before(ring->bytes, ring->bytes + pr::kRingSize);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(std::memcmp(before.data(), ring->bytes, pr::kRingSize), 0);
}

TEST(SimulatedDriverTest, OptionsFromTheEnvironment) {
    test::SetEnvironment("VANTREL_SIM_RATE", "0");
    test::SetEnvironment("VANTREL_SIM_SEED", "0x2A");
    test::SetEnvironment("VANTREL_SIM_DEVICES", " \\Device\\Beep ,\\Device\\Null,,");
    test::SetEnvironment("VANTREL_DRIVER", "none");
    SimulatedDriverOptions o = OptionsFromEnvironment();
    EXPECT_EQ(o.rate, 0.0);
    EXPECT_EQ(o.seed, 42u);
    EXPECT_EQ(o.devices, (std::vector<std::string>{"\\Device\\Beep", "\\Device\\Null"}));
    EXPECT_TRUE(o.absent);
    test::SetEnvironment("VANTREL_SIM_RATE", "fast");
    test::SetEnvironment("VANTREL_DRIVER", "sim");
    o = OptionsFromEnvironment();
    EXPECT_EQ(o.rate, 2000.0);
    EXPECT_FALSE(o.absent);
    for (const char* name :
         {"VANTREL_SIM_RATE", "VANTREL_SIM_SEED", "VANTREL_SIM_DEVICES", "VANTREL_DRIVER"})
        test::ClearEnvironment(name);
}

}  // namespace
}  // namespace vantrel
