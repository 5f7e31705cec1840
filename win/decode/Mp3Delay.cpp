#include "Mp3Delay.h"

#include <cstring>

uint64_t Mp3Gapless::InputFrames() const
{
    const uint64_t total = mpegFrames * samplesPerFrame;
    const uint64_t cut = uint64_t(encoderDelay) + padding;
    return total > cut ? total - cut : 0;
}

namespace {

uint32_t Big32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

Mp3Gapless ReadMp3Gapless(const unsigned char* bytes, size_t size)
{
    Mp3Gapless result;
    size_t at = 0;
    // ID3v2: "ID3", version, flags, a 28-bit size in four 7-bit bytes, and a
    // footer of 10 more bytes when flag 0x10 says so.
    if (size >= 10 && std::memcmp(bytes, "ID3", 3) == 0) {
        const size_t tag = size_t(bytes[6] & 0x7f) << 21 | size_t(bytes[7] & 0x7f) << 14 |
                           size_t(bytes[8] & 0x7f) << 7 | size_t(bytes[9] & 0x7f);
        at = 10 + tag + ((bytes[5] & 0x10) ? 10 : 0);
    }
    // The first frame header: 11 sync bits, then version and layer III.
    while (at + 4 <= size && !(bytes[at] == 0xff && (bytes[at + 1] & 0xe0) == 0xe0))
        ++at;
    if (at + 4 > size)
        return result;
    const unsigned version = (bytes[at + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const unsigned layer = (bytes[at + 1] >> 1) & 3;    // 1 layer III
    if (version == 1 || layer != 1)
        return result;
    const bool mono = ((bytes[at + 3] >> 6) & 3) == 3;
    // The Xing/Info header follows the side information.
    const size_t side = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    size_t x = at + 4 + side;
    if (x + 8 > size || (std::memcmp(bytes + x, "Xing", 4) != 0 && std::memcmp(bytes + x, "Info", 4) != 0))
        return result;
    const uint32_t flags = Big32(bytes + x + 4);
    size_t p = x + 8;
    if (flags & 1) {
        if (p + 4 > size)
            return result;
        result.mpegFrames = Big32(bytes + p);
        p += 4;
    }
    p += (flags & 2) ? 4 : 0;    // byte count
    p += (flags & 4) ? 100 : 0;  // seek table
    p += (flags & 8) ? 4 : 0;    // quality
    // LAME's extension: a 9-byte encoder name, then 12 bytes of settings and
    // gains, then delay and padding as two 12-bit numbers.
    if (p + 24 > size || std::memcmp(bytes + p, "LAME", 4) != 0)
        return result;
    const unsigned char* d = bytes + p + 21;
    result.encoderDelay = uint32_t(d[0]) << 4 | d[1] >> 4;
    result.padding = uint32_t(d[1] & 0x0f) << 8 | d[2];
    result.samplesPerFrame = version == 3 ? 1152 : 576;
    result.found = true;
    return result;
}
