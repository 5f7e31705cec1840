// The envelope's tree of spans answers every frame range as the envelope's
// own block-by-block Span does, for envelopes of any length and block size.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "PeakEnvelope.h"
#include "TakeGenerator.h"
#include "WaveformLevels.h"

namespace {

TEST(WaveformLevels, AnswersEveryRangeAsTheEnvelopeDoes)
{
    TakeRandom random(20261209);
    for (int round = 0; round < 60; ++round) {
        const uint32_t perBlock = static_cast<uint32_t>(random.Between(1, 300));
        // Block counts around powers of two and far from them, one and none.
        const size_t frames = round == 0 ? 0 : round == 1 ? 5 : static_cast<size_t>(random.Between(1, 40000));
        PeakEnvelope envelope(perBlock);
        AudioFormat format;
        format.sampleRate = 8000;
        format.channels = 2;
        format.frames = frames;
        envelope.Begin(format);
        std::vector<float> samples(frames * 2);
        for (float& s : samples)
            s = static_cast<float>(random.Uniform(-1.0, 1.0) * random.Uniform(0.0, 1.0));
        envelope.Consume(samples.data(), frames, 2);
        envelope.End();
        const WaveformLevels levels(envelope);
        SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(frames) + " frames in blocks of " +
                     std::to_string(perBlock));
        ASSERT_EQ(envelope.Blocks().size(), levels.BlockCount());
        EXPECT_EQ(envelope.Frames(), levels.Frames());
        for (int q = 0; q < 200; ++q) {
            // Ranges inside, across the end, past it and empty ones.
            const uint64_t begin = static_cast<uint64_t>(random.Between(0, static_cast<int>(frames) + 600));
            const uint64_t end = begin + static_cast<uint64_t>(random.Between(-2, static_cast<int>(frames) / 3 + 3));
            const PeakPair want = envelope.Span(begin, end);
            const PeakPair got = levels.Span(begin, end);
            ASSERT_EQ(want.low, got.low) << begin << ".." << end;
            ASSERT_EQ(want.high, got.high) << begin << ".." << end;
        }
    }
}

}  // namespace
