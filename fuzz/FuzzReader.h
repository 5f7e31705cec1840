// A fuzz target's input read front to back: past its end every byte reads
// as 0, so each target's format takes any input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

class FuzzReader {
public:
    FuzzReader(const uint8_t* d, size_t n) : data(d), size(n) {}
    bool AtEnd() const { return pos >= size; }
    size_t Remaining() const { return size - pos; }
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    // Little-endian, each byte read in turn.
    uint32_t Le(int bytes)
    {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint32_t(Byte()) << (8 * i);
        return v;
    }
    // Byte i of the rest, read round and round (nothing left: 0); reads
    // nothing.
    uint8_t Cycled(size_t i) const { return pos < size ? data[pos + i % (size - pos)] : 0; }
    void Skip(size_t n) { pos = std::min(size, pos + n); }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};
