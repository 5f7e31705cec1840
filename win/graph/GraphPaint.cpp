#include "GraphPaint.h"
#include "TakeColours.h"

#include <cstdio>

#include "Dpi.h"
#include "UiLanguage.h"
#include "Messages.h"
#include "resource.h"

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

HFONT CreateGraphFont(UINT dpi)
{
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(FontPoints, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    // "ＭＳ Ｐゴシック" for Japanese, the dialogs' shell font for English.
    const wchar_t* face = CurrentUiLanguage() == UiLanguage::Japanese ? L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF"
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

void DrawLabel(HDC dc, int x, int y, const std::string& text, UINT align)
{
    SetTextAlign(dc, align);
    TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
}

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

    PaintGrid(dc, model, layout, dpi);
    // Inside the plot: the band, the takes, the map, the markers.
    PaintLines(dc, content, layout, dpi);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, plot.left, plot.top, plot.right, plot.bottom);
    PaintStartLine(dc, content, model, layout, dpi);
    PaintMarkers(dc, model, layout, dpi);
    PaintBeatMarkers(dc, content, layout, dpi);
    PaintHoverLine(dc, view, layout);
    if (model.Empty) {
        DrawLabel(dc, (plot.left + plot.right) / 2, (plot.top + plot.bottom - layout.TextHeight) / 2,
                  LoadResString(IDS_GRAPH_NO_TAKES), TA_CENTER | TA_TOP);
    }
    // Last, over everything: the window draws it alone onto its kept
    // picture while the recording plays.
    PaintPlayingLine(dc, model, layout, view.PlayingMs, dpi);
    RestoreDC(dc, saved);
    PaintHoverText(dc, content, model, layout, view);

    SelectObject(dc, oldFont);
    DeleteObject(font);
}

void PaintTempoGraph(HDC dc, const RECT& area, const GraphContent& content, const GraphModel& model,
                     const GraphView& view)
{
    const GraphLayout layout = LayoutTempoGraph(dc, area, model, view);
    PaintTempoGraph(dc, content, model, ResolveView(model, view), layout);
}
