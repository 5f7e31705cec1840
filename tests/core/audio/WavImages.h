// Hand-made RIFF/WAVE images, for the reader's tests and the fuzzer's
// starting corpus: any header a writer might put down, right or wrong.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace wavimg {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A chunk: its id, its size (the body's unless `claim` says otherwise), the
// body and, when the body is odd, the pad byte.
inline Bytes Chunk(const char* id, const Bytes& body, int64_t claim = -1)
{
    Bytes out(id, id + 4);
    Put32(out, claim >= 0 ? uint32_t(claim) : uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1)
        out.push_back(0);
    return out;
}

// A plain fmt chunk's body; blockAlign 0 means the right one.
inline Bytes Fmt(uint16_t tag, uint32_t channels, uint32_t rate, uint32_t bits, uint32_t blockAlign = 0)
{
    Bytes b;
    const uint32_t align = blockAlign ? blockAlign : channels * bits / 8;
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * align);
    Put16(b, align);
    Put16(b, bits);
    return b;
}

// A WAVE_FORMAT_EXTENSIBLE fmt body of subformat `subTag` (1 PCM, 3 float).
inline Bytes ExtensibleFmt(uint16_t subTag, uint32_t channels, uint32_t rate, uint32_t bits, uint32_t validBits,
                           uint32_t cbSize = 22)
{
    Bytes b = Fmt(0xFFFE, channels, rate, bits);
    Put16(b, cbSize);
    Put16(b, validBits);
    Put32(b, channels == 2 ? 3 : 0);
    Put16(b, subTag);
    const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), tail, tail + 14);
    return b;
}

// "RIFF", the size (the content's unless claimed), "WAVE" and the chunks.
inline Bytes Riff(std::initializer_list<Bytes> chunks, int64_t claim = -1, const char* magic = "RIFF")
{
    const Bytes content = Cat(chunks);
    Bytes out(magic, magic + 4);
    Put32(out, claim >= 0 ? uint32_t(claim) : uint32_t(content.size() + 4));
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

// `count` bytes of a fixed pseudo-random sequence.
inline Bytes Noise(size_t count, uint32_t seed)
{
    Bytes out(count);
    for (uint8_t& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return out;
}

// A valid file: 16-bit stereo at 44.1 kHz with a LIST chunk before the data.
inline Bytes PlainWav(size_t frames = 64)
{
    return Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16)), Chunk("LIST", Noise(7, 1)), Chunk("data", Noise(frames * 4, 2))});
}

}  // namespace wavimg
