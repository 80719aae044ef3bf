#include "platform/handle_table.h"

#include <mutex>
#include <unordered_map>
#include <variant>

namespace vantrel {
namespace {

using HandleObject = std::variant<CEvent*, std::span<uint8_t>>;

// The process's handle table (see the header: it stands for the system's).
struct HandleTable {
    std::mutex mutex;
    std::unordered_map<uint32_t, HandleObject> objects;
    uint32_t next = kFirst;
    static constexpr uint32_t kFirst = 0x100;

    uint32_t Add(HandleObject object) {
        std::lock_guard lock(mutex);
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
    return Table().Add(event);
}

uint32_t RegisterRingHandle(std::span<uint8_t> ring) {
    return Table().Add(ring);
}

void UnregisterHandle(uint32_t handle) {
    std::lock_guard lock(Table().mutex);
    Table().objects.erase(handle);
}

CEvent* ResolveEvent(uint32_t handle) {
    return Table().Find<CEvent*>(handle);
}

std::span<uint8_t> ResolveRing(uint32_t handle) {
    return Table().Find<std::span<uint8_t>>(handle);
}

}  // namespace vantrel
