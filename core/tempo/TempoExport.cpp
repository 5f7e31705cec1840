#include "TempoExport.h"

#include <algorithm>

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

std::vector<uint8_t> ExportTempoBytes(const TakeList& takes, int interpCount, int timeSigBase)
{
    mkSmfSequence sequence;
    BuildTempoSequence(ComputeTempoMap(takes, interpCount, timeSigBase), sequence);
    mkByteBuffer buffer;
    const uint32_t n = sequence.Write(buffer, true);
    return std::vector<uint8_t>(buffer.GetData(), buffer.GetData() + n);
}
