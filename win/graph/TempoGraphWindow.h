// The tempo graph: a window of its own beside the main window that draws
// every listed take's tempo beat by beat, the tempo map that would be
// exported, the spread between the takes and the analysis' findings.
//
// The main window owns the takes and their findings; it hands the graph a
// copy of what to show (UpdateTempoGraph) whenever they change, and hears
// of a click on a finding's marker through WM_GRAPHFINDING. The graph never
// changes a take itself. With a recording, a click on its waveform asks the
// owner to start there (WM_GRAPHSTARTAT), Escape to stop listening
// (WM_GRAPHSTOPLISTEN), and the owner shows what is being heard with
// SetTempoGraphPlayingPosition. The map's beats snapped onto the
// recording's onsets have markers along the plot's top: a click selects one
// (WM_GRAPHBEATSELECT), a drag moves it (WM_GRAPHBEATMOVE), the arrow keys
// and its context menu ask for the onset before or after it
// (WM_GRAPHBEATRESNAP) or for the snapping's own time (WM_GRAPHBEATRESET).
// The owner changes the beats and hands the graph the new content.
//
// What is shown and where it goes is portable (GraphModel.h, GraphLayout.h).
// Drawing is split from the window: PaintTempoGraph paints into any device
// context at any size, so tests and the benchmark draw into bitmaps.
#pragma once

#include <windows.h>

#include "TakeColours.h"

#include "GraphLayout.h"
#include "GraphModel.h"

// Opens the window (or brings it to the front) owned by `owner`; its place
// and size come from g_AppSettings (GraphLeft, GraphTop, GraphWidth,
// GraphHeight) and go back there whenever it moves, is sized or closes.
// Without a stored placement, or with one on no monitor, it opens beside
// the owner, wholly inside the work area of the owner's monitor.
void ShowTempoGraph(HWND owner);
// Replaces what the window shows. While the window is closed the content is
// only kept, so that opening it shows the latest.
void UpdateTempoGraph(GraphContent content);
// The time on the recording being heard (ms), drawn as a line; NaN or
// negative: none. Called many times a second while the recording plays:
// only the columns of the old and the new line are drawn again, onto the
// picture the window keeps.
void SetTempoGraphPlayingPosition(double ms);
HWND TempoGraphWindow();  // null while closed
void CloseTempoGraph();

// ---------------------------------------------------------------------------
// The drawing, apart from the window.

// Between GDI's types and the graph's.
inline GraphPoint ToGraphPoint(POINT point)
{
    return GraphPoint{static_cast<int>(point.x), static_cast<int>(point.y)};
}
inline GraphRect ToGraphRect(const RECT& rect)
{
    return GraphRect{static_cast<int>(rect.left), static_cast<int>(rect.top), static_cast<int>(rect.right),
                     static_cast<int>(rect.bottom)};
}
inline RECT ToRect(const GraphRect& rect)
{
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

// The layout at the view's DPI, its texts measured in the graph's font on
// `dc` (which it only measures with).
GraphLayout LayoutTempoGraph(HDC dc, const RECT& area, const GraphModel& model, const GraphView& view);

// Paints the whole area (background included) at the view's DPI.
void PaintTempoGraph(HDC dc, const GraphContent& content, const GraphModel& model, const GraphView& view,
                     const GraphLayout& layout);
// Lays out and paints in one.
void PaintTempoGraph(HDC dc, const RECT& area, const GraphContent& content, const GraphModel& model,
                     const GraphView& view);

// A 32-bit top-down DIB of the size: the graph's off-screen bitmap, whose
// pixels the line layers write directly.
BITMAPINFO TopDownBitmapInfo(int width, int height);

// The colour of take `index`'s line (as drawn when it is checked and not
// selected) is TakeColour (TakeColours.h), the colour of its row's mark.
// The fill of a marker of an accepted finding of `kind`.
COLORREF GraphMarkerColour(FindingKind kind);

// The open window's view (its x range filled in) and its layout as drawn
// now, for tests.
GraphView TempoGraphView();
GraphLayout TempoGraphLayout();
// What the window was last given to show.
const GraphContent& TempoGraphContent();
