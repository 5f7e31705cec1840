// The envelope against a plain second computation over the whole signal,
// for random signals read in random blocks; its outward rounding; the decode
// pass's progress, cancelling, failures and mono mix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "AudioTestSupport.h"
#include "PeakEnvelope.h"
#include "WavImages.h"

namespace {

using namespace audiotest;

// The 16-bit step of `x` rounded outwards, computed in double.
int Step(double x, bool up)
{
    const double s = up ? std::ceil(x * 32768.0) : std::floor(x * 32768.0);
    return static_cast<int>(std::max(-32768.0, std::min(32767.0, s)));
}

std::vector<float> RandomSignal(std::mt19937& random, size_t samples)
{
    std::vector<float> signal(samples);
    std::uniform_real_distribution<float> level(-1.0f, 1.0f);
    const float loudness = std::uniform_real_distribution<float>(0.001f, 1.2f)(random);
    for (float& s : signal)
        s = level(random) * loudness;
    return signal;
}

TEST(PeakEnvelope, EveryBlockHoldsItsFramesLowestAndHighestSample)
{
    std::mt19937 random(31);
    for (int round = 0; round < 200; ++round) {
        const uint32_t channels = 1 + static_cast<uint32_t>(random() % 6);
        const size_t frames = random() % 6000;
        const uint32_t perBlock = std::vector<uint32_t>{1, 7, 64, 256, 1000, 9999}[random() % 6];
        SCOPED_TRACE(std::to_string(channels) + " channels, " + std::to_string(frames) + " frames, blocks of " +
                     std::to_string(perBlock));
        const std::vector<float> signal = RandomSignal(random, frames * channels);
        VectorDecoder decoder(signal, channels, static_cast<uint32_t>(round));
        PeakEnvelope envelope(perBlock);
        const ScanOutcome outcome = BuildPeakEnvelope(decoder, envelope);
        ASSERT_EQ(ScanResult::Done, outcome.result) << outcome.error;
        EXPECT_EQ(frames, outcome.frames);
        EXPECT_EQ(frames, envelope.Frames());
        const size_t blocks = (frames + perBlock - 1) / perBlock;
        ASSERT_EQ(blocks, envelope.Blocks().size());
        for (size_t b = 0; b < blocks; ++b) {
            const auto first = signal.begin() + b * perBlock * channels;
            const auto last = signal.begin() + std::min(frames, (b + 1) * perBlock) * channels;
            const auto [low, high] = std::minmax_element(first, last);
            ASSERT_EQ(Step(*low, false), envelope.Blocks()[b].low) << "block " << b;
            ASSERT_EQ(Step(*high, true), envelope.Blocks()[b].high) << "block " << b;
        }
        // Any stretch, as a pixel column of any width takes it.
        for (int q = 0; q < 20 && frames > 0; ++q) {
            uint64_t begin = random() % frames, end = begin + 1 + random() % (frames - begin + perBlock);
            const PeakPair span = envelope.Span(begin, end);
            const size_t firstBlock = static_cast<size_t>(begin / perBlock);
            const size_t lastBlock = static_cast<size_t>(std::min<uint64_t>((end - 1) / perBlock, blocks - 1));
            int low = 32767, high = -32768;
            for (size_t b = firstBlock; b <= lastBlock; ++b) {
                low = std::min<int>(low, envelope.Blocks()[b].low);
                high = std::max<int>(high, envelope.Blocks()[b].high);
            }
            EXPECT_EQ(low, span.low) << begin << ".." << end;
            EXPECT_EQ(high, span.high) << begin << ".." << end;
        }
        EXPECT_EQ(0, envelope.Span(frames + perBlock, frames + 2 * perBlock).high);
    }
}

TEST(PeakEnvelope, PeaksAreRoundedOutwardsAndKeptInSixteenBits)
{
    std::mt19937 random(37);
    std::uniform_real_distribution<float> any(-1.0f, 1.0f);
    for (int i = 0; i < 100000; ++i) {
        const float x = any(random);
        ASSERT_LE(PeakStep(x, false) / 32768.0, x);
        ASSERT_GE(PeakStep(x, true) / 32768.0, std::min(x, 32767.0f / 32768));
        ASSERT_LE(PeakStep(x, true) - PeakStep(x, false), 1);
    }
    // The smallest sound is never drawn as silence; overs stay at the edge.
    EXPECT_EQ(1, PeakStep(1e-9f, true));
    EXPECT_EQ(-1, PeakStep(-1e-9f, false));
    EXPECT_EQ(32767, PeakStep(1.0f, true));
    EXPECT_EQ(32767, PeakStep(1.7f, false));
    EXPECT_EQ(-32768, PeakStep(-1.0f, false));
    EXPECT_EQ(-32768, PeakStep(-3.0f, true));
}

// A sink that keeps what it is given.
class Recorder : public FrameSink {
public:
    explicit Recorder(bool mono) : mono_(mono) {}
    bool WantsMono() const override { return mono_; }
    void Begin(const AudioFormat& format) override { begun = format.frames; }
    void Consume(const float* samples, size_t frames, uint32_t channels) override
    {
        width = channels;
        got.insert(got.end(), samples, samples + frames * channels);
    }
    void End() override { ended = true; }
    uint64_t begun = 0;
    uint32_t width = 0;
    std::vector<float> got;
    bool ended = false;

private:
    bool mono_;
};

TEST(ScanAudio, EverySinkGetsTheFramesItAskedForOnce)
{
    std::mt19937 random(41);
    const uint32_t channels = 3;
    const std::vector<float> signal = RandomSignal(random, 50000 * channels);
    VectorDecoder decoder(signal, channels, 5);
    Recorder interleaved(false), mono(true);
    PeakEnvelope envelope;
    const ScanOutcome outcome = ScanAudio(decoder, {&interleaved, &envelope, &mono});
    ASSERT_EQ(ScanResult::Done, outcome.result);
    EXPECT_EQ(signal, interleaved.got);
    EXPECT_EQ(channels, interleaved.width);
    EXPECT_EQ(1u, mono.width);
    ASSERT_EQ(50000u, mono.got.size());
    for (size_t i = 0; i < mono.got.size(); ++i) {
        const double mean = (double(signal[i * 3]) + signal[i * 3 + 1] + signal[i * 3 + 2]) / 3;
        ASSERT_NEAR(mean, mono.got[i], 1e-6) << i;
    }
    EXPECT_TRUE(interleaved.ended && mono.ended);
    EXPECT_EQ(50000u, mono.begun);
    // A second pass starts again from the first frame.
    Recorder again(false);
    ASSERT_EQ(ScanResult::Done, ScanAudio(decoder, {&again}).result);
    EXPECT_EQ(signal, again.got);
}

TEST(ScanAudio, ProgressRisesToOneAndCanStopThePass)
{
    std::mt19937 random(43);
    const std::vector<float> signal = RandomSignal(random, 2 * 300000);
    VectorDecoder decoder(signal, 2, 9);
    std::vector<double> fractions;
    PeakEnvelope envelope;
    ScanOutcome outcome = BuildPeakEnvelope(decoder, envelope, [&](double f) {
        fractions.push_back(f);
        return true;
    });
    ASSERT_EQ(ScanResult::Done, outcome.result);
    ASSERT_GT(fractions.size(), 3u);
    EXPECT_EQ(0.0, fractions.front());
    EXPECT_EQ(1.0, fractions.back());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));

    int calls = 0;
    Recorder recorder(false);
    outcome = ScanAudio(decoder, {&recorder}, [&](double) { return ++calls < 3; });
    EXPECT_EQ(ScanResult::Cancelled, outcome.result);
    EXPECT_EQ(3, calls);
    EXPECT_LT(outcome.frames, 300000u);
    EXPECT_EQ(outcome.frames * 2, recorder.got.size());
    EXPECT_FALSE(recorder.ended);
}

TEST(ScanAudio, ADecoderThatFailsEndsThePassWithItsError)
{
    std::mt19937 random(47);
    const std::vector<float> signal = RandomSignal(random, 20000);
    VectorDecoder decoder(signal, 1, 3, 12345);
    Recorder recorder(false);
    const ScanOutcome outcome = ScanAudio(decoder, {&recorder});
    EXPECT_EQ(ScanResult::Failed, outcome.result);
    EXPECT_EQ("the test's decoder fails here", outcome.error);
    EXPECT_EQ(12345u, outcome.frames);
    EXPECT_FALSE(recorder.ended);
}

// From a WAV image through the real reader: the envelope of its 16-bit
// samples, which are exact, has each block's own sample steps.
TEST(ScanAudio, AWavRecordingsEnvelopeHasItsSamplesSteps)
{
    const wavimg::Bytes image = wavimg::PlainWav(10000);
    AudioOpenResult opened =
        OpenAudioSource(std::make_unique<MemoryByteSource>(image.data(), image.size()), "take.wav");
    ASSERT_TRUE(opened.decoder) << opened.message;
    PeakEnvelope envelope(256);
    ASSERT_EQ(ScanResult::Done, BuildPeakEnvelope(*opened.decoder, envelope).result);
    ASSERT_EQ(40u, envelope.Blocks().size());
    const size_t dataAt = image.size() - 40000;
    for (size_t b = 0; b < 40; ++b) {
        int low = 32767, high = -32768;
        for (size_t i = b * 512; i < std::min<size_t>(20000, (b + 1) * 512); ++i) {
            const int v = int16_t(image[dataAt + 2 * i] | (image[dataAt + 2 * i + 1] << 8));
            low = std::min(low, v);
            high = std::max(high, v);
        }
        EXPECT_EQ(low, envelope.Blocks()[b].low) << b;
        EXPECT_EQ(high, envelope.Blocks()[b].high) << b;
    }
}

}  // namespace
