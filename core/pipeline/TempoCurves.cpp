#include "TempoCurves.h"

#include <algorithm>
#include <cmath>

double BeatsPerMinute(double beatMs)
{
    return beatMs > 0.0 ? 60000.0 / beatMs : 0.0;
}

std::vector<Curve> TakeCurves(const TakeList& takes, const Analysis& analysis, CurveAxis axis)
{
    // Grid time of every grid beat from the consensus lengths.
    std::vector<double> gridTime(analysis.BeatIntervals.size() + 1, 0.0);
    for (size_t j = 0; j < analysis.BeatIntervals.size(); ++j)
        gridTime[j + 1] = gridTime[j] + analysis.BeatIntervals[j];
    const auto xOf = [&](int64_t beat) {
        if (axis == CurveAxis::Beat)
            return static_cast<double>(beat);
        if (beat < 0)
            return 0.0;
        const size_t j = static_cast<size_t>(beat);
        return j < gridTime.size() ? gridTime[j] : gridTime.back();
    };

    std::vector<Curve> curves(takes.size());
    for (size_t m = 0; m < takes.size() && m < analysis.Takes.size(); ++m) {
        const Take& take = *takes[m];
        const std::vector<int64_t>& beat = analysis.Takes[m].BeatOfTap;
        Curve& curve = curves[m];
        size_t previous = take.size();
        for (size_t i = 0; i < beat.size(); ++i) {
            if (beat[i] < 0)
                continue;
            if (previous < take.size() && beat[i] > beat[previous]) {
                const int64_t k = beat[i] - beat[previous];
                const double length =
                    (static_cast<double>(take[i]) - static_cast<double>(take[previous])) / static_cast<double>(k);
                for (int64_t b = beat[previous]; b < beat[i]; ++b)
                    curve.push_back(CurvePoint{xOf(b), BeatsPerMinute(length)});
            }
            previous = i;
        }
    }
    return curves;
}

Curve BeatTimesCurve(const std::vector<double>& beatTimes, CurveAxis axis)
{
    Curve curve;
    if (beatTimes.size() < 2)
        return curve;
    curve.reserve(beatTimes.size() - 1);
    for (size_t j = 0; j + 1 < beatTimes.size(); ++j) {
        const double x = axis == CurveAxis::Beat ? static_cast<double>(j) : beatTimes[j] - beatTimes[0];
        curve.push_back(CurvePoint{x, BeatsPerMinute(beatTimes[j + 1] - beatTimes[j])});
    }
    return curve;
}

Band SpreadBand(const std::vector<Curve>& curves)
{
    std::vector<CurvePoint> all;
    for (const Curve& curve : curves)
        all.insert(all.end(), curve.begin(), curve.end());
    std::stable_sort(all.begin(), all.end(), [](const CurvePoint& a, const CurvePoint& b) { return a.X < b.X; });
    Band band;
    for (size_t i = 0; i < all.size();) {
        size_t j = i;
        double low = all[i].Bpm;
        double high = all[i].Bpm;
        for (; j < all.size() && all[j].X == all[i].X; ++j) {
            low = std::min(low, all[j].Bpm);
            high = std::max(high, all[j].Bpm);
        }
        if (j - i >= 2) {
            band.X.push_back(all[i].X);
            band.Low.push_back(low);
            band.High.push_back(high);
        }
        i = j;
    }
    return band;
}

std::vector<Column> ReduceToColumns(const Curve& curve, double x0, double x1, int width)
{
    std::vector<Column> columns(static_cast<size_t>(std::max(width, 0)));
    if (width <= 0 || !(x1 > x0) || curve.empty())
        return columns;
    const double perColumn = (x1 - x0) / width;
    // Columns far outside the view are all the same to the drawing: the
    // index is clamped before it is made an integer.
    const auto columnOf = [&](double x) {
        const double c = std::floor((x - x0) / perColumn);
        return static_cast<int64_t>(std::clamp(c, -1.0, static_cast<double>(width) + 1.0));
    };
    const auto include = [&](int64_t c, double bpm) {
        Column& column = columns[static_cast<size_t>(c)];
        if (column.Empty) {
            column.Empty = false;
            column.Low = column.High = bpm;
        } else {
            column.Low = std::min(column.Low, bpm);
            column.High = std::max(column.High, bpm);
        }
    };
    // From the last point before the view (its segment may cross into it)
    // to the first point after it.
    size_t k = static_cast<size_t>(
        std::lower_bound(curve.begin(), curve.end(), x0, [](const CurvePoint& p, double x) { return p.X < x; }) -
        curve.begin());
    if (k > 0)
        --k;
    const size_t n = curve.size();
    while (k < n) {
        const int64_t ca = columnOf(curve[k].X);
        if (ca >= width)
            break;
        if (ca >= 0) {
            // Zoomed out, a column holds many points: the run of them is
            // walked in one tight pass (a comparison, a minimum and a
            // maximum per point), and the segments between them, all inside
            // the column, add nothing to its range.
            const double right = x0 + static_cast<double>(ca + 1) * perColumn;
            double low = curve[k].Bpm;
            double high = low;
            size_t j = k + 1;
            for (; j < n && curve[j].X < right; ++j) {
                const double bpm = curve[j].Bpm;
                low = bpm < low ? bpm : low;
                high = bpm > high ? bpm : high;
            }
            include(ca, low);
            include(ca, high);
            k = j - 1;
        }
        if (k + 1 >= n)
            break;
        const CurvePoint& a = curve[k];
        const CurvePoint& b = curve[k + 1];
        ++k;
        if (!(b.X > a.X))
            continue;
        // The segment's values at the edges of every column it crosses: an
        // edge belongs to the columns on both its sides. The run's column
        // counts as a's, so an edge the run's comparison and the division
        // place differently is still taken.
        const auto at = [&](double edge) { return a.Bpm + (b.Bpm - a.Bpm) * ((edge - a.X) / (b.X - a.X)); };
        const int64_t cb = columnOf(b.X);
        const int64_t first = std::max<int64_t>(ca + 1, 0);
        const int64_t last = std::min<int64_t>(cb, width);
        for (int64_t c = first; c <= last; ++c) {
            const double bpm = at(x0 + static_cast<double>(c) * perColumn);
            if (c < width)
                include(c, bpm);
            if (c - 1 >= 0)
                include(c - 1, bpm);
        }
    }
    return columns;
}

CurveHit HitTest(const std::vector<Curve>& curves, double x, double bpm, double pixelsPerX, double pixelsPerBpm,
                 double maxPixels)
{
    CurveHit hit;
    double best = maxPixels * maxPixels;
    const double reach = pixelsPerX > 0.0 ? maxPixels / pixelsPerX : 0.0;
    for (size_t m = 0; m < curves.size(); ++m) {
        const Curve& curve = curves[m];
        auto it = std::lower_bound(curve.begin(), curve.end(), x - reach,
                                   [](const CurvePoint& p, double v) { return p.X < v; });
        for (; it != curve.end() && it->X <= x + reach; ++it) {
            const double dx = (it->X - x) * pixelsPerX;
            const double dy = (it->Bpm - bpm) * pixelsPerBpm;
            const double d = dx * dx + dy * dy;
            if (d <= best) {
                best = d;
                hit.Take = static_cast<int>(m);
                hit.Point = static_cast<size_t>(it - curve.begin());
            }
        }
    }
    return hit;
}
