#include "record/record_list.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

// Where chunks come from. Fresh pages cost the kernel far more to hand out
// (it zeroes them, here at about 1 GB/s) than copying a record costs us, and
// an appender that waits for a fresh 4 MiB chunk stalls the drain for
// milliseconds while the driver's ring fills. So chunks of cleared lists are
// kept for the next records, and a background thread keeps a few fresh
// chunks touched and ready.
class ChunkPool {
public:
    static ChunkPool& Instance() {
        static auto* pool = new ChunkPool();  // never destroyed: its thread runs to the end
        return *pool;
    }

    // Starts the preparing thread (once).
    void Start() {
        std::lock_guard lock(m_mutex);
        if (!m_started) {
            m_started = true;
            std::thread([this] { Prepare(); }).detach();
        }
    }

    void* Take() {
        Start();
        std::unique_lock lock(m_mutex);
        void* p = nullptr;
        if (!m_free.empty()) {
            p = m_free.back();
            m_free.pop_back();
        }
        lock.unlock();
        m_cv.notify_one();
        return p ? p : Fresh(false);
    }

    void Give(void* p) {
        {
            std::lock_guard lock(m_mutex);
            if (m_free.size() < kMaxKept) {
                m_free.push_back(p);
                return;
            }
        }
        std::free(p);
    }

private:
    static constexpr size_t kMaxKept = 64;  // 256 MiB
    static constexpr size_t kReady = 3;

    static void* Fresh(bool touch) {
        void* p = std::aligned_alloc(size_t{2} << 20, CRecordList::kChunkBytes);
        if (!p) return nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        madvise(p, CRecordList::kChunkBytes, MADV_HUGEPAGE);
#endif
        if (touch) std::memset(p, 0, CRecordList::kChunkBytes);
        return p;
    }

    void Prepare() {
#ifdef __linux__
        // Background work: the capture and printing threads come first.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
#endif
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return m_free.size() < kReady; });
            lock.unlock();
            void* p = Fresh(true);
            lock.lock();
            if (!p) {
                m_cv.wait_for(lock, std::chrono::seconds(1));
                continue;
            }
            m_free.push_back(p);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<void*> m_free;
    bool m_started = false;
};

void ReleaseChunk(void* p) { ChunkPool::Instance().Give(p); }

CIrpRecord* AllocateChunk() { return static_cast<CIrpRecord*>(ChunkPool::Instance().Take()); }

}  // namespace

CRecordList::CRecordList() : m_chunks(new std::atomic<CIrpRecord*>[kMaxChunks]) {
    ChunkPool::Instance().Start();
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

void CRecordList::Swap(CRecordList& other, const std::function<void()>& also) {
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
    if (also) also();
}

}  // namespace vantrel
