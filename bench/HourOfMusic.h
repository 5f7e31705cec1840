// An hour's recording for the graph's benchmarks (the paint benchmark under
// Wine and graph_bench natively): its envelope made from generated samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "PeakEnvelope.h"

// An hour of a recording at 44.1 kHz whose loudness swells and falls every
// few seconds, as music does, in blocks of 256 frames.
inline std::shared_ptr<PeakEnvelope> HourOfMusic()
{
    constexpr uint32_t Rate = 44100;
    constexpr uint64_t Frames = uint64_t{Rate} * 3600;
    auto envelope = std::make_shared<PeakEnvelope>(256);
    AudioFormat format;
    format.sampleRate = Rate;
    format.channels = 1;
    format.frames = Frames;
    envelope->Begin(format);
    std::vector<float> samples(1 << 16);
    uint32_t noise = 12345;
    for (uint64_t at = 0; at < Frames; at += samples.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(samples.size(), Frames - at));
        const double second = static_cast<double>(at) / Rate;
        const float level = static_cast<float>(0.2 + 0.7 * std::fabs(std::sin(second * 0.7)));
        for (size_t i = 0; i < n; ++i) {
            noise = noise * 1664525u + 1013904223u;
            samples[i] = level * (static_cast<float>(noise >> 8) / 8388608.0f - 1.0f);
        }
        envelope->Consume(samples.data(), n, 1);
    }
    envelope->End();
    return envelope;
}

