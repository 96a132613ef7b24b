// The session's private heap: reference counting, its trace lines, and
// allocation that refuses a damaged heap.
#include "platform/platform_test.h"
#include "session/sync_session.h"
#include "support/private_heap.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include <stdio.h>
#include <string>

using testing_support::Sandbox;

namespace {

std::string HandleText(HANDLE heap) {
    char text[16];
    snprintf(text, sizeof text, "%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(heap)));
    return text;
}

std::string InitLine(unsigned ref, HANDLE heap) {
    return "+++++ InitHeap() heapRef[" + std::to_string(ref) + "] hHeap[" + HandleText(heap) + "]\n";
}

std::string ReleaseLine(int force, unsigned ref, HANDLE heap) {
    return "+++++ ReleaseHeap(" + std::to_string(force) + ") heapRef[" + std::to_string(ref) + "] hHeap[" +
           HandleText(heap) + "]\n";
}

class PrivateHeapTest : public ::testing::Test {
protected:
    void TearDown() override { PlatformClearFaults(); }
    Sandbox sandbox;
};

}  // namespace

TEST_F(PrivateHeapTest, TwoReferencesNeedTwoReleases) {
    ReleaseHeap(false);  // without a heap: only traced
    EXPECT_EQ(g_session.heapRef, 0u);
    ASSERT_TRUE(InitHeap());
    HANDLE heap = g_session.hHeap;
    ASSERT_NE(heap, nullptr);
    ASSERT_TRUE(InitHeap());
    EXPECT_EQ(g_session.hHeap, heap) << "a second reference reuses the heap";
    EXPECT_EQ(g_session.heapRef, 2u);

    ReleaseHeap(false);
    EXPECT_EQ(g_session.hHeap, heap);
    EXPECT_EQ(g_session.heapRef, 1u);
    EXPECT_TRUE(HeapValidate(heap, 0, nullptr)) << "the heap survives with one reference";

    ReleaseHeap(false);
    EXPECT_EQ(g_session.hHeap, nullptr);
    EXPECT_EQ(g_session.heapRef, 0u);

    EXPECT_EQ(sandbox.DebugOutput(), ReleaseLine(0, 0, nullptr) + InitLine(0, nullptr) + InitLine(1, heap) +
                                         ReleaseLine(0, 2, heap) + ReleaseLine(0, 1, heap));
}

TEST_F(PrivateHeapTest, ForcedReleaseDestroysAtOnce) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(InitHeap());
    HANDLE heap = g_session.hHeap;
    ReleaseHeap(true);
    EXPECT_EQ(g_session.hHeap, nullptr);
    EXPECT_EQ(g_session.heapRef, 0u);
    const std::string debug = sandbox.DebugOutput();
    EXPECT_EQ(debug.substr(debug.find("+++++ Release")), ReleaseLine(1, 3, heap));
}

TEST_F(PrivateHeapTest, HeapThatCannotBeCreatedFailsInit) {
    PlatformFailCall("HeapCreate", 1, 0);
    EXPECT_FALSE(InitHeap());
    EXPECT_EQ(g_session.hHeap, nullptr);
    EXPECT_EQ(g_session.heapRef, 0u);
    EXPECT_EQ(sandbox.DebugOutput(), InitLine(0, nullptr) + "!!!!!!!  Heap initialization failed!\n");
    // The next start-up tries again.
    EXPECT_TRUE(InitHeap());
    EXPECT_EQ(g_session.heapRef, 1u);
}

TEST_F(PrivateHeapTest, DamagedHeapYieldsNothingWithoutAllocating) {
    ASSERT_TRUE(InitHeap());
    // The first validation reports damage; the first allocation would fail.
    // Were the damaged call to allocate, it would use up that failure and
    // the second call would succeed.
    PlatformFailCall("HeapValidate", 1, 0);
    PlatformFailCall("HeapAlloc", 1, 0);
    EXPECT_EQ(ValidatedAlloc(HEAP_ZERO_MEMORY, 20), nullptr);
    EXPECT_EQ(ValidatedAlloc(HEAP_ZERO_MEMORY, 20), nullptr);
    EXPECT_NE(ValidatedAlloc(HEAP_ZERO_MEMORY, 20), nullptr);
}

TEST_F(PrivateHeapTest, ZeroFilledBlocksUntilOneIsOverrun) {
    EXPECT_EQ(ValidatedAlloc(HEAP_ZERO_MEMORY, 20), nullptr) << "no heap yet";
    ASSERT_TRUE(InitHeap());
    auto* block = static_cast<unsigned char*>(ValidatedAlloc(HEAP_ZERO_MEMORY, 20));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(block[i], 0) << i;
    // The overrun is deliberate: a sanitized build poisons the guard.
    ASAN_UNPOISON_MEMORY_REGION(block + 20, 1);
    block[20] = 0x55;  // one byte past the end of the block
    EXPECT_EQ(ValidatedAlloc(HEAP_ZERO_MEMORY, 20), nullptr);
}
