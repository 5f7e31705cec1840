// The decoder of silence the latency dialog plays its clicks over: exactly
// as many frames as asked, all zero, in blocks of any size, and seekable.
#include <gtest/gtest.h>

#include <vector>

#include "SilenceDecoder.h"

namespace {

TEST(SilenceDecoder, ReadsExactlyItsFramesOfZeros)
{
    SilenceDecoder decoder(48000, 10007);
    EXPECT_EQ(decoder.Format().sampleRate, 48000u);
    EXPECT_EQ(decoder.Format().channels, 1u);
    EXPECT_EQ(decoder.Format().frames, 10007u);
    std::vector<float> block(1000, 1.0f);
    uint64_t total = 0;
    for (size_t read; (read = decoder.Read(block.data(), block.size())) > 0; total += read) {
        for (size_t i = 0; i < read; ++i)
            ASSERT_EQ(block[i], 0.0f);
        std::fill(block.begin(), block.end(), 1.0f);
    }
    EXPECT_EQ(total, 10007u);
    EXPECT_EQ(block[0], 1.0f);  // nothing written at the end
    EXPECT_TRUE(decoder.Error().empty());
}

TEST(SilenceDecoder, SeeksWithinItsLength)
{
    SilenceDecoder decoder(44100, 500);
    std::vector<float> block(600);
    EXPECT_TRUE(decoder.Seek(450));
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 50u);
    EXPECT_TRUE(decoder.Seek(500));
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 0u);
    EXPECT_FALSE(decoder.Seek(501));
    EXPECT_TRUE(decoder.Seek(0));
    EXPECT_EQ(decoder.Read(block.data(), block.size()), 500u);
}

}  // namespace
