#include <gtest/gtest.h>

#include "mkByteStream.h"

namespace {

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

}  // namespace
