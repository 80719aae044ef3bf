#include "platform/event.h"

#include <gtest/gtest.h>

#include <thread>

namespace vantrel {
namespace {

TEST(EventTest, ManualResetStaysSetUntilReset) {
    CEvent e;
    EXPECT_FALSE(e.IsSet());
    e.Set();
    EXPECT_TRUE(e.WaitFor(0));
    EXPECT_TRUE(e.WaitFor(0));
    e.Reset();
    EXPECT_FALSE(e.WaitFor(1));
}

TEST(EventTest, WaitForAnyReturnsLowestSetIndexAndTimesOut) {
    CEvent a, b, c;
    EXPECT_EQ(WaitForAny({&a, &b, &c}, 5), -1);
    c.Set();
    b.Set();
    EXPECT_EQ(WaitForAny({&a, &b, &c}), 1);
}

TEST(EventTest, WaitForAnyWakesOnSetFromAnotherThread) {
    CEvent quit, data;
    std::thread t([&] { data.Set(); });
    EXPECT_EQ(WaitForAny({&quit, &data}), 1);
    t.join();
}

}  // namespace
}  // namespace vantrel
