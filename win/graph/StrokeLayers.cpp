#include "StrokeLayers.h"

#include <algorithm>
#include <cstdint>

StrokeLayers::StrokeLayers(const GraphRect& plotArea)
    : plot(plotArea), coverage(static_cast<size_t>(std::max<int>(plot.right - plot.left, 0)))
{
}

void StrokeLayers::Begin(COLORREF colour, int width)
{
    layers.push_back(Layer{colour, std::max(width, 1), {}, {}, {}});
}

void StrokeLayers::Add(int x, int top, int bottom)
{
    Layer& layer = layers.back();
    layer.strokes.push_back(Stroke{x, top, bottom});
}

void StrokeLayers::Draw(HDC dc)
{
    // From the top layer down, each stroke cut to what is still free.
    for (size_t i = layers.size(); i-- > 0;) {
        Layer& layer = layers[i];
        const int before = (layer.width - 1) / 2;
        const int after = layer.width / 2;
        for (const Stroke& stroke : layer.strokes) {
            const int top = std::max<int>(stroke.top - before, plot.top);
            const int bottom = std::min<int>(stroke.bottom + after, plot.bottom - 1);
            if (top > bottom)
                continue;
            for (int x = stroke.x - before; x <= stroke.x + after; ++x) {
                if (x >= plot.left && x < plot.right)
                    Cover(layer, x, top, bottom);
            }
        }
    }
    if (DrawIntoBitmap(dc))
        return;
    for (const Layer& layer : layers) {
        if (layer.counts.empty())
            continue;
        HPEN pen = CreatePen(PS_SOLID, 1, layer.colour);
        const HGDIOBJ old = SelectObject(dc, pen);
        PolyPolyline(dc, layer.points.data(), layer.counts.data(), static_cast<DWORD>(layer.counts.size()));
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

// Where `dc` draws into a 32-bit DIB section without any mapping (the
// window's off-screen bitmap, a test's, the benchmark's), the pieces are
// written straight into its pixels: each of the thousands of pieces
// through GDI would cost more than its pixels. False for any other
// device context, which then gets them through GDI.
bool StrokeLayers::DrawIntoBitmap(HDC dc)
{
    const auto target = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
    DIBSECTION dib = {};
    if (!target || GetObjectA(target, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32 ||
        !dib.dsBm.bmBits || GetMapMode(dc) != MM_TEXT)
        return false;
    POINT viewport = {};
    POINT origin = {};
    GetViewportOrgEx(dc, &viewport);
    GetWindowOrgEx(dc, &origin);
    if (viewport.x || viewport.y || origin.x || origin.y)
        return false;
    const LONG width = dib.dsBm.bmWidth;
    const LONG height = dib.dsBm.bmHeight;
    auto* base = static_cast<BYTE*>(dib.dsBm.bmBits);
    // Which way up its rows lie: not every system reports a top-down
    // section's height as negative, so one pixel is asked.
    const COLORREF corner = GetPixel(dc, 0, 0);
    SetPixelV(dc, 0, 0, RGB(1, 2, 3));
    GdiFlush();
    const bool topDown = (*reinterpret_cast<const uint32_t*>(base) & 0xFFFFFF) == 0x010203;
    SetPixelV(dc, 0, 0, corner);
    GdiFlush();
    for (const Layer& layer : layers) {
        const uint32_t pixel = (static_cast<uint32_t>(GetRValue(layer.colour)) << 16) |
                               (static_cast<uint32_t>(GetGValue(layer.colour)) << 8) | GetBValue(layer.colour);
        for (size_t i = 0; i + 1 < layer.points.size(); i += 2) {
            const LONG x = layer.points[i].x;
            if (x < 0 || x >= width)
                continue;
            const LONG top = std::max<LONG>(layer.points[i].y, 0);
            const LONG end = std::min<LONG>(layer.points[i + 1].y, height);
            for (LONG y = top; y < end; ++y) {
                const LONG row = topDown ? y : height - 1 - y;
                reinterpret_cast<uint32_t*>(base + static_cast<size_t>(row) * dib.dsBm.bmWidthBytes)[x] = pixel;
            }
        }
    }
    return true;
}

void StrokeLayers::Emit(Layer& layer, int x, int top, int bottom)
{
    layer.points.push_back(POINT{x, top});
    layer.points.push_back(POINT{x, bottom + 1});
    layer.counts.push_back(2);
}

void StrokeLayers::Cover(Layer& layer, int x, int top, int bottom)
{
    Runs& runs = coverage[static_cast<size_t>(x - plot.left)];
    // A column covered by more runs than are kept hides what is under
    // them: the pieces must stay apart, as the bitmap takes them in any
    // order.
    if (runs.count >= MaxRuns)
        return;
    // The free pieces of [top, bottom] between the runs.
    int from = top;
    for (int r = 0; r < runs.count && from <= bottom; ++r) {
        if (runs.bottom[r] < from)
            continue;
        if (runs.top[r] > bottom)
            break;
        if (runs.top[r] > from)
            Emit(layer, x, from, runs.top[r] - 1);
        from = std::max(from, runs.bottom[r] + 1);
    }
    if (from <= bottom)
        Emit(layer, x, from, bottom);
    // Merged into the runs: one more at most, and there is room for it.
    int newTop = top;
    int newBottom = bottom;
    int keep[MaxRuns][2];
    int kept = 0;
    int insertAt = -1;
    for (int r = 0; r < runs.count; ++r) {
        if (runs.bottom[r] + 1 < newTop) {
            keep[kept][0] = runs.top[r];
            keep[kept][1] = runs.bottom[r];
            ++kept;
        } else if (runs.top[r] > newBottom + 1) {
            if (insertAt < 0) {
                insertAt = kept;
                keep[kept][0] = newTop;
                keep[kept][1] = newBottom;
                ++kept;
            }
            keep[kept][0] = runs.top[r];
            keep[kept][1] = runs.bottom[r];
            ++kept;
        } else {
            newTop = std::min(newTop, runs.top[r]);
            newBottom = std::max(newBottom, runs.bottom[r]);
        }
    }
    if (insertAt < 0) {
        keep[kept][0] = newTop;
        keep[kept][1] = newBottom;
        ++kept;
    }
    runs.count = kept;
    for (int r = 0; r < kept; ++r) {
        runs.top[r] = keep[r][0];
        runs.bottom[r] = keep[r][1];
    }
}
