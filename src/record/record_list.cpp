#include "record/record_list.h"

#include <algorithm>
#include <condition_variable>
#include <new>
#include <thread>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vantrel {
namespace {

constexpr size_t ChunkBytes(size_t chunk) {
    return CRecordList::ChunkCapacity(chunk) * sizeof(CIrpRecord);
}

// Chunks from 1 MiB up are mapped on their own, 2 MiB aligned and advised
// for transparent huge pages: first touch of such memory ran about twenty
// times faster here than of 4 KiB pages. Smaller ones come from the heap.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMappedFrom = size_t{1} << 20;
constexpr size_t kPage = 4096;

constexpr size_t RoundUp(size_t n, size_t to) {
    return (n + to - 1) / to * to;
}

void* AllocateChunk(size_t chunk) {
    const size_t bytes = ChunkBytes(chunk);
#if defined(__linux__)
    if (bytes >= kMappedFrom) {
        const size_t length = RoundUp(bytes, kHugePage);
        void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) return nullptr;
        // One huge page more than the chunk is mapped so that an aligned
        // chunk fits inside; what lies before and after it goes back.
        const auto start = reinterpret_cast<uintptr_t>(raw);
        const size_t lead = RoundUp(start, kHugePage) - start;
        char* const aligned = static_cast<char*>(raw) + lead;
        if (lead) munmap(raw, lead);
        if (lead < kHugePage) munmap(aligned + length, kHugePage - lead);
#ifdef MADV_HUGEPAGE
        madvise(aligned, length, MADV_HUGEPAGE);
#endif
        return aligned;
    }
#endif
    return ::operator new (bytes, std::align_val_t{alignof(CIrpRecord)}, std::nothrow);
}

void FreeChunk(void* p, size_t chunk) {
    [[maybe_unused]] const size_t bytes = ChunkBytes(chunk);
#if defined(__linux__)
    if (bytes >= kMappedFrom) {
        munmap(p, RoundUp(bytes, kHugePage));
        return;
    }
#endif
    ::operator delete (p, std::align_val_t{alignof(CIrpRecord)});
}

// Makes the kernel hand out every page of the chunk now.
void Touch(void* p, size_t chunk) {
    auto* bytes = static_cast<volatile char*>(p);
    const size_t n = ChunkBytes(chunk);
    for (size_t i = 0; i < n; i += kPage) bytes[i] = 0;
}

// Records the helper keeps room for beyond the last one appended: two full
// chunks, about 75 ms of records at 200,000 a second. Counted in records, not
// chunks, so that the small first chunks do not leave it only a few hundred
// microseconds ahead.
constexpr size_t kRecordsAhead = 2 * CRecordList::kPerChunk;

}  // namespace

// --- Helper thread ---------------------------------------------------------------

class CRecordList::Prefetcher {
public:
    explicit Prefetcher(CRecordList& list) : m_list(list), m_thread([this] { Run(); }) {}
    ~Prefetcher() {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    // The appender has moved into a new chunk.
    void Wake() {
        {
            std::lock_guard lock(m_mutex);
            m_pending = true;
        }
        m_wake.notify_one();
    }

private:
    void Run() {
        // Ordinary priority on purpose: its work is short but must be done in
        // time, and at a low priority it lost the processor to the printing
        // thread for tens of milliseconds, until the appender met a chunk not
        // yet made and stalled the drain.
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            m_pending = false;
            lock.unlock();
            m_list.PrepareAhead(kRecordsAhead);
            lock.lock();
            m_wake.wait(lock, [this] { return m_quit || m_pending; });
        }
    }

    CRecordList& m_list;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_pending = false;
    bool m_quit = false;
    std::thread m_thread;  // last: it starts once the members above exist
};

// --- List ----------------------------------------------------------------------------

CRecordList::CRecordList() = default;

CRecordList::~CRecordList() {
    m_prefetch.reset();
    DestroyRecords();
    KeepChunks(0);
    delete[] m_far.load(std::memory_order_relaxed);
}

void CRecordList::EnablePrefetch() {
    // The first chunks are made ready here, before the helper exists, so
    // that the first records of a capture never meet fresh memory.
    PrepareAhead(kRecordsAhead);
    std::lock_guard append(m_appendLock);
    if (!m_prefetch) m_prefetch = std::make_unique<Prefetcher>(*this);
}

bool CRecordList::PrefetchEnabled() const {
    std::lock_guard append(m_appendLock);
    return m_prefetch != nullptr;
}

CRecordList::ChunkEntry* CRecordList::Entry(size_t chunk, bool create) const {
    if (chunk < kNearChunks) return const_cast<ChunkEntry*>(&m_near[chunk]);
    ChunkEntry* far = m_far.load(std::memory_order_acquire);
    if (!far && create) {
        // The appender and the helper may both get here; one table wins.
        auto* fresh = new (std::nothrow) ChunkEntry[kMaxChunks - kNearChunks]();
        if (!fresh) return nullptr;
        if (m_far.compare_exchange_strong(far, fresh, std::memory_order_acq_rel))
            far = fresh;
        else
            delete[] fresh;
    }
    return far ? far + (chunk - kNearChunks) : nullptr;
}

CIrpRecord* CRecordList::InstallChunk(size_t chunk, ChunkEntry& entry) {
    void* p = AllocateChunk(chunk);
    if (!p) return nullptr;
    CIrpRecord* expected = nullptr;
    if (entry.compare_exchange_strong(expected, static_cast<CIrpRecord*>(p),
                                      std::memory_order_acq_rel))
        return static_cast<CIrpRecord*>(p);
    FreeChunk(p, chunk);  // the helper was quicker
    return expected;
}

CIrpRecord* CRecordList::SlotAt(size_t n) {
    if (n >= kMaxRecords) return nullptr;
    const Position at = Locate(n);
    ChunkEntry* entry = Entry(at.chunk, true);
    if (!entry) return nullptr;
    CIrpRecord* base = entry->load(std::memory_order_acquire);
    if (!base) {
        base = InstallChunk(at.chunk, *entry);
        if (!base) return nullptr;
    }
    if (at.offset == 0 && m_prefetch) m_prefetch->Wake();
    return new (base + at.offset) CIrpRecord();
}

void CRecordList::Reserve(size_t records) {
    PrepareAhead(std::min(records, kKeptBytes / sizeof(CIrpRecord)));
}

void CRecordList::PrepareAhead(size_t ahead) {
    size_t first = 0;
    size_t last = 0;
    {
        std::shared_lock guard(m_clearLock);
        const size_t n = m_size.load(std::memory_order_acquire);
        if (n >= kMaxRecords) return;
        first = Locate(n).chunk;
        last = Locate(n + std::min(ahead, kMaxRecords - 1 - n)).chunk;
    }
    for (size_t chunk = first; chunk <= last; ++chunk) {
        {
            std::shared_lock guard(m_clearLock);
            ChunkEntry* entry = Entry(chunk, true);
            if (!entry) return;
            if (entry->load(std::memory_order_acquire)) continue;
        }
        // Allocated and touched without a lock: Clear and Swap never wait for it.
        void* p = AllocateChunk(chunk);
        if (!p) return;
        Touch(p, chunk);
        {
            std::shared_lock guard(m_clearLock);
            CIrpRecord* expected = nullptr;
            ChunkEntry* entry = Entry(chunk, false);
            if (entry && entry->compare_exchange_strong(expected, static_cast<CIrpRecord*>(p),
                                                        std::memory_order_acq_rel))
                continue;
        }
        FreeChunk(p, chunk);
    }
}

size_t CRecordList::Append(const CIrpRecord& record) {
    return AppendWith([&](CIrpRecord& r) { r = record; });
}

size_t CRecordList::Append(CIrpRecord&& record) {
    return AppendWith([&](CIrpRecord& r) { r = std::move(record); });
}

const CIrpRecord* CRecordList::AtUnlocked(size_t index) const {
    if (index >= m_size.load(std::memory_order_acquire)) return nullptr;
    const Position at = Locate(index);
    return Entry(at.chunk, false)->load(std::memory_order_acquire) + at.offset;
}

CIrpRecord* CRecordList::AtUnlocked(size_t index) {
    return const_cast<CIrpRecord*>(std::as_const(*this).AtUnlocked(index));
}

void CRecordList::DestroyRecords() {
    size_t left = m_size.load(std::memory_order_relaxed);
    for (size_t c = 0; left > 0; ++c) {
        CIrpRecord* base = Entry(c, false)->load(std::memory_order_relaxed);
        const size_t n = std::min(left, ChunkCapacity(c));
        for (size_t i = 0; i < n; ++i) base[i].~CIrpRecord();
        left -= n;
    }
    m_size.store(0, std::memory_order_release);
}

void CRecordList::KeepChunks(size_t bytes) {
    size_t kept = 0;
    for (size_t c = 0; c < kMaxChunks; ++c) {
        ChunkEntry* entry = Entry(c, false);
        if (!entry) return;
        // Every entry is looked at: the helper may have prepared chunks past
        // one the appender has not reached.
        CIrpRecord* base = entry->load(std::memory_order_relaxed);
        if (!base) continue;
        kept += ChunkBytes(c);
        if (kept <= bytes) continue;
        FreeChunk(base, c);
        entry->store(nullptr, std::memory_order_relaxed);
    }
}

void CRecordList::Clear() {
    ClearWith([] {});
}

void CRecordList::Swap(CRecordList& other, const std::function<void()>& also) {
    if (&other == this) return;
    // Lock in address order so that two swaps cannot deadlock.
    CRecordList* first = this < &other ? this : &other;
    CRecordList* second = this < &other ? &other : this;
    std::unique_lock g1(first->m_clearLock);
    std::unique_lock g2(second->m_clearLock);
    std::lock_guard a1(first->m_appendLock);
    std::lock_guard a2(second->m_appendLock);
    for (size_t c = 0; c < kNearChunks; ++c) {
        CIrpRecord* mine = m_near[c].load(std::memory_order_relaxed);
        m_near[c].store(other.m_near[c].load(std::memory_order_relaxed), std::memory_order_relaxed);
        other.m_near[c].store(mine, std::memory_order_relaxed);
    }
    ChunkEntry* far = m_far.load(std::memory_order_relaxed);
    m_far.store(other.m_far.load(std::memory_order_relaxed), std::memory_order_release);
    other.m_far.store(far, std::memory_order_release);
    const size_t n = m_size.load(std::memory_order_relaxed);
    m_size.store(other.m_size.load(std::memory_order_relaxed), std::memory_order_release);
    other.m_size.store(n, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_relaxed);
    other.m_generation.fetch_add(1, std::memory_order_relaxed);
    if (also) also();
}

}  // namespace vantrel
