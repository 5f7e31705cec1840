#include "GraphPaint.h"

#include "Dpi.h"
#include "StrokeLayers.h"

namespace {

void AddColumns(StrokeLayers& strokes, const GraphLayout& layout, const std::vector<Column>& columns, int dash)
{
    for (size_t c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        if (column.Empty || (dash > 0 && (c / static_cast<size_t>(dash)) % 2 == 1))
            continue;
        strokes.Add(layout.Plot.left + static_cast<int>(c), layout.YOf(column.High), layout.YOf(column.Low));
    }
}

}  // namespace

void PaintLines(HDC dc, const GraphContent& content, const GraphLayout& layout, UINT dpi)
{
    const GraphRect& plot = layout.Plot;
    StrokeLayers strokes(plot);
    // The recording first, so that every line is drawn over it.
    if (!layout.WaveColumns.empty()) {
        strokes.Begin(WaveColour, 1);
        for (size_t c = 0; c < layout.WaveColumns.size(); ++c) {
            const WaveColumn& column = layout.WaveColumns[c];
            if (!column.Empty)
                strokes.Add(plot.left + static_cast<int>(c), layout.YOfSample(column.High),
                            layout.YOfSample(column.Low));
        }
    }
    if (!layout.OnsetColumns.empty()) {
        // Rising from the plot's bottom, under the takes' lines.
        strokes.Begin(OnsetColour, 1);
        const int full = (plot.bottom - plot.top) * OnsetSharePercent / 100;
        for (size_t c = 0; c < layout.OnsetColumns.size(); ++c) {
            const int height = static_cast<int>(layout.OnsetColumns[c] * static_cast<float>(full) + 0.5f);
            if (height > 0)
                strokes.Add(plot.left + static_cast<int>(c), plot.bottom - height, plot.bottom - 1);
        }
    }
    if (!layout.BeatLineColumns.empty()) {
        strokes.Begin(BeatLineColour, ScaleToDpi(1, dpi));
        for (int x : layout.BeatLineColumns)
            strokes.Add(x, plot.top, plot.bottom - 1);
    }
    strokes.Begin(SpreadColour, 1);
    const size_t columns = layout.SpreadLowColumns.size();
    for (size_t c = 0; c < columns && c < layout.SpreadHighColumns.size(); ++c) {
        const Column& lowest = layout.SpreadLowColumns[c];
        const Column& highest = layout.SpreadHighColumns[c];
        if (lowest.Empty || highest.Empty)
            continue;
        strokes.Add(plot.left + static_cast<int>(c), layout.YOf(highest.High), layout.YOf(lowest.Low));
    }

    const int dash = ScaleToDpi(DashPixels, dpi);
    const int selected = content.Selected;
    const auto addTake = [&](size_t m, int width) {
        const bool checked = m >= content.Checked.size() || content.Checked[m];
        const COLORREF colour = TakeColour(static_cast<int>(m));
        strokes.Begin(checked ? colour : Faint(colour), ScaleToDpi(width, dpi));
        AddColumns(strokes, layout, layout.TakeColumns[m], checked ? 0 : dash);
    };
    for (size_t m = 0; m < layout.TakeColumns.size(); ++m) {
        if (static_cast<int>(m) != selected)
            addTake(m, TakeLinePixels);
    }
    strokes.Begin(ExportColour, ScaleToDpi(ExportLinePixels, dpi));
    AddColumns(strokes, layout, layout.ExportColumns, 0);
    // The selected take above the map, so that it can be followed through it.
    if (selected >= 0 && static_cast<size_t>(selected) < layout.TakeColumns.size())
        addTake(static_cast<size_t>(selected), SelectedLinePixels);
    // The strokes are cut to the plot already; a clipping region would only
    // slow each of them down.
    strokes.Draw(dc);
}
