// The onset strength of mono samples at `rate`, for tests that build a
// recording in memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "AudioDecoder.h"
#include "OnsetStrength.h"

// Handed to the sink in blocks of at most the sizes `nextBlock()` gives in
// turn (at least one frame each), as a decoder hands them out.
template <class NextBlock>
OnsetStrength StrengthOfSamples(const std::vector<float>& samples, uint32_t rate, NextBlock nextBlock)
{
    OnsetStrengthSink sink;
    AudioFormat format;
    format.sampleRate = rate;
    format.channels = 1;
    format.frames = samples.size();
    sink.Begin(format);
    for (size_t at = 0; at < samples.size();) {
        const size_t n = std::min(std::max<size_t>(1, nextBlock()), samples.size() - at);
        sink.Consume(samples.data() + at, n, 1);
        at += n;
    }
    sink.End();
    return sink.Result();
}

// Handed to the sink in one block.
inline OnsetStrength StrengthOfSamples(const std::vector<float>& samples, uint32_t rate)
{
    return StrengthOfSamples(samples, rate, [&] { return samples.size(); });
}
