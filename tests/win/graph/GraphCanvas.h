// A 32-bit DIB section to draw the tempo graph into, read back pixel by
// pixel and saved as a .bmp file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "TempoGraphWindow.h"

namespace graph_test {

// A 32-bit bitmap to draw into, read back pixel by pixel.
class Canvas {
public:
    // Rows top-down as the window's bitmap, or bottom-up as most DIBs.
    Canvas(int w, int h, bool topDown = true) : width(w), height(h), bottomUp(!topDown)
    {
        BITMAPINFO info = TopDownBitmapInfo(w, h);
        if (bottomUp)
            info.bmiHeader.biHeight = h;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        old = SelectObject(dc, bitmap);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    RECT Area() const { return RECT{0, 0, width, height}; }
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        if (x < 0 || y < 0 || x >= width || y >= height)
            return CLR_INVALID;
        const size_t row = static_cast<size_t>(bottomUp ? height - 1 - y : y);
        const uint32_t p = bits[row * static_cast<size_t>(width) + static_cast<size_t>(x)];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // As a .bmp file, bottom-up as every viewer reads it.
    void Save(const std::string& path) const
    {
        GdiFlush();
        const uint32_t rowBytes = static_cast<uint32_t>(width) * 4;
        BITMAPFILEHEADER file = {};
        BITMAPINFOHEADER header = {};
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = height;
        header.biPlanes = 1;
        header.biBitCount = 32;
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof header;
        file.bfSize = file.bfOffBits + rowBytes * static_cast<uint32_t>(height);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(&file), sizeof file);
        out.write(reinterpret_cast<const char*>(&header), sizeof header);
        for (int y = height - 1; y >= 0; --y) {
            const size_t row = static_cast<size_t>(bottomUp ? height - 1 - y : y);
            out.write(reinterpret_cast<const char*>(bits + row * static_cast<size_t>(width)), rowBytes);
        }
    }

    HDC dc = nullptr;

private:
    int width;
    int height;
    bool bottomUp;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
};

}  // namespace graph_test
