// The tempo graph's rasteriser: strokes drawn into DIB sections (top-down
// and bottom-up) and through GDI into a device bitmap, read back pixel by
// pixel against a plain painter's drawing of the same strokes, layer over
// layer.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "GraphCanvas.h"
#include "StrokeLayers.h"

namespace {

using graph_test::Canvas;

constexpr COLORREF White = RGB(255, 255, 255);

void Clear(HDC dc, int width, int height)
{
    const RECT all = {0, 0, width, height};
    HBRUSH white = CreateSolidBrush(White);
    FillRect(dc, &all, white);
    DeleteObject(white);
}

struct TestStroke {
    int x, top, bottom;
};
struct TestLayer {
    COLORREF colour;
    int width;
    std::vector<TestStroke> strokes;
};

void DrawLayers(HDC dc, const GraphRect& plot, const std::vector<TestLayer>& layers)
{
    StrokeLayers strokes(plot);
    for (const TestLayer& layer : layers) {
        strokes.Begin(layer.colour, layer.width);
        for (const TestStroke& stroke : layer.strokes)
            strokes.Add(stroke.x, stroke.top, stroke.bottom);
    }
    strokes.Draw(dc);
}

// The same strokes painted one over the other from the bottom layer up,
// each widened as the rasteriser widens it and cut to the plot.
std::vector<COLORREF> Painted(int width, int height, const GraphRect& plot, const std::vector<TestLayer>& layers)
{
    std::vector<COLORREF> pixels(static_cast<size_t>(width) * height, White);
    for (const TestLayer& layer : layers) {
        const int w = std::max(layer.width, 1);
        for (const TestStroke& stroke : layer.strokes) {
            for (int x = stroke.x - (w - 1) / 2; x <= stroke.x + w / 2; ++x) {
                for (int y = stroke.top - (w - 1) / 2; y <= stroke.bottom + w / 2; ++y) {
                    if (x >= plot.left && x < plot.right && y >= plot.top && y < plot.bottom)
                        pixels[static_cast<size_t>(y) * width + x] = layer.colour;
                }
            }
        }
    }
    return pixels;
}

TEST(StrokeLayers, UpperLayersCoverLowerOnesAndStrokesStayInThePlot)
{
    Canvas canvas(120, 100);
    Clear(canvas.dc, 120, 100);
    const GraphRect plot{10, 10, 110, 90};
    const COLORREF red = RGB(200, 0, 0);
    const COLORREF blue = RGB(0, 0, 200);
    TestLayer under{red, 1, {}};
    TestLayer over{blue, 1, {}};
    for (int x = 0; x < 120; ++x) {
        under.strokes.push_back({x, 20, 70});
        if (x % 2 == 0)
            over.strokes.push_back({x, 40, 50});
    }
    under.strokes.push_back({50, -500, 500});  // far beyond the plot both ways
    DrawLayers(canvas.dc, plot, {under, over});
    for (int x = 0; x < 120; ++x) {
        SCOPED_TRACE(x);
        const bool inside = x >= plot.left && x < plot.right;
        EXPECT_EQ(inside ? (x % 2 ? red : blue) : White, canvas.At(x, 45));
        EXPECT_EQ(inside ? red : White, canvas.At(x, 20));
        EXPECT_EQ(inside ? red : White, canvas.At(x, 70));
        EXPECT_EQ(inside && x == 50 ? red : White, canvas.At(x, 19));
        EXPECT_EQ(inside && x == 50 ? red : White, canvas.At(x, 71));
    }
    EXPECT_EQ(red, canvas.At(50, plot.top));
    EXPECT_EQ(red, canvas.At(50, plot.bottom - 1));
    EXPECT_EQ(White, canvas.At(50, plot.top - 1));
    EXPECT_EQ(White, canvas.At(50, plot.bottom));
}

TEST(StrokeLayers, WideStrokesGrowAroundTheirColumnAndRows)
{
    const GraphRect plot{0, 0, 60, 60};
    for (int width = 1; width <= 4; ++width) {
        SCOPED_TRACE(width);
        Canvas canvas(60, 60);
        Clear(canvas.dc, 60, 60);
        DrawLayers(canvas.dc, plot, {TestLayer{RGB(0, 90, 0), width, {{30, 20, 25}}}});
        const int before = (width - 1) / 2;
        const int after = width / 2;
        int inked = 0;
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 60; ++x) {
                const bool in = x >= 30 - before && x <= 30 + after && y >= 20 - before && y <= 25 + after;
                EXPECT_EQ(in ? RGB(0, 90, 0) : White, canvas.At(x, y)) << x << "," << y;
                inked += in;
            }
        }
        EXPECT_EQ(width * (6 + width - 1), inked);
    }
}

// Random layers of the graph's kind (a stroke per column and layer, some of
// them wide): every way of drawing gives the painter's picture.
TEST(StrokeLayers, EveryDeviceGetsThePaintersPicture)
{
    constexpr int width = 160;
    constexpr int height = 120;
    std::mt19937 random(99);
    const auto between = [&](int lo, int hi) { return lo + static_cast<int>(random() % static_cast<unsigned>(hi - lo + 1)); };
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        const GraphRect plot{between(0, 20), between(0, 20), between(120, 160), between(90, 120)};
        std::vector<TestLayer> layers;
        for (int l = between(1, 10); l > 0; --l) {
            TestLayer layer{RGB(between(0, 250), between(0, 250), between(0, 250)), between(1, 3), {}};
            for (int x = plot.left - 3; x < plot.right + 3; ++x) {
                if (random() % 4 == 0)
                    continue;
                const int a = between(-10, height + 10);
                const int b = a + between(0, 40);
                layer.strokes.push_back({x, a, b});
            }
            layers.push_back(layer);
        }
        const std::vector<COLORREF> expected = Painted(width, height, plot, layers);

        for (bool topDown : {true, false}) {
            SCOPED_TRACE(topDown ? "top-down DIB" : "bottom-up DIB");
            Canvas canvas(width, height, topDown);
            Clear(canvas.dc, width, height);
            DrawLayers(canvas.dc, plot, layers);
            int different = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x)
                    different += canvas.At(x, y) != expected[static_cast<size_t>(y) * width + x];
            }
            EXPECT_EQ(0, different);
        }

        // A device bitmap, drawn through GDI, read back through a DIB.
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP device = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        ASSERT_NE(nullptr, device);
        const HGDIOBJ old = SelectObject(dc, device);
        Clear(dc, width, height);
        DrawLayers(dc, plot, layers);
        SelectObject(dc, old);
        BITMAPINFO info = TopDownBitmapInfo(width, height);
        std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
        ASSERT_EQ(height, GetDIBits(dc, device, 0, height, pixels.data(), &info, DIB_RGB_COLORS));
        DeleteObject(device);
        DeleteDC(dc);
        int different = 0;
        for (size_t i = 0; i < pixels.size(); ++i) {
            const COLORREF seen = RGB((pixels[i] >> 16) & 0xFF, (pixels[i] >> 8) & 0xFF, pixels[i] & 0xFF);
            different += seen != expected[i];
        }
        EXPECT_EQ(0, different) << "through GDI";
    }
}

}  // namespace
