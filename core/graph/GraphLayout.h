// Where the tempo graph's parts go in a drawing of one size, and what the
// pointer is over: the view (the x range shown), the layout in pixels with
// each curve reduced to the plot's pixel columns (ReduceToColumns, so the
// drawing's cost follows the width, not the number of taps), the hover
// readout and the marker under a point. Pixel maths only: the Windows half
// measures the texts (GraphMetrics) and paints.
#pragma once

#include <cstdint>
#include <vector>

#include "GraphModel.h"

// Pixel coordinates, y downwards. A rectangle holds left..right-1 and
// top..bottom-1, as on the screen.
struct GraphPoint {
    int x = 0;
    int y = 0;
};
struct GraphRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
bool Contains(const GraphRect& rect, GraphPoint point);

// The narrowest view on each axis.
constexpr double MinBeatSpan = 4.0;
constexpr double MinTimeSpan = 2000.0;
// A marker's half size at 96 DPI, in pixels.
constexpr int MarkerRadiusPixels = 5;

// What part is shown and how.
struct GraphView {
    CurveAxis Axis = CurveAxis::Beat;
    // The x range shown (beats, or ms from the grid's first beat); the whole
    // graph when X1 <= X0.
    double X0 = 0.0;
    double X1 = 0.0;
    unsigned Dpi = 96;
    // The pointer, for the hover line and the hover text.
    bool Hovering = false;
    GraphPoint Pointer;
    // The time on the recording being heard (ms), drawn as a line; none
    // when negative.
    double PlayingMs = -1.0;
    // A snapped beat's marker being dragged (index into GraphModel::Beats)
    // and the recording time it is dragged to; none when negative.
    int DraggedBeat = -1;
    double DraggedBeatMs = 0.0;
};

// The view with its x range filled in: the whole graph when it has none,
// else as it is.
GraphView ResolveView(const GraphModel& model, GraphView view);

// The sizes a layout needs from the device it is drawn on, in pixels at the
// view's DPI.
struct GraphMetrics {
    int TextHeight = 0;    // of the font the texts are drawn in
    int NumberWidth = 0;   // of "8888" in that font
    int Pad = 0;           // around the plot and between its texts
    int Tick = 0;          // an axis tick's length
    int MarkerRadius = 0;  // half a marker's size
};

// One pixel column of the recording's waveform: the lowest and highest
// sample under it (16-bit steps); Empty outside the recording.
struct WaveColumn {
    bool Empty = true;
    int16_t Low = 0;
    int16_t High = 0;
};

// A snapped beat's marker in view, in a row along the plot's top: the beat
// (index into GraphModel::Beats), the pixel column of its time (or of where
// it is being dragged) and of its tapped time, where its shift starts.
struct BeatMarkerSpot {
    int Beat = 0;
    int X = 0;
    int TappedX = 0;
    BeatMark Mark = BeatMark::Snapped;
};

// Where everything goes in a drawing at one size, DPI and x range, and each
// curve reduced to the plot's pixel columns. X0 lies at the left edge of
// column 0, X1 at the right edge of the last column; Bpm0 at the bottom row,
// Bpm1 at the top row.
struct GraphLayout {
    GraphRect Area;
    GraphRect Plot;
    GraphRect Status;  // the hover text's line
    double X0 = 0.0;
    double X1 = 1.0;
    double Bpm0 = 0.0;
    double Bpm1 = 1.0;
    int TextHeight = 0;    // of the font the texts are drawn in
    int MarkerRadius = 0;  // half a marker's size
    std::vector<double> XTicks;
    std::vector<double> YTicks;
    std::vector<std::vector<Column>> TakeColumns;
    std::vector<Column> ExportColumns;
    std::vector<Column> SpreadLowColumns;
    std::vector<Column> SpreadHighColumns;
    // With a recording (the time axis): its waveform per pixel column (else
    // empty), and the pixel column of each of the map's beats in view; none
    // where they would lie closer together than a tick's length, which
    // would only grey the plot over.
    std::vector<WaveColumn> WaveColumns;
    std::vector<int> BeatLineColumns;
    // The snapped beats' markers in view, in the beats' order, centred on
    // row BeatMarkerY; none where they would lie closer together than a
    // marker's half size (zoomed out, they are only a smear and no one of
    // them could be picked). The onset strength's highest value under each
    // pixel column, in [0, 1] (empty without one).
    std::vector<BeatMarkerSpot> BeatMarkers;
    int BeatMarkerY = 0;
    std::vector<float> OnsetColumns;

    int XOf(double x) const;     // the pixel column of x (may lie outside the plot)
    int YOf(double bpm) const;   // the pixel row of a tempo (may lie outside the plot)
    // The pixel row of a waveform sample: full scale reaches the plot's top
    // and bottom rows, silence its middle.
    int YOfSample(int sample) const;
    double XAt(int px) const;    // x at the middle of a pixel column
    double BpmAt(int py) const;  // the tempo of a pixel row
};

// The layout of `model` in `area` for `view` (its x range filled in as
// ResolveView fills it), with the texts' sizes measured by the caller.
GraphLayout LayOutGraph(const GraphRect& area, const GraphMetrics& metrics, const GraphModel& model,
                        const GraphView& view);

// What the pointer is over: the grid beat and time under it and every
// take's tempo on that beat, and the take whose line is nearest.
struct GraphHover {
    bool Inside = false;  // over the plot
    int64_t Beat = 0;     // grid beat, 0 the first
    double TimeMs = 0.0;  // from the grid's first beat
    std::vector<double> TakeBpm;  // per take; 0 where the take has no tempo on that beat
    int Take = -1;                // the nearest line within reach, or -1
};
GraphHover HoverTempoGraph(const GraphModel& model, const GraphLayout& layout, GraphPoint point);

// The marker under a point: its index in model.Markers, or -1.
int MarkerAt(const GraphModel& model, const GraphLayout& layout, GraphPoint point);

// The snapped beat whose marker is under a point: its index in
// model.Beats (the nearest when markers touch), or -1.
int BeatMarkerAt(const GraphModel& model, const GraphLayout& layout, GraphPoint point);

// The recording time (whole ms, within [0, its length]) under a point over
// the plot on the time axis with a recording; -1 elsewhere.
int64_t RecordingTimeAt(const GraphModel& model, const GraphLayout& layout, GraphPoint point);

// The pixel column of a time on the recording (ms) on either axis (on the
// beat axis through the grid); false for a negative or NaN time, or on the
// beat axis without a grid. The column may lie outside the plot.
bool RecordingTimeColumn(const GraphModel& model, const GraphLayout& layout, double ms, int& px);
