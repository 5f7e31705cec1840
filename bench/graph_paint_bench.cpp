// How long the tempo graph takes to redraw 10 takes of 100,000 taps: the
// layout (every line reduced to the plot's pixel columns, the tempo range,
// the ticks) and the painting into a 1600 x 900 bitmap, as the window does
// on every scroll and zoom; and the painting alone from a kept layout, as it
// does while the pointer moves; and the same takes tapped along an hour's
// recording, its waveform under them on the time axis (44.1 kHz, blocks of
// 256 frames: 620,000 peak pairs); and with the map's first 10,000 beats
// snapped onto the recording's onsets (markers along the plot's top) and its
// onset strength at a 2.5 ms hop under the lines. A Windows program (GDI), run under Wine:
//   wine-run.sh graph_paint_bench.exe [rounds]
// Prints the median, the fastest and the slowest round of each case.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "Messages.h"
#include "HourOfMusic.h"
#include "TakeGenerator.h"
#include "TempoGraphWindow.h"
#include "TempoPipeline.h"

namespace {

double Now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Report(const char* name, int rounds, const std::function<void()>& run)
{
    run();  // warm
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const double start = Now();
        run();
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-52s median %7.2f ms   fastest %7.2f ms   slowest %7.2f ms   (%d rounds)\n", name,
                times[times.size() / 2], times.front(), times.back(), rounds);
}

}  // namespace

int main(int argc, char** argv)
{
    g_hInstance = GetModuleHandleA(nullptr);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    constexpr int TakeCount = 10;
    constexpr int Taps = 100000;
    constexpr int Width = 1600;
    constexpr int Height = 900;

    // Ten takes of one long piece, every other one with a slip.
    TakeRandom random(42);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, Taps);
    GraphContent content;
    for (int m = 0; m < TakeCount; ++m)
        content.Takes.push_back(GenerateTake(random, piece, m % 2 ? SlipKind::Missed : SlipKind::None).Slipped);
    TakeList list = TakeListOf(content.Takes);
    double start = Now();
    content.Findings = AnalyzeTakes(list);
    std::printf("analysis of %d takes x %d taps (the main window's, once per change): %.0f ms\n", TakeCount, Taps,
                Now() - start);
    content.Checked.assign(content.Takes.size(), true);
    for (const TakeAnalysis& analysis : content.Findings.Takes)
        content.Accepted.emplace_back(analysis.Findings.size(), true);
    content.ExportBeatTimes = BeatTimesForExport(list, AnalysisOptions());
    content.Selected = 3;

    GraphModel model;
    Report("curves, once per content and axis", std::max(1, rounds / 10),
           [&] { model = BuildGraphModel(content, CurveAxis::Beat); });
    std::printf("findings marked: %zu\n", model.Markers.size());
    const GraphModel timeModel = BuildGraphModel(content, CurveAxis::Time);

    BITMAPINFO info = TopDownBitmapInfo(Width, Height);
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT area = {0, 0, Width, Height};

    const auto redraw = [&](const GraphModel& shown, GraphView view) {
        return [&, view] {
            const GraphLayout layout = LayoutTempoGraph(dc, area, shown, view);
            PaintTempoGraph(dc, content, shown, ResolveView(shown, view), layout);
            GdiFlush();
        };
    };
    GraphView whole;
    const GraphView resolved = ResolveView(model, whole);
    Report("column reduction alone, every line", rounds, [&] {
        for (const Curve& curve : model.Takes)
            ReduceToColumns(curve, resolved.X0, resolved.X1, Width);
        ReduceToColumns(model.Export, resolved.X0, resolved.X1, Width);
        ReduceToColumns(model.SpreadLow, resolved.X0, resolved.X1, Width);
        ReduceToColumns(model.SpreadHigh, resolved.X0, resolved.X1, Width);
    });
    Report("layout alone", rounds, [&] { LayoutTempoGraph(dc, area, model, whole); });
    Report("redraw, whole graph, beat axis", rounds, redraw(model, whole));
    Report("redraw, whole graph, time axis", rounds, redraw(timeModel, whole));
    // The map's line with ten interpolated points inside every beat: a
    // million points more to reduce.
    content.InterpCount = 10;
    const GraphModel interpolated = BuildGraphModel(content, CurveAxis::Beat);
    content.InterpCount = 0;
    Report("redraw, whole graph, interpolation count 10", rounds, redraw(interpolated, whole));
    GraphView zoomed = ResolveView(model, whole);
    const double span = zoomed.X1 - zoomed.X0;
    zoomed.X0 += span * 0.45;
    zoomed.X1 = zoomed.X0 + span / 100.0;
    Report("redraw, a hundredth of the graph (1,000 beats)", rounds, redraw(model, zoomed));
    GraphView close = ResolveView(model, whole);
    close.X0 += span / 2.0;
    close.X1 = close.X0 + 40.0;
    Report("redraw, 40 beats", rounds, redraw(model, close));

    const GraphContent none;
    const GraphModel empty = BuildGraphModel(none, CurveAxis::Beat);
    Report("redraw, no takes (the frame, the axes, the texts)", rounds, [&] {
        const GraphLayout layout = LayoutTempoGraph(dc, area, empty, whole);
        PaintTempoGraph(dc, none, empty, ResolveView(empty, whole), layout);
        GdiFlush();
    });

    // The takes tapped along an hour's recording, each from its own time on
    // it, with the map lined up with it: the time axis on the recording's
    // timeline with its waveform under the lines. The taps run on past the
    // hour (100,000 beats are some 14 hours): the whole graph has the
    // waveform under its first part, the hour has it under every column.
    GraphContent along = content;
    AnalysisOptions alongOptions;
    for (int m = 0; m < TakeCount; ++m)
        along.Anchors.push_back(1000 + 37 * m);
    alongOptions.Anchors = along.Anchors;
    alongOptions.AlignToRecording = true;
    start = Now();
    along.Findings = AnalyzeTakes(list, along.Anchors);
    along.ExportBeatTimes = BeatTimesForExport(list, alongOptions);
    along.ExportOnRecording = LinesUpWithRecording(list, alongOptions);
    along.Accepted.clear();
    for (const TakeAnalysis& analysis : along.Findings.Takes)
        along.Accepted.emplace_back(analysis.Findings.size(), true);
    std::printf("analysis along the recording: %.0f ms\n", Now() - start);
    start = Now();
    along.Waveform = HourOfMusic();
    along.WaveformRate = 44100;
    along.StartMs = 600000.0;
    std::printf("an hour's envelope (%zu blocks): %.0f ms\n", along.Waveform->Blocks().size(), Now() - start);
    GraphModel alongModel;
    Report("curves on the recording, once per content", std::max(1, rounds / 10),
           [&] { alongModel = BuildGraphModel(along, CurveAxis::Time); });
    const auto redrawAlong = [&](GraphView view) {
        return [&, view] {
            const GraphLayout layout = LayoutTempoGraph(dc, area, alongModel, view);
            PaintTempoGraph(dc, along, alongModel, ResolveView(alongModel, view), layout);
            GdiFlush();
        };
    };
    Report("redraw, recording under the whole graph", rounds, redrawAlong(whole));
    GraphView hour;
    hour.X0 = 0.0;
    hour.X1 = 3600000.0;
    Report("redraw, the recording's hour", rounds, redrawAlong(hour));
    GraphView minute = hour;
    minute.X0 = 1800000.0;
    minute.X1 = minute.X0 + 60000.0;
    Report("redraw, a minute of the recording (beat lines)", rounds, redrawAlong(minute));
    GraphView playing = hour;
    playing.PlayingMs = 1234567.0;
    const GraphLayout hourLayout = LayoutTempoGraph(dc, area, alongModel, playing);
    Report("paint alone from a kept layout, the hour playing", rounds, [&] {
        PaintTempoGraph(dc, along, alongModel, playing, hourLayout);
        GdiFlush();
    });

    // The map's first 10,000 beats snapped, each moved by up to 30 ms, every
    // sixth unsure and every fiftieth edited; the hour's onset strength.
    GraphContent snapped = along;
    constexpr size_t SnappedBeats = 10000;
    uint32_t hash = 12345;
    const auto next = [&hash] {
        hash = hash * 1664525u + 1013904223u;
        return hash >> 8;
    };
    for (size_t j = 0; j < SnappedBeats && j < along.ExportBeatTimes.size(); ++j) {
        const double tapped = along.ExportBeatTimes[j];
        snapped.TappedBeatMs.push_back(tapped);
        snapped.SnappedBeatMs.push_back(tapped + static_cast<double>(next() % 61) - 30.0);
        snapped.BeatMarks.push_back(j % 50 == 7 ? BeatMark::Edited : j % 6 == 1 ? BeatMark::Unsure : BeatMark::Snapped);
    }
    auto onsets = std::make_shared<std::vector<float>>(static_cast<size_t>(3600000.0 / 2.5));
    for (float& value : *onsets)
        value = static_cast<float>(next() % 1000) / 1000.0f;
    snapped.OnsetValues = onsets;
    snapped.OnsetHopMs = 2.5;
    snapped.SelectedBeat = 3601;
    GraphModel snappedModel;
    Report("curves with 10,000 snapped beats, once per content", std::max(1, rounds / 10),
           [&] { snappedModel = BuildGraphModel(snapped, CurveAxis::Time); });
    std::printf("snapped beats: %zu, the last at %.0f ms\n", snappedModel.Beats.size(),
                snappedModel.Beats.empty() ? 0.0 : snappedModel.Beats.back().SnappedMs);
    const auto redrawSnapped = [&](GraphView view) {
        return [&, view] {
            const GraphLayout layout = LayoutTempoGraph(dc, area, snappedModel, view);
            PaintTempoGraph(dc, snapped, snappedModel, ResolveView(snappedModel, view), layout);
            GdiFlush();
        };
    };
    Report("redraw, snapped beats, whole graph", rounds, redrawSnapped(whole));
    Report("redraw, snapped beats, the hour", rounds, redrawSnapped(hour));
    GraphView fiveMinutes = hour;
    fiveMinutes.X0 = 1800000.0;
    fiveMinutes.X1 = fiveMinutes.X0 + 150000.0;
    const GraphLayout markersLayout = LayoutTempoGraph(dc, area, snappedModel, fiveMinutes);
    std::printf("markers in two and a half minutes: %zu\n", markersLayout.BeatMarkers.size());
    Report("redraw, snapped beats, 2.5 minutes (markers)", rounds, redrawSnapped(fiveMinutes));
    Report("redraw, snapped beats, a minute (markers)", rounds, redrawSnapped(minute));
    GraphView dragging = minute;
    dragging.DraggedBeat = 3601;
    dragging.DraggedBeatMs = minute.X0 + 20000.0;
    Report("redraw, snapped beats, a minute, one dragged", rounds, redrawSnapped(dragging));

    GraphView hover = ResolveView(model, whole);
    const GraphLayout kept = LayoutTempoGraph(dc, area, model, hover);
    std::printf("plot: %d x %d pixels\n", kept.Plot.right - kept.Plot.left, kept.Plot.bottom - kept.Plot.top);
    hover.Hovering = true;
    hover.Pointer = GraphPoint{Width / 2, Height / 2};
    Report("paint alone from a kept layout (pointer moves)", rounds, [&] {
        PaintTempoGraph(dc, content, model, hover, kept);
        GdiFlush();
    });

    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return 0;
}
