// A recording of silence: something to play where only a click track is to
// be heard (the latency measurement), through the same player that plays
// the musician's recordings.
#pragma once

#include "AudioDecoder.h"

class SilenceDecoder final : public AudioDecoder {
public:
    // `frames` frames of mono silence at `sampleRate`.
    SilenceDecoder(uint32_t sampleRate, uint64_t frames);

    const AudioFormat& Format() const override { return format_; }
    size_t Read(float* interleaved, size_t maxFrames) override;
    bool Seek(uint64_t frame) override;
    const std::string& Error() const override { return error_; }

private:
    AudioFormat format_;
    uint64_t position_ = 0;
    std::string error_;
};
