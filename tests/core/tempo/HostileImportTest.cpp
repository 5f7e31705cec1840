// Worst cases for the import: files built to cost as much time or memory as
// their size allows, or to lie about their size. Each must end with the right
// result; the sanitizer builds catch any overrun on the way.
#include <gtest/gtest.h>

#include <cstdint>

#include "SmfImages.h"
#include "Take.h"
#include "TempoImport.h"

namespace {

using namespace smfimg;

ImportResult Convert(const Bytes& image, int timeSigBase, Take& take)
{
    return ConvertTempoFile(image.data(), static_cast<uint32_t>(image.size()), timeSigBase, take);
}

bool Refused(const Bytes& image, int timeSigBase)
{
    Take take{1};
    return Convert(image, timeSigBase, take) == ImportResult::Unsupported && take.empty();
}

// Every beat `ms` milliseconds long.
::testing::AssertionResult EvenBeats(const Take& take, size_t count, uint32_t ms)
{
    if (take.size() != count)
        return ::testing::AssertionFailure() << take.size() << " beats instead of " << count;
    for (size_t k = 0; k < take.size(); ++k)
        if (take[k] != ms * (k + 1))
            return ::testing::AssertionFailure() << "beat " << k << " at " << take[k] << " ms";
    return ::testing::AssertionSuccess();
}

TEST(HostileImport, AnnouncedTracksThatAreMissing)
{
    const Bytes track = Cat({Tempo(0, 500000), EndOfTrack(1920)});
    EXPECT_TRUE(Refused(SmfBuilder(1, 480).Announce(65535).Track(track).Track(track).Build(), 2));
    EXPECT_TRUE(Refused(SmfBuilder(0, 480).Announce(65535).Track(track).Build(), 2));
}

TEST(HostileImport, SixtyFiveThousandTracks)
{
    // 65535 tracks of End of Track alone; the latest ends at 3 beats, and the
    // tempo of the first track governs them all.
    SmfBuilder file(1, 480);
    file.Track(Cat({Tempo(0, 250000), EndOfTrack()}));
    for (uint32_t i = 1; i < 65535; ++i)
        file.Track(EndOfTrack(480 * (i % 4)));
    Take take;
    ASSERT_EQ(ImportResult::Converted, Convert(file.Build(), 2, take));
    EXPECT_TRUE(EvenBeats(take, 3, 250));
}

TEST(HostileImport, TwoThousandTracksOfOneNoteEach)
{
    // Track i plays one eighth note from tick 240 * i: the last ends at
    // 480000 ticks, 1000 quarter notes of 250 ms.
    SmfBuilder file(1, 480);
    file.Track(Cat({Tempo(0, 250000), EndOfTrack()}));
    for (uint32_t i = 1; i < 2000; ++i)
        file.Track(Cat({Ev(240 * i, {0x90, 0x3C, 0x64}), Ev(240, {0x80, 0x3C, 0x40}), EndOfTrack()}));
    Take take;
    ASSERT_EQ(ImportResult::Converted, Convert(file.Build(), 2, take));
    EXPECT_TRUE(EvenBeats(take, 1000, 250));
}

TEST(HostileImport, AMillionBeatsOfOneTickInAFormat1File)
{
    // Division 8 and 32nd notes: one tick per beat, 60 ms each, then 30 ms
    // from the tempo change in the second track at beat 500000 on.
    const auto file = [](uint32_t end) {
        return SmfBuilder(1, 8)
            .Track(Cat({Tempo(0, 480000), EndOfTrack()}))
            .Track(Cat({Tempo(500000, 240000), EndOfTrack(end - 500000)}))
            .Build();
    };
    Take take;
    ASSERT_EQ(ImportResult::Converted, Convert(file(1000000), 5, take));
    ASSERT_EQ(1000000u, take.size());
    EXPECT_EQ(60u, take.front());
    EXPECT_EQ(30000000u, take[499999]);
    EXPECT_EQ(30000030u, take[500000]);
    EXPECT_EQ(45000000u, take.back());
    EXPECT_TRUE(Refused(file(1000001), 5));
}

TEST(HostileImport, DivisionOfOneWithThirtySecondNotesHasNoBeat)
{
    // 4 ticks per whole note / 32 = 0 ticks per beat: refused, even with the
    // longest track the format allows.
    EXPECT_TRUE(Refused(SmfBuilder(0, 1).Track(EndOfTrack(0x0FFFFFFF)).Build(), 5));
    EXPECT_TRUE(Refused(SmfBuilder(1, 1).Track(EndOfTrack(1)).Track(EndOfTrack(0x0FFFFFFF)).Build(), 5));
}

TEST(HostileImport, TempoEventsWhoseDeltasSumPast32Bits)
{
    // Seventeen deltas of 0x0FFFFFFF on events the import keeps.
    Bytes events;
    for (int i = 0; i < 17; ++i)
        events = Cat({events, Tempo(0x0FFFFFFF, 500000)});
    events = Cat({events, EndOfTrack()});
    EXPECT_TRUE(Refused(SmfBuilder(0, 0x7FFF).Track(events).Build(), 0));
    EXPECT_TRUE(Refused(SmfBuilder(1, 0x7FFF).Track(EndOfTrack()).Track(events).Build(), 0));
}

TEST(HostileImport, LengthsClaimingFarMoreThanTheFileHolds)
{
    // Meta and system exclusive events of 0x0FFFFFFF bytes; told 16, the
    // file is fine.
    const Bytes tail = Cat({Bytes(16, 'x'), EndOfTrack()});
    EXPECT_FALSE(Refused(OneTrackFile(Cat({Ev(0, {0xFF, 0x01, 0x10}), tail})), 2));
    EXPECT_TRUE(Refused(OneTrackFile(Cat({Ev(0, {0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F}), tail})), 2));
    EXPECT_TRUE(Refused(OneTrackFile(Cat({Ev(0, {0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}), tail})), 2));
    EXPECT_TRUE(Refused(OneTrackFile(Cat({Ev(0, {0xF0, 0xFF, 0xFF, 0xFF, 0x7F}), tail})), 2));
    // The header, a track chunk and an unknown chunk claiming 4 GiB.
    const Bytes track = Cat({Tempo(0, 500000), EndOfTrack()});
    const auto lengthAt = [](Bytes image, size_t at) {
        image[at] = image[at + 1] = image[at + 2] = image[at + 3] = 0xFF;
        return image;
    };
    EXPECT_TRUE(Refused(lengthAt(OneTrackFile(track), 4), 2));
    EXPECT_TRUE(Refused(lengthAt(OneTrackFile(track), 18), 2));
    EXPECT_TRUE(Refused(lengthAt(SmfBuilder(0, 480).AddChunk("XFIH", {1, 2, 3}).Track(track).Build(), 18), 2));
}

}  // namespace
