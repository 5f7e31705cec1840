#include "GraphPaint.h"

#include <algorithm>

#include "Dpi.h"

namespace {

void FillLine(HDC dc, const RECT& rect, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

}  // namespace

bool PositionLineRect(const GraphModel& model, const GraphLayout& layout, double ms, UINT dpi, RECT& rect)
{
    int px = 0;
    if (!RecordingTimeColumn(model, layout, ms, px))
        return false;
    // The line's left column is the time's own, as a tap's point is.
    const GraphRect& plot = layout.Plot;
    const int width = ScaleToDpi(PositionLinePixels, dpi);
    rect = RECT{std::max<int>(px, plot.left), plot.top, std::min<int>(px + width, plot.right), plot.bottom};
    return rect.left < rect.right;
}

void PaintStartLine(HDC dc, const GraphContent& content, const GraphModel& model, const GraphLayout& layout,
                    UINT dpi)
{
    RECT rect;
    if (model.Waveform && PositionLineRect(model, layout, content.StartMs, dpi, rect))
        FillLine(dc, rect, StartColour);
}

void PaintPlayingLine(HDC dc, const GraphModel& model, const GraphLayout& layout, double ms, UINT dpi)
{
    RECT rect;
    if (PositionLineRect(model, layout, ms, dpi, rect))
        FillLine(dc, rect, PlayingColour);
}
