#pragma once
// The record list: the one ordered list of IRP records of a run, addressed
// by zero-based position. It owns its records.
//
// Storage: records live in chunks that are never moved, so a record keeps
// its address until the list is cleared. The first chunk holds kFirstChunk
// records and each next one twice as many, ten times; from there on every
// chunk holds kPerChunk records (4 MiB). A small test file therefore costs a
// few kilobytes, while a long capture gets big chunks that the kernel can
// back with huge pages. A cleared list keeps its chunks (up to kKeptBytes)
// for the records that follow.
//
// Threads:
//  - one appender at a time (the capture thread, or the thread that loads);
//    appends and reads run concurrently;
//  - readers hold a ReadLock; Clear, ClearWith and Swap wait until no reader
//    holds one, and until no append is under way;
//  - the list starts no thread of its own until EnablePrefetch, which makes
//    the first chunks ready itself. From then on a helper thread owned by the
//    list allocates and touches the chunks for two full chunks of records
//    ahead of the appender: fresh pages cost the kernel far more to hand
//    out than a record costs to copy, and an appender that met them would
//    stall the drain while the driver's ring fills. The helper installs a chunk
//    only while holding the list's reader lock, never calls out, and is
//    stopped and joined by the destructor.

#include <atomic>
#include <bit>
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
    // The growing chunks: kFirstChunk records (under one 4 KiB page), then
    // twice as many each time; the last of them still fits one 2 MiB page.
    static constexpr size_t kFirstChunk = 7;
    static constexpr size_t kGrowthSteps = 10;
    static_assert(kFirstChunk * sizeof(CIrpRecord) <= 4096);
    static_assert((kFirstChunk << (kGrowthSteps - 1)) <= kPerChunk);
    // Records in the chunks that grow (0 .. kGrowthSteps - 1).
    static constexpr size_t kGrowingRecords = kFirstChunk * ((size_t{1} << kGrowthSteps) - 1);
    static constexpr size_t kMaxChunks = size_t{1} << 15;
    static constexpr size_t kMaxRecords = kGrowingRecords + (kMaxChunks - kGrowthSteps) * kPerChunk;
    // Chunk memory a cleared list keeps for the next records.
    static constexpr size_t kKeptBytes = size_t{256} << 20;

    // Records that chunk `chunk` holds, and the position of its first.
    static constexpr size_t ChunkCapacity(size_t chunk) {
        return chunk < kGrowthSteps ? kFirstChunk << chunk : kPerChunk;
    }
    static constexpr size_t ChunkStart(size_t chunk) {
        return chunk < kGrowthSteps ? kFirstChunk * ((size_t{1} << chunk) - 1)
                                    : kGrowingRecords + (chunk - kGrowthSteps) * kPerChunk;
    }
    struct Position {
        size_t chunk;
        size_t offset;
    };
    static constexpr Position Locate(size_t index) {
        if (index < kGrowingRecords) {
            const size_t chunk = std::bit_width(index / kFirstChunk + 1) - 1;
            return {chunk, index - ChunkStart(chunk)};
        }
        const size_t beyond = index - kGrowingRecords;
        return {kGrowthSteps + beyond / kPerChunk, beyond % kPerChunk};
    }

    CRecordList();
    ~CRecordList();
    CRecordList(const CRecordList&) = delete;
    CRecordList& operator=(const CRecordList&) = delete;

    // Starts the helper thread that prepares chunks ahead of the appender (a
    // capture calls this before its records arrive). Calling it again does
    // nothing. The thread ends with the list.
    void EnablePrefetch();
    bool PrefetchEnabled() const;
    // Makes memory ready now for the next `records` appends (at most
    // kKeptBytes of it, which a Clear keeps), so that a capture of known
    // length never has fresh pages handed out while it runs: on a virtual
    // machine that work on one processor delayed the capture threads on the
    // other by more than a millisecond.
    void Reserve(size_t records);

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
        const size_t n = m_size.load(std::memory_order_relaxed);
        CIrpRecord* slot = SlotAt(n);
        if (!slot) return SIZE_MAX;
        fill(*slot);
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
        DestroyRecords();
        KeepChunks(kKeptBytes);
        m_generation.fetch_add(1, std::memory_order_relaxed);
        also();
    }
    // Changes with every Clear and Swap: a position taken in one generation
    // means nothing in another.
    uint64_t Generation() const { return m_generation.load(std::memory_order_relaxed); }
    // Exchanges the contents of two lists (a load fills a new list, then
    // swaps) and, while no reader or appender of either can run, calls
    // `also` (a reader's cursor can move together with the list). The
    // chunks go with the records; each list keeps its helper.
    void Swap(CRecordList& other, const std::function<void()>& also = {});

    // For the thread that alone changes the list (tests, loading, the CLI):
    // the record at `index` without a lock. Null past the end.
    const CIrpRecord* AtUnlocked(size_t index) const;
    CIrpRecord* AtUnlocked(size_t index);

private:
    class Prefetcher;
    using ChunkEntry = std::atomic<CIrpRecord*>;
    // Chunks below this index have their entry inside the list; the rest in
    // a table allocated when a list first gets that long.
    static constexpr size_t kNearChunks = 32;

    // The entry of a chunk; null for a far chunk before the far table exists
    // (`create` makes it, and gives null only when out of memory).
    ChunkEntry* Entry(size_t chunk, bool create) const;
    // Constructs the record at position n (the size, under the append lock);
    // null when the list is full or out of memory.
    CIrpRecord* SlotAt(size_t n);
    // Allocates the chunk for `entry` unless another thread installed one.
    CIrpRecord* InstallChunk(size_t chunk, ChunkEntry& entry);
    // Allocates and touches the chunks for the next `ahead` records (the
    // helper thread, EnablePrefetch and Reserve).
    void PrepareAhead(size_t ahead);
    void DestroyRecords();
    // Frees the chunks after the first ones that fit in `bytes`.
    void KeepChunks(size_t bytes);

    ChunkEntry m_near[kNearChunks]{};
    mutable std::atomic<ChunkEntry*> m_far{nullptr};
    std::atomic<size_t> m_size{0};
    std::atomic<uint64_t> m_generation{0};
    mutable std::shared_mutex m_clearLock;
    mutable std::mutex m_appendLock;
    std::unique_ptr<Prefetcher> m_prefetch;  // set once, under the append lock
};

}  // namespace vantrel
