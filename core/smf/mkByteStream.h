// A forward-only reader over a block of memory owned by someone else (a file
// image). It never reads outside the block; running out of data is reported
// through counts and truth values, and the stream stays at the end. Peek and
// Skip are defined here so that the parser's byte-by-byte reading inlines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mkAssert.h"

class mkByteStream {
public:
    mkByteStream() = default;
    mkByteStream(const mkByteStream&) = delete;
    mkByteStream& operator=(const mkByteStream&) = delete;
    virtual ~mkByteStream();

    void SetData(const uint8_t* data, uint32_t size);
    // Copies up to `length` bytes and returns how many were copied.
    uint32_t Read(void* destination, uint32_t length);
    bool Peek(uint8_t& byte) const
    {
        MK_ASSERT(NULL != pData);
        if (position >= size)
            return false;
        byte = pData[position];
        return true;
    }
    // Advances by n; a skip past the end moves to the end and fails.
    bool Skip(uint32_t n)
    {
        MK_ASSERT(NULL != pData);
        if (n == 0)
            return true;
        if (position >= size)
            return false;
        const uint32_t count = size - position < n ? size - position : n;
        position += count;
        lastCount = count;
        return count == n;
    }
    uint32_t GetPosition() const { return position; }
    uint32_t GetSize() const { return size; }
    const uint8_t* GetData() const { return pData; }
    uint32_t GetLastCount() const { return lastCount; }

private:
    const uint8_t* pData = nullptr;
    uint32_t position = 0;
    uint32_t size = 0;
    uint32_t lastCount = 0;
};
