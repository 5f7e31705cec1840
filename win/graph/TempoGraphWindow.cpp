#include "TempoGraphWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "AppGlobals.h"
#include "Dpi.h"
#include "UiLanguage.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "TempoMap.h"
#include "resource.h"

#ifndef WM_MOUSELEAVE
#define WM_MOUSELEAVE 0x02A3
#endif

namespace {

// ---------------------------------------------------------------------------
// Colours and sizes (sizes in pixels at 96 DPI).

constexpr COLORREF Background = RGB(255, 255, 255);
constexpr COLORREF GridColour = RGB(232, 232, 232);
constexpr COLORREF AxisColour = RGB(64, 64, 64);
constexpr COLORREF TextColour = RGB(0, 0, 0);
constexpr COLORREF SpreadColour = RGB(214, 226, 240);
constexpr COLORREF ExportColour = RGB(0, 0, 0);
constexpr COLORREF HoverColour = RGB(128, 128, 128);
constexpr COLORREF RejectedColour = RGB(150, 150, 150);

// Takes in turn get these colours, chosen to stay apart from each other,
// from the band and from the exported map's black.
constexpr COLORREF TakeColours[] = {
    RGB(31, 119, 180), RGB(44, 160, 44),  RGB(214, 39, 40),  RGB(148, 103, 189), RGB(140, 86, 75),
    RGB(227, 119, 194), RGB(255, 127, 14), RGB(23, 190, 207), RGB(188, 189, 34), RGB(127, 127, 127),
};

constexpr int FontPoints = 9;
constexpr int PadPixels = 6;
constexpr int TickPixels = 4;
constexpr int TakeLinePixels = 1;
constexpr int SelectedLinePixels = 2;
constexpr int ExportLinePixels = 3;
constexpr int MarkerRadiusPixels = 5;
constexpr int DashPixels = 4;        // an unchecked take's dashes and gaps
constexpr int HoverReachPixels = 12;  // how near a line the pointer names it
// The narrowest and the widest view on each axis.
constexpr double MinBeatSpan = 4.0;
constexpr double MinTimeSpan = 2000.0;
// GDI takes coordinates far beyond a window, but not any double.
constexpr double PixelLimit = 30000.0;

int ClampPixel(double value)
{
    if (!(value > -PixelLimit))
        return static_cast<int>(-PixelLimit);
    if (!(value < PixelLimit))
        return static_cast<int>(PixelLimit);
    return static_cast<int>(value);
}

COLORREF Faint(COLORREF colour)
{
    // Two thirds of the way to white.
    const auto toWhite = [](int c) { return static_cast<BYTE>(c + (255 - c) * 2 / 3); };
    return RGB(toWhite(GetRValue(colour)), toWhite(GetGValue(colour)), toWhite(GetBValue(colour)));
}

COLORREF Darker(COLORREF colour)
{
    return RGB(GetRValue(colour) / 2, GetGValue(colour) / 2, GetBValue(colour) / 2);
}

// The font the graph writes in, at `dpi`: the dialogs' typeface.
HFONT CreateGraphFont(UINT dpi)
{
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(FontPoints, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    // "ＭＳ Ｐゴシック" for Japanese, the dialogs' shell font for English.
    const wchar_t* face = CurrentUiLanguage() == UiLanguage::Japanese ? L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"
                                                          : L"MS Shell Dlg";
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

SIZE TextSize(HDC dc, const std::string& text)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    return size;
}

std::string Number(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// ---------------------------------------------------------------------------
// Beats and times.

// Beat (possibly fractional) to its x on `axis`: on the time axis, the grid
// time, interpolated inside a beat; before beat 0 everything lies at 0, as
// TakeCurves places it.
double XOfBeat(const std::vector<double>& gridTime, CurveAxis axis, double beat)
{
    if (axis == CurveAxis::Beat)
        return beat;
    if (!(beat > 0.0) || gridTime.empty())
        return 0.0;
    const double whole = std::floor(beat);
    const size_t j = static_cast<size_t>(whole);
    if (j + 1 >= gridTime.size())
        return gridTime.back();
    return gridTime[j] + (beat - whole) * (gridTime[j + 1] - gridTime[j]);
}

// The grid beat whose span holds x (the last one past the grid's end).
int64_t BeatAtX(const std::vector<double>& gridTime, CurveAxis axis, double x)
{
    if (axis == CurveAxis::Beat)
        return static_cast<int64_t>(std::floor(x));
    if (gridTime.size() < 2 || x < 0.0)
        return x < 0.0 ? -1 : 0;
    const auto after = std::upper_bound(gridTime.begin(), gridTime.end(), x);
    const int64_t beat = static_cast<int64_t>(after - gridTime.begin()) - 1;
    return std::min<int64_t>(beat, static_cast<int64_t>(gridTime.size()) - 2);
}

// The fractional grid beat at x (inverse of XOfBeat on the grid).
double BeatAt(const std::vector<double>& gridTime, CurveAxis axis, double x)
{
    if (axis == CurveAxis::Beat)
        return x;
    const int64_t beat = BeatAtX(gridTime, axis, x);
    if (beat < 0 || gridTime.size() < 2)
        return static_cast<double>(beat);
    const size_t j = static_cast<size_t>(beat);
    const double length = gridTime[j + 1] - gridTime[j];
    return static_cast<double>(beat) + (length > 0.0 ? (x - gridTime[j]) / length : 0.0);
}

// The time (ms from the grid's first beat) at x.
double TimeAt(const std::vector<double>& gridTime, CurveAxis axis, double x)
{
    return axis == CurveAxis::Time ? x : XOfBeat(gridTime, CurveAxis::Time, x);
}

// The line's value at x: linear between its points, level beyond its ends;
// NaN for an empty curve.
double ValueAt(const Curve& curve, double x)
{
    if (curve.empty())
        return std::nan("");
    const auto after = std::upper_bound(curve.begin(), curve.end(), x,
                                        [](double v, const CurvePoint& p) { return v < p.X; });
    if (after == curve.begin())
        return curve.front().Bpm;
    if (after == curve.end())
        return curve.back().Bpm;
    const CurvePoint& a = *(after - 1);
    const CurvePoint& b = *after;
    return b.X > a.X ? a.Bpm + (b.Bpm - a.Bpm) * ((x - a.X) / (b.X - a.X)) : a.Bpm;
}

// The tempo a curve gives the beat that starts at x exactly; 0 when it has
// no point there.
double PointAt(const Curve& curve, double x)
{
    const auto at = std::lower_bound(curve.begin(), curve.end(), x,
                                     [](const CurvePoint& p, double v) { return p.X < v; });
    return at != curve.end() && at->X == x ? at->Bpm : 0.0;
}

// The grid beat a finding is marked at, fractional for an extra tap (between
// the beats of the taps on either side, by time); false when the analysis
// gives it none.
bool FindingBeat(const Take& take, const TakeAnalysis& analysis, const Finding& finding, double& beat)
{
    const std::vector<int64_t>& beats = analysis.BeatOfTap;
    const auto tapBeat = [&](int64_t tap, int64_t& out) {
        if (tap < 0 || static_cast<size_t>(tap) >= beats.size() || beats[static_cast<size_t>(tap)] == ExtraTap)
            return false;
        out = beats[static_cast<size_t>(tap)];
        return true;
    };
    int64_t b = 0;
    switch (finding.Kind) {
    case FindingKind::Start:
        beat = static_cast<double>(finding.Tap);
        return true;
    case FindingKind::Missed:
        // The first of the beats missing after the tap.
        if (!tapBeat(finding.Tap, b))
            return false;
        beat = static_cast<double>(b + 1);
        return true;
    case FindingKind::Outlier:
        if (!tapBeat(finding.Tap, b))
            return false;
        beat = static_cast<double>(b);
        return true;
    case FindingKind::Extra: {
        if (finding.Tap < 0 || static_cast<size_t>(finding.Tap) >= take.size() || take.size() != beats.size())
            return false;
        const size_t tap = static_cast<size_t>(finding.Tap);
        size_t before = tap;
        while (before > 0 && beats[before - 1] == ExtraTap)
            --before;
        size_t after = tap + 1;
        while (after < beats.size() && beats[after] == ExtraTap)
            ++after;
        const bool hasBefore = before > 0;
        const bool hasAfter = after < beats.size();
        if (!hasBefore && !hasAfter)
            return false;
        if (!hasAfter) {
            beat = static_cast<double>(beats[before - 1]) + 0.5;
            return true;
        }
        if (!hasBefore) {
            beat = static_cast<double>(beats[after]) - 0.5;
            return true;
        }
        const double t0 = take[before - 1];
        const double t1 = take[after];
        const double share = t1 > t0 ? (static_cast<double>(take[tap]) - t0) / (t1 - t0) : 0.5;
        beat = static_cast<double>(beats[before - 1]) +
               share * static_cast<double>(beats[after] - beats[before - 1]);
        return true;
    }
    }
    return false;
}

// The tempo map the export would write, point by point: each tempo point
// (the interpolated ones inside a beat included) at its tick, its tempo in
// BPM of the base note. What the line shows is what the sequencer gets.
Curve ExportCurve(const GraphContent& content, CurveAxis axis)
{
    Curve curve;
    if (content.ExportBeatTimes.size() < 2)
        return curve;
    const int interp = std::clamp(content.InterpCount, 0, MaxInterpCount);
    const int base = std::clamp(content.TimeSigBase, 0, MaxTimeSigBase);
    const TempoMap map = TempoMapFromBeatTimes(content.ExportBeatTimes, interp, base);
    const double beatTicks = 4.0 * TicksPerQuarter / static_cast<double>(1 << base);
    const double basePerQuarter = static_cast<double>(1 << base) / 4.0;
    curve.reserve(map.size());
    double tick = 0.0;
    double time = 0.0;
    for (size_t c = 0; c < map.size(); ++c) {
        tick += map[c].Delta;
        // Where the next point starts: its delta, or the end of the last beat.
        const double next = c + 1 < map.size() ? tick + map[c + 1].Delta
                                               : beatTicks * static_cast<double>(content.ExportBeatTimes.size() - 1);
        const double tempo = static_cast<double>(map[c].Tempo);
        if (tempo > 0.0) {
            const double x = axis == CurveAxis::Beat ? tick / beatTicks : time;
            curve.push_back(CurvePoint{x, 60.0e6 / tempo * basePerQuarter});
        }
        // A map that runs backwards (very uneven averages) stays in order.
        time += std::max(0.0, (next - tick) / TicksPerQuarter * tempo / 1000.0);
    }
    return curve;
}

double NiceStep(double raw)
{
    if (!(raw > 0.0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * power >= raw)
            return multiple * power;
    }
    return 10.0 * power;
}

}  // namespace

BITMAPINFO TopDownBitmapInfo(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

COLORREF GraphTakeColour(int index)
{
    constexpr int count = static_cast<int>(sizeof TakeColours / sizeof TakeColours[0]);
    return TakeColours[((index % count) + count) % count];
}

COLORREF GraphMarkerColour(FindingKind kind)
{
    switch (kind) {
    case FindingKind::Missed:
        return RGB(220, 30, 30);
    case FindingKind::Extra:
        return RGB(245, 150, 0);
    case FindingKind::Start:
        return RGB(20, 90, 230);
    case FindingKind::Outlier:
        return RGB(160, 40, 190);
    }
    return RGB(0, 0, 0);
}

// ---------------------------------------------------------------------------
// The model.

GraphModel BuildGraphModel(const GraphContent& content, CurveAxis axis)
{
    GraphModel model;
    model.Axis = axis;
    TakeList takes = ListOf(content.Takes);

    const std::vector<double>& intervals = content.Findings.BeatIntervals;
    model.GridTime.assign(intervals.size() + 1, 0.0);
    for (size_t j = 0; j < intervals.size(); ++j)
        model.GridTime[j + 1] = model.GridTime[j] + intervals[j];

    // An analysis of other takes than these would put their taps on the
    // wrong beats: then the takes have no lines.
    const bool analysed = content.Findings.Takes.size() == content.Takes.size();
    if (analysed)
        model.Takes = TakeCurves(takes, content.Findings, axis);
    else
        model.Takes.resize(content.Takes.size());
    model.Export = ExportCurve(content, axis);
    const Band band = SpreadBand(model.Takes);
    model.SpreadLow.reserve(band.X.size());
    model.SpreadHigh.reserve(band.X.size());
    for (size_t i = 0; i < band.X.size(); ++i) {
        model.SpreadLow.push_back(CurvePoint{band.X[i], band.Low[i]});
        model.SpreadHigh.push_back(CurvePoint{band.X[i], band.High[i]});
    }

    for (size_t m = 0; analysed && m < content.Takes.size(); ++m) {
        const TakeAnalysis& analysis = content.Findings.Takes[m];
        for (size_t f = 0; f < analysis.Findings.size(); ++f) {
            double beat = 0.0;
            if (!FindingBeat(content.Takes[m], analysis, analysis.Findings[f], beat))
                continue;
            GraphMarker marker;
            marker.Take = static_cast<int>(m);
            marker.Finding = static_cast<int>(f);
            marker.Kind = analysis.Findings[f].Kind;
            marker.Accepted = m >= content.Accepted.size() || f >= content.Accepted[m].size() || content.Accepted[m][f];
            marker.X = XOfBeat(model.GridTime, axis, beat);
            // On its take's line; a take without one puts it on the map.
            marker.Bpm = ValueAt(model.Takes[m], marker.X);
            if (std::isnan(marker.Bpm))
                marker.Bpm = ValueAt(model.Export, marker.X);
            if (std::isnan(marker.Bpm))
                continue;
            model.Markers.push_back(marker);
        }
    }

    bool any = false;
    const auto extend = [&](double x) {
        model.XMin = any ? std::min(model.XMin, x) : x;
        model.XMax = any ? std::max(model.XMax, x) : x;
        any = true;
    };
    for (const Curve& curve : model.Takes) {
        if (!curve.empty()) {
            extend(curve.front().X);
            extend(curve.back().X);
        }
    }
    if (!model.Export.empty()) {
        extend(model.Export.front().X);
        extend(model.Export.back().X);
    }
    for (const GraphMarker& marker : model.Markers)
        extend(marker.X);
    model.Empty = !any;
    return model;
}

// ---------------------------------------------------------------------------
// The view and the layout.

GraphView ResolveView(const GraphModel& model, GraphView view)
{
    view.Axis = model.Axis;
    if (view.X1 > view.X0)
        return view;
    const double minSpan = model.Axis == CurveAxis::Beat ? MinBeatSpan : MinTimeSpan;
    double x0 = model.Empty ? 0.0 : model.XMin;
    double x1 = model.Empty ? minSpan : model.XMax;
    // A beat's tempo is drawn from its start: the last beat gets its length.
    const double margin = std::max((x1 - x0) * 0.02, model.Axis == CurveAxis::Beat ? 0.5 : 250.0);
    x0 -= margin;
    x1 += margin;
    if (x1 - x0 < minSpan) {
        const double middle = (x0 + x1) / 2.0;
        x0 = middle - minSpan / 2.0;
        x1 = middle + minSpan / 2.0;
    }
    view.X0 = x0;
    view.X1 = x1;
    return view;
}

int GraphLayout::XOf(double x) const
{
    const int width = Plot.right - Plot.left;
    if (width <= 0 || !(X1 > X0))
        return Plot.left;
    return ClampPixel(Plot.left + std::floor((x - X0) / ((X1 - X0) / width)));
}

int GraphLayout::YOf(double bpm) const
{
    const int height = Plot.bottom - Plot.top;
    if (height <= 1 || !(Bpm1 > Bpm0))
        return Plot.bottom - 1;
    return ClampPixel(Plot.bottom - 1 - std::floor((bpm - Bpm0) / (Bpm1 - Bpm0) * (height - 1) + 0.5));
}

double GraphLayout::XAt(int px) const
{
    const int width = std::max<int>(Plot.right - Plot.left, 1);
    return X0 + (px - Plot.left + 0.5) * ((X1 - X0) / width);
}

double GraphLayout::BpmAt(int py) const
{
    const int height = std::max<int>(Plot.bottom - Plot.top, 2);
    return Bpm0 + static_cast<double>(Plot.bottom - 1 - py) / (height - 1) * (Bpm1 - Bpm0);
}

GraphLayout LayoutTempoGraph(HDC dc, const RECT& area, const GraphModel& model, const GraphView& givenView)
{
    const GraphView view = ResolveView(model, givenView);
    const UINT dpi = view.Dpi ? view.Dpi : DesignDpi;
    GraphLayout layout;
    layout.Area = area;
    layout.X0 = view.X0;
    layout.X1 = view.X1;
    layout.MarkerRadius = ScaleToDpi(MarkerRadiusPixels, dpi);

    HFONT font = CreateGraphFont(dpi);
    const HGDIOBJ oldFont = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    layout.TextHeight = metrics.tmHeight;
    const int numberWidth = TextSize(dc, "8888").cx;
    SelectObject(dc, oldFont);
    DeleteObject(font);

    const int pad = ScaleToDpi(PadPixels, dpi);
    const int tick = ScaleToDpi(TickPixels, dpi);
    const int text = layout.TextHeight;
    // From the top: the hover line, the y axis' name, the plot, the x axis'
    // numbers and its name.
    layout.Status = {area.left + pad, area.top + pad / 2, area.right - pad, area.top + pad / 2 + text};
    layout.Plot.top = layout.Status.bottom + pad / 2 + text + pad / 2;
    layout.Plot.bottom = area.bottom - pad / 2 - text - pad / 2 - text - tick;
    layout.Plot.left = area.left + pad + numberWidth + tick + pad / 2;
    layout.Plot.right = area.right - pad - numberWidth / 2;
    if (layout.Plot.right < layout.Plot.left + 1)
        layout.Plot.right = layout.Plot.left + 1;
    if (layout.Plot.bottom < layout.Plot.top + 2)
        layout.Plot.bottom = layout.Plot.top + 2;
    const int width = layout.Plot.right - layout.Plot.left;
    const int height = layout.Plot.bottom - layout.Plot.top;

    // Every line reduced to the plot's columns.
    for (const Curve& curve : model.Takes)
        layout.TakeColumns.push_back(ReduceToColumns(curve, view.X0, view.X1, width));
    layout.ExportColumns = ReduceToColumns(model.Export, view.X0, view.X1, width);
    layout.SpreadLowColumns = ReduceToColumns(model.SpreadLow, view.X0, view.X1, width);
    layout.SpreadHighColumns = ReduceToColumns(model.SpreadHigh, view.X0, view.X1, width);

    // The tempo range: what the lines in view cover, without the outermost
    // two hundredths of the columns' values, so that one tap far off does
    // not squeeze every line flat.
    std::vector<double> values;
    const auto collect = [&](const std::vector<Column>& columns) {
        for (const Column& column : columns) {
            if (!column.Empty) {
                values.push_back(column.Low);
                values.push_back(column.High);
            }
        }
    };
    for (const std::vector<Column>& columns : layout.TakeColumns)
        collect(columns);
    collect(layout.ExportColumns);
    double low = 60.0;
    double high = 180.0;
    if (!values.empty()) {
        const size_t cut = values.size() / 200;
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(cut), values.end());
        low = values[cut];
        std::nth_element(values.begin(), values.end() - 1 - static_cast<std::ptrdiff_t>(cut), values.end());
        high = values[values.size() - 1 - cut];
        const double margin = std::max((high - low) * 0.08, 5.0);
        low -= margin;
        high += margin;
    }
    low = std::max(low, 0.0);
    const double yStep = NiceStep((high - low) * 2.5 * text / std::max(height, 1));
    layout.Bpm0 = std::floor(low / yStep) * yStep;
    layout.Bpm1 = std::ceil(high / yStep) * yStep;
    if (!(layout.Bpm1 > layout.Bpm0))
        layout.Bpm1 = layout.Bpm0 + yStep;
    for (double v = layout.Bpm0; v <= layout.Bpm1 + yStep / 1000.0; v += yStep)
        layout.YTicks.push_back(v);

    // Beats are counted from 1 as a musician counts them: the ticks fall on
    // the beats whose number is a multiple of the step.
    const double span = view.X1 - view.X0;
    const double minGap = numberWidth + 2.0 * pad;
    if (model.Axis == CurveAxis::Beat) {
        const double step = std::max(1.0, NiceStep(span * minGap / width));
        // Beats before the first (a take that started early) get no number.
        for (double n = std::max(step, std::ceil((view.X0 + 1.0) / step) * step); n - 1.0 <= view.X1; n += step)
            layout.XTicks.push_back(n - 1.0);
    } else {
        const double step = std::max(10.0, NiceStep(span * minGap / width));
        for (double t = std::ceil(view.X0 / step) * step; t <= view.X1; t += step)
            layout.XTicks.push_back(t);
    }
    return layout;
}

// ---------------------------------------------------------------------------
// Painting.

namespace {

// The plot's lines as vertical strokes, one per pixel column, in layers
// from the bottom (the band) to the top (the selected take). Zoomed out, a
// column of jittery taps spans much of the plot's height, and ten takes on
// top of each other would fill its pixels ten times over: so each layer
// draws only what the layers above it leave uncovered, and every pixel of
// the plot is written at most once.
class StrokeLayers {
public:
    StrokeLayers(const RECT& plotArea) : plot(plotArea), coverage(static_cast<size_t>(std::max<int>(plot.right - plot.left, 0))) {}

    // A new layer above the others; a width above 1 draws each stroke that
    // many pixels wide and as much longer.
    void Begin(COLORREF colour, int width)
    {
        layers.push_back(Layer{colour, std::max(width, 1), {}, {}, {}});
    }
    void Add(int x, int top, int bottom)
    {
        Layer& layer = layers.back();
        layer.strokes.push_back(Stroke{x, top, bottom});
    }

    void Draw(HDC dc)
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
    // The rows of one column already drawn: a few disjoint runs in order,
    // one per layer at most.
    static constexpr int MaxRuns = 32;
    struct Runs {
        int count = 0;
        int top[MaxRuns];
        int bottom[MaxRuns];
    };

    // Where `dc` draws into a 32-bit DIB section without any mapping (the
    // window's off-screen bitmap, a test's, the benchmark's), the pieces are
    // written straight into its pixels: each of the thousands of pieces
    // through GDI would cost more than its pixels. False for any other
    // device context, which then gets them through GDI.
    bool DrawIntoBitmap(HDC dc)
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

    void Emit(Layer& layer, int x, int top, int bottom)
    {
        layer.points.push_back(POINT{x, top});
        layer.points.push_back(POINT{x, bottom + 1});
        layer.counts.push_back(2);
    }

    void Cover(Layer& layer, int x, int top, int bottom)
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

    RECT plot;
    std::vector<Runs> coverage;
    std::vector<Layer> layers;
};

void AddColumns(StrokeLayers& strokes, const GraphLayout& layout, const std::vector<Column>& columns, int dash)
{
    for (size_t c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        if (column.Empty || (dash > 0 && (c / static_cast<size_t>(dash)) % 2 == 1))
            continue;
        strokes.Add(layout.Plot.left + static_cast<int>(c), layout.YOf(column.High), layout.YOf(column.Low));
    }
}

void DrawText(HDC dc, int x, int y, const std::string& text, UINT align)
{
    SetTextAlign(dc, align);
    TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
}

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
                                 POINT pointer)
{
    std::vector<TextPiece> pieces;
    const std::string takeText = LoadResString(IDS_GRAPH_HOVER_TAKE);
    const int marker = MarkerAt(model, layout, pointer);
    if (marker >= 0) {
        const GraphMarker& m = model.Markers[static_cast<size_t>(marker)];
        pieces.push_back({LoadResString(KindText(m.Kind)) + "  ", TextColour});
        pieces.push_back({FillPlaceholders(takeText, std::to_string(m.Take + 1), Number(m.Bpm, 1)), GraphTakeColour(m.Take)});
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
                              GraphTakeColour(static_cast<int>(m))});
    }
    return pieces;
}

}  // namespace

void PaintTempoGraph(HDC dc, const GraphContent& content, const GraphModel& model, const GraphView& view,
                     const GraphLayout& layout)
{
    const UINT dpi = view.Dpi ? view.Dpi : DesignDpi;
    const RECT& plot = layout.Plot;
    HBRUSH background = CreateSolidBrush(Background);
    FillRect(dc, &layout.Area, background);
    DeleteObject(background);

    HFONT font = CreateGraphFont(dpi);
    const HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextColour);
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
        DrawText(dc, plot.left - tick - thin * 2, y - layout.TextHeight / 2, Number(v, 0), TA_RIGHT | TA_TOP);
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
        DrawText(dc, px, plot.bottom + tick, label, TA_CENTER | TA_TOP);
    }
    // The frame.
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, plot.left - thin, plot.top - thin, plot.right + thin, plot.bottom + thin);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(axisPen);

    // The axes' names.
    DrawText(dc, layout.Area.left + ScaleToDpi(PadPixels, dpi), plot.top - layout.TextHeight - ScaleToDpi(PadPixels, dpi) / 2,
             LoadResString(IDS_GRAPH_AXIS_BPM), TA_LEFT | TA_TOP);
    DrawText(dc, (plot.left + plot.right) / 2, plot.bottom + tick + layout.TextHeight,
             LoadResString(beats ? IDS_GRAPH_AXIS_BEAT : IDS_GRAPH_AXIS_TIME), TA_CENTER | TA_TOP);

    // Inside the plot: the band, the takes, the map, the markers.
    StrokeLayers strokes(plot);
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
        const COLORREF colour = GraphTakeColour(static_cast<int>(m));
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
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, plot.left, plot.top, plot.right, plot.bottom);

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

    if (view.Hovering && PtInRect(&plot, view.Pointer)) {
        HPEN hoverPen = CreatePen(PS_DOT, 1, HoverColour);
        oldPen = SelectObject(dc, hoverPen);
        MoveToEx(dc, view.Pointer.x, plot.top, nullptr);
        LineTo(dc, view.Pointer.x, plot.bottom);
        SelectObject(dc, oldPen);
        DeleteObject(hoverPen);
    }
    if (model.Empty) {
        DrawText(dc, (plot.left + plot.right) / 2, (plot.top + plot.bottom - layout.TextHeight) / 2,
                 LoadResString(IDS_GRAPH_NO_TAKES), TA_CENTER | TA_TOP);
    }
    RestoreDC(dc, saved);

    if (view.Hovering) {
        RECT status = layout.Status;
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
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

void PaintTempoGraph(HDC dc, const RECT& area, const GraphContent& content, const GraphModel& model,
                     const GraphView& view)
{
    const GraphLayout layout = LayoutTempoGraph(dc, area, model, view);
    PaintTempoGraph(dc, content, model, ResolveView(model, view), layout);
}

// ---------------------------------------------------------------------------
// The pointer.

GraphHover HoverTempoGraph(const GraphModel& model, const GraphLayout& layout, POINT point)
{
    GraphHover hover;
    hover.Inside = PtInRect(&layout.Plot, point) != FALSE;
    const double x = layout.XAt(point.x);
    hover.Beat = BeatAtX(model.GridTime, model.Axis, x);
    hover.TimeMs = TimeAt(model.GridTime, model.Axis, x);
    // Each take's tempo on the beat under the pointer: its point at that
    // beat's start.
    const double beatX = XOfBeat(model.GridTime, model.Axis, static_cast<double>(hover.Beat));
    for (const Curve& curve : model.Takes)
        hover.TakeBpm.push_back(PointAt(curve, beatX));
    if (hover.Inside) {
        const double width = std::max<int>(layout.Plot.right - layout.Plot.left, 1);
        const double height = std::max<int>(layout.Plot.bottom - layout.Plot.top - 1, 1);
        const double pixelsPerX = width / (layout.X1 - layout.X0);
        const double pixelsPerBpm = height / (layout.Bpm1 - layout.Bpm0);
        const int reach = MulDiv(HoverReachPixels, layout.MarkerRadius, MarkerRadiusPixels);
        const CurveHit hit = HitTest(model.Takes, x, layout.BpmAt(point.y), pixelsPerX, pixelsPerBpm, reach);
        hover.Take = hit.Take;
        if (hit.Take >= 0) {
            // The beat is the one of the point found.
            const CurvePoint& p = model.Takes[static_cast<size_t>(hit.Take)][hit.Point];
            hover.Beat = BeatAtX(model.GridTime, model.Axis, p.X);
            const double foundX = XOfBeat(model.GridTime, model.Axis, static_cast<double>(hover.Beat));
            for (size_t m = 0; m < model.Takes.size(); ++m)
                hover.TakeBpm[m] = PointAt(model.Takes[m], foundX);
        }
    }
    return hover;
}

int MarkerAt(const GraphModel& model, const GraphLayout& layout, POINT point)
{
    int best = -1;
    long bestDistance = 0;
    const long reach = layout.MarkerRadius + 1;
    for (size_t i = 0; i < model.Markers.size(); ++i) {
        const long dx = point.x - layout.XOf(model.Markers[i].X);
        const long dy = point.y - layout.YOf(model.Markers[i].Bpm);
        if (std::labs(dx) > reach || std::labs(dy) > reach)
            continue;
        const long distance = dx * dx + dy * dy;
        if (best < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    return best;
}

// ---------------------------------------------------------------------------
// The window.

namespace {

// The signed point a mouse message carries (negative on a monitor left of
// or above the primary one).
POINT PointOf(LPARAM lParam)
{
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

constexpr char GraphClassName[] = "mkMetrovaGraph";
constexpr int DefaultWidth = 640;
constexpr int DefaultHeight = 400;
constexpr int MinWidth = 240;
constexpr int MinHeight = 160;
constexpr double WheelZoom = 1.25;  // per notch

struct GraphWindowState {
    HWND window = nullptr;
    HWND owner = nullptr;
    GraphContent content;
    GraphModel model;
    bool modelReady = false;
    GraphView view;
    GraphLayout layout;
    bool layoutReady = false;
    bool tracking = false;  // TrackMouseEvent asked for WM_MOUSELEAVE
    bool dragging = false;
    int dragFrom = 0;
    double dragX0 = 0.0;
    double dragX1 = 0.0;
};
GraphWindowState graph;

const GraphModel& Model()
{
    if (!graph.modelReady) {
        graph.model = BuildGraphModel(graph.content, graph.view.Axis);
        graph.modelReady = true;
    }
    return graph.model;
}

const GraphLayout& Layout()
{
    if (!graph.layoutReady && graph.window) {
        RECT client = {};
        GetClientRect(graph.window, &client);
        HDC dc = GetDC(graph.window);
        graph.layout = LayoutTempoGraph(dc, client, Model(), graph.view);
        ReleaseDC(graph.window, dc);
        graph.layoutReady = true;
    }
    return graph.layout;
}

void Redraw(bool relayout)
{
    if (relayout)
        graph.layoutReady = false;
    if (graph.window)
        InvalidateRect(graph.window, nullptr, FALSE);
}

void KeepPlacement(HWND window)
{
    if (IsIconic(window) || IsZoomed(window))
        return;
    RECT rect = {};
    if (!GetWindowRect(window, &rect))
        return;
    g_AppSettings.GraphLeft = rect.left;
    g_AppSettings.GraphTop = rect.top;
    g_AppSettings.GraphWidth = rect.right - rect.left;
    g_AppSettings.GraphHeight = rect.bottom - rect.top;
}

void CheckAxisItems(HWND window)
{
    HMENU menu = GetMenu(window);
    if (!menu)
        return;
    CheckMenuRadioItem(menu, IDM_GRAPH_BEATAXIS, IDM_GRAPH_TIMEAXIS,
                       graph.view.Axis == CurveAxis::Beat ? IDM_GRAPH_BEATAXIS : IDM_GRAPH_TIMEAXIS, MF_BYCOMMAND);
}

// The whole graph's x range on the current axis.
std::pair<double, double> WholeRange()
{
    GraphView whole = graph.view;
    whole.X0 = whole.X1 = 0.0;
    whole = ResolveView(Model(), whole);
    return {whole.X0, whole.X1};
}

// Sets the x range, kept inside the whole graph and no narrower than the
// axis allows; as wide as the whole graph is the whole graph.
void SetRange(double x0, double x1)
{
    const auto [w0, w1] = WholeRange();
    const double minSpan = graph.view.Axis == CurveAxis::Beat ? MinBeatSpan : MinTimeSpan;
    double span = std::max(x1 - x0, minSpan);
    if (span >= w1 - w0) {
        graph.view.X0 = graph.view.X1 = 0.0;
    } else {
        x0 = std::clamp(x0, w0, w1 - span);
        graph.view.X0 = x0;
        graph.view.X1 = x0 + span;
    }
    Redraw(true);
}

void SwitchAxis(CurveAxis axis)
{
    if (axis == graph.view.Axis)
        return;
    // The same stretch of music stays in view.
    const GraphModel& before = Model();
    const GraphView shown = ResolveView(before, graph.view);
    const bool whole = !(graph.view.X1 > graph.view.X0);
    const double beat0 = BeatAt(before.GridTime, before.Axis, shown.X0);
    const double beat1 = BeatAt(before.GridTime, before.Axis, shown.X1);
    const std::vector<double> gridTime = before.GridTime;
    graph.view.Axis = axis;
    graph.modelReady = false;
    if (whole) {
        graph.view.X0 = graph.view.X1 = 0.0;
        Redraw(true);
    } else {
        SetRange(XOfBeat(gridTime, axis, beat0), XOfBeat(gridTime, axis, beat1));
    }
    CheckAxisItems(graph.window);
}

// Drawn off screen and copied onto `dc` in one go: nothing flickers.
void PaintClient(HWND window, HDC dc)
{
    RECT client = {};
    GetClientRect(window, &client);
    const int width = std::max<int>(client.right, 1);
    const int height = std::max<int>(client.bottom, 1);
    HDC memory = CreateCompatibleDC(dc);
    // A 32-bit DIB section: the lines are written into its pixels directly.
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (memory && bitmap) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        const GraphLayout& layout = Layout();
        PaintTempoGraph(memory, graph.content, Model(), ResolveView(Model(), graph.view), layout);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintClient(window, dc);
    EndPaint(window, &paint);
}

void OnMouseMove(HWND window, POINT point)
{
    if (graph.dragging) {
        const GraphLayout& layout = Layout();
        const int width = std::max<int>(layout.Plot.right - layout.Plot.left, 1);
        const double shift = (point.x - graph.dragFrom) * (graph.dragX1 - graph.dragX0) / width;
        SetRange(graph.dragX0 - shift, graph.dragX1 - shift);
        return;
    }
    if (!graph.tracking) {
        TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, window, 0};
        graph.tracking = TrackMouseEvent(&track) != FALSE;
    }
    graph.view.Hovering = true;
    graph.view.Pointer = point;
    Redraw(false);
}

void OnButtonDown(HWND window, POINT point)
{
    const GraphLayout& layout = Layout();
    const int marker = MarkerAt(Model(), layout, point);
    if (marker >= 0) {
        const GraphMarker& m = Model().Markers[static_cast<size_t>(marker)];
        if (graph.owner)
            PostMessageA(graph.owner, WM_GRAPHFINDING, static_cast<WPARAM>(m.Take), static_cast<LPARAM>(m.Finding));
        return;
    }
    if (!PtInRect(&layout.Plot, point))
        return;
    const GraphView shown = ResolveView(Model(), graph.view);
    graph.dragging = true;
    graph.dragFrom = point.x;
    graph.dragX0 = shown.X0;
    graph.dragX1 = shown.X1;
    SetCapture(window);
}

void OnWheel(HWND window, int delta, POINT screen)
{
    POINT point = screen;
    ScreenToClient(window, &point);
    const GraphLayout& layout = Layout();
    const GraphView shown = ResolveView(Model(), graph.view);
    // The x under the pointer stays under it.
    const int px = std::clamp<int>(point.x, layout.Plot.left, layout.Plot.right);
    const double share = static_cast<double>(px - layout.Plot.left) / std::max<int>(layout.Plot.right - layout.Plot.left, 1);
    const double anchor = shown.X0 + share * (shown.X1 - shown.X0);
    const double span = (shown.X1 - shown.X0) / std::pow(WheelZoom, delta / static_cast<double>(WHEEL_DELTA));
    SetRange(anchor - share * span, anchor - share * span + span);
}

void OnContextMenu(HWND window, LPARAM lParam)
{
    HMENU menu = GetMenu(window);
    HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
    if (!popup)
        return;
    POINT at = PointOf(lParam);
    if (lParam == -1) {  // from the keyboard: the plot's corner
        at = {Layout().Plot.left, Layout().Plot.top};
        ClientToScreen(window, &at);
    }
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
}

void EndWindow()
{
    // The curves go with the window; the content stays for the next one.
    graph.model = GraphModel();
    graph.modelReady = false;
    graph.layout = GraphLayout();
    graph.window = nullptr;
    graph.owner = nullptr;
    graph.layoutReady = false;
    graph.dragging = false;
    graph.tracking = false;
    graph.view.Hovering = false;
}

LRESULT CALLBACK GraphWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        graph.window = window;
        graph.view.Dpi = DpiOfWindow(window);
        CheckAxisItems(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_PRINTCLIENT:
        PaintClient(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_SIZE:
        Redraw(true);
        return 0;
    case WM_WINDOWPOSCHANGED:
        KeepPlacement(window);
        break;  // on to DefWindowProc, which sends WM_SIZE
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        const UINT dpi = graph.window ? graph.view.Dpi : DpiOfWindow(window);
        info->ptMinTrackSize = {ScaleToDpi(MinWidth, dpi), ScaleToDpi(MinHeight, dpi)};
        return 0;
    }
    case WM_DPICHANGED:
        graph.view.Dpi = DpiFromMessage(wParam);
        MoveToSuggestedRect(window, lParam);
        Redraw(true);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(window, PointOf(lParam));
        return 0;
    case WM_MOUSELEAVE:
        graph.tracking = false;
        graph.view.Hovering = false;
        Redraw(false);
        return 0;
    case WM_LBUTTONDOWN:
        OnButtonDown(window, PointOf(lParam));
        return 0;
    case WM_LBUTTONUP:
        if (graph.dragging)
            ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        graph.dragging = false;
        return 0;
    case WM_MOUSEWHEEL:
        OnWheel(window, static_cast<short>(HIWORD(wParam)),
                PointOf(lParam));
        return 0;
    case WM_CONTEXTMENU:
        OnContextMenu(window, lParam);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            SendMessageA(window, WM_CLOSE, 0, 0);
        else if (wParam == VK_HOME)
            SendMessageA(window, WM_COMMAND, IDM_GRAPH_SHOWALL, 0);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_GRAPH_BEATAXIS:
            SwitchAxis(CurveAxis::Beat);
            break;
        case IDM_GRAPH_TIMEAXIS:
            SwitchAxis(CurveAxis::Time);
            break;
        case IDM_GRAPH_SHOWALL:
            graph.view.X0 = graph.view.X1 = 0.0;
            Redraw(true);
            break;
        default:
            break;
        }
        return 0;
    case WM_DESTROY:
        KeepPlacement(window);
        EndWindow();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterGraphClass()
{
    WNDCLASSA existing;
    if (GetClassInfoA(g_hInstance, GraphClassName, &existing))
        return true;
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = GraphWindowProc;
    wc.hInstance = g_hInstance;
    wc.hIcon = LoadIconA(g_hInstance, MAKEINTRESOURCEA(IDI_METROVA));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = GraphClassName;
    return RegisterClassA(&wc) != 0;
}

}  // namespace

void ShowTempoGraph(HWND owner)
{
    if (graph.window) {
        if (IsIconic(graph.window))
            ShowWindow(graph.window, SW_RESTORE);
        SetForegroundWindow(graph.window);
        return;
    }
    if (!RegisterGraphClass())
        return;

    // The stored place, or beside the owner at the owner's DPI.
    const UINT dpi = DpiOfWindow(owner);
    int left = g_AppSettings.GraphLeft;
    int top = g_AppSettings.GraphTop;
    int width = g_AppSettings.GraphWidth;
    int height = g_AppSettings.GraphHeight;
    // A place kept on a monitor that is no longer there would open the
    // window where nobody can see it: then it opens beside the owner.
    bool placed = g_AppSettings.HasGraphPlacement();
    if (placed) {
        const RECT stored = {left, top, left + width, top + height};
        placed = MonitorFromRect(&stored, MONITOR_DEFAULTTONULL) != nullptr;
    }
    if (!placed) {
        width = ScaleToDpi(DefaultWidth, dpi);
        height = ScaleToDpi(DefaultHeight, dpi);
        RECT ownerRect = {};
        if (owner && GetWindowRect(owner, &ownerRect)) {
            left = ownerRect.right + ScaleToDpi(PadPixels, dpi);
            top = ownerRect.top;
        } else {
            left = top = CW_USEDEFAULT;
        }
    }

    graph.owner = owner;
    graph.layoutReady = false;
    HMENU menu = LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_GRAPHMENU));
    HWND window = CreateWindowExA(0, GraphClassName, LoadResString(IDS_GRAPH_TITLE).c_str(), WS_OVERLAPPEDWINDOW,
                                  left, top, width, height, owner, menu, g_hInstance, nullptr);
    if (!window) {
        if (menu)
            DestroyMenu(menu);
        graph.owner = nullptr;
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

namespace {

bool SameFindings(const Analysis& a, const Analysis& b)
{
    if (a.Takes.size() != b.Takes.size() || a.BeatIntervals != b.BeatIntervals)
        return false;
    for (size_t m = 0; m < a.Takes.size(); ++m) {
        const TakeAnalysis& x = a.Takes[m];
        const TakeAnalysis& y = b.Takes[m];
        if (x.BeatOfTap != y.BeatOfTap || x.StartBeat != y.StartBeat || x.Findings.size() != y.Findings.size())
            return false;
        for (size_t f = 0; f < x.Findings.size(); ++f) {
            if (x.Findings[f].Kind != y.Findings[f].Kind || x.Findings[f].Tap != y.Findings[f].Tap ||
                x.Findings[f].Beats != y.Findings[f].Beats)
                return false;
        }
    }
    return true;
}

// Whether two contents give the same curves and markers: they differ at
// most in the check marks and the selection, which only the drawing reads.
// Comparing costs a pass over the taps; making the curves anew, a sort of
// them.
bool SameCurves(const GraphContent& a, const GraphContent& b)
{
    return a.Takes == b.Takes && a.Accepted == b.Accepted && a.ExportBeatTimes == b.ExportBeatTimes &&
           a.InterpCount == b.InterpCount && a.TimeSigBase == b.TimeSigBase && SameFindings(a.Findings, b.Findings);
}

}  // namespace

void UpdateTempoGraph(GraphContent content)
{
    // A new selection or check mark keeps the curves (only while they are
    // made: a closed window makes none).
    if (!graph.modelReady || !SameCurves(graph.content, content)) {
        graph.modelReady = false;
        graph.layoutReady = false;
    }
    graph.content = std::move(content);
    Redraw(false);
}

HWND TempoGraphWindow()
{
    return graph.window;
}

void CloseTempoGraph()
{
    if (graph.window)
        DestroyWindow(graph.window);
}

GraphView TempoGraphView()
{
    return ResolveView(Model(), graph.view);
}

GraphLayout TempoGraphLayout()
{
    return Layout();
}
