// The onset strength and the onsets picked from it: the cosines and the FFT
// against long-double references, onsets of generated click trains and
// struck tones against the times they were put at (random rates, levels
// across 40 dB, random read sizes), silence, soft passages after loud ones,
// and the decode pass that makes the envelope and the strength together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "EmulatedRuns.h"
#include "OnsetStrength.h"
#include "PeakEnvelope.h"
#include "SamplesStrength.h"

namespace {

using namespace audiotest;
using onset_detail::CosPi;
using onset_detail::RealFft;

const long double kPiL = 3.14159265358979323846264338327950288L;
const double kPi = 3.14159265358979323846;

TEST(OnsetCosPi, MatchesTheCosineAndItsSymmetriesExactly)
{
    std::mt19937 random(61);
    for (int round = 0; round < 20000; ++round) {
        const int64_t den = 1 + static_cast<int64_t>(random() % 20000);
        const int64_t num = static_cast<int64_t>(random() % 200000) - 100000;
        const double c = CosPi(num, den);
        const long double want = std::cos(static_cast<long double>(num % (2 * den)) / den * kPiL);
        // The reference is long double only where the runtime leaves the
        // x87 unit at 64 bits (32-bit Windows sets it to 53).
        ASSERT_NEAR(static_cast<double>(want), c, 1e-15) << num << "/" << den;
        ASSERT_EQ(c, CosPi(-num, den));
        ASSERT_EQ(c, CosPi(num + 2 * den, den));
        ASSERT_EQ(-c, CosPi(den - num, den));
    }
    EXPECT_EQ(1.0, CosPi(0, 7));
    EXPECT_EQ(0.0, CosPi(1, 2));
    EXPECT_EQ(-1.0, CosPi(5, 5));
}

TEST(OnsetRealFft, PowerMatchesADirectTransform)
{
    std::mt19937 random(67);
    std::normal_distribution<float> sample(0.0f, 1.0f);
    for (size_t size = 8; size <= 2048; size *= 2) {
        RealFft fft(size);
        std::vector<float> input(size);
        for (float& x : input)
            x = sample(random);
        std::vector<float> power(size / 2 + 1, -1.0f);
        fft.Power(input.data(), power.data(), power.size());
        long double largest = 0;
        std::vector<long double> want(size / 2 + 1);
        for (size_t k = 0; k <= size / 2; ++k) {
            long double re = 0, im = 0;
            for (size_t n = 0; n < size; ++n) {
                const long double angle = -2 * kPiL * static_cast<long double>((k * n) % size) / size;
                re += input[n] * std::cos(angle);
                im += input[n] * std::sin(angle);
            }
            want[k] = re * re + im * im;
            largest = std::max(largest, want[k]);
        }
        for (size_t k = 0; k <= size / 2; ++k)
            ASSERT_NEAR(static_cast<double>(want[k]), power[k], 2e-5 * static_cast<double>(largest))
                << "size " << size << " bin " << k;
    }
}

// A sound put at TimeMs into a signal.
struct Placed {
    double TimeMs;
    float Level;
};

enum class Sound { Impulse, Burst, Tone };

// Adds `sound` at `at` (in samples, fractional: it starts at the first
// sample at or after it). A burst is noise decaying within a few
// milliseconds; a tone has three partials, rises linearly over `attackMs`
// and decays over about a quarter second, faded out at the end.
void AddSound(std::vector<float>& signal, uint32_t rate, double at, float level, Sound sound, double attackMs,
              double pitch, std::mt19937& random)
{
    std::normal_distribution<double> noise(0.0, 0.5);
    const size_t first = static_cast<size_t>(std::ceil(at));
    for (size_t i = first; i < signal.size(); ++i) {
        const double t = (static_cast<double>(i) - at) / rate;
        double v = 0;
        if (sound == Sound::Impulse) {
            if (i > first)
                break;
            v = 1;
        } else if (sound == Sound::Burst) {
            if (t > 0.004)
                break;
            v = noise(random) * std::exp(-t / 0.0006);
        } else {
            if (t > 0.3)
                break;
            const double attack = attackMs / 1000;
            double envelope = t < attack ? t / attack : std::exp(-(t - attack) / 0.05);
            if (t > 0.2)
                envelope *= 0.5 + 0.5 * std::cos(kPi * (t - 0.2) / 0.1);
            v = envelope * (std::sin(2 * kPi * pitch * t) + 0.5 * std::sin(4 * kPi * pitch * t) +
                            0.3 * std::sin(6 * kPi * pitch * t)) / 1.8;
        }
        signal[i] += static_cast<float>(level * v);
    }
}

// The strength of `signal`, handed to the sink in blocks of random sizes.
OnsetStrength StrengthOf(const std::vector<float>& signal, uint32_t rate, std::mt19937& random)
{
    return StrengthOfSamples(signal, rate, [&] { return size_t{1 + random() % 6000}; });
}

// A train of sounds at random times at least `gapMs` apart, at levels
// spread over 40 dB.
std::vector<Placed> RandomTimes(std::mt19937& random, double gapMs, double lastMs)
{
    std::vector<Placed> placed;
    std::uniform_real_distribution<double> extra(0.0, 300.0);
    std::uniform_real_distribution<double> decibels(0.0, 40.0);
    for (double t = std::uniform_real_distribution<double>(20.0, 80.0)(random); t < lastMs; t += gapMs + extra(random))
        placed.push_back(Placed{t, static_cast<float>(0.9 * std::pow(10.0, -decibels(random) / 20))});
    return placed;
}

// Every placed sound is found exactly once within `toleranceMs`, and
// nothing else is found; returns the largest error, and adds every error
// to `errors` where given.
double ExpectFoundOnce(const std::vector<Placed>& placed, const std::vector<Onset>& onsets, double toleranceMs,
                       const std::string& what, std::vector<double>* errors = nullptr)
{
    double worst = 0;
    std::vector<int> hits(onsets.size(), 0);
    for (const Placed& p : placed) {
        int found = 0;
        for (size_t o = 0; o < onsets.size(); ++o) {
            // A sound starts kSpeaksMs after the note it belongs to.
            const double error = onsets[o].TimeMs + onset_detail::kSpeaksMs - p.TimeMs;
            if (std::fabs(error) <= toleranceMs) {
                ++found;
                ++hits[o];
                worst = std::max(worst, std::fabs(error));
                if (errors)
                    errors->push_back(error);
            }
        }
        EXPECT_EQ(1, found) << what << ": the sound at " << p.TimeMs << " ms (level " << p.Level << ")";
    }
    for (size_t o = 0; o < onsets.size(); ++o)
        EXPECT_EQ(1, hits[o]) << what << ": an onset at " << onsets[o].TimeMs << " ms, strength " << onsets[o].Strength;
    return worst;
}

const uint32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};

// How closely a click or a short burst is placed: where its fine peak rose
// half way, which a frame of 2.5 ms tells within a millisecond and a
// quarter.
constexpr double kClickToleranceMs = 1.25;

// A click's onset is where its fine peak rose half way, which tells less
// of where within a frame it lies than the peak's top did, but not late or
// early on average (the detector's lag is the click's).
TEST(PickOnsets, FindsEveryClickOnceWithinAMillisecondAndAQuarter)
{
    std::mt19937 random(71);
    double worst = 0;
    std::vector<double> errors;
    for (int round = 0; round < testsupport::PropertyRounds(24); ++round) {
        // Both of the rates that matter most in every fourth round.
        const uint32_t rate = round % 4 == 0 ? (round % 8 == 0 ? 44100 : 48000) : kRates[random() % 9];
        const Sound sound = round % 2 ? Sound::Burst : Sound::Impulse;
        const std::vector<Placed> placed = RandomTimes(random, 60, 4000);
        std::vector<float> signal(static_cast<size_t>(rate * 4.5));
        for (const Placed& p : placed)
            AddSound(signal, rate, p.TimeMs * rate / 1000, p.Level, sound, 0, 0, random);
        const OnsetStrength strength = StrengthOf(signal, rate, random);
        const std::string what = std::to_string(rate) + " Hz, round " + std::to_string(round);
        worst = std::max(worst, ExpectFoundOnce(placed, PickOnsets(strength), kClickToleranceMs, what, &errors));
        if (HasFailure())
            return;
    }
    double sum = 0;
    for (const double e : errors)
        sum += e;
    const double mean = sum / static_cast<double>(errors.size());
    EXPECT_LE(std::fabs(mean), 0.5);
    RecordProperty("worst_click_error_ms", std::to_string(worst));
    RecordProperty("mean_click_error_ms", std::to_string(mean));
}

TEST(PickOnsets, FindsEverySoftAttackOnceWithinTwoMillisecondsAt44And48kHz)
{
    std::mt19937 random(73);
    for (int round = 0; round < testsupport::PropertyRounds(30); ++round) {
        const uint32_t rate = round % 3 == 0 ? 44100 : (round % 3 == 1 ? 48000 : kRates[random() % 9]);
        const double attackMs = std::uniform_real_distribution<double>(2.0, 10.0)(random);
        const std::vector<Placed> placed = RandomTimes(random, 320, 5000);
        std::vector<float> signal(static_cast<size_t>(rate * 5.5));
        for (const Placed& p : placed) {
            // Partials below the Nyquist frequency.
            const double top = std::min(3.0, std::log2(rate / 6.0 / 200));
            const double pitch = 200 * std::pow(2.0, std::uniform_real_distribution<double>(0, top)(random));
            AddSound(signal, rate, p.TimeMs * rate / 1000, p.Level, Sound::Tone, attackMs, pitch, random);
        }
        const OnsetStrength strength = StrengthOf(signal, rate, random);
        // At the low rates a soft tone's few bins above its partials lag it
        // a little more.
        const double tolerance = rate == 44100 || rate == 48000 ? 2.0 : 2.5;
        ExpectFoundOnce(placed, PickOnsets(strength), tolerance,
                        std::to_string(rate) + " Hz, attack " + std::to_string(attackMs) + " ms");
        if (HasFailure())
            return;
    }
}

// A note entering among ringing ones shows in the long window's flux only
// once much of it is in; the fine strength places it.
TEST(PickOnsets, PlacesNotesAmongHeldOnesClosely)
{
    std::mt19937 random(83);
    std::vector<double> errors;
    for (int round = 0; round < testsupport::PropertyRounds(12); ++round) {
        const uint32_t rate = round % 2 ? 44100 : kRates[random() % 9];
        std::vector<Placed> placed = RandomTimes(random, 150, 5000);
        // Not on the chord's own onset.
        placed.erase(std::remove_if(placed.begin(), placed.end(), [](const Placed& p) { return p.TimeMs < 100; }),
                     placed.end());
        std::vector<float> signal(static_cast<size_t>(rate * 5.5));
        // A held chord under everything, as loud as the notes.
        for (size_t i = 0; i < signal.size(); ++i) {
            const double t = static_cast<double>(i) / rate;
            signal[i] = static_cast<float>(0.1 * (std::sin(2 * kPi * 110 * t) + std::sin(2 * kPi * 164.8 * t) +
                                                  std::sin(2 * kPi * 220.5 * t)));
        }
        for (Placed& p : placed) {
            p.Level = std::uniform_real_distribution<float>(0.15f, 0.6f)(random);
            // Struck tones that speak over a few ms.
            const double pitches[] = {196, 246.9, 261.6, 293.7, 392};
            const double pitch = pitches[random() % (rate >= 16000 ? 5 : 3)];
            const double attack = std::uniform_real_distribution<double>(4.0, 10.0)(random);
            AddSound(signal, rate, p.TimeMs * rate / 1000, p.Level, Sound::Tone, attack, pitch, random);
        }
        const OnsetStrength strength = StrengthOf(signal, rate, random);
        ASSERT_EQ(strength.Values.size(), strength.Fine.size());
        const std::vector<Onset> onsets = PickOnsets(strength);
        for (const Placed& p : placed) {
            double nearest = 1e9;
            for (const Onset& o : onsets)
                if (std::fabs(o.TimeMs + onset_detail::kSpeaksMs - p.TimeMs) < std::fabs(nearest))
                    nearest = o.TimeMs + onset_detail::kSpeaksMs - p.TimeMs;
            EXPECT_LE(std::fabs(nearest), 12.0) << rate << " Hz, the note at " << p.TimeMs << " ms: " << nearest;
            errors.push_back(nearest);
        }
        if (HasFailure())
            return;
    }
    // Without the fine strength the median was 2.7 ms late.
    std::sort(errors.begin(), errors.end());
    const double median = errors[errors.size() / 2];
    EXPECT_LE(std::fabs(median), 2.0);
    EXPECT_LE(errors[errors.size() * 9 / 10], 5.5);
    EXPECT_GE(errors[errors.size() / 10], -1.0);
    RecordProperty("median_error_ms", std::to_string(median));
}

// Onsets come out in time order, each attack once, whatever the curves:
// two peaks of the long window's strength 15 ms apart can both be placed
// by the fine strength, each where the fine peak it chose rose, and those
// rises may cross or meet. Curves of random spikes, as noise and clipping
// give them, at the hop of the lowest rate and of 44.1 kHz.
TEST(PickOnsets, ListsEachAttackOnceInTimeOrderWhateverTheCurves)
{
    std::mt19937 random(101);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    size_t onsets = 0;
    for (int set = 0; set < 400; ++set) {
        OnsetStrength strength;
        strength.HopMs = set % 2 == 0 ? 2.5 : 2.494;
        strength.WindowMs = 40;
        strength.FineWindowMs = 10;
        const size_t n = 200 + static_cast<size_t>(set);
        const float spikes = 0.05f + 0.5f * unit(random);
        for (size_t i = 0; i < n; ++i) {
            strength.Values.push_back(unit(random) < spikes ? unit(random) : 0.05f * unit(random));
            strength.Fine.push_back(unit(random) < 2 * spikes ? unit(random) : 0.05f * unit(random));
        }
        double last = -1;
        for (const Onset& o : PickOnsets(strength, set % 3 == 0 ? 0.0f : kOnsetThreshold)) {
            ASSERT_TRUE(std::isfinite(o.TimeMs)) << set;
            ASSERT_GT(o.TimeMs, last) << set;
            ASSERT_TRUE(o.Strength > 0.0f && o.Strength <= 1.0f) << set;
            last = o.TimeMs;
            ++onsets;
        }
    }
    EXPECT_GT(onsets, 4000u);
}

TEST(OnsetStrength, SilenceHasNoStrengthAndNoOnsets)
{
    std::mt19937 random(79);
    for (const uint32_t rate : kRates) {
        const std::vector<float> silence(static_cast<size_t>(rate * 2 + random() % 1000), 0.0f);
        const OnsetStrength strength = StrengthOf(silence, rate, random);
        ASSERT_FALSE(strength.Values.empty());
        for (const float v : strength.Values)
            ASSERT_EQ(0.0f, v) << rate;
        EXPECT_TRUE(PickOnsets(strength, 0.0f).empty()) << rate;
    }
    // A recording of no frames has no strength at all.
    std::vector<float> none;
    EXPECT_TRUE(StrengthOf(none, 44100, random).Values.empty());
}

TEST(OnsetStrength, ASoftPassageAfterALoudOneCountsInFull)
{
    std::mt19937 random(83);
    const uint32_t rate = 44100;
    std::vector<Placed> placed;
    for (int i = 0; i < 12; ++i)
        placed.push_back(Placed{100.0 + 250 * i, 0.9f});
    for (int i = 0; i < 12; ++i)
        placed.push_back(Placed{3100.0 + 250 * i, 0.009f});  // 40 dB softer
    std::vector<float> signal(rate * 7);
    for (const Placed& p : placed)
        AddSound(signal, rate, p.TimeMs * rate / 1000, p.Level, Sound::Burst, 0, 0, random);
    const OnsetStrength strength = StrengthOf(signal, rate, random);
    const std::vector<Onset> onsets = PickOnsets(strength);
    ExpectFoundOnce(placed, onsets, kClickToleranceMs, "loud then soft");
    // Once the loud ones are more than the normalising reach behind, the
    // soft ones are about as strong as the loud ones were (bursts of noise:
    // no two alike).
    double loud = 0, soft = 0;
    int louds = 0, softs = 0;
    for (const Onset& o : onsets) {
        if (o.TimeMs < 3000) {
            loud += o.Strength;
            ++louds;
        } else if (o.TimeMs > 3100 + 1500) {
            soft += o.Strength;
            ++softs;
            EXPECT_GT(o.Strength, 0.6f) << o.TimeMs;
        } else {
            EXPECT_GT(o.Strength, 0.2f) << o.TimeMs;
        }
    }
    ASSERT_EQ(12, louds);
    ASSERT_GT(softs, 4);
    EXPECT_NEAR(loud / louds, soft / softs, 0.1);
}

TEST(OnsetStrength, ValuesLieOnTheHopGridWithinZeroAndOne)
{
    std::mt19937 random(89);
    for (int round = 0; round < 12; ++round) {
        const uint32_t rate = kRates[random() % 9];
        std::vector<float> signal(random() % (3 * rate));
        // Noise of changing loudness, over full scale at times.
        std::normal_distribution<float> noise(0.0f, 1.0f);
        float level = 0.5f;
        for (size_t i = 0; i < signal.size(); ++i) {
            if (i % 3000 == 0)
                level = std::pow(10.0f, std::uniform_real_distribution<float>(-5.0f, 0.5f)(random));
            signal[i] = level * noise(random);
        }
        const OnsetStrength strength = StrengthOf(signal, rate, random);
        const uint32_t hop = static_cast<uint32_t>(std::lround(rate * 0.0025));
        EXPECT_DOUBLE_EQ(hop * 1000.0 / rate, strength.HopMs);
        EXPECT_NEAR(40.0, strength.WindowMs, 2001.0 / rate);
        EXPECT_EQ((signal.size() + hop - 1) / hop, strength.Values.size());
        ASSERT_EQ(strength.Values.size(), strength.Swell.size());
        ASSERT_EQ(strength.Values.size(), strength.Low.size());
        EXPECT_NEAR(30.0, strength.SwellLagMs, 0.5 * strength.HopMs);
        for (const std::vector<float>* curve : {&strength.Values, &strength.Fine, &strength.Swell, &strength.Low})
            for (const float v : *curve)
                ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
        for (const Onset& o : PickOnsets(strength)) {
            EXPECT_TRUE(o.Strength > 0.0f && o.Strength <= 1.0f);
            EXPECT_TRUE(o.TimeMs >= 0 && o.TimeMs <= strength.HopMs * static_cast<double>(strength.Values.size()) + 30);
        }
    }
}

// Kicks (a sine gliding from 120 to 50 Hz) with a bass note on every beat,
// louder chords of three high notes on every off-beat: the chords stand
// out on the main curve, the kicks and bass notes on the low band's, at
// the common rates.
TEST(OnsetStrength, LowBandShowsKicksAndBassNotesNotTheChordsBetween)
{
    for (const uint32_t rate : {12000u, 44100u, 48000u}) {
        std::mt19937 random(rate);
        std::uniform_real_distribution<double> jitter(-0.2, 0.2);
        std::vector<float> signal(rate * 6);
        std::vector<double> beats, offBeats;
        for (double t = 300.0; t + 500.0 < 6000.0; t += 500.0 * (1.0 + jitter(random))) {
            beats.push_back(t);
            offBeats.push_back(t + 250.0);
            const size_t start = static_cast<size_t>(t * rate / 1000.0);
            double phase = 0.0;
            for (size_t i = 0; i < rate * 2 / 5 && start + i < signal.size(); ++i) {
                const double s = static_cast<double>(i) / rate;
                phase += 2 * kPi * (50.0 + 70.0 * std::exp(-s / 0.04)) / rate;
                signal[start + i] += static_cast<float>(0.2 * std::exp(-s / 0.15) * std::sin(phase) * std::min(1.0, s / 0.001));
            }
            AddSound(signal, rate, t * rate / 1000.0, 0.15f, Sound::Tone, 2, 82.4, random);
            for (const double pitch : {523.3, 659.3, 784.0})
                AddSound(signal, rate, (t + 250.0) * rate / 1000.0, 0.6f, Sound::Tone, 2, pitch, random);
        }
        const OnsetStrength strength = StrengthOf(signal, rate, random);
        ASSERT_EQ(strength.Values.size(), strength.Low.size());
        // The largest of a curve within 20 ms after a time (the strength
        // peaks as a sound enters the window, up to WindowMs / 2 before it).
        const auto top = [&](const std::vector<float>& curve, double at) {
            float most = 0.0f;
            for (double t = at - strength.WindowMs / 2 - 5.0; t <= at + 20.0; t += strength.HopMs) {
                const auto f = static_cast<size_t>(std::max(0.0, t / strength.HopMs));
                if (f < curve.size())
                    most = std::max(most, curve[f]);
            }
            return most;
        };
        for (size_t k = 1; k < beats.size(); ++k) {
            EXPECT_GT(top(strength.Values, offBeats[k]), top(strength.Values, beats[k])) << rate << " beat " << k;
            EXPECT_GT(top(strength.Low, beats[k]), 0.2f) << rate << " beat " << k;
            EXPECT_LT(top(strength.Low, offBeats[k]), 0.35f * top(strength.Low, beats[k])) << rate << " beat " << k;
        }
    }
}

TEST(OnsetStrength, DoesNotDependOnHowTheFramesArrive)
{
    std::mt19937 random(97);
    const std::vector<Placed> placed = RandomTimes(random, 80, 2500);
    std::vector<float> mono(44100 * 3);
    for (const Placed& p : placed)
        AddSound(mono, 44100, p.TimeMs * 44.1, p.Level, Sound::Burst, 0, 0, random);
    // Stereo whose mean is the mono signal exactly (halves of a float).
    std::vector<float> stereo(2 * mono.size());
    for (size_t i = 0; i < mono.size(); ++i)
        stereo[2 * i] = stereo[2 * i + 1] = mono[i];
    const OnsetStrength alone = StrengthOf(mono, 44100, random);
    VectorDecoder decoder(stereo, 2, 5);
    OnsetStrength scanned;
    ASSERT_EQ(ScanResult::Done, BuildOnsetStrength(decoder, scanned).result);
    EXPECT_EQ(OnsetStrengthDigest(alone), OnsetStrengthDigest(scanned));
    EXPECT_EQ(alone.Values, scanned.Values);

    // The envelope and the strength from one pass, each as its own pass
    // makes it.
    PeakEnvelope together(256);
    OnsetStrengthSink sink;
    ASSERT_EQ(ScanResult::Done, ScanAudio(decoder, {&together, &sink}).result);
    PeakEnvelope apart(256);
    ASSERT_EQ(ScanResult::Done, BuildPeakEnvelope(decoder, apart).result);
    EXPECT_EQ(alone.Values, sink.Result().Values);
    ASSERT_EQ(apart.Blocks().size(), together.Blocks().size());
    for (size_t b = 0; b < apart.Blocks().size(); ++b) {
        ASSERT_EQ(apart.Blocks()[b].low, together.Blocks()[b].low);
        ASSERT_EQ(apart.Blocks()[b].high, together.Blocks()[b].high);
    }
    PeakEnvelope envelope(256);
    OnsetStrength both;
    ASSERT_EQ(ScanResult::Done, BuildEnvelopeAndOnsetStrength(decoder, envelope, both).result);
    EXPECT_EQ(alone.Values, both.Values);
    EXPECT_EQ(apart.Blocks().size(), envelope.Blocks().size());

    // A pass that fails leaves no strength behind.
    VectorDecoder failing(stereo, 2, 5, 20000);
    OnsetStrength failed = alone;
    EXPECT_EQ(ScanResult::Failed, BuildOnsetStrength(failing, failed).result);
    EXPECT_TRUE(failed.Values.empty());
}

TEST(OnsetStrengthDigest, ChangesWithEveryBitOfEveryValue)
{
    OnsetStrength strength;
    strength.HopMs = 2.5;
    strength.WindowMs = 40.0;
    strength.Values = {0.0f, 0.25f, 1.0f, 0.5f, 0.125f, 0.75f, 0.0625f, 0.375f, 0.9f, 0.1f};
    strength.FineWindowMs = 10.0;
    strength.Fine = {0.5f, 0.0f, 0.75f, 1.0f, 0.125f, 0.25f, 0.0625f, 0.375f, 0.1f, 0.9f};
    strength.SwellLagMs = 30.0;
    strength.Swell = {0.1f, 0.2f, 0.0f, 0.0f, 0.5f, 1.0f, 0.25f, 0.125f, 0.0625f, 0.3f};
    strength.Low = {0.3f, 0.0f, 0.1f, 0.2f, 0.0f, 0.5f, 1.0f, 0.25f, 0.125f, 0.0625f};
    const std::string digest = OnsetStrengthDigest(strength);
    EXPECT_EQ(0u, digest.find("hop 4004000000000000 window 4044000000000000 fine 4024000000000000 swell "
                              "403e000000000000 values 10\n"));
    EXPECT_NE(std::string::npos, digest.find("3e800000"));  // 0.25
    for (size_t i = 0; i < strength.Values.size(); ++i) {
        OnsetStrength changed = strength;
        changed.Values[i] = std::nextafter(changed.Values[i], 2.0f);
        EXPECT_NE(digest, OnsetStrengthDigest(changed)) << i;
        changed = strength;
        changed.Fine[i] = std::nextafter(changed.Fine[i], 2.0f);
        EXPECT_NE(digest, OnsetStrengthDigest(changed)) << i;
        changed = strength;
        changed.Swell[i] = std::nextafter(changed.Swell[i], 2.0f);
        EXPECT_NE(digest, OnsetStrengthDigest(changed)) << i;
        changed = strength;
        changed.Low[i] = std::nextafter(changed.Low[i], 2.0f);
        EXPECT_NE(digest, OnsetStrengthDigest(changed)) << i;
    }
    OnsetStrength other = strength;
    other.HopMs = std::nextafter(2.5, 3.0);
    EXPECT_NE(digest, OnsetStrengthDigest(other));
    other = strength;
    other.FineWindowMs = std::nextafter(10.0, 11.0);
    EXPECT_NE(digest, OnsetStrengthDigest(other));
    other = strength;
    other.SwellLagMs = std::nextafter(30.0, 31.0);
    EXPECT_NE(digest, OnsetStrengthDigest(other));
}

}  // namespace
