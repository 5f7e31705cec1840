// The tempo map as a Standard MIDI File: format 0, division TicksPerQuarter,
// one track of Set Tempo events and End of Track. The Windows layer puts the
// bytes on the clipboard or into a file.
#pragma once

#include <cstdint>
#include <vector>

#include "TempoMap.h"
#include "mkSmfSequence.h"

constexpr int64_t MinTempoValue = 1;
constexpr int64_t MaxTempoValue = 0xFFFFFF;  // a Set Tempo event holds 24 bits

// The tempo written for a tempo point. A Set Tempo event has room for 24
// bits; writing only the low bits of a longer or negative value would turn a
// slow tap into a wildly fast tempo, so the value is clamped into
// 1..16777215 instead. Values inside that range are unchanged.
uint32_t ExportTempoValue(int64_t tempo);

// Fills an empty sequence with the tempo map.
void BuildTempoSequence(const TempoMap& map, mkSmfSequence& sequence);

// The file of the tempo map of `beatTimes` (TempoMapFromBeatTimes): the bytes
// BuildTempoSequence and mkSmfSequence::Write with running status give,
// written straight from the points into one allocation of the file's size.
// The sequence keeps an event object of some fifty bytes for every eight
// bytes of the file; at ten points a beat and millions of beats that is
// gigabytes. Empty when the track would pass the 4 GiB a track chunk's
// length can say.
std::vector<uint8_t> TempoFileBytes(const std::vector<double>& beatTimes, int interpCount, int timeSigBase);

// Computes the tempo map of the takes and returns the file's bytes
// (TempoFileBytes of their average).
std::vector<uint8_t> ExportTempoBytes(const TakeList& takes, int interpCount, int timeSigBase);
