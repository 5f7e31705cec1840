// What the tempo graph shows, made once per content and axis: every listed
// take's tempo beat by beat, the tempo map that would be exported, the
// spread between the takes and the analysis' findings as markers; and the
// maths between grid beats and times that the model, the layout and the
// window share.
//
// The main window owns the takes and their findings; it hands the graph a
// copy of what to show (GraphContent) whenever they change.
#pragma once

#include <cstdint>
#include <vector>

#include "TapAnalysis.h"
#include "TempoCurves.h"

struct GraphContent {
    std::vector<Take> Takes;    // every listed take in list order (taps relative to the first, ms)
    std::vector<bool> Checked;  // per take: exported or not (unchecked takes are drawn faint and dashed)
    Analysis Findings;          // AnalyzeTakes over Takes (every listed take)
    std::vector<std::vector<bool>> Accepted;  // per take, per finding of Findings.Takes[i].Findings
    std::vector<double> ExportBeatTimes;      // the beat times of the map that would be exported (empty: none)
    // The main window's interpolation count and base note: the map's line
    // shows every tempo point the export would write from ExportBeatTimes.
    // The y axis is BPM of the base note (one tap, one base note).
    int InterpCount = 0;
    int TimeSigBase = 2;
    int Selected = -1;                        // the selected row, highlighted
};

struct GraphMarker {
    int Take = 0;
    int Finding = 0;  // index into Findings.Takes[Take].Findings
    FindingKind Kind = FindingKind::Missed;
    bool Accepted = true;
    double X = 0.0;    // on the model's axis
    double Bpm = 0.0;  // where it sits: on its take's line
};

// The content's curves on one axis.
struct GraphModel {
    CurveAxis Axis = CurveAxis::Beat;
    std::vector<Curve> Takes;  // per take, in list order
    Curve Export;              // the exported map, every tempo point of it (empty: none)
    Curve SpreadLow;           // the band between the takes
    Curve SpreadHigh;
    std::vector<GraphMarker> Markers;
    // Grid time of every grid beat from beat 0 (ms), from the consensus
    // beat lengths: turns beats into times and back.
    std::vector<double> GridTime;
    double XMin = 0.0;  // the extent of every curve and marker
    double XMax = 0.0;
    bool Empty = true;  // nothing to draw
};

GraphModel BuildGraphModel(const GraphContent& content, CurveAxis axis);

// The tempo map the export would write from content.ExportBeatTimes, point
// by point: each tempo point (the interpolated ones inside a beat included)
// at its tick, its tempo in BPM of the base note. Empty without two beat
// times.
Curve ExportCurve(const GraphContent& content, CurveAxis axis);

// ---------------------------------------------------------------------------
// Beats and times on the grid (gridTime as in GraphModel::GridTime). On the
// beat axis x is the beat itself.

// Beat (possibly fractional) to its x on `axis`: on the time axis, the grid
// time, interpolated inside a beat; everything before beat 0 lies at 0 and
// everything past the grid's end at its end, as TakeCurves places it.
double XOfBeat(const std::vector<double>& gridTime, CurveAxis axis, double beat);
// The grid beat whose span holds x; on the time axis the last one past the
// grid's end and -1 before its start.
int64_t BeatAtX(const std::vector<double>& gridTime, CurveAxis axis, double x);
// The fractional grid beat at x: the inverse of XOfBeat on the grid.
double BeatAt(const std::vector<double>& gridTime, CurveAxis axis, double x);
// The time (ms from the grid's first beat) at x.
double TimeAt(const std::vector<double>& gridTime, CurveAxis axis, double x);

// A line's value at x: linear between its points, level beyond its ends;
// NaN for an empty curve.
double ValueAt(const Curve& curve, double x);
// The tempo a curve gives the beat that starts at x exactly; 0 when it has
// no point there.
double PointAt(const Curve& curve, double x);
