// The tempo graph: drawn into bitmaps and read back pixel by pixel against
// the layout's own axes, and the real window driven with messages (its
// placement in the settings, a DPI change, a click on a marker, the wheel
// and dragging). Leaves a picture of a realistic graph in the build folder,
// metrova-graph.bmp.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "Dpi.h"
#include "GraphCanvas.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "TakeGenerator.h"
#include "TempoGraphWindow.h"
#include "TempoMap.h"
#include "TempoPipeline.h"
#include "WineTestSupport.h"
#include "resource.h"

namespace {

using namespace wine_test;
using graph_test::Canvas;

Take Steady(double bpm, int beats, uint32_t late = 0)
{
    Take take;
    for (int i = 0; i < beats; ++i)
        take.push_back(static_cast<uint32_t>(std::lround(i * 60000.0 / bpm)) + late);
    NormalizeTake(take);
    return take;
}

GraphContent Content(std::vector<Take> takes, bool withExport)
{
    GraphContent content;
    content.Takes = std::move(takes);
    TakeList list = TakeListOf(content.Takes);
    content.Findings = AnalyzeTakes(list);
    content.Checked.assign(content.Takes.size(), true);
    for (const TakeAnalysis& analysis : content.Findings.Takes)
        content.Accepted.emplace_back(analysis.Findings.size(), true);
    if (withExport)
        content.ExportBeatTimes = BeatTimesForExport(list, AnalysisOptions());
    return content;
}

// Taps on the beats of a piece whose tempo sways around 120 BPM, from its
// beat `from` on (relative to the first tap).
Take Swaying(int beats, int from = 0)
{
    Take take;
    double time = 0.0;
    for (int i = 0; i < beats; ++i) {
        if (i >= from)
            take.push_back(static_cast<uint32_t>(std::lround(time)));
        time += 500.0 + 80.0 * std::sin(i * 1.7);
    }
    NormalizeTake(take);
    return take;
}

// Three takes of the swaying piece: one clean, one missing its seventh tap,
// and one that came in three beats late.
GraphContent ContentWithFindings()
{
    Take missed = Swaying(24);
    missed.erase(missed.begin() + 6);
    return Content({Swaying(24), missed, Swaying(24, 3)}, true);
}

const GraphMarker* FindMarker(const GraphModel& model, FindingKind kind)
{
    for (const GraphMarker& marker : model.Markers) {
        if (marker.Kind == kind)
            return &marker;
    }
    return nullptr;
}

TEST(TempoGraphDrawing, LinesLieAtTheTempoTheAxisGives)
{
    const GraphContent content = Content({Steady(120, 40), Steady(100, 40)}, false);
    for (const TakeAnalysis& analysis : content.Findings.Takes)
        ASSERT_TRUE(analysis.Findings.empty());
    for (UINT dpi : {96u, 192u}) {
        SCOPED_TRACE(dpi);
        Canvas canvas(900, 600);
        const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
        GraphView view;
        view.Dpi = dpi;
        const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, view);
        PaintTempoGraph(canvas.dc, content, model, ResolveView(model, view), layout);

        // The axis runs upwards and its ticks are drawn where it says.
        ASSERT_GE(layout.YTicks.size(), 2u);
        EXPECT_LE(layout.Bpm0, 100.0);
        EXPECT_GE(layout.Bpm1, 120.0);
        EXPECT_GT(layout.YOf(layout.YTicks.front()), layout.YOf(layout.YTicks.back()));
        for (double tick : layout.YTicks)
            EXPECT_NE(RGB(255, 255, 255), canvas.At(layout.Plot.left - 2, layout.YOf(tick))) << tick;

        // Along every beat: each take's colour on its tempo's row, the band
        // between them, nothing a few rows beyond.
        int checked = 0;
        for (int beat = 1; beat < 38; ++beat) {
            const int x = layout.XOf(beat + 0.5);
            if (x <= layout.Plot.left || x >= layout.Plot.right - 1)
                continue;
            EXPECT_EQ(TakeColour(0), canvas.At(x, layout.YOf(120.0))) << "beat " << beat;
            EXPECT_EQ(TakeColour(1), canvas.At(x, layout.YOf(100.0))) << "beat " << beat;
            EXPECT_EQ(RGB(214, 226, 240), canvas.At(x, layout.YOf(110.0))) << "beat " << beat;
            EXPECT_NE(TakeColour(0), canvas.At(x, layout.YOf(120.0) - 3));
            EXPECT_NE(TakeColour(1), canvas.At(x, layout.YOf(100.0) + 3));
            ++checked;
        }
        EXPECT_GT(checked, 30);
    }
}

TEST(TempoGraphDrawing, MarkersSitAtTheirBeatsAndShowWhetherTurnedDown)
{
    GraphContent content = ContentWithFindings();
    const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
    const GraphMarker* missed = FindMarker(model, FindingKind::Missed);
    const GraphMarker* start = FindMarker(model, FindingKind::Start);
    ASSERT_NE(nullptr, missed);
    ASSERT_NE(nullptr, start);
    EXPECT_EQ(1, missed->Take);
    EXPECT_EQ(6.0, missed->X);  // the beat that fell out
    EXPECT_NEAR(60000.0 / (500.0 + 40.0 * std::sin(5 * 1.7) + 40.0 * std::sin(6 * 1.7)), missed->Bpm, 0.5);
    EXPECT_EQ(2, start->Take);
    EXPECT_EQ(3.0, start->X);  // the beat the late take came in on

    for (bool accepted : {true, false}) {
        SCOPED_TRACE(accepted);
        content.Accepted[1][static_cast<size_t>(missed->Finding)] = accepted;
        const GraphModel shown = BuildGraphModel(content, CurveAxis::Beat);
        Canvas canvas(700, 450);
        const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), shown, GraphView());
        PaintTempoGraph(canvas.dc, content, shown, ResolveView(shown, GraphView()), layout);
        const GraphMarker* m = FindMarker(shown, FindingKind::Missed);
        ASSERT_NE(nullptr, m);
        EXPECT_EQ(accepted, m->Accepted);
        const int x = layout.XOf(6.0);
        const int y = layout.YOf(m->Bpm);
        // Inside the triangle: its kind's colour, or hollow.
        EXPECT_EQ(accepted ? GraphMarkerColour(FindingKind::Missed) : RGB(255, 255, 255), canvas.At(x, y - 2));
        if (!accepted) {
            EXPECT_EQ(RGB(150, 150, 150), canvas.At(x, y - layout.MarkerRadius));
        }
        EXPECT_EQ(GraphMarkerColour(FindingKind::Start), canvas.At(layout.XOf(3.0), layout.YOf(start->Bpm)));
        EXPECT_EQ(static_cast<int>(std::distance(shown.Markers.data(), m)),
                  MarkerAt(shown, layout, GraphPoint{x, y}));
    }
}

// The thick line is the map the export writes: every tempo point of it,
// the interpolated ones inside each beat included, in BPM of the base note.
TEST(TempoGraphDrawing, ExportLineHoldsEveryTempoPointOfTheMap)
{
    GraphContent content = Content({Swaying(24), Swaying(24)}, true);
    ASSERT_EQ(24u, content.ExportBeatTimes.size());
    const size_t beats = content.ExportBeatTimes.size() - 1;
    for (int base : {2, 3}) {
        for (int interp : {0, 3}) {
            SCOPED_TRACE(std::to_string(base) + " " + std::to_string(interp));
            content.TimeSigBase = base;
            content.InterpCount = interp;
            const TempoMap map = TempoMapFromBeatTimes(content.ExportBeatTimes, interp, base);
            const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
            ASSERT_EQ(beats * static_cast<size_t>(interp + 1), model.Export.size());
            ASSERT_EQ(map.size(), model.Export.size());
            for (size_t c = 0; c < map.size(); ++c) {
                EXPECT_NEAR(static_cast<double>(c) / (interp + 1), model.Export[c].X, 0.01);
                // Tempo in microseconds per quarter note, the line in base notes.
                EXPECT_NEAR(60.0e6 / static_cast<double>(map[c].Tempo) * (1 << base) / 4.0, model.Export[c].Bpm, 1e-6);
            }
            if (interp == 0) {
                // Without interpolation, each beat's tempo from its length,
                // whatever note the beat is.
                for (size_t j = 0; j < beats; ++j) {
                    const double length = content.ExportBeatTimes[j + 1] - content.ExportBeatTimes[j];
                    EXPECT_NEAR(60000.0 / length, model.Export[j].Bpm, 0.01);
                }
            }
        }
    }
}

// The lines go straight into the pixels of a DIB section, and through GDI
// into any other device context: both give the same picture.
TEST(TempoGraphDrawing, AnyDeviceContextGetsTheSamePicture)
{
    GraphContent content = ContentWithFindings();
    content.Selected = 1;
    content.Checked[2] = false;
    const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
    constexpr int width = 640;
    constexpr int height = 400;
    Canvas canvas(width, height);
    PaintTempoGraph(canvas.dc, canvas.Area(), content, model, GraphView());

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP device = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(nullptr, device);
    const HGDIOBJ old = SelectObject(dc, device);
    const RECT area = {0, 0, width, height};
    PaintTempoGraph(dc, area, content, model, GraphView());
    SelectObject(dc, old);
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    ASSERT_EQ(height, GetDIBits(dc, device, 0, height, pixels.data(), &info, DIB_RGB_COLORS));
    DeleteObject(device);
    DeleteDC(dc);

    int different = 0;
    int inked = 0;  // neither background nor grid: lines, band, markers, texts
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            const COLORREF seen = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
            different += seen != canvas.At(x, y);
            inked += seen != RGB(255, 255, 255) && seen != RGB(232, 232, 232);
        }
    }
    EXPECT_EQ(0, different);
    EXPECT_GT(inked, 5000);
}

TEST(TempoGraphDrawing, HoverNamesTheTakeAndBeatUnderThePointer)
{
    const GraphContent content = Content({Steady(120, 24), Steady(100, 24), Steady(110, 24)}, true);
    for (CurveAxis axis : {CurveAxis::Beat, CurveAxis::Time}) {
        const GraphModel model = BuildGraphModel(content, axis);
        Canvas canvas(800, 500);
        const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, GraphView());
        ASSERT_FALSE(model.GridTime.empty());
        for (int beat = 0; beat < 22; ++beat) {
            for (int take = 0; take < 3; ++take) {
                const double bpm = take == 0 ? 120.0 : take == 1 ? 100.0 : 110.0;
                const double x = axis == CurveAxis::Beat ? beat : model.GridTime[static_cast<size_t>(beat)];
                const GraphPoint at{layout.XOf(x) + 1, layout.YOf(bpm)};
                const GraphHover hover = HoverTempoGraph(model, layout, at);
                SCOPED_TRACE(std::to_string(beat) + " " + std::to_string(take));
                ASSERT_TRUE(hover.Inside);
                EXPECT_EQ(take, hover.Take);
                EXPECT_EQ(beat, hover.Beat);
                ASSERT_EQ(3u, hover.TakeBpm.size());
                EXPECT_NEAR(120.0, hover.TakeBpm[0], 0.2);
                EXPECT_NEAR(100.0, hover.TakeBpm[1], 0.2);
                EXPECT_LE(model.GridTime[static_cast<size_t>(beat)], hover.TimeMs);
                EXPECT_GT(model.GridTime[static_cast<size_t>(beat) + 1], hover.TimeMs);
            }
        }
    }
}

// The window, owned by a plain window that collects what the graph posts.
class TempoGraphWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(nullptr);
        saved = g_AppSettings;
        g_AppSettings.GraphLeft = g_AppSettings.GraphTop = g_AppSettings.GraphWidth = g_AppSettings.GraphHeight = 0;
        owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 40, 30, 300, 200, nullptr, nullptr,
                                g_hInstance, nullptr);
        ASSERT_NE(nullptr, owner);
        UpdateTempoGraph(ContentWithFindings());
    }
    void TearDown() override
    {
        CloseTempoGraph();
        DestroyWindow(owner);
        PumpMessages();
        UpdateTempoGraph(GraphContent());
        g_AppSettings = saved;
    }

    static RECT WindowRect()
    {
        RECT rect = {};
        GetWindowRect(TempoGraphWindow(), &rect);
        return rect;
    }

    // Where a marker of `kind` is in the open window's client area.
    static POINT MarkerPoint(FindingKind kind, int* index = nullptr)
    {
        const GraphModel model = BuildGraphModel(ContentWithFindings(), TempoGraphView().Axis);
        const GraphLayout layout = TempoGraphLayout();
        const GraphMarker* marker = FindMarker(model, kind);
        if (!marker)
            return POINT{-1, -1};
        if (index)
            *index = marker->Finding;
        return POINT{layout.XOf(marker->X), layout.YOf(marker->Bpm)};
    }

    AppSettings saved;
    HWND owner = nullptr;
};

TEST_F(TempoGraphWindowTest, OpensBesideItsOwnerAndKeepsItsPlacement)
{
    ShowTempoGraph(owner);
    HWND window = TempoGraphWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(owner, GetWindow(window, GW_OWNER));
    EXPECT_EQ(0, GetWindowLongA(window, GWL_STYLE) & WS_CHILD);
    char caption[64] = "";
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_EQ(LoadResString(IDS_GRAPH_TITLE), caption);
    const UINT dpi = TempoGraphView().Dpi;
    RECT ownerRect = {};
    GetWindowRect(owner, &ownerRect);
    RECT rect = WindowRect();
    EXPECT_GE(rect.left, ownerRect.right);
    EXPECT_EQ(ownerRect.top, rect.top);
    EXPECT_EQ(ScaleToDpi(640, dpi), rect.right - rect.left);

    // Moved and sized: the settings follow, and a new window opens there.
    SetWindowPos(window, nullptr, 150, 120, 610, 420, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(150, g_AppSettings.GraphLeft);
    EXPECT_EQ(120, g_AppSettings.GraphTop);
    EXPECT_EQ(610, g_AppSettings.GraphWidth);
    EXPECT_EQ(420, g_AppSettings.GraphHeight);
    ShowTempoGraph(owner);  // already open: the same window
    EXPECT_EQ(window, TempoGraphWindow());
    CloseTempoGraph();
    EXPECT_EQ(nullptr, TempoGraphWindow());
    EXPECT_FALSE(IsWindow(window));
    ShowTempoGraph(owner);
    rect = WindowRect();
    EXPECT_EQ(150, rect.left);
    EXPECT_EQ(120, rect.top);
    EXPECT_EQ(610, rect.right - rect.left);
    EXPECT_EQ(420, rect.bottom - rect.top);

    // A place on no monitor (one since unplugged) opens beside the owner.
    CloseTempoGraph();
    g_AppSettings.GraphLeft = -30000;
    g_AppSettings.GraphTop = -30000;
    ShowTempoGraph(owner);
    rect = WindowRect();
    EXPECT_GE(rect.left, ownerRect.right);
    EXPECT_EQ(ownerRect.top, rect.top);
}

// A new window opens wholly inside the work area of its owner's monitor:
// beside the owner where either side has room, over it where neither has,
// moved up from the bottom edge; a kept place is left as it was.
TEST_F(TempoGraphWindowTest, OpensInsideTheWorkAreaOfItsOwnersMonitor)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT work = monitor.rcWork;
    const int workWidth = work.right - work.left;
    const int workHeight = work.bottom - work.top;
    const int width = ScaleToDpi(640, DpiOfWindow(owner));
    const int height = ScaleToDpi(400, DpiOfWindow(owner));
    ASSERT_LT(width, workWidth);
    ASSERT_LT(height, workHeight);
    const auto inside = [&](const RECT& rect) {
        return rect.left >= work.left && rect.top >= work.top && rect.right <= work.right && rect.bottom <= work.bottom;
    };
    const auto openBeside = [&](int left, int top, int ownerWidth, int ownerHeight) {
        CloseTempoGraph();
        SetWindowPos(owner, nullptr, left, top, ownerWidth, ownerHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        g_AppSettings.GraphLeft = g_AppSettings.GraphTop = g_AppSettings.GraphWidth = g_AppSettings.GraphHeight = 0;
        ShowTempoGraph(owner);
        return WindowRect();
    };

    // In the middle of the screen, with room for the graph on neither side
    // (at 1024 x 768, the main window's place at its first start).
    const int ownerWidth = std::max(workWidth - 2 * width + 100, 200);
    RECT rect = openBeside(work.left + (workWidth - ownerWidth) / 2, work.top + workHeight / 3, ownerWidth, 300);
    EXPECT_TRUE(inside(rect)) << rect.left << "," << rect.top << " - " << rect.right << "," << rect.bottom;
    EXPECT_EQ(width, rect.right - rect.left);
    EXPECT_EQ(height, rect.bottom - rect.top);
    EXPECT_EQ(work.top + workHeight / 3, rect.top);

    // At the right edge: to the owner's left.
    rect = openBeside(work.right - 300, work.top + 20, 300, 200);
    EXPECT_TRUE(inside(rect)) << rect.left << "," << rect.top << " - " << rect.right << "," << rect.bottom;
    EXPECT_LT(rect.right, work.right - 300);
    EXPECT_EQ(width, rect.right - rect.left);
    EXPECT_EQ(work.top + 20, rect.top);

    // Near the bottom edge: moved up.
    rect = openBeside(work.left + 10, work.bottom - 120, 300, 100);
    EXPECT_TRUE(inside(rect)) << rect.left << "," << rect.top << " - " << rect.right << "," << rect.bottom;
    EXPECT_EQ(work.bottom, rect.bottom);
    EXPECT_GE(rect.left, work.left + 310);

    // A kept place, even one reaching past the edge, is where the window was.
    CloseTempoGraph();
    g_AppSettings.GraphLeft = work.right - 200;
    g_AppSettings.GraphTop = work.top + 10;
    g_AppSettings.GraphWidth = 500;
    g_AppSettings.GraphHeight = 300;
    ShowTempoGraph(owner);
    rect = WindowRect();
    EXPECT_EQ(work.right - 200, rect.left);
    EXPECT_EQ(work.right + 300, rect.right);
}

TEST_F(TempoGraphWindowTest, FollowsDpiChanges)
{
    ShowTempoGraph(owner);
    ASSERT_NE(nullptr, TempoGraphWindow());
    const UINT dpi = TempoGraphView().Dpi;
    SetWindowPos(TempoGraphWindow(), nullptr, 60, 40, 420, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    const GraphLayout before = TempoGraphLayout();
    RECT rect = WindowRect();
    RECT suggested = {rect.left + 10, rect.top + 5, rect.left + 10 + 2 * (rect.right - rect.left),
                      rect.top + 5 + 2 * (rect.bottom - rect.top)};
    SendMessageA(TempoGraphWindow(), WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
    rect = WindowRect();
    EXPECT_EQ(suggested.left, rect.left);
    EXPECT_EQ(suggested.right, rect.right);
    EXPECT_EQ(suggested.bottom, rect.bottom);
    EXPECT_EQ(2 * dpi, TempoGraphView().Dpi);
    const GraphLayout after = TempoGraphLayout();
    EXPECT_EQ(2 * before.MarkerRadius, after.MarkerRadius);
    EXPECT_NEAR(2.0 * before.TextHeight, after.TextHeight, 2.0);
    EXPECT_NEAR(2.0 * (before.Plot.left - before.Area.left), after.Plot.left - after.Area.left, 4.0);
    EXPECT_NEAR(2.0 * (before.Plot.top - before.Area.top), after.Plot.top - after.Area.top, 4.0);
    EXPECT_EQ(suggested.right - suggested.left, g_AppSettings.GraphWidth);
}

TEST_F(TempoGraphWindowTest, ClickOnAMarkerTellsTheOwnerWhichFinding)
{
    ShowTempoGraph(owner);
    HWND window = TempoGraphWindow();
    ASSERT_NE(nullptr, window);
    PumpMessages();
    for (FindingKind kind : {FindingKind::Missed, FindingKind::Start}) {
        int finding = -1;
        const POINT at = MarkerPoint(kind, &finding);
        ASSERT_GE(finding, 0);
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y + 1));
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y + 1));
        MSG msg = {};
        ASSERT_TRUE(PeekMessageA(&msg, owner, WM_GRAPHFINDING, WM_GRAPHFINDING, PM_REMOVE));
        EXPECT_EQ(kind == FindingKind::Missed ? 1u : 2u, msg.wParam);
        EXPECT_EQ(finding, static_cast<int>(msg.lParam));
    }
    // Away from the markers a click only starts a drag.
    const GraphLayout layout = TempoGraphLayout();
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(layout.Plot.left + 3, layout.Plot.top + 3));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(layout.Plot.left + 3, layout.Plot.top + 3));
    MSG msg = {};
    EXPECT_FALSE(PeekMessageA(&msg, owner, WM_GRAPHFINDING, WM_GRAPHFINDING, PM_REMOVE));
}

TEST_F(TempoGraphWindowTest, WheelZoomsAroundThePointerAndDraggingScrolls)
{
    ShowTempoGraph(owner);
    HWND window = TempoGraphWindow();
    ASSERT_NE(nullptr, window);
    for (int step = 0; step < 3; ++step) {
        const GraphLayout before = TempoGraphLayout();
        const int px = before.Plot.left + (before.Plot.right - before.Plot.left) * (step + 1) / 4;
        const double under = before.XAt(px);
        POINT screen = {px, (before.Plot.top + before.Plot.bottom) / 2};
        ClientToScreen(window, &screen);
        SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
        const GraphLayout after = TempoGraphLayout();
        SCOPED_TRACE(step);
        EXPECT_NEAR((before.X1 - before.X0) / 1.25, after.X1 - after.X0, 1e-9);
        EXPECT_NEAR(under, after.XAt(px), (before.X1 - before.X0) / (before.Plot.right - before.Plot.left));
    }
    const GraphLayout before = TempoGraphLayout();
    const int y = (before.Plot.top + before.Plot.bottom) / 2;
    const int from = (before.Plot.left + before.Plot.right) / 2;
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from, y));
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from + 40, y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(from + 40, y));
    const GraphLayout after = TempoGraphLayout();
    const double perPixel = (before.X1 - before.X0) / (before.Plot.right - before.Plot.left);
    EXPECT_NEAR(before.X0 - 40 * perPixel, after.X0, 1e-9);
    EXPECT_NEAR(before.X1 - before.X0, after.X1 - after.X0, 1e-9);
    // The time axis shows the same stretch of music, and back again.
    const GraphView beats = TempoGraphView();
    SendMessageA(window, WM_COMMAND, IDM_GRAPH_TIMEAXIS, 0);
    const GraphView times = TempoGraphView();
    EXPECT_EQ(CurveAxis::Time, times.Axis);
    EXPECT_TRUE(GetMenuState(GetMenu(window), IDM_GRAPH_TIMEAXIS, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(GetMenu(window), IDM_GRAPH_BEATAXIS, MF_BYCOMMAND) & MF_CHECKED);
    const GraphModel timeModel = BuildGraphModel(ContentWithFindings(), CurveAxis::Time);
    const size_t first = static_cast<size_t>(std::floor(beats.X0));
    ASSERT_LT(first + 1, timeModel.GridTime.size());
    EXPECT_GE(times.X0, timeModel.GridTime[first]);
    EXPECT_LE(times.X0, timeModel.GridTime[first + 1]);
    SendMessageA(window, WM_COMMAND, IDM_GRAPH_BEATAXIS, 0);
    EXPECT_EQ(CurveAxis::Beat, TempoGraphView().Axis);
    EXPECT_NEAR(beats.X0, TempoGraphView().X0, 1e-6);
    EXPECT_NEAR(beats.X1, TempoGraphView().X1, 1e-6);
    // Home shows everything again.
    SendMessageA(window, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_LT(TempoGraphLayout().X0, after.X0);
}

// What the window shows follows every update: a finding turned down turns
// hollow, a new selection is drawn bold, read back from the window's own
// drawing (WM_PRINTCLIENT).
TEST_F(TempoGraphWindowTest, ShowsEachUpdate)
{
    ShowTempoGraph(owner);
    HWND window = TempoGraphWindow();
    ASSERT_NE(nullptr, window);
    RECT client = {};
    GetClientRect(window, &client);
    Canvas canvas(client.right, client.bottom);
    const auto print = [&] { SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc), PRF_CLIENT); };
    int finding = -1;
    const POINT at = MarkerPoint(FindingKind::Missed, &finding);
    ASSERT_GE(finding, 0);
    print();
    EXPECT_EQ(GraphMarkerColour(FindingKind::Missed), canvas.At(at.x, at.y - 2));

    GraphContent content = ContentWithFindings();
    content.Accepted[1][static_cast<size_t>(finding)] = false;
    UpdateTempoGraph(content);
    print();
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(at.x, at.y - 2));

    // The late take's line, one row below each column's stroke: only a
    // bold line reaches it.
    const auto boldColumns = [&] {
        const GraphLayout layout = TempoGraphLayout();
        int bold = 0;
        for (int beat = 5; beat < 20; ++beat) {
            const int x = layout.XOf(beat + 0.5);
            const Column& column = layout.TakeColumns[2][static_cast<size_t>(x - layout.Plot.left)];
            bold += !column.Empty && canvas.At(x, layout.YOf(column.Low) + 1) == TakeColour(2);
        }
        return bold;
    };
    EXPECT_LT(boldColumns(), 5);
    content.Selected = 2;
    UpdateTempoGraph(content);
    print();
    EXPECT_EQ(15, boldColumns());
    EXPECT_EQ(RGB(255, 255, 255), canvas.At(at.x, at.y - 2));
}

// Live GDI and USER objects of this process. Windows counts them
// (GetGuiResources); Wine answers 0 there, but its handle tables accept a
// handle's index alone (the low word), so there every index is asked. The
// USER objects a window may create are windows, menus, icons and cursors;
// asking for an icon's information copies its bitmaps, deleted at once.
struct GuiObjects {
    long Gdi = 0;
    long User = 0;
};

GuiObjects CountGuiObjects()
{
    GuiObjects count{static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)),
                     static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))};
    if (count.Gdi > 0)
        return count;
    const DWORD self = GetCurrentProcessId();
    for (UINT_PTR index = 1; index <= 0xFFFF; ++index) {
        count.Gdi += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
        if (index < 0x20 || index % 2)
            continue;  // USER handles are even, from 0x20
        const auto window = reinterpret_cast<HWND>(index);
        DWORD owner = 0;
        ICONINFO icon = {};
        if (IsWindow(window) && GetWindowThreadProcessId(window, &owner) && owner == self)
            ++count.User;
        else if (IsMenu(reinterpret_cast<HMENU>(index)))
            ++count.User;
        else if (GetIconInfo(reinterpret_cast<HICON>(index), &icon)) {
            ++count.User;
            DeleteObject(icon.hbmMask);
            if (icon.hbmColor)
                DeleteObject(icon.hbmColor);
        }
    }
    return count;
}

// Kept open for hours, the window is updated, painted, sized, moved between
// DPIs, hovered, zoomed, and closed and opened again many times: none of it
// may leave a GDI or USER object behind, or drawing fails once the process
// reaches its cap.
TEST_F(TempoGraphWindowTest, LeavesNoGdiOrUserObjectsBehind)
{
    Canvas canvas(1000, 800);
    const auto cycle = [&](int round) {
        ShowTempoGraph(owner);
        HWND window = TempoGraphWindow();
        ASSERT_NE(nullptr, window);
        Take missed = Swaying(24 + round % 7);
        missed.erase(missed.begin() + 5);
        GraphContent content = Content({Swaying(24 + round % 7), missed, Swaying(30, 2 + round % 3)}, true);
        content.Selected = round % 3;
        UpdateTempoGraph(content);
        SetWindowPos(window, nullptr, 50, 40, 420 + 11 * (round % 9), 300 + 7 * (round % 5),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        const UINT dpi = TempoGraphView().Dpi;
        for (UINT to : {dpi * 3 / 2, dpi}) {
            RECT rect = WindowRect();
            const int from = static_cast<int>(TempoGraphView().Dpi);
            RECT suggested = {rect.left, rect.top, rect.left + MulDiv(rect.right - rect.left, static_cast<int>(to), from),
                              rect.top + MulDiv(rect.bottom - rect.top, static_cast<int>(to), from)};
            SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
            RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        }
        ASSERT_EQ(dpi, TempoGraphView().Dpi);
        SendMessageA(window, WM_KEYDOWN, VK_HOME, 0);  // the zoom outlives the window
        const GraphLayout layout = TempoGraphLayout();
        POINT at = {(layout.Plot.left + layout.Plot.right) / 2, (layout.Plot.top + layout.Plot.bottom) / 2};
        SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
        ClientToScreen(window, &at);
        SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(at.x, at.y));
        ASSERT_TRUE(TempoGraphView().Hovering);
        ASSERT_LT(TempoGraphLayout().X1 - TempoGraphLayout().X0, layout.X1 - layout.X0);
        SendMessageA(window, WM_COMMAND, round % 2 ? IDM_GRAPH_TIMEAXIS : IDM_GRAPH_BEATAXIS, 0);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc), PRF_CLIENT);
        CloseTempoGraph();
        PumpMessages();
    };
    // The first round loads what stays loaded: fonts, the class, caches.
    ASSERT_NO_FATAL_FAILURE(cycle(0));
    const GuiObjects before = CountGuiObjects();
    // The count sees an object come and go, or it would prove nothing.
    HPEN extraPen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HMENU extraMenu = CreateMenu();
    const GuiObjects more = CountGuiObjects();
    DeleteObject(extraPen);
    DestroyMenu(extraMenu);
    ASSERT_EQ(before.Gdi + 1, more.Gdi);
    ASSERT_EQ(before.User + 1, more.User);

    // Twelve rounds: an object lost in each would be more than twice the
    // five allowed below.
    for (int round = 1; round <= 12; ++round)
        ASSERT_NO_FATAL_FAILURE(cycle(round)) << "round " << round;
    const GuiObjects after = CountGuiObjects();
    EXPECT_LE(after.Gdi - before.Gdi, 5) << before.Gdi << " GDI objects before, " << after.Gdi << " after";
    EXPECT_LE(after.User - before.User, 5) << before.User << " USER objects before, " << after.User << " after";

    // Wine frees an object deleted while selected once its DC goes, which
    // no count sees; Windows keeps it for good. A DC painted into keeps the
    // objects it had.
    const UINT kinds[] = {OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_BITMAP};
    HGDIOBJ selected[4];
    for (size_t k = 0; k < 4; ++k)
        selected[k] = GetCurrentObject(canvas.dc, kinds[k]);
    GraphView view;
    view.Hovering = true;
    view.Pointer = GraphPoint{500, 400};
    const GraphContent content = ContentWithFindings();
    PaintTempoGraph(canvas.dc, canvas.Area(), content, BuildGraphModel(content, CurveAxis::Beat), view);
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ(selected[k], GetCurrentObject(canvas.dc, kinds[k])) << "object kind " << kinds[k];
}

// A realistic graph for the eye: five generated takes of an expressive
// piece with slips, one unchecked, one selected, a finding turned down.
TEST(TempoGraphPicture, RealisticTakesLeaveAPictureInTheBuildFolder)
{
    TakeRandom random(20261207);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 64);
    std::vector<Take> takes;
    for (SlipKind slip : {SlipKind::None, SlipKind::Missed, SlipKind::DoubleTap, SlipKind::LateStart, SlipKind::None})
        takes.push_back(GenerateTake(random, piece, slip).Slipped);
    GraphContent content = Content(takes, true);
    content.Checked[4] = false;
    content.Selected = 1;
    int markers = 0;
    for (auto& accepted : content.Accepted) {
        markers += static_cast<int>(accepted.size());
        if (!accepted.empty())
            accepted[0] = false;
    }
    ASSERT_GT(markers, 0);
    const GraphModel model = BuildGraphModel(content, CurveAxis::Beat);
    Canvas canvas(960, 540);
    GraphView view;
    view.Hovering = true;
    const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, view);
    view.Pointer = GraphPoint{layout.XOf(20.0) + 1, (layout.Plot.top + layout.Plot.bottom) / 2};
    PaintTempoGraph(canvas.dc, content, model, ResolveView(model, view), layout);
    for (const GraphMarker& marker : model.Markers) {
        if (marker.Accepted) {
            EXPECT_EQ(GraphMarkerColour(marker.Kind), canvas.At(layout.XOf(marker.X), layout.YOf(marker.Bpm) - 1));
        }
    }
    canvas.Save(BesideTestProgram("..\\metrova-graph.bmp"));
    EXPECT_TRUE(FileExists(BesideTestProgram("..\\metrova-graph.bmp")));

    // The same on the time axis at 192 DPI: twice the pixels, the same look.
    const GraphModel timed = BuildGraphModel(content, CurveAxis::Time);
    Canvas large(1920, 1080);
    GraphView sharp;
    sharp.Dpi = 192;
    const GraphLayout big = LayoutTempoGraph(large.dc, large.Area(), timed, sharp);
    EXPECT_NEAR(2.0 * layout.MarkerRadius, big.MarkerRadius, 0.0);
    EXPECT_NEAR(2.0 * layout.TextHeight, big.TextHeight, 2.0);
    PaintTempoGraph(large.dc, content, timed, ResolveView(timed, sharp), big);
    for (const GraphMarker& marker : timed.Markers) {
        if (marker.Accepted) {
            EXPECT_EQ(GraphMarkerColour(marker.Kind), large.At(big.XOf(marker.X), big.YOf(marker.Bpm) - 1));
        }
    }
    large.Save(BesideTestProgram("..\\metrova-graph-time-192dpi.bmp"));
}

}  // namespace
