// The session's private heap (reference counting, its trace lines,
// allocation that refuses a damaged heap) and the scratch heaps (created on
// first use, zero-filled blocks, destroyed whole).
#include "platform/platform_test.h"
#include "session/private_heap.h"
#include "session/sync_session.h"
#include "support/sandbox.h"
#include "support/scratch_heap.h"
#include "support/validated_alloc.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string>

namespace {

std::string HeapLine(const char* call, unsigned ref, HANDLE heap) {
    char text[80];
    snprintf(text, sizeof text, "+++++ %s heapRef[%u] hHeap[%08x]\n", call, ref,
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(heap)));
    return text;
}

class PrivateHeapTest : public ::testing::Test {
protected:
    void TearDown() override { PlatformClearFaults(); }
    testing_support::Sandbox sandbox;
};

TEST_F(PrivateHeapTest, EachReferenceNeedsARelease) {
    ReleaseHeap(false);  // without a heap: only traced
    ASSERT_TRUE(InitHeap());
    HANDLE heap = g_session.hHeap;
    ASSERT_NE(heap, nullptr);
    ASSERT_TRUE(InitHeap());
    EXPECT_EQ(g_session.hHeap, heap) << "a second reference reuses the heap";
    ReleaseHeap(false);
    EXPECT_EQ(g_session.heapRef, 1u);
    EXPECT_TRUE(HeapValidate(heap, 0, nullptr)) << "the heap survives with one reference";
    ReleaseHeap(false);
    EXPECT_EQ(g_session.hHeap, nullptr);
    EXPECT_EQ(g_session.heapRef, 0u);
    EXPECT_EQ(sandbox.DebugOutput(), HeapLine("ReleaseHeap(0)", 0, nullptr) + HeapLine("InitHeap()", 0, nullptr) +
                                         HeapLine("InitHeap()", 1, heap) + HeapLine("ReleaseHeap(0)", 2, heap) +
                                         HeapLine("ReleaseHeap(0)", 1, heap));
    // A forced release destroys the heap whatever its references.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(InitHeap());
    ReleaseHeap(true);
    EXPECT_EQ(g_session.hHeap, nullptr);
    EXPECT_EQ(g_session.heapRef, 0u);
}

TEST_F(PrivateHeapTest, HeapThatCannotBeCreatedIsTriedAgainNextTime) {
    PlatformFailCall("HeapCreate", 1, 0);
    EXPECT_FALSE(InitHeap());
    EXPECT_EQ(g_session.hHeap, nullptr);
    EXPECT_EQ(g_session.heapRef, 0u);
    EXPECT_TRUE(InitHeap());
    EXPECT_EQ(g_session.heapRef, 1u);
    ReleaseHeap(false);
    EXPECT_EQ(g_session.hHeap, nullptr);
}

// (That HeapValidate catches an overrun is the platform tests'.)
TEST_F(PrivateHeapTest, DamagedHeapYieldsNothingWithoutAllocating) {
    EXPECT_EQ(ValidatedAlloc(g_session.hHeap, HEAP_ZERO_MEMORY, 20), nullptr) << "no heap yet";
    ASSERT_TRUE(InitHeap());
    // The first validation reports damage; the first allocation would fail.
    // Were the damaged call to allocate, it would use up that failure and
    // the second call would succeed.
    PlatformFailCall("HeapValidate", 1, 0);
    PlatformFailCall("HeapAlloc", 1, 0);
    EXPECT_EQ(ValidatedAlloc(g_session.hHeap, HEAP_ZERO_MEMORY, 20), nullptr);
    EXPECT_EQ(ValidatedAlloc(g_session.hHeap, HEAP_ZERO_MEMORY, 20), nullptr);
    auto* block = static_cast<unsigned char*>(ValidatedAlloc(g_session.hHeap, HEAP_ZERO_MEMORY, 20));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(block[i], 0) << i;
}

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

}  // namespace
