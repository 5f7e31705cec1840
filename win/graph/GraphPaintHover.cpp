#include "GraphPaint.h"

#include <string>
#include <vector>

#include "Messages.h"
#include "resource.h"

namespace {

UINT KindText(FindingKind kind)
{
    switch (kind) {
    case FindingKind::Missed:
        return IDS_GRAPH_MISSED;
    case FindingKind::Extra:
        return IDS_GRAPH_EXTRA;
    case FindingKind::Start:
        return IDS_GRAPH_START;
    case FindingKind::Outlier:
        return IDS_GRAPH_OUTLIER;
    }
    return IDS_GRAPH_MISSED;
}

// The hover line: the marker under the pointer, or the beat, the time and
// every take's tempo there; each take's part in its line's colour.
struct TextPiece {
    std::string Text;
    COLORREF Colour;
};

std::vector<TextPiece> HoverText(const GraphContent& content, const GraphModel& model, const GraphLayout& layout,
                                 GraphPoint pointer)
{
    std::vector<TextPiece> pieces;
    const std::string takeText = LoadResString(IDS_GRAPH_HOVER_TAKE);
    const int marker = MarkerAt(model, layout, pointer);
    if (marker >= 0) {
        const GraphMarker& m = model.Markers[static_cast<size_t>(marker)];
        pieces.push_back({LoadResString(KindText(m.Kind)) + "  ", TextColour});
        pieces.push_back({FillPlaceholders(takeText, std::to_string(m.Take + 1), Number(m.Bpm, 1)), TakeColour(m.Take)});
        if (!m.Accepted)
            pieces.push_back({"  " + LoadResString(IDS_GRAPH_REJECTED), TextColour});
        return pieces;
    }
    const GraphHover hover = HoverTempoGraph(model, layout, pointer);
    if (!hover.Inside)
        return pieces;
    pieces.push_back({LoadResString(IDS_GRAPH_HOVER, std::to_string(hover.Beat + 1), Number(hover.TimeMs / 1000.0, 2)),
                      TextColour});
    for (size_t m = 0; m < hover.TakeBpm.size() && m < content.Takes.size(); ++m) {
        if (hover.TakeBpm[m] > 0.0)
            pieces.push_back({"   " + FillPlaceholders(takeText, std::to_string(m + 1), Number(hover.TakeBpm[m], 1)),
                              TakeColour(static_cast<int>(m))});
    }
    return pieces;
}

}  // namespace

void PaintHoverLine(HDC dc, const GraphView& view, const GraphLayout& layout)
{
    const GraphRect& plot = layout.Plot;
    if (!view.Hovering || !Contains(plot, view.Pointer))
        return;
    HPEN hoverPen = CreatePen(PS_DOT, 1, HoverColour);
    const HGDIOBJ oldPen = SelectObject(dc, hoverPen);
    MoveToEx(dc, view.Pointer.x, plot.top, nullptr);
    LineTo(dc, view.Pointer.x, plot.bottom);
    SelectObject(dc, oldPen);
    DeleteObject(hoverPen);
}

void PaintHoverText(HDC dc, const GraphContent& content, const GraphModel& model, const GraphLayout& layout,
                    const GraphView& view)
{
    if (!view.Hovering)
        return;
    RECT status = ToRect(layout.Status);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    for (const TextPiece& piece : HoverText(content, model, layout, view.Pointer)) {
        SetTextColor(dc, piece.Colour);
        ExtTextOutA(dc, status.left, status.top, ETO_CLIPPED, &status, piece.Text.data(),
                    static_cast<UINT>(piece.Text.size()), nullptr);
        status.left += TextSize(dc, piece.Text).cx;
        if (status.left >= status.right)
            break;
    }
    SetTextColor(dc, TextColour);
}
