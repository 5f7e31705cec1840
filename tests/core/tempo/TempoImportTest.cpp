#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SmfImages.h"
#include "Take.h"
#include "TempoImport.h"

namespace {

using namespace smfimg;

ImportResult Convert(const Bytes& image, int timeSigBase, Take& take)
{
    static const uint8_t emptyBlock[1] = {0};
    const uint8_t* data = image.empty() ? emptyBlock : image.data();
    return ConvertTempoFile(data, static_cast<uint32_t>(image.size()), timeSigBase, take);
}

// Converts an image that must be accepted and returns its beat times.
Take Beats(const Bytes& image, int timeSigBase)
{
    Take take;
    EXPECT_EQ(ImportResult::Converted, Convert(image, timeSigBase, take));
    return take;
}

bool Refused(const Bytes& image, int timeSigBase)
{
    Take take;
    return Convert(image, timeSigBase, take) == ImportResult::Unsupported;
}

Bytes Format0(uint16_t division, const Bytes& events)
{
    return SmfBuilder(0, division).Track(events).Build();
}

// Division 480, 500000 us per quarter note throughout, End of Track at 1920,
// with a few events the import has to look past.
Bytes QuarterNoteFile()
{
    return Format0(480, Cat({Ev(0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}), Ev(0, {0x90, 0x3C, 0x64}),
                             Ev(480, {0x80, 0x3C, 0x40}), Ev(0, {0xFF, 0x01, 0x03, 'a', 'b', 'c'}),
                             Ev(960, {0xB0, 0x07, 0x64}), EndOfTrack(480)}));
}

// A text event: a meta event the import ignores, handy to spend ticks.
Bytes TextAfter(uint32_t delta)
{
    return Ev(delta, {0xFF, 0x01, 0x00});
}

// --- Beat times ------------------------------------------------------------------------

TEST(TempoImportExamples, QuarterNotesAtTheDefaultTempo)
{
    Take take = Beats(QuarterNoteFile(), 2);
    EXPECT_EQ((Take{500, 1000, 1500, 2000}), take);

    // Listed: relative to the first beat.
    TakeSlot slot;
    slot.Start(take);
    const std::unique_ptr<Take> listed = HandOverTakeForList(slot);
    ASSERT_NE(nullptr, listed);
    NormalizeTake(*listed);
    EXPECT_EQ((Take{0, 500, 1000, 1500}), *listed);
}

TEST(TempoImportExamples, EighthNotes)
{
    EXPECT_EQ((Take{250, 500, 750, 1000, 1250, 1500, 1750, 2000}), Beats(QuarterNoteFile(), 3));
}

TEST(TempoImportExamples, WholeNotesGiveOneBeatWhichIsNotListed)
{
    Take take = Beats(QuarterNoteFile(), 0);
    EXPECT_EQ((Take{2000}), take);

    TakeSlot slot;
    slot.Start(take);
    EXPECT_EQ(nullptr, HandOverTakeForList(slot));
    EXPECT_TRUE(slot.IsEmpty());
}

TEST(TempoImportExamples, TempoChangeOnABeatTakesEffectAfterItsTap)
{
    const Bytes image = Format0(480, Cat({Tempo(960, 250000), EndOfTrack(960)}));
    EXPECT_EQ((Take{500, 1000, 1250, 1500}), Beats(image, 2));
}

TEST(TempoImportExamples, TempoChangeBetweenBeatsSplitsTheBeat)
{
    // Beat 2 = 500 + 250 (240 ticks at 500000) + 125 (240 ticks at 250000).
    const Bytes image = Format0(480, Cat({Tempo(720, 250000), EndOfTrack(1200)}));
    EXPECT_EQ((Take{500, 875, 1125, 1375}), Beats(image, 2));
}

TEST(TempoImportExamples, TempoAtTickZeroAppliesFromTheStart)
{
    const Bytes image = Format0(480, Cat({Tempo(0, 250000), EndOfTrack(1920)}));
    EXPECT_EQ((Take{250, 500, 750, 1000}), Beats(image, 2));
}

TEST(TempoImportExamples, Format1BeatsRunToTheLatestTrackEnd)
{
    const Bytes image =
        SmfBuilder(1, 480).Track(Cat({Tempo(0, 500000), EndOfTrack()})).Track(Cat({Ev(0, {0x90, 0x3C, 0x64}),
                                                                                   Ev(3840, {0x80, 0x3C, 0x40}),
                                                                                   EndOfTrack()}))
            .Build();
    EXPECT_EQ((Take{500, 1000, 1500, 2000, 2500, 3000, 3500, 4000}), Beats(image, 2));
}

TEST(TempoImportExamples, Format1TempoTrackGovernsTheNoteTracksBeats)
{
    // The tempo halves at tick 1920 in the first track; the notes run on.
    const Bytes image = SmfBuilder(1, 480)
                            .Track(Cat({Tempo(0, 500000), Tempo(1920, 250000), EndOfTrack()}))
                            .Track(Cat({Ev(0, {0x90, 0x3C, 0x64}), Ev(3840, {0x80, 0x3C, 0x40}), EndOfTrack()}))
                            .Build();
    EXPECT_EQ((Take{500, 1000, 1500, 2000, 2250, 2500, 2750, 3000}), Beats(image, 2));
}

TEST(TempoImportExamples, Format0UsesOnlyTheFirstTrack)
{
    const Bytes image = SmfBuilder(0, 480)
                            .Track(Cat({Tempo(0, 500000), EndOfTrack(1920)}))
                            .Track(Cat({Tempo(0, 250000), EndOfTrack(3840)}))
                            .Build();
    EXPECT_EQ((Take{500, 1000, 1500, 2000}), Beats(image, 2));
}

TEST(TempoImportExamples, SequenceNumbersOfTheFileGiveNoTaps)
{
    const Bytes image = Format0(480, Cat({Ev(0, {0xFF, 0x00, 0x02, 0x00, 0x01}), Ev(700, {0xFF, 0x00, 0x02, 0x00, 0x07}),
                                          Ev(260, {0xFF, 0x00, 0x02, 0x12, 0x34}), EndOfTrack(960)}));
    EXPECT_EQ((Take{500, 1000, 1500, 2000}), Beats(image, 2));
}

TEST(TempoImportExamples, SequenceNumbersInAnyTrackOfAFormat1FileGiveNoTaps)
{
    const Bytes image = SmfBuilder(1, 480)
                            .Track(Cat({Ev(0, {0xFF, 0x00, 0x02, 0x00, 0x01}), Tempo(0, 500000), EndOfTrack()}))
                            .Track(Cat({Ev(0, {0xFF, 0x00, 0x02, 0x00, 0x02}), Ev(480, {0xFF, 0x00, 0x02, 0x00, 0x03}),
                                        Ev(100, {0xFF, 0x00, 0x02, 0x00, 0x04}), EndOfTrack(1340)}))
                            .Build();
    EXPECT_EQ((Take{500, 1000, 1500, 2000}), Beats(image, 2));
}

TEST(TempoImportExamples, TempoEventsOfEveryFormat1TrackCount)
{
    // A tempo change in the second track is part of the tempo map as well.
    const Bytes image = SmfBuilder(1, 480)
                            .Track(Cat({Tempo(0, 500000), EndOfTrack()}))
                            .Track(Cat({Ev(0, {0x90, 0x3C, 0x64}), Tempo(960, 1000000), Ev(0, {0x80, 0x3C, 0x40}),
                                        EndOfTrack(960)}))
                            .Build();
    EXPECT_EQ((Take{500, 1000, 2000, 3000}), Beats(image, 2));
}

TEST(TempoImportExamples, PartOfABeatAtTheEndGivesNoTap)
{
    EXPECT_EQ((Take{500, 1000, 1500, 2000}), Beats(Format0(480, EndOfTrack(2000)), 2));
    EXPECT_EQ((Take{500, 1000, 1500}), Beats(Format0(480, EndOfTrack(1919)), 2));
}

TEST(TempoImportExamples, MacBinaryWrappedFileImportsLikeTheBareFile)
{
    const Bytes bare = Format0(480, Cat({Tempo(720, 250000), EndOfTrack(1200)}));
    EXPECT_EQ(Beats(bare, 2), Beats(MacBinary(bare), 2));
    EXPECT_EQ((Take{500, 875, 1125, 1375}), Beats(MacBinary(bare), 2));
}

TEST(TempoImportExamples, SlowTempoOverALongBeatDoesNotWrap)
{
    // 3840 ticks at 2000000 us: 7680000000 tick-microseconds, past 32 bits.
    const Bytes image = Format0(960, Cat({Tempo(0, 2000000), EndOfTrack(7680)}));
    EXPECT_EQ((Take{8000, 16000}), Beats(image, 0));
}

TEST(TempoImportExamples, BeatTimesRoundToTheNearestMillisecond)
{
    // 500.6, 1001.2 and 1501.8 ms.
    const Bytes image = Format0(480, Cat({Tempo(0, 500600), EndOfTrack(1440)}));
    EXPECT_EQ((Take{501, 1001, 1502}), Beats(image, 2));
}

TEST(TempoImportExamples, EarlierContentOfTheTakeIsReplaced)
{
    Take take{7, 8, 9};
    ASSERT_EQ(ImportResult::Converted, Convert(QuarterNoteFile(), 2, take));
    EXPECT_EQ((Take{500, 1000, 1500, 2000}), take);
}

TEST(TempoImportExamples, FileEndingAtTickZeroGivesNoBeat)
{
    Take take{1};
    ASSERT_EQ(ImportResult::Converted, Convert(Format0(480, Cat({Tempo(0, 500000), EndOfTrack()})), 2, take));
    EXPECT_TRUE(take.empty());
}

// --- Files that are refused ------------------------------------------------------------

TEST(TempoImportRefusals, WhatIsNotAReadableStandardMidiFile)
{
    EXPECT_TRUE(Refused({}, 2)) << "empty file";
    EXPECT_TRUE(Refused(Cat({Text("RIFF"), Be32(36), Text("WAVEfmt ")}), 2)) << "not MIDI";
    Bytes truncated = QuarterNoteFile();
    truncated.pop_back();
    EXPECT_TRUE(Refused(truncated, 2)) << "truncated";
    EXPECT_TRUE(Refused(Format0(480, Cat({Ev(0, {0xFF, 0x51, 0x02, 0x07, 0xA1}), EndOfTrack()})), 2))
        << "malformed tempo event";
}

TEST(TempoImportRefusals, Format2)
{
    const Bytes track = Cat({Tempo(0, 500000), EndOfTrack(1920)});
    EXPECT_TRUE(Refused(SmfBuilder(2, 480).Track(track).Track(track).Build(), 2));
    EXPECT_TRUE(Refused(SmfBuilder(2, 480).Track(track).Build(), 2));
}

TEST(TempoImportRefusals, SmpteDivision)
{
    const Bytes track = Cat({Tempo(0, 500000), EndOfTrack(1920)});
    EXPECT_TRUE(Refused(Format0(0xE728, track), 2));  // 25 frames, 40 ticks each
    EXPECT_TRUE(Refused(Format0(0xE250, track), 2));  // 30 frames
}

TEST(TempoImportRefusals, NoTrackChunk)
{
    EXPECT_TRUE(Refused(SmfBuilder(0, 480).Announce(0).Build(), 2));
    EXPECT_TRUE(Refused(SmfBuilder(1, 480).AddChunk("XFIH", {1, 2, 3}).Build(), 2));
}

TEST(TempoImportRefusals, BeatOfZeroTicks)
{
    const Bytes track = EndOfTrack(100);
    EXPECT_TRUE(Refused(Format0(7, track), 5));  // 28 ticks per whole note / 32
    EXPECT_TRUE(Refused(Format0(0, track), 2));
    EXPECT_TRUE(Refused(Format0(0, track), 0));
    EXPECT_TRUE(Refused(Format0(1, track), 3));  // 4 ticks per whole note / 8
}

TEST(TempoImportRefusals, SmallestBeatOfOneTickIsAccepted)
{
    // Division 8, 32nd notes: one tick of 480000 / 8 us.
    EXPECT_EQ((Take{60, 120, 180}), Beats(Format0(8, Cat({Tempo(0, 480000), EndOfTrack(3)})), 5));
}

TEST(TempoImportRefusals, AtMostAMillionBeats)
{
    // Division 1 and quarter notes: one beat per tick, 500 ms each.
    const Take take = Beats(Format0(1, EndOfTrack(1000000)), 2);
    ASSERT_EQ(1000000u, take.size());
    EXPECT_EQ(500u, take.front());
    EXPECT_EQ(1000u, take[1]);
    EXPECT_EQ(500000000u, take.back());

    EXPECT_TRUE(Refused(Format0(1, EndOfTrack(1000001)), 2));
    EXPECT_TRUE(Refused(Format0(1, EndOfTrack(0x0FFFFFFF)), 2));
    // The count is of beats, not ticks: two ticks per beat lets 2000000 ticks through.
    EXPECT_EQ(1000000u, Beats(Format0(2, EndOfTrack(2000000)), 2).size());
}

TEST(TempoImportRefusals, BeatTimesBeyond32BitMilliseconds)
{
    // One tick per beat at the slowest tempo, 16777.215 ms: beat 256000 lies
    // at 4294967040 ms, beat 256001 past 4294967295.
    const Take take = Beats(Format0(1, Cat({Tempo(0, 0xFFFFFF), EndOfTrack(256000)})), 2);
    ASSERT_EQ(256000u, take.size());
    EXPECT_EQ(16777u, take.front());
    EXPECT_EQ(4294967040u, take.back());

    EXPECT_TRUE(Refused(Format0(1, Cat({Tempo(0, 0xFFFFFF), EndOfTrack(256001)})), 2));
}

Bytes SixteenLongestDeltas()
{
    Bytes out;
    for (int i = 0; i < 16; ++i) {
        const Bytes ev = TextAfter(0x0FFFFFFF);
        out.insert(out.end(), ev.begin(), ev.end());
    }
    return out;  // ends at 4294967280
}

TEST(TempoImportRefusals, TrackTimesWrappingPast32Bits)
{
    // Sixteen deltas of 0x0FFFFFFF end at 4294967280; sixteen more ticks wrap.
    const Bytes wrapped = Cat({SixteenLongestDeltas(), EndOfTrack(16)});
    EXPECT_TRUE(Refused(Format0(0x7FFF, wrapped), 0));
    EXPECT_TRUE(Refused(Format0(0x7FFF, Cat({SixteenLongestDeltas(), TextAfter(0x0FFFFFFF), EndOfTrack()})), 0));
    // In any track of a format-1 file.
    EXPECT_TRUE(Refused(SmfBuilder(1, 0x7FFF).Track(Cat({Tempo(0, 500000), EndOfTrack()})).Track(wrapped).Build(), 0));
}

TEST(TempoImportRefusals, UnusedTracksOfAFormat0FileMayWrap)
{
    // A format-0 file is read from its first track only; further tracks, even
    // ones whose times wrap, change nothing.
    const Bytes wrapped = Cat({SixteenLongestDeltas(), EndOfTrack(16)});
    const Bytes first = Cat({Tempo(0, 250000), EndOfTrack(1920)});
    Take alone;
    Take withWrapped;
    ASSERT_EQ(ImportResult::Converted, Convert(SmfBuilder(0, 480).Track(first).Build(), 2, alone));
    ASSERT_EQ(ImportResult::Converted,
              Convert(SmfBuilder(0, 480).Track(first).Track(wrapped).Track(wrapped).Build(), 2, withWrapped));
    EXPECT_EQ((Take{250, 500, 750, 1000}), alone);
    EXPECT_EQ(alone, withWrapped);
    // The first track still counts.
    EXPECT_TRUE(Refused(SmfBuilder(0, 480).Track(wrapped).Track(first).Build(), 2));
}

TEST(TempoImportRefusals, TrackEndingAtTheLast32BitTickIsAccepted)
{
    // End at 4294967295; a whole note of 4 * 32767 = 131068 ticks fits 32769
    // times (131068 * 32769 = 4294967292), 2000 ms each at the default tempo.
    const Take take = Beats(Format0(0x7FFF, Cat({SixteenLongestDeltas(), EndOfTrack(15)})), 0);
    ASSERT_EQ(32769u, take.size());
    EXPECT_EQ(2000u, take.front());
    EXPECT_EQ(65538000u, take.back());
}

TEST(TempoImportRefusals, SetTempoLengthInMoreBytesThanNeeded)
{
    // FF 51 80 03 and FF 51 80 80 03: the length 3 in two and three bytes.
    const Bytes twoByteLength = Format0(480, Cat({Ev(0, {0xFF, 0x51, 0x80, 0x03, 0x03, 0xD0, 0x90}), EndOfTrack(1920)}));
    EXPECT_EQ((Take{250, 500, 750, 1000}), Beats(twoByteLength, 2));
    const Bytes threeByteLength =
        Format0(480, Cat({Ev(960, {0xFF, 0x51, 0x80, 0x80, 0x03, 0x0F, 0x42, 0x40}), EndOfTrack(960)}));
    EXPECT_EQ((Take{500, 1000, 2000, 3000}), Beats(threeByteLength, 2));
}

}  // namespace
