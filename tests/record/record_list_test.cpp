#include "record/record_list.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/process_stats.h"

namespace vantrel {
namespace {

using test::ResidentBytes;
using test::ThreadCount;

CIrpRecord Rec(uint32_t device) {
    CIrpRecord r;
    r.GetCapture().DeviceObject = device;
    return r;
}

TEST(RecordListTest, AppendKeepsOrderAndStableAddressesAcrossChunks) {
    CRecordList list;
    const size_t n = CRecordList::kPerChunk * 2 + 5;
    list.Append(Rec(0));
    const CIrpRecord* first = list.AtUnlocked(0);
    for (size_t i = 1; i < n; ++i) ASSERT_EQ(list.Append(Rec(static_cast<uint32_t>(i))), i);
    EXPECT_EQ(list.Size(), n);
    EXPECT_EQ(list.AtUnlocked(0), first);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(list.AtUnlocked(i)->GetDeviceObject(), i);
    EXPECT_EQ(list.AtUnlocked(n), nullptr);
}

#if defined(__linux__)
TEST(RecordListTest, ChunksOfAMebibyteOrMoreStartOnAHugePageBoundary) {
    // Such chunks are mapped on their own and advised for transparent huge
    // pages, which the kernel gives only to 2 MiB aligned memory; every byte
    // of a chunk stays writable after the trimming around it.
    size_t chunk = 0;
    while (chunk < CRecordList::kGrowthSteps &&
           CRecordList::ChunkCapacity(chunk) * sizeof(CIrpRecord) < (size_t{1} << 20))
        ++chunk;
    CRecordList list;
    const size_t n = CRecordList::ChunkStart(chunk + 1) + 1;
    for (size_t i = 0; i < n; ++i) list.Append(Rec(static_cast<uint32_t>(i)));
    for (size_t c : {chunk, chunk + 1}) {
        const auto at = reinterpret_cast<uintptr_t>(list.AtUnlocked(CRecordList::ChunkStart(c)));
        EXPECT_EQ(at % (size_t{2} << 20), 0u) << "chunk " << c;
    }
    EXPECT_EQ(list.AtUnlocked(n - 2)->GetDeviceObject(), n - 2);
}
#endif

TEST(RecordListTest, ClearAndSwap) {
    CRecordList a, b;
    a.Append(Rec(1));
    a.Append(Rec(2));
    b.Append(Rec(9));
    a.Swap(b);
    ASSERT_EQ(a.Size(), 1u);
    EXPECT_EQ(a.AtUnlocked(0)->GetDeviceObject(), 9u);
    ASSERT_EQ(b.Size(), 2u);
    b.Clear();
    EXPECT_TRUE(b.Empty());
    b.Append(Rec(3));
    EXPECT_EQ(b.AtUnlocked(0)->GetDeviceObject(), 3u);
}

TEST(RecordListTest, ConcurrentAppendReadAndClear) {
    CRecordList list;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (uint32_t i = 0; i < 200000; ++i) list.Append(Rec(i));
        stop = true;
    });
    std::thread clearer([&] {
        for (int i = 0; i < 20 && !stop; ++i) {
            list.Clear();
            std::this_thread::yield();
        }
    });
    size_t seen = 0;
    while (!stop) {
        CRecordList::ReadLock lock(list);
        size_t n = lock.Size();
        if (n) {
            const CIrpRecord* r = lock.At(n - 1);
            if (r) seen += r->GetMajorFunction() == 0;
        }
    }
    writer.join();
    clearer.join();
    EXPECT_GT(seen, 0u);
}

TEST(RecordListTest, PositionsMapOntoGrowingThenEqualChunks) {
    // Chunks double from kFirstChunk records, then all hold kPerChunk.
    EXPECT_EQ(CRecordList::ChunkCapacity(0), CRecordList::kFirstChunk);
    EXPECT_EQ(CRecordList::ChunkCapacity(CRecordList::kGrowthSteps), CRecordList::kPerChunk);
    EXPECT_LE(CRecordList::kPerChunk * sizeof(CIrpRecord), CRecordList::kChunkBytes);
    EXPECT_LE(CRecordList::kFirstChunk * sizeof(CIrpRecord), 4096u);
    size_t chunk = 0, offset = 0;
    for (size_t i = 0; i < CRecordList::kGrowingRecords + 3 * CRecordList::kPerChunk; ++i) {
        const CRecordList::Position at = CRecordList::Locate(i);
        ASSERT_EQ(at.chunk, chunk) << i;
        ASSERT_EQ(at.offset, offset) << i;
        if (++offset == CRecordList::ChunkCapacity(chunk)) {
            ++chunk;
            offset = 0;
        }
    }
    const CRecordList::Position last = CRecordList::Locate(CRecordList::kMaxRecords - 1);
    EXPECT_EQ(last.chunk, CRecordList::kMaxChunks - 1);
    EXPECT_EQ(last.offset, CRecordList::kPerChunk - 1);
}

TEST(RecordListTest, StartsNoThreadUntilPrefetchIsEnabledAndJoinsIt) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer starts threads of its own";
#endif
    const int before = ThreadCount();
    if (before < 0) GTEST_SKIP() << "no thread count on this system";
    {
        CRecordList list;
        for (uint32_t i = 0; i < 1000; ++i) list.Append(Rec(i));
        EXPECT_EQ(ThreadCount(), before);
        EXPECT_FALSE(list.PrefetchEnabled());
        list.EnablePrefetch();
        list.EnablePrefetch();
        EXPECT_TRUE(list.PrefetchEnabled());
        EXPECT_EQ(ThreadCount(), before + 1);
    }
    EXPECT_EQ(ThreadCount(), before);
}

// Appends n records in one AppendMany, each with its position as device
// object; returns how many were kept.
size_t AppendNumbered(CRecordList& list, size_t n) {
    return list
        .AppendMany(n,
                    [](size_t i, CIrpRecord& r) {
                        r.GetCapture().DeviceObject = static_cast<uint32_t>(i);
                        return true;
                    })
        .count;
}

// Reserved memory is handed out at once (appending the reserved records
// then costs no fresh pages), a Clear keeps it, and a reservation larger
// than the list may keep is cut to that size instead of failing or running
// past the end.
TEST(RecordListTest, ReserveMakesTheMemoryReadyAndIsBounded) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer's shadow memory counts in the resident size";
#endif
    if (ResidentBytes() < 0) GTEST_SKIP() << "no resident size on this system";
    constexpr long long kMiB = 1 << 20;
    const size_t n = CRecordList::kGrowingRecords + 3 * CRecordList::kPerChunk;
    const auto bytes = static_cast<long long>(n) * static_cast<long long>(sizeof(CIrpRecord));
    CRecordList list;
    list.Append(Rec(1));
    const long long start = ResidentBytes();
    list.Reserve(n);
    const long long reserved = ResidentBytes();
    EXPECT_GE(reserved - start, bytes - 2 * kMiB);
    list.Clear();
    const size_t added = AppendNumbered(list, n);
    ASSERT_EQ(added, n);
    EXPECT_LT(ResidentBytes() - reserved, 2 * kMiB);
    EXPECT_EQ(list.AtUnlocked(n - 1)->GetDeviceObject(), n - 1);

    CRecordList huge;
    const long long before = ResidentBytes();
    huge.Reserve(SIZE_MAX);
    // A quarter more for AddressSanitizer's shadow of that memory.
    EXPECT_LE(ResidentBytes() - before, static_cast<long long>(CRecordList::kKeptBytes / 4 * 5 +
                                                               2 * CRecordList::kChunkBytes));
    EXPECT_EQ(huge.Append(Rec(4)), 0u);
}

TEST(RecordListTest, ClearedListReusesItsChunks) {
    CRecordList list;
    const size_t n = CRecordList::kGrowingRecords + 10;
    for (size_t i = 0; i < n; ++i) list.Append(Rec(static_cast<uint32_t>(i)));
    std::vector<const CIrpRecord*> before;
    for (size_t i = 0; i < n; ++i) before.push_back(list.AtUnlocked(i));
    list.Clear();
    for (size_t i = 0; i < n; ++i) list.Append(Rec(static_cast<uint32_t>(i + 7)));
    for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(list.AtUnlocked(i), before[i]) << i;
        ASSERT_EQ(list.AtUnlocked(i)->GetDeviceObject(), i + 7);
    }
}

// Past the chunks whose entries live in the list itself, the far table
// takes over; records on both sides keep their order and addresses.
TEST(RecordListTest, LongListCrossesIntoTheFarChunkTable) {
    const size_t n = CRecordList::ChunkStart(40) + 3;
    CRecordList list;
    list.EnablePrefetch();
    const size_t added = AppendNumbered(list, n);
    ASSERT_EQ(added, n);
    const CIrpRecord* first = list.AtUnlocked(0);
    for (size_t i = 0; i < n; i += 997) ASSERT_EQ(list.AtUnlocked(i)->GetDeviceObject(), i);
    EXPECT_EQ(list.AtUnlocked(n - 1)->GetDeviceObject(), n - 1);
    CRecordList other;
    other.Append(Rec(5));
    list.Swap(other);
    EXPECT_EQ(other.AtUnlocked(0), first);
    EXPECT_EQ(other.AtUnlocked(n - 1)->GetDeviceObject(), n - 1);
    ASSERT_EQ(list.Size(), 1u);
    list.Append(Rec(6));
    EXPECT_EQ(list.AtUnlocked(1)->GetDeviceObject(), 6u);
}

// The helper installs chunks while the appender fills, readers read, and
// the list is cleared and swapped: every record read is one that was
// written at that position.
TEST(RecordListTest, PrefetchingWhileAppendingReadingClearingAndSwapping) {
    CRecordList list;
    list.EnablePrefetch();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (uint32_t i = 0; i < 120000; ++i) {
            list.AppendWith([&](CIrpRecord& r) {
                r.GetCapture().DeviceObject = static_cast<uint32_t>(list.Size());
                r.GetCapture().Status = 0xA5;
            });
        }
        stop = true;
    });
    std::thread clearer([&] {
        for (int i = 0; i < 30 && !stop; ++i) {
            if (i % 3 == 0) {
                CRecordList loaded;
                loaded.Append(Rec(0));
                list.Swap(loaded);
            } else {
                list.Clear();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    size_t checked = 0, wrong = 0;
    while (!stop) {
        CRecordList::ReadLock lock(list);
        const size_t n = lock.Size();
        for (size_t i = n > 64 ? n - 64 : 0; i < n; ++i) {
            const CIrpRecord* r = lock.At(i);
            wrong += !r || r->GetDeviceObject() != i;
            ++checked;
        }
    }
    writer.join();
    clearer.join();
    EXPECT_GT(checked, 0u);
    EXPECT_EQ(wrong, 0u);
}

}  // namespace
}  // namespace vantrel
