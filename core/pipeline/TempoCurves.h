// Tempo curves for drawing: each take's tempo beat by beat on the takes'
// common grid, the curve of the map that would be exported, the spread
// between the takes, and their reduction to what one pixel column shows.
//
// A curve is a list of points (x, tempo): x is the grid beat at which a beat
// starts (or, on the time axis, its start in milliseconds from the grid's
// first beat), the tempo is that beat's in beats of the base note per
// minute. A drawing of 10 takes of 100,000 taps into a window a few hundred
// pixels wide draws a vertical stroke per column from the column's lowest to
// its highest tempo (ReduceToColumns), so its cost is the pixel width, not
// the taps, once the reduction has walked the visible points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "TapAnalysis.h"
#include "TempoMap.h"

struct CurvePoint {
    double X = 0.0;
    double Bpm = 0.0;
};
using Curve = std::vector<CurvePoint>;  // ordered by X

enum class CurveAxis { Beat, Time };

// Tempo of one beat length in milliseconds; 0 for a length that is not
// positive.
double BeatsPerMinute(double beatMs);

// The takes' curves on the grid of their analysis: a point for every beat
// whose both ends the take tapped (an interval over missed beats gives each
// of them its share). On the time axis a beat sits at the grid time of its
// start (the consensus beat lengths added up).
std::vector<Curve> TakeCurves(const TakeList& takes, const Analysis& analysis, CurveAxis axis);

// The curve of beat times (the times the export's spline runs through).
Curve BeatTimesCurve(const std::vector<double>& beatTimes, CurveAxis axis);

// The spread between the takes at every grid beat: the lowest and highest
// tempo any take has there (a beat held by one take has no spread).
struct Band {
    std::vector<double> X;
    std::vector<double> Low;
    std::vector<double> High;
};
Band SpreadBand(const std::vector<Curve>& curves);

// One pixel column of a curve: the lowest and highest tempo among the points
// in it and the line's ends at its edges; Empty when no point or line
// segment falls in it.
struct Column {
    bool Empty = true;
    double Low = 0.0;
    double High = 0.0;
};

// The curve reduced to `width` columns covering x in [x0, x1): each
// column's range includes the line segments that cross it, so a curve drawn
// column by column has no gaps.
std::vector<Column> ReduceToColumns(const Curve& curve, double x0, double x1, int width);

// Hover: the point of any curve nearest to (x, bpm), with scales that turn
// both into pixels. take is -1 when no curve has a point within maxPixels.
struct CurveHit {
    int Take = -1;
    size_t Point = 0;
};
CurveHit HitTest(const std::vector<Curve>& curves, double x, double bpm, double pixelsPerX, double pixelsPerBpm,
                 double maxPixels);
