// Heaps: zero-filled blocks, validation that catches overruns, fixed sizes,
// destruction as a whole, and handles that are not heaps.
#include <gtest/gtest.h>
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include <cstring>
#include <set>
#include <vector>

#include "platform/platform_test.h"
#include "platform/win32api.h"

namespace {

class HeapTest : public ::testing::Test {
protected:
    void SetUp() override {
        heap_ = HeapCreate(0, 1, 0);
        ASSERT_NE(nullptr, heap_);
    }
    void TearDown() override {
        if (heap_ != nullptr) {
            EXPECT_EQ(TRUE, HeapDestroy(heap_));
        }
    }
    HANDLE heap_ = nullptr;
};

TEST_F(HeapTest, ZeroMemoryFillsEveryByteOfEverySize) {
    // Dirty earlier blocks so a zero-fill that ran past its block would show.
    for (int i = 0; i < 64; ++i) {
        auto* dirty = static_cast<unsigned char*>(HeapAlloc(heap_, 0, 100));
        ASSERT_NE(nullptr, dirty);
        std::memset(dirty, 0xCC, 100);
    }
    static const SIZE_T kSizes[] = {1, 7, 16, 20, 100, 4096, 300000};
    for (SIZE_T size : kSizes) {
        auto* block = static_cast<unsigned char*>(HeapAlloc(heap_, HEAP_ZERO_MEMORY, size));
        ASSERT_NE(nullptr, block) << size;
        std::vector<unsigned char> zeros(size, 0);
        EXPECT_EQ(0, std::memcmp(block, zeros.data(), size)) << size;
        std::memset(block, 0xAB, size);  // the whole block is writable
    }
    EXPECT_EQ(TRUE, HeapValidate(heap_, 0, nullptr));
}

TEST_F(HeapTest, BlocksAreAlignedAndDoNotOverlap) {
    std::vector<unsigned char*> blocks;
    for (SIZE_T size = 0; size < 3000; size += 7) {
        auto* block = static_cast<unsigned char*>(HeapAlloc(heap_, 0, size));
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(block) % 8) << size;
        std::memset(block, static_cast<int>(size & 0xFF), size);
        blocks.push_back(block);
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        SIZE_T size = i * 7;
        for (SIZE_T j = 0; j < size; ++j)
            ASSERT_EQ(static_cast<unsigned char>(size & 0xFF), blocks[i][j]) << "block " << i;
    }
    EXPECT_EQ(TRUE, HeapValidate(heap_, 0, nullptr));
}

TEST_F(HeapTest, ValidateCatchesAOneByteOverrun) {
    static const SIZE_T kSizes[] = {0, 1, 8, 15, 16, 17, 100, 200000};
    for (SIZE_T size : kSizes) {
        HANDLE heap = HeapCreate(0, 0, 0);
        ASSERT_NE(nullptr, heap);
        auto* before = static_cast<char*>(HeapAlloc(heap, 0, 10));
        auto* block = static_cast<char*>(HeapAlloc(heap, 0, size));
        auto* after = static_cast<char*>(HeapAlloc(heap, 0, 10));
        ASSERT_TRUE(before && block && after);
        std::memset(block, 'x', size);
        EXPECT_EQ(TRUE, HeapValidate(heap, 0, nullptr)) << size;
        // The overrun is deliberate: a sanitized build poisons the guard.
        ASAN_UNPOISON_MEMORY_REGION(block + size, 1);
        block[size] = 'x';
        EXPECT_EQ(FALSE, HeapValidate(heap, 0, nullptr)) << size;
        EXPECT_EQ(FALSE, HeapValidate(heap, 0, block)) << size;
        EXPECT_EQ(TRUE, HeapValidate(heap, 0, before)) << size;
        EXPECT_EQ(TRUE, HeapDestroy(heap));
    }
}

TEST_F(HeapTest, ValidateCatchesADamagedHeader) {
    auto* first = static_cast<unsigned char*>(HeapAlloc(heap_, 0, 32));
    auto* second = static_cast<unsigned char*>(HeapAlloc(heap_, 0, 32));
    ASSERT_TRUE(first && second);
    second[-16] ^= 0x40;  // the size field in front of the second block
    EXPECT_EQ(FALSE, HeapValidate(heap_, 0, nullptr));
    EXPECT_EQ(FALSE, HeapValidate(heap_, 0, second));
    EXPECT_EQ(TRUE, HeapValidate(heap_, 0, first));
}

// Validating one block accepts only blocks handed out and not yet freed;
// zero-byte blocks are blocks like any other, each of its own.
TEST_F(HeapTest, ValidateOfOneBlockAcceptsOnlyLiveBlocks) {
    std::set<void*> seen;
    for (int i = 0; i < 100; ++i) {
        void* block = HeapAlloc(heap_, HEAP_ZERO_MEMORY, 0);
        ASSERT_NE(nullptr, block);
        EXPECT_TRUE(seen.insert(block).second);
        EXPECT_EQ(TRUE, HeapValidate(heap_, 0, block));
    }
    auto* block = static_cast<char*>(HeapAlloc(heap_, 0, 64));
    ASSERT_NE(nullptr, block);
    int outside = 0;
    EXPECT_EQ(TRUE, HeapValidate(heap_, 0, block));
    EXPECT_EQ(FALSE, HeapValidate(heap_, 0, block + 8));
    EXPECT_EQ(FALSE, HeapValidate(heap_, 0, &outside));
    EXPECT_EQ(TRUE, HeapFree(heap_, 0, block));
    EXPECT_EQ(FALSE, HeapValidate(heap_, 0, block));
    EXPECT_EQ(FALSE, HeapFree(heap_, 0, block));  // twice is an error
    EXPECT_EQ(TRUE, HeapValidate(heap_, 0, nullptr));
    EXPECT_EQ(TRUE, HeapFree(heap_, 0, nullptr));
}

TEST_F(HeapTest, GrowsFarBeyondItsInitialSize) {
    // 40 MB in blocks of every kind, small ones and chunks of their own.
    for (int i = 0; i < 2000; ++i) {
        SIZE_T size = (i % 10 == 0) ? 150000 : 5000;
        auto* block = static_cast<char*>(HeapAlloc(heap_, HEAP_ZERO_MEMORY, size));
        ASSERT_NE(nullptr, block) << i;
        block[size - 1] = 1;
    }
    EXPECT_EQ(TRUE, HeapValidate(heap_, 0, nullptr));
}

TEST(Heap, FixedSizeHeapRefusesAllocationsPastItsMaximum) {
    HANDLE heap = HeapCreate(0, 0, 8192);
    ASSERT_NE(nullptr, heap);
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, 8192 + 1));
    int granted = 0;
    while (HeapAlloc(heap, 0, 100) != nullptr && granted < 1000) ++granted;
    EXPECT_GT(granted, 8192 / 200);
    EXPECT_LT(granted, 8192 / 100);
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, 100));
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
}

TEST(Heap, DestroyedAndMadeUpHeapsAreRejected) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(nullptr, heap);
    ASSERT_NE(nullptr, HeapAlloc(heap, 0, 10));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
    int notAHeap[16] = {};
    static const HANDLE kBogus[] = {heap, nullptr, static_cast<HANDLE>(notAHeap)};
    for (HANDLE bogus : kBogus) {
        SetLastError(0);
        EXPECT_EQ(nullptr, HeapAlloc(bogus, 0, 10));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(FALSE, HeapValidate(bogus, 0, nullptr));
        EXPECT_EQ(FALSE, HeapDestroy(bogus));
        EXPECT_EQ(FALSE, HeapFree(bogus, 0, nullptr));
    }
}

TEST(Heap, HugeRequestsFailWithoutCrashing) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(nullptr, heap);
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, SIZE_MAX));
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, SIZE_MAX - 20));
    EXPECT_NE(nullptr, HeapAlloc(heap, 0, 10));
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
}

TEST(HeapFaults, InjectedFailuresHitTheNamedCall) {
    PlatformFailCall("HeapCreate", 2, 0);
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(nullptr, heap);
    SetLastError(0);
    EXPECT_EQ(nullptr, HeapCreate(0, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    HANDLE again = HeapCreate(0, 0, 0);  // the fault was transient
    ASSERT_NE(nullptr, again);

    PlatformFailCall("HeapAlloc", 3, 0);
    EXPECT_NE(nullptr, HeapAlloc(heap, 0, 8));
    EXPECT_NE(nullptr, HeapAlloc(heap, 0, 8));
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, 8));
    EXPECT_NE(nullptr, HeapAlloc(heap, 0, 8));

    PlatformFailCall("HeapValidate", 1, 1);
    EXPECT_EQ(FALSE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(FALSE, HeapValidate(heap, 0, nullptr));
    PlatformClearFaults();
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
    EXPECT_EQ(TRUE, HeapDestroy(again));
}

}  // namespace
