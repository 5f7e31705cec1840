#include "mkMidiEvent.h"

#include <cstring>
#include <utility>

#include "mkBlockPool.h"

mkByteBuffer::mkByteBuffer(const mkByteBuffer& other)
{
    if (other.size > 0) {
        SetSize(other.size);
        std::memcpy(GetData(), other.GetData(), other.size);
    }
}

mkByteBuffer& mkByteBuffer::operator=(const mkByteBuffer& other)
{
    if (this != &other) {
        mkByteBuffer copy(other);
        *this = std::move(copy);
    }
    return *this;
}

mkByteBuffer::mkByteBuffer(mkByteBuffer&& other) noexcept
    : storage(other.storage), size(other.size), capacity(other.capacity)
{
    other.size = other.capacity = 0;
}

mkByteBuffer& mkByteBuffer::operator=(mkByteBuffer&& other) noexcept
{
    if (this != &other) {
        Release();
        storage = other.storage;
        size = other.size;
        capacity = other.capacity;
        other.size = other.capacity = 0;
    }
    return *this;
}

void mkByteBuffer::Release()
{
    // Where SetSize took the bytes from: inside, the pool, or the heap.
    if (capacity > mkBlockPool::MaxPiece)
        delete[] storage.heap;
    else if (!IsInline())
        mkBlockPool::Free(storage.heap, capacity);
    size = capacity = 0;
}

void mkByteBuffer::SetSize(uint32_t n)
{
    if (n == 0) {
        Release();
    } else if (n > capacity) {
        // Exactly n bytes, inside the object while they fit there.
        Storage grown = {};
        if (n > mkBlockPool::MaxPiece)
            grown.heap = new uint8_t[n];
        else if (n > InlineCapacity)
            grown.heap = static_cast<uint8_t*>(mkBlockPool::Allocate(n));
        uint8_t* to = n > InlineCapacity ? grown.heap : grown.bytes;
        if (size > 0)
            std::memcpy(to, GetData(), size);
        Release();
        storage = grown;
        capacity = n;
        size = n;
    } else {
        size = n;
    }
}

mkMidiEvent::mkMidiEvent(uint32_t time, uint8_t status, const uint8_t* data, uint32_t length)
    : Time(time)
{
    // The status byte comes on top of the data, so the data must leave room.
    MK_ASSERT(length < UINT32_MAX);
    Message.SetSize(length + 1);
    Message.GetData()[0] = status;
    if (length > 0)
        std::memcpy(Message.GetData() + 1, data, length);
}
