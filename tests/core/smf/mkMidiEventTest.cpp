#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "mkMidiEvent.h"

namespace {

std::vector<uint8_t> Content(const mkByteBuffer& b)
{
    return std::vector<uint8_t>(b.GetData(), b.GetData() + b.GetSize());
}

void Fill(mkByteBuffer& b, uint8_t first)
{
    for (uint32_t i = 0; i < b.GetSize(); ++i)
        b.GetData()[i] = static_cast<uint8_t>(first + i);
}

TEST(mkByteBuffer, NewBufferOwnsNothing)
{
    const mkByteBuffer b;
    EXPECT_EQ(nullptr, b.GetData());
    EXPECT_EQ(0u, b.GetSize());
    EXPECT_EQ(0u, b.GetCapacity());
}

TEST(mkByteBuffer, GrowsToExactlyTheSizeAskedFor)
{
    // Appending one byte at a time without reserving reallocates every time:
    // growth is never by a factor.
    mkByteBuffer b;
    for (uint32_t n = 1; n <= 40; ++n) {
        b.SetSize(n);
        b.GetData()[n - 1] = static_cast<uint8_t>(n);
        ASSERT_EQ(n, b.GetSize());
        ASSERT_EQ(n, b.GetCapacity());
    }
    for (uint32_t i = 0; i < 40; ++i)
        ASSERT_EQ(i + 1, b.GetData()[i]) << "growing lost byte " << i;
}

TEST(mkByteBuffer, ShrinkingKeepsTheAllocationAndGrowingWithinItDoesNotMove)
{
    mkByteBuffer b;
    b.SetSize(100);
    Fill(b, 0);
    const uint8_t* block = b.GetData();

    b.SetSize(4);
    EXPECT_EQ(4u, b.GetSize());
    EXPECT_EQ(100u, b.GetCapacity());
    EXPECT_EQ(block, b.GetData());

    // The writer's pattern: reserve the final size, then grow byte by byte.
    for (uint32_t n = 5; n <= 100; ++n) {
        b.SetSize(n);
        ASSERT_EQ(block, b.GetData());
        ASSERT_EQ(100u, b.GetCapacity());
    }
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 2, 3}), std::vector<uint8_t>(b.GetData(), b.GetData() + 4));
}

TEST(mkByteBuffer, GrowingPastTheCapacityKeepsTheBytesInUse)
{
    mkByteBuffer b;
    b.SetSize(6);
    Fill(b, 10);
    b.SetSize(3);
    b.SetSize(9);
    EXPECT_EQ(9u, b.GetSize());
    EXPECT_EQ(9u, b.GetCapacity());
    EXPECT_EQ((std::vector<uint8_t>{10, 11, 12}), std::vector<uint8_t>(b.GetData(), b.GetData() + 3));
}

TEST(mkByteBuffer, SizeZeroFreesTheAllocation)
{
    mkByteBuffer b;
    b.SetSize(64);
    b.SetSize(0);
    EXPECT_EQ(nullptr, b.GetData());
    EXPECT_EQ(0u, b.GetSize());
    EXPECT_EQ(0u, b.GetCapacity());

    // The next allocation is exact again, not the old 64.
    b.SetSize(3);
    EXPECT_NE(nullptr, b.GetData());
    EXPECT_EQ(3u, b.GetCapacity());
}

TEST(mkByteBuffer, CopyAllocatesOnlyTheBytesInUse)
{
    mkByteBuffer b;
    b.SetSize(50);
    Fill(b, 1);
    b.SetSize(5);

    const mkByteBuffer copy(b);
    EXPECT_EQ(5u, copy.GetSize());
    EXPECT_EQ(5u, copy.GetCapacity());
    EXPECT_NE(b.GetData(), copy.GetData());
    EXPECT_EQ(Content(b), Content(copy));

    b.GetData()[0] = 99;
    EXPECT_EQ(1, copy.GetData()[0]) << "the copy shares storage with its source";

    const mkByteBuffer emptyCopy{mkByteBuffer()};
    EXPECT_EQ(nullptr, emptyCopy.GetData());
    EXPECT_EQ(0u, emptyCopy.GetCapacity());
}

TEST(mkByteBuffer, CopyAssignmentReplacesContentAndCapacity)
{
    mkByteBuffer src;
    src.SetSize(3);
    Fill(src, 7);

    mkByteBuffer dst;
    dst.SetSize(200);
    dst = src;
    EXPECT_EQ(3u, dst.GetSize());
    EXPECT_EQ(3u, dst.GetCapacity());
    EXPECT_EQ(Content(src), Content(dst));
    EXPECT_NE(src.GetData(), dst.GetData());

    mkByteBuffer& alias = dst;
    dst = alias;
    EXPECT_EQ((std::vector<uint8_t>{7, 8, 9}), Content(dst)) << "self-assignment lost the content";

    dst = mkByteBuffer();
    EXPECT_EQ(0u, dst.GetSize());
    EXPECT_EQ(nullptr, dst.GetData());
}

TEST(mkByteBuffer, MoveTakesTheAllocationAndEmptiesTheSource)
{
    // Beyond the bytes kept inside the object, so there is a heap block to
    // hand over.
    const uint32_t capacity = mkByteBuffer::InlineCapacity + 8;
    mkByteBuffer src;
    src.SetSize(capacity);
    Fill(src, 0);
    src.SetSize(2);
    const uint8_t* block = src.GetData();

    mkByteBuffer moved(std::move(src));
    EXPECT_EQ(block, moved.GetData());
    EXPECT_EQ(2u, moved.GetSize());
    EXPECT_EQ(capacity, moved.GetCapacity());
    EXPECT_EQ(0u, src.GetSize());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_EQ(0u, src.GetCapacity());
    EXPECT_EQ(nullptr, src.GetData());

    mkByteBuffer target;
    target.SetSize(1);
    target = std::move(moved);
    EXPECT_EQ(block, target.GetData());
    EXPECT_EQ(capacity, target.GetCapacity());
    EXPECT_EQ(0u, moved.GetCapacity());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(1, target.GetData()[1]);
}

TEST(mkByteBuffer, ShortContentMovesWithTheObject)
{
    mkByteBuffer src;
    src.SetSize(3);
    Fill(src, 7);
    mkByteBuffer moved(std::move(src));
    ASSERT_EQ(3u, moved.GetSize());
    EXPECT_EQ(3u, moved.GetCapacity());
    EXPECT_EQ(7, moved.GetData()[0]);
    EXPECT_EQ(9, moved.GetData()[2]);
    EXPECT_EQ(nullptr, src.GetData());  // NOLINT(bugprone-use-after-move)

    // Growing past the inline bytes keeps the content and grows exactly.
    moved.SetSize(mkByteBuffer::InlineCapacity + 1);
    EXPECT_EQ(mkByteBuffer::InlineCapacity + 1, moved.GetCapacity());
    EXPECT_EQ(8, moved.GetData()[1]);
}

TEST(mkMidiEvent, ConstructionPutsTheStatusInFrontOfACopyOfTheData)
{
    uint8_t data[3] = {0x51, 0x03, 0x07};
    const mkMidiEvent ev(2520, 0xFF, data, 3);
    data[0] = 0;  // the event must not refer to the caller's bytes
    EXPECT_EQ(2520u, ev.GetTime());
    EXPECT_EQ(2520u, ev.Time);
    ASSERT_EQ(4u, ev.GetMessageCount());
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0x51, 0x03, 0x07}), Content(ev.Message));
    EXPECT_EQ(ev.Message.GetData(), ev.GetMessageData());
    EXPECT_EQ(4u, ev.Message.GetCapacity());
    EXPECT_EQ(0xFF, ev.GetStatus());
}

TEST(mkMidiEvent, StatusOnlyEventHasOneByte)
{
    const mkMidiEvent ev(7, 0xF6, nullptr, 0);
    EXPECT_EQ(1u, ev.GetMessageCount());
    EXPECT_EQ(0xF6, ev.GetStatus());
    EXPECT_EQ(7u, ev.GetTime());
}

TEST(mkMidiEvent, DefaultEventIsEmpty)
{
    const mkMidiEvent ev;
    EXPECT_EQ(0u, ev.GetTime());
    EXPECT_EQ(0u, ev.GetMessageCount());
    EXPECT_EQ(nullptr, ev.GetMessageData());
}

TEST(mkMidiEvent, GetStatusIsTheFirstMessageByte)
{
    for (int status = 0x80; status <= 0xFF; ++status) {
        const uint8_t data[2] = {0x3C, 0x64};
        const mkMidiEvent ev(0, static_cast<uint8_t>(status), data, 2);
        ASSERT_EQ(status, ev.GetStatus());
    }
    mkMidiEvent ev(0, 0x90, nullptr, 0);
    ev.Message.GetData()[0] = 0x80;
    EXPECT_EQ(0x80, ev.GetStatus()) << "GetStatus reads the message, not a cached value";
}

TEST(mkMidiEvent, CopiesAreDeep)
{
    const uint8_t data[2] = {0x3C, 0x64};
    mkMidiEvent original(480, 0x90, data, 2);

    mkMidiEvent copy(original);
    EXPECT_EQ(480u, copy.Time);
    EXPECT_NE(original.GetMessageData(), copy.GetMessageData());
    EXPECT_EQ(Content(original.Message), Content(copy.Message));

    mkMidiEvent assigned(0, 0xC0, data, 1);
    assigned = original;
    EXPECT_EQ(480u, assigned.Time);
    EXPECT_EQ(3u, assigned.GetMessageCount());

    original.Message.GetData()[1] = 0x40;
    original.Time = 1;
    EXPECT_EQ(0x3C, copy.GetMessageData()[1]);
    EXPECT_EQ(0x3C, assigned.GetMessageData()[1]);
    EXPECT_EQ(480u, copy.Time);
}

}  // namespace
