#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "SmfImages.h"
#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

// 32-bit results, so that arithmetic on them stays in uint32_t.
using Rng = std::independent_bits_engine<std::mt19937, 32, uint32_t>;

using smfimg::Bytes;
using smfimg::Cat;

Bytes Image(const mkByteBuffer& b)
{
    return Bytes(b.GetData(), b.GetData() + b.GetSize());
}

void AddMessage(mkSmfTrack& t, uint32_t time, const Bytes& message)
{
    t.AddEvent(time, message[0], message.data() + 1, static_cast<uint32_t>(message.size() - 1));
}

const Bytes kEndOfTrack = {0xFF, 0x2F, 0x00};
const Bytes kTempo500000 = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};

mkSmfSequence TempoSequence(uint32_t endOfTrackTime)
{
    mkSmfSequence seq;
    seq.Format = 0;
    EXPECT_TRUE(seq.SetDivision(2520));
    mkSmfTrack& t = seq.AddTrack();
    AddMessage(t, 0, kTempo500000);
    AddMessage(t, endOfTrackTime, kEndOfTrack);
    return seq;
}

// Writes with the given running-status mode and checks what every write has
// to satisfy: the result is the buffer's size, the buffer holds exactly that
// many bytes (one exact allocation), and the precomputed length agrees.
Bytes WriteChecked(const mkSmfSequence& seq, bool runningStatus)
{
    mkByteBuffer out;
    const uint32_t n = seq.Write(out, runningStatus);
    EXPECT_EQ(n, out.GetSize());
    EXPECT_EQ(n, out.GetCapacity());
    EXPECT_EQ(n, seq.CalcSmfDataLen(runningStatus));
    return Image(out);
}

TEST(mkSmfSequence, NewSequenceIsEmpty)
{
    const mkSmfSequence seq;
    EXPECT_EQ(0, seq.Format);
    EXPECT_EQ(0, seq.Division);
    EXPECT_EQ(0u, seq.GetTrackCount());
}

TEST(mkSmfSequence, WritesTheReferenceTempoImages)
{
    for (const bool runningStatus : {false, true}) {
        EXPECT_EQ(smfimg::Tempo33Image(), WriteChecked(TempoSequence(0), runningStatus));
        EXPECT_EQ(smfimg::Tempo34Image(), WriteChecked(TempoSequence(2520), runningStatus));
    }
}

TEST(mkSmfSequence, WriteReplacesWhatTheBufferHeld)
{
    mkByteBuffer out;
    out.SetSize(1000);
    for (uint32_t i = 0; i < 1000; ++i)
        out.GetData()[i] = 0xEE;
    EXPECT_EQ(33u, TempoSequence(0).Write(out, false));
    EXPECT_EQ(33u, out.GetSize());
    EXPECT_EQ(33u, out.GetCapacity()) << "the old allocation was kept instead of one of the final size";
    EXPECT_EQ(smfimg::Tempo33Image(), Image(out));
}

TEST(mkSmfSequence, HeaderFieldsAreBigEndian)
{
    mkSmfSequence seq;
    seq.Format = 0x0102;
    ASSERT_TRUE(seq.SetDivision(0xE728));
    seq.SetTrackCount(3);
    const Bytes img = WriteChecked(seq, false);
    EXPECT_EQ((Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0x01, 0x02, 0x00, 0x03, 0xE7, 0x28}),
        Bytes(img.begin(), img.begin() + 14));
}

TEST(mkSmfSequence, SequenceWithoutTracksIsJustTheHeader)
{
    mkSmfSequence seq;
    seq.Format = 1;
    seq.Division = 480;
    EXPECT_EQ((Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 0, 0x01, 0xE0}), WriteChecked(seq, true));
    std::vector<uint32_t> lengths = {5, 6, 7};
    EXPECT_EQ(14u, seq.CalcSmfDataLen(false, &lengths));
    EXPECT_TRUE(lengths.empty());
}

TEST(mkSmfSequence, EmptyTrackIsAnEmptyChunk)
{
    mkSmfSequence seq;
    seq.Division = 96;
    seq.AddTrack();
    EXPECT_EQ((Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 0}),
              WriteChecked(seq, false));
    EXPECT_EQ(8u, mkSmfSequence::CalcTrackDataLen(seq.GetTrack(0), true));
}

TEST(mkSmfSequence, TrackCountInTheHeaderWrapsAt65536)
{
    mkSmfSequence seq;
    seq.SetTrackCount(65537);
    const Bytes img = WriteChecked(seq, false);
    EXPECT_EQ(14u + 65537u * 8u, img.size());
    EXPECT_EQ(0x00, img[10]);
    EXPECT_EQ(0x01, img[11]);
}

TEST(mkSmfSequence, DeltaTimesAreVariableLengthQuantities)
{
    struct Case {
        uint32_t value;
        Bytes encoded;
    };
    const Case cases[] = {
        {0, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {2520, {0x93, 0x58}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x08000000, {0xC0, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        // Once as the first event's time, once as the distance between two
        // events: the delta is taken from the previous event.
        mkSmfSequence first;
        AddMessage(first.AddTrack(), c.value, kEndOfTrack);
        const Bytes chunk1 = Cat({c.encoded, kEndOfTrack});
        EXPECT_EQ(smfimg::SmfBuilder(0, 0).Track(chunk1).Build(), WriteChecked(first, false));

        mkSmfSequence between;
        mkSmfTrack& t = between.AddTrack();
        AddMessage(t, 1000, {0x90, 0x3C, 0x64});
        AddMessage(t, 1000 + c.value, kEndOfTrack);
        const Bytes chunk2 = Cat({{0x87, 0x68, 0x90, 0x3C, 0x64}, c.encoded, kEndOfTrack});
        EXPECT_EQ(smfimg::SmfBuilder(0, 0).Track(chunk2).Build(), WriteChecked(between, true));
    }
}

// Writes one track of messages, each at time 0, and returns its event data.
Bytes TrackData(const std::vector<Bytes>& messages, bool runningStatus)
{
    mkSmfSequence seq;
    mkSmfTrack& t = seq.AddTrack();
    for (const Bytes& m : messages)
        AddMessage(t, 0, m);
    const Bytes img = WriteChecked(seq, runningStatus);
    return Bytes(img.begin() + 22, img.end());
}

TEST(mkSmfSequence, RunningStatusDropsARepeatedChannelStatus)
{
    EXPECT_EQ((Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x3E, 0x64}),
              TrackData({{0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x64}}, true));
    EXPECT_EQ((Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x3E, 0x64}),
              TrackData({{0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x64}}, false));
    // One-data-byte messages and a run of three.
    EXPECT_EQ((Bytes{0x00, 0xC0, 0x05, 0x00, 0x06, 0x00, 0x07}),
        TrackData({{0xC0, 0x05}, {0xC0, 0x06}, {0xC0, 0x07}}, true));
    // Every channel status from 0x80 to 0xEF takes part.
    EXPECT_EQ(
        (Bytes{0x00, 0xEF, 0x00, 0x40, 0x00, 0x7F, 0x7F}), TrackData({{0xEF, 0x00, 0x40}, {0xEF, 0x7F, 0x7F}}, true));
    EXPECT_EQ(
        (Bytes{0x00, 0x80, 0x3C, 0x00, 0x00, 0x3E, 0x00}), TrackData({{0x80, 0x3C, 0x00}, {0x80, 0x3E, 0x00}}, true));
}

TEST(mkSmfSequence, RunningStatusKeepsTheStatusWhereItDiffers)
{
    // Another status, another channel, a meta or a system-exclusive event in
    // between: the status is written again.
    EXPECT_EQ((Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x80, 0x3C, 0x40}),
              TrackData({{0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x40}}, true));
    EXPECT_EQ((Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x91, 0x3C, 0x64}),
              TrackData({{0x90, 0x3C, 0x64}, {0x91, 0x3C, 0x64}}, true));
    EXPECT_EQ((Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x01, 'x', 0x00, 0x90, 0x3E, 0x64}),
              TrackData({{0x90, 0x3C, 0x64}, {0xFF, 0x01, 0x01, 'x'}, {0x90, 0x3E, 0x64}}, true));
    EXPECT_EQ((Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x90, 0x3E, 0x64}),
              TrackData({{0x90, 0x3C, 0x64}, {0xF0, 0x01, 0xF7}, {0x90, 0x3E, 0x64}}, true));
    // Meta and system-exclusive events are never shortened.
    EXPECT_EQ((Bytes{0x00, 0xFF, 0x01, 0x00, 0x00, 0xFF, 0x01, 0x00, 0x00, 0xF0, 0x00, 0x00, 0xF0, 0x00}),
              TrackData({{0xFF, 0x01, 0x00}, {0xFF, 0x01, 0x00}, {0xF0, 0x00}, {0xF0, 0x00}}, true));
}

TEST(mkSmfSequence, RunningStatusKeepsTheStatusBeforeADataByteWithBit7Set)
{
    // Without its status, 80 64 would be read back as a note-off status.
    const std::vector<Bytes> messages = {{0x90, 0x3C, 0x64}, {0x90, 0x80, 0x64}, {0x90, 0x3E, 0x64}};
    EXPECT_EQ((Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x80, 0x64, 0x00, 0x3E, 0x64}), TrackData(messages, true));

    mkSmfSequence seq;
    mkSmfTrack& t = seq.AddTrack();
    for (const Bytes& m : messages)
        AddMessage(t, 0, m);
    AddMessage(t, 0, kEndOfTrack);
    const Bytes img = WriteChecked(seq, true);
    mkSmfSequence back;
    mkSmfParser parser;
    ASSERT_TRUE(parser.Parse(back, img.data(), static_cast<uint32_t>(img.size()), false));
    ASSERT_EQ(1u, back.GetTrackCount());
    ASSERT_EQ(4u, back.GetTrack(0).GetEventCount());
    auto it = back.GetTrack(0).begin();
    for (const Bytes& m : messages) {
        EXPECT_EQ(m, Bytes(it->GetMessageData(), it->GetMessageData() + it->GetMessageCount()));
        ++it;
    }
}

TEST(mkSmfSequence, RunningStatusStartsAfreshInEveryTrack)
{
    mkSmfSequence seq;
    seq.Format = 1;
    AddMessage(seq.AddTrack(), 0, {0x90, 0x3C, 0x64});
    AddMessage(seq.AddTrack(), 0, {0x90, 0x3E, 0x64});
    std::vector<uint32_t> lengths;
    const uint32_t total = seq.CalcSmfDataLen(true, &lengths);
    EXPECT_EQ((std::vector<uint32_t>{12, 12}), lengths);
    EXPECT_EQ(14u + 24u, total);
    const Bytes expected =
        smfimg::SmfBuilder(1, 0).Track({0x00, 0x90, 0x3C, 0x64}).Track({0x00, 0x90, 0x3E, 0x64}).Build();
    EXPECT_EQ(expected, WriteChecked(seq, true));
}

// Sequences of arbitrary (not necessarily parseable) events with deltas of
// every encoded size and frequent status repeats.
mkSmfSequence RandomSequence(Rng& rng)
{
    static const uint32_t kDeltaLimits[] = {0x80, 0x4000, 0x200000, 0x10000000};
    mkSmfSequence seq;
    seq.Format = 1;
    const size_t trackCount = rng() % 4u;
    for (size_t i = 0; i < trackCount; ++i) {
        mkSmfTrack& t = seq.AddTrack();
        uint32_t time = 0;
        uint8_t status = 0x90;
        const int events = static_cast<int>(rng() % 12u);
        for (int e = 0; e < events; ++e) {
            const uint32_t limit = kDeltaLimits[rng() % 4u];
            time += rng() % limit;
            const uint32_t kind = rng() % 8u;
            if (kind == 0)
                status = 0xFF;
            else if (kind == 1)
                status = 0xF0;
            else if (kind < 4)
                status = static_cast<uint8_t>(0x80 + rng() % 0x70u);
            // else: repeat the previous status
            uint8_t data[4];
            for (uint8_t& d : data)
                d = static_cast<uint8_t>(rng() % 0x100u);
            t.AddEvent(time, status, data, rng() % 5u);
        }
    }
    return seq;
}

TEST(mkSmfSequence, PrecomputedLengthsAgreeWithWhatIsWritten)
{
    Rng rng(4242u);
    for (int round = 0; round < 300; ++round) {
        const mkSmfSequence seq = RandomSequence(rng);
        for (const bool runningStatus : {false, true}) {
            SCOPED_TRACE(round);
            std::vector<uint32_t> lengths = {99};
            const uint32_t total = seq.CalcSmfDataLen(runningStatus, &lengths);
            ASSERT_EQ(seq.GetTrackCount(), lengths.size());
            const Bytes img = WriteChecked(seq, runningStatus);
            ASSERT_EQ(total, img.size());

            // Walk the chunks: each announces its precomputed length minus 8.
            size_t offset = 14;
            for (size_t i = 0; i < lengths.size(); ++i) {
                ASSERT_EQ(lengths[i], mkSmfSequence::CalcTrackDataLen(seq.GetTrack(i), runningStatus));
                ASSERT_LE(offset + 8, img.size());
                ASSERT_EQ(Bytes({'M', 'T', 'r', 'k'}),
                    Bytes(img.begin() + std::ptrdiff_t(offset), img.begin() + std::ptrdiff_t(offset) + 4));
                const uint32_t announced = uint32_t(img[offset + 4]) << 24 | uint32_t(img[offset + 5]) << 16 |
                                           uint32_t(img[offset + 6]) << 8 | img[offset + 7];
                ASSERT_EQ(lengths[i] - 8, announced);
                offset += lengths[i];
            }
            ASSERT_EQ(img.size(), offset);
        }
    }
}

TEST(mkSmfSequence, ClassifyDivisionReadsTheHighByteAsSigned)
{
    EXPECT_EQ(mkSmfSequence::DivisionMetrical, mkSmfSequence::ClassifyDivision(0x01E0));
    EXPECT_EQ(mkSmfSequence::DivisionSmpte25, mkSmfSequence::ClassifyDivision(0xE728));
    EXPECT_EQ(mkSmfSequence::DivisionSmpte30, mkSmfSequence::ClassifyDivision(0xE250));
    EXPECT_EQ(mkSmfSequence::DivisionInvalid, mkSmfSequence::ClassifyDivision(0x8000));
    EXPECT_EQ(0, mkSmfSequence::DivisionMetrical);
    EXPECT_EQ(2, mkSmfSequence::DivisionSmpte25);
    EXPECT_EQ(4, mkSmfSequence::DivisionSmpte30);
    EXPECT_EQ(5, mkSmfSequence::DivisionInvalid);

    // Every high byte, with low bytes that must not matter.
    for (int high = 0; high < 0x100; ++high) {
        int expected = mkSmfSequence::DivisionInvalid;
        if (high < 0x80)
            expected = mkSmfSequence::DivisionMetrical;
        else if (high == 0xE8)
            expected = mkSmfSequence::DivisionSmpte24;
        else if (high == 0xE7)
            expected = mkSmfSequence::DivisionSmpte25;
        else if (high == 0xE3)
            expected = mkSmfSequence::DivisionSmpte30Drop;
        else if (high == 0xE2)
            expected = mkSmfSequence::DivisionSmpte30;
        for (const int low : {0x00, 0x28, 0x80, 0xFF}) {
            const uint16_t division = static_cast<uint16_t>(high << 8 | low);
            ASSERT_EQ(expected, mkSmfSequence::ClassifyDivision(division)) << std::hex << division;
        }
    }
}

TEST(mkSmfSequence, SetDivisionStoresAllButInvalidWords)
{
    mkSmfSequence seq;
    for (const uint16_t good :
        std::initializer_list<uint16_t>{0x0000, 0x01E0, 0x7FFF, 0xE818, 0xE728, 0xE350, 0xE250, 0xE2FF}) {
        EXPECT_TRUE(seq.SetDivision(good)) << std::hex << good;
        EXPECT_EQ(good, seq.Division);
    }
    ASSERT_TRUE(seq.SetDivision(2520));
    for (const uint16_t bad : std::initializer_list<uint16_t>{0x8000, 0xE628, 0xE428, 0xE128, 0xFF00, 0xFFFF, 0xE900}) {
        EXPECT_FALSE(seq.SetDivision(bad)) << std::hex << bad;
        EXPECT_EQ(2520, seq.Division) << "a refused word was stored";
    }
}

TEST(mkSmfSequence, SetTrackCountGrowsAndShrinksAtTheEnd)
{
    mkSmfSequence seq;
    seq.SetTrackCount(2);
    ASSERT_EQ(2u, seq.GetTrackCount());
    EXPECT_TRUE(seq.GetTrack(0).IsEmpty());
    AddMessage(seq.GetTrack(0), 0, kEndOfTrack);
    AddMessage(seq.GetTrack(1), 7, kEndOfTrack);
    seq.SetTrackCount(4);
    EXPECT_EQ(4u, seq.GetTrackCount());
    EXPECT_TRUE(seq.GetTrack(3).IsEmpty());
    EXPECT_EQ(7u, seq.GetTrack(1).GetFirst().Time);
    seq.SetTrackCount(1);
    ASSERT_EQ(1u, seq.GetTrackCount());
    EXPECT_EQ(0u, seq.GetTrack(0).GetFirst().Time);
    seq.SetTrackCount(0);
    EXPECT_EQ(0u, seq.GetTrackCount());
}

TEST(mkSmfSequence, AddTrackReferencesSurviveMoreTracks)
{
    mkSmfSequence seq;
    mkSmfTrack& first = seq.AddTrack();
    for (int i = 0; i < 1000; ++i)
        seq.AddTrack();
    AddMessage(first, 5, kEndOfTrack);
    EXPECT_EQ(&first, &seq.GetTrack(0));
    EXPECT_EQ(1u, seq.GetTrack(0).GetEventCount());
    EXPECT_EQ(1001u, seq.GetTrackCount());
}

TEST(mkSmfSequence, CopyIsDeep)
{
    const mkSmfSequence original = TempoSequence(2520);
    mkSmfSequence copy(original);
    copy.GetTrack(0).GetFirst().Message.GetData()[3] = 0;
    copy.AddTrack();
    EXPECT_EQ(smfimg::Tempo34Image(), WriteChecked(original, false));
}

// Times and first data bytes of a track.
std::vector<std::pair<uint32_t, Bytes>> Dump(const mkSmfTrack& t)
{
    std::vector<std::pair<uint32_t, Bytes>> out;
    for (const mkMidiEvent& ev : t)
        out.emplace_back(ev.Time, Bytes(ev.GetMessageData(), ev.GetMessageData() + ev.GetMessageCount()));
    return out;
}

TEST(mkSmfSequence, ConvertToFormat0FoldsTheTracksInTimeAndTrackOrder)
{
    mkSmfSequence seq;
    seq.Format = 1;
    mkSmfTrack& tempo = seq.AddTrack();
    AddMessage(tempo, 0, kTempo500000);
    AddMessage(tempo, 0, kEndOfTrack);
    mkSmfTrack& notes = seq.AddTrack();
    AddMessage(notes, 0, {0xC0, 0x05});
    AddMessage(notes, 0, {0x90, 0x3C, 0x64});
    AddMessage(notes, 1920, {0x80, 0x3C, 0x40});
    AddMessage(notes, 3840, kEndOfTrack);
    mkSmfTrack& more = seq.AddTrack();
    AddMessage(more, 0, {0xC1, 0x06});
    AddMessage(more, 1920, {0x91, 0x40, 0x64});
    AddMessage(more, 2000, kEndOfTrack);

    ASSERT_TRUE(seq.ConvertToFormat0());
    EXPECT_EQ(0, seq.Format);
    ASSERT_EQ(1u, seq.GetTrackCount());
    const std::vector<std::pair<uint32_t, Bytes>> expected = {
        {0, kTempo500000},       {0, {0xC0, 0x05}},       {0, {0x90, 0x3C, 0x64}}, {0, {0xC1, 0x06}},
        {1920, {0x80, 0x3C, 0x40}}, {1920, {0x91, 0x40, 0x64}}, {3840, kEndOfTrack},
    };
    EXPECT_EQ(expected, Dump(seq.GetTrack(0)));
}

TEST(mkSmfSequence, ConvertToFormat0AgreesWithFoldingTrackByTrack)
{
    // The fold must come out as merging each track into the first in turn,
    // for time-ordered tracks and for tracks whose times went backwards (a
    // parsed track whose time wrapped past 32 bits).
    Rng rng(8086u);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        mkSmfSequence seq;
        seq.Format = 1;
        const size_t trackCount = 2u + rng() % 4u;
        uint8_t tag = 0;
        for (size_t i = 0; i < trackCount; ++i) {
            mkSmfTrack& t = seq.AddTrack();
            uint32_t time = rng() % 4u;
            const uint32_t n = rng() % 5u;
            for (uint32_t e = 0; e < n; ++e) {
                AddMessage(t, time, {0x90, tag++, 0x40});
                time = rng() % 8u == 0 ? time - 2u : time + rng() % 3u;
            }
            if (rng() % 4u != 0)
                AddMessage(t, time, kEndOfTrack);
        }
        mkSmfSequence reference = seq;
        for (size_t i = 1; i < reference.GetTrackCount(); ++i)
            reference.GetTrack(0).Merge(reference.GetTrack(i));

        ASSERT_TRUE(seq.ConvertToFormat0());
        EXPECT_EQ(0, seq.Format);
        ASSERT_EQ(1u, seq.GetTrackCount());
        ASSERT_EQ(Dump(reference.GetTrack(0)), Dump(seq.GetTrack(0)));
    }
}

TEST(mkSmfSequence, ConvertToFormat0OfOneTrack)
{
    mkSmfSequence seq = TempoSequence(2520);
    seq.Format = 1;
    ASSERT_TRUE(seq.ConvertToFormat0());
    EXPECT_EQ(0, seq.Format);
    EXPECT_EQ(smfimg::Tempo34Image(), WriteChecked(seq, false));
}

TEST(mkSmfSequence, ConvertToFormat0RefusesOtherFormats)
{
    for (const uint16_t format : std::initializer_list<uint16_t>{0, 2, 3}) {
        mkSmfSequence seq = TempoSequence(0);
        AddMessage(seq.AddTrack(), 3840, kEndOfTrack);
        seq.Format = format;
        const Bytes before = WriteChecked(seq, false);
        EXPECT_FALSE(seq.ConvertToFormat0()) << format;
        EXPECT_EQ(format, seq.Format);
        EXPECT_EQ(2u, seq.GetTrackCount());
        EXPECT_EQ(before, WriteChecked(seq, false));
    }
}

}  // namespace
