// Speed of the tap analysis: analysis, repair and smoothing of 10 takes, the
// tap dialog's check of one tap, and the snapping of beats onto a
// recording's onsets. time_per_tap stays flat from 10^3 to
// 10^5 taps per take when nothing in the analysis grows faster than the
// taps.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "BeatSnapping.h"
#include "TakeGenerator.h"
#include "TapAnalysis.h"
#include "TempoCurves.h"
#include "TempoPipeline.h"

namespace {

std::vector<Take> MakeTakes(int taps, int count)
{
    TakeRandom random(42);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, taps);
    std::vector<Take> takes;
    for (int m = 0; m < count; ++m) {
        const SlipKind slip = m % 3 == 0 ? SlipKind::Missed : m % 3 == 1 ? SlipKind::DoubleTap : SlipKind::None;
        takes.push_back(GenerateTake(random, piece, slip).Slipped);
    }
    return takes;
}

// Everything --repair --smooth auto does before the spline: analysis of all
// takes, repair, robust average and smoothing.
void BM_RepairAndSmooth(benchmark::State& state)
{
    const std::vector<Take> takes = MakeTakes(static_cast<int>(state.range(0)), 10);
    TakeList list = TakeListOf(takes);
    AnalysisOptions options;
    options.Repair = true;
    options.Smoothing = SmoothingAuto;
    for (auto _ : state) {
        std::vector<double> beats = BeatTimesForExport(list, options);
        benchmark::DoNotOptimize(beats.data());
    }
    const double taps = static_cast<double>(state.range(0)) * 10.0;
    state.counters["time_per_tap"] =
        benchmark::Counter(taps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RepairAndSmooth)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The check after one tap, with ten listed takes of 10,000 taps: the cost
// of Add alone (the set-up runs once when the tap dialog opens).
void BM_TapMonitorAdd(benchmark::State& state)
{
    const std::vector<Take> takes = MakeTakes(10000, 10);
    TakeList list = TakeListOf(takes);
    TapMonitor monitor(list);
    const Take& live = takes[2];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(monitor.Add(live[i % live.size()] + static_cast<uint32_t>(i / live.size()) * 7000000u));
        ++i;
    }
}
BENCHMARK(BM_TapMonitorAdd);

// What the tap dialog does for one tap on the user-interface thread, with
// range(0) taps in the take so far (and more as the run goes on) and ten
// listed takes of 10,000 taps: the copy of the new tap from the shared slot
// (under the lock the driver's appends wait on) and its check. Neither
// grows with the take.
void BM_TapFeedbackStep(benchmark::State& state)
{
    const std::vector<Take> takes = MakeTakes(10000, 10);
    TapMonitor monitor(TakeListOf(takes));
    const Take& live = takes[2];
    TakeSlot slot;
    size_t seen = static_cast<size_t>(state.range(0));
    slot.Start(Take(live.begin(), live.begin() + state.range(0)));
    uint32_t next = live[seen - 1];
    for (auto _ : state) {
        next += 500;
        slot.Append(next);
        for (const uint32_t tap : slot.CopyFrom(seen))
            benchmark::DoNotOptimize(monitor.Add(tap));
        ++seen;
    }
}
BENCHMARK(BM_TapFeedbackStep)->Arg(100)->Arg(1000)->Arg(10000);

void BM_TapMonitorSetUp(benchmark::State& state)
{
    const std::vector<Take> takes = MakeTakes(10000, 10);
    TakeList list = TakeListOf(takes);
    for (auto _ : state) {
        TapMonitor monitor(list);
        benchmark::DoNotOptimize(&monitor);
    }
}
BENCHMARK(BM_TapMonitorSetUp)->Unit(benchmark::kMillisecond);

// What a redraw of the tempo graph computes: every take's curve (10 takes of
// 100,000 taps) and the exported map's reduced to the columns of a window
// 1,600 pixels wide, the whole piece in view (the worst case: every point
// is visited). The curves themselves are made once when the takes change.
void BM_GraphColumns(benchmark::State& state)
{
    const std::vector<Take> takes = MakeTakes(100000, 10);
    TakeList list = TakeListOf(takes);
    const Analysis analysis = AnalyzeTakes(list);
    std::vector<Curve> curves = TakeCurves(list, analysis, CurveAxis::Beat);
    curves.push_back(BeatTimesCurve(AverageTakes(list), CurveAxis::Beat));
    const double end = curves.back().back().X + 1.0;
    for (auto _ : state) {
        for (const Curve& curve : curves) {
            std::vector<Column> columns = ReduceToColumns(curve, 0.0, end, 1600);
            benchmark::DoNotOptimize(columns.data());
        }
    }
}
BENCHMARK(BM_GraphColumns)->Unit(benchmark::kMillisecond);

// Snapping range(0) tapped beats onto a recording's onset curve (2.5 ms hop,
// an onset on every beat and one between most beats, a low floor, and a
// low band with a bass note on every beat): the whole of SnapBeats, both
// passes, the placing on the fine curve and the unsure beats. Flat per beat when
// nothing in it grows faster than the beats.
void BM_SnapBeats(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    TakeRandom random(7);
    std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, count);
    OnsetCurve curve;
    const double hop = 2.5;  // core/audio's onset strength's
    curve.HopMs = hop;
    curve.Values.resize(static_cast<size_t>((piece.back() + 3000.0) / hop));
    for (float& v : curve.Values)
        v = static_cast<float>(random.Uniform(0.0, 0.1));
    const auto peakOn = [&](std::vector<float>& values, double at, double strength) {
        const auto f = static_cast<size_t>(at / hop);
        for (size_t g = f > 5 ? f - 5 : 0; g <= f + 5 && g < values.size(); ++g) {
            const double d = (static_cast<double>(g) * hop - at) / 12.5;
            values[g] = std::max(values[g], static_cast<float>(strength * (1.0 - d * d)));
        }
    };
    const auto peak = [&](double at, double strength) { peakOn(curve.Values, at, strength); };
    std::vector<double> beats;
    for (size_t k = 0; k < piece.size(); ++k) {
        piece[k] += 1000.0;
        peak(piece[k], random.Uniform(0.4, 1.0));
        if (k + 1 < piece.size() && random.Chance(0.7))
            peak(piece[k] + 0.5 * (piece[k + 1] - piece[k]), random.Uniform(0.2, 0.8));
        beats.push_back(piece[k] + 40.0 + 20.0 * random.Normal());
    }
    // The low band: a bass note on every beat, over the floor.
    curve.Low.resize(curve.Values.size());
    for (float& v : curve.Low)
        v = static_cast<float>(random.Uniform(0.0, 0.1));
    for (size_t k = 0; k < piece.size(); ++k)
        peakOn(curve.Low, piece[k], random.Uniform(0.5, 1.0));
    // The short window's curve, by which snapped beats are placed: the same
    // peaks over a higher floor.
    curve.Fine = curve.Values;
    for (float& v : curve.Fine)
        v = std::max(v, static_cast<float>(random.Uniform(0.0, 0.2)));
    curve.FineStartMs = -7.5;
    // Placed where they rose, as a recording's onsets are.
    curve.FineRiseShare = 0.5;
    curve.FineRiseLookMs = 10.0;
    curve.FineRiseStartMs = -5.6;
    for (auto _ : state) {
        std::vector<SnappedBeat> snapped = SnapBeats(beats, curve);
        benchmark::DoNotOptimize(snapped.data());
    }
    state.counters["time_per_beat"] =
        benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SnapBeats)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
