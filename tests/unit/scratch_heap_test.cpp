// ScratchHeap: created on first use, zero-filled blocks, destroyed whole.
#include "platform/platform_test.h"
#include "support/scratch_heap.h"

#include <gtest/gtest.h>

TEST(ScratchHeap, CreatedOnFirstUseAndKeptUntilDestroyed) {
    ScratchHeap heap;
    EXPECT_FALSE(heap.IsCreated());
    EXPECT_TRUE(heap.Destroy()) << "destroying nothing succeeds";
    EXPECT_EQ(heap.Alloc(0), nullptr) << "zero bytes yield nothing";
    auto* block = static_cast<unsigned char*>(heap.Alloc(100));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(block[i], 0) << i;
    HANDLE first = heap.Handle();
    ASSERT_TRUE(heap.Create());
    EXPECT_EQ(heap.Handle(), first) << "Create keeps the heap it holds";
    EXPECT_TRUE(heap.Destroy());
    EXPECT_FALSE(heap.IsCreated());
    EXPECT_FALSE(HeapValidate(first, 0, nullptr)) << "the old heap is gone";
}

TEST(ScratchHeap, FailuresYieldNothing) {
    ScratchHeap heap;
    PlatformFailCall("HeapCreate", 1, 0);
    EXPECT_EQ(heap.Alloc(8), nullptr);
    EXPECT_FALSE(heap.IsCreated());
    PlatformFailCall("HeapAlloc", 1, 0);
    EXPECT_EQ(heap.Alloc(8), nullptr);
    EXPECT_TRUE(heap.IsCreated());
    EXPECT_NE(heap.Alloc(8), nullptr);
    PlatformClearFaults();
}
