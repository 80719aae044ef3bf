#include "platform/handle_table.h"

#include <mutex>
#include <unordered_map>

namespace vantrel {
namespace {
std::mutex g_mutex;
std::unordered_map<uint32_t, void*> g_handles;
uint32_t g_next = 0x100;
}  // namespace

uint32_t RegisterHandle(void* object) {
    std::lock_guard lock(g_mutex);
    uint32_t h = g_next;
    g_next += 4;
    if (g_next == 0) g_next = 0x100;
    g_handles[h] = object;
    return h;
}

void UnregisterHandle(uint32_t handle) {
    std::lock_guard lock(g_mutex);
    g_handles.erase(handle);
}

void* ResolveHandle(uint32_t handle) {
    std::lock_guard lock(g_mutex);
    auto it = g_handles.find(handle);
    return it == g_handles.end() ? nullptr : it->second;
}

}  // namespace vantrel
