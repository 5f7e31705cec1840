// Matching the starts of takes: on which beat of the others each take came
// in, from how the beat lengths of their openings line up.
#pragma once

#include <cstdint>
#include <vector>

#include "TapReading.h"

namespace tap_analysis {

// A take's opening, for matching starts, read two ways. Up to its first
// finding both are its intervals, beat by beat; past a finding the reading
// may be wrong, so when the first finding leaves enough to compare, the
// opening ends there. When it comes early, the opening runs on:
// - Whole: an interval the reading took for k beats stays one entry, as a
//   held beat (a fermata) that one take's reading split and another's did
//   not is one interval in both;
// - ByBeat: it gives k entries of 0, which the matching passes over, so the
//   beats after a real missed tap stay in their places.
// - Split: as ByBeat, and an interval the reading kept as one beat that is
//   nearly two of its neighbours gives two entries of 0 as well: a missed
//   tap the take's own reading could not tell from a held beat (in
//   expressive music, alone, it cannot), which would otherwise move every
//   later beat of the opening by one.
// The matching uses whichever of the three fits better.
struct Opening {
    std::vector<double> Whole;
    std::vector<double> ByBeat;
    std::vector<double> Split;
};

Opening OpeningLengths(const Take& take, const Reading& reading);

// The starts of all takes relative to each other, from the matches of every
// pair. Each take in turn is tried as the anchor: every other take is placed
// by its significant match with the anchor (at the anchor's start
// otherwise), and the placing is improved take by take towards the start
// its matches with all the others speak for most. The placing that agrees
// with the most evidence over all pairs wins. A take that ends up away from
// the start most takes share stays there only when its matches with those
// takes together are significant.
//
// `undetermined`, when given, receives for each take whether its start is
// told by the taps at all: false when some match of it with another take
// is clearer than that match's closest rival placing, true when every match
// is ambiguous (in steady music a beat or two later fits about as well).
std::vector<int64_t> MatchAllStarts(const std::vector<Opening>& openings, const std::vector<bool>& usable,
                                    std::vector<bool>* undetermined = nullptr);

}  // namespace tap_analysis
