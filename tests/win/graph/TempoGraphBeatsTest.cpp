// The map's beats snapped onto the recording's onsets in the tempo graph:
// their markers drawn filled, hollow or square along the plot's top with
// their shifts and the selection, the onset strength low in the plot, a
// picture without snapped beats unchanged; and the real window driven with
// messages: a click on a marker selects its beat, a drag moves it, the
// arrow keys and the beat's context menu ask for another onset or the
// automatic time.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "GraphCanvas.h"
#include "GraphPaint.h"
#include "GraphRecording.h"
#include "SettingsWin32.h"
#include "TempoGraphWindow.h"
#include "UiLanguage.h"
#include "WineTestSupport.h"
#include "GraphWindowTest.h"
#include "resource.h"

namespace {

using namespace wine_test;
using namespace graph_recording;
using graph_test::Canvas;
using graph_test::GraphWindowTest;

// Beats whose shift is long enough to see beside their marker.
constexpr int LongShiftEvery = 4;
constexpr double LongShiftMs = 300.0;

// Two takes along 20 s of a recording, its map lined up with it and snapped:
// every fourth beat moved on by 300 ms, the others by a few ms; beat 5 and
// every ninth unsure, beat 17 edited.
GraphContent SnappedAlong()
{
    GraphContent content = OnRecording({TappedAlong(0, 30, 1500.0, 1), TappedAlong(0, 30, 1500.0, 2)}, {true, true},
                                       LoudStretch(8000, 20.0, 4000.0, 6000.0, 0.75f), 8000);
    for (size_t j = 0; j < content.ExportBeatTimes.size(); ++j) {
        const double tapped = content.ExportBeatTimes[j];
        content.TappedBeatMs.push_back(tapped);
        content.SnappedBeatMs.push_back(tapped + (j % LongShiftEvery == 0 ? LongShiftMs : static_cast<double>(j % 3)));
        content.BeatMarks.push_back(j == 17 ? BeatMark::Edited : j == 5 || j % 9 == 0 ? BeatMark::Unsure
                                                                                    : BeatMark::Snapped);
    }
    return content;
}

bool SameOutside(const Canvas& a, const Canvas& b, int width, int height, int skipTop, int skipBottom)
{
    for (int y = 0; y < height; ++y) {
        if (y >= skipTop && y < skipBottom)
            continue;
        for (int x = 0; x < width; ++x) {
            if (a.At(x, y) != b.At(x, y)) {
                ADD_FAILURE() << "first difference at " << x << ", " << y;
                return false;
            }
        }
    }
    return true;
}

TEST(TempoGraphBeats, MarkersAreFilledHollowOrSquareWithTheirShiftsAndTheSelection)
{
    GraphContent content = SnappedAlong();
    content.SelectedBeat = 13;
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    for (UINT dpi : {96u, 144u}) {
        SCOPED_TRACE(dpi);
        Canvas canvas(900, 500);
        GraphView view;
        view.Dpi = dpi;
        view.X0 = 6000.0;
        view.X1 = 13000.0;
        const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, view);
        PaintTempoGraph(canvas.dc, content, model, view, layout);
        if (dpi == 96)
            canvas.Save("metrova-graph-beats.bmp");  // for the eye
        const int r = layout.MarkerRadius;
        const int y = layout.BeatMarkerY;
        ASSERT_GT(layout.BeatMarkers.size(), 10u);
        int filled = 0;
        int hollow = 0;
        int edited = 0;
        int shifts = 0;
        for (const BeatMarkerSpot& spot : layout.BeatMarkers) {
            if (spot.X - r - 4 < layout.Plot.left || spot.X + r + 4 >= layout.Plot.right)
                continue;
            SCOPED_TRACE(spot.Beat);
            const bool selected = spot.Beat == content.SelectedBeat;
            const COLORREF corner = canvas.At(spot.X - r + 1, y - r + 1);
            switch (model.Beats[static_cast<size_t>(spot.Beat)].Mark) {
            case BeatMark::Snapped:
                ++filled;
                EXPECT_EQ(SnappedBeatColour, canvas.At(spot.X, y));
                EXPECT_EQ(SnappedBeatColour, canvas.At(spot.X - r / 2, y + r / 2));
                EXPECT_NE(SnappedBeatColour, corner);  // a disc, not a square
                break;
            case BeatMark::Unsure: {
                ++hollow;
                EXPECT_NE(SnappedBeatColour, canvas.At(spot.X, y));
                EXPECT_NE(SnappedBeatColour, canvas.At(spot.X + r / 2, y - r / 2));
                int ring = 0;
                for (POINT p : {POINT{spot.X - r, y}, POINT{spot.X + r, y}, POINT{spot.X, y - r}, POINT{spot.X, y + r}})
                    ring += canvas.At(p.x, p.y) == SnappedBeatColour || canvas.At(p.x, p.y) == Darker(SnappedBeatColour);
                EXPECT_GE(ring, 3);
                break;
            }
            case BeatMark::Edited:
                ++edited;
                EXPECT_EQ(EditedBeatColour, canvas.At(spot.X, y));
                EXPECT_EQ(EditedBeatColour, corner);
                break;
            }
            // Beside the selected one only, the highlight.
            EXPECT_EQ(selected, canvas.At(spot.X - r - 2 * (dpi / 96), y) == SelectedBeatColour);
            // A long shift shows between the tapped time and the marker.
            if (spot.X - spot.TappedX > 3 * r) {
                ++shifts;
                const COLORREF shift = model.Beats[static_cast<size_t>(spot.Beat)].Mark == BeatMark::Edited
                                           ? EditedBeatColour
                                           : SnappedBeatColour;
                EXPECT_EQ(shift, canvas.At(spot.TappedX + 1, y));
                EXPECT_EQ(shift, canvas.At((spot.TappedX + spot.X - r) / 2, y));
                EXPECT_NE(shift, canvas.At(spot.TappedX - 2, y));
                EXPECT_NE(shift, canvas.At((spot.TappedX + spot.X - r) / 2, y + r));
            }
        }
        EXPECT_GT(filled, 5);
        EXPECT_GE(hollow, 1);
        EXPECT_EQ(1, edited);
        EXPECT_GE(shifts, 2);
    }
}

// Without snapped beats nothing is drawn for them: a content whose snapped
// fields are set but cannot be shown (no tapped times, the beat axis, a map
// not lined up) is drawn exactly as one without them; with them, only the
// markers' row at the plot's top changes.
TEST(TempoGraphBeats, WithoutSnappedBeatsThePictureIsTheSame)
{
    const GraphContent with = [] {
        GraphContent content = SnappedAlong();
        content.SelectedBeat = 3;
        return content;
    }();
    GraphContent plain = with;
    plain.TappedBeatMs.clear();
    plain.SnappedBeatMs.clear();
    plain.BeatMarks.clear();
    plain.SelectedBeat = -1;
    GraphContent untapped = with;
    untapped.TappedBeatMs.clear();
    constexpr int width = 700;
    constexpr int height = 420;
    const auto paint = [&](const GraphContent& content, CurveAxis axis, Canvas& canvas, GraphLayout* kept = nullptr) {
        const GraphModel model = BuildGraphModel(content, axis);
        GraphView view;
        view.X0 = axis == CurveAxis::Time ? 3000.0 : 0.0;
        view.X1 = axis == CurveAxis::Time ? 11000.0 : 0.0;
        const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, view);
        PaintTempoGraph(canvas.dc, content, model, ResolveView(model, view), layout);
        if (kept)
            *kept = layout;
    };
    for (CurveAxis axis : {CurveAxis::Beat, CurveAxis::Time}) {
        SCOPED_TRACE(axis == CurveAxis::Beat ? "beat axis" : "time axis");
        Canvas before(width, height);
        Canvas after(width, height);
        paint(plain, axis, before);
        paint(untapped, axis, after);
        EXPECT_TRUE(SameOutside(before, after, width, height, 0, 0));
        if (axis == CurveAxis::Beat) {
            paint(with, axis, after);
            EXPECT_TRUE(SameOutside(before, after, width, height, 0, 0));
        }
    }
    GraphContent notLinedUp = with;
    notLinedUp.ExportOnRecording = false;
    GraphContent plainNotLinedUp = plain;
    plainNotLinedUp.ExportOnRecording = false;
    Canvas before(width, height);
    Canvas after(width, height);
    paint(plainNotLinedUp, CurveAxis::Time, before);
    paint(notLinedUp, CurveAxis::Time, after);
    EXPECT_TRUE(SameOutside(before, after, width, height, 0, 0));

    GraphLayout layout;
    paint(plain, CurveAxis::Time, before);
    paint(with, CurveAxis::Time, after, &layout);
    ASSERT_FALSE(layout.BeatMarkers.empty());
    const int reach = layout.MarkerRadius + 4;
    EXPECT_TRUE(SameOutside(before, after, width, height, layout.BeatMarkerY - reach, layout.BeatMarkerY + reach + 1));
    int different = 0;
    for (int y = layout.BeatMarkerY - reach; y <= layout.BeatMarkerY + reach; ++y)
        for (int x = 0; x < width; ++x)
            different += before.At(x, y) != after.At(x, y);
    EXPECT_GT(different, static_cast<int>(layout.BeatMarkers.size()) * layout.MarkerRadius * layout.MarkerRadius);
}

TEST(TempoGraphBeats, OnsetStrengthRisesFromThePlotsBottom)
{
    GraphContent content = SnappedAlong();
    // Strong onsets every 500 ms from 1 s, weak values between.
    auto values = std::make_shared<std::vector<float>>(8000, 0.0f);
    for (size_t i = 0; i < values->size(); ++i)
        (*values)[i] = i >= 400 && i % 200 == 0 ? 1.0f : 0.0f;
    content.OnsetValues = values;
    content.OnsetHopMs = 2.5;
    const GraphModel model = BuildGraphModel(content, CurveAxis::Time);
    Canvas canvas(900, 500);
    GraphView view;
    view.X0 = 6000.0;
    view.X1 = 13000.0;
    const GraphLayout layout = LayoutTempoGraph(canvas.dc, canvas.Area(), model, view);
    PaintTempoGraph(canvas.dc, content, model, view, layout);
    const int height = layout.Plot.bottom - layout.Plot.top;
    const int row = layout.Plot.bottom - 1 - height * OnsetSharePercent / 200;  // halfway up a full one
    const int above = layout.Plot.bottom - 1 - height * OnsetSharePercent / 100 - 3;
    int onsets = 0;
    for (double t = 6500.0; t < 12800.0; t += 500.0) {
        const int px = layout.XOf(t);
        bool onBeatLine = false;
        for (int x : layout.BeatLineColumns)
            onBeatLine = onBeatLine || std::abs(x - px) <= 1;
        if (onBeatLine)
            continue;
        ++onsets;
        EXPECT_EQ(OnsetColour, canvas.At(px, row)) << t;
        EXPECT_NE(OnsetColour, canvas.At(px, above)) << t;
        EXPECT_NE(OnsetColour, canvas.At(layout.XOf(t + 250.0), row)) << t;
    }
    EXPECT_GT(onsets, 5);
}

// The window on the time axis with snapped beats, owned by a plain window
// that collects what the graph posts.
class TempoGraphBeatsWindowTest : public GraphWindowTest {
protected:
    void SetUp() override
    {
        Open(SnappedAlong(), 10, 10, 900, 500);
        ASSERT_FALSE(HasFatalFailure());
        layout = TempoGraphLayout();
        ASSERT_GT(layout.BeatMarkers.size(), 10u);
    }

    // Nothing the graph posts about beats or the waveform is waiting.
    void ExpectNothingPosted() const
    {
        MSG msg = {};
        for (UINT message : {WM_GRAPHBEATSELECT, WM_GRAPHBEATMOVE, WM_GRAPHBEATRESNAP, WM_GRAPHBEATRESET,
                             WM_GRAPHSTARTAT, WM_GRAPHFINDING})
            EXPECT_FALSE(Posted(message, msg)) << std::hex << message;
    }
    double PerPixel() const { return (layout.X1 - layout.X0) / (layout.Plot.right - layout.Plot.left); }
    // A marker away from the plot's edges and its neighbours.
    BeatMarkerSpot Inner(size_t from) const
    {
        for (size_t i = from; i + 1 < layout.BeatMarkers.size(); ++i) {
            const BeatMarkerSpot& spot = layout.BeatMarkers[i];
            if (i > 0 && spot.X - layout.BeatMarkers[i - 1].X > 3 * layout.MarkerRadius &&
                layout.BeatMarkers[i + 1].X - spot.X > 3 * layout.MarkerRadius && spot.X > layout.Plot.left + 40)
                return spot;
        }
        ADD_FAILURE() << "no marker apart from its neighbours";
        return layout.BeatMarkers.front();
    }

    GraphLayout layout;
};

TEST_F(TempoGraphBeatsWindowTest, ClickOnAMarkerSelectsItsBeat)
{
    MSG msg = {};
    for (size_t from : {size_t{1}, layout.BeatMarkers.size() / 2}) {
        const BeatMarkerSpot spot = Inner(from);
        SCOPED_TRACE(spot.Beat);
        // Off its middle, but on it.
        const int x = spot.X + layout.MarkerRadius / 2;
        const int y = layout.BeatMarkerY - layout.MarkerRadius / 2;
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        ASSERT_TRUE(Posted(WM_GRAPHBEATSELECT, msg));
        EXPECT_EQ(static_cast<WPARAM>(spot.Beat), msg.wParam);
        EXPECT_EQ(0, msg.lParam);
        ExpectNothingPosted();
        // Highlighted at once, before the owner answers.
        RECT client = {};
        GetClientRect(window, &client);
        Canvas canvas(client.right, client.bottom);
        Print(canvas);
        EXPECT_EQ(SelectedBeatColour, canvas.At(spot.X - layout.MarkerRadius - 2, layout.BeatMarkerY));
    }
    // Below the markers' row the waveform still takes the click.
    const BeatMarkerSpot spot = Inner(1);
    const int y = layout.BeatMarkerY + 3 * layout.MarkerRadius;
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(spot.X, y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(spot.X, y));
    ASSERT_TRUE(Posted(WM_GRAPHSTARTAT, msg));
    EXPECT_NEAR(layout.XAt(spot.X), static_cast<double>(msg.lParam), PerPixel());
    ExpectNothingPosted();
}

TEST_F(TempoGraphBeatsWindowTest, DragMovesTheBeatToWhereItIsLetGo)
{
    MSG msg = {};
    const BeatMarkerSpot spot = Inner(2);
    const int y = layout.BeatMarkerY;
    RECT client = {};
    GetClientRect(window, &client);
    for (int by : {37, -23}) {
        SCOPED_TRACE(by);
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(spot.X, y));
        ASSERT_TRUE(Posted(WM_GRAPHBEATSELECT, msg));
        EXPECT_EQ(static_cast<WPARAM>(spot.Beat), msg.wParam);
        SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(spot.X + by / 2, y + 1));
        SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(spot.X + by, y + 2));
        // While dragged, the marker is drawn where the pointer is; the view
        // has not scrolled.
        Canvas canvas(client.right, client.bottom);
        Print(canvas);
        const COLORREF colour = spot.Mark == BeatMark::Edited ? EditedBeatColour : SelectedBeatColour;
        EXPECT_EQ(colour, canvas.At(spot.X + by - layout.MarkerRadius - 2, y));
        EXPECT_NE(SelectedBeatColour, canvas.At(spot.X - layout.MarkerRadius - 2, y));
        EXPECT_EQ(layout.X0, TempoGraphLayout().X0);
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(spot.X + by, y + 2));
        ASSERT_TRUE(Posted(WM_GRAPHBEATMOVE, msg));
        EXPECT_EQ(static_cast<WPARAM>(spot.Beat), msg.wParam);
        EXPECT_NEAR(layout.XAt(spot.X + by), static_cast<double>(msg.lParam), PerPixel());
        ExpectNothingPosted();
        EXPECT_EQ(layout.X0, TempoGraphLayout().X0);
        // Let go, the marker is where the content has it until the owner
        // hands over the moved beat.
        Print(canvas);
        EXPECT_EQ(SelectedBeatColour, canvas.At(spot.X - layout.MarkerRadius - 2, y));
    }
    // A press that wobbles by a pixel is a click, not a move.
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(spot.X, y));
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(spot.X + 1, y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(spot.X + 1, y));
    EXPECT_TRUE(Posted(WM_GRAPHBEATSELECT, msg));
    ExpectNothingPosted();
    // Dragged far past the recording's start, it stops at its first sample.
    const BeatMarkerSpot first = layout.BeatMarkers.front();
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(first.X, y));
    SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(first.X - 800, y));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(first.X - 800, y));
    EXPECT_TRUE(Posted(WM_GRAPHBEATSELECT, msg));
    ASSERT_TRUE(Posted(WM_GRAPHBEATMOVE, msg));
    EXPECT_EQ(static_cast<WPARAM>(first.Beat), msg.wParam);
    EXPECT_EQ(0, msg.lParam);
}

TEST_F(TempoGraphBeatsWindowTest, ArrowsAskForTheOnsetBesideTheSelectedBeat)
{
    MSG msg = {};
    // Nothing selected: the arrows ask for nothing.
    SendMessageA(window, WM_KEYDOWN, VK_LEFT, 0x014B0001);
    SendMessageA(window, WM_KEYDOWN, VK_RIGHT, 0x014D0001);
    ExpectNothingPosted();
    const BeatMarkerSpot spot = Inner(3);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(spot.X, layout.BeatMarkerY));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(spot.X, layout.BeatMarkerY));
    ASSERT_TRUE(Posted(WM_GRAPHBEATSELECT, msg));
    for (int direction : {-1, 1, 1}) {
        SendMessageA(window, WM_KEYDOWN, direction < 0 ? VK_LEFT : VK_RIGHT, 0x01000001);
        ASSERT_TRUE(Posted(WM_GRAPHBEATRESNAP, msg)) << direction;
        EXPECT_EQ(static_cast<WPARAM>(spot.Beat), msg.wParam);
        EXPECT_EQ(direction, static_cast<int>(msg.lParam));
        ExpectNothingPosted();
    }
    // The owner's content names the selection from then on.
    GraphContent content = SnappedAlong();
    content.SelectedBeat = 2;
    UpdateTempoGraph(content);
    SendMessageA(window, WM_KEYDOWN, VK_RIGHT, 0x014D0001);
    ASSERT_TRUE(Posted(WM_GRAPHBEATRESNAP, msg));
    EXPECT_EQ(2u, msg.wParam);
    content.SelectedBeat = static_cast<int>(content.SnappedBeatMs.size());  // none such
    UpdateTempoGraph(content);
    SendMessageA(window, WM_KEYDOWN, VK_RIGHT, 0x014D0001);
    ExpectNothingPosted();
}

// The menu up on the screen, read and closed from a timer inside its loop.
struct ShownMenu {
    bool Seen = false;
    std::vector<UINT> Ids;
    std::vector<std::wstring> Texts;
};
ShownMenu shownMenu;

BOOL CALLBACK ReadMenuWindow(HWND candidate, LPARAM)
{
    char name[16] = {};
    GetClassNameA(candidate, name, sizeof name);
    if (std::string(name) != "#32768" || !IsWindowVisible(candidate))
        return TRUE;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(candidate, MN_GETHMENU, 0, 0));
    if (!menu)
        return TRUE;
    shownMenu.Seen = true;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        shownMenu.Ids.push_back(GetMenuItemID(menu, i));
        shownMenu.Texts.push_back(text);
    }
    return FALSE;
}

void CALLBACK CloseShownMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), ReadMenuWindow, 0);
    EndMenu();
    KillTimer(nullptr, timer);
}

TEST_F(TempoGraphBeatsWindowTest, ContextMenuOfABeatAsksForItsOnsetsOrTheAutomaticTime)
{
    MSG msg = {};
    const BeatMarkerSpot spot = Inner(4);
    POINT screen = {spot.X, layout.BeatMarkerY};
    ClientToScreen(window, &screen);
    shownMenu = ShownMenu();
    SetTimer(nullptr, 0, 100, CloseShownMenu);
    SendMessageA(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(screen.x, screen.y));
    ASSERT_TRUE(shownMenu.Seen);
    // The beat's own items, in the interface's language.
    const std::vector<UINT> ids = {IDM_GRAPH_BEAT_PREVONSET, IDM_GRAPH_BEAT_NEXTONSET, 0, IDM_GRAPH_BEAT_AUTOMATIC};
    EXPECT_EQ(ids, shownMenu.Ids);
    ASSERT_EQ(4u, shownMenu.Texts.size());
    if (CurrentUiLanguage() == UiLanguage::Japanese) {
        EXPECT_EQ(L"前のオンセットに合わせる(&P)", shownMenu.Texts[0]);
        EXPECT_EQ(L"次のオンセットに合わせる(&N)", shownMenu.Texts[1]);
        EXPECT_EQ(L"自動に戻す(&A)", shownMenu.Texts[3]);
    } else {
        EXPECT_EQ(L"Snap to &Previous Onset", shownMenu.Texts[0]);
        EXPECT_EQ(L"Snap to &Next Onset", shownMenu.Texts[1]);
        EXPECT_EQ(L"&Automatic", shownMenu.Texts[3]);
    }
    // The right click selected the beat the commands act on (the menu's
    // loop has handed the owner its notice already).
    RECT client = {};
    GetClientRect(window, &client);
    Canvas canvas(client.right, client.bottom);
    Print(canvas);
    EXPECT_EQ(SelectedBeatColour, canvas.At(spot.X - layout.MarkerRadius - 2, layout.BeatMarkerY));
    const struct {
        UINT command;
        UINT message;
        int lParam;
    } items[] = {{IDM_GRAPH_BEAT_PREVONSET, WM_GRAPHBEATRESNAP, -1},
                 {IDM_GRAPH_BEAT_NEXTONSET, WM_GRAPHBEATRESNAP, 1},
                 {IDM_GRAPH_BEAT_AUTOMATIC, WM_GRAPHBEATRESET, 0}};
    for (const auto& item : items) {
        SendMessageA(window, WM_COMMAND, item.command, 0);
        ASSERT_TRUE(Posted(item.message, msg)) << item.command;
        EXPECT_EQ(static_cast<WPARAM>(spot.Beat), msg.wParam);
        EXPECT_EQ(item.lParam, static_cast<int>(msg.lParam));
        ExpectNothingPosted();
    }

    // Away from the markers the view's menu comes up, as before.
    const int y = layout.BeatMarkerY + 4 * layout.MarkerRadius;
    POINT away = {spot.X, y};
    ClientToScreen(window, &away);
    shownMenu = ShownMenu();
    SetTimer(nullptr, 0, 100, CloseShownMenu);
    SendMessageA(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(away.x, away.y));
    ASSERT_TRUE(shownMenu.Seen);
    ASSERT_FALSE(shownMenu.Ids.empty());
    EXPECT_EQ(static_cast<UINT>(IDM_GRAPH_BEATAXIS), shownMenu.Ids.front());
    ExpectNothingPosted();
}

}  // namespace
