#include "platform/tick.h"

#include <ctime>

#include "platform/system_half.h"

namespace vantrel {
namespace {

class CSystemClock final : public IClock {
public:
    uint32_t TickCount() const override { return GetTickCount32(); }
    LocalTime LocalNow() const override { return GetLocalTimeNow(); }
};

}  // namespace

uint32_t GetTickCount32() {
    return SystemTickCount();
}

LocalTime GetLocalTimeNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

const IClock& SystemClock() {
    static const CSystemClock clock;
    return clock;
}

}  // namespace vantrel
