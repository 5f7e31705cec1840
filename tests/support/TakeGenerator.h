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
// All randomness comes from std::mt19937 words turned into numbers with
// + - * / only, so every build makes the same takes.
#pragma once

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

// True beat times in milliseconds from 0.
std::vector<double> GeneratePiece(TakeRandom& random, PieceStyle style, int beats);

enum class SlipKind { None, Missed, DoubleTap, LateStart, EarlyStop };

struct GeneratedTake {
    Take Clean;    // one tap on every beat, relative to the first
    Take Slipped;  // the same with the slip, relative to its own first tap
    // True beat of every tap of Slipped; -1 for an extra tap.
    std::vector<int64_t> BeatOfTap;
    SlipKind Slip = SlipKind::None;
    int64_t SlipTap = -1;  // Missed: the tap after which the beat is missing; DoubleTap: the extra tap
    int64_t LateBy = 0;    // LateStart: beats not tapped at the start
};

GeneratedTake GenerateTake(TakeRandom& random, const std::vector<double>& piece, SlipKind slip);
