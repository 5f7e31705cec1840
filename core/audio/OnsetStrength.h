// Where sounds begin in a recording: the onset strength over time, and the
// onsets picked from it. Tapped beats are snapped onto these onsets, so the
// times decide exported bytes.
//
// The strength is the spectral flux of compressed magnitudes: each frame's
// magnitude spectrum (a Hann window of 40 ms, a frame every 2.5 ms: the
// short hop places onsets to a fraction of a millisecond) taken to the
// fourth root, and summed over the bins where it rose above the largest
// of the previous frame's three neighbouring bins (the maximum across
// frequency keeps vibrato and slides from counting as onsets). The fourth
// root stands in for the usual logarithm: 40 dB louder is about three
// times stronger, so soft notes count, and it takes two square roots.
// Each value is then divided by the strongest flux of the neighbouring
// second and a half (in full within half a second either side, halving for
// every further 100 ms), so a soft passage's onsets stand out as well as a
// loud one's; a flux below that of near-silence is never scaled up.
//
// Same bytes on every build: the analysis uses only + - * / and sqrt, in a
// fixed order (no fused multiply-add: the build turns contraction off; SSE2
// on 32-bit x86). That is why the FFT, its twiddle factors and the window
// are computed here rather than taken from an FFT library or from libm:
// sin, cos, exp and log differ between glibc and the MinGW runtimes, and a
// library's plans and twiddles are built with them (and pick code paths by
// processor). The cosines come from Taylor polynomials after an exact
// reduction of the angle (onset_detail::CosPi).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AudioDecoder.h"
#include "PeakEnvelope.h"

struct OnsetStrength {
    // Values[i] belongs to the time i * HopMs, in ms from the recording's
    // first sample: the centre of frame i's analysis window is that sample
    // exactly (frame i is centred on sample i * hop, hop a whole number of
    // samples; HopMs = hop * 1000 / rate). The window reaches WindowMs / 2
    // either side; outside the recording it sees silence.
    double HopMs = 0;
    double WindowMs = 0;
    // The onset strength of every frame whose centre lies in the recording,
    // each in [0, 1].
    std::vector<float> Values;
    // The same over a window of FineWindowMs, frame for frame: it tells
    // apart less of what sounds together, but places each onset more
    // closely (a note entering among ringing ones peaks the long window's
    // flux only once much of it is in: up to 10 ms later than a click's).
    // Onsets are found on Values and placed by Fine.
    double FineWindowMs = 0;
    std::vector<float> Fine;
    // Slow attacks, frame for frame: a bowed or swelled note rising over 30
    // to 80 ms changes each frame's magnitudes less than hiss and vibrato
    // do, and shows on neither curve above. Here each bin's compressed
    // magnitude loses its noise floor (tracked per bin) and is compared
    // with the frame SwellLagMs before. Its peaks lie late in a rise; the
    // rise itself begins at onset_detail::kSwellStartMs after the frame
    // where the curve first climbs 0.15 of the way to its peak
    // (onset_detail::kSwellRiseShare, kSwellLookMs).
    double SwellLagMs = 0;
    std::vector<float> Swell;
    // The long window's flux of its low bins alone (up to 200 Hz), frame
    // for frame with Values: where kicks and bass notes start. Beats carry
    // them more often than the notes between the beats do, which tells a
    // train of beats from a train of off-beats where both are clear.
    std::vector<float> Low;
};

// The strength of a whole decode pass, fed mono frames.
class OnsetStrengthSink : public FrameSink {
public:
    OnsetStrengthSink();
    ~OnsetStrengthSink() override;
    OnsetStrengthSink(const OnsetStrengthSink&) = delete;
    OnsetStrengthSink& operator=(const OnsetStrengthSink&) = delete;

    bool WantsMono() const override { return true; }
    // A rate outside the readers' limits is analysed as the nearest limit.
    void Begin(const AudioFormat& format) override;
    // Frames of more than one channel are mixed to their mean. A sample that
    // is not a number counts as silence; one beyond +-16 as +-16.
    void Consume(const float* samples, size_t frames, uint32_t channels) override;
    void End() override;

    // Complete after End(); empty before the first End().
    const OnsetStrength& Result() const { return result_; }

private:
    struct Flux;
    struct Swell;
    struct Analysis;
    void Analyse(const float* window);
    int64_t FirstSample(int64_t frame) const;  // of the frame's window

    std::unique_ptr<Analysis> analysis_;  // for the rate of the last Begin()
    OnsetStrength result_;
    std::vector<float> flux_;     // before normalising
    std::vector<float> fineFlux_;
    std::vector<float> swellFlux_;
    std::vector<float> lowFlux_;
    std::vector<float> pending_;  // samples from sample bufferStart_ on
    int64_t bufferStart_ = 0;
    uint64_t frames_ = 0;
    int64_t nextFrame_ = 0;  // frames before 0 are centred before the first sample
};

// The strength of the whole recording, through ScanAudio. `strength` is
// the pass's result when the outcome is Done, and empty otherwise.
ScanOutcome BuildOnsetStrength(AudioDecoder& decoder, OnsetStrength& strength,
                               const ScanProgress& progress = ScanProgress());

// The waveform's envelope and the onset strength from one decode pass.
ScanOutcome BuildEnvelopeAndOnsetStrength(AudioDecoder& decoder, PeakEnvelope& envelope, OnsetStrength& strength,
                                          const ScanProgress& progress = ScanProgress());

struct Onset {
    double TimeMs;   // where the sound starts, ms from the recording's first sample
    float Strength;  // the strength at its peak, in (0, 1]
};

// The default of PickOnsets' threshold.
constexpr float kOnsetThreshold = 0.1f;

// The onsets in time order, no two at one time (two peaks placed on one
// attack are listed once): each a frame whose strength is the largest
// within onset_detail::kOnsetPeakMs either side and stands at least `threshold` above the
// mean strength around it (from 100 ms before to 70 ms after). Its time is
// the peak found between the frames by a parabola through the frame and its
// two neighbours, moved back by kSpeaksMs and by the detector's own lag (the strength peaks
// when a sound has just entered the window, not at its centre; measured on
// clicks and struck tones, see OnsetStrength.cpp). Where the fine strength
// has peaks standing `threshold` above its own mean around (over the same
// span) and at least half its largest value from
// kFineBeforeMs before that time to kFineAfterMs after it, the earliest
// (an attack's first note) places the onset instead: where that peak rose
// (onset_detail::FineRiseFrame), by the fine lag (FineLagMs).
std::vector<Onset> PickOnsets(const OnsetStrength& strength, float threshold = kOnsetThreshold);

// The strength's exact content as text (its hop, window and every value as
// the hexadecimal digits of their bits), for comparing builds.
std::string OnsetStrengthDigest(const OnsetStrength& strength);

namespace onset_detail {

constexpr double kWindowMs = 40;  // nominal; a whole odd number of samples
constexpr double kFineWindowMs = 10;
// Onsets are told where their notes start, this long before their sound:
// an instrument speaks a few ms after it is struck or its note begins (a
// hammer meets the string, a sample's attack starts quiet), and a beat's
// annotation, a MIDI note-on, a sequencer's beat, lie at the note's start.
// Measured on General MIDI instruments rendered by fluidsynth at 44.1 kHz
// (median, the detector's onsets after their note-ons): a woodblock 4.8 ms,
// a closed hat 3.6, a kick 5.3, a side stick 6.3, vibraphone 5.6, bass 5.3,
// piano 7.1. A click that is one sample of the recording is then found
// this long before that sample.
constexpr double kSpeaksMs = 4.5;
// An onset found on the strength is placed by the fine strength's earliest
// clear peak from this long before it to this long after.
constexpr double kFineBeforeMs = 15;
constexpr double kFineAfterMs = 5;
// A fine peak's onset is where the peak rose past kFineRiseShare of the
// way up from the lowest the fine strength was within kFineRiseLookMs
// before it, not its top. Where a sound builds up over several frames (a
// piano's bass note under its chord, as a soundfont plays it) the fine
// flux stays high over them and its top lies anywhere in them, a few ms
// after the note began; a click's rises within a frame. Measured with
// fluidsynth's General MIDI piano at 44.1 kHz: a bass note and a chord
// struck together found 2.5 ms after their note-ons at the median by the
// top (up to 5.4 ms), 0.7 ms by the rise (up to 2.4); the rendered pieces'
// snapped beats 4.6 ms after theirs, now 3.1 ms. A third of the way up
// placed the piano 2.8 ms after, but spread the intervals between the
// beats of music made in code more.
constexpr double kFineRiseShare = 0.5;
constexpr double kFineRiseLookMs = 10;
// A click's fine peak is half way up this many hops before the click,
// less half the fine window (its top one hop after: kLagHops), so that
// clicks lie where their tops placed them: one-sample clicks and short
// bursts at 8 to 96 kHz 0.2 to 0.3 ms early on average, as at their tops,
// but within -1.2 and +0.7 ms where the tops' parabolas put them within
// -0.9 and +0.4 (where a peak passes half way says less of where within a
// frame a click lies).
constexpr double kFineRiseLagHops = 0.24;
constexpr double kHopMs = 2.5;    // nominal; a whole number of samples
// The swell compares a frame with the one this long before (nominal; a
// whole number of hops): a slow attack's rise over that span stands out.
constexpr double kSwellLagMs = 30;
// Where a slow attack begins: kSwellStartMs after the frame where the
// swell curve, climbing towards its peak, first stands kSwellRiseShare of
// the way from the lowest it was over the kSwellLookMs before to the peak
// (a rise of 80 ms peaks the curve up to 50 ms in). Measured on swelled
// chords over hiss, rising over 30 to 80 ms, at 12 and 44.1 kHz
// (tests/core/pipeline/SlowAttackSnappingTest.cpp): the onsets so placed
// lie within 4 ms of their chords' starts for nine in ten, 0.8 ms early at
// the median. A quarter of the way up placed them 1.6 ms late there, and
// strings and pads whose attacks take 100 ms and more (a soundfont's) 8 ms
// late, where 0.15 of the way places them 5 ms late.
constexpr double kSwellRiseShare = 0.15;
constexpr double kSwellLookMs = 60;
constexpr double kSwellStartMs = 5;
constexpr double kOnsetPeakMs = 12.5;

// Where the fine peak at frame `peak` of `fine` rose past kFineRiseShare
// of the way up from the lowest within kFineRiseLookMs before it (`hopMs`
// a frame), in frames, refined linearly between the frame it passed on and
// the one before.
double FineRiseFrame(const std::vector<float>& fine, size_t peak, double hopMs);
// The fine strength's lag: an onset placed by FineRiseFrame lies this
// long after its frame's time, moved back by kSpeaksMs to where its note
// starts.
double FineLagMs(double fineWindowMs, double hopMs);

// cos(pi * num / den) for den > 0, from polynomials after reducing the
// angle exactly to [0, pi/4]; the same double on every build.
double CosPi(int64_t num, int64_t den);

// A real FFT of a power-of-two size (at least 8), in float.
class RealFft {
public:
    explicit RealFft(size_t size);
    size_t Size() const { return size_; }
    // The power (re^2 + im^2) of bins [0, bins) of `input` (Size() samples);
    // bins at most Size() / 2.
    void Power(const float* input, float* power, size_t bins);

private:
    size_t size_;
    size_t half_;
    std::vector<uint32_t> reversed_;
    std::vector<float> cos_;  // cos(2 pi k / size), k < size / 2
    std::vector<float> sin_;  // sin(2 pi k / size)
    std::vector<float> passCos_;
    std::vector<float> passSin_;
    std::vector<float> re_;
    std::vector<float> im_;
};

}  // namespace onset_detail
