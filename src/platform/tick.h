#pragma once
// The 32-bit millisecond tick count and the local time. A document reads
// them through the IClock it is given, so that a test can give it another.

#include <cstdint>

namespace vantrel {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The machine's clock: milliseconds since an arbitrary start, wrapping at
// 2^32, like GetTickCount; and the local time of day.
uint32_t GetTickCount32();
LocalTime GetLocalTimeNow();

// A clock as a service. Called from any thread.
class IClock {
public:
    virtual ~IClock() = default;
    virtual uint32_t TickCount() const = 0;
    virtual LocalTime LocalNow() const = 0;
};

// The machine's clock as an IClock (one immutable object).
const IClock& SystemClock();

}  // namespace vantrel
