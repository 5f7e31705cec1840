#include "TempoGraphWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "AppGlobals.h"
#include "Dpi.h"
#include "Face.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "StrokeLayers.h"
#include "TempoMap.h"
#include "resource.h"

#ifndef WM_MOUSELEAVE
#define WM_MOUSELEAVE 0x02A3
#endif

namespace {

// ---------------------------------------------------------------------------
// Colours and sizes (sizes in pixels at 96 DPI).

constexpr COLORREF Background = RGB(255, 255, 255);
constexpr COLORREF GridColour = RGB(232, 232, 232);
constexpr COLORREF AxisColour = RGB(64, 64, 64);
constexpr COLORREF TextColour = RGB(0, 0, 0);
constexpr COLORREF SpreadColour = RGB(214, 226, 240);
constexpr COLORREF ExportColour = RGB(0, 0, 0);
constexpr COLORREF HoverColour = RGB(128, 128, 128);
constexpr COLORREF RejectedColour = RGB(150, 150, 150);

// Takes in turn get these colours, chosen to stay apart from each other,
// from the band and from the exported map's black.
constexpr COLORREF TakeColours[] = {
    RGB(31, 119, 180), RGB(44, 160, 44),  RGB(214, 39, 40),  RGB(148, 103, 189), RGB(140, 86, 75),
    RGB(227, 119, 194), RGB(255, 127, 14), RGB(23, 190, 207), RGB(188, 189, 34), RGB(127, 127, 127),
};

constexpr int FontPoints = 9;
constexpr int PadPixels = 6;
constexpr int TickPixels = 4;
constexpr int TakeLinePixels = 1;
constexpr int SelectedLinePixels = 2;
constexpr int ExportLinePixels = 3;
constexpr int DashPixels = 4;  // an unchecked take's dashes and gaps

COLORREF Faint(COLORREF colour)
{
    // Two thirds of the way to white.
    const auto toWhite = [](int c) { return static_cast<BYTE>(c + (255 - c) * 2 / 3); };
    return RGB(toWhite(GetRValue(colour)), toWhite(GetGValue(colour)), toWhite(GetBValue(colour)));
}

COLORREF Darker(COLORREF colour)
{
    return RGB(GetRValue(colour) / 2, GetGValue(colour) / 2, GetBValue(colour) / 2);
}

// The font the graph writes in, at `dpi`: the dialogs' face.
HFONT CreateGraphFont(UINT dpi)
{
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(FontPoints, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    // "ＭＳ Ｐゴシック" for Japanese, the dialogs' shell font for English.
    const wchar_t* face = CurrentFace() == Face::Japanese ? L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"
                                                          : L"MS Shell Dlg";
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

SIZE TextSize(HDC dc, const std::string& text)
{
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size);
    return size;
}

std::string Number(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

BITMAPINFO TopDownBitmapInfo(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

COLORREF GraphTakeColour(int index)
{
    constexpr int count = static_cast<int>(sizeof TakeColours / sizeof TakeColours[0]);
    return TakeColours[((index % count) + count) % count];
}

COLORREF GraphMarkerColour(FindingKind kind)
{
    switch (kind) {
    case FindingKind::Missed:
        return RGB(220, 30, 30);
    case FindingKind::Extra:
        return RGB(245, 150, 0);
    case FindingKind::Start:
        return RGB(20, 90, 230);
    case FindingKind::Outlier:
        return RGB(160, 40, 190);
    }
    return RGB(0, 0, 0);
}

// ---------------------------------------------------------------------------
// The view and the layout.

GraphLayout LayoutTempoGraph(HDC dc, const RECT& area, const GraphModel& model, const GraphView& view)
{
    const UINT dpi = view.Dpi ? view.Dpi : DesignDpi;
    GraphMetrics metrics;
    HFONT font = CreateGraphFont(dpi);
    const HGDIOBJ oldFont = SelectObject(dc, font);
    TEXTMETRICA text = {};
    GetTextMetricsA(dc, &text);
    metrics.TextHeight = text.tmHeight;
    metrics.NumberWidth = TextSize(dc, "8888").cx;
    SelectObject(dc, oldFont);
    DeleteObject(font);
    metrics.Pad = ScaleToDpi(PadPixels, dpi);
    metrics.Tick = ScaleToDpi(TickPixels, dpi);
    metrics.MarkerRadius = ScaleToDpi(MarkerRadiusPixels, dpi);
    return LayOutGraph(ToGraphRect(area), metrics, model, view);
}

// ---------------------------------------------------------------------------
// Painting.

namespace {

void AddColumns(StrokeLayers& strokes, const GraphLayout& layout, const std::vector<Column>& columns, int dash)
{
    for (size_t c = 0; c < columns.size(); ++c) {
        const Column& column = columns[c];
        if (column.Empty || (dash > 0 && (c / static_cast<size_t>(dash)) % 2 == 1))
            continue;
        strokes.Add(layout.Plot.left + static_cast<int>(c), layout.YOf(column.High), layout.YOf(column.Low));
    }
}

void DrawText(HDC dc, int x, int y, const std::string& text, UINT align)
{
    SetTextAlign(dc, align);
    TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
}

// The pens and brushes of the markers, made once per painting: a take set
// of 100,000 taps may have thousands of findings.
class MarkerPainter {
public:
    MarkerPainter(HDC target, int radius, int penWidth) : dc(target), r(radius)
    {
        for (int kind = 0; kind < KindCount; ++kind) {
            const COLORREF colour = GraphMarkerColour(static_cast<FindingKind>(kind));
            pens[kind][1] = CreatePen(PS_SOLID, penWidth, Darker(colour));
            brushes[kind][1] = CreateSolidBrush(colour);
            pens[kind][0] = CreatePen(PS_SOLID, penWidth, RejectedColour);
            brushes[kind][0] = CreateSolidBrush(Background);
        }
        oldPen = SelectObject(dc, pens[0][1]);
        oldBrush = SelectObject(dc, brushes[0][1]);
    }
    ~MarkerPainter()
    {
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        for (int kind = 0; kind < KindCount; ++kind) {
            for (int accepted = 0; accepted < 2; ++accepted) {
                DeleteObject(pens[kind][accepted]);
                DeleteObject(brushes[kind][accepted]);
            }
        }
    }
    MarkerPainter(const MarkerPainter&) = delete;
    MarkerPainter& operator=(const MarkerPainter&) = delete;

    void Draw(const GraphMarker& marker, int x, int y)
    {
        const int kind = static_cast<int>(marker.Kind);
        const int accepted = marker.Accepted ? 1 : 0;
        SelectObject(dc, pens[kind][accepted]);
        SelectObject(dc, brushes[kind][accepted]);
        switch (marker.Kind) {
        case FindingKind::Missed: {  // a triangle pointing down: a beat fell out
            const POINT shape[] = {{x - r, y - r}, {x + r, y - r}, {x, y + r}};
            Polygon(dc, shape, 3);
            break;
        }
        case FindingKind::Extra: {  // pointing up: a tap too many
            const POINT shape[] = {{x - r, y + r}, {x + r, y + r}, {x, y - r}};
            Polygon(dc, shape, 3);
            break;
        }
        case FindingKind::Start: {  // a diamond
            const POINT shape[] = {{x, y - r}, {x + r, y}, {x, y + r}, {x - r, y}};
            Polygon(dc, shape, 4);
            break;
        }
        case FindingKind::Outlier:  // a square
            Rectangle(dc, x - r, y - r, x + r + 1, y + r + 1);
            break;
        }
    }

private:
    static constexpr int KindCount = 4;
    HDC dc;
    int r;
    HPEN pens[KindCount][2] = {};
    HBRUSH brushes[KindCount][2] = {};
    HGDIOBJ oldPen = nullptr;
    HGDIOBJ oldBrush = nullptr;
};

UINT KindText(FindingKind kind)
{
    switch (kind) {
    case FindingKind::Missed:
        return IDS_GRAPH_MISSED;
    case FindingKind::Extra:
        return IDS_GRAPH_EXTRA;
    case FindingKind::Start:
        return IDS_GRAPH_START;
    case FindingKind::Outlier:
        return IDS_GRAPH_OUTLIER;
    }
    return IDS_GRAPH_MISSED;
}

// The hover line: the marker under the pointer, or the beat, the time and
// every take's tempo there; each take's part in its line's colour.
struct TextPiece {
    std::string Text;
    COLORREF Colour;
};

std::vector<TextPiece> HoverText(const GraphContent& content, const GraphModel& model, const GraphLayout& layout,
                                 GraphPoint pointer)
{
    std::vector<TextPiece> pieces;
    const std::string takeText = LoadResString(IDS_GRAPH_HOVER_TAKE);
    const int marker = MarkerAt(model, layout, pointer);
    if (marker >= 0) {
        const GraphMarker& m = model.Markers[static_cast<size_t>(marker)];
        pieces.push_back({LoadResString(KindText(m.Kind)) + "  ", TextColour});
        pieces.push_back({FillPlaceholders(takeText, std::to_string(m.Take + 1), Number(m.Bpm, 1)), GraphTakeColour(m.Take)});
        if (!m.Accepted)
            pieces.push_back({"  " + LoadResString(IDS_GRAPH_REJECTED), TextColour});
        return pieces;
    }
    const GraphHover hover = HoverTempoGraph(model, layout, pointer);
    if (!hover.Inside)
        return pieces;
    pieces.push_back({LoadResString(IDS_GRAPH_HOVER, std::to_string(hover.Beat + 1), Number(hover.TimeMs / 1000.0, 2)),
                      TextColour});
    for (size_t m = 0; m < hover.TakeBpm.size() && m < content.Takes.size(); ++m) {
        if (hover.TakeBpm[m] > 0.0)
            pieces.push_back({"   " + FillPlaceholders(takeText, std::to_string(m + 1), Number(hover.TakeBpm[m], 1)),
                              GraphTakeColour(static_cast<int>(m))});
    }
    return pieces;
}

}  // namespace

void PaintTempoGraph(HDC dc, const GraphContent& content, const GraphModel& model, const GraphView& view,
                     const GraphLayout& layout)
{
    const UINT dpi = view.Dpi ? view.Dpi : DesignDpi;
    const GraphRect& plot = layout.Plot;
    HBRUSH background = CreateSolidBrush(Background);
    const RECT area = ToRect(layout.Area);
    FillRect(dc, &area, background);
    DeleteObject(background);

    HFONT font = CreateGraphFont(dpi);
    const HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextColour);
    const int tick = ScaleToDpi(TickPixels, dpi);
    const int thin = ScaleToDpi(1, dpi);

    // Grid lines and the axes' numbers.
    HPEN gridPen = CreatePen(PS_SOLID, thin, GridColour);
    HPEN axisPen = CreatePen(PS_SOLID, thin, AxisColour);
    HGDIOBJ oldPen = SelectObject(dc, gridPen);
    for (double v : layout.YTicks) {
        const int y = layout.YOf(v);
        MoveToEx(dc, plot.left, y, nullptr);
        LineTo(dc, plot.right, y);
    }
    for (double x : layout.XTicks) {
        const int px = layout.XOf(x);
        if (px < plot.left || px >= plot.right)
            continue;
        MoveToEx(dc, px, plot.top, nullptr);
        LineTo(dc, px, plot.bottom);
    }
    SelectObject(dc, axisPen);
    for (double v : layout.YTicks) {
        const int y = layout.YOf(v);
        MoveToEx(dc, plot.left - tick, y, nullptr);
        LineTo(dc, plot.left, y);
        DrawText(dc, plot.left - tick - thin * 2, y - layout.TextHeight / 2, Number(v, 0), TA_RIGHT | TA_TOP);
    }
    const bool beats = model.Axis == CurveAxis::Beat;
    const double xStep = layout.XTicks.size() >= 2 ? layout.XTicks[1] - layout.XTicks[0] : 1000.0;
    const int timeDecimals = xStep >= 1000.0 ? 0 : xStep >= 100.0 ? 1 : 2;
    for (double x : layout.XTicks) {
        const int px = layout.XOf(x);
        if (px < plot.left || px >= plot.right)
            continue;
        MoveToEx(dc, px, plot.bottom, nullptr);
        LineTo(dc, px, plot.bottom + tick);
        // (+ 0.0 turns a tick at -0 into 0.)
        const std::string label = beats ? Number(x + 1.0, 0) : Number(x / 1000.0 + 0.0, timeDecimals);
        DrawText(dc, px, plot.bottom + tick, label, TA_CENTER | TA_TOP);
    }
    // The frame.
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, plot.left - thin, plot.top - thin, plot.right + thin, plot.bottom + thin);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(axisPen);

    // The axes' names.
    DrawText(dc, layout.Area.left + ScaleToDpi(PadPixels, dpi), plot.top - layout.TextHeight - ScaleToDpi(PadPixels, dpi) / 2,
             LoadResString(IDS_GRAPH_AXIS_BPM), TA_LEFT | TA_TOP);
    DrawText(dc, (plot.left + plot.right) / 2, plot.bottom + tick + layout.TextHeight,
             LoadResString(beats ? IDS_GRAPH_AXIS_BEAT : IDS_GRAPH_AXIS_TIME), TA_CENTER | TA_TOP);

    // Inside the plot: the band, the takes, the map, the markers.
    StrokeLayers strokes(plot);
    strokes.Begin(SpreadColour, 1);
    const size_t columns = layout.SpreadLowColumns.size();
    for (size_t c = 0; c < columns && c < layout.SpreadHighColumns.size(); ++c) {
        const Column& lowest = layout.SpreadLowColumns[c];
        const Column& highest = layout.SpreadHighColumns[c];
        if (lowest.Empty || highest.Empty)
            continue;
        strokes.Add(plot.left + static_cast<int>(c), layout.YOf(highest.High), layout.YOf(lowest.Low));
    }

    const int dash = ScaleToDpi(DashPixels, dpi);
    const int selected = content.Selected;
    const auto addTake = [&](size_t m, int width) {
        const bool checked = m >= content.Checked.size() || content.Checked[m];
        const COLORREF colour = GraphTakeColour(static_cast<int>(m));
        strokes.Begin(checked ? colour : Faint(colour), ScaleToDpi(width, dpi));
        AddColumns(strokes, layout, layout.TakeColumns[m], checked ? 0 : dash);
    };
    for (size_t m = 0; m < layout.TakeColumns.size(); ++m) {
        if (static_cast<int>(m) != selected)
            addTake(m, TakeLinePixels);
    }
    strokes.Begin(ExportColour, ScaleToDpi(ExportLinePixels, dpi));
    AddColumns(strokes, layout, layout.ExportColumns, 0);
    // The selected take above the map, so that it can be followed through it.
    if (selected >= 0 && static_cast<size_t>(selected) < layout.TakeColumns.size())
        addTake(static_cast<size_t>(selected), SelectedLinePixels);
    // The strokes are cut to the plot already; a clipping region would only
    // slow each of them down.
    strokes.Draw(dc);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, plot.left, plot.top, plot.right, plot.bottom);

    {
        // Zoomed out, markers pile up: one that would be drawn exactly over
        // an earlier one of the same look is left out.
        MarkerPainter painter(dc, layout.MarkerRadius, thin);
        std::vector<uint64_t> drawn;
        for (const GraphMarker& marker : model.Markers) {
            const int x = layout.XOf(marker.X);
            if (x < plot.left - layout.MarkerRadius || x >= plot.right + layout.MarkerRadius)
                continue;
            const int y = std::clamp<int>(layout.YOf(marker.Bpm), plot.top - 2 * layout.MarkerRadius,
                                          plot.bottom + 2 * layout.MarkerRadius);
            const uint64_t look = (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) |
                                  (static_cast<uint64_t>(static_cast<uint16_t>(y)) << 16) |
                                  (static_cast<uint64_t>(marker.Kind) << 1) | (marker.Accepted ? 1u : 0u);
            const auto at = std::lower_bound(drawn.begin(), drawn.end(), look);
            if (at != drawn.end() && *at == look)
                continue;
            drawn.insert(at, look);
            painter.Draw(marker, x, y);
        }
    }

    if (view.Hovering && Contains(plot, view.Pointer)) {
        HPEN hoverPen = CreatePen(PS_DOT, 1, HoverColour);
        oldPen = SelectObject(dc, hoverPen);
        MoveToEx(dc, view.Pointer.x, plot.top, nullptr);
        LineTo(dc, view.Pointer.x, plot.bottom);
        SelectObject(dc, oldPen);
        DeleteObject(hoverPen);
    }
    if (model.Empty) {
        DrawText(dc, (plot.left + plot.right) / 2, (plot.top + plot.bottom - layout.TextHeight) / 2,
                 LoadResString(IDS_GRAPH_NO_TAKES), TA_CENTER | TA_TOP);
    }
    RestoreDC(dc, saved);

    if (view.Hovering) {
        RECT status = ToRect(layout.Status);
        SetTextAlign(dc, TA_LEFT | TA_TOP);
        for (const TextPiece& piece : HoverText(content, model, layout, view.Pointer)) {
            SetTextColor(dc, piece.Colour);
            ExtTextOutA(dc, status.left, status.top, ETO_CLIPPED, &status, piece.Text.data(),
                        static_cast<UINT>(piece.Text.size()), nullptr);
            status.left += TextSize(dc, piece.Text).cx;
            if (status.left >= status.right)
                break;
        }
        SetTextColor(dc, TextColour);
    }
    SelectObject(dc, oldFont);
    DeleteObject(font);
}

void PaintTempoGraph(HDC dc, const RECT& area, const GraphContent& content, const GraphModel& model,
                     const GraphView& view)
{
    const GraphLayout layout = LayoutTempoGraph(dc, area, model, view);
    PaintTempoGraph(dc, content, model, ResolveView(model, view), layout);
}

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

// Drawn off screen and copied onto `dc` in one go: nothing flickers.
void PaintClient(HWND window, HDC dc)
{
    RECT client = {};
    GetClientRect(window, &client);
    const int width = std::max<int>(client.right, 1);
    const int height = std::max<int>(client.bottom, 1);
    HDC memory = CreateCompatibleDC(dc);
    // A 32-bit DIB section: the lines are written into its pixels directly.
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (memory && bitmap) {
        const HGDIOBJ old = SelectObject(memory, bitmap);
        const GraphLayout& layout = Layout();
        PaintTempoGraph(memory, graph.content, Model(), ResolveView(Model(), graph.view), layout);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintClient(window, dc);
    EndPaint(window, &paint);
}

void OnMouseMove(HWND window, POINT point)
{
    if (graph.dragging) {
        const GraphLayout& layout = Layout();
        const int width = std::max<int>(layout.Plot.right - layout.Plot.left, 1);
        const double shift = (point.x - graph.dragFrom) * (graph.dragX1 - graph.dragX0) / width;
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

void OnContextMenu(HWND window, LPARAM lParam)
{
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
    graph.tracking = false;
    graph.view.Hovering = false;
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
        if (graph.dragging)
            ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        graph.dragging = false;
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
            SendMessageA(window, WM_CLOSE, 0, 0);
        else if (wParam == VK_HOME)
            SendMessageA(window, WM_COMMAND, IDM_GRAPH_SHOWALL, 0);
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

    // The stored place, or beside the owner at the owner's DPI.
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
            left = ownerRect.right + ScaleToDpi(PadPixels, dpi);
            top = ownerRect.top;
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
           a.InterpCount == b.InterpCount && a.TimeSigBase == b.TimeSigBase && SameFindings(a.Findings, b.Findings);
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
