#pragma once
// The record list: the one ordered list of IRP records of the application,
// addressed by zero-based position. It owns its records; a record keeps its
// address until the list is cleared (records are stored in large chunks,
// never moved). Thread-safe:
//  - appends (one appender at a time) and reads run concurrently;
//  - Clear and Swap wait until no reader holds a ReadLock.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "record/irp_record.h"

namespace vantrel {

class CRecordList {
public:
    static constexpr size_t kChunkBytes = size_t{4} << 20;
    static constexpr size_t kPerChunk = kChunkBytes / sizeof(CIrpRecord);
    static constexpr size_t kMaxChunks = size_t{1} << 15;
    static constexpr size_t kMaxRecords = kPerChunk * kMaxChunks;

    CRecordList();
    ~CRecordList();
    CRecordList(const CRecordList&) = delete;
    CRecordList& operator=(const CRecordList&) = delete;

    // Number of records (a snapshot: it may grow right after).
    size_t Size() const { return m_size.load(std::memory_order_acquire); }
    bool Empty() const { return Size() == 0; }

    // Appends a copy; returns its position, or SIZE_MAX when the list is full.
    size_t Append(const CIrpRecord& record);
    size_t Append(CIrpRecord&& record);

    // Appends in place: `fill(CIrpRecord&)` fills a default-constructed
    // record that becomes visible to readers only after fill returns.
    template <typename Fill>
    size_t AppendWith(Fill&& fill) {
        std::shared_lock guard(m_clearLock);
        std::lock_guard append(m_appendLock);
        CIrpRecord* slot = SlotForAppend();
        if (!slot) return SIZE_MAX;
        fill(*slot);
        const size_t n = m_size.load(std::memory_order_relaxed);
        m_size.store(n + 1, std::memory_order_release);
        return n;
    }

    // Appends up to `count` records in place under one lock: `fill(i,
    // record)` fills the i-th new record and returns true to keep it; false
    // discards that record and stops. The records become visible together,
    // after the last fill returns. Returns the position of the first, how
    // many were kept (fewer than `count` also when the list is full), and
    // the generation the records belong to.
    struct Appended {
        size_t first = 0;
        size_t count = 0;
        uint64_t generation = 0;
    };
    template <typename Fill>
    Appended AppendMany(size_t count, Fill&& fill) {
        std::shared_lock guard(m_clearLock);
        std::lock_guard append(m_appendLock);
        const size_t first = m_size.load(std::memory_order_relaxed);
        size_t kept = 0;
        for (; kept < count; ++kept) {
            CIrpRecord* slot = SlotAt(first + kept);
            if (!slot) break;
            if (!fill(kept, *slot)) {
                slot->~CIrpRecord();
                break;
            }
        }
        m_size.store(first + kept, std::memory_order_release);
        return {first, kept, m_generation.load(std::memory_order_relaxed)};
    }

    // Holds off Clear and Swap while records are read.
    class ReadLock {
    public:
        explicit ReadLock(const CRecordList& list) : m_list(list), m_lock(list.m_clearLock) {}
        size_t Size() const { return m_list.Size(); }
        // Null for a position at or past the end.
        const CIrpRecord* At(size_t index) const { return m_list.AtUnlocked(index); }

    private:
        const CRecordList& m_list;
        std::shared_lock<std::shared_mutex> m_lock;
    };

    // Deletes every record.
    void Clear();
    // Deletes every record and, while no reader or appender can run, calls
    // `also()` (a reader's cursor can be reset together with the list).
    template <typename Also>
    void ClearWith(Also&& also) {
        std::unique_lock guard(m_clearLock);
        std::lock_guard append(m_appendLock);
        FreeAll();
        m_generation.fetch_add(1, std::memory_order_relaxed);
        also();
    }
    // Changes with every Clear and Swap: a position taken in one generation
    // means nothing in another.
    uint64_t Generation() const { return m_generation.load(std::memory_order_relaxed); }
    // Exchanges the contents of two lists (a load fills a new list, then
    // swaps) and, while no reader or appender of either can run, calls
    // `also` (a reader's cursor can move together with the list).
    void Swap(CRecordList& other, const std::function<void()>& also = {});

    // For the thread that alone changes the list (tests, loading, the CLI):
    // the record at `index` without a lock. Null past the end.
    const CIrpRecord* AtUnlocked(size_t index) const;
    CIrpRecord* AtUnlocked(size_t index);

private:
    CIrpRecord* SlotForAppend();
    // Constructs the record at position n (n is the size or beyond, under
    // the append lock); null when the list is full or out of memory.
    CIrpRecord* SlotAt(size_t n);
    void FreeAll();

    std::unique_ptr<std::atomic<CIrpRecord*>[]> m_chunks;
    std::atomic<size_t> m_size{0};
    std::atomic<uint64_t> m_generation{0};
    mutable std::shared_mutex m_clearLock;
    std::mutex m_appendLock;
};

}  // namespace vantrel
