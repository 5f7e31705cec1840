// The library's invariant checks stop the program and name the expression and
// the source file that checks it. The patterns stay within what GoogleTest's
// simple regular expressions (used on Windows) understand.
//
// Not covered: "NULL != pSequence" guards the parser's private readers,
// which only Parse calls, after it has set the sequence.
#include <gtest/gtest.h>

#include <cstdint>

#include "mkByteStream.h"
#include "mkMidiEvent.h"
#include "mkSmfSequence.h"
#include "mkSmfTrack.h"

namespace {

class AssertionDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void AddEndOfTrack(mkSmfTrack& t, uint32_t time)
{
    const uint8_t data[2] = {0x2F, 0x00};
    t.AddEvent(time, 0xFF, data, 2);
}

TEST_F(AssertionDeathTest, StatusOfAnEventWithoutBytes)
{
    const mkMidiEvent ev;
    EXPECT_DEATH(static_cast<void>(ev.GetStatus()),
                 "Assertion failed: GetMessageCount\\(\\) >= 1, file .*mkMidiEvent.*, line ");
}

TEST_F(AssertionDeathTest, WriterReadsEveryStatusThroughGetStatus)
{
    // An event emptied through the track's positions has no status left to
    // write; the writer must not read past its bytes.
    mkSmfSequence seq;
    mkSmfTrack& t = seq.AddTrack();
    AddEndOfTrack(t, 0);
    t.begin()->Message.SetSize(0);
    mkByteBuffer out;
    EXPECT_DEATH(seq.Write(out, false), "Assertion failed: GetMessageCount\\(\\) >= 1, file .*mkMidiEvent");
}

TEST_F(AssertionDeathTest, MergeOfATrackIntoItself)
{
    mkSmfTrack t;
    AddEndOfTrack(t, 0);
    AddEndOfTrack(t, 960);
    EXPECT_DEATH(t.Merge(t), "Assertion failed: this != &src, file .*mkSmfTrack.*, line ");

    mkSmfTrack empty;
    EXPECT_DEATH(empty.Merge(empty), "this != &src, file .*mkSmfTrack");
}

TEST_F(AssertionDeathTest, StreamWithoutBlock)
{
    mkByteStream s;
    uint8_t out[4] = {};
    uint8_t b = 0;
    EXPECT_DEATH(s.Read(out, 4), "Assertion failed: NULL != pData && length > 0, file .*mkByteStream.*, line ");
    EXPECT_DEATH(s.Peek(b), "Assertion failed: NULL != pData, file .*mkByteStream.*, line ");
    EXPECT_DEATH(s.Skip(1), "Assertion failed: NULL != pData, file .*mkByteStream");
    // The block is required before anything else, also for an empty skip.
    EXPECT_DEATH(s.Skip(0), "Assertion failed: NULL != pData, file .*mkByteStream");
}

TEST_F(AssertionDeathTest, StreamReadOfNothing)
{
    const uint8_t block[4] = {1, 2, 3, 4};
    mkByteStream s;
    s.SetData(block, sizeof block);
    uint8_t out[4] = {};
    EXPECT_DEATH(s.Read(out, 0), "Assertion failed: NULL != pData && length > 0, file .*mkByteStream");
}

TEST_F(AssertionDeathTest, WriterLengthMismatchOnAnOversizedDelta)
{
    // A delta of 0x10000000 needs five bytes, one more than the length
    // precomputation allows for; deltas must stay below that, and the writer
    // refuses to hand out an image whose length it got wrong.
    mkSmfSequence seq;
    AddEndOfTrack(seq.AddTrack(), 0x10000000);
    mkByteBuffer out;
    EXPECT_DEATH(seq.Write(out, false), "Assertion failed: SmfDataLen == Offset, file .*mkSmfSequence.*, line ");
}

}  // namespace
