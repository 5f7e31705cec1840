// The consensus of several takes on one beat grid: the length of every grid
// beat as the takes agree on it, and the long beats they share (music, not
// a slip).
#pragma once

#include <cstdint>
#include <vector>

#include "TapReading.h"

namespace tap_analysis {

// Consensus beat lengths over the grid from the readings: the robust mean
// of the single-beat intervals each grid beat has; a beat that no take holds
// on its own (one take's missed beat) is interpolated between the nearest
// beats that have lengths.
std::vector<double> ConsensusLengths(const TakeList& takes, const std::vector<Reading>& readings,
                                     const std::vector<int64_t>& starts, int64_t beats);

// The grid's beat times from its beat lengths, from 0.
std::vector<double> GridTimes(const std::vector<double>& lengths);

// A long interval that one take's reading split into beats (a missed tap)
// is music when most of the other takes covering it hold no tap inside it
// either (a fermata, a held beat): such findings are taken back, the long
// interval counting as one beat again. The takes are compared on the common
// clock, so a slip misread elsewhere in a take does not matter here.
void KeepSharedLongBeats(const TakeList& takes, std::vector<Reading>& readings, const std::vector<int64_t>& starts);

// The same for short beats: a tap one take's reading dropped as extra is a
// beat of its own when most of the other takes covering it have a tap
// there too (a half beat of the music that every take tapped). Its finding
// is taken back, and the beats after it move on by one.
void KeepSharedShortBeats(const TakeList& takes, std::vector<Reading>& readings, const std::vector<int64_t>& starts);

}  // namespace tap_analysis
