// The onset strength of mono samples at `rate`, handed to the sink in one
// block: for tests that build a recording in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "AudioDecoder.h"
#include "OnsetStrength.h"

inline OnsetStrength StrengthOfSamples(const std::vector<float>& samples, uint32_t rate)
{
    OnsetStrengthSink sink;
    AudioFormat format;
    format.sampleRate = rate;
    format.channels = 1;
    format.frames = samples.size();
    sink.Begin(format);
    sink.Consume(samples.data(), samples.size(), 1);
    sink.End();
    return sink.Result();
}
