#include "GraphLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "WaveformLevels.h"

namespace {

// Pixel coordinates stay within what a device takes, whatever the double.
constexpr double PixelLimit = 30000.0;
// How near a line, in pixels at 96 DPI, the pointer names its take.
constexpr int HoverReachPixels = 12;

int ClampPixel(double value)
{
    if (!(value > -PixelLimit))
        return static_cast<int>(-PixelLimit);
    if (!(value < PixelLimit))
        return static_cast<int>(PixelLimit);
    return static_cast<int>(value);
}

// a * b / c rounded half away from zero, for c > 0 (as the system's MulDiv,
// which scales the design's sizes for the window).
int ScaleRounded(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>(product >= 0 ? (product + c / 2) / c : (product - c / 2) / c);
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

// The waveform's columns, each from the envelope's tree in a few steps, and
// the map's beats in view (found by search, so an hour of beats costs
// nothing zoomed in).
void LayOutWaveform(GraphLayout& layout, const GraphModel& model, int minGap)
{
    const WaveformLevels& wave = *model.Waveform;
    const int width = layout.Plot.right - layout.Plot.left;
    const double perColumn = (layout.X1 - layout.X0) / width;
    const double framesPerMs = model.WaveformRate / 1000.0;
    const double frames = static_cast<double>(wave.Frames());
    layout.WaveColumns.resize(static_cast<size_t>(width));
    for (int c = 0; c < width; ++c) {
        const double t0 = layout.X0 + c * perColumn;
        const double f0 = std::max(std::floor(t0 * framesPerMs), 0.0);
        const double f1 = std::min(std::ceil((t0 + perColumn) * framesPerMs), frames);
        if (!(f1 > f0))
            continue;
        const PeakPair pair = wave.Span(static_cast<uint64_t>(f0), static_cast<uint64_t>(f1));
        layout.WaveColumns[static_cast<size_t>(c)] = WaveColumn{false, pair.low, pair.high};
    }
    const std::vector<double>& beats = model.BeatLines;
    const auto first = std::lower_bound(beats.begin(), beats.end(), layout.X0);
    const auto last = std::lower_bound(first, beats.end(), layout.X1);
    const double count = static_cast<double>(last - first);
    if (count * std::max(minGap, 1) > width)
        return;
    for (auto beat = first; beat != last; ++beat)
        layout.BeatLineColumns.push_back(layout.XOf(*beat));
}

// The onset strength's peak under each column: a pass over the values in
// view (an hour at a 2.5 ms hop is 1.4 million floats, a millisecond).
void LayOutOnsets(GraphLayout& layout, const GraphModel& model)
{
    const std::vector<float>& values = *model.Onsets;
    const int width = layout.Plot.right - layout.Plot.left;
    const double perColumn = (layout.X1 - layout.X0) / width;
    const double count = static_cast<double>(values.size());
    layout.OnsetColumns.assign(static_cast<size_t>(width), 0.0f);
    for (int c = 0; c < width; ++c) {
        // The values whose times lie in the column; zoomed in past the hop,
        // where none does, the one before it.
        const double t0 = layout.X0 + c * perColumn;
        double i0 = std::max(std::ceil(t0 / model.OnsetHopMs), 0.0);
        double i1 = std::min(std::ceil((t0 + perColumn) / model.OnsetHopMs), count);
        if (!(i1 > i0) && t0 >= 0.0) {
            i0 = std::floor(t0 / model.OnsetHopMs);
            i1 = std::min(i0 + 1.0, count);
        }
        float peak = 0.0f;
        for (size_t i = static_cast<size_t>(i0); static_cast<double>(i) < i1; ++i)
            peak = std::max(peak, values[i]);
        layout.OnsetColumns[static_cast<size_t>(c)] = std::min(peak, 1.0f);
    }
}

// The snapped beats in view (found by search: their times rise) and the
// one being dragged where it is dragged to.
void LayOutBeatMarkers(GraphLayout& layout, const GraphModel& model, const GraphView& view)
{
    const std::vector<GraphBeat>& beats = model.Beats;
    const int width = layout.Plot.right - layout.Plot.left;
    const double reach = (layout.MarkerRadius + 1) * (layout.X1 - layout.X0) / width;
    const auto before = [](const GraphBeat& beat, double ms) { return beat.SnappedMs < ms; };
    const auto first = std::lower_bound(beats.begin(), beats.end(), layout.X0 - reach, before);
    const auto last = std::lower_bound(first, beats.end(), layout.X1 + reach, before);
    const double count = static_cast<double>(last - first);
    layout.BeatMarkerY = layout.Plot.top + layout.MarkerRadius + 1;
    if (count * std::max(layout.MarkerRadius, 1) > width)
        return;
    layout.BeatMarkers.reserve(static_cast<size_t>(last - first));
    for (auto beat = first; beat != last; ++beat) {
        BeatMarkerSpot spot;
        spot.Beat = static_cast<int>(beat - beats.begin());
        spot.X = layout.XOf(spot.Beat == view.DraggedBeat ? view.DraggedBeatMs : beat->SnappedMs);
        spot.TappedX = layout.XOf(beat->TappedMs);
        spot.Mark = beat->Mark;
        layout.BeatMarkers.push_back(spot);
    }
}

}  // namespace

bool Contains(const GraphRect& rect, GraphPoint point)
{
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

GraphView ResolveView(const GraphModel& model, GraphView view)
{
    view.Axis = model.Axis;
    if (view.X1 > view.X0)
        return view;
    const double minSpan = model.Axis == CurveAxis::Beat ? MinBeatSpan : MinTimeSpan;
    const bool extent = !model.Empty || model.Waveform;
    double x0 = extent ? model.XMin : 0.0;
    double x1 = extent ? model.XMax : minSpan;
    // Room on both sides, at least half a beat (a quarter second): the last
    // beat's tempo is drawn from its start and would end at the edge.
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

int GraphLayout::YOfSample(int sample) const
{
    const double half = (Plot.bottom - Plot.top - 1) / 2.0;
    return ClampPixel(std::floor(Plot.top + half - sample / 32768.0 * half + 0.5));
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

GraphLayout LayOutGraph(const GraphRect& area, const GraphMetrics& metrics, const GraphModel& model,
                        const GraphView& givenView)
{
    const GraphView view = ResolveView(model, givenView);
    GraphLayout layout;
    layout.Area = area;
    layout.X0 = view.X0;
    layout.X1 = view.X1;
    layout.MarkerRadius = metrics.MarkerRadius;
    layout.TextHeight = metrics.TextHeight;
    const int numberWidth = metrics.NumberWidth;
    const int pad = metrics.Pad;
    const int tick = metrics.Tick;
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
    if (model.Waveform)
        LayOutWaveform(layout, model, tick);
    if (model.Onsets && model.OnsetHopMs > 0.0)
        LayOutOnsets(layout, model);
    if (!model.Beats.empty())
        LayOutBeatMarkers(layout, model, view);

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

GraphHover HoverTempoGraph(const GraphModel& model, const GraphLayout& layout, GraphPoint point)
{
    GraphHover hover;
    hover.Inside = Contains(layout.Plot, point);
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
        const int reach = ScaleRounded(HoverReachPixels, layout.MarkerRadius, MarkerRadiusPixels);
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

int MarkerAt(const GraphModel& model, const GraphLayout& layout, GraphPoint point)
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

int BeatMarkerAt(const GraphModel& model, const GraphLayout& layout, GraphPoint point)
{
    const int reach = layout.MarkerRadius + 1;
    if (std::abs(point.y - layout.BeatMarkerY) > reach)
        return -1;
    int best = -1;
    int bestDistance = 0;
    for (const BeatMarkerSpot& spot : layout.BeatMarkers) {
        const int distance = std::abs(point.x - spot.X);
        if (distance > reach || spot.Beat < 0 || static_cast<size_t>(spot.Beat) >= model.Beats.size())
            continue;
        if (best < 0 || distance < bestDistance) {
            best = spot.Beat;
            bestDistance = distance;
        }
    }
    return best;
}

int64_t RecordingTimeAt(const GraphModel& model, const GraphLayout& layout, GraphPoint point)
{
    if (!model.Waveform || !Contains(layout.Plot, point))
        return -1;
    const double ms = std::clamp(layout.XAt(point.x), 0.0, std::floor(model.RecordingMs));
    return static_cast<int64_t>(std::floor(ms + 0.5));
}

bool RecordingTimeColumn(const GraphModel& model, const GraphLayout& layout, double ms, int& px)
{
    if (!(ms >= 0.0))
        return false;
    if (model.Axis == CurveAxis::Time) {
        px = layout.XOf(ms);
        return true;
    }
    if (model.GridTime.size() < 2)
        return false;
    px = layout.XOf(BeatAt(model.GridTime, CurveAxis::Time, ms));
    return true;
}
