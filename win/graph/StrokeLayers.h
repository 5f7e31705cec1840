// The tempo graph's rasteriser: the plot's lines as vertical strokes, one
// per pixel column, in layers from the bottom (the band) to the top (the
// selected take). Zoomed out, a column of jittery taps spans much of the
// plot's height, and ten takes on top of each other would fill its pixels
// ten times over: so each layer draws only what the layers above it leave
// uncovered, and every pixel of the plot is written at most once.
#pragma once

#include <windows.h>

#include <vector>

#include "GraphLayout.h"

class StrokeLayers {
public:
    // Strokes are cut to `plotArea`.
    explicit StrokeLayers(const GraphRect& plotArea);

    // A new layer above the others; a width above 1 draws each stroke that
    // many pixels wide and as much longer.
    void Begin(COLORREF colour, int width);
    // A stroke of the newest layer in column x from row top to row bottom
    // (both included).
    void Add(int x, int top, int bottom);

    // Draws every layer onto `dc`: straight into the pixels of a 32-bit DIB
    // section selected without any mapping, through GDI into any other
    // device context; the same pixels either way.
    void Draw(HDC dc);

private:
    struct Stroke {
        int x, top, bottom;  // bottom included
    };
    struct Layer {
        COLORREF colour;
        int width;
        std::vector<Stroke> strokes;
        std::vector<POINT> points;  // the visible pieces, as PolyPolyline takes them
        std::vector<DWORD> counts;
    };
    // The rows of one column already drawn: a few disjoint runs in order
    // (a wide layer may leave more than one in a column).
    static constexpr int MaxRuns = 32;
    struct Runs {
        int count = 0;
        int top[MaxRuns];
        int bottom[MaxRuns];
    };

    bool DrawIntoBitmap(HDC dc);
    void Emit(Layer& layer, int x, int top, int bottom);
    void Cover(Layer& layer, int x, int top, int bottom);

    GraphRect plot;
    std::vector<Runs> coverage;
    std::vector<Layer> layers;
};
