// Fuzz target over the onset strength: any samples (the input's bytes taken
// as floats, NaN and infinities among them, or as 16-bit integers) at any
// rate and channel count, in blocks of any size, must give a strength of
// one value per hop of the frames, each in [0, 1], and onsets in time order
// (no two at one time) with strengths in (0, 1]; a second pass over the same
// frames must give the same values.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "OnsetStrength.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "onset strength broke its word: %s\n", what);
    std::abort();
}

OnsetStrength Run(OnsetStrengthSink& sink, const AudioFormat& format, const std::vector<float>& samples,
                  uint32_t channels, size_t block)
{
    sink.Begin(format);
    const size_t frames = samples.size() / channels;
    for (size_t at = 0; at < frames;) {
        const size_t n = block < frames - at ? block : frames - at;
        sink.Consume(samples.data() + at * channels, n, channels);
        at += n;
    }
    sink.End();
    return sink.Result();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    // Steering: the rate (any 32-bit value), channels, block size, sample kind.
    uint32_t rate;
    std::memcpy(&rate, data, 4);
    const uint32_t channels = 1 + data[4] % 4;
    const size_t block = 1 + static_cast<size_t>(data[5]) * 41;
    const bool floats = data[6] & 1;
    // Short inputs repeated, so that frames pass the window's length.
    const size_t repeat = 1 + data[7] % 8;
    data += 8;
    size -= 8;
    std::vector<float> samples;
    for (size_t r = 0; r < repeat; ++r) {
        if (floats) {
            for (size_t i = 0; i + 4 <= size; i += 4) {
                float f;
                std::memcpy(&f, data + i, 4);
                samples.push_back(f);
            }
        } else {
            for (size_t i = 0; i + 2 <= size; i += 2)
                samples.push_back(static_cast<float>(static_cast<int16_t>(data[i] | data[i + 1] << 8)) / 32768.0f);
        }
    }
    samples.resize(samples.size() / channels * channels);
    AudioFormat format;
    format.sampleRate = rate;
    format.channels = channels;
    format.frames = samples.size() / channels;

    OnsetStrengthSink sink;
    const OnsetStrength first = Run(sink, format, samples, channels, block);
    if (!(first.HopMs > 0) || !(first.WindowMs > first.HopMs))
        Fail("hop and window");
    const double hopFrames = std::round(first.HopMs * 1e-3 * std::min(kMaxSampleRate, std::max(kMinSampleRate, rate)));
    const size_t hop = static_cast<size_t>(hopFrames);
    if (first.Values.size() != (format.frames + hop - 1) / hop)
        Fail("one value per hop");
    if (first.Fine.size() != first.Values.size() || first.Swell.size() != first.Values.size() ||
        first.Low.size() != first.Values.size())
        Fail("every curve frame for frame");
    for (const std::vector<float>* curve : {&first.Values, &first.Fine, &first.Swell, &first.Low})
        for (const float v : *curve)
            if (!(v >= 0.0f && v <= 1.0f))
                Fail("a value outside [0, 1]");
    double last = -1;
    for (const Onset& o : PickOnsets(first, 0.0f)) {
        if (!(o.Strength > 0.0f && o.Strength <= 1.0f) || !std::isfinite(o.TimeMs) || o.TimeMs <= last)
            Fail("an onset out of order or range");
        last = o.TimeMs;
    }
    const OnsetStrength second = Run(sink, format, samples, channels, block * 3 + 1);
    if (second.Values != first.Values)
        Fail("a second pass differs");
    return 0;
}
