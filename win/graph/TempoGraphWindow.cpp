#include "TempoGraphWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>

#include "AppGlobals.h"
#include "Dpi.h"
#include "GraphPaint.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "WindowPlacement.h"
#include "resource.h"

#ifndef WM_MOUSELEAVE
#define WM_MOUSELEAVE 0x02A3
#endif

// ---------------------------------------------------------------------------
// The window.

namespace {

// The signed point a mouse message carries (negative on a monitor left of
// or above the primary one).
POINT PointOf(LPARAM lParam)
{
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

constexpr char GraphClassName[] = "mkMetrovaGraph";
constexpr int DefaultWidth = 640;
constexpr int DefaultHeight = 400;
constexpr int MinWidth = 240;
constexpr int MinHeight = 160;
constexpr double WheelZoom = 1.25;  // per notch

struct GraphWindowState {
    HWND window = nullptr;
    HWND owner = nullptr;
    GraphContent content;
    GraphModel model;
    bool modelReady = false;
    GraphView view;
    GraphLayout layout;
    bool layoutReady = false;
    bool tracking = false;  // TrackMouseEvent asked for WM_MOUSELEAVE
    bool dragging = false;
    int dragFrom = 0;
    double dragX0 = 0.0;
    double dragX1 = 0.0;
    // A press on the waveform that has not become a drag: the recording
    // time under it, asked for when the button comes up.
    bool clicking = false;
    POINT clickFrom = {};
    int64_t clickMs = 0;
    // A press on a snapped beat's marker: the beat, where the press was and
    // the beat's time then, and whether it has moved past a click's wobble.
    bool beatDragging = false;
    bool beatMoved = false;
    int dragBeat = -1;
    POINT beatFrom = {};
    double beatFromMs = 0.0;
    // The picture as last painted, without the playing position's line,
    // which is drawn onto each copy of it: a moving position repaints only
    // its columns.
    HBITMAP picture = nullptr;
    int pictureWidth = 0;
    int pictureHeight = 0;
    bool pictureReady = false;
};
GraphWindowState graph;

const GraphModel& Model()
{
    if (!graph.modelReady) {
        graph.model = BuildGraphModel(graph.content, graph.view.Axis);
        graph.modelReady = true;
    }
    return graph.model;
}

const GraphLayout& Layout()
{
    if (!graph.layoutReady && graph.window) {
        RECT client = {};
        GetClientRect(graph.window, &client);
        HDC dc = GetDC(graph.window);
        graph.layout = LayoutTempoGraph(dc, client, Model(), graph.view);
        ReleaseDC(graph.window, dc);
        graph.layoutReady = true;
    }
    return graph.layout;
}

void Redraw(bool relayout)
{
    if (relayout)
        graph.layoutReady = false;
    graph.pictureReady = false;
    if (graph.window)
        InvalidateRect(graph.window, nullptr, FALSE);
}

void KeepPlacement(HWND window)
{
    if (IsIconic(window) || IsZoomed(window))
        return;
    RECT rect = {};
    if (!GetWindowRect(window, &rect))
        return;
    g_AppSettings.GraphLeft = rect.left;
    g_AppSettings.GraphTop = rect.top;
    g_AppSettings.GraphWidth = rect.right - rect.left;
    g_AppSettings.GraphHeight = rect.bottom - rect.top;
}

void CheckAxisItems(HWND window)
{
    HMENU menu = GetMenu(window);
    if (!menu)
        return;
    CheckMenuRadioItem(menu, IDM_GRAPH_BEATAXIS, IDM_GRAPH_TIMEAXIS,
                       graph.view.Axis == CurveAxis::Beat ? IDM_GRAPH_BEATAXIS : IDM_GRAPH_TIMEAXIS, MF_BYCOMMAND);
}

// The whole graph's x range on the current axis.
std::pair<double, double> WholeRange()
{
    GraphView whole = graph.view;
    whole.X0 = whole.X1 = 0.0;
    whole = ResolveView(Model(), whole);
    return {whole.X0, whole.X1};
}

// Sets the x range, kept inside the whole graph and no narrower than the
// axis allows; as wide as the whole graph is the whole graph.
void SetRange(double x0, double x1)
{
    const auto [w0, w1] = WholeRange();
    const double minSpan = graph.view.Axis == CurveAxis::Beat ? MinBeatSpan : MinTimeSpan;
    double span = std::max(x1 - x0, minSpan);
    if (span >= w1 - w0) {
        graph.view.X0 = graph.view.X1 = 0.0;
    } else {
        x0 = std::clamp(x0, w0, w1 - span);
        graph.view.X0 = x0;
        graph.view.X1 = x0 + span;
    }
    Redraw(true);
}

void SwitchAxis(CurveAxis axis)
{
    if (axis == graph.view.Axis)
        return;
    // The same stretch of music stays in view.
    const GraphModel& before = Model();
    const GraphView shown = ResolveView(before, graph.view);
    const bool whole = !(graph.view.X1 > graph.view.X0);
    const double beat0 = BeatAt(before.GridTime, before.Axis, shown.X0);
    const double beat1 = BeatAt(before.GridTime, before.Axis, shown.X1);
    const std::vector<double> gridTime = before.GridTime;
    graph.view.Axis = axis;
    graph.modelReady = false;
    if (whole) {
        graph.view.X0 = graph.view.X1 = 0.0;
        Redraw(true);
    } else {
        SetRange(XOfBeat(gridTime, axis, beat0), XOfBeat(gridTime, axis, beat1));
    }
    CheckAxisItems(graph.window);
}

void DropPicture()
{
    if (graph.picture)
        DeleteObject(graph.picture);
    graph.picture = nullptr;
    graph.pictureReady = false;
}

// Drawn off screen and copied onto `dc` in one go: nothing flickers. The
// picture is kept until something in it changes; `part` is what to copy.
void PaintClient(HWND window, HDC dc, const RECT& part)
{
    RECT client = {};
    GetClientRect(window, &client);
    const int width = std::max<int>(client.right, 1);
    const int height = std::max<int>(client.bottom, 1);
    HDC memory = CreateCompatibleDC(dc);
    if (!memory)
        return;
    if (graph.picture && (graph.pictureWidth != width || graph.pictureHeight != height))
        DropPicture();
    if (!graph.picture) {
        // A 32-bit DIB section: the lines are written into its pixels
        // directly.
        BITMAPINFO info = TopDownBitmapInfo(width, height);
        void* bits = nullptr;
        graph.picture = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        graph.pictureWidth = width;
        graph.pictureHeight = height;
        graph.pictureReady = false;
    }
    if (graph.picture) {
        const HGDIOBJ old = SelectObject(memory, graph.picture);
        const GraphLayout& layout = Layout();
        if (!graph.pictureReady) {
            GraphView view = ResolveView(Model(), graph.view);
            view.PlayingMs = -1.0;
            PaintTempoGraph(memory, graph.content, Model(), view, layout);
            graph.pictureReady = true;
        }
        BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory, part.left, part.top,
               SRCCOPY);
        SelectObject(memory, old);
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, part.left, part.top, part.right, part.bottom);
        PaintPlayingLine(dc, Model(), layout, graph.view.PlayingMs, graph.view.Dpi ? graph.view.Dpi : DesignDpi);
        RestoreDC(dc, saved);
    }
    DeleteDC(memory);
}

void PaintClient(HWND window, HDC dc)
{
    RECT client = {};
    GetClientRect(window, &client);
    PaintClient(window, dc, client);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintClient(window, dc, paint.rcPaint);
    EndPaint(window, &paint);
}

bool IsBeat(int beat)
{
    return beat >= 0 && static_cast<size_t>(beat) < Model().Beats.size();
}

void PostToOwner(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (graph.owner)
        PostMessageA(graph.owner, message, wParam, lParam);
}

void SelectBeat(int beat)
{
    graph.content.SelectedBeat = beat;
    PostToOwner(WM_GRAPHBEATSELECT, static_cast<WPARAM>(beat), 0);
    Redraw(false);
}

// Where a dragged beat lies with the pointer at x: its time moved by as
// much as the pointer, so that a marker taken off its middle does not jump.
double DraggedBeatMs(int x)
{
    const GraphLayout& layout = Layout();
    const double perPixel = (layout.X1 - layout.X0) / std::max<int>(layout.Plot.right - layout.Plot.left, 1);
    const double ms = graph.beatFromMs + (x - graph.beatFrom.x) * perPixel;
    return std::clamp(std::floor(ms + 0.5), 0.0, std::floor(Model().RecordingMs));
}

void DragBeat(POINT point)
{
    if (!graph.beatMoved && std::abs(point.x - graph.beatFrom.x) <= GetSystemMetrics(SM_CXDRAG))
        return;
    graph.beatMoved = true;
    graph.view.DraggedBeat = graph.dragBeat;
    graph.view.DraggedBeatMs = DraggedBeatMs(point.x);
    // Only the marker moves: the kept layout's spot is moved with it rather
    // than every line laid out again.
    if (graph.layoutReady) {
        for (BeatMarkerSpot& spot : graph.layout.BeatMarkers) {
            if (spot.Beat == graph.dragBeat)
                spot.X = graph.layout.XOf(graph.view.DraggedBeatMs);
        }
    }
    Redraw(false);
}

void EndBeatDrag()
{
    graph.beatDragging = false;
    graph.beatMoved = false;
    if (graph.view.DraggedBeat >= 0) {
        graph.view.DraggedBeat = -1;
        Redraw(true);
    }
}

void OnMouseMove(HWND window, POINT point)
{
    if (graph.beatDragging) {
        DragBeat(point);
        return;
    }
    if (graph.dragging) {
        const GraphLayout& layout = Layout();
        const int width = std::max<int>(layout.Plot.right - layout.Plot.left, 1);
        const double shift = (point.x - graph.dragFrom) * (graph.dragX1 - graph.dragX0) / width;
        if (std::abs(point.x - graph.clickFrom.x) > GetSystemMetrics(SM_CXDRAG) ||
            std::abs(point.y - graph.clickFrom.y) > GetSystemMetrics(SM_CYDRAG))
            graph.clicking = false;
        SetRange(graph.dragX0 - shift, graph.dragX1 - shift);
        return;
    }
    if (!graph.tracking) {
        TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, window, 0};
        graph.tracking = TrackMouseEvent(&track) != FALSE;
    }
    graph.view.Hovering = true;
    graph.view.Pointer = ToGraphPoint(point);
    Redraw(false);
}

void OnButtonDown(HWND window, POINT point)
{
    const GraphLayout& layout = Layout();
    const int beat = BeatMarkerAt(Model(), layout, ToGraphPoint(point));
    if (beat >= 0) {
        SelectBeat(beat);
        graph.beatDragging = true;
        graph.beatMoved = false;
        graph.dragBeat = beat;
        graph.beatFrom = point;
        graph.beatFromMs = Model().Beats[static_cast<size_t>(beat)].SnappedMs;
        SetCapture(window);
        return;
    }
    const int marker = MarkerAt(Model(), layout, ToGraphPoint(point));
    if (marker >= 0) {
        const GraphMarker& m = Model().Markers[static_cast<size_t>(marker)];
        if (graph.owner)
            PostMessageA(graph.owner, WM_GRAPHFINDING, static_cast<WPARAM>(m.Take), static_cast<LPARAM>(m.Finding));
        return;
    }
    if (!Contains(layout.Plot, ToGraphPoint(point)))
        return;
    const GraphView shown = ResolveView(Model(), graph.view);
    // On the waveform a click (a press that does not drag) asks to start
    // there; it is taken when the button comes up, the drag ruled out.
    graph.clickMs = RecordingTimeAt(Model(), layout, ToGraphPoint(point));
    graph.clicking = graph.clickMs >= 0;
    graph.clickFrom = point;
    graph.dragging = true;
    graph.dragFrom = point.x;
    graph.dragX0 = shown.X0;
    graph.dragX1 = shown.X1;
    SetCapture(window);
}

void OnWheel(HWND window, int delta, POINT screen)
{
    POINT point = screen;
    ScreenToClient(window, &point);
    const GraphLayout& layout = Layout();
    const GraphView shown = ResolveView(Model(), graph.view);
    // The x under the pointer stays under it.
    const int px = std::clamp<int>(point.x, layout.Plot.left, layout.Plot.right);
    const double share = static_cast<double>(px - layout.Plot.left) / std::max<int>(layout.Plot.right - layout.Plot.left, 1);
    const double anchor = shown.X0 + share * (shown.X1 - shown.X0);
    const double span = (shown.X1 - shown.X0) / std::pow(WheelZoom, delta / static_cast<double>(WHEEL_DELTA));
    SetRange(anchor - share * span, anchor - share * span + span);
}

// The spot of the selected beat's marker, or null when it has none in view.
const BeatMarkerSpot* SelectedSpot()
{
    for (const BeatMarkerSpot& spot : Layout().BeatMarkers) {
        if (spot.Beat == graph.content.SelectedBeat)
            return &spot;
    }
    return nullptr;
}

// A beat's own menu; its commands act on the selected beat, which the
// right click selected.
void ShowBeatMenu(HWND window, POINT screen)
{
    HMENU menu = LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_GRAPHBEATMENU));
    if (!menu)
        return;
    if (HMENU popup = GetSubMenu(menu, 0))
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, screen.x, screen.y, 0, window, nullptr);
    DestroyMenu(menu);
}

// Over a beat's marker (or from the keyboard with a beat selected in view)
// the beat's menu, elsewhere the view's.
bool OnBeatContextMenu(HWND window, LPARAM lParam)
{
    POINT at = PointOf(lParam);
    if (lParam == -1) {
        const BeatMarkerSpot* spot = SelectedSpot();
        if (!spot || !IsBeat(spot->Beat))
            return false;
        at = {spot->X, Layout().BeatMarkerY};
        ClientToScreen(window, &at);
        ShowBeatMenu(window, at);
        return true;
    }
    POINT client = at;
    ScreenToClient(window, &client);
    const int beat = BeatMarkerAt(Model(), Layout(), ToGraphPoint(client));
    if (beat < 0)
        return false;
    SelectBeat(beat);
    ShowBeatMenu(window, at);
    return true;
}

// The arrow keys move the selected beat to the onset beside it.
void OnArrow(int direction)
{
    if (IsBeat(graph.content.SelectedBeat))
        PostToOwner(WM_GRAPHBEATRESNAP, static_cast<WPARAM>(graph.content.SelectedBeat), direction);
}

void OnBeatCommand(UINT message, LPARAM lParam)
{
    if (IsBeat(graph.content.SelectedBeat))
        PostToOwner(message, static_cast<WPARAM>(graph.content.SelectedBeat), lParam);
}

void OnContextMenu(HWND window, LPARAM lParam)
{
    if (OnBeatContextMenu(window, lParam))
        return;
    HMENU menu = GetMenu(window);
    HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
    if (!popup)
        return;
    POINT at = PointOf(lParam);
    if (lParam == -1) {  // from the keyboard: the plot's corner
        at = {Layout().Plot.left, Layout().Plot.top};
        ClientToScreen(window, &at);
    }
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
}

void EndWindow()
{
    // The curves go with the window; the content stays for the next one.
    graph.model = GraphModel();
    graph.modelReady = false;
    graph.layout = GraphLayout();
    graph.window = nullptr;
    graph.owner = nullptr;
    graph.layoutReady = false;
    graph.dragging = false;
    graph.clicking = false;
    graph.beatDragging = false;
    graph.beatMoved = false;
    graph.view.DraggedBeat = -1;
    graph.tracking = false;
    graph.view.Hovering = false;
    DropPicture();
}

void OnButtonUp(POINT point)
{
    if (graph.beatDragging) {
        // Taken before the capture goes, which ends the drag.
        if (graph.beatMoved)
            PostToOwner(WM_GRAPHBEATMOVE, static_cast<WPARAM>(graph.dragBeat),
                        static_cast<LPARAM>(DraggedBeatMs(point.x)));
        EndBeatDrag();
        ReleaseCapture();
        return;
    }
    if (graph.clicking && graph.owner)
        PostMessageA(graph.owner, WM_GRAPHSTARTAT, 0, static_cast<LPARAM>(graph.clickMs));
    graph.clicking = false;
    if (graph.dragging)
        ReleaseCapture();
}

// Escape stops listening first; with nothing playing it closes the graph,
// as it always has.
void OnEscape(HWND window)
{
    if (graph.owner)
        PostMessageA(graph.owner, WM_GRAPHSTOPLISTEN, 0, 0);
    if (!(graph.view.PlayingMs >= 0.0))
        SendMessageA(window, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK GraphWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        graph.window = window;
        graph.view.Dpi = DpiOfWindow(window);
        CheckAxisItems(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_PRINTCLIENT:
        PaintClient(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_SIZE:
        Redraw(true);
        return 0;
    case WM_WINDOWPOSCHANGED:
        KeepPlacement(window);
        break;  // on to DefWindowProc, which sends WM_SIZE
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        const UINT dpi = graph.window ? graph.view.Dpi : DpiOfWindow(window);
        info->ptMinTrackSize = {ScaleToDpi(MinWidth, dpi), ScaleToDpi(MinHeight, dpi)};
        return 0;
    }
    case WM_DPICHANGED:
        graph.view.Dpi = DpiFromMessage(wParam);
        MoveToSuggestedRect(window, lParam);
        Redraw(true);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(window, PointOf(lParam));
        return 0;
    case WM_MOUSELEAVE:
        graph.tracking = false;
        graph.view.Hovering = false;
        Redraw(false);
        return 0;
    case WM_LBUTTONDOWN:
        OnButtonDown(window, PointOf(lParam));
        return 0;
    case WM_LBUTTONUP:
        OnButtonUp(PointOf(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        EndBeatDrag();
        graph.dragging = false;
        graph.clicking = false;
        return 0;
    case WM_MOUSEWHEEL:
        OnWheel(window, static_cast<short>(HIWORD(wParam)),
                PointOf(lParam));
        return 0;
    case WM_CONTEXTMENU:
        OnContextMenu(window, lParam);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            OnEscape(window);
        else if (wParam == VK_HOME)
            SendMessageA(window, WM_COMMAND, IDM_GRAPH_SHOWALL, 0);
        else if (wParam == VK_LEFT || wParam == VK_RIGHT)
            OnArrow(wParam == VK_LEFT ? -1 : 1);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_GRAPH_BEATAXIS:
            SwitchAxis(CurveAxis::Beat);
            break;
        case IDM_GRAPH_TIMEAXIS:
            SwitchAxis(CurveAxis::Time);
            break;
        case IDM_GRAPH_SHOWALL:
            graph.view.X0 = graph.view.X1 = 0.0;
            Redraw(true);
            break;
        case IDM_GRAPH_BEAT_PREVONSET:
            OnBeatCommand(WM_GRAPHBEATRESNAP, -1);
            break;
        case IDM_GRAPH_BEAT_NEXTONSET:
            OnBeatCommand(WM_GRAPHBEATRESNAP, 1);
            break;
        case IDM_GRAPH_BEAT_AUTOMATIC:
            OnBeatCommand(WM_GRAPHBEATRESET, 0);
            break;
        default:
            break;
        }
        return 0;
    case WM_DESTROY:
        KeepPlacement(window);
        EndWindow();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterGraphClass()
{
    WNDCLASSA existing;
    if (GetClassInfoA(g_hInstance, GraphClassName, &existing))
        return true;
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = GraphWindowProc;
    wc.hInstance = g_hInstance;
    wc.hIcon = LoadIconA(g_hInstance, MAKEINTRESOURCEA(IDI_METROVA));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = GraphClassName;
    return RegisterClassA(&wc) != 0;
}

}  // namespace

void ShowTempoGraph(HWND owner)
{
    if (graph.window) {
        if (IsIconic(graph.window))
            ShowWindow(graph.window, SW_RESTORE);
        SetForegroundWindow(graph.window);
        return;
    }
    if (!RegisterGraphClass())
        return;

    // The stored place as the window was left, or beside the owner at the
    // owner's DPI.
    const UINT dpi = DpiOfWindow(owner);
    int left = g_AppSettings.GraphLeft;
    int top = g_AppSettings.GraphTop;
    int width = g_AppSettings.GraphWidth;
    int height = g_AppSettings.GraphHeight;
    // A place kept on a monitor that is no longer there would open the
    // window where nobody can see it: then it opens beside the owner.
    bool placed = g_AppSettings.HasGraphPlacement();
    if (placed) {
        const RECT stored = {left, top, left + width, top + height};
        placed = MonitorFromRect(&stored, MONITOR_DEFAULTTONULL) != nullptr;
    }
    if (!placed) {
        width = ScaleToDpi(DefaultWidth, dpi);
        height = ScaleToDpi(DefaultHeight, dpi);
        RECT ownerRect = {};
        if (owner && GetWindowRect(owner, &ownerRect)) {
            // Wholly inside the work area of the owner's monitor: beside a
            // main window in the middle of a small screen the graph would
            // reach past its edge.
            MONITORINFO monitor = {};
            monitor.cbSize = sizeof monitor;
            GraphRect work;  // none known: beside the owner as asked
            if (GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor))
                work = ToGraphRect(monitor.rcWork);
            const GraphRect place =
                PlaceBesideOwner(ToGraphRect(ownerRect), width, height, ScaleToDpi(PadPixels, dpi), work);
            left = place.left;
            top = place.top;
            width = place.right - place.left;
            height = place.bottom - place.top;
        } else {
            left = top = CW_USEDEFAULT;
        }
    }

    graph.owner = owner;
    graph.layoutReady = false;
    HMENU menu = LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_GRAPHMENU));
    HWND window = CreateWindowExA(0, GraphClassName, LoadResString(IDS_GRAPH_TITLE).c_str(), WS_OVERLAPPEDWINDOW,
                                  left, top, width, height, owner, menu, g_hInstance, nullptr);
    if (!window) {
        if (menu)
            DestroyMenu(menu);
        graph.owner = nullptr;
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
}

namespace {

bool SameFindings(const Analysis& a, const Analysis& b)
{
    if (a.Takes.size() != b.Takes.size() || a.BeatIntervals != b.BeatIntervals)
        return false;
    for (size_t m = 0; m < a.Takes.size(); ++m) {
        const TakeAnalysis& x = a.Takes[m];
        const TakeAnalysis& y = b.Takes[m];
        if (x.BeatOfTap != y.BeatOfTap || x.StartBeat != y.StartBeat || x.Findings.size() != y.Findings.size())
            return false;
        for (size_t f = 0; f < x.Findings.size(); ++f) {
            if (x.Findings[f].Kind != y.Findings[f].Kind || x.Findings[f].Tap != y.Findings[f].Tap ||
                x.Findings[f].Beats != y.Findings[f].Beats)
                return false;
        }
    }
    return true;
}

// Whether two contents give the same curves and markers: they differ at
// most in the check marks and the selection, which only the drawing reads.
// Comparing costs a pass over the taps; making the curves anew, a sort of
// them.
bool SameCurves(const GraphContent& a, const GraphContent& b)
{
    return a.Takes == b.Takes && a.Accepted == b.Accepted && a.ExportBeatTimes == b.ExportBeatTimes &&
           a.InterpCount == b.InterpCount && a.TimeSigBase == b.TimeSigBase && a.Waveform == b.Waveform &&
           a.WaveformRate == b.WaveformRate && a.Anchors == b.Anchors && a.ExportOnRecording == b.ExportOnRecording &&
           a.TappedBeatMs == b.TappedBeatMs && a.SnappedBeatMs == b.SnappedBeatMs && a.BeatMarks == b.BeatMarks &&
           a.OnsetValues == b.OnsetValues && a.OnsetHopMs == b.OnsetHopMs && SameFindings(a.Findings, b.Findings);
}

}  // namespace

void UpdateTempoGraph(GraphContent content)
{
    // A new selection or check mark keeps the curves (only while they are
    // made: a closed window makes none).
    if (!graph.modelReady || !SameCurves(graph.content, content)) {
        graph.modelReady = false;
        graph.layoutReady = false;
    }
    graph.content = std::move(content);
    Redraw(false);
}

void SetTempoGraphPlayingPosition(double ms)
{
    if (!(ms >= 0.0))
        ms = -1.0;
    const double before = graph.view.PlayingMs;
    if (ms == before)
        return;
    graph.view.PlayingMs = ms;
    if (!graph.window)
        return;
    // The kept picture stays: only the old line's and the new one's columns
    // are drawn again.
    const UINT dpi = graph.view.Dpi ? graph.view.Dpi : DesignDpi;
    for (double at : {before, ms}) {
        RECT rect;
        if (PositionLineRect(Model(), Layout(), at, dpi, rect))
            InvalidateRect(graph.window, &rect, FALSE);
    }
}

HWND TempoGraphWindow()
{
    return graph.window;
}

void CloseTempoGraph()
{
    if (graph.window)
        DestroyWindow(graph.window);
}

GraphView TempoGraphView()
{
    return ResolveView(Model(), graph.view);
}

GraphLayout TempoGraphLayout()
{
    return Layout();
}

const GraphContent& TempoGraphContent()
{
    return graph.content;
}
