#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "SmfImages.h"
#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

// 32-bit results, so that arithmetic on them stays in uint32_t.
using Rng = std::independent_bits_engine<std::mt19937, 32, uint32_t>;

using namespace smfimg;

using Events = std::vector<std::pair<uint32_t, Bytes>>;

Events Dump(const mkSmfTrack& t)
{
    Events out;
    for (const mkMidiEvent& ev : t)
        out.emplace_back(ev.Time, Bytes(ev.GetMessageData(), ev.GetMessageData() + ev.GetMessageCount()));
    return out;
}

std::vector<Events> DumpAll(const mkSmfSequence& seq)
{
    std::vector<Events> out;
    for (size_t i = 0; i < seq.GetTrackCount(); ++i)
        out.push_back(Dump(seq.GetTrack(i)));
    return out;
}

bool Parse(mkSmfSequence& seq, const Bytes& image, bool allowMacBinary = false)
{
    mkSmfParser parser;
    return parser.Parse(seq, image.data(), static_cast<uint32_t>(image.size()), allowMacBinary);
}

bool Parses(const Bytes& image, bool allowMacBinary = false)
{
    mkSmfSequence seq;
    return Parse(seq, image, allowMacBinary);
}

// Parses a one-track file and returns the track's events; fails the test if
// the file is refused.
Events TrackOf(const Bytes& events)
{
    mkSmfSequence seq;
    EXPECT_TRUE(Parse(seq, OneTrackFile(events)));
    if (seq.GetTrackCount() != 1) {
        ADD_FAILURE() << "expected one track, got " << seq.GetTrackCount();
        return {};
    }
    return Dump(seq.GetTrack(0));
}

Bytes Sample(const std::string& name)
{
    for (const auto& [n, bytes] : SampleSmfImages())
        if (n == name)
            return bytes;
    ADD_FAILURE() << "no sample named " << name;
    return {};
}

const Bytes kEot = {0xFF, 0x2F, 0x00};

TEST(mkSmfParser, ReadsTheReferenceTempoImages)
{
    mkSmfSequence seq;
    ASSERT_TRUE(Parse(seq, Tempo33Image()));
    EXPECT_EQ(0, seq.Format);
    EXPECT_EQ(2520, seq.Division);
    EXPECT_EQ((std::vector<Events>{{{0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}, {0, kEot}}}), DumpAll(seq));

    ASSERT_TRUE(Parse(seq, Tempo34Image()));
    EXPECT_EQ((std::vector<Events>{{{0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}, {2520, kEot}}}), DumpAll(seq));
}

TEST(mkSmfParser, EverySampleParsesAsItsNameSays)
{
    const auto samples = SampleSmfImages();
    EXPECT_GE(samples.size(), 20u);
    EXPECT_LE(samples.size(), 40u);
    std::set<std::string> names;
    for (const auto& [name, bytes] : samples) {
        EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
        EXPECT_EQ(std::string::npos, name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_-")) << name;
        const bool valid = name.rfind("valid-", 0) == 0;
        EXPECT_TRUE(valid || name.rfind("broken-", 0) == 0) << name;
        EXPECT_EQ(valid, Parses(bytes, true)) << name;
    }
}

TEST(mkSmfParser, EveryTruncatedPrefixOfAValidFileFails)
{
    // These have bytes behind their last announced chunk, so some of their
    // prefixes are complete files.
    const std::set<std::string> withTail
        = {"valid-zero-chunks", "valid-trailing-bytes", "valid-unrecognised-chunk-only"};
    int checked = 0;
    for (const auto& [name, bytes] : SampleSmfImages()) {
        if (name.rfind("valid-", 0) != 0 || withTail.count(name))
            continue;
        ++checked;
        for (uint32_t n = 0; n < bytes.size(); ++n) {
            mkSmfSequence seq;
            mkSmfParser parser;
            ASSERT_FALSE(parser.Parse(seq, bytes.data(), n, true)) << name << " cut to " << n << " bytes";
        }
    }
    EXPECT_GE(checked, 10);
}

TEST(mkSmfParser, MacBinaryHeaderIsSkippedOnlyWhenAllowed)
{
    const Bytes wrapped = MacBinary(Tempo33Image());
    ASSERT_EQ(128u + 33u, wrapped.size());

    mkSmfSequence plain;
    ASSERT_TRUE(Parse(plain, Tempo33Image()));
    mkSmfSequence seq;
    ASSERT_TRUE(Parse(seq, wrapped, true));
    EXPECT_EQ(0, seq.Format);
    EXPECT_EQ(2520, seq.Division);
    EXPECT_EQ(DumpAll(plain), DumpAll(seq));

    EXPECT_FALSE(Parses(wrapped, false));
    EXPECT_TRUE(Parses(Tempo33Image(), true)) << "a plain file is still fine when MacBinary is allowed";
}

TEST(mkSmfParser, MacBinaryHeaderRules)
{
    EXPECT_FALSE(Parses(MacBinary(Tempo33Image(), 1, 0), true)) << "byte 74 must be zero";
    EXPECT_FALSE(Parses(MacBinary(Tempo33Image(), 0, 0x80), true)) << "byte 82 must be zero";

    Bytes versionNotZero = MacBinary(Tempo33Image());
    versionNotZero[0] = 1;
    EXPECT_FALSE(Parses(versionNotZero, true));

    // Any other header byte may hold anything.
    Bytes busy = MacBinary(Tempo33Image());
    for (size_t i = 1; i < 128; ++i)
        if (i != 74 && i != 82)
            busy[i] = 0xA5;
    EXPECT_TRUE(Parses(busy, true));

    // No MThd at offset 128: one byte too many, or too few, in front.
    Bytes shifted = MacBinary(Tempo33Image());
    shifted.insert(shifted.begin() + 128, 0x00);
    EXPECT_FALSE(Parses(shifted, true));
    Bytes shortHeader = MacBinary(Tempo33Image());
    shortHeader.erase(shortHeader.begin() + 127);
    EXPECT_FALSE(Parses(shortHeader, true));

    EXPECT_FALSE(Parses(Bytes(128, 0), true)) << "header alone";
    EXPECT_FALSE(Parses(Bytes(100, 0), true)) << "shorter than a MacBinary header";
}

TEST(mkSmfParser, HeaderChunk)
{
    EXPECT_FALSE(Parses(Text("MTrk")));
    EXPECT_FALSE(Parses(Text("mthd")));
    EXPECT_FALSE(Parses(Text("RIFF")));

    // A longer header's extra bytes are skipped, not taken for a chunk.
    mkSmfSequence seq;
    ASSERT_TRUE(
        Parse(seq, SmfBuilder(1, 96).HeaderLength(8, {'M', 'T'}).Track(Cat({Tempo(0, 500000), EndOfTrack()})).Build()));
    EXPECT_EQ(1, seq.Format);
    EXPECT_EQ(96, seq.Division);
    EXPECT_EQ(1u, seq.GetTrackCount());

    EXPECT_FALSE(Parses(SmfBuilder(0, 96).HeaderLength(5).Track(Cat({EndOfTrack()})).Build()));
    EXPECT_FALSE(Parses(SmfBuilder(0, 96).HeaderLength(0).Track(Cat({EndOfTrack()})).Build()));
    // Announces 8 bytes but the file ends after 6 (and no chunk is needed).
    EXPECT_FALSE(Parses(SmfBuilder(0, 96).HeaderLength(8).Announce(0).Build()));
    EXPECT_TRUE(Parses(SmfBuilder(0, 96).HeaderLength(8, {0, 0}).Announce(0).Build()));
    EXPECT_FALSE(Parses(SmfBuilder(0, 96).HeaderLength(0xFFFFFFFF).Announce(0).Build()));
}

TEST(mkSmfParser, FormatsZeroToTwoOnly)
{
    const Bytes track = Cat({EndOfTrack()});
    for (const uint16_t format : std::initializer_list<uint16_t>{0, 1, 2}) {
        mkSmfSequence seq;
        ASSERT_TRUE(Parse(seq, SmfBuilder(format, 96).Track(track).Build())) << format;
        EXPECT_EQ(format, seq.Format);
    }
    EXPECT_FALSE(Parses(SmfBuilder(3, 96).Track(track).Build()));
    EXPECT_FALSE(Parses(SmfBuilder(0x100, 96).Track(track).Build()));
    EXPECT_FALSE(Parses(SmfBuilder(0xFFFF, 96).Track(track).Build()));
}

TEST(mkSmfParser, DivisionIsStoredAsWrittenUnlessInvalid)
{
    const Bytes track = Cat({EndOfTrack()});
    for (const uint16_t division :
        std::initializer_list<uint16_t>{0, 96, 2520, 0x7FFF, 0xE818, 0xE728, 0xE350, 0xE250}) {
        mkSmfSequence seq;
        ASSERT_TRUE(Parse(seq, SmfBuilder(0, division).Track(track).Build())) << std::hex << division;
        EXPECT_EQ(division, seq.Division);
    }
    for (const uint16_t division : std::initializer_list<uint16_t>{0xE628, 0x8000, 0xFF00, 0xE1E0})
        EXPECT_FALSE(Parses(SmfBuilder(0, division).Track(track).Build())) << std::hex << division;
}

TEST(mkSmfParser, ReadsExactlyTheAnnouncedNumberOfChunks)
{
    const Bytes t1 = Cat({Tempo(0, 500000), EndOfTrack()});
    const Bytes t2 = Cat({Ev(0, {0x90, 0x3C, 0x64}), EndOfTrack(480)});

    // Format 0 is not compared with the track count.
    mkSmfSequence seq;
    ASSERT_TRUE(Parse(seq, SmfBuilder(0, 480).Track(t1).Track(t2).Build()));
    EXPECT_EQ(0, seq.Format);
    ASSERT_EQ(2u, seq.GetTrackCount());
    EXPECT_EQ(480u, seq.GetTrack(1).GetLast().Time);

    // 0 announced: no tracks, whatever follows.
    ASSERT_TRUE(Parse(seq, SmfBuilder(1, 480).Announce(0).Track(t1).Build()));
    EXPECT_EQ(0u, seq.GetTrackCount());
    ASSERT_TRUE(Parse(seq, SmfBuilder(1, 480).Announce(0).Trailer({0xFF}).Build()));
    EXPECT_EQ(1, seq.Format);

    // Fewer chunks than announced.
    EXPECT_FALSE(Parses(SmfBuilder(1, 480).Announce(3).Track(t1).Track(t2).Build()));
    EXPECT_FALSE(Parses(SmfBuilder(1, 480).Announce(1).Build()));

    // More chunks than announced: the rest is never looked at.
    ASSERT_TRUE(Parse(seq, SmfBuilder(1, 480).Announce(1).Track(t1).Trailer(Text("MTrk garbage")).Build()));
    EXPECT_EQ(1u, seq.GetTrackCount());
}

TEST(mkSmfParser, UnrecognisedChunksCountAsAnnouncedChunks)
{
    const Bytes track = Cat({Tempo(0, 500000), EndOfTrack()});

    mkSmfSequence seq;
    ASSERT_TRUE(Parse(seq, SmfBuilder(0, 480).AddChunk("XFIH", {1, 2, 3}).Track(track).Build()));
    ASSERT_EQ(1u, seq.GetTrackCount());
    EXPECT_EQ(2u, seq.GetTrack(0).GetEventCount());

    ASSERT_TRUE(Parse(seq, SmfBuilder(0, 480).AddChunk("XFIH", {1, 2, 3}).Announce(1).Track(track).Build()));
    EXPECT_EQ(0u, seq.GetTrackCount());

    // Empty, lower-case look-alike, and one whose body could pass for a track.
    ASSERT_TRUE(Parse(seq, SmfBuilder(0, 480)
                               .AddChunk("XFKM", {})
                               .AddChunk("mtrk", Cat({Ev(0, {0x90, 0x3C, 0x64}), EndOfTrack()}))
                               .AddChunk("MTr ", {0xFF})
                               .Track(track)
                               .Build()));
    EXPECT_EQ(1u, seq.GetTrackCount());

    // Its announced length must be there.
    Bytes cut = SmfBuilder(0, 480).AddChunk("XFIH", {1, 2, 3}).Build();
    cut.pop_back();
    EXPECT_FALSE(Parses(cut));
    EXPECT_FALSE(Parses(Cat({SmfBuilder(0, 480).Announce(1).Build(), Text("XFIH"), {0, 0, 0}})));

    // A second header chunk is refused, not skipped.
    EXPECT_FALSE(Parses(SmfBuilder(0, 480).AddChunk("MThd", {0, 0, 0, 1, 0, 96}).Track(track).Build()));
}

TEST(mkSmfParser, RunningStatusEventsKeepTheirStatusByte)
{
    const Events events = TrackOf(RunningStatusEvents());
    EXPECT_EQ((Events{{0, {0x90, 0x3C, 0x64}},
                      {0, {0x90, 0x3E, 0x64}},
                      {480, {0x90, 0x3C, 0x00}},
                      {480, {0x90, 0x3E, 0x00}},
                      {480, kEot}}),
              events);
}

TEST(mkSmfParser, RunningStatusAcrossMessageKinds)
{
    const Events events = TrackOf(Cat({Ev(0, {0xC3, 0x01}), Ev(1, {0x02}), Ev(1, {0x03}), Ev(1, {0xB2, 0x07, 0x64}),
                                       Ev(1, {0x0A, 0x40}), Ev(1, {0xE5, 0x00, 0x40}), Ev(1, {0x7F, 0x7F}),
                                       Ev(1, {0xD4, 0x20}), Ev(1, {0x21}), EndOfTrack()}));
    EXPECT_EQ((Events{{0, {0xC3, 0x01}},
                      {1, {0xC3, 0x02}},
                      {2, {0xC3, 0x03}},
                      {3, {0xB2, 0x07, 0x64}},
                      {4, {0xB2, 0x0A, 0x40}},
                      {5, {0xE5, 0x00, 0x40}},
                      {6, {0xE5, 0x7F, 0x7F}},
                      {7, {0xD4, 0x20}},
                      {8, {0xD4, 0x21}},
                      {8, kEot}}),
              events);
}

TEST(mkSmfParser, RunningStatusEndsAtMetaAndSystemExclusiveEvents)
{
    const Bytes note = Ev(0, {0x90, 0x3C, 0x64});
    const Bytes data = Ev(0, {0x3E, 0x64});
    EXPECT_TRUE(Parses(OneTrackFile(Cat({note, data, EndOfTrack()}))));
    EXPECT_FALSE(Parses(OneTrackFile(Cat({note, Ev(0, {0xFF, 0x01, 0x00}), data, EndOfTrack()}))));
    EXPECT_FALSE(Parses(OneTrackFile(Cat({note, Ev(0, {0xF0, 0x01, 0xF7}), data, EndOfTrack()}))));
    EXPECT_FALSE(Parses(OneTrackFile(Cat({note, Ev(0, {0xF7, 0x00}), data, EndOfTrack()}))));
    // The meta or system-exclusive status does not run on either: these
    // bytes would make a valid text event or an empty system-exclusive
    // message if it did.
    EXPECT_FALSE(Parses(OneTrackFile(Cat({note, Ev(0, {0xFF, 0x01, 0x00}), Ev(0, {0x01, 0x00}), EndOfTrack()}))));
    EXPECT_FALSE(Parses(OneTrackFile(Cat({note, Ev(0, {0xF0, 0x01, 0xF7}), Ev(0, {0x00}), EndOfTrack()}))));
    EXPECT_FALSE(Parses(OneTrackFile(Cat({Ev(0, {0xF7, 0x00}), Ev(0, {0x00}), EndOfTrack()}))));
    // A new status after the meta event starts a new run.
    EXPECT_TRUE(
        Parses(OneTrackFile(Cat({note, Ev(0, {0xFF, 0x01, 0x00}), Ev(0, {0x80, 0x3C, 0x40}), data, EndOfTrack()}))));

    // No status at all at the start of a track, and none carried over from
    // the previous track.
    EXPECT_FALSE(Parses(OneTrackFile(Cat({data, EndOfTrack()}))));
    EXPECT_FALSE(
        Parses(SmfBuilder(1, 480).Track(Cat({note, data, EndOfTrack()})).Track(Cat({data, EndOfTrack()})).Build()));
}

TEST(mkSmfParser, ChannelDataBytesAreTakenAsTheyAre)
{
    // The second data byte has bit 7 set; the parser counts bytes, it does
    // not judge them.
    EXPECT_EQ((Events{{0, {0x90, 0x3C, 0x90}}, {0, {0xC0, 0xFF}}, {0, kEot}}),
              TrackOf(Cat({Ev(0, {0x90, 0x3C, 0x90}), Ev(0, {0xC0, 0xFF}), EndOfTrack()})));
}

TEST(mkSmfParser, SystemStatusesOtherThanExclusiveAndMetaAreRefused)
{
    for (int status = 0xF1; status <= 0xFE; ++status) {
        if (status == 0xF7)
            continue;
        EXPECT_FALSE(Parses(OneTrackFile(Cat({Ev(0, {uint8_t(status), 0x00, 0x00}), EndOfTrack()}))))
            << std::hex << status;
    }
}

TEST(mkSmfParser, SystemExclusiveKeepsItsLengthAsEncoded)
{
    Bytes long128 = {0xF0, 0x81, 0x00};
    long128.insert(long128.end(), 128, 0x11);
    const Bytes padded = {0xF0, 0x80, 0x80, 0x03, 0x01, 0x02, 0xF7};  // 3 in three bytes
    const Events events = TrackOf(Cat({Ev(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),
        Ev(10, {0xF7, 0x02, 0xF3, 0x01}), Ev(0, {0xF0, 0x00}), Ev(0, long128), Ev(0, padded), EndOfTrack()}));
    EXPECT_EQ((Events{{0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
                      {10, {0xF7, 0x02, 0xF3, 0x01}},
                      {10, {0xF0, 0x00}},
                      {10, long128},
                      {10, padded},
                      {10, kEot}}),
              events);

    EXPECT_FALSE(Parses(OneTrackFile(Cat({Ev(0, {0xF0, 0x05, 0x01, 0x02}), EndOfTrack()}))))
        << "the length swallows End of Track";
    EXPECT_FALSE(Parses(OneTrackFile(Cat({Ev(0, {0xF0, 0x80, 0x80, 0x80, 0x80, 0x00}), EndOfTrack()}))))
        << "five-byte length";
}

TEST(mkSmfParser, MetaTypesUpTo0x80AreAccepted)
{
    for (int type = 0x00; type <= 0x80; ++type) {
        if (type == 0x2F)
            continue;
        Bytes meta;
        switch (type) {
        case 0x00: meta = {0xFF, 0x00, 0x02, 0x00, 0x01}; break;
        case 0x20: meta = {0xFF, 0x20, 0x01, 0x00}; break;
        case 0x51: meta = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}; break;
        case 0x54: meta = {0xFF, 0x54, 0x05, 0x60, 0x00, 0x00, 0x00, 0x00}; break;
        case 0x58: meta = {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}; break;
        case 0x59: meta = {0xFF, 0x59, 0x02, 0x00, 0x00}; break;
        default: meta = {0xFF, uint8_t(type), 0x03, 'a', 'b', 'c'}; break;
        }
        EXPECT_EQ((Events{{0, meta}, {0, kEot}}), TrackOf(Cat({Ev(0, meta), EndOfTrack()}))) << std::hex << type;
    }
    for (int type = 0x81; type <= 0xFF; ++type)
        EXPECT_FALSE(Parses(OneTrackFile(Cat({Ev(0, {0xFF, uint8_t(type), 0x00}), EndOfTrack()})))) << std::hex << type;
}

TEST(mkSmfParser, KnownMetaTypesNeedTheirLength)
{
    const std::pair<uint8_t, uint32_t> required[] = {{0x00, 2}, {0x20, 1}, {0x51, 3}, {0x54, 5}, {0x58, 4}, {0x59, 2}};
    for (const auto& [type, length] : required) {
        for (uint32_t n = 0; n <= length + 2; ++n) {
            const Bytes meta = Cat({{0xFF, type}, VarLen(n), Bytes(n, 0x01)});
            EXPECT_EQ(n == length, Parses(OneTrackFile(Cat({Ev(0, meta), EndOfTrack()}))))
                << std::hex << int(type) << " with length " << n;
        }
    }
    // End of Track itself: a length other than 0 is refused.
    EXPECT_FALSE(Parses(OneTrackFile({0x00, 0xFF, 0x2F, 0x01, 0x00})));

    // The length counts, not its encoding: a tempo length written in two
    // bytes is accepted and kept as written.
    const Bytes paddedTempo = {0xFF, 0x51, 0x80, 0x03, 0x07, 0xA1, 0x20};
    EXPECT_EQ((Events{{0, paddedTempo}, {0, kEot}}), TrackOf(Cat({Ev(0, paddedTempo), EndOfTrack()})));
}

TEST(mkSmfParser, OtherMetaTypesTakeAnyLength)
{
    for (const uint32_t n : {0u, 1u, 127u, 128u, 200u, 0x4000u}) {
        const Bytes text = Cat({{0xFF, 0x01}, VarLen(n), Bytes(n, 'x')});
        EXPECT_EQ((Events{{0, text}, {0, kEot}}), TrackOf(Cat({Ev(0, text), EndOfTrack()}))) << n;
    }
}

TEST(mkSmfParser, TrackChunkMustEndExactlyWithEndOfTrack)
{
    const Bytes tempoTrack = Cat({Tempo(0, 500000), EndOfTrack()});
    EXPECT_TRUE(Parses(OneTrackFile(tempoTrack)));
    EXPECT_FALSE(Parses(OneTrackFile(Cat({tempoTrack, {0x00}})))) << "a byte left after End of Track";
    EXPECT_FALSE(Parses(OneTrackFile(Cat({tempoTrack, Ev(0, {0x90, 0x3C, 0x64})})))) << "an event after End of Track";
    EXPECT_FALSE(Parses(OneTrackFile(Tempo(0, 500000)))) << "no End of Track";
    EXPECT_FALSE(Parses(OneTrackFile(Cat({Ev(0, {0x90, 0x3C, 0x64}), Ev(0, {0x3E, 0x64})}))));

    // End of Track running past the chunk, with the file going on behind it.
    Bytes pastChunk = SmfBuilder(0, 480).Track(tempoTrack).Trailer({0x00, 0x00}).Build();
    pastChunk[21] = static_cast<uint8_t>(pastChunk[21] - 1);
    EXPECT_FALSE(Parses(pastChunk));
    // An event other than End of Track running past the chunk.
    Bytes notePast = OneTrackFile(Cat({Ev(0, {0x90, 0x3C, 0x64}), EndOfTrack()}));
    notePast[21] = 3;
    EXPECT_FALSE(Parses(notePast));
    // The chunk claims more than the file holds.
    Bytes claimsMore = OneTrackFile(tempoTrack);
    claimsMore[21] = static_cast<uint8_t>(claimsMore[21] + 1);
    EXPECT_FALSE(Parses(claimsMore));
}

TEST(mkSmfParser, EmptyTrackChunkFailsButLeavesItsTrack)
{
    mkSmfSequence seq;
    EXPECT_FALSE(Parse(seq, SmfBuilder(0, 480).Track({}).Build()));
    EXPECT_EQ(1u, seq.GetTrackCount());
    EXPECT_TRUE(seq.GetTrack(0).IsEmpty());
}

TEST(mkSmfParser, DeltaTimesAreVariableLengthQuantities)
{
    EXPECT_EQ((Events{{0x0FFFFFFF, {0x90, 0x3C, 0x64}}, {0x0FFFFFFF, kEot}}),
              TrackOf(Cat({Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64}, EndOfTrack()})));
    // Times are absolute: deltas add up, also past a single delta's range.
    EXPECT_EQ((Events{{0x0FFFFFFF, {0x90, 0x3C, 0x64}}, {0x10000000, {0x90, 0x3C, 0x00}}, {0x10000080, kEot}}),
              TrackOf(Cat({Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64}, Ev(1, {0x3C, 0x00}), EndOfTrack(0x80)})));
    // Non-minimal encodings are fine as long as they fit in four bytes.
    EXPECT_EQ((Events{{5, kEot}}), TrackOf(Bytes{0x80, 0x80, 0x80, 0x05, 0xFF, 0x2F, 0x00}));

    EXPECT_FALSE(Parses(OneTrackFile(Cat({Bytes{0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}, EndOfTrack()}))));
    EXPECT_FALSE(Parses(OneTrackFile(Bytes{0x80, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00})));
    // A quantity cut off by the end of the file.
    EXPECT_FALSE(
        Parses(Cat({SmfBuilder(0, 480).Announce(1).Build(), Text("MTrk"), Be32(8), {0x00, 0x90, 0x3C, 0x64, 0x81}})));
}

TEST(mkSmfParser, ParseStartsFromAnEmptySequence)
{
    mkSmfSequence seq;
    seq.Format = 2;
    seq.Division = 0x1234;
    seq.SetTrackCount(5);
    ASSERT_TRUE(Parse(seq, Tempo33Image()));
    EXPECT_EQ(1u, seq.GetTrackCount());
    EXPECT_EQ(2u, seq.GetTrack(0).GetEventCount());

    seq.Format = 2;
    seq.Division = 0x1234;
    EXPECT_FALSE(Parse(seq, Text("RIFF....")));
    EXPECT_EQ(0, seq.Format);
    EXPECT_EQ(0, seq.Division);
    EXPECT_EQ(0u, seq.GetTrackCount());
}

TEST(mkSmfParser, EventsOwnTheirBytes)
{
    Bytes image = Sample("valid-format1-two-tracks");
    mkSmfSequence seq;
    ASSERT_TRUE(Parse(seq, image));
    const std::vector<Events> before = DumpAll(seq);
    image.assign(image.size(), 0xEE);
    image.clear();
    image.shrink_to_fit();
    EXPECT_EQ(before, DumpAll(seq));
    ASSERT_EQ(2u, before.size());
    EXPECT_EQ((Events{{0, {0xC0, 0x05}},
                      {0, {0x90, 0x3C, 0x64}},
                      {960, {0x80, 0x3C, 0x40}},
                      {960, {0x90, 0x3E, 0x64}},
                      {3840, {0x80, 0x3E, 0x40}},
                      {3840, kEot}}),
              before[1]);
}

// Writes the sequence, parses the image and checks that the same sequence
// comes back, and that writing it again gives the same bytes.
void ExpectRoundTrip(const mkSmfSequence& seq)
{
    for (const bool runningStatus : {false, true}) {
        SCOPED_TRACE(runningStatus ? "with running status" : "without running status");
        mkByteBuffer out;
        seq.Write(out, runningStatus);
        const Bytes image(out.GetData(), out.GetData() + out.GetSize());
        mkSmfSequence back;
        ASSERT_TRUE(Parse(back, image));
        EXPECT_EQ(seq.Format, back.Format);
        EXPECT_EQ(seq.Division, back.Division);
        EXPECT_EQ(DumpAll(seq), DumpAll(back));
        mkByteBuffer again;
        back.Write(again, runningStatus);
        EXPECT_EQ(image, Bytes(again.GetData(), again.GetData() + again.GetSize()));
    }
}

void AddMessage(mkSmfTrack& t, uint32_t time, const Bytes& m)
{
    t.AddEvent(time, m[0], m.data() + 1, static_cast<uint32_t>(m.size() - 1));
}

TEST(mkSmfParser, WrittenSequencesReadBackUnchanged)
{
    mkSmfSequence tempo;
    tempo.Division = 2520;
    mkSmfTrack& tt = tempo.AddTrack();
    AddMessage(tt, 0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
    AddMessage(tt, 2520, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80});
    AddMessage(tt, 5040, kEot);
    ExpectRoundTrip(tempo);

    mkSmfSequence mixed;
    mixed.Format = 1;
    mixed.Division = 480;
    mkSmfTrack& conductor = mixed.AddTrack();
    AddMessage(conductor, 0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
    AddMessage(conductor, 0, {0xFF, 0x03, 0x05, 'T', 'e', 'm', 'p', 'o'});
    AddMessage(conductor, 0, kEot);
    mkSmfTrack& notes = mixed.AddTrack();
    AddMessage(notes, 0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    AddMessage(notes, 0, {0xC0, 0x05});
    AddMessage(notes, 0, {0x90, 0x3C, 0x64});
    AddMessage(notes, 0, {0x90, 0x40, 0x64});
    AddMessage(notes, 480, {0x90, 0x3C, 0x00});
    AddMessage(notes, 480, {0x90, 0x80, 0x00});  // bit 7 set in the first data byte
    AddMessage(notes, 500, {0xE0, 0x00, 0x40});
    AddMessage(notes, 0x4000 + 500, kEot);
    ExpectRoundTrip(mixed);

    mkSmfSequence smpte;
    smpte.Format = 2;
    smpte.Division = 0xE728;
    AddMessage(smpte.AddTrack(), 0x0FFFFFFF, kEot);
    AddMessage(smpte.AddTrack(), 0, kEot);
    ExpectRoundTrip(smpte);
}

TEST(mkSmfParser, RandomWrittenSequencesReadBackUnchanged)
{
    Rng rng(5150u);
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        mkSmfSequence seq;
        seq.Format = static_cast<uint16_t>(rng() % 3u);
        seq.Division = static_cast<uint16_t>(1u + rng() % 0x7FFFu);
        const size_t trackCount = 1u + rng() % 3u;
        for (size_t i = 0; i < trackCount; ++i) {
            mkSmfTrack& t = seq.AddTrack();
            uint32_t time = 0;
            uint8_t status = 0x90;
            const int events = static_cast<int>(rng() % 15u);
            for (int e = 0; e < events; ++e) {
                time += rng() % (rng() % 2u ? 0x80u : 0x300000u);
                const uint32_t kind = rng() % 10u;
                Bytes m;
                if (kind == 0) {
                    const uint32_t n = rng() % 200u;
                    m = Cat({{uint8_t(rng() % 2u ? 0xF0 : 0xF7)}, VarLen(n), Bytes(n, 0x42)});
                } else if (kind == 1) {
                    const uint32_t n = rng() % 140u;
                    m = Cat({{0xFF, uint8_t(0x01 + rng() % 0x0Fu)}, VarLen(n), Bytes(n, 'm')});
                } else {
                    if (kind < 5)
                        status = static_cast<uint8_t>(0x80u + rng() % 0x70u);
                    // Data bytes of any value: the writer must keep the
                    // status wherever dropping it would mislead the reader.
                    m = {status, uint8_t(rng() % 0x100u)};
                    if (status < 0xC0 || status >= 0xE0)
                        m.push_back(uint8_t(rng() % 0x100u));
                }
                AddMessage(t, time, m);
            }
            AddMessage(t, time + rng() % 1000u, kEot);
        }
        ExpectRoundTrip(seq);
    }
}

TEST(mkSmfParser, ParsedSamplesWriteBackByteForByte)
{
    // Files in the writer's own shape come back unchanged.
    for (const auto& [name, runningStatus] : std::initializer_list<std::pair<const char*, bool>>{
             {"valid-tempo-33", false},
             {"valid-tempo-34", true},
             {"valid-format1-two-tracks", false},
             {"valid-format2", false},
             {"valid-running-status", true},
             {"valid-sysex", false},
             {"valid-fixed-length-metas", false},
             {"valid-long-text", false},
             {"valid-meta-type-80", false},
             {"valid-max-delta", true},
             {"valid-smpte-25", false},
         }) {
        const Bytes image = Sample(name);
        mkSmfSequence seq;
        ASSERT_TRUE(Parse(seq, image)) << name;
        mkByteBuffer out;
        seq.Write(out, runningStatus);
        EXPECT_EQ(image, Bytes(out.GetData(), out.GetData() + out.GetSize())) << name;
    }
}

}  // namespace
