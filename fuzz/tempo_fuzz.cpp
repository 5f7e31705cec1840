// Fuzz target over the tempo computation and the export: arbitrary takes
// through ExportTempoBytes.
//
// Input: byte 0 picks Q (modulo 11), byte 1 the base note (modulo 6), then up
// to four takes, each a count byte c (2 + c taps) followed by the taps as
// little-endian 32-bit times (missing bytes read as 0). Every take is made
// relative to its first tap, as a listed take is.
//
// The bytes must parse back as format 0, division 2520, one track holding one
// Set Tempo event per tempo point of ComputeTempoMap (Q + 1 per beat of the
// longest take), each at the point's delta with the point's tempo clamped into
// 1..16777215, then End of Track.
//
// The same takes then go through the tap analysis with the options the high
// bits of bytes 0 and 1 pick (repair: bit 4 of byte 0; smoothing: byte 1 / 8,
// 0 none, 1 auto, 2..11 levels 1..10, else none): every finding names a tap
// of its take, a repaired take starts at 0, the beat times are finite, and
// the export with the options parses with Q + 1 tempo events per beat.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FuzzReader.h"
#include "TapAnalysis.h"
#include "TempoExport.h"
#include "TempoMap.h"
#include "TempoPipeline.h"
#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "export check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    const uint8_t first = in.Byte();
    const uint8_t second = in.Byte();
    const int interpCount = first % (MaxInterpCount + 1);
    const int timeSigBase = second % (MaxTimeSigBase + 1);
    std::vector<Take> takes;
    do {
        const size_t count = in.Byte();
        Take take(2 + std::min(count, in.Remaining() / 4));
        for (uint32_t& time : take)
            time = in.Le(4);
        NormalizeTake(take);
        takes.push_back(std::move(take));
    } while (!in.AtEnd() && takes.size() < 4);

    TakeList list;
    size_t longest = 0;
    for (const Take& take : takes) {
        list.push_back(&take);
        longest = std::max(longest, take.size());
    }
    const TempoMap map = ComputeTempoMap(list, interpCount, timeSigBase);
    if (map.size() != (longest - 1) * size_t(interpCount + 1))
        Fail("tempo point count");
    const std::vector<uint8_t> bytes = ExportTempoBytes(list, interpCount, timeSigBase);

    mkSmfSequence seq;
    mkSmfParser parser;
    if (bytes.empty() || !parser.Parse(seq, bytes.data(), static_cast<uint32_t>(bytes.size()), false))
        Fail("exported bytes do not parse");
    if (seq.Format != 0 || seq.Division != TicksPerQuarter || seq.GetTrackCount() != 1)
        Fail("header");
    const mkSmfTrack& track = seq.GetTrack(0);
    if (track.GetEventCount() != map.size() + 1)
        Fail("event count");
    auto ev = track.begin();
    uint32_t time = 0;
    for (const TempoPoint& point : map) {
        const uint8_t* m = ev->GetMessageData();
        if (ev->GetMessageCount() != 6 || m[0] != 0xFF || m[1] != 0x51 || m[2] != 0x03)
            Fail("not a Set Tempo event");
        time += point.Delta;
        if (ev->GetTime() != time)
            Fail("event time");
        const uint32_t tempo = uint32_t(m[3]) << 16 | uint32_t(m[4]) << 8 | m[5];
        if (tempo == 0)  // three bytes hold at most 16777215
            Fail("tempo outside 1..16777215");
        const int64_t expected = std::clamp<int64_t>(point.Tempo, 1, 0xFFFFFF);
        if (int64_t(tempo) != expected)
            Fail("tempo differs from the clamped tempo point");
        ++ev;
    }
    if (ev->GetMessageCount() != 3 || ev->GetMessageData()[0] != 0xFF || ev->GetMessageData()[1] != 0x2F ||
        ev->GetTime() != time)
        Fail("End of Track");

    const Analysis analysis = AnalyzeTakes(list);
    for (size_t m = 0; m < takes.size(); ++m) {
        for (const Finding& finding : analysis.Takes[m].Findings)
            if (finding.Kind != FindingKind::Start &&
                (finding.Tap < 0 || static_cast<size_t>(finding.Tap) >= takes[m].size()))
                Fail("finding outside its take");
        const Take repaired = RepairTake(list, analysis, m);
        if (repaired.empty() || repaired[0] != 0)
            Fail("repaired take does not start at 0");
    }
    AnalysisOptions options;
    options.Repair = (first & 0x10) != 0;
    const int smoothing = second / 8;
    options.Smoothing = smoothing == 1 ? SmoothingAuto : smoothing >= 2 && smoothing <= MaxSmoothing + 1 ? smoothing - 1 : 0;
    const std::vector<double> beats = BeatTimesForExport(list, options);
    for (const double t : beats)
        if (!(t == t) || t - t != 0.0)
            Fail("beat time not finite");
    const std::vector<uint8_t> analysed = ExportTempoBytes(list, interpCount, timeSigBase, options);
    mkSmfSequence again;
    if (analysed.empty() || !parser.Parse(again, analysed.data(), static_cast<uint32_t>(analysed.size()), false))
        Fail("exported bytes with analysis do not parse");
    if (again.GetTrackCount() != 1 ||
        again.GetTrack(0).GetEventCount() != (beats.size() - 1) * size_t(interpCount + 1) + 1)
        Fail("event count with analysis");
    return 0;
}
