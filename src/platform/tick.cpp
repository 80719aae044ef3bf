#include "platform/tick.h"

#include <ctime>
#include <mutex>

#include "platform/system_half.h"

namespace vantrel {
namespace {
std::mutex g_mutex;
std::function<uint32_t()> g_tick;
std::function<LocalTime()> g_local;
}  // namespace

uint32_t GetTickCount32() {
    {
        std::lock_guard lock(g_mutex);
        if (g_tick) return g_tick();
    }
    return SystemTickCount();
}

LocalTime GetLocalTimeNow() {
    {
        std::lock_guard lock(g_mutex);
        if (g_local) return g_local();
    }
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

void SetTickSource(std::function<uint32_t()> source) {
    std::lock_guard lock(g_mutex);
    g_tick = std::move(source);
}

void SetLocalTimeSource(std::function<LocalTime()> source) {
    std::lock_guard lock(g_mutex);
    g_local = std::move(source);
}

}  // namespace vantrel
