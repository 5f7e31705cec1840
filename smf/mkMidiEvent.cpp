#include "mkMidiEvent.h"

#include <cstring>
#include <utility>

mkByteBuffer::mkByteBuffer(const mkByteBuffer& other)
{
    if (other.size > 0) {
        data.reset(new uint8_t[other.size]);
        std::memcpy(data.get(), other.data.get(), other.size);
        size = capacity = other.size;
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
    : data(std::move(other.data)), size(other.size), capacity(other.capacity)
{
    other.size = other.capacity = 0;
}

mkByteBuffer& mkByteBuffer::operator=(mkByteBuffer&& other) noexcept
{
    if (this != &other) {
        data = std::move(other.data);
        size = other.size;
        capacity = other.capacity;
        other.size = other.capacity = 0;
    }
    return *this;
}

mkByteBuffer::~mkByteBuffer() = default;

void mkByteBuffer::SetSize(uint32_t n)
{
    if (n == 0) {
        data.reset();
        size = capacity = 0;
    } else if (!data) {
        data.reset(new uint8_t[n]);
        size = capacity = n;
    } else if (n > capacity) {
        std::unique_ptr<uint8_t[]> grown(new uint8_t[n]);
        std::memcpy(grown.get(), data.get(), size);
        data = std::move(grown);
        size = capacity = n;
    } else {
        size = n;
    }
}

mkMidiEvent::mkMidiEvent(uint32_t time, uint8_t status, const uint8_t* data, uint32_t length)
    : Time(time)
{
    Message.SetSize(length + 1);
    Message.GetData()[0] = status;
    if (length > 0)
        std::memcpy(Message.GetData() + 1, data, length);
}
