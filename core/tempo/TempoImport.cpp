#include "TempoImport.h"

#include <cmath>
#include <limits>

#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

constexpr uint32_t DefaultTempo = 500000;  // microseconds per quarter note
constexpr uint8_t MetaSequenceNumber = 0x00;
constexpr uint8_t MetaSetTempo = 0x51;

// Beat markers are sequence-number events of their own making: the file's
// own are erased first, so every one found in the walk is a marker.
const uint8_t kBeatMarkerData[4] = {MetaSequenceNumber, 0x02, 0x00, 0x00};

bool IsMeta(const mkMidiEvent& ev, uint8_t type)
{
    return ev.GetStatus() == 0xFF && ev.GetMessageCount() >= 2 && ev.GetMessageData()[1] == type;
}

// The three data bytes of a Set Tempo event follow its length, however many
// bytes that length was written in (the parser has checked that it says 3).
uint32_t ReadTempo(const mkMidiEvent& ev)
{
    const uint8_t* p = ev.GetMessageData() + 2;
    while (*p & 0x80)
        ++p;
    ++p;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

// Erases every event but the Set Tempo events and the last one (the End of
// Track). False for a track whose deltas add up past 2^32 - 1 ticks: its
// wrapped times no longer say where its events lie.
bool KeepTempoEvents(mkSmfTrack& track)
{
    uint32_t previousTime = 0;
    for (auto it = track.begin(); it != track.end();) {
        if (it->GetTime() < previousTime)
            return false;
        previousTime = it->GetTime();
        const bool last = std::next(it) == track.end();
        it = (last || IsMeta(*it, MetaSetTempo)) ? std::next(it) : track.EraseEvent(it);
    }
    return true;
}

}  // namespace

ImportResult ConvertTempoFile(const uint8_t* data, uint32_t size, int timeSigBase, Take& take)
{
    take.clear();

    mkSmfSequence sequence;
    mkSmfParser parser;
    if (!parser.Parse(sequence, data, size, true) || sequence.Format > 1 ||
        mkSmfSequence::ClassifyDivision(sequence.Division) != mkSmfSequence::DivisionMetrical)
        return ImportResult::Unsupported;
    if (sequence.GetTrackCount() == 0)
        return ImportResult::Unsupported;
    // One base note in ticks; with the quarter note it equals the division.
    const uint32_t step = (uint32_t(sequence.Division) * 4) >> timeSigBase;
    if (step == 0)
        return ImportResult::Unsupported;

    // Only Set Tempo events and each track's End of Track bear on the beat
    // times. Everything else (notes, controllers, text, and the file's own
    // sequence-number events, which would pass for beat markers) goes before
    // the fold, so the fold, the markers and the walk move a handful of
    // events instead of every note of the file. The beat times are the same.
    // A format-0 file keeps its tracks through the fold and only its first
    // is read, so the times of the others cannot make it unreadable.
    const size_t usedTracks = sequence.Format == 0 ? 1 : sequence.GetTrackCount();
    for (size_t i = 0; i < usedTracks; ++i)
        if (!KeepTempoEvents(sequence.GetTrack(i)))
            return ImportResult::Unsupported;

    sequence.ConvertToFormat0();
    mkSmfTrack& track = sequence.GetTrack(0);
    const uint32_t end = track.GetLast().GetTime();  // the End of Track
    if (end / step > MaxImportBeats)
        return ImportResult::Unsupported;

    // A marker at every full step after 0, before any other event of its
    // tick. The cursor only moves forward, so this costs one pass over the
    // track however many markers go in.
    auto cursor = track.begin();
    for (uint32_t beat = 1; beat <= end / step; ++beat) {
        const uint32_t t = beat * step;
        while (cursor != track.end() && cursor->GetTime() < t)
            ++cursor;
        track.InsertEventAt(cursor, t, 0xFF, kBeatMarkerData, sizeof kBeatMarkerData);
    }

    // Walk the track in real time. The product of ticks and tempo can pass
    // 32 bits (3840 ticks at 2000000 us), so it is formed in 64 bits.
    uint64_t tempo = DefaultTempo;
    uint32_t previousTick = 0;
    double elapsed = 0.0;  // microseconds
    take.reserve(end / step);
    for (const mkMidiEvent& ev : track) {
        const bool marker = IsMeta(ev, MetaSequenceNumber);
        if (!marker && !IsMeta(ev, MetaSetTempo))
            continue;
        elapsed += static_cast<double>(uint64_t(ev.GetTime() - previousTick) * tempo) / sequence.Division;
        previousTick = ev.GetTime();
        if (marker) {
            // Milliseconds, to the nearest.
            const double ms = std::trunc(((elapsed * 0.01) + 5.0) * 0.1);
            if (ms > std::numeric_limits<uint32_t>::max()) {
                take.clear();
                return ImportResult::Unsupported;  // a take cannot hold it
            }
            take.push_back(static_cast<uint32_t>(ms));
        } else {
            tempo = ReadTempo(ev);
        }
    }
    return ImportResult::Converted;
}
