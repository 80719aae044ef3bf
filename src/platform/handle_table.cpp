#include "platform/handle_table.h"

#include <mutex>
#include <unordered_map>
#include <variant>

#include "platform/system_half.h"

namespace vantrel {
namespace {

using HandleObject = std::variant<CEvent*, std::span<uint8_t>>;

// The process's handle table (see the header: it stands for the system's).
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uint32_t, HandleObject> objects;
    uint32_t next = kFirst;
    static constexpr uint32_t kFirst = 0x100;

    // `system` is the value the system gives the object (0: none); the
    // table numbers the others.
    uint32_t Add(HandleObject object, uint32_t system) {
        std::lock_guard lock(mutex);
        if (system != 0) return objects.emplace(system, object).second ? system : 0;
        // Values step by 4 like system handles; a value still in use after
        // wrapping round is skipped.
        uint32_t h;
        do {
            h = next;
            next = next + 4 < kFirst ? kFirst : next + 4;
        } while (objects.count(h));
        objects.emplace(h, object);
        return h;
    }

    template <class T>
    T Find(uint32_t handle) {
        std::lock_guard lock(mutex);
        auto it = objects.find(handle);
        if (it == objects.end()) return T{};
        const T* object = std::get_if<T>(&it->second);
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
    if (handle == 0) CloseSystemEventHandle(system);
    return handle;
}

uint32_t RegisterRingHandle(std::span<uint8_t> ring) {
    return Table().Add(ring, SystemRingHandle(ring));
}

void UnregisterHandle(uint32_t handle) {
    HandleTable& table = Table();
    bool event = false;
    {
        std::lock_guard lock(table.mutex);
        auto it = table.objects.find(handle);
        if (it == table.objects.end()) return;
        event = std::holds_alternative<CEvent*>(it->second);
        table.objects.erase(it);
    }
    if (event) CloseSystemEventHandle(handle);
}

CEvent* ResolveEvent(uint32_t handle) {
    return Table().Find<CEvent*>(handle);
}

std::span<uint8_t> ResolveRing(uint32_t handle) {
    return Table().Find<std::span<uint8_t>>(handle);
}

}  // namespace vantrel
