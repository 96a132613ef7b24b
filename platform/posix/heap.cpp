// Windows heaps as growable arenas.
//
// A heap is a list of chunks taken from malloc; HeapAlloc hands out blocks by
// bumping a pointer through the current chunk and starts a new, larger chunk
// when it is full, so an allocation costs a few comparisons and no search.
// HeapFree only marks a block: the library and the device link library
// release their data by destroying whole heaps, which returns every chunk.
//
// Every block carries a header before it and guard bytes after it:
//
//   offset 0   size     8  bytes the caller asked for
//   offset 8   state    4  kInUse or kFreed
//   offset 12  check    4  size and state folded with kHeaderSeal
//   offset 16  data     size bytes
//   then       guard    kGuardFill bytes up to the next 16-byte boundary,
//                       at least kMinGuard of them
//
// so HeapValidate can walk a chunk block by block and tell an intact heap
// from one where a block was written past its end.
//
// In a build with AddressSanitizer the guard bytes and a chunk's unused
// tail are poisoned, and so is a freed block's data, so a read or write past
// a block's end or after HeapFree stops the program where it happens rather
// than at the next HeapValidate.
//
// The library calls these functions from one thread (the host's), so the
// heaps take no lock; HEAP_NO_SERIALIZE is therefore what every heap does.
#include "platform/posix/fault_injection.h"
#include "platform/platform_test.h"
#include "platform/win32api.h"

#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>

namespace {

constexpr size_t kAlign = 16;
constexpr size_t kMinGuard = 8;
constexpr unsigned char kGuardFill = 0xFD;
constexpr uint32_t kInUse = 0xA110CA7Eu;
constexpr uint32_t kFreed = 0xF4EEB10Cu;
constexpr uint32_t kHeaderSeal = 0x5EA1ED01u;
constexpr size_t kFirstChunkBytes = 64 * 1024;
constexpr size_t kLargestChunkBytes = 8 * 1024 * 1024;
constexpr size_t kPageBytes = 4096;

struct BlockHeader {
    uint64_t size;
    uint32_t state;
    uint32_t check;
};
static_assert(sizeof(BlockHeader) == 16, "block header is 16 bytes");
static_assert(sizeof(BlockHeader) % kAlign == 0, "blocks stay aligned");

struct alignas(16) Chunk {
    Chunk* next;
    size_t capacity;  // bytes of blocks the chunk can hold after this header
    size_t used;      // bytes of blocks handed out so far
    unsigned char* Blocks() { return reinterpret_cast<unsigned char*>(this + 1); }
};
static_assert(sizeof(Chunk) % kAlign == 0, "blocks stay aligned");

struct Heap {
    Chunk* chunks = nullptr;   // every chunk, newest first
    Chunk* current = nullptr;  // the chunk blocks are bumped from
    size_t nextChunkBytes = kFirstChunkBytes;
    bool fixedSize = false;    // one chunk for life: a maximum size was given
};

// Every heap HeapCreate returned and HeapDestroy has not yet destroyed; a
// handle is looked up here before it is ever dereferenced.
std::unordered_set<Heap*>& LiveHeaps() {
    static auto* live = new std::unordered_set<Heap*>();
    return *live;
}
// The heap found last: nearly every HeapAlloc names the same heap as the
// one before, which spares it the hash lookup.
Heap* g_lastHeap = nullptr;

Heap* FindHeap(HANDLE handle) {
    Heap* heap = static_cast<Heap*>(handle);
    if (heap != nullptr && heap == g_lastHeap) return heap;
    if (heap == nullptr || LiveHeaps().count(heap) == 0) return nullptr;
    g_lastHeap = heap;
    return heap;
}

uint32_t HeaderCheck(uint64_t size, uint32_t state) {
    return static_cast<uint32_t>(size) ^ static_cast<uint32_t>(size >> 32) ^ state ^ kHeaderSeal;
}

// Bytes a block of `size` occupies, header and guard included; 0 when the
// size is too large to represent.
size_t BlockStride(size_t size) {
    if (size > SIZE_MAX - sizeof(BlockHeader) - kMinGuard - kAlign) return 0;
    return sizeof(BlockHeader) + ((size + kMinGuard + kAlign - 1) & ~(kAlign - 1));
}

// Bytes of every chunk of every live heap, and their highest value since
// PlatformResetHeapPeak: what the heaps cost the process.
size_t g_chunkBytes = 0;
size_t g_chunkPeak = 0;

Chunk* NewChunk(size_t capacity) {
    if (capacity > SIZE_MAX - sizeof(Chunk)) return nullptr;
    Chunk* chunk = static_cast<Chunk*>(std::malloc(sizeof(Chunk) + capacity));
    if (chunk == nullptr) return nullptr;
    g_chunkBytes += sizeof(Chunk) + capacity;
    if (g_chunkBytes > g_chunkPeak) g_chunkPeak = g_chunkBytes;
    chunk->next = nullptr;
    chunk->capacity = capacity;
    chunk->used = 0;
    ASAN_POISON_MEMORY_REGION(chunk->Blocks(), capacity);
    return chunk;
}

void LinkChunk(Heap* heap, Chunk* chunk) {
    chunk->next = heap->chunks;
    heap->chunks = chunk;
}

// A chunk with room for `stride` bytes, or nullptr.  A block larger than a
// quarter of the next chunk gets a chunk of its own and leaves the current
// chunk's free space for the blocks that follow.
Chunk* ChunkWithRoom(Heap* heap, size_t stride) {
    Chunk* current = heap->current;
    if (current != nullptr && current->capacity - current->used >= stride) return current;
    if (heap->fixedSize) return nullptr;
    if (stride > heap->nextChunkBytes / 4) {
        Chunk* own = NewChunk(stride);
        if (own != nullptr) LinkChunk(heap, own);
        return own;
    }
    Chunk* chunk = NewChunk(heap->nextChunkBytes);
    if (chunk == nullptr) return nullptr;
    LinkChunk(heap, chunk);
    heap->current = chunk;
    if (heap->nextChunkBytes < kLargestChunkBytes) heap->nextChunkBytes *= 2;
    return chunk;
}

bool GuardIntact(const unsigned char* data, size_t size, size_t stride) {
    const unsigned char* end = data - sizeof(BlockHeader) + stride;
    ASAN_UNPOISON_MEMORY_REGION(data + size, static_cast<size_t>(end - (data + size)));
    bool intact = true;
    for (const unsigned char* guard = data + size; guard < end && intact; ++guard) intact = *guard == kGuardFill;
    ASAN_POISON_MEMORY_REGION(data + size, static_cast<size_t>(end - (data + size)));
    return intact;
}

// Checks the block at `offset` of chunk and stores its stride; false when
// its header is damaged, it runs past the chunk's used bytes, or (for a
// block in use) its guard was overwritten.
bool CheckBlockAt(Chunk* chunk, size_t offset, size_t* stride) {
    if (chunk->used - offset < sizeof(BlockHeader)) return false;
    const BlockHeader* header = reinterpret_cast<const BlockHeader*>(chunk->Blocks() + offset);
    if (header->state != kInUse && header->state != kFreed) return false;
    if (header->check != HeaderCheck(header->size, header->state)) return false;
    *stride = BlockStride(static_cast<size_t>(header->size));
    if (*stride == 0 || *stride > chunk->used - offset) return false;
    const unsigned char* data = chunk->Blocks() + offset + sizeof(BlockHeader);
    return header->state == kFreed || GuardIntact(data, static_cast<size_t>(header->size), *stride);
}

// The chunk holding the block whose data starts at `block`, with the
// block's offset in it; nullptr when the pointer is not inside this heap.
Chunk* ChunkOf(Heap* heap, const void* block, size_t* offset) {
    const unsigned char* data = static_cast<const unsigned char*>(block);
    for (Chunk* chunk = heap->chunks; chunk != nullptr; chunk = chunk->next) {
        const unsigned char* first = chunk->Blocks() + sizeof(BlockHeader);
        if (data >= first && data < chunk->Blocks() + chunk->used) {
            *offset = static_cast<size_t>(data - chunk->Blocks()) - sizeof(BlockHeader);
            return chunk;
        }
    }
    return nullptr;
}

bool ValidateChunk(Chunk* chunk) {
    size_t offset = 0;
    while (offset < chunk->used) {
        size_t stride = 0;
        if (!CheckBlockAt(chunk, offset, &stride)) return false;
        offset += stride;
    }
    return true;
}

// Walks the chunk from its start up to the block at target (so a pointer
// into the middle of a block is not taken for a block) and checks it.
bool ValidateOneBlock(Heap* heap, const void* block) {
    size_t target = 0;
    Chunk* chunk = ChunkOf(heap, block, &target);
    if (chunk == nullptr) return false;
    size_t offset = 0;
    while (offset < target) {
        size_t stride = 0;
        if (!CheckBlockAt(chunk, offset, &stride)) return false;
        offset += stride;
    }
    size_t stride = 0;
    if (offset != target || !CheckBlockAt(chunk, offset, &stride)) return false;
    return reinterpret_cast<const BlockHeader*>(chunk->Blocks() + offset)->state == kInUse;
}

}  // namespace

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize) {
    (void)options;  // serialisation is moot with one thread; no exceptions are raised
    if (platform_posix::ShouldFailCall("HeapCreate")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Heap* heap = new (std::nothrow) Heap;
    if (heap == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (maximumSize != 0) {
        // A fixed heap reserves its whole size at once, rounded up to pages.
        size_t bytes = maximumSize > initialSize ? maximumSize : initialSize;
        heap->fixedSize = true;
        heap->current = bytes > SIZE_MAX - kPageBytes ? nullptr : NewChunk((bytes + kPageBytes - 1) & ~(kPageBytes - 1));
        if (heap->current == nullptr) {
            delete heap;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        heap->chunks = heap->current;
    } else if (initialSize > heap->nextChunkBytes) {
        heap->nextChunkBytes = initialSize < kLargestChunkBytes ? initialSize : kLargestChunkBytes;
    }
    try {
        LiveHeaps().insert(heap);
    } catch (...) {
        if (heap->chunks != nullptr) g_chunkBytes -= sizeof(Chunk) + heap->chunks->capacity;
        std::free(heap->chunks);
        delete heap;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return heap;
}

LPVOID WINAPI HeapAlloc(HANDLE heapHandle, DWORD flags, SIZE_T bytes) {
    if (platform_posix::ShouldFailCall("HeapAlloc")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Heap* heap = FindHeap(heapHandle);
    if (heap == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    size_t stride = BlockStride(bytes);
    Chunk* chunk = stride == 0 ? nullptr : ChunkWithRoom(heap, stride);
    if (chunk == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    unsigned char* start = chunk->Blocks() + chunk->used;
    chunk->used += stride;
    ASAN_UNPOISON_MEMORY_REGION(start, stride);
    BlockHeader* header = reinterpret_cast<BlockHeader*>(start);
    header->size = bytes;
    header->state = kInUse;
    header->check = HeaderCheck(bytes, kInUse);
    unsigned char* data = start + sizeof(BlockHeader);
    if ((flags & HEAP_ZERO_MEMORY) != 0) std::memset(data, 0, bytes);
    std::memset(data + bytes, kGuardFill, stride - sizeof(BlockHeader) - bytes);
    ASAN_POISON_MEMORY_REGION(data + bytes, stride - sizeof(BlockHeader) - bytes);
    return data;
}

BOOL WINAPI HeapFree(HANDLE heapHandle, DWORD flags, LPVOID block) {
    (void)flags;
    Heap* heap = FindHeap(heapHandle);
    if (heap == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (block == nullptr) return TRUE;  // as Windows: freeing nothing succeeds
    if (!ValidateOneBlock(heap, block)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BlockHeader* header = reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(block) - sizeof(BlockHeader));
    header->state = kFreed;
    header->check = HeaderCheck(header->size, kFreed);
    ASAN_POISON_MEMORY_REGION(block, static_cast<size_t>(header->size));
    return TRUE;
}

BOOL WINAPI HeapValidate(HANDLE heapHandle, DWORD flags, LPCVOID block) {
    (void)flags;
    if (platform_posix::ShouldFailCall("HeapValidate")) return FALSE;
    Heap* heap = FindHeap(heapHandle);
    if (heap == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (block != nullptr) return ValidateOneBlock(heap, block) ? TRUE : FALSE;
    for (Chunk* chunk = heap->chunks; chunk != nullptr; chunk = chunk->next)
        if (!ValidateChunk(chunk)) return FALSE;
    return TRUE;
}

BOOL WINAPI HeapDestroy(HANDLE heapHandle) {
    Heap* heap = FindHeap(heapHandle);
    if (heap == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    LiveHeaps().erase(heap);
    if (g_lastHeap == heap) g_lastHeap = nullptr;
    for (Chunk* chunk = heap->chunks; chunk != nullptr;) {
        Chunk* next = chunk->next;
        g_chunkBytes -= sizeof(Chunk) + chunk->capacity;
        std::free(chunk);
        chunk = next;
    }
    delete heap;
    return TRUE;
}

void PlatformHeapUsage(SIZE_T* current, SIZE_T* peak) {
    if (current != nullptr) *current = g_chunkBytes;
    if (peak != nullptr) *peak = g_chunkPeak;
}

void PlatformResetHeapPeak(void) { g_chunkPeak = g_chunkBytes; }
