#pragma once
// The 32-bit millisecond tick count and the local time, both replaceable by tests.

#include <cstdint>
#include <functional>

namespace vantrel {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Milliseconds since an arbitrary start, wrapping at 2^32, like GetTickCount.
uint32_t GetTickCount32();
LocalTime GetLocalTimeNow();

// Test seams: an empty function restores the real clock.
void SetTickSource(std::function<uint32_t()> source);
void SetLocalTimeSource(std::function<LocalTime()> source);

}  // namespace vantrel
