#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "mkByteStream.h"

namespace {

TEST(mkByteStream, NewStreamHasNoBlock)
{
    const mkByteStream s;
    EXPECT_EQ(nullptr, s.GetData());
    EXPECT_EQ(0u, s.GetPosition());
    EXPECT_EQ(0u, s.GetSize());
    EXPECT_EQ(0u, s.GetLastCount());
}

TEST(mkByteStream, ReadCopiesWhatIsLeftAndReportsTheCount)
{
    const uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    mkByteStream s;
    s.SetData(block, sizeof block);
    uint8_t out[10] = {};
    EXPECT_EQ(4u, s.Read(out, 4));
    EXPECT_EQ(4u, s.GetPosition());
    EXPECT_EQ(3, out[3]);
    EXPECT_EQ(6u, s.Read(out, 10));
    EXPECT_EQ(10u, s.GetPosition());
    EXPECT_EQ(9, out[5]);
    EXPECT_EQ(0u, s.Read(out, 1));
}

TEST(mkByteStream, ReadTracksTheLastCountAndLeavesItAtTheEnd)
{
    const uint8_t block[10] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    mkByteStream s;
    s.SetData(block, sizeof block);
    uint8_t out[16] = {};
    ASSERT_EQ(4u, s.Read(out, 4));
    EXPECT_EQ(4u, s.GetLastCount());
    EXPECT_EQ((std::vector<uint8_t>{10, 11, 12, 13}), std::vector<uint8_t>(out, out + 4));

    // A short read: only 6 are left of the 16 asked for.
    ASSERT_EQ(6u, s.Read(out, 16));
    EXPECT_EQ(6u, s.GetLastCount());
    EXPECT_EQ(10u, s.GetPosition());
    EXPECT_EQ((std::vector<uint8_t>{14, 15, 16, 17, 18, 19}), std::vector<uint8_t>(out, out + 6));

    // At the end nothing moves, not even the last count.
    out[0] = 0xAA;
    EXPECT_EQ(0u, s.Read(out, 1));
    EXPECT_EQ(0xAA, out[0]);
    EXPECT_EQ(10u, s.GetPosition());
    EXPECT_EQ(6u, s.GetLastCount());
}

TEST(mkByteStream, ReadNeverTouchesMemoryOutsideTheBlockOrBeyondTheCount)
{
    // The block is the middle of a larger array; its neighbours must not leak in.
    const uint8_t memory[8] = {0xEE, 0xEE, 1, 2, 3, 0xEE, 0xEE, 0xEE};
    mkByteStream s;
    s.SetData(memory + 2, 3);
    uint8_t out[8];
    for (uint8_t& b : out)
        b = 0x55;
    EXPECT_EQ(3u, s.Read(out, 8));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 0x55, 0x55, 0x55, 0x55, 0x55}), std::vector<uint8_t>(out, out + 8));
    EXPECT_EQ(memory + 2, s.GetData());
    EXPECT_EQ(3u, s.GetSize());
}

TEST(mkByteStream, HugeLengthsDoNotWrapAround)
{
    const uint8_t block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    mkByteStream s;
    s.SetData(block, sizeof block);
    ASSERT_TRUE(s.Skip(2));
    uint8_t out[10] = {};
    EXPECT_EQ(8u, s.Read(out, UINT32_MAX));
    EXPECT_EQ(9, out[7]);
    EXPECT_EQ(10u, s.GetPosition());

    s.SetData(block, sizeof block);
    ASSERT_TRUE(s.Skip(2));
    EXPECT_FALSE(s.Skip(UINT32_MAX));
    EXPECT_EQ(10u, s.GetPosition());
    EXPECT_EQ(8u, s.GetLastCount());
}

TEST(mkByteStream, SkipAdvancesAndFailsOnlyWhenDataIsMissing)
{
    const uint8_t block[10] = {};
    mkByteStream s;
    s.SetData(block, sizeof block);

    EXPECT_TRUE(s.Skip(0));
    EXPECT_EQ(0u, s.GetPosition());
    EXPECT_EQ(0u, s.GetLastCount()) << "Skip(0) moves nothing and counts nothing";

    EXPECT_TRUE(s.Skip(6));
    EXPECT_EQ(6u, s.GetPosition());
    EXPECT_EQ(6u, s.GetLastCount());

    // 10 asked, 4 left: moves to the end and fails.
    EXPECT_FALSE(s.Skip(10));
    EXPECT_EQ(10u, s.GetPosition());
    EXPECT_EQ(4u, s.GetLastCount());

    EXPECT_TRUE(s.Skip(0)) << "Skip(0) succeeds even at the end";
    EXPECT_FALSE(s.Skip(1));
    EXPECT_EQ(10u, s.GetPosition());
    EXPECT_EQ(4u, s.GetLastCount());
}

TEST(mkByteStream, SkipToExactlyTheEndSucceeds)
{
    const uint8_t block[5] = {};
    mkByteStream s;
    s.SetData(block, sizeof block);
    EXPECT_TRUE(s.Skip(2));
    EXPECT_TRUE(s.Skip(3));
    EXPECT_EQ(5u, s.GetPosition());
    EXPECT_EQ(3u, s.GetLastCount());
}

TEST(mkByteStream, PeekDoesNotAdvance)
{
    const uint8_t block[3] = {0x90, 0x3C, 0x64};
    mkByteStream s;
    s.SetData(block, sizeof block);
    ASSERT_TRUE(s.Skip(1));

    uint8_t b = 0;
    ASSERT_TRUE(s.Peek(b));
    EXPECT_EQ(0x3C, b);
    EXPECT_EQ(1u, s.GetPosition());
    b = 0;
    ASSERT_TRUE(s.Peek(b));
    EXPECT_EQ(0x3C, b);

    uint8_t read = 0;
    ASSERT_EQ(1u, s.Read(&read, 1));
    EXPECT_EQ(0x3C, read);
    ASSERT_TRUE(s.Peek(b));
    EXPECT_EQ(0x64, b);

    ASSERT_TRUE(s.Skip(1));
    b = 0x77;
    EXPECT_FALSE(s.Peek(b));
    EXPECT_EQ(0x77, b) << "a failed Peek leaves the output alone";
    EXPECT_EQ(3u, s.GetPosition());
}

TEST(mkByteStream, EmptyBlockHasNothingToGive)
{
    const uint8_t memory[1] = {0x42};
    mkByteStream s;
    s.SetData(memory, 0);
    uint8_t out[4] = {};
    uint8_t b = 0;
    EXPECT_EQ(0u, s.Read(out, 1));
    EXPECT_EQ(0u, s.Read(out, 4));
    EXPECT_FALSE(s.Skip(1));
    EXPECT_FALSE(s.Peek(b));
    EXPECT_TRUE(s.Skip(0));
    EXPECT_EQ(0u, s.GetPosition());
    EXPECT_EQ(0, out[0]);
}

TEST(mkByteStream, SetDataAttachesANewBlockFromItsStart)
{
    const uint8_t first[4] = {1, 2, 3, 4};
    const uint8_t second[2] = {7, 8};
    mkByteStream s;
    s.SetData(first, sizeof first);
    ASSERT_TRUE(s.Skip(4));

    s.SetData(second, sizeof second);
    EXPECT_EQ(second, s.GetData());
    EXPECT_EQ(0u, s.GetPosition());
    EXPECT_EQ(2u, s.GetSize());
    uint8_t out[4] = {};
    EXPECT_EQ(2u, s.Read(out, 4));
    EXPECT_EQ(7, out[0]);
    EXPECT_EQ(8, out[1]);
    EXPECT_EQ(0, out[2]);
}

}  // namespace
