// Small pieces of memory carved out of large blocks: the nodes of the event
// lists and the message bytes too long to sit inside an event.
//
// A parsed file holds millions of events. Taking each node from the general
// heap costs an allocation and a free apiece and scatters the nodes, which
// every later pass over a track pays for in cache misses. From the pool an
// allocation is a pointer bump or a free-list pop, consecutive events lie
// next to each other in memory, and a piece given back is reused by the next
// allocation of its size. When the last piece in use is given back, the
// blocks are freed, all but the first, which stays for the next small
// sequence; so a large file's memory is given back as soon as its sequence
// is destroyed (to the C library's heap, which returns large blocks to the
// system).
//
// One pool serves the whole process and has no lock: like the rest of the
// library it is used from one thread only (the user-interface thread).
// Running out of memory throws std::bad_alloc, as operator new does.
#pragma once

#include <cstddef>

// Defined when the pool marks the pieces it has not handed out as
// unaddressable (AddressSanitizer builds), so that a use of an erased event
// is still reported although its memory stays in the pool.
#if defined(__SANITIZE_ADDRESS__)
#define MK_POOL_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MK_POOL_POISON 1
#endif
#endif

class mkBlockPool {
public:
    // Pieces are handed out in multiples of Granule bytes, aligned to
    // Granule; larger requests belong to the general heap.
    static constexpr size_t Granule = 8;
    static constexpr size_t MaxPiece = 64;

    // n in 1..MaxPiece. The piece is uninitialised.
    static void* Allocate(size_t n);
    // Gives back a piece from Allocate with the same n.
    static void Free(void* piece, size_t n);

    // Pieces handed out and not yet given back.
    static size_t GetLiveCount();
    // Bytes of all blocks the pool holds, in use or not.
    static size_t GetReservedBytes();
};
