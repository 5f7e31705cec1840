#include "GraphPaint.h"

#include "Dpi.h"
#include "Messages.h"
#include "resource.h"

void PaintGrid(HDC dc, const GraphModel& model, const GraphLayout& layout, UINT dpi)
{
    const GraphRect& plot = layout.Plot;
    const int tick = ScaleToDpi(TickPixels, dpi);
    const int thin = ScaleToDpi(1, dpi);

    // Grid lines and the axes' numbers.
    HPEN gridPen = CreatePen(PS_SOLID, thin, GridColour);
    HPEN axisPen = CreatePen(PS_SOLID, thin, AxisColour);
    HGDIOBJ oldPen = SelectObject(dc, gridPen);
    for (double v : layout.YTicks) {
        const int y = layout.YOf(v);
        MoveToEx(dc, plot.left, y, nullptr);
        LineTo(dc, plot.right, y);
    }
    for (double x : layout.XTicks) {
        const int px = layout.XOf(x);
        if (px < plot.left || px >= plot.right)
            continue;
        MoveToEx(dc, px, plot.top, nullptr);
        LineTo(dc, px, plot.bottom);
    }
    SelectObject(dc, axisPen);
    for (double v : layout.YTicks) {
        const int y = layout.YOf(v);
        MoveToEx(dc, plot.left - tick, y, nullptr);
        LineTo(dc, plot.left, y);
        DrawLabel(dc, plot.left - tick - thin * 2, y - layout.TextHeight / 2, Number(v, 0), TA_RIGHT | TA_TOP);
    }
    const bool beats = model.Axis == CurveAxis::Beat;
    const double xStep = layout.XTicks.size() >= 2 ? layout.XTicks[1] - layout.XTicks[0] : 1000.0;
    const int timeDecimals = xStep >= 1000.0 ? 0 : xStep >= 100.0 ? 1 : 2;
    for (double x : layout.XTicks) {
        const int px = layout.XOf(x);
        if (px < plot.left || px >= plot.right)
            continue;
        MoveToEx(dc, px, plot.bottom, nullptr);
        LineTo(dc, px, plot.bottom + tick);
        // (+ 0.0 turns a tick at -0 into 0.)
        const std::string label = beats ? Number(x + 1.0, 0) : Number(x / 1000.0 + 0.0, timeDecimals);
        DrawLabel(dc, px, plot.bottom + tick, label, TA_CENTER | TA_TOP);
    }
    // The frame.
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, plot.left - thin, plot.top - thin, plot.right + thin, plot.bottom + thin);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(axisPen);

    // The axes' names.
    DrawLabel(dc, layout.Area.left + ScaleToDpi(PadPixels, dpi), plot.top - layout.TextHeight - ScaleToDpi(PadPixels, dpi) / 2,
             LoadResString(IDS_GRAPH_AXIS_BPM), TA_LEFT | TA_TOP);
    DrawLabel(dc, (plot.left + plot.right) / 2, plot.bottom + tick + layout.TextHeight,
             LoadResString(beats ? IDS_GRAPH_AXIS_BEAT : IDS_GRAPH_AXIS_TIME), TA_CENTER | TA_TOP);
}
