// The tempo graph's portable half with an hour's recording under 10 takes
// of 100,000 taps tapped along it (44.1 kHz, blocks of 256 frames: 620,000
// peak pairs): the waveform's pixel columns from the envelope's tree of
// spans against the envelope's own block-by-block Span per column (the
// tree's cost follows the columns, Span's the blocks), the tree's making,
// the model on the recording's timeline and the whole layout, also with the
// map's first 10,000 beats snapped onto the recording's onsets and the
// hour's onset strength at a 2.5 ms hop (the markers in view and the
// strength's peak per column). The painting
// itself is GDI: graph_paint_bench, under Wine, times the full redraw.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "GraphLayout.h"
#include "GraphModel.h"
#include "HourOfMusic.h"
#include "TakeGenerator.h"
#include "TempoPipeline.h"
#include "WaveformLevels.h"

namespace {

constexpr int TakeCount = 10;
constexpr int Taps = 100000;
constexpr double HourMs = 3600000.0;
const GraphRect Area{0, 0, 1600, 900};

GraphMetrics Metrics()
{
    GraphMetrics metrics;
    metrics.TextHeight = 12;
    metrics.NumberWidth = 24;
    metrics.Pad = 6;
    metrics.Tick = 4;
    metrics.MarkerRadius = 5;
    return metrics;
}

const std::shared_ptr<PeakEnvelope>& Hour()
{
    static const std::shared_ptr<PeakEnvelope> hour = HourOfMusic();
    return hour;
}

// Ten takes of one long piece, every other one with a slip, tapped along
// the hour from their own times on it.
const GraphContent& Along()
{
    static const GraphContent content = [] {
        TakeRandom random(42);
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, Taps);
        GraphContent c;
        for (int m = 0; m < TakeCount; ++m) {
            c.Takes.push_back(GenerateTake(random, piece, m % 2 ? SlipKind::Missed : SlipKind::None).Slipped);
            c.Anchors.push_back(1000 + 37 * m);
        }
        const TakeList list = TakeListOf(c.Takes);
        AnalysisOptions options;
        options.Anchors = c.Anchors;
        options.AlignToRecording = true;
        c.Findings = AnalyzeTakes(list, c.Anchors);
        c.Checked.assign(c.Takes.size(), true);
        for (const TakeAnalysis& analysis : c.Findings.Takes)
            c.Accepted.emplace_back(analysis.Findings.size(), true);
        c.ExportBeatTimes = BeatTimesForExport(list, options);
        c.ExportOnRecording = LinesUpWithRecording(list, options);
        c.Waveform = Hour();
        c.WaveformRate = 44100;
        return c;
    }();
    return content;
}

const GraphModel& AlongModel()
{
    static const GraphModel model = BuildGraphModel(Along(), CurveAxis::Time);
    return model;
}

// The recording alone: its layout is the waveform's columns.
const GraphModel& RecordingOnly()
{
    static const GraphModel model = [] {
        GraphContent content;
        content.Waveform = Hour();
        content.WaveformRate = 44100;
        return BuildGraphModel(content, CurveAxis::Time);
    }();
    return model;
}

GraphView Showing(double x0, double x1)
{
    GraphView view;
    view.X0 = x0;
    view.X1 = x1;
    return view;
}

void WaveformColumnsFromTheTree(benchmark::State& state)
{
    const GraphModel& model = RecordingOnly();
    const GraphView view = Showing(0.0, HourMs / static_cast<double>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(LayOutGraph(Area, Metrics(), model, view));
}
BENCHMARK(WaveformColumnsFromTheTree)->Arg(1)->Arg(60)->Unit(benchmark::kMicrosecond);

// What the columns would cost from the envelope's Span, which walks every
// block of a column.
void WaveformColumnsFromSpan(benchmark::State& state)
{
    const PeakEnvelope& envelope = *Hour();
    const int width = 1533;  // the plot's width in the area above
    const double perColumn = 44100.0 * HourMs / 1000.0 / static_cast<double>(state.range(0)) / width;
    for (auto _ : state) {
        for (int c = 0; c < width; ++c)
            benchmark::DoNotOptimize(envelope.Span(static_cast<uint64_t>(c * perColumn),
                                                   static_cast<uint64_t>((c + 1) * perColumn)));
    }
}
BENCHMARK(WaveformColumnsFromSpan)->Arg(1)->Arg(60)->Unit(benchmark::kMicrosecond);

void WaveformTreeMade(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(WaveformLevels(*Hour()));
}
BENCHMARK(WaveformTreeMade)->Unit(benchmark::kMillisecond);

void ModelOnTheRecording(benchmark::State& state)
{
    const GraphContent& content = Along();
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildGraphModel(content, CurveAxis::Time));
}
BENCHMARK(ModelOnTheRecording)->Unit(benchmark::kMillisecond);

// The same takes with the recording taken away: the time axis from the
// grid's first beat.
void ModelWithoutTheRecording(benchmark::State& state)
{
    GraphContent content = Along();
    content.Waveform = nullptr;
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildGraphModel(content, CurveAxis::Time));
}
BENCHMARK(ModelWithoutTheRecording)->Unit(benchmark::kMillisecond);

// The layout of every take, the map, the band and the waveform: the whole
// graph (14 hours of taps, the recording under the first), the hour, a
// minute with the map's beat lines.
void LayoutOnTheRecording(benchmark::State& state)
{
    const GraphModel& model = AlongModel();
    const GraphView views[] = {GraphView(), Showing(0.0, HourMs), Showing(HourMs / 2, HourMs / 2 + 60000.0)};
    const GraphView view = views[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(LayOutGraph(Area, Metrics(), model, view));
}
BENCHMARK(LayoutOnTheRecording)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

const GraphModel& SnappedModel()
{
    static const GraphModel model = [] {
        GraphContent content = Along();
        uint32_t hash = 12345;
        const auto next = [&hash] {
            hash = hash * 1664525u + 1013904223u;
            return hash >> 8;
        };
        for (size_t j = 0; j < 10000 && j < content.ExportBeatTimes.size(); ++j) {
            content.TappedBeatMs.push_back(content.ExportBeatTimes[j]);
            content.SnappedBeatMs.push_back(content.ExportBeatTimes[j] + static_cast<double>(next() % 61) - 30.0);
            content.BeatMarks.push_back(j % 6 == 1 ? BeatMark::Unsure : BeatMark::Snapped);
        }
        auto onsets = std::make_shared<std::vector<float>>(static_cast<size_t>(HourMs / 2.5));
        for (float& value : *onsets)
            value = static_cast<float>(next() % 1000) / 1000.0f;
        content.OnsetValues = onsets;
        content.OnsetHopMs = 2.5;
        return BuildGraphModel(content, CurveAxis::Time);
    }();
    return model;
}

// As above with the snapped beats and the onset strength: the whole graph,
// the hour (too many beats for markers), two and a half minutes (some 270
// markers).
void LayoutWithSnappedBeats(benchmark::State& state)
{
    const GraphModel& model = SnappedModel();
    const GraphView views[] = {GraphView(), Showing(0.0, HourMs), Showing(HourMs / 2, HourMs / 2 + 150000.0)};
    const GraphView view = views[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(LayOutGraph(Area, Metrics(), model, view));
}
BENCHMARK(LayoutWithSnappedBeats)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
