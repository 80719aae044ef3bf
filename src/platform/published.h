#pragma once
// CPublished<T>: an immutable value that one thread replaces and others read
// without waiting for it. A reader takes a shared pointer to the current
// value and keeps using it after a newer one has been published.

#include <memory>
#include <mutex>

namespace vantrel {

template <typename T>
class CPublished {
public:
    CPublished() : m_value(std::make_shared<const T>()) {}

    // Never null.
    std::shared_ptr<const T> Get() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    // Null publishes a default value.
    void Set(std::shared_ptr<const T> value) {
        if (!value) value = std::make_shared<const T>();
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
    }
    void Set(T value) { Set(std::make_shared<const T>(std::move(value))); }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const T> m_value;
};

}  // namespace vantrel
