// The waveform's envelope and the one pass that decodes a recording for it.
//
// A recording is decoded once, from start to end, and every consumer of its
// frames (the envelope now; onset analysis later) is a FrameSink fed from
// that same pass, so an hour's file is read once whatever is made of it.
//
// The envelope keeps the lowest and highest sample of each block of
// framesPerBlock frames over all channels, as 16-bit pairs rounded outwards
// (a peak is never drawn smaller than it is): an hour at 44.1 kHz in blocks
// of 256 frames is about 620,000 pairs, 2.5 MB. A view of any zoom takes the
// pairs of the blocks under each pixel column (Span).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "AudioDecoder.h"

// A consumer of the decode pass's frames.
class FrameSink {
public:
    virtual ~FrameSink();
    // Whether the sink wants one mono sample per frame (the mean of the
    // channels, computed once for all sinks that want it) rather than the
    // decoder's interleaved frames.
    virtual bool WantsMono() const { return false; }
    // Before the first frame.
    virtual void Begin(const AudioFormat& format) { (void)format; }
    // `frames` frames: `channels` interleaved samples each, or one when the
    // sink wants mono.
    virtual void Consume(const float* samples, size_t frames, uint32_t channels) = 0;
    // After the last frame of a pass that was not cancelled and did not fail.
    virtual void End() {}
};

struct PeakPair {
    int16_t low = 0;   // the lowest sample, times 32768, rounded down
    int16_t high = 0;  // the highest, rounded up (at most 32767)
};

class PeakEnvelope : public FrameSink {
public:
    explicit PeakEnvelope(uint32_t framesPerBlock = 256);

    void Begin(const AudioFormat& format) override;
    void Consume(const float* samples, size_t frames, uint32_t channels) override;
    void End() override;

    uint32_t FramesPerBlock() const { return framesPerBlock_; }
    // The blocks so far; the last may be shorter than the others.
    const std::vector<PeakPair>& Blocks() const { return blocks_; }
    uint64_t Frames() const { return frames_; }
    // The pair covering frames [begin, end): the lowest low and highest high
    // of the blocks they touch; zeros when there are none.
    PeakPair Span(uint64_t begin, uint64_t end) const;

private:
    void Close();

    uint32_t framesPerBlock_;
    std::vector<PeakPair> blocks_;
    uint64_t frames_ = 0;
    uint32_t inBlock_ = 0;  // frames of the block being filled
    float low_ = 0;
    float high_ = 0;
};

// A sample as the envelope keeps it: the 16-bit step at or below `sample`,
// or at or above it (`up`), within [-32768, 32767].
int16_t PeakStep(float sample, bool up);

enum class ScanResult {
    Done,       // every frame decoded and handed to the sinks
    Cancelled,  // the progress callback said stop
    Failed,     // the decoder failed (the error says how); the sinks have the frames before
};

// Called now and then with the fraction done (0 to 1, rising; 1 at the end);
// returns false to stop the pass.
using ScanProgress = std::function<bool(double fraction)>;

struct ScanOutcome {
    ScanResult result = ScanResult::Done;
    uint64_t frames = 0;  // decoded and handed on
    std::string error;
};

// Decodes `decoder` from its start to its end once, handing every block of
// frames to each sink.
ScanOutcome ScanAudio(AudioDecoder& decoder, const std::vector<FrameSink*>& sinks,
                      const ScanProgress& progress = ScanProgress());

// The envelope of the whole recording, through ScanAudio.
ScanOutcome BuildPeakEnvelope(AudioDecoder& decoder, PeakEnvelope& envelope,
                              const ScanProgress& progress = ScanProgress());
