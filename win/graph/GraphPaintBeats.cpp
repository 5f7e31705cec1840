#include "GraphPaint.h"

#include <algorithm>

#include "Dpi.h"

namespace {

// The pens and brushes of the snapped beats' markers, made once per
// painting: a stretch of a minute in view holds a hundred beats or more.
class BeatMarkerPainter {
public:
    BeatMarkerPainter(HDC target, int radius, int penWidth) : dc(target), r(radius), thin(penWidth)
    {
        snappedPen = CreatePen(PS_SOLID, penWidth, Darker(SnappedBeatColour));
        snappedBrush = CreateSolidBrush(SnappedBeatColour);
        unsurePen = CreatePen(PS_SOLID, penWidth, SnappedBeatColour);
        editedPen = CreatePen(PS_SOLID, penWidth, Darker(EditedBeatColour));
        editedBrush = CreateSolidBrush(EditedBeatColour);
        shiftBrushes[0] = CreateSolidBrush(SnappedBeatColour);
        shiftBrushes[1] = CreateSolidBrush(EditedBeatColour);
        selectedBrush = CreateSolidBrush(SelectedBeatColour);
        oldPen = SelectObject(dc, snappedPen);
        oldBrush = SelectObject(dc, snappedBrush);
    }
    ~BeatMarkerPainter()
    {
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        for (HGDIOBJ object : {static_cast<HGDIOBJ>(snappedPen), static_cast<HGDIOBJ>(snappedBrush),
                               static_cast<HGDIOBJ>(unsurePen), static_cast<HGDIOBJ>(editedPen),
                               static_cast<HGDIOBJ>(editedBrush), static_cast<HGDIOBJ>(shiftBrushes[0]),
                               static_cast<HGDIOBJ>(shiftBrushes[1]), static_cast<HGDIOBJ>(selectedBrush)})
            DeleteObject(object);
    }
    BeatMarkerPainter(const BeatMarkerPainter&) = delete;
    BeatMarkerPainter& operator=(const BeatMarkerPainter&) = delete;

    // The shift from the tapped time to the time exported, through the
    // marker's middle row: under the marker, it shows beyond it only when
    // the beat moved further than the marker is wide.
    void DrawShift(const BeatMarkerSpot& spot, int y)
    {
        if (spot.TappedX == spot.X)
            return;
        const RECT rect = {std::min(spot.TappedX, spot.X), y - thin / 2, std::max(spot.TappedX, spot.X) + 1,
                           y - thin / 2 + thin};
        FillRect(dc, &rect, shiftBrushes[spot.Mark == BeatMark::Edited ? 1 : 0]);
    }

    void DrawSelection(int x, int y)
    {
        const int s = r + 2 * thin + 1;
        const RECT rect = {x - s, y - s, x + s + 1, y + s + 1};
        FillRect(dc, &rect, selectedBrush);
    }

    void Draw(const BeatMarkerSpot& spot, int y)
    {
        const int x = spot.X;
        switch (spot.Mark) {
        case BeatMark::Snapped:  // a filled disc: on its onset
            SelectObject(dc, snappedPen);
            SelectObject(dc, snappedBrush);
            Ellipse(dc, x - r, y - r, x + r + 1, y + r + 1);
            break;
        case BeatMark::Unsure:  // a ring: no clear onset, kept its neighbours' shift
            SelectObject(dc, unsurePen);
            SelectObject(dc, GetStockObject(NULL_BRUSH));
            Ellipse(dc, x - r, y - r, x + r + 1, y + r + 1);
            break;
        case BeatMark::Edited:  // a square: the musician's
            SelectObject(dc, editedPen);
            SelectObject(dc, editedBrush);
            Rectangle(dc, x - r, y - r, x + r + 1, y + r + 1);
            break;
        }
    }

private:
    HDC dc;
    int r;
    int thin;
    HPEN snappedPen = nullptr;
    HBRUSH snappedBrush = nullptr;
    HPEN unsurePen = nullptr;
    HPEN editedPen = nullptr;
    HBRUSH editedBrush = nullptr;
    HBRUSH shiftBrushes[2] = {};
    HBRUSH selectedBrush = nullptr;
    HGDIOBJ oldPen = nullptr;
    HGDIOBJ oldBrush = nullptr;
};

}  // namespace

void PaintBeatMarkers(HDC dc, const GraphContent& content, const GraphLayout& layout, UINT dpi)
{
    if (layout.BeatMarkers.empty())
        return;
    const int y = layout.BeatMarkerY;
    BeatMarkerPainter painter(dc, layout.MarkerRadius, ScaleToDpi(1, dpi));
    // Every shift first: a long one runs under its neighbours' markers, not
    // over them.
    for (const BeatMarkerSpot& spot : layout.BeatMarkers)
        painter.DrawShift(spot, y);
    const BeatMarkerSpot* selected = nullptr;
    for (const BeatMarkerSpot& spot : layout.BeatMarkers) {
        if (spot.Beat == content.SelectedBeat)
            selected = &spot;
        else
            painter.Draw(spot, y);
    }
    // Last, so that no neighbour covers it.
    if (selected) {
        painter.DrawSelection(selected->X, y);
        painter.Draw(*selected, y);
    }
}
