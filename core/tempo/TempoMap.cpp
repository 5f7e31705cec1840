#include "TempoMap.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// trunc toward zero into 64 bits; saturates where a double leaves that range
// (only absurd inputs get there, and the export clamps far inside it). The
// range test is made on v itself: every double at or beyond +-2^63 is an
// integer, so v and trunc(v) fall on the same side of both limits (NaN fails
// both tests either way), and inside the range the conversion truncates by
// itself: no rounding to an integral double first, in a function that runs
// once per tempo point.
int64_t TruncToInt64(double v)
{
    if (!(v > -9.2233720368547758e18))
        return std::numeric_limits<int64_t>::min();
    if (!(v < 9.2233720368547758e18))
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(v);
}

// The spline's abscissa: 2520 units per beat, which every interpolation
// step count from 1 to 10 divides.
constexpr double SplineUnitsPerBeat = 2520.0;

}  // namespace

TakeList TakeListOf(const std::vector<Take>& takes)
{
    TakeList list;
    list.reserve(takes.size());
    for (const Take& take : takes)
        list.push_back(&take);
    return list;
}

bool TakesAreUniform(const TakeList& takes)
{
    for (const Take* take : takes)
        if (take->size() != takes.front()->size())
            return false;
    return true;
}

std::vector<double> AverageTakes(const TakeList& takes)
{
    // The beats fall into runs reached by the same takes (a take reaches beat
    // k when it has more than k taps): runs end where takes end. The takes of
    // a run are looked up once, and within a beat their times are summed from
    // 0.0 in list order and divided by their count.
    size_t longest = 0;
    std::vector<size_t> runEnds;
    for (const Take* take : takes) {
        longest = std::max(longest, take->size());
        if (!take->empty())
            runEnds.push_back(take->size());
    }
    std::sort(runEnds.begin(), runEnds.end());
    runEnds.erase(std::unique(runEnds.begin(), runEnds.end()), runEnds.end());

    std::vector<double> averages(longest);
    std::vector<const uint32_t*> reaching;  // in list order
    size_t k = 0;
    for (const size_t end : runEnds) {
        reaching.clear();
        for (const Take* take : takes)
            if (take->size() >= end)
                reaching.push_back(take->data());
        const double count = static_cast<double>(reaching.size());
        for (; k < end; ++k) {
            double sum = 0.0;
            for (const uint32_t* times : reaching)
                sum += static_cast<double>(times[k]);
            averages[k] = sum / count;
        }
    }
    return averages;
}

void BuildSpline(SplineKnot* k, int n)
{
    std::vector<double> w(n), v(n);  // interval widths; slopes, then pivots
    k[0].z = 0.0;
    k[n - 1].z = 0.0;
    for (int i = 0; i <= n - 2; ++i) {
        w[i] = k[i + 1].x - k[i].x;
        v[i + 1] = (k[i + 1].y - k[i].y) / w[i];
    }
    if (n < 3)
        return;  // two knots: the straight line through them
    k[1].z = v[2] - v[1] - w[0] * k[0].z;
    v[1] = 2.0 * (k[2].x - k[0].x);
    for (int i = 1; i <= n - 3; ++i) {
        const double t = w[i] / v[i];
        k[i + 1].z = v[i + 2] - v[i + 1] - k[i].z * t;
        v[i + 1] = 2.0 * (k[i + 2].x - k[i].x) - w[i] * t;
    }
    k[n - 2].z = k[n - 2].z - w[n - 2] * k[n - 1].z;
    for (int i = n - 2; i >= 1; --i)
        k[i].z = (k[i].z - w[i] * k[i + 1].z) / v[i];
}

namespace {

// The spline's value at t inside interval [x_i, x_i+1].
double EvalSplineInterval(double t, const SplineKnot* k, int i)
{
    const double w = k[i + 1].x - k[i].x;
    const double u = t - k[i].x;
    const double r = 1.0 / w;
    return k[i].y + u * ((k[i + 1].y - k[i].y) * r - (2.0 * k[i].z + k[i + 1].z) * w +
                         u * ((k[i + 1].z - k[i].z) * r * u + 3.0 * k[i].z));
}

}  // namespace

double EvalSpline(double t, const SplineKnot* k, int n)
{
    int i = 0;
    int j = n - 1;
    while (i < j) {
        const int m = (i + j) / 2;
        if (k[m].x < t)
            i = m + 1;
        else
            j = m;
    }
    if (i > 0)
        --i;
    return EvalSplineInterval(t, k, i);
}

TempoMap ComputeTempoMap(const TakeList& takes, int interpCount, int timeSigBase)
{
    return TempoMapFromBeatTimes(AverageTakes(takes), interpCount, timeSigBase);
}

TempoTickGrid TempoTickGridFor(int interpCount, int timeSigBase)
{
    const int l = interpCount + 1;   // tempo points per beat
    const int h = 1 << timeSigBase;  // the base note is a 1/h note
    const double qpb = 4.0 / h;      // quarter notes per beat
    TempoTickGrid grid;
    grid.PointsPerBeat = l;
    grid.TickStep = static_cast<uint32_t>(std::trunc((qpb * 25200.0 / l + 5.0) * 0.1));
    // The first point of every beat but the first takes up what the previous
    // beat's other l - 1 points, TickStep each, left of it (the whole beat
    // when l is 1).
    grid.BeatStep = static_cast<uint32_t>(
        std::trunc(qpb * TicksPerQuarter - static_cast<double>(static_cast<uint32_t>(l - 1) * grid.TickStep)));
    return grid;
}

size_t TempoPointCount(size_t beats, int interpCount)
{
    return beats < 2 ? 0 : (beats - 1) * static_cast<size_t>(interpCount + 1);
}

TempoMap TempoMapFromBeatTimes(const std::vector<double>& beatTimes, int interpCount, int timeSigBase)
{
    TempoMap map;
    // Allocated once and every element written once: a sized map would be
    // zeroed first, an append per point costs more than the point.
    map.reserve(TempoPointCount(beatTimes.size(), interpCount));
    ForEachTempoPoint(beatTimes, interpCount, timeSigBase, [&map](const TempoPoint* points, size_t count) {
        map.insert(map.end(), points, points + count);
    });
    return map;
}

void ForEachTempoPoint(const std::vector<double>& averages, int interpCount, int timeSigBase,
                       const TempoPointSink& sink)
{
    const TempoTickGrid grid = TempoTickGridFor(interpCount, timeSigBase);
    const int l = grid.PointsPerBeat;
    const int h = 1 << timeSigBase;            // the base note is a 1/h note
    const double bpq = 0.25 * h;               // beats per quarter note
    const int xStep = ((25200 / l) + 5) / 10;  // spline units between samples
    const uint32_t tickStep = grid.TickStep;
    const uint32_t lastStep = grid.BeatStep;

    const size_t n = averages.size();
    if (n < 2)
        return;

    // Knot k at 2520 k, formed in double: in int it would overflow past
    // 852176 beats.
    std::vector<SplineKnot> knots;
    if (interpCount > 0) {
        knots.resize(n);
        for (size_t k = 0; k < n; ++k)
            knots[k] = SplineKnot{SplineUnitsPerBeat * static_cast<double>(k), averages[k], 0.0};
        BuildSpline(knots.data(), static_cast<int>(n));
    }

    // Point c runs from time point c to time point c + 1; the time points are
    // the beat times with the spline's samples in between, l per beat. They
    // are made as the points are handed on and never stored. At millions of
    // points handing them on is most of the cost: the points are gathered a
    // few beats at a time in a small buffer that stays in the cache and go to
    // the sink from there, one call for many points.
    constexpr int BufferPoints = 256;
    TempoPoint buffer[BufferPoints];
    TempoPoint* point = buffer;
    TempoPoint* const bufferFull = buffer + BufferPoints - l;
    double previousMs = averages[0] * 1000.0;
    auto emit = [&](uint32_t delta, double ms) {
        point->Delta = delta;
        point->Tempo = TruncToInt64((ms - previousMs) * bpq * l);
        ++point;
        previousMs = ms;
    };

    // Sample i of a beat lies i xStep units into it (at most 10 x 229 of its
    // 2520, so inside it: the interval EvalSpline's search would find). The
    // abscissae are integers far below 2^53, so t - x_k is exactly i xStep
    // and the width of every interval exactly 2520, as EvalSplineInterval
    // computes them.
    double offset[MaxInterpCount + 1];
    for (int i = 0; i < l; ++i)
        offset[i] = static_cast<double>(i * xStep);
    const double w = SplineUnitsPerBeat;
    const double r = 1.0 / w;

    for (size_t k = 0; k + 1 < n; ++k) {
        uint32_t delta = k == 0 ? 0 : lastStep;
        if (interpCount > 0) {
            // EvalSplineInterval on beat k, its per-interval terms taken out
            // of the loop with their rounding unchanged.
            const SplineKnot& a = knots[k];
            const SplineKnot& b = knots[k + 1];
            const double linear = (b.y - a.y) * r - (2.0 * a.z + b.z) * w;
            const double cubic = (b.z - a.z) * r;
            const double quadratic = 3.0 * a.z;
            for (int i = 1; i < l; ++i) {
                const double u = offset[i];
                emit(delta, (a.y + u * (linear + u * (cubic * u + quadratic))) * 1000.0);
                delta = tickStep;
            }
        }
        emit(delta, averages[k + 1] * 1000.0);
        // The next beat's l points must fit; after the last beat the rest goes.
        if (point > bufferFull || k + 2 == n) {
            sink(buffer, static_cast<size_t>(point - buffer));
            point = buffer;
        }
    }
}
