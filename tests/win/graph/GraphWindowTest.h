// The tempo graph window on the time axis, owned by a plain window that
// collects what the graph posts; the settings, the axis and the zoom (which
// outlive the window) left as found.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>

#include "GraphCanvas.h"
#include "SettingsWin32.h"
#include "TempoGraphWindow.h"
#include "WineTestSupport.h"
#include "resource.h"

namespace graph_test {

class GraphWindowTest : public ::testing::Test {
protected:
    // Shows `content` in a graph placed at the settings' left, top, width
    // and height (0: where the graph puts itself), on the time axis.
    void Open(const GraphContent& content, int left, int top, int width, int height)
    {
        g_hInstance = GetModuleHandleA(nullptr);
        saved = g_AppSettings;
        g_AppSettings.GraphLeft = left;
        g_AppSettings.GraphTop = top;
        g_AppSettings.GraphWidth = width;
        g_AppSettings.GraphHeight = height;
        owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 40, 30, 300, 200, nullptr, nullptr,
                                g_hInstance, nullptr);
        ASSERT_NE(nullptr, owner);
        UpdateTempoGraph(content);
        ShowTempoGraph(owner);
        window = TempoGraphWindow();
        ASSERT_NE(nullptr, window);
        SendMessageA(window, WM_COMMAND, IDM_GRAPH_TIMEAXIS, 0);
        UpdateWindow(window);
    }
    void TearDown() override
    {
        SetTempoGraphPlayingPosition(std::nan(""));
        ShowTempoGraph(owner);
        SendMessageA(TempoGraphWindow(), WM_COMMAND, IDM_GRAPH_BEATAXIS, 0);
        SendMessageA(TempoGraphWindow(), WM_KEYDOWN, VK_HOME, 0);
        CloseTempoGraph();
        DestroyWindow(owner);
        wine_test::PumpMessages();
        UpdateTempoGraph(GraphContent());
        g_AppSettings = saved;
    }

    // The window's picture as it would be painted now.
    void Print(Canvas& canvas) const
    {
        SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc), PRF_CLIENT);
    }
    bool Posted(UINT message, MSG& msg) const { return PeekMessageA(&msg, owner, message, message, PM_REMOVE) != 0; }

    AppSettings saved;
    HWND owner = nullptr;
    HWND window = nullptr;
};

}  // namespace graph_test
