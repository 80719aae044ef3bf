#include "platform/handle_table.h"

#include <mutex>
#include <unordered_map>
#include <variant>

#include "platform/system_half.h"

namespace vantrel {
namespace {

using HandleObject = std::variant<CEvent*, std::span<uint8_t>>;

struct Entry {
    HandleObject object;
    bool systemEvent = false;  // a system handle of the event, closed with the entry
};

// The process's handle table (see the header: it stands for the system's).
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uint32_t, Entry> objects;
    uint32_t next = kFirst;
    static constexpr uint32_t kFirst = 0x100;

    // `system` is the value the system gives the object (0: none); the
    // table numbers the others.
    uint32_t Add(HandleObject object, uint32_t system) {
        std::lock_guard lock(mutex);
        if (system != 0) {
            const bool event = std::holds_alternative<CEvent*>(object);
            return objects.emplace(system, Entry{object, event}).second ? system : 0;
        }
        // Values step by 4 like system handles; a value still in use after
        // wrapping round is skipped.
        uint32_t h;
        do {
            h = next;
            next = next + 4 < kFirst ? kFirst : next + 4;
        } while (objects.count(h));
        objects.emplace(h, Entry{object});
        return h;
    }

    template <class T>
    T Find(uint32_t handle) {
        std::lock_guard lock(mutex);
        auto it = objects.find(handle);
        if (it == objects.end()) return T{};
        const T* object = std::get_if<T>(&it->second.object);
        return object ? *object : T{};
    }
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

}  // namespace

uint32_t RegisterEventHandle(CEvent* event) {
    const uint32_t system = OpenSystemEventHandle(*event);
    const uint32_t handle = Table().Add(event, system);
    if (system != 0 && handle == 0) CloseSystemEventHandle(system);
    return handle;
}

uint32_t RegisterRingHandle(std::span<uint8_t> ring) {
    return Table().Add(ring, SystemRingHandle(ring));
}

void UnregisterHandle(uint32_t handle) {
    HandleTable& table = Table();
    bool systemEvent = false;
    {
        std::lock_guard lock(table.mutex);
        auto it = table.objects.find(handle);
        if (it == table.objects.end()) return;
        systemEvent = it->second.systemEvent;
        table.objects.erase(it);
    }
    if (systemEvent) CloseSystemEventHandle(handle);
}

CEvent* ResolveEvent(uint32_t handle) {
    return Table().Find<CEvent*>(handle);
}

std::span<uint8_t> ResolveRing(uint32_t handle) {
    return Table().Find<std::span<uint8_t>>(handle);
}

}  // namespace vantrel
