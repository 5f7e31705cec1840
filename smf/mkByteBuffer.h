// A growable byte array that grows to exact sizes only.
//
// Growth never over-allocates: a caller that appends byte by byte reserves the
// final size first (the SMF writer does), so a whole file image costs exactly
// one allocation.
#pragma once

#include <cstdint>
#include <memory>

class mkByteBuffer {
public:
    mkByteBuffer() = default;
    mkByteBuffer(const mkByteBuffer& other);
    mkByteBuffer& operator=(const mkByteBuffer& other);
    mkByteBuffer(mkByteBuffer&& other) noexcept;
    mkByteBuffer& operator=(mkByteBuffer&& other) noexcept;
    virtual ~mkByteBuffer();

    // 0 frees the allocation; a size beyond the capacity reallocates to
    // exactly n bytes, keeping the bytes in use; anything else only changes
    // the size. Bytes exposed by growing are not cleared.
    void SetSize(uint32_t n);

    uint8_t* GetData() { return data.get(); }
    const uint8_t* GetData() const { return data.get(); }
    uint32_t GetSize() const { return size; }
    uint32_t GetCapacity() const { return capacity; }

private:
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
    uint32_t capacity = 0;
};
