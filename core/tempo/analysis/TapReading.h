// The reading of one take: which of its taps are kept and on which beat,
// counted from the take's first tap, and so which beats it missed and which
// taps were extra. A take is read on its own, against its own local tempo,
// or against a consensus grid of beat times (TapAnalysis.h tells how the
// analysis uses both readings).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "TapAnalysis.h"

namespace tap_analysis {

constexpr double Infinity = std::numeric_limits<double>::infinity();

// How far a beat's expected length itself is uncertain, as a share of it:
// a take's own local tempo lags behind rubato; a consensus is closer.
constexpr double OwnTempoTolerance = 0.05;
constexpr double ConsensusTolerance = 0.03;

// From tap a to tap c of the take, in milliseconds.
inline double Interval(const Take& take, size_t a, size_t c)
{
    return static_cast<double>(take[c]) - static_cast<double>(take[a]);
}

// The time of grid beat b on a consensus grid, the grid's first and last
// beat lengths carried on before and after it (taps of a take that started
// early, or went on after the others stopped, lie there).
inline double GridTime(const std::vector<double>& g, int64_t b)
{
    const int64_t last = static_cast<int64_t>(g.size()) - 1;
    if (last < 1)
        return 500.0 * static_cast<double>(b);
    if (b < 0)
        return g[0] + (g[1] - g[0]) * static_cast<double>(b);
    if (b > last)
        return g[static_cast<size_t>(last)] +
               (g[static_cast<size_t>(last)] - g[static_cast<size_t>(last - 1)]) * static_cast<double>(b - last);
    return g[static_cast<size_t>(b)];
}

// What a take is read against: the expected length of k beats from tap a.
// Alone, k times the take's local tempo at a; against a consensus, the
// consensus beats from the grid beat nearest tap a.
struct Expectation {
    bool consensus = false;
    double tolerance = OwnTempoTolerance;
    std::vector<double> period;     // alone: local beat length at every tap
    const std::vector<double>* grid = nullptr;  // consensus beat times
    std::vector<int64_t> gridBeat;  // consensus: grid beat nearest every tap

    // Expected length of k beats from tap a, and the length of one of them.
    double Span(size_t a, int k, double& beat) const
    {
        if (!consensus) {
            beat = period[a];
            return beat * k;
        }
        const int64_t j = gridBeat[a];
        const double span = GridTime(*grid, j + k) - GridTime(*grid, j);
        beat = span / k;
        return span;
    }
};

// One reading of a take: which taps are kept and on which beat, counted
// from the take's first tap.
struct Reading {
    std::vector<int64_t> beat;  // -1 for a dropped tap
    std::vector<Finding> findings;  // Missed and Extra, in tap order
};

// The best reading of the take against what is expected of it: a dynamic
// programme over its taps that prices every missed beat and extra tap.
Reading Read(const Take& take, const Expectation& expect);
// The take against its own local tempo; a take too short to judge its
// tempo by is read as one tap per beat.
Reading ReadAlone(const Take& take);

// A lone take's reading with only the findings it shows clearly: with no
// other take to compare, a held or shortened beat of expressive music looks
// like a missed or an extra tap. A missed beat is kept where its interval
// lies within the take's own scatter (a few per cent) of whole beats and
// the stretch around it is steady; an extra tap where the interval it
// splits is one such beat. Every other finding's taps are read as one tap
// per beat. How the take moves (as its smoothing measures it) sets how
// clear that must be:
// - a take that bends its tempo beat by beat far beyond its tapping noise
//   is expressive music, where a beat held to nearly two is the music's as
//   often as a missed tap: only its double taps are found;
// - in a steady take, whose beats hardly change beyond its tapping noise,
//   the scatter of a stretch is the tapper's, and a missed tap is believed
//   further from two whole beats (as far as that scatter puts it), in
//   stretches scattering more.
Reading KeepClearFindingsAlone(const Take& take, const Reading& reading);

}  // namespace tap_analysis
