// Snapping onto slow attacks: chords on strings or a pad that rise over 30
// to 80 ms show no clear onset on the recording's main onset curve, and are
// found on its curve of slow attacks instead, each placed where its rise
// began.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "BeatSnapping.h"
#include "EmulatedRuns.h"
#include "OnsetStrength.h"
#include "RecordingOnsets.h"
#include "SamplesStrength.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Swelled {
    std::vector<float> Samples;
    std::vector<double> Beats;  // where each chord starts, ms
};

// Chords changing on every beat of a wandering tempo, each note of five
// harmonics rising linearly over `riseMs`, held to the next beat and
// released over 200 ms, with a slow vibrato, over hiss at -66 dB.
Swelled MakeSwelled(std::mt19937& random, uint32_t rate, size_t beats, double riseLeast, double riseMost)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Swelled out;
    double beat = 550;
    for (double t = 800; out.Beats.size() < beats; t += beat) {
        out.Beats.push_back(t);
        beat = std::clamp(beat * (1.0 + 0.06 * (unit(random) - 0.5)), 420.0, 700.0);
    }
    out.Samples.assign(static_cast<size_t>((out.Beats.back() + 900) * rate / 1000), 0.0f);
    // The vibrato's factor at each sample from a note's start, the same for
    // every partial, and the chord's envelope, the same for each of its
    // partials: made once, not per partial (a test slow under emulation).
    std::vector<double> vibrato;
    std::vector<double> envelope;
    const int roots[] = {0, 2, 3, 5, 7, 8, 10};
    for (size_t b = 0; b < out.Beats.size(); ++b) {
        const double start = out.Beats[b];
        const double hold = (b + 1 < out.Beats.size() ? out.Beats[b + 1] : start + 600) - start;
        const double rise = riseLeast + (riseMost - riseLeast) * unit(random);
        const int root = roots[random() % 7];
        const double level = 0.03 + 0.05 * unit(random);
        const size_t first = static_cast<size_t>(start * rate / 1000);
        const size_t count = std::min(static_cast<size_t>((hold + 200) * rate / 1000), out.Samples.size() - first);
        while (vibrato.size() < count) {
            const double ms = 1000.0 * static_cast<double>(vibrato.size()) / rate;
            vibrato.push_back(1.0 + 0.002 * std::sin(2 * kPi * 5 * ms / 1000));
        }
        envelope.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const double ms = 1000.0 * static_cast<double>(i) / rate;
            envelope[i] = ms < rise ? ms / rise : ms < hold ? 1.0 : 1.0 - (ms - hold) / 200;
        }
        for (const int step : {0, 3, 7, 12}) {
            const double f0 = 196.0 * std::pow(2.0, (root + step) / 12.0);
            for (int k = 1; k <= 5 && f0 * k < 0.45 * rate; ++k) {
                double phase = 2 * kPi * unit(random);
                const double increment = 2 * kPi * f0 * k / rate;
                const double amplitude = level / k;
                for (size_t i = 0; i < count; ++i) {
                    phase += increment * vibrato[i];
                    out.Samples[first + i] += static_cast<float>(amplitude * envelope[i] * std::sin(phase));
                }
            }
        }
    }
    for (float& s : out.Samples)
        s += static_cast<float>(0.0005 * (2 * unit(random) - 1));
    return out;
}

// The curves the snapping takes from `samples`.
OnsetCurve CurveOf(const std::vector<float>& samples, uint32_t rate)
{
    return OnsetCurveOf(StrengthOfSamples(samples, rate));
}

// The main curve alone, without the curve of slow attacks.
OnsetCurve MainAlone(OnsetCurve curve)
{
    curve.Slow.reset();
    return curve;
}

// Taps of one take along the recording: a lag of their own and errors of
// about 15 ms.
std::vector<double> Tapped(std::mt19937& random, const std::vector<double>& truth, double lag)
{
    std::normal_distribution<double> error(0.0, 15.0);
    std::vector<double> taps;
    for (const double t : truth)
        taps.push_back(t + lag + error(random));
    return taps;
}

// Every beat left Unsure where it was tapped; `what` names the case.
void ExpectTapsKept(const std::vector<double>& taps, const std::vector<SnappedBeat>& got, const std::string& what)
{
    ASSERT_EQ(taps.size(), got.size()) << what;
    for (size_t i = 0; i < taps.size(); ++i) {
        EXPECT_EQ(SnapState::Unsure, got[i].State) << what << ", beat " << i;
        EXPECT_EQ(taps[i], got[i].TimeMs) << what << ", beat " << i;
    }
}

// Four recordings of swelled chords rising over riseLeast to riseMost ms
// (at 12 and 44.1 kHz), each tapped once: the errors of the beats snapped,
// sorted, and how many of all the beats snapped. Checks on the way that the
// main curve alone moves none of them.
struct SwellErrors {
    std::vector<double> Errors;
    size_t Snapped = 0;
    size_t Beats = 0;
};

SwellErrors SnapSwells(uint32_t generatorState, double riseLeast, double riseMost)
{
    std::mt19937 random(generatorState);
    SwellErrors out;
    for (int round = 0; round < 4; ++round) {
        const uint32_t rate = round % 2 ? 44100 : 12000;
        const Swelled music = MakeSwelled(random, rate, 40, riseLeast, riseMost);
        const std::vector<double> taps = Tapped(random, music.Beats, round % 3 == 0 ? -40.0 : 60.0);
        // The main curve alone shows no beats: every beat stays where it was
        // tapped.
        const OnsetCurve curve = CurveOf(music.Samples, rate);
        ExpectTapsKept(taps, SnapBeats(taps, MainAlone(curve)), std::to_string(rate) + " Hz");
        const std::vector<SnappedBeat> got = SnapBeats(taps, curve);
        for (size_t i = 0; i < taps.size(); ++i) {
            ++out.Beats;
            if (got[i].State != SnapState::Snapped)
                continue;
            ++out.Snapped;
            out.Errors.push_back(got[i].TimeMs - music.Beats[i]);
        }
    }
    std::sort(out.Errors.begin(), out.Errors.end());
    return out;
}

}  // namespace

TEST(SlowAttackSnapping, SwelledChordsSnapWhereTheirRiseBegins)
{
    if (testsupport::kThirtyTwoBit)
        GTEST_SKIP() << testsupport::kSameBitsElsewhere;
    const SwellErrors got = SnapSwells(2209, 30, 80);
    const std::vector<double>& errors = got.Errors;
    EXPECT_GE(static_cast<double>(got.Snapped), 0.8 * static_cast<double>(got.Beats));
    ASSERT_FALSE(errors.empty());
    const double median = errors[errors.size() / 2];
    EXPECT_LE(std::fabs(median), 2.5);
    // Half the beats within a few ms of their chords' starts, nearly all
    // within 15 ms (an onset placed at its peak lies 20 to 50 ms late).
    EXPECT_LE(errors[errors.size() * 3 / 4] - errors[errors.size() / 4], 5.0);
    const auto far = std::count_if(errors.begin(), errors.end(), [](double e) { return std::fabs(e) > 15.0; });
    EXPECT_LE(static_cast<double>(far), 0.03 * static_cast<double>(errors.size()));
    RecordProperty("median_error_ms", std::to_string(median));
}

// Beside sharp attacks the curve of slow attacks changes nothing: where the
// main curve shows the beats, it alone snaps them.
TEST(SlowAttackSnapping, SharpAttacksKeepTheMainCurve)
{
    std::mt19937 random(31);
    const uint32_t rate = 16000;
    std::vector<double> truth;
    for (double t = 500; truth.size() < 30; t += 500 + 40 * std::sin(static_cast<double>(truth.size())))
        truth.push_back(t);
    std::vector<float> samples(static_cast<size_t>((truth.back() + 800) * rate / 1000), 0.0f);
    for (const double t : truth) {
        const size_t first = static_cast<size_t>(t * rate / 1000);
        for (size_t i = 0; i < static_cast<size_t>(0.3 * rate) && first + i < samples.size(); ++i) {
            const double s = static_cast<double>(i) / rate;
            samples[first + i] += static_cast<float>(0.3 * std::exp(-s / 0.08) * std::sin(2 * kPi * 440 * s));
        }
    }
    const std::vector<double> taps = Tapped(random, truth, 30);
    const OnsetCurve curve = CurveOf(samples, rate);
    const std::vector<SnappedBeat> alone = SnapBeats(taps, MainAlone(curve));
    const std::vector<SnappedBeat> both = SnapBeats(taps, curve);
    size_t snapped = 0;
    for (size_t i = 0; i < taps.size(); ++i) {
        EXPECT_EQ(alone[i].TimeMs, both[i].TimeMs) << i;
        EXPECT_EQ(alone[i].State, both[i].State) << i;
        snapped += alone[i].State == SnapState::Snapped ? 1 : 0;
    }
    EXPECT_GE(snapped, 27u);
}

// A steady tone has no beats: its magnitudes waver a little from frame to
// frame as its phase turns against the analysis window, which no beat may
// be snapped onto (a sawtooth at full scale, as under a drone or organ
// point).
TEST(SlowAttackSnapping, ASteadyToneMovesNoBeat)
{
    std::mt19937 random(7);
    const uint32_t rate = 44100;
    std::vector<float> samples(static_cast<size_t>(rate) * 4);
    // 81.6 Hz, its period not a whole number of samples.
    for (size_t f = 0; f < samples.size(); ++f) {
        const double cycles = static_cast<double>(f) * 81.6 / rate;
        samples[f] = static_cast<float>(0.6 * (cycles - std::floor(cycles)) - 0.3);
    }
    const OnsetCurve curve = CurveOf(samples, rate);
    // Short maps, where two beats on onsets would be enough to move them.
    for (int round = 0; round < 12; ++round) {
        std::vector<double> truth;
        for (double t = 400 + 50 * round; t < 3000; t += 500)
            truth.push_back(t);
        const std::vector<double> taps = Tapped(random, truth, 20);
        ExpectTapsKept(taps, SnapBeats(taps, curve), "round " + std::to_string(round));
    }
}

// Strings and pads whose attacks take 100 to 250 ms: their swell curve
// climbs for longer before its peak, and the beats are placed nearer its
// foot, where the chords start, than a quarter of the way up would.
TEST(SlowAttackSnapping, LongSwellsSnapNearTheirStart)
{
    if (testsupport::kThirtyTwoBit)
        GTEST_SKIP() << testsupport::kSameBitsElsewhere;
    const SwellErrors got = SnapSwells(2210, 100, 250);
    ASSERT_GE(static_cast<double>(got.Snapped), 0.5 * static_cast<double>(got.Beats));
    // Placed a quarter of the way up they lay 3 ms late.
    const double median = got.Errors[got.Errors.size() / 2];
    EXPECT_LE(std::fabs(median), 1.5);
    EXPECT_LE(got.Errors[got.Errors.size() * 3 / 4] - got.Errors[got.Errors.size() / 4], 5.0);
    RecordProperty("median_error_ms", std::to_string(median));
}

namespace {

// Four seconds of a steady tone at full scale, its harmonics as an
// instrument or a band-limited synthesizer makes them: each below half the
// rate. One period is tabled (the harmonics summed exactly at each point)
// and read with linear interpolation, as the period is not a whole number
// of samples.
std::vector<float> SteadyTone(uint32_t rate, double f0, bool odd)
{
    constexpr size_t kTable = 8192;
    std::vector<double> period(kTable + 1, 0.0);
    for (int k = 1; k * f0 < 0.5 * rate; ++k) {
        if (odd && k % 2 == 0)
            continue;
        const double amplitude = (odd ? 4.0 : 2.0) / (kPi * k);
        for (size_t i = 0; i <= kTable; ++i)
            period[i] += amplitude * std::sin(2 * kPi * k * static_cast<double>(i) / kTable);
    }
    std::vector<float> samples(size_t{4} * rate);
    for (size_t f = 0; f < samples.size(); ++f) {
        double at = static_cast<double>(f) * f0 / rate;
        at = (at - std::floor(at)) * kTable;
        const auto i = static_cast<size_t>(at);
        const double within = at - static_cast<double>(i);
        samples[f] = static_cast<float>(period[i] + within * (period[i + 1] - period[i]));
    }
    return samples;
}

}  // namespace

// The same for the steady tones a recording most often holds, band-limited:
// sawtooths and a square over three octaves, at every common rate. (A
// sawtooth made by wrapping a ramp is not band-limited: its harmonics beyond
// half the rate fold back between the others and beat with them, and those
// beats are onsets as far as the detector can tell. A sawtooth of 55 Hz,
// whose harmonics lie closer than the 40 ms window tells apart, still moves
// beats at 12 and 48 kHz: bench/ANALYSIS.md.)
TEST(SlowAttackSnapping, BandLimitedSteadyTonesMoveNoBeat)
{
    if (testsupport::kThirtyTwoBit)
        GTEST_SKIP() << testsupport::kSameBitsElsewhere;
    std::mt19937 random(11);
    struct Tone {
        double F0;
        bool Odd;
    };
    for (const Tone tone : {Tone{81.6, false}, Tone{110, true}, Tone{220, false}, Tone{440, false}}) {
        for (const uint32_t rate : {12000u, 22050u, 44100u, 48000u}) {
            const OnsetCurve curve = CurveOf(SteadyTone(rate, tone.F0, tone.Odd), rate);
            for (int round = 0; round < 4; ++round) {
                std::vector<double> truth;
                for (double t = 400 + 120 * round; t < 3000; t += 450 + 50 * round)
                    truth.push_back(t);
                const std::vector<double> taps = Tapped(random, truth, 20);
                ExpectTapsKept(taps, SnapBeats(taps, curve),
                               std::to_string(tone.F0) + " Hz at " + std::to_string(rate));
            }
        }
    }
}
