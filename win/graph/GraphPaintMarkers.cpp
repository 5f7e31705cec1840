#include "GraphPaint.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Dpi.h"

namespace {

// The pens and brushes of the markers, made once per painting: a take set
// of 100,000 taps may have thousands of findings.
class MarkerPainter {
public:
    MarkerPainter(HDC target, int radius, int penWidth) : dc(target), r(radius)
    {
        for (int kind = 0; kind < KindCount; ++kind) {
            const COLORREF colour = GraphMarkerColour(static_cast<FindingKind>(kind));
            pens[kind][1] = CreatePen(PS_SOLID, penWidth, Darker(colour));
            brushes[kind][1] = CreateSolidBrush(colour);
            pens[kind][0] = CreatePen(PS_SOLID, penWidth, RejectedColour);
            brushes[kind][0] = CreateSolidBrush(Background);
        }
        oldPen = SelectObject(dc, pens[0][1]);
        oldBrush = SelectObject(dc, brushes[0][1]);
    }
    ~MarkerPainter()
    {
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        for (int kind = 0; kind < KindCount; ++kind) {
            for (int accepted = 0; accepted < 2; ++accepted) {
                DeleteObject(pens[kind][accepted]);
                DeleteObject(brushes[kind][accepted]);
            }
        }
    }
    MarkerPainter(const MarkerPainter&) = delete;
    MarkerPainter& operator=(const MarkerPainter&) = delete;

    void Draw(const GraphMarker& marker, int x, int y)
    {
        const int kind = static_cast<int>(marker.Kind);
        const int accepted = marker.Accepted ? 1 : 0;
        SelectObject(dc, pens[kind][accepted]);
        SelectObject(dc, brushes[kind][accepted]);
        switch (marker.Kind) {
        case FindingKind::Missed: {  // a triangle pointing down: a beat fell out
            const POINT shape[] = {{x - r, y - r}, {x + r, y - r}, {x, y + r}};
            Polygon(dc, shape, 3);
            break;
        }
        case FindingKind::Extra: {  // pointing up: a tap too many
            const POINT shape[] = {{x - r, y + r}, {x + r, y + r}, {x, y - r}};
            Polygon(dc, shape, 3);
            break;
        }
        case FindingKind::Start: {  // a diamond
            const POINT shape[] = {{x, y - r}, {x + r, y}, {x, y + r}, {x - r, y}};
            Polygon(dc, shape, 4);
            break;
        }
        case FindingKind::Outlier:  // a square
            Rectangle(dc, x - r, y - r, x + r + 1, y + r + 1);
            break;
        }
    }

private:
    static constexpr int KindCount = 4;
    HDC dc;
    int r;
    HPEN pens[KindCount][2] = {};
    HBRUSH brushes[KindCount][2] = {};
    HGDIOBJ oldPen = nullptr;
    HGDIOBJ oldBrush = nullptr;
};

}  // namespace

void PaintMarkers(HDC dc, const GraphModel& model, const GraphLayout& layout, UINT dpi)
{
    const GraphRect& plot = layout.Plot;
    const int thin = ScaleToDpi(1, dpi);
    {
        // Zoomed out, markers pile up: one that would be drawn exactly over
        // an earlier one of the same look is left out.
        MarkerPainter painter(dc, layout.MarkerRadius, thin);
        std::vector<uint64_t> drawn;
        for (const GraphMarker& marker : model.Markers) {
            const int x = layout.XOf(marker.X);
            if (x < plot.left - layout.MarkerRadius || x >= plot.right + layout.MarkerRadius)
                continue;
            const int y = std::clamp<int>(layout.YOf(marker.Bpm), plot.top - 2 * layout.MarkerRadius,
                                          plot.bottom + 2 * layout.MarkerRadius);
            const uint64_t look = (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) |
                                  (static_cast<uint64_t>(static_cast<uint16_t>(y)) << 16) |
                                  (static_cast<uint64_t>(marker.Kind) << 1) | (marker.Accepted ? 1u : 0u);
            const auto at = std::lower_bound(drawn.begin(), drawn.end(), look);
            if (at != drawn.end() && *at == look)
                continue;
            drawn.insert(at, look);
            painter.Draw(marker, x, y);
        }
    }
}
