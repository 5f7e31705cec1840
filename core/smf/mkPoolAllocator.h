// A standard allocator over mkBlockPool for node containers (the event
// lists): single objects small enough for the pool come from it, anything
// else from the general heap. It has no state, so all instances are equal and
// nodes may be spliced between any two lists that use it.
#pragma once

#include <cstddef>
#include <memory>

#include "mkBlockPool.h"

template <class T>
class mkPoolAllocator {
public:
    using value_type = T;

    mkPoolAllocator() = default;
    template <class U>
    mkPoolAllocator(const mkPoolAllocator<U>&) noexcept
    {
    }

    T* allocate(size_t n)
    {
        if (n == 1 && FitsPool())
            return static_cast<T*>(mkBlockPool::Allocate(sizeof(T)));
        return std::allocator<T>().allocate(n);
    }

    void deallocate(T* p, size_t n) noexcept
    {
        if (n == 1 && FitsPool())
            mkBlockPool::Free(p, sizeof(T));
        else
            std::allocator<T>().deallocate(p, n);
    }

    friend bool operator==(const mkPoolAllocator&, const mkPoolAllocator&) { return true; }
    friend bool operator!=(const mkPoolAllocator&, const mkPoolAllocator&) { return false; }

private:
    static constexpr bool FitsPool()
    {
        return sizeof(T) <= mkBlockPool::MaxPiece && alignof(T) <= mkBlockPool::Granule;
    }
};
