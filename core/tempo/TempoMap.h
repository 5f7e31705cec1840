// The tempo computation: all takes -> one tempo map.
//
// The takes are averaged beat by beat, a natural cubic spline is laid through
// the averaged beat times, the spline is sampled at evenly spaced points
// inside every beat when interpolation is asked for, and every interval
// between two consecutive time points becomes one tempo change in
// microseconds per quarter note on a grid of TicksPerQuarter ticks.
//
// The arithmetic is IEEE double in a fixed evaluation order and grouping,
// truncating toward zero: the exported bytes depend on every rounding, and
// they must come out the same on every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "Take.h"

constexpr uint32_t TicksPerQuarter = 2520;  // divisible by every step count 1..10
constexpr int MaxInterpCount = 10;
constexpr int MaxTimeSigBase = 5;
// The quarter note: one tap is a 1/2^2 note until the musician says otherwise.
constexpr int DefaultTimeSigBase = 2;

struct TempoPoint {
    uint32_t Delta = 0;  // ticks after the previous point (0 for the first)
    // Microseconds per quarter note, truncated toward zero. Negative when the
    // averaged or interpolated times run backwards, and beyond 24 bits for
    // very long intervals; the export clamps it (ExportTempoValue).
    int64_t Tempo = 0;
};
using TempoMap = std::vector<TempoPoint>;

struct SplineKnot {
    double x;  // abscissa: 2520 units per beat
    double y;  // time in milliseconds
    double z;  // one sixth of the second derivative at the knot
};

// Takes in list order; a listed take is never empty.
using TakeList = std::vector<const Take*>;
// A TakeList pointing at each of `takes`, in their order; they must
// outlive it.
TakeList TakeListOf(const std::vector<Take>& takes);

// True when every take has the tap count of the first.
bool TakesAreUniform(const TakeList& takes);
// A[k] is the mean of the k-th time of every take with more than k taps.
std::vector<double> AverageTakes(const TakeList& takes);
// Fills z of every knot: natural cubic spline (z = 0 at both ends).
void BuildSpline(SplineKnot* knots, int n);
double EvalSpline(double t, const SplineKnot* knots, int n);

// interpCount Q: 0..10 points inside each beat; timeSigBase b: the base note
// is a 1/2^b note. Needs at least one take of at least two taps.
TempoMap ComputeTempoMap(const TakeList& takes, int interpCount, int timeSigBase);
// The same from beat times already made (one per beat, in milliseconds):
// the spline through them and the tempo points. ComputeTempoMap is this over
// AverageTakes.
TempoMap TempoMapFromBeatTimes(const std::vector<double>& beatTimes, int interpCount, int timeSigBase);

// The points of TempoMapFromBeatTimes in order, handed to `sink` a few beats
// at a time instead of being held: a map of millions of points takes twice
// the memory of its file, so the export writes them straight into the file.
using TempoPointSink = std::function<void(const TempoPoint* points, size_t count)>;
void ForEachTempoPoint(const std::vector<double>& beatTimes, int interpCount, int timeSigBase,
                       const TempoPointSink& sink);

// The tick grid the points lie on, known before any point is made: the
// first point has Delta 0, the other points of a beat TickStep, and the
// first point of every later beat BeatStep.
struct TempoTickGrid {
    int PointsPerBeat = 1;  // interpCount + 1
    uint32_t TickStep = 0;
    uint32_t BeatStep = 0;
};
TempoTickGrid TempoTickGridFor(int interpCount, int timeSigBase);
// How many points `beats` beat times give: PointsPerBeat for each beat but
// the last, none for fewer than two beats.
size_t TempoPointCount(size_t beats, int interpCount);
