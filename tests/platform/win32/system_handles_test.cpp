// Windows: what the handle table hands the driver is what the real driver
// takes, a Win32 handle of the data-ready event and the ring's address.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

#include "platform/event.h"
#include "platform/handle_table.h"

namespace vantrel {
namespace {

HANDLE AsHandle(uint32_t value) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

TEST(SystemHandlesTest, TheEventHandleIsAWin32HandleOfThatEventUntilUnregistered) {
    CEvent event;
    const uint32_t handle = RegisterEventHandle(&event);
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(SetEvent(AsHandle(handle)));  // as the driver signals it
    EXPECT_TRUE(event.IsSet());
    event.Reset();
    EXPECT_EQ(WaitForSingleObject(AsHandle(handle), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ResolveEvent(handle), &event);
    UnregisterHandle(handle);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(AsHandle(handle), &flags));  // closed
}

TEST(SystemHandlesTest, TheRingHandleIsTheRingsAddress) {
    uint8_t ring[64] = {};
    const uint32_t handle = RegisterRingHandle(ring);
    EXPECT_EQ(handle, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ring)));
    EXPECT_EQ(ResolveRing(handle).data(), ring);
    EXPECT_EQ(RegisterRingHandle(ring), 0u);  // one live handle per ring
    UnregisterHandle(handle);
    EXPECT_TRUE(ResolveRing(handle).empty());
}

}  // namespace
}  // namespace vantrel
