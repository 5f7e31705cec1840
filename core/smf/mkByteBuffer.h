// A growable byte array that grows to exact sizes only.
//
// Growth never over-allocates: a caller that appends byte by byte reserves the
// final size first (the SMF writer does), so a whole file image costs exactly
// one allocation.
//
// Up to InlineCapacity bytes live inside the object instead of on the heap:
// nearly every MIDI message is that short (a note is 3 bytes, a tempo event
// 6, a time signature 7), and a parsed file holds millions of them, each of
// which would otherwise cost an allocation of its own. Somewhat longer
// messages (texts, short system exclusive) come from mkBlockPool, anything
// beyond that from the heap. The capacity reported is the same either way.
#pragma once

#include <cstdint>

class mkByteBuffer {
public:
    mkByteBuffer() = default;
    mkByteBuffer(const mkByteBuffer& other);
    mkByteBuffer& operator=(const mkByteBuffer& other);
    mkByteBuffer(mkByteBuffer&& other) noexcept;
    mkByteBuffer& operator=(mkByteBuffer&& other) noexcept;
    // Inline: a sequence destroys millions of events, nearly all of whose
    // bytes live inside the object and need nothing done.
    virtual ~mkByteBuffer()
    {
        if (!IsInline())
            Release();
    }

    // 0 frees the allocation; a size beyond the capacity reallocates to
    // exactly n bytes, keeping the bytes in use; anything else only changes
    // the size. Bytes exposed by growing are not cleared.
    void SetSize(uint32_t n);

    uint8_t* GetData() { return capacity == 0 ? nullptr : IsInline() ? storage.bytes : storage.heap; }
    const uint8_t* GetData() const
    {
        return capacity == 0 ? nullptr : IsInline() ? storage.bytes : storage.heap;
    }
    uint32_t GetSize() const { return size; }
    uint32_t GetCapacity() const { return capacity; }

    static constexpr uint32_t InlineCapacity = 8;

private:
    bool IsInline() const { return capacity <= InlineCapacity; }
    void Release();

    union Storage {
        uint8_t* heap;
        uint8_t bytes[InlineCapacity];
    } storage = {};
    uint32_t size = 0;
    uint32_t capacity = 0;
};
