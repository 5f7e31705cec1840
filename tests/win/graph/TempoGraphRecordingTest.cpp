// The tempo graph with a recording: its waveform drawn where the recording
// is loud and not where it is silent, the map's beats and the start line;
// a graph without a recording drawn exactly as one whose recording fields
// are set but which has none; and the real window driven with messages:
// the playing position's line moving and repainting only its columns, a
// click on the waveform asking the owner to start there, Escape asking it
// to stop.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "GraphCanvas.h"
#include "GraphPaint.h"
#include "GraphRecording.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "TempoGraphWindow.h"
#include "WineTestSupport.h"
#include "GraphWindowTest.h"
#include "resource.h"

namespace {

using namespace wine_test;
using namespace graph_recording;
using graph_test::Canvas;
using graph_test::GraphWindowTest;

constexpr float Level = 0.75f;

// Three takes along 20 s of a recording that is loud from 4 to 6 s: two
// tapped along it (the second came in on beat 2 and missed the beat after
// its tenth tap), one without it.
GraphContent AlongALoudStretch()
{
    GraphContent content =
        OnRecording({TappedAlong(0, 30, 1500.0, 1), TappedAlong(2, 28, 1500.0, 2, 12), TappedAlong(0, 30, 1500.0, 3)},
                    {true, true, false}, LoudStretch(8000, 20.0, 4000.0, 6000.0, Level), 8000);
    content.StartMs = 9000.0;
    return content;
}

// The recording time at the middle of pixel column px, from the layout's
// range alone.
double TimeOfColumn(const GraphLayout& layout, int px)
{
    return layout.X0 + (px - layout.Plot.left + 0.5) * (layout.X1 - layout.X0) / (layout.Plot.right - layout.Plot.left);
}

bool SamePicture(const Canvas& a, const Canvas& b, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (a.At(x, y) != b.At(x, y)) {
                ADD_FAILURE() << "first difference at " << x << ", " << y;
                return false;
            }
        }
    }
    return true;
}

TEST(TempoGraphRecording, WaveformIsDrawnWhereTheRecordingIsLoud)
{
    const GraphContent content = AlongALoudStretch();
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    for (UINT dpi : {96u, 144u}) {
        SCOPED_TRACE(dpi);
        Canvas canvas(900, 500);
        GraphView view;
        view.Dpi = dpi;
        const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, view);
        PaintTempoGraph(canvas.dc, content, model, ResolveView(model, view), layout);
        // Rows well off the middle: the loud stretch's peaks reach past
        // them, silence does not. The lines cross a row here and there, but
        // not all of them in one column.
        std::vector<int> rows;
        for (double share : {0.3, 0.45, 0.6, 0.75}) {
            rows.push_back(layout.YOfSample(static_cast<int>(Level * 32768 * share)));
            rows.push_back(layout.YOfSample(static_cast<int>(-Level * 32768 * share)));
        }
        const double margin = 2.0 * (layout.X1 - layout.X0) / (layout.Plot.right - layout.Plot.left);
        int loud = 0;
        int grey = 0;
        int silent = 0;
        for (int px = layout.Plot.left; px < layout.Plot.right; ++px) {
            const double t = TimeOfColumn(layout, px);
            // The map's beats are drawn over it from top to bottom.
            bool onBeat = false;
            for (int x : layout.BeatLineColumns)
                onBeat = onBeat || std::abs(x - px) <= 1;
            if (t > 4000.0 + margin && t < 6000.0 - margin && !onBeat) {
                ++loud;
                bool any = false;
                for (int y : rows)
                    any = any || canvas.At(px, y) == WaveColour;
                grey += any;
            } else if (t < 4000.0 - margin || t > 6000.0 + margin) {
                ++silent;
                for (int y : rows)
                    EXPECT_NE(WaveColour, canvas.At(px, y)) << px << ", " << y;
            }
        }
        EXPECT_GT(loud, 40);
        EXPECT_GT(silent, 400);
        EXPECT_GE(grey, loud * 95 / 100);
        if (dpi == 96)
            canvas.Save("metrova-graph-recording.bmp");  // for the eye
        // The start position's line.
        const int start = layout.XOf(content.StartMs);
        EXPECT_EQ(StartColour, canvas.At(start, layout.Plot.top + 1));
        EXPECT_EQ(StartColour, canvas.At(start, layout.Plot.bottom - 2));
        EXPECT_NE(StartColour, canvas.At(start - 3, layout.Plot.top + 1));
    }

    // Zoomed in, a thin line at each of the map's beats.
    Canvas canvas(900, 500);
    GraphView view;
    view.X0 = 6000.0;
    view.X1 = 13000.0;
    const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, view);
    PaintTempoGraph(canvas.dc, content, model, view, layout);
    int beats = 0;
    int lines = 0;
    for (double t : content.ExportBeatTimes) {
        const int px = layout.XOf(t);
        if (t < view.X0 || t >= view.X1 || std::abs(px - layout.XOf(content.StartMs)) < 4)
            continue;
        ++beats;
        lines += canvas.At(px, layout.Plot.top + 1) == BeatLineColour;
        EXPECT_NE(BeatLineColour, canvas.At(px + 3, layout.Plot.top + 1));
    }
    EXPECT_GT(beats, 10);
    EXPECT_GE(lines, beats - 1);
}

// Without a recording, the fields that go with one change no pixel, on
// either axis, hovered or not; and the beat axis, which shows no waveform,
// is drawn the same with a recording as without (but for a map lined up with
// it, whose lead-in beats go before the takes' first beat: GraphModelTest).
TEST(TempoGraphRecording, WithoutARecordingThePictureIsTheSame)
{
    const GraphContent with = AlongALoudStretch();
    GraphContent without = with;
    without.Waveform = nullptr;
    GraphContent plain = without;
    plain.Anchors.clear();
    plain.ExportOnRecording = false;
    plain.StartMs = 0.0;
    constexpr int width = 700;
    constexpr int height = 420;
    const auto paint = [&](const GraphContent& content, CurveAxis axis, bool hovering, double playing, Canvas& canvas) {
        const GraphModel model = BuildGraphModel(content, axis);
        GraphView view;
        view.Hovering = hovering;
        view.Pointer = GraphPoint{width / 2, height / 2};
        view.PlayingMs = playing;
        PaintTempoGraph(canvas.dc, canvas.Area(), content, model, view);
    };
    for (CurveAxis axis : {CurveAxis::Beat, CurveAxis::Time}) {
        for (bool hovering : {false, true}) {
            SCOPED_TRACE(std::string(axis == CurveAxis::Beat ? "beat axis" : "time axis") +
                         (hovering ? ", hovered" : ""));
            Canvas before(width, height);
            Canvas after(width, height);
            paint(plain, axis, hovering, -1.0, before);
            paint(without, axis, hovering, std::nan(""), after);
            EXPECT_TRUE(SamePicture(before, after, width, height));
        }
    }
    Canvas before(width, height);
    Canvas after(width, height);
    GraphContent notLinedUp = with;
    notLinedUp.ExportOnRecording = false;
    paint(plain, CurveAxis::Beat, false, -1.0, before);
    paint(notLinedUp, CurveAxis::Beat, false, -1.0, after);
    EXPECT_TRUE(SamePicture(before, after, width, height));
    // The time axis with it is another picture.
    paint(with, CurveAxis::Time, false, -1.0, after);
    paint(plain, CurveAxis::Time, false, -1.0, before);
    int different = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            different += before.At(x, y) != after.At(x, y);
    EXPECT_GT(different, 1000);
}

// The window on the time axis with a recording, owned by a plain window
// that collects what the graph posts.
class TempoGraphRecordingWindowTest : public GraphWindowTest {
protected:
    void SetUp() override { Open(AlongALoudStretch(), 0, 0, 0, 0); }
};

TEST_F(TempoGraphRecordingWindowTest, PlayingPositionMovesAndRepaintsOnlyItsColumns)
{
    RECT client = {};
    GetClientRect(window, &client);
    Canvas canvas(client.right, client.bottom);
    const GraphLayout layout = TempoGraphLayout();
    const int row = layout.Plot.top + 2;
    const int middle = (layout.Plot.top + layout.Plot.bottom) / 2;
    const auto columnOf = [&](double ms) {
        for (int px = layout.Plot.left; px < layout.Plot.right; ++px) {
            const double half = (layout.X1 - layout.X0) / (layout.Plot.right - layout.Plot.left) / 2.0;
            if (std::abs(TimeOfColumn(layout, px) - ms) <= half)
                return px;
        }
        return -1;
    };
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    int previous = -1;
    for (double ms : {5000.0, 12000.0, 12040.0}) {
        SCOPED_TRACE(ms);
        const int px = columnOf(ms);
        ASSERT_GT(px, layout.Plot.left);
        SetTempoGraphPlayingPosition(ms);
        EXPECT_EQ(ms, TempoGraphView().PlayingMs);
        // Only the old line's columns and the new one's wait to be drawn.
        ASSERT_NE(ERROR, GetUpdateRgn(window, update, FALSE));
        EXPECT_TRUE(PtInRegion(update, px, middle));
        if (previous >= 0 && std::abs(previous - px) > 8) {
            EXPECT_TRUE(PtInRegion(update, previous, middle));
            EXPECT_FALSE(PtInRegion(update, (previous + px) / 2, middle));
        }
        EXPECT_FALSE(PtInRegion(update, px - 6, middle));
        EXPECT_FALSE(PtInRegion(update, px + 6, middle));
        UpdateWindow(window);

        Print(canvas);
        EXPECT_EQ(PlayingColour, canvas.At(px, row));
        EXPECT_EQ(PlayingColour, canvas.At(px, layout.Plot.bottom - 2));
        EXPECT_NE(PlayingColour, canvas.At(px - 4, row));
        if (previous >= 0 && std::abs(previous - px) > 4) {
            EXPECT_NE(PlayingColour, canvas.At(previous, row));
        }
        previous = px;

        // The kept picture with the line drawn onto it is the picture
        // painted whole.
        Canvas whole(client.right, client.bottom);
        const GraphContent content = AlongALoudStretch();
        PaintTempoGraph(whole.dc, content, BuildGraphModel(content, CurveAxis::Time), TempoGraphView(), layout);
        EXPECT_TRUE(SamePicture(whole, canvas, client.right, client.bottom));
    }
    // None: no line left anywhere in the plot.
    SetTempoGraphPlayingPosition(std::nan(""));
    ASSERT_NE(ERROR, GetUpdateRgn(window, update, FALSE));
    EXPECT_TRUE(PtInRegion(update, previous, middle));
    EXPECT_FALSE(PtInRegion(update, previous - 6, middle));
    UpdateWindow(window);
    Print(canvas);
    for (int px = layout.Plot.left; px < layout.Plot.right; ++px)
        ASSERT_NE(PlayingColour, canvas.At(px, row)) << px;
    DeleteObject(update);
}

TEST_F(TempoGraphRecordingWindowTest, ClickOnTheWaveformAsksToStartThere)
{
    const GraphLayout layout = TempoGraphLayout();
    const GraphModel model = BuildGraphModel(AlongALoudStretch(), CurveAxis::Time);
    const double perPixel = (layout.X1 - layout.X0) / (layout.Plot.right - layout.Plot.left);
    const int y = layout.Plot.top + 3;
    const auto click = [&](int x) {
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    };
    MSG msg = {};
    for (int share = 1; share < 8; ++share) {
        const int x = layout.Plot.left + (layout.Plot.right - layout.Plot.left) * share / 8;
        ASSERT_EQ(-1, MarkerAt(model, layout, GraphPoint{x, y}));
        click(x);
        ASSERT_TRUE(Posted(WM_GRAPHSTARTAT, msg)) << x;
        EXPECT_EQ(0u, msg.wParam);
        EXPECT_NEAR(TimeOfColumn(layout, x), static_cast<double>(msg.lParam), perPixel) << x;
        EXPECT_FALSE(Posted(WM_GRAPHFINDING, msg));
    }
    // The whole view reaches a little past both ends of the recording.
    ASSERT_LT(layout.X0, 0.0);
    ASSERT_GT(layout.X1, 20000.0);
    click(layout.Plot.left);
    ASSERT_TRUE(Posted(WM_GRAPHSTARTAT, msg));
    EXPECT_EQ(0, msg.lParam);
    click(layout.Plot.right - 1);
    ASSERT_TRUE(Posted(WM_GRAPHSTARTAT, msg));
    EXPECT_EQ(20000, msg.lParam);

    // Zoomed in, a drag scrolls and asks for nothing.
    const int from = (layout.Plot.left + layout.Plot.right) / 2;
    POINT screen = {from, y};
    ClientToScreen(window, &screen);
    SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, 2 * WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
    const double zoomed = TempoGraphLayout().X0;
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from, y));
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from + 40, y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(from + 40, y));
    EXPECT_FALSE(Posted(WM_GRAPHSTARTAT, msg));
    EXPECT_LT(TempoGraphLayout().X0, zoomed);
    SendMessageA(window, WM_KEYDOWN, VK_HOME, 0);

    // A marker keeps its click: the finding, not the recording.
    ASSERT_FALSE(model.Markers.empty());
    const GraphMarker& marker = model.Markers.front();
    const GraphLayout home = TempoGraphLayout();
    const int mx = home.XOf(marker.X);
    const int my = home.YOf(marker.Bpm);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(mx, my));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(mx, my));
    ASSERT_TRUE(Posted(WM_GRAPHFINDING, msg));
    EXPECT_EQ(static_cast<WPARAM>(marker.Take), msg.wParam);
    EXPECT_FALSE(Posted(WM_GRAPHSTARTAT, msg));

    // Without a recording the plot asks for nothing.
    GraphContent none = AlongALoudStretch();
    none.Waveform = nullptr;
    UpdateTempoGraph(none);
    click(from);
    EXPECT_FALSE(Posted(WM_GRAPHSTARTAT, msg));
}

TEST_F(TempoGraphRecordingWindowTest, EscapeStopsListeningAndThenCloses)
{
    MSG msg = {};
    SetTempoGraphPlayingPosition(3000.0);
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ASSERT_TRUE(Posted(WM_GRAPHSTOPLISTEN, msg));
    EXPECT_EQ(0u, msg.wParam);
    EXPECT_EQ(0, msg.lParam);
    // While something plays, Escape only stops it.
    EXPECT_EQ(window, TempoGraphWindow());
    EXPECT_TRUE(IsWindow(window));
    // Stopped, the owner clears the position; Escape then closes as ever.
    SetTempoGraphPlayingPosition(-1.0);
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_TRUE(Posted(WM_GRAPHSTOPLISTEN, msg));
    EXPECT_EQ(nullptr, TempoGraphWindow());
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
