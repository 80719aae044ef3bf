#include "capture/record_list.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vantrel {
namespace {

// Chunks of cleared lists are kept for the next records: fresh pages cost
// the kernel far more to hand out (zeroing) than copying a record costs us.
constexpr size_t kPoolMaxChunks = 64;  // 256 MiB
std::mutex g_poolMutex;
std::vector<void*>& Pool() {
    static auto* pool = new std::vector<void*>();
    return *pool;
}

void ReleaseChunk(void* p) {
    {
        std::lock_guard lock(g_poolMutex);
        if (Pool().size() < kPoolMaxChunks) {
            Pool().push_back(p);
            return;
        }
    }
    std::free(p);
}

CIrpRecord* AllocateChunk() {
    {
        std::lock_guard lock(g_poolMutex);
        if (!Pool().empty()) {
            void* p = Pool().back();
            Pool().pop_back();
            return static_cast<CIrpRecord*>(p);
        }
    }
    void* p = std::aligned_alloc(size_t{2} << 20, CRecordList::kChunkBytes);
    if (!p) return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Fresh pages are costly to touch one by one; huge pages make the first
    // touch of a chunk far cheaper.
    madvise(p, CRecordList::kChunkBytes, MADV_HUGEPAGE);
#endif
    return static_cast<CIrpRecord*>(p);
}

}  // namespace

CRecordList::CRecordList() : m_chunks(new std::atomic<CIrpRecord*>[kMaxChunks]) {
    for (size_t i = 0; i < kMaxChunks; ++i) m_chunks[i].store(nullptr, std::memory_order_relaxed);
}

CRecordList::~CRecordList() { FreeAll(); }

CIrpRecord* CRecordList::SlotForAppend() { return SlotAt(m_size.load(std::memory_order_relaxed)); }

CIrpRecord* CRecordList::SlotAt(size_t n) {
    if (n >= kMaxRecords) return nullptr;
    const size_t chunk = n / kPerChunk;
    CIrpRecord* base = m_chunks[chunk].load(std::memory_order_relaxed);
    if (!base) {
        base = AllocateChunk();
        if (!base) return nullptr;
        m_chunks[chunk].store(base, std::memory_order_release);
    }
    return new (base + n % kPerChunk) CIrpRecord();
}

size_t CRecordList::Append(const CIrpRecord& record) {
    return AppendWith([&](CIrpRecord& r) { r = record; });
}

size_t CRecordList::Append(CIrpRecord&& record) {
    return AppendWith([&](CIrpRecord& r) { r = std::move(record); });
}

const CIrpRecord* CRecordList::AtUnlocked(size_t index) const {
    if (index >= m_size.load(std::memory_order_acquire)) return nullptr;
    CIrpRecord* base = m_chunks[index / kPerChunk].load(std::memory_order_acquire);
    return base + index % kPerChunk;
}

CIrpRecord* CRecordList::AtUnlocked(size_t index) {
    return const_cast<CIrpRecord*>(std::as_const(*this).AtUnlocked(index));
}

void CRecordList::FreeAll() {
    const size_t n = m_size.load(std::memory_order_relaxed);
    for (size_t i = 0; i < n; ++i) {
        m_chunks[i / kPerChunk].load(std::memory_order_relaxed)[i % kPerChunk].~CIrpRecord();
    }
    for (size_t c = 0; c < kMaxChunks; ++c) {
        CIrpRecord* base = m_chunks[c].load(std::memory_order_relaxed);
        if (!base) break;
        ReleaseChunk(base);
        m_chunks[c].store(nullptr, std::memory_order_relaxed);
    }
    m_size.store(0, std::memory_order_release);
}

void CRecordList::Clear() {
    std::unique_lock guard(m_clearLock);
    std::lock_guard append(m_appendLock);
    FreeAll();
    m_generation.fetch_add(1, std::memory_order_relaxed);
}

void CRecordList::Swap(CRecordList& other) {
    if (&other == this) return;
    // Lock in address order so that two swaps cannot deadlock.
    CRecordList* first = this < &other ? this : &other;
    CRecordList* second = this < &other ? &other : this;
    std::unique_lock g1(first->m_clearLock);
    std::unique_lock g2(second->m_clearLock);
    std::lock_guard a1(first->m_appendLock);
    std::lock_guard a2(second->m_appendLock);
    m_chunks.swap(other.m_chunks);
    const size_t n = m_size.load(std::memory_order_relaxed);
    m_size.store(other.m_size.load(std::memory_order_relaxed), std::memory_order_release);
    other.m_size.store(n, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_relaxed);
    other.m_generation.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace vantrel
