// What the tempo graph shows, made once per content and axis: every listed
// take's tempo beat by beat, the tempo map that would be exported, the
// spread between the takes and the analysis' findings as markers; and the
// maths between grid beats and times that the model, the layout and the
// window share.
//
// The main window owns the takes and their findings; it hands the graph a
// copy of what to show (GraphContent) whenever they change.
//
// With a recording the time axis is the recording's timeline (ms from its
// first sample): its waveform lies under the lines, a take tapped along it
// (anchored) is drawn where its taps fell on it, the other takes and the
// grid where the anchored ones put the grid, and the map's beats are thin
// lines across the plot. The beat axis stretches time beat by beat, so it
// shows no waveform; its times (the hover's, a playing position's) are
// still the recording's.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "TapAnalysis.h"
#include "TempoCurves.h"

// Named only: a window that includes the graph need not see the audio
// headers (their names meet the shell's).
class PeakEnvelope;
class WaveformLevels;

// How a beat of the map came to its time on the recording: moved onto the
// onset nearest its tapped time, kept its neighbours' shift for want of a
// clear onset, or placed by the musician.
enum class BeatMark : uint8_t { Snapped, Unsure, Edited };

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

    // The recording the takes were tapped along; null: none, and the graph
    // is drawn as without one whatever the fields below say.
    std::shared_ptr<const PeakEnvelope> Waveform;
    uint32_t WaveformRate = 0;   // its frames per second
    std::vector<int64_t> Anchors;  // per take: its first tap's time on the recording (ms), or -1
    bool ExportOnRecording = false;  // ExportBeatTimes are times on the recording already
    double StartMs = 0.0;            // where listening and the tap dialog start, marked on the waveform

    // The map's beats snapped onto the recording's onsets (drawn only on
    // the time axis with the recording and ExportOnRecording): per beat, in
    // rising order, its tapped time (the takes' average) and its time as
    // exported, both in ms on the recording, and how it got there (a beat
    // past the end of BeatMarks counts as Snapped). Empty: no snapping;
    // TappedBeatMs and SnappedBeatMs of different lengths show none.
    std::vector<double> TappedBeatMs;
    std::vector<double> SnappedBeatMs;
    std::vector<BeatMark> BeatMarks;
    int SelectedBeat = -1;  // index into SnappedBeatMs, highlighted; -1 none
    // The recording's onset strength (each value in [0, 1], value i at
    // i * OnsetHopMs on the recording), drawn low in the plot; null: none.
    std::shared_ptr<const std::vector<float>> OnsetValues;
    double OnsetHopMs = 0.0;
};

// One of the map's snapped beats as the graph shows it.
struct GraphBeat {
    double TappedMs = 0.0;
    double SnappedMs = 0.0;
    BeatMark Mark = BeatMark::Snapped;
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
    double XMin = 0.0;  // the extent of every curve and marker (and of the recording's waveform)
    double XMax = 0.0;
    bool Empty = true;  // no line and no marker to draw

    // On the time axis with a recording: its envelope (null on the beat
    // axis and without one), its rate and length, and the x of every beat
    // of the map.
    std::shared_ptr<const WaveformLevels> Waveform;
    uint32_t WaveformRate = 0;
    double RecordingMs = 0.0;
    std::vector<double> BeatLines;
    // With snapped beats (GraphContent::SnappedBeatMs) on that axis: each of
    // them, in the content's order; and the onset strength, if given.
    std::vector<GraphBeat> Beats;
    std::shared_ptr<const std::vector<float>> Onsets;
    double OnsetHopMs = 0.0;
};

GraphModel BuildGraphModel(const GraphContent& content, CurveAxis axis);

// The tempo map the export would write from content.ExportBeatTimes, point
// by point: each tempo point (the interpolated ones inside a beat included)
// at its tick, its tempo in BPM of the base note. Empty without two beat
// times.
Curve ExportCurve(const GraphContent& content, CurveAxis axis);

// ---------------------------------------------------------------------------
// Beats and times on the grid (gridTime as in GraphModel::GridTime: from 0,
// or from the recording time of the grid's first beat when there is a
// recording). On the beat axis x is the beat itself.

// Beat (possibly fractional) to its x on `axis`: on the time axis, the grid
// time, interpolated inside a beat; everything before beat 0 lies at 0 and
// everything past the grid's end at its end, as TakeCurves places it.
double XOfBeat(const std::vector<double>& gridTime, CurveAxis axis, double beat);
// The grid beat whose span holds x; on the time axis the last one past the
// grid's end and -1 before its start.
int64_t BeatAtX(const std::vector<double>& gridTime, CurveAxis axis, double x);
// The fractional grid beat at x: the inverse of XOfBeat on the grid.
double BeatAt(const std::vector<double>& gridTime, CurveAxis axis, double x);
// The time at x (ms from the grid's first beat, or on the recording).
double TimeAt(const std::vector<double>& gridTime, CurveAxis axis, double x);

// A line's value at x: linear between its points, level beyond its ends;
// NaN for an empty curve.
double ValueAt(const Curve& curve, double x);
// The tempo a curve gives the beat that starts at x exactly; 0 when it has
// no point there.
double PointAt(const Curve& curve, double x);

// The recording time of the grid's first beat: the median over the anchored
// takes' taps (about a thousand of each) of where each puts it (its time on
// the recording less its beat's grid time). 0 without an anchored take the
// analysis placed.
double GridStartOnRecording(const GraphContent& content, const std::vector<double>& gridTimeFromZero);
