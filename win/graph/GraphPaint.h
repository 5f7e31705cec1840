// The tempo graph's painting, part by part: shared by the files that paint
// the grid and the axes (GraphPaintGrid.cpp), the lines (GraphPaintLines.cpp),
// the findings' markers (GraphPaintMarkers.cpp) and the pointer's line and
// text (GraphPaintHover.cpp); PaintTempoGraph (GraphPaint.cpp) paints them in
// that order. Private to the graph window's room.
#pragma once

#include <windows.h>

#include <string>

#include "TempoGraphWindow.h"

// Colours and sizes (sizes in pixels at 96 DPI).
inline constexpr COLORREF Background = RGB(255, 255, 255);
inline constexpr COLORREF GridColour = RGB(232, 232, 232);
inline constexpr COLORREF AxisColour = RGB(64, 64, 64);
inline constexpr COLORREF TextColour = RGB(0, 0, 0);
inline constexpr COLORREF SpreadColour = RGB(214, 226, 240);
inline constexpr COLORREF ExportColour = RGB(0, 0, 0);
inline constexpr COLORREF HoverColour = RGB(128, 128, 128);
inline constexpr COLORREF RejectedColour = RGB(150, 150, 150);
inline constexpr COLORREF WaveColour = RGB(210, 210, 210);      // the recording, under everything
inline constexpr COLORREF BeatLineColour = RGB(176, 176, 176);  // the map's beats over it
inline constexpr COLORREF StartColour = RGB(0, 160, 90);        // where listening starts
inline constexpr COLORREF PlayingColour = RGB(230, 0, 120);     // what is being heard
inline constexpr COLORREF OnsetColour = RGB(150, 190, 150);     // the onset strength, low over the waveform
inline constexpr COLORREF SnappedBeatColour = RGB(0, 110, 150);  // a beat on its onset (hollow: unsure)
inline constexpr COLORREF EditedBeatColour = RGB(200, 90, 0);    // a beat the musician placed
inline constexpr COLORREF SelectedBeatColour = RGB(255, 205, 0); // behind the selected beat's marker

inline constexpr int FontPoints = 9;
inline constexpr int PadPixels = 6;
inline constexpr int TickPixels = 4;
inline constexpr int TakeLinePixels = 1;
inline constexpr int SelectedLinePixels = 2;
inline constexpr int ExportLinePixels = 3;
inline constexpr int DashPixels = 4;  // an unchecked take's dashes and gaps
inline constexpr int PositionLinePixels = 2;  // the start's and the playing position's lines
inline constexpr int OnsetSharePercent = 20;  // of the plot's height: the onset strength at full

// A colour two thirds of the way to white (an unchecked take's line), and
// one half as bright (a marker's outline).
COLORREF Faint(COLORREF colour);
COLORREF Darker(COLORREF colour);

// The font the graph writes in, at `dpi`: the dialogs' face. Owned by the
// caller.
HFONT CreateGraphFont(UINT dpi);
SIZE TextSize(HDC dc, const std::string& text);
// `value` with `decimals` decimals.
std::string Number(double value, int decimals);
// `text` at (x, y) in the alignment given (TA_ flags).
void DrawLabel(HDC dc, int x, int y, const std::string& text, UINT align);

// Each part expects the graph's font selected, a transparent background and
// the text colour TextColour, and leaves them so.
// The grid lines, the axes with their numbers, the plot's frame and the
// axes' names.
void PaintGrid(HDC dc, const GraphModel& model, const GraphLayout& layout, UINT dpi);
// The recording's waveform, its onset strength and the map's beats (with a
// recording), the band
// between the takes, the takes' lines and the map's, cut to the plot.
void PaintLines(HDC dc, const GraphContent& content, const GraphLayout& layout, UINT dpi);
// The findings' markers; `dc` clipped to the plot.
void PaintMarkers(HDC dc, const GraphModel& model, const GraphLayout& layout, UINT dpi);
// The snapped beats' markers along the plot's top, each with its shift
// from its tapped time, the selected one highlighted; `dc` clipped to the
// plot.
void PaintBeatMarkers(HDC dc, const GraphContent& content, const GraphLayout& layout, UINT dpi);
// The start position's line on the waveform (with a recording); `dc`
// clipped to the plot.
void PaintStartLine(HDC dc, const GraphContent& content, const GraphModel& model, const GraphLayout& layout,
                    UINT dpi);
// The playing position's line at `ms` on the recording (none when
// negative).
void PaintPlayingLine(HDC dc, const GraphModel& model, const GraphLayout& layout, double ms, UINT dpi);
// The rectangle a line at recording time `ms` covers, cut to the plot; false
// when it lies outside it or there is none.
bool PositionLineRect(const GraphModel& model, const GraphLayout& layout, double ms, UINT dpi, RECT& rect);
// The dotted line under the pointer while it is over the plot; `dc` clipped
// to the plot.
void PaintHoverLine(HDC dc, const GraphView& view, const GraphLayout& layout);
// The hover line's text above the plot: the marker under the pointer, or the
// beat, the time and every take's tempo there.
void PaintHoverText(HDC dc, const GraphContent& content, const GraphModel& model, const GraphLayout& layout,
                    const GraphView& view);
