// Realistic takes for tests and benchmarks of the tap analysis (never part
// of the program). A piece is a list of true beat times; a take is taps on
// those beats with human timing errors as measured on real tapping, and
// optionally one slip.
//
// The tapping model: each tap is off its beat by a slowly wandering error
// (first-order autoregressive, coefficient 0.5) whose size differs from
// take to take (15 to 30 ms per tap, so 15 to 30 ms RMS per interval); one
// tap in a hundred is off by a further 70 to 130 ms; now and then a run of a
// few taps lags 80 to 140 ms behind and catches up.
//
// Pieces: a steady piece holds its tempo with sections a few per cent apart,
// a slow drift, a lengthened last beat of every phrase, beat-level
// micro-timing of 1 to 2 %, and a ritardando at the end; an expressive piece
// bends its tempo beat by beat (about 6 %), arches every phrase (speeding up
// then holding back by 10 to 15 %) and sometimes holds a phrase's last beat
// (a fermata of 1.3 to 1.7 beats).
//
// Beyond these, what real material showed and the analysis must live with,
// each asked for by an option (the defaults make exactly the pieces and
// takes above, draw for draw, so tests built on them keep their meaning):
// - held and shortened beats anywhere in an expressive piece, 1.5 to 1.8
//   and 0.5 to 0.6 times the local median beat, as expressive piano has;
// - half-beats in the music itself, which every take taps;
// - fast pieces, beats of 250 to 350 ms, with every timing error scaled to
//   the tempo (the measured errors are of beats around 595 ms);
// - tapper noise from any range (the measured material spans 10 to 30 ms);
// - a stumble: a tap or two 25 to 45 % of a beat off the grid, the next tap
//   back on it (off taps, not a missed beat and an extra tap);
// - the same takes in another order, to check that their order decides
//   nothing.
//
// All randomness comes from std::mt19937 words turned into numbers with
// + - * / only, so every build makes the same takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "Take.h"

class TakeRandom {
public:
    explicit TakeRandom(uint32_t generatorState) : engine_(generatorState) {}
    double Uniform();                       // [0, 1)
    double Uniform(double lo, double hi);   // [lo, hi)
    int Between(int lo, int hi);            // lo..hi inclusive
    double Normal();                        // mean 0, deviation 1 (sum of twelve uniforms)
    bool Chance(double p) { return Uniform() < p; }

private:
    std::mt19937 engine_;
};

enum class PieceStyle { Steady, Expressive };

// What a piece holds beyond its style. The defaults are the pieces of the
// three-argument GeneratePiece.
struct PieceOptions {
    // The piece's base beat length is drawn from [ShortestBase, LongestBase)
    // ms; sections, drift, phrase ends and the final ritardando move the
    // beats around it.
    double ShortestBase = 330.0;
    double LongestBase = 950.0;
    // Expressive pieces: about one beat in fifty held to 1.5 to 1.8 times
    // the local median beat, and one in seventy shortened to 0.5 to 0.6 of
    // it, anywhere in a phrase and never next to another such beat.
    bool HeldAndShortened = false;
    // Beats of half the local median length (a bar with a half-beat more),
    // away from the ends of the piece and from each other. A piece too short
    // for them all gets as many as fit.
    int HalfBeats = 0;
};

// Fast pieces: a base beat of 275 to 315 ms, so that the beats lie between
// about 250 and 350 ms (an expressive piece's arches and holds reach a
// little beyond).
PieceOptions FastPiece();

// True beat times in milliseconds from 0.
std::vector<double> GeneratePiece(TakeRandom& random, PieceStyle style, int beats);
std::vector<double> GeneratePiece(TakeRandom& random, PieceStyle style, int beats, const PieceOptions& options);

// For every beat length of a piece (beat j to beat j + 1), the median of the
// beat lengths within seven beats each side, itself left out: the tempo
// around it, which held and short beats are measured against.
std::vector<double> LocalMedianLengths(const std::vector<double>& times);

// Stumble: taps off the grid by a share of a beat that come back to it.
enum class SlipKind { None, Missed, DoubleTap, LateStart, EarlyStop, Stumble };

// How a take is tapped beyond its slip. The defaults are the takes of the
// three-argument GenerateTake.
struct TakeOptions {
    // The take's error per tap is drawn from [LeastNoise, MostNoise) ms.
    double LeastNoise = 15.0;
    double MostNoise = 30.0;
    // Every timing error (the wandering error, the tap in a hundred far off,
    // the late runs) scaled by the piece's median beat over 595 ms, the
    // median beat of the measured tapping: a fast piece is tapped as
    // precisely, in shares of a beat, as a moderate one.
    bool ErrorFollowsTempo = false;
};

struct GeneratedTake {
    Take Clean;    // one tap on every beat, relative to the first
    Take Slipped;  // the same with the slip, relative to its own first tap
    // True beat of every tap of Slipped; -1 for an extra tap.
    std::vector<int64_t> BeatOfTap;
    SlipKind Slip = SlipKind::None;
    // Missed: the tap after which the beat is missing; DoubleTap: the extra
    // tap; Stumble: the first tap off the grid.
    int64_t SlipTap = -1;
    int64_t LateBy = 0;   // LateStart: beats not tapped at the start
    int64_t OffTaps = 0;  // Stumble: taps off the grid from SlipTap on (1 or 2)
};

GeneratedTake GenerateTake(TakeRandom& random, const std::vector<double>& piece, SlipKind slip);
GeneratedTake GenerateTake(TakeRandom& random, const std::vector<double>& piece, SlipKind slip,
                           const TakeOptions& options);

// A permutation of 0..count-1 (Fisher-Yates on `random`): where each item of
// a set goes when the set is tapped in another order. Permuted(items,
// order)[i] is items[order[i]].
std::vector<size_t> Permutation(TakeRandom& random, size_t count);
template <class T>
std::vector<T> Permuted(const std::vector<T>& items, const std::vector<size_t>& order)
{
    std::vector<T> result;
    result.reserve(order.size());
    for (const size_t i : order)
        result.push_back(items[i]);
    return result;
}
