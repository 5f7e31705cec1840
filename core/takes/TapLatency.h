// How late (or early) a musician taps: the clicks of a fixed schedule are
// played, the musician taps along, and each tap is paired with its click.
// The median of the offsets is the musician's own constant lag, which the
// program can take off later taps; the spread says how steady they were.
//
// Times are milliseconds on one clock (the recording's timeline). Portable:
// the dialog that plays the clicks and times the taps is win/latency.
#pragma once

#include <cstddef>
#include <vector>

// The clicks played: kLatencyClickCount of them at 100 BPM, the first one a
// beat into the run so that the musician hears where the beat is.
inline constexpr size_t kLatencyClickCount = 24;
inline constexpr double kLatencyClickPeriodMs = 600.0;
inline constexpr double kLatencyFirstClickMs = 600.0;
// The first clicks are a count-in: the musician is still finding the beat.
inline constexpr size_t kLatencyCountInClicks = 4;
// A tap further than this from every click belongs to none.
inline constexpr double kLatencyPairWindowMs = 150.0;
// Fewer pairs than this say too little about a musician to keep.
inline constexpr size_t kLatencyMinPairs = 12;

// The click times of the schedule, in ms from the start of the run.
std::vector<double> LatencyClickTimesMs();

struct TapLatencyResult {
    size_t Pairs = 0;           // taps paired with a click after the count-in
    double MedianMs = 0.0;      // median of tap - click: positive = late
    double SpreadMs = 0.0;      // median absolute deviation of the offsets from MedianMs
    bool Enough = false;        // Pairs >= kLatencyMinPairs
    // Each pair's tap - click, in the order of the clicks.
    std::vector<double> OffsetsMs;
};

// Pairs each tap with the nearest click within kLatencyPairWindowMs, the
// first kLatencyCountInClicks clicks (of `clicksMs` in time order) left out.
// Each click and each tap is paired at most once: the closest candidates
// are paired first (ties go to the earlier click, then the earlier tap), so
// the result does not depend on the order the taps are given in. No pairs:
// every value 0 and not enough.
TapLatencyResult MeasureTapLatency(const std::vector<double>& clicksMs, const std::vector<double>& tapsMs);
