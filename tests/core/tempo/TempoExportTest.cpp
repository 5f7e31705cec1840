#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "TempoExport.h"
#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Export(const std::vector<Take>& takes, int interpCount, int timeSigBase)
{
    TakeList list = TakeListOf(takes);
    return ExportTempoBytes(list, interpCount, timeSigBase);
}

TempoMap Compute(const std::vector<Take>& takes, int interpCount, int timeSigBase)
{
    TakeList list = TakeListOf(takes);
    return ComputeTempoMap(list, interpCount, timeSigBase);
}

Bytes MessageOf(const mkMidiEvent& ev)
{
    return Bytes(ev.GetMessageData(), ev.GetMessageData() + ev.GetMessageCount());
}

Bytes SetTempo(uint32_t tempo)
{
    return {0xFF, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)};
}

const Bytes kEndOfTrack{0xFF, 0x2F, 0x00};

struct Event {
    uint32_t time;
    Bytes message;
};

// Reads the exported image back with the library's parser and checks the
// frame every export has: format 0, division 2520, one track ending with End
// of Track. Returns the track's events.
std::vector<Event> ReadBack(const Bytes& image)
{
    mkSmfSequence sequence;
    mkSmfParser parser;
    std::vector<Event> events;
    EXPECT_TRUE(parser.Parse(sequence, image.data(), static_cast<uint32_t>(image.size()), false));
    EXPECT_EQ(0, sequence.Format);
    EXPECT_EQ(2520, sequence.Division);
    EXPECT_EQ(1u, sequence.GetTrackCount());
    if (sequence.GetTrackCount() != 1)
        return events;
    for (const mkMidiEvent& ev : sequence.GetTrack(0))
        events.push_back({ev.GetTime(), MessageOf(ev)});
    EXPECT_FALSE(events.empty());
    if (!events.empty()) {
        EXPECT_EQ(kEndOfTrack, events.back().message);
        if (events.size() >= 2) {
            EXPECT_EQ(events[events.size() - 2].time, events.back().time)
                << "End of Track must share the tick of the last tempo event";
        }
    }
    return events;
}

// --- The written tempo value -------------------------------------------------------

TEST(ExportTempoValue, ValuesThatFitAreWrittenUnchanged)
{
    EXPECT_EQ(1u, ExportTempoValue(1));
    EXPECT_EQ(500000u, ExportTempoValue(500000));
    EXPECT_EQ(0x123456u, ExportTempoValue(0x123456));
    EXPECT_EQ(16777215u, ExportTempoValue(16777215));
}

TEST(ExportTempoValue, ZeroAndNegativeValuesBecomeOne)
{
    EXPECT_EQ(1u, ExportTempoValue(0));
    EXPECT_EQ(1u, ExportTempoValue(-1));
    EXPECT_EQ(1u, ExportTempoValue(-250000));
    EXPECT_EQ(1u, ExportTempoValue(-505470));
    EXPECT_EQ(1u, ExportTempoValue(-16777216));  // low 24 bits would be 0
    EXPECT_EQ(1u, ExportTempoValue(std::numeric_limits<int64_t>::min()));
}

TEST(ExportTempoValue, ValuesBeyond24BitsBecomeTheLargest)
{
    EXPECT_EQ(16777215u, ExportTempoValue(16777216));  // low 24 bits would be 0
    EXPECT_EQ(16777215u, ExportTempoValue(20000000));
    EXPECT_EQ(16777215u, ExportTempoValue(int64_t{0x100000005}));  // low 32 bits would be 5
    EXPECT_EQ(16777215u, ExportTempoValue(int64_t{34359738360000}));
    EXPECT_EQ(16777215u, ExportTempoValue(std::numeric_limits<int64_t>::max()));
}

// --- The file -----------------------------------------------------------------------

TEST(TempoExportBytes, TwoEqualTakesGiveTheReferenceFile)
{
    const Bytes expected{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x09, 0xD8,
                         0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x13, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1,
                         0x20, 0x93, 0x58, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
    ASSERT_EQ(41u, expected.size());
    EXPECT_EQ(expected, Export({{0, 500, 1000}, {0, 500, 1000}}, 0, 2));
}

TEST(TempoExportBytes, TwoByteDeltaOfAWholeNoteBeat)
{
    // Whole notes: the second tempo comes 10080 ticks later, delta CE 60.
    const Bytes expected{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x09, 0xD8,
                         0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x13, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1,
                         0x20, 0xCE, 0x60, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(expected, Export({{0, 2000, 4000}}, 0, 0));
}

TEST(TempoExportBytes, TwentySecondTapsWriteTheLargestTempo)
{
    const std::vector<Take> takes{{0, 20000}};
    ASSERT_EQ(20000000, Compute(takes, 0, 2).at(0).Tempo);
    const std::vector<Event> events = ReadBack(Export(takes, 0, 2));
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(SetTempo(0xFFFFFF), events[0].message);
}

TEST(TempoExportBytes, NegativeAveragedTempoIsWrittenAsOne)
{
    const std::vector<Take> takes{{0, 500, 1000}, {0, 2000}};
    ASSERT_EQ(-250000, Compute(takes, 0, 2).at(1).Tempo);
    const std::vector<Event> events = ReadBack(Export(takes, 0, 2));
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ(SetTempo(1250000), events[0].message);
    EXPECT_EQ(SetTempo(1), events[1].message);
    EXPECT_EQ(2520u, events[1].time);
}

TEST(TempoExportBytes, SplineOvershootIsWrittenAsOne)
{
    const std::vector<Event> events = ReadBack(Export({{0, 100, 2000, 2100, 2200}}, 10, 2));
    ASSERT_EQ(45u, events.size());
    EXPECT_EQ(SetTempo(1), events[0].message);
}

TEST(TempoExportBytes, InterpolatedPointsReadBackAtTheirTicks)
{
    // Tempos 470000, 530000, 615000, 585000, 445000, 355000 every 1260 ticks.
    const std::vector<Event> events = ReadBack(Export({{0, 500, 1100, 1500}}, 1, 2));
    const uint32_t tempos[] = {470000, 530000, 615000, 585000, 445000, 355000};
    ASSERT_EQ(std::size(tempos) + 1, events.size());
    for (size_t i = 0; i < std::size(tempos); ++i) {
        EXPECT_EQ(1260u * static_cast<uint32_t>(i), events[i].time) << "event " << i;
        EXPECT_EQ(SetTempo(tempos[i]), events[i].message) << "event " << i;
    }
    EXPECT_EQ(6300u, events.back().time);
}

TEST(TempoExportBytes, OneSetTempoPerPointOnTheTickGrid)
{
    // 32nd notes, ten interpolated points: 29 ticks apart inside a beat, every
    // beat 315 ticks.
    const std::vector<Take> takes{{0, 100, 210, 300, 420}, {0, 110, 190, 305, 400}};
    const TempoMap map = Compute(takes, 10, 5);
    const std::vector<Event> events = ReadBack(Export(takes, 10, 5));
    ASSERT_EQ(44u, map.size());
    ASSERT_EQ(map.size() + 1, events.size());
    for (size_t c = 0; c < map.size(); ++c) {
        EXPECT_EQ(static_cast<uint32_t>(c / 11) * 315u + static_cast<uint32_t>(c % 11) * 29u, events[c].time)
            << "point " << c;
        EXPECT_EQ(SetTempo(ExportTempoValue(map[c].Tempo)), events[c].message) << "point " << c;
    }
}

// The file as the event sequence writes it: the export's bytes before they
// were written straight from the points.
Bytes SequenceFile(const std::vector<double>& beatTimes, int interpCount, int timeSigBase)
{
    mkSmfSequence sequence;
    BuildTempoSequence(TempoMapFromBeatTimes(beatTimes, interpCount, timeSigBase), sequence);
    mkByteBuffer buffer;
    const uint32_t n = sequence.Write(buffer, true);
    return Bytes(buffer.GetData(), buffer.GetData() + n);
}

TEST(TempoFileBytes, TheSequenceWritersBytesForEveryGridAndBeatCount)
{
    // Beat times that step forward, stand still, run back and leap far,
    // so that tempos get clamped at both ends; from no beat at all to
    // enough for many of the points' hand-overs.
    std::mt19937 random(20260108u);
    for (int round = 0; round < 60; ++round) {
        const size_t beats = round < 4 ? static_cast<size_t>(round) : 2 + random() % (round % 10 == 0 ? 700 : 40);
        std::vector<double> beatTimes;
        double time = static_cast<double>(random() % 100000);
        for (size_t k = 0; k < beats; ++k) {
            const auto pick = random() % 20;
            const double step = 200.0 + static_cast<double>(random() % 6000) / 7.0;
            time += pick == 0 ? 0.0 : pick == 1 ? -300.0 : pick == 2 ? 40000.0 : step;
            beatTimes.push_back(time);
        }
        for (int q = 0; q <= MaxInterpCount; ++q) {
            for (int b = 0; b <= MaxTimeSigBase; ++b) {
                SCOPED_TRACE(testing::Message() << beats << " beats, Q = " << q << ", base " << b);
                ASSERT_EQ(SequenceFile(beatTimes, q, b), TempoFileBytes(beatTimes, q, b));
            }
        }
    }
}

TEST(BuildTempoSequence, EveryPointBecomesOneClampedSetTempo)
{
    const TempoMap map{{0, 16777216}, {100, -5}, {200, 0}, {0, 16777215}, {7, 20000000}, {1, 500000}};
    mkSmfSequence sequence;
    BuildTempoSequence(map, sequence);
    EXPECT_EQ(0, sequence.Format);
    EXPECT_EQ(2520, sequence.Division);
    ASSERT_EQ(1u, sequence.GetTrackCount());

    std::vector<Event> events;
    for (const mkMidiEvent& ev : sequence.GetTrack(0))
        events.push_back({ev.GetTime(), MessageOf(ev)});
    ASSERT_EQ(7u, events.size());
    const uint32_t times[] = {0, 100, 300, 300, 307, 308, 308};
    const Bytes messages[] = {SetTempo(0xFFFFFF), SetTempo(1),        SetTempo(1), SetTempo(0xFFFFFF),
                              SetTempo(0xFFFFFF), SetTempo(500000), kEndOfTrack};
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(times[i], events[i].time) << "event " << i;
        EXPECT_EQ(messages[i], events[i].message) << "event " << i;
    }

    mkByteBuffer buffer;
    const uint32_t n = sequence.Write(buffer, true);
    const std::vector<Event> back = ReadBack(Bytes(buffer.GetData(), buffer.GetData() + n));
    ASSERT_EQ(events.size(), back.size());
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(events[i].time, back[i].time) << "event " << i;
        EXPECT_EQ(events[i].message, back[i].message) << "event " << i;
    }
}

}  // namespace
