#include "record/record_list.h"

#include <gtest/gtest.h>

#include <thread>

namespace vantrel {
namespace {

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

}  // namespace
}  // namespace vantrel
