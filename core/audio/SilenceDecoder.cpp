#include "SilenceDecoder.h"

#include <algorithm>

SilenceDecoder::SilenceDecoder(uint32_t sampleRate, uint64_t frames)
{
    format_.sampleRate = sampleRate;
    format_.channels = 1;
    format_.frames = frames;
    format_.description = "Silence";
}

size_t SilenceDecoder::Read(float* interleaved, size_t maxFrames)
{
    const uint64_t left = format_.frames - position_;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(left, maxFrames));
    std::fill(interleaved, interleaved + count, 0.0f);
    position_ += count;
    return count;
}

bool SilenceDecoder::Seek(uint64_t frame)
{
    if (frame > format_.frames)
        return false;
    position_ = frame;
    return true;
}
