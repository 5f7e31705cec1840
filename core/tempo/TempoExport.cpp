#include "TempoExport.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "mkAssert.h"

namespace {

// The file's frame: the header chunk, the track chunk's type and length,
// and the End of Track that closes the track one delta of 0 after the last
// tempo.
constexpr size_t HeaderChunkBytes = 14;
constexpr size_t TrackChunkHeadBytes = 8;
constexpr uint8_t EndOfTrackEvent[] = {0x00, 0xFF, 0x2F, 0x00};
// A Set Tempo event after its delta: FF 51 03 and the tempo's 24 bits. A
// meta event never gives up its status byte to running status.
constexpr size_t SetTempoBytes = 6;
// The longest delta a variable-length quantity of 32 bits needs.
constexpr size_t MaxDeltaBytes = 5;

size_t VarLenSize(uint32_t value)
{
    return 1u + (value >= 0x80) + (value >= 0x4000) + (value >= 0x200000) + (value >= 0x10000000);
}

uint8_t* PutVarLen(uint8_t* out, uint32_t value)
{
    uint8_t groups[MaxDeltaBytes];
    size_t n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1)
        *out++ = static_cast<uint8_t>(groups[--n] | 0x80);
    *out++ = groups[0];
    return out;
}

uint8_t* PutBe32(uint8_t* out, uint32_t v)
{
    *out++ = uint8_t(v >> 24);
    *out++ = uint8_t(v >> 16);
    *out++ = uint8_t(v >> 8);
    *out++ = uint8_t(v);
    return out;
}

}  // namespace

uint32_t ExportTempoValue(int64_t tempo)
{
    return static_cast<uint32_t>(std::clamp(tempo, MinTempoValue, MaxTempoValue));
}

void BuildTempoSequence(const TempoMap& map, mkSmfSequence& sequence)
{
    sequence.SetDivision(TicksPerQuarter);
    mkSmfTrack& track = sequence.AddTrack();
    for (const TempoPoint& point : map) {
        const uint32_t tempo = ExportTempoValue(point.Tempo);
        const uint8_t data[5] = {0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)};
        track.AddEventDelta(point.Delta, 0xFF, data, sizeof data);
    }
    const uint8_t endOfTrack[2] = {0x2F, 0x00};
    track.AddEventDelta(0, 0xFF, endOfTrack, sizeof endOfTrack);
}

std::vector<uint8_t> TempoFileBytes(const std::vector<double>& beatTimes, int interpCount, int timeSigBase)
{
    // The track's length from the grid alone: the first point at delta 0,
    // the first point of each later beat BeatStep after the point before,
    // all others TickStep.
    const TempoTickGrid grid = TempoTickGridFor(interpCount, timeSigBase);
    const uint64_t points = TempoPointCount(beatTimes.size(), interpCount);
    uint64_t trackBytes = sizeof EndOfTrackEvent;
    if (points > 0) {
        const uint64_t beatStarts = beatTimes.size() - 2;
        const uint64_t inside = points - 1 - beatStarts;
        trackBytes += VarLenSize(0) + SetTempoBytes + beatStarts * (VarLenSize(grid.BeatStep) + SetTempoBytes) +
                      inside * (VarLenSize(grid.TickStep) + SetTempoBytes);
    }
    const uint64_t fileBytes = HeaderChunkBytes + TrackChunkHeadBytes + trackBytes;
    if (trackBytes > std::numeric_limits<uint32_t>::max() || fileBytes > std::numeric_limits<size_t>::max())
        return std::vector<uint8_t>();

    std::vector<uint8_t> bytes(static_cast<size_t>(fileBytes));
    uint8_t* out = bytes.data();
    uint8_t* const end = out + bytes.size();
    const uint8_t header[HeaderChunkBytes] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1,
                                              uint8_t(TicksPerQuarter >> 8), uint8_t(TicksPerQuarter & 0xFF)};
    std::memcpy(out, header, sizeof header);
    out += sizeof header;
    std::memcpy(out, "MTrk", 4);
    out = PutBe32(out + 4, static_cast<uint32_t>(trackBytes));

    ForEachTempoPoint(beatTimes, interpCount, timeSigBase, [&out, end](const TempoPoint* point, size_t count) {
        for (const TempoPoint* const last = point + count; point != last; ++point) {
            // A point off the grid the length was counted on must not write
            // past the end; End of Track still has to fit after it.
            MK_ASSERT(static_cast<size_t>(end - out) >=
                      VarLenSize(point->Delta) + SetTempoBytes + sizeof EndOfTrackEvent);
            out = PutVarLen(out, point->Delta);
            const uint32_t tempo = ExportTempoValue(point->Tempo);
            const uint8_t event[SetTempoBytes] = {0xFF, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8),
                                                  uint8_t(tempo)};
            std::memcpy(out, event, sizeof event);
            out += sizeof event;
        }
    });
    MK_ASSERT(static_cast<size_t>(end - out) == sizeof EndOfTrackEvent);
    std::memcpy(out, EndOfTrackEvent, sizeof EndOfTrackEvent);
    return bytes;
}

std::vector<uint8_t> ExportTempoBytes(const TakeList& takes, int interpCount, int timeSigBase)
{
    return TempoFileBytes(AverageTakes(takes), interpCount, timeSigBase);
}
