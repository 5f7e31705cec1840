#include "mkBlockPool.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "mkAssert.h"

#ifdef MK_POOL_POISON
#include <sanitizer/asan_interface.h>
#define MK_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define MK_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define MK_POISON(p, n) ((void)(p), (void)(n))
#define MK_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

constexpr size_t kClassCount = mkBlockPool::MaxPiece / mkBlockPool::Granule;
// The first block serves small sequences (an export of a few thousand tempo
// events) on its own; each further block doubles up to the largest size, so
// a file of millions of events needs a few dozen blocks.
constexpr size_t kFirstBlockBytes = size_t(64) << 10;
constexpr size_t kLargestBlockBytes = size_t(8) << 20;

// Large blocks are asked for in huge pages where the system offers them
// (Linux, transparent huge pages on request): a parsed file's events fill
// their blocks page after page, and faulting in fresh memory 4 KiB at a
// time costs the kernel about as much time as the parse itself.
#if defined(__linux__) && defined(MADV_HUGEPAGE)
constexpr size_t kHugePageBytes = size_t(2) << 20;

bool InHugePages(size_t bytes)
{
    return bytes >= kHugePageBytes && bytes % kHugePageBytes == 0;
}

void* NewBlockMemory(size_t bytes)
{
    if (!InHugePages(bytes))
        return ::operator new(bytes);
    void* memory = std::aligned_alloc(kHugePageBytes, bytes);
    if (!memory)
        throw std::bad_alloc();
    // Only a hint: where it is refused the block has ordinary pages.
    madvise(memory, bytes, MADV_HUGEPAGE);
    return memory;
}

void DeleteBlockMemory(void* memory, size_t bytes)
{
    if (InHugePages(bytes))
        std::free(memory);
    else
        ::operator delete(memory);
}
#else
void* NewBlockMemory(size_t bytes)
{
    return ::operator new(bytes);
}

void DeleteBlockMemory(void* memory, size_t)
{
    ::operator delete(memory);
}
#endif

struct Block {
    Block* next;  // the block allocated before this one
    size_t bytes;
};
constexpr size_t kHeaderBytes = (sizeof(Block) + mkBlockPool::Granule - 1) / mkBlockPool::Granule * mkBlockPool::Granule;

struct FreePiece {
    FreePiece* next;
};

// Plain data, constant-initialised: it is valid before any static
// constructor runs and after every static destructor, so sequences with
// static storage may use the pool too.
struct PoolState {
    Block* newest;  // the chain runs from the newest block to the first
    uint8_t* cursor;
    uint8_t* limit;
    FreePiece* freeLists[kClassCount];
    size_t live;
    size_t reserved;
    size_t nextBlockBytes;
};
PoolState g_pool = {};

uint8_t* BlockStart(Block* block)
{
    return reinterpret_cast<uint8_t*>(block) + kHeaderBytes;
}

void StartBlock(Block* block)
{
    g_pool.cursor = BlockStart(block);
    g_pool.limit = reinterpret_cast<uint8_t*>(block) + block->bytes;
    MK_POISON(g_pool.cursor, size_t(g_pool.limit - g_pool.cursor));
}

void AddBlock()
{
    size_t bytes = g_pool.nextBlockBytes == 0 ? kFirstBlockBytes : g_pool.nextBlockBytes;
    Block* block = static_cast<Block*>(NewBlockMemory(bytes));
    block->next = g_pool.newest;
    block->bytes = bytes;
    g_pool.newest = block;
    g_pool.reserved += bytes;
    g_pool.nextBlockBytes = bytes < kLargestBlockBytes ? bytes * 2 : kLargestBlockBytes;
    StartBlock(block);
}

// Every piece is back: keep the first block, empty, and return the rest.
void ReleaseBlocks()
{
    Block* block = g_pool.newest;
    while (block->next) {
        Block* older = block->next;
        g_pool.reserved -= block->bytes;
        DeleteBlockMemory(block, block->bytes);
        block = older;
    }
    g_pool.newest = block;
    g_pool.nextBlockBytes = block->bytes * 2;
    for (FreePiece*& head : g_pool.freeLists)
        head = nullptr;
    StartBlock(block);
}

}  // namespace

void* mkBlockPool::Allocate(size_t n)
{
    MK_ASSERT(n >= 1 && n <= MaxPiece);
    const size_t cls = (n - 1) / Granule;
    const size_t pieceBytes = (cls + 1) * Granule;
    void* piece;
    if (FreePiece* head = g_pool.freeLists[cls]) {
        MK_UNPOISON(head, sizeof(FreePiece));
        g_pool.freeLists[cls] = head->next;
        MK_POISON(head, pieceBytes);
        piece = head;
    } else {
        if (size_t(g_pool.limit - g_pool.cursor) < pieceBytes)
            AddBlock();
        piece = g_pool.cursor;
        g_pool.cursor += pieceBytes;
    }
    // Only the n bytes asked for: a write past them into the rest of the
    // piece is reported too.
    MK_UNPOISON(piece, n);
    ++g_pool.live;
    return piece;
}

void mkBlockPool::Free(void* piece, size_t n)
{
    MK_ASSERT(n >= 1 && n <= MaxPiece);
    MK_ASSERT(g_pool.live > 0);
    const size_t cls = (n - 1) / Granule;
    // Only n bytes of the piece were open; the link needs its first bytes.
    MK_UNPOISON(piece, sizeof(FreePiece));
    FreePiece* freed = static_cast<FreePiece*>(piece);
    freed->next = g_pool.freeLists[cls];
    g_pool.freeLists[cls] = freed;
    MK_POISON(piece, (cls + 1) * Granule);
    if (--g_pool.live == 0)
        ReleaseBlocks();
}

size_t mkBlockPool::GetLiveCount()
{
    return g_pool.live;
}

size_t mkBlockPool::GetReservedBytes()
{
    return g_pool.reserved;
}
