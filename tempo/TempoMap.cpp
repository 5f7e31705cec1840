#include "TempoMap.h"

#include <cmath>
#include <limits>

namespace {

// trunc toward zero into 64 bits; saturates where a double leaves that range
// (only absurd inputs get there, and the export clamps far inside it).
int64_t TruncToInt64(double v)
{
    const double t = std::trunc(v);
    if (!(t > -9.2233720368547758e18))
        return std::numeric_limits<int64_t>::min();
    if (!(t < 9.2233720368547758e18))
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(t);
}

}  // namespace

bool TakesAreUniform(const TakeList& takes)
{
    for (const Take* take : takes)
        if (take->size() != takes.front()->size())
            return false;
    return true;
}

std::vector<double> AverageTakes(const TakeList& takes)
{
    struct Cursor {
        const Take* take;
        size_t index;
    };
    std::vector<Cursor> cursors;
    for (const Take* take : takes)
        if (!take->empty())
            cursors.push_back({take, 0});

    std::vector<double> averages;
    while (!cursors.empty()) {
        const size_t n = cursors.size();
        double sum = 0.0;
        for (auto it = cursors.begin(); it != cursors.end();) {
            sum += static_cast<double>((*it->take)[it->index]);
            if (++it->index == it->take->size())
                it = cursors.erase(it);
            else
                ++it;
        }
        averages.push_back(sum / static_cast<double>(n));
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
    const int l = interpCount + 1;            // tempo points per beat
    const int h = 1 << timeSigBase;           // the base note is a 1/h note
    const double bpq = 0.25 * h;              // beats per quarter note
    const double qpb = 4.0 / h;               // quarter notes per beat
    const int xStep = ((25200 / l) + 5) / 10;  // spline units between samples
    const uint32_t tickStep = static_cast<uint32_t>(std::trunc((qpb * 25200.0 / l + 5.0) * 0.1));
    const uint32_t beatTicks = static_cast<uint32_t>(std::trunc(qpb * 2520.0));

    const std::vector<double> averages = AverageTakes(takes);
    const int n = static_cast<int>(averages.size());
    if (n < 2)
        return TempoMap();

    std::vector<SplineKnot> knots(n);
    for (int k = 0; k < n; ++k)
        knots[k] = SplineKnot{static_cast<double>(2520 * k), averages[k], 0.0};

    std::vector<double> times;
    times.reserve(static_cast<size_t>(n - 1) * l + 1);
    if (interpCount > 0)
        BuildSpline(knots.data(), n);
    for (int k = 0; k < n; ++k) {
        times.push_back(knots[k].y);
        if (k == n - 1)
            break;
        // Every sample lies strictly inside beat k (at most 10 x 229 of its
        // 2520 units), which is the interval EvalSpline's search would find.
        for (int i = 1; i < l; ++i)
            times.push_back(EvalSplineInterval(knots[k].x + static_cast<double>(i * xStep), knots.data(), k));
    }

    TempoMap map;
    map.reserve(times.size() - 1);
    uint32_t acc = 0;
    for (size_t c = 0; c + 1 < times.size(); ++c) {
        TempoPoint point;
        point.Tempo = TruncToInt64((times[c + 1] * 1000.0 - times[c] * 1000.0) * bpq * l);
        if (c == 0) {
            point.Delta = 0;
            acc = 0;
        } else if (interpCount == 0) {
            point.Delta = beatTicks;
        } else if (c % l != 0) {
            point.Delta = tickStep;
            acc += tickStep;
        } else {
            point.Delta = static_cast<uint32_t>(std::trunc(qpb * 2520.0 - static_cast<double>(acc)));
            acc = 0;
        }
        map.push_back(point);
    }
    return map;
}
