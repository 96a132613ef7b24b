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

#include "platform/win32api.h"

namespace {

// Blocks of every size, small ones and ones past the initial size (chunks of their own), are aligned,
// zero-filled when asked, writable to their last byte and do not overlap; earlier blocks are dirtied
// first so a zero-fill that ran past its block would show.
TEST(Heap, BlocksAreAlignedZeroFilledAndSeparate) {
    HANDLE heap = HeapCreate(0, 1, 0);
    ASSERT_NE(nullptr, heap);
    std::vector<std::pair<unsigned char*, SIZE_T>> blocks;
    for (SIZE_T size : {100, 100, 1, 7, 16, 20, 100, 4096, 300000, 0, 3000}) {
        auto* block = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, size));
        ASSERT_NE(nullptr, block) << size;
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(block) % 8) << size;
        EXPECT_EQ(std::vector<unsigned char>(size, 0), std::vector<unsigned char>(block, block + size)) << size;
        std::memset(block, static_cast<int>(0xC0 + blocks.size()), size);
        blocks.push_back({block, size});
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        const auto [block, size] = blocks[i];
        EXPECT_EQ(std::vector<unsigned char>(size, static_cast<unsigned char>(0xC0 + i)),
                  std::vector<unsigned char>(block, block + size)) << "block " << i;
    }
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
}

TEST(Heap, ValidateCatchesAOneByteOverrunAndADamagedHeader) {
    for (SIZE_T size : {0, 1, 8, 15, 16, 17, 100, 200000}) {
        HANDLE heap = HeapCreate(0, 0, 0);
        ASSERT_NE(nullptr, heap);
        auto* before = static_cast<char*>(HeapAlloc(heap, 0, 10));
        auto* block = static_cast<char*>(HeapAlloc(heap, 0, size));
        ASSERT_TRUE(before && block && HeapAlloc(heap, 0, 10));
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
    HANDLE heap = HeapCreate(0, 0, 0);
    auto* first = static_cast<unsigned char*>(HeapAlloc(heap, 0, 32));
    auto* second = static_cast<unsigned char*>(HeapAlloc(heap, 0, 32));
    ASSERT_TRUE(first && second);
    second[-16] ^= 0x40;  // the size field in front of the second block
    EXPECT_EQ(FALSE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(FALSE, HeapValidate(heap, 0, second));
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, first));
}

// Validating one block accepts only blocks handed out and not yet freed;
// zero-byte blocks are blocks like any other, each of its own.
TEST(Heap, ValidateOfOneBlockAcceptsOnlyLiveBlocks) {
    HANDLE heap = HeapCreate(0, 0, 0);
    std::set<void*> seen;
    for (int i = 0; i < 100; ++i) {
        void* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, 0);
        EXPECT_TRUE(block != nullptr && seen.insert(block).second);
        EXPECT_EQ(TRUE, HeapValidate(heap, 0, block));
    }
    auto* block = static_cast<char*>(HeapAlloc(heap, 0, 64));
    int outside = 0;
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, block));
    EXPECT_EQ(FALSE, HeapValidate(heap, 0, block + 8));
    EXPECT_EQ(FALSE, HeapValidate(heap, 0, &outside));
    EXPECT_EQ(TRUE, HeapFree(heap, 0, block));
    EXPECT_EQ(FALSE, HeapValidate(heap, 0, block));
    EXPECT_EQ(FALSE, HeapFree(heap, 0, block));  // twice is an error
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(TRUE, HeapFree(heap, 0, nullptr));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
}

TEST(Heap, RequestsPastTheMaximumOrTheAddressSpaceFail) {
    HANDLE heap = HeapCreate(0, 0, 8192);
    ASSERT_NE(nullptr, heap);
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, 8192 + 1));
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, SIZE_MAX));
    EXPECT_EQ(nullptr, HeapAlloc(heap, 0, SIZE_MAX - 20));
    int granted = 0;
    while (HeapAlloc(heap, 0, 100) != nullptr && granted < 1000) ++granted;
    EXPECT_GT(granted, 8192 / 200);
    EXPECT_LT(granted, 8192 / 100);
    EXPECT_EQ(TRUE, HeapValidate(heap, 0, nullptr));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
}

TEST(Heap, DestroyedAndMadeUpHeapsAreRejected) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(nullptr, HeapAlloc(heap, 0, 10));
    EXPECT_EQ(TRUE, HeapDestroy(heap));
    int notAHeap[16] = {};
    for (HANDLE bogus : {heap, HANDLE{nullptr}, static_cast<HANDLE>(notAHeap)}) {
        SetLastError(0);
        EXPECT_EQ(nullptr, HeapAlloc(bogus, 0, 10));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(FALSE, HeapValidate(bogus, 0, nullptr));
        EXPECT_EQ(FALSE, HeapDestroy(bogus));
        EXPECT_EQ(FALSE, HeapFree(bogus, 0, nullptr));
    }
}

}  // namespace
