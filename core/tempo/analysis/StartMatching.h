// Matching the starts of takes: on which beat of the others each take came
// in, from how the beat lengths of their openings line up.
#pragma once

#include <cstdint>
#include <vector>

#include "TapReading.h"

namespace tap_analysis {

// A take's opening, for matching starts: its intervals, one entry per
// interval the take's own reading kept (an interval it took for k beats
// stays one entry, as a held beat that one take's reading split and
// another's did not is one interval in both; a tap it found extra is
// passed over). Up to its first finding the reading is sound; past one it
// may be wrong, so when the first finding leaves enough to compare, the
// opening ends there. When it comes early, the opening runs on, and the
// matching itself lets the openings come apart at a tap one of them missed
// or has extra (StartMatching.cpp, ElasticCosts).
struct Opening {
    std::vector<double> Whole;
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
