// Following the DPI of the monitor a window is on.
//
// The manifest declares per-monitor awareness, so the system no longer
// stretches the program's bitmap: whatever Metrova measures or paints in
// pixels itself (the list's column widths, the tap dialog's texts, the about
// dialog's title font, the icons) has to be scaled here, at creation and
// again on every WM_DPICHANGED. Template dialogs scale with their font.
//
// The functions of the per-monitor interface exist from Windows 10 on; they
// are looked up at run time, and older systems get the session's DPI.
#pragma once

#include <windows.h>

// Declared by the SDK only for Windows 7 and later targets.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The DPI at which the design's pixel sizes are meant.
inline constexpr UINT DesignDpi = 96;

// The DPI `window` is shown at: GetDpiForWindow where the system has it,
// else the screen's logical DPI.
UINT DpiOfWindow(HWND window);

// `pixels` at DesignDpi, scaled to `dpi` (rounded to the nearest pixel).
int ScaleToDpi(int pixels, UINT dpi);

// GetSystemMetrics for the given DPI: GetSystemMetricsForDpi where the
// system has it, else the session's metric scaled from the session's DPI.
int SystemMetricForDpi(int index, UINT dpi);

// The program icon at `size` pixels square, from the icon resource's best
// image; owned by the caller (DestroyIcon). Null when it cannot be loaded.
HICON LoadProgramIcon(int size);

// The new DPI of a WM_DPICHANGED message.
inline UINT DpiFromMessage(WPARAM wParam)
{
    return HIWORD(wParam);
}

// Moves and sizes a window to the rectangle a WM_DPICHANGED message suggests.
void MoveToSuggestedRect(HWND window, LPARAM lParam);

// The main window's icons (title bar and task switcher) at the sizes of
// `dpi`; the icons set before are destroyed. A null window releases the
// icons alone.
void SetWindowIconsForDpi(HWND window, UINT dpi);
