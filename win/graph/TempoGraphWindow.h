// The tempo graph: a window of its own beside the main window that draws
// every listed take's tempo beat by beat, the tempo map that would be
// exported, the spread between the takes and the analysis' findings.
//
// The main window owns the takes and their findings; it hands the graph a
// copy of what to show (UpdateTempoGraph) whenever they change, and hears
// of a click on a finding's marker through WM_GRAPHFINDING. The graph never
// changes a take itself.
//
// Drawing is split from the window: PaintTempoGraph paints into any device
// context at any size, so tests and the benchmark draw into bitmaps. The
// curves are made once per content and axis (GraphModel); the drawing then
// reduces each of them to one stroke per pixel column (ReduceToColumns), so
// its cost follows the window's width, not the number of taps.
#pragma once

#include <windows.h>

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

// Opens the window (or brings it to the front) owned by `owner`; its place
// and size come from g_AppSettings (GraphLeft, GraphTop, GraphWidth,
// GraphHeight; without a stored placement it opens beside the owner) and go
// back there whenever it moves, is sized or closes.
void ShowTempoGraph(HWND owner);
// Replaces what the window shows. While the window is closed the content is
// only kept, so that opening it shows the latest.
void UpdateTempoGraph(GraphContent content);
HWND TempoGraphWindow();  // null while closed
void CloseTempoGraph();

// ---------------------------------------------------------------------------
// The drawing, apart from the window.

// The content's curves on one axis, made once per content and axis.
struct GraphMarker {
    int Take = 0;
    int Finding = 0;  // index into Findings.Takes[Take].Findings
    FindingKind Kind = FindingKind::Missed;
    bool Accepted = true;
    double X = 0.0;    // on the model's axis
    double Bpm = 0.0;  // where it sits: on its take's line
};

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

// What part is shown and how.
struct GraphView {
    CurveAxis Axis = CurveAxis::Beat;
    // The x range shown (beats, or ms from the grid's first beat); the whole
    // graph when X1 <= X0.
    double X0 = 0.0;
    double X1 = 0.0;
    UINT Dpi = 96;
    // The pointer, for the hover line and the hover text.
    bool Hovering = false;
    POINT Pointer = {0, 0};
};

// Where everything goes in a drawing at one size, DPI and x range, and each
// curve reduced to the plot's pixel columns. X0 lies at the left edge of
// column 0, X1 at the right edge of the last column; Bpm0 at the bottom row,
// Bpm1 at the top row.
struct GraphLayout {
    RECT Area = {0, 0, 0, 0};
    RECT Plot = {0, 0, 0, 0};
    RECT Status = {0, 0, 0, 0};  // the hover text's line
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

    int XOf(double x) const;     // the pixel column of x (may lie outside the plot)
    int YOf(double bpm) const;   // the pixel row of a tempo (may lie outside the plot)
    double XAt(int px) const;    // x at the middle of a pixel column
    double BpmAt(int py) const;  // the tempo of a pixel row
};

// The view with its x range filled in: the whole graph when it has none,
// else as it is.
GraphView ResolveView(const GraphModel& model, GraphView view);

// `dc` only measures texts.
GraphLayout LayoutTempoGraph(HDC dc, const RECT& area, const GraphModel& model, const GraphView& view);

// Paints the whole area (background included) at the view's DPI.
void PaintTempoGraph(HDC dc, const GraphContent& content, const GraphModel& model, const GraphView& view,
                     const GraphLayout& layout);
// Lays out and paints in one.
void PaintTempoGraph(HDC dc, const RECT& area, const GraphContent& content, const GraphModel& model,
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
GraphHover HoverTempoGraph(const GraphModel& model, const GraphLayout& layout, POINT point);

// The marker under a point: its index in model.Markers, or -1.
int MarkerAt(const GraphModel& model, const GraphLayout& layout, POINT point);

// A 32-bit top-down DIB of the size: the graph's off-screen bitmap, whose
// pixels the line layers write directly.
BITMAPINFO TopDownBitmapInfo(int width, int height);

// The colour of take `index`'s line (as drawn when it is checked and not
// selected).
COLORREF GraphTakeColour(int index);
// The fill of a marker of an accepted finding of `kind`.
COLORREF GraphMarkerColour(FindingKind kind);

// The open window's view (its x range filled in) and its layout as drawn
// now, for tests.
GraphView TempoGraphView();
GraphLayout TempoGraphLayout();
