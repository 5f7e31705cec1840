// Fuzz target over the recording opener, fed from memory: any bytes taken as
// a WAV file (and, when they begin so, as Ogg Vorbis) must end in a decoder
// or a refusal, without a crash, a sanitizer report or a read out of the
// block. The input's last byte steers how it is read: in reads of what
// size, and whether to seek back into the middle first.
//
// A decoder must keep its word: never more frames than its format says,
// every sample finite, and one of an integer WAV in [-1, 1).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "AudioDecoder.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "decoder broke its word: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t steer = data[size - 1];
    // The rest in a block of just its size, so a read past it is reported.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size - 1 > 0 ? size - 1 : 1]);
    std::memcpy(bytes.get(), data, size - 1);
    AudioOpenResult opened =
        OpenAudioSource(std::make_unique<MemoryByteSource>(bytes.get(), size - 1), "fuzz.wav");
    if (!opened.decoder) {
        if (opened.message.empty())
            Fail("a refusal without a message");
        return 0;
    }
    AudioDecoder& decoder = *opened.decoder;
    const AudioFormat format = decoder.Format();
    if (format.channels == 0 || format.channels > kMaxChannels)
        Fail("channel count");
    const bool integer = format.description.rfind("WAV PCM", 0) == 0;
    const size_t perRead = 1 + (steer & 0x3F) * 37;
    std::vector<float> block(perRead * format.channels);
    // How far the first pass read, and whether damage ended it there.
    uint64_t reached = 0;
    bool damaged = false;
    for (int pass = 0; pass < ((steer & 0x40) ? 2 : 1); ++pass) {
        uint64_t start = 0;
        if (pass == 1) {
            start = format.frames / 2;
            // A frame beyond damage may be out of reach; one before it, or in
            // a stream read through, never is.
            if (!decoder.Seek(start)) {
                if (!damaged || start <= reached)
                    Fail("seek within the frames");
                break;
            }
        }
        uint64_t total = start;
        for (size_t n; (n = decoder.Read(block.data(), perRead)) > 0;) {
            if (n > perRead)
                Fail("more frames than asked for");
            total += n;
            if (total > format.frames)
                Fail("more frames than the format says");
            for (size_t i = 0; i < n * format.channels; ++i) {
                const float s = block[i];
                if (!std::isfinite(s) || (integer && !(s >= -1.0f && s < 1.0f)))
                    Fail("a sample out of range");
            }
        }
        if (pass == 0) {
            reached = total;
            damaged = !decoder.Error().empty();
        }
    }
    if (decoder.Seek(format.frames + 1))
        Fail("a seek past the end");
    return 0;
}
