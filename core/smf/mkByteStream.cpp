#include "mkByteStream.h"

#include <algorithm>
#include <cstring>

#include "mkAssert.h"

mkByteStream::~mkByteStream() = default;

void mkByteStream::SetData(const uint8_t* data, uint32_t n)
{
    pData = data;
    size = n;
    position = 0;
}

uint32_t mkByteStream::Read(void* destination, uint32_t length)
{
    MK_ASSERT(NULL != pData && length > 0);
    if (position >= size)
        return 0;
    const uint32_t count = std::min(size - position, length);
    std::memcpy(destination, pData + position, count);
    position += count;
    lastCount = count;
    return count;
}

