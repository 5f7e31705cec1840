#include "PeakEnvelope.h"

#include <algorithm>
#include <cmath>

FrameSink::~FrameSink() = default;

int16_t PeakStep(float sample, bool up)
{
    const float scaled = sample * 32768.0f;  // exact: a power of two
    const float step = up ? std::ceil(scaled) : std::floor(scaled);
    // Written so that NaN, which no sink should be given, still gives a step.
    if (!(step > -32768.0f))
        return -32768;
    if (!(step < 32767.0f))
        return 32767;
    return static_cast<int16_t>(step);
}

PeakEnvelope::PeakEnvelope(uint32_t framesPerBlock) : framesPerBlock_(framesPerBlock > 0 ? framesPerBlock : 1) {}

void PeakEnvelope::Begin(const AudioFormat& format)
{
    blocks_.clear();
    frames_ = 0;
    inBlock_ = 0;
    // Reserved from the known length, so an hour's envelope is allocated
    // once rather than grown through copies of itself.
    if (format.frames > 0 && format.frames < (uint64_t{1} << 40))
        blocks_.reserve(static_cast<size_t>((format.frames + framesPerBlock_ - 1) / framesPerBlock_));
}

void PeakEnvelope::Consume(const float* samples, size_t frames, uint32_t channels)
{
    size_t at = 0;
    while (at < frames) {
        size_t take = framesPerBlock_ - inBlock_;
        if (take > frames - at)
            take = frames - at;
        const float* p = samples + at * channels;
        const float* end = p + take * channels;
        float low = inBlock_ == 0 ? *p : low_;
        float high = inBlock_ == 0 ? *p : high_;
        for (; p < end; ++p) {
            low = std::min(low, *p);
            high = std::max(high, *p);
        }
        low_ = low;
        high_ = high;
        inBlock_ += static_cast<uint32_t>(take);
        at += take;
        if (inBlock_ == framesPerBlock_)
            Close();
    }
    frames_ += frames;
}

void PeakEnvelope::End()
{
    if (inBlock_ > 0)
        Close();
}

void PeakEnvelope::Close()
{
    PeakPair pair;
    pair.low = PeakStep(low_, false);
    pair.high = PeakStep(high_, true);
    blocks_.push_back(pair);
    inBlock_ = 0;
}

PeakPair PeakEnvelope::Span(uint64_t begin, uint64_t end) const
{
    PeakPair span;
    if (end <= begin || blocks_.empty())
        return span;
    const uint64_t first = begin / framesPerBlock_;
    uint64_t last = (end - 1) / framesPerBlock_;
    if (first >= blocks_.size())
        return span;
    if (last >= blocks_.size())
        last = blocks_.size() - 1;
    span = blocks_[static_cast<size_t>(first)];
    for (uint64_t i = first + 1; i <= last; ++i) {
        span.low = std::min(span.low, blocks_[static_cast<size_t>(i)].low);
        span.high = std::max(span.high, blocks_[static_cast<size_t>(i)].high);
    }
    return span;
}

namespace {

// Frames decoded at a time: large enough that the per-block work is lost in
// the per-sample work, small enough to stay in the cache.
constexpr size_t kScanFrames = 4096;
// How often progress is reported, in blocks of kScanFrames (about every
// 1.5 s of a 44.1 kHz recording).
constexpr unsigned kProgressEvery = 16;

}  // namespace

ScanOutcome ScanAudio(AudioDecoder& decoder, const std::vector<FrameSink*>& sinks, const ScanProgress& progress)
{
    ScanOutcome outcome;
    const AudioFormat& format = decoder.Format();
    const uint32_t channels = format.channels;
    if (!decoder.Seek(0)) {
        outcome.result = ScanResult::Failed;
        outcome.error = decoder.Error().empty() ? "the recording cannot be read from its start" : decoder.Error();
        return outcome;
    }
    bool anyMono = false;
    for (FrameSink* sink : sinks) {
        sink->Begin(format);
        anyMono = anyMono || sink->WantsMono();
    }
    std::vector<float> frames(kScanFrames * static_cast<size_t>(channels));
    std::vector<float> mono(anyMono ? kScanFrames : 0);
    const float perChannel = channels > 0 ? 1.0f / static_cast<float>(channels) : 0.0f;
    if (progress && !progress(0.0)) {
        outcome.result = ScanResult::Cancelled;
        return outcome;
    }
    for (unsigned round = 1;; ++round) {
        const size_t n = decoder.Read(frames.data(), kScanFrames);
        if (n == 0)
            break;
        if (anyMono) {
            for (size_t i = 0; i < n; ++i) {
                const float* frame = &frames[i * channels];
                float sum = 0;
                for (uint32_t c = 0; c < channels; ++c)
                    sum += frame[c];
                mono[i] = sum * perChannel;
            }
        }
        for (FrameSink* sink : sinks) {
            if (sink->WantsMono())
                sink->Consume(mono.data(), n, 1);
            else
                sink->Consume(frames.data(), n, channels);
        }
        outcome.frames += n;
        if (progress && round % kProgressEvery == 0) {
            const double fraction =
                format.frames > 0 ? std::min(1.0, static_cast<double>(outcome.frames) / static_cast<double>(format.frames)) : 0.0;
            if (!progress(fraction)) {
                outcome.result = ScanResult::Cancelled;
                return outcome;
            }
        }
    }
    if (!decoder.Error().empty()) {
        outcome.result = ScanResult::Failed;
        outcome.error = decoder.Error();
        return outcome;
    }
    for (FrameSink* sink : sinks)
        sink->End();
    if (progress)
        progress(1.0);
    return outcome;
}

ScanOutcome BuildPeakEnvelope(AudioDecoder& decoder, PeakEnvelope& envelope, const ScanProgress& progress)
{
    return ScanAudio(decoder, {&envelope}, progress);
}
