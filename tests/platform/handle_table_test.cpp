#include "platform/handle_table.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "platform/event.h"

namespace vantrel {
namespace {

TEST(HandleTableTest, ResolvesEachKindToItsObjectUntilUnregistered) {
    CEvent event;
    uint8_t ring[64] = {};
    const uint32_t e = RegisterEventHandle(&event);
    const uint32_t r = RegisterRingHandle(ring);
    EXPECT_NE(e, 0u);
    EXPECT_NE(r, 0u);
    EXPECT_NE(e, r);
    EXPECT_EQ(ResolveEvent(e), &event);
    EXPECT_EQ(ResolveRing(r).data(), ring);
    EXPECT_EQ(ResolveRing(r).size(), sizeof ring);
    UnregisterHandle(e);
    UnregisterHandle(r);
    EXPECT_EQ(ResolveEvent(e), nullptr);
    EXPECT_TRUE(ResolveRing(r).empty());
    EXPECT_EQ(ResolveEvent(0), nullptr);
    EXPECT_TRUE(ResolveRing(0).empty());
    UnregisterHandle(0);  // ignored
}

// A handle passed where the other kind belongs resolves to nothing: the
// driver must never set a ring as an event or write slots into an event.
TEST(HandleTableTest, RefusesAHandleOfTheWrongKind) {
    CEvent event;
    uint8_t ring[16] = {};
    const uint32_t e = RegisterEventHandle(&event);
    const uint32_t r = RegisterRingHandle(ring);
    EXPECT_EQ(ResolveEvent(r), nullptr);
    EXPECT_TRUE(ResolveRing(e).empty());
    EXPECT_EQ(ResolveEvent(e), &event);  // the refusal changed nothing
    UnregisterHandle(e);
    UnregisterHandle(r);
}

// Live handles are distinct (a value may come again once its handle is
// gone: Windows reuses its handle values).
TEST(HandleTableTest, HandlesStayDistinctUnderConcurrentUse) {
    constexpr int kThreads = 4, kEach = 2000;
    CEvent events[kThreads];
    std::vector<std::vector<uint32_t>> seen(kThreads);
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const uint32_t h = RegisterEventHandle(&events[t]);
                if (ResolveEvent(h) != &events[t]) ADD_FAILURE() << "handle " << h;
                seen[t].push_back(h);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<uint32_t> all;
    for (const auto& list : seen) all.insert(list.begin(), list.end());
    EXPECT_EQ(all.size(), size_t{kThreads} * kEach);
    threads.clear();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (uint32_t h : seen[t]) UnregisterHandle(h);
        });
    }
    for (std::thread& t : threads) t.join();
    for (uint32_t h : all) EXPECT_EQ(ResolveEvent(h), nullptr);
}

}  // namespace
}  // namespace vantrel
