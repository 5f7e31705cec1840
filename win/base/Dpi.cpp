#include "Dpi.h"

#include "Messages.h"
#include "resource.h"

namespace {

template <typename Proc>
Proc User32Function(const char* name)
{
    HMODULE user32 = GetModuleHandleA("USER32");
    return user32 ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT SessionDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : DesignDpi;
}

HICON smallIcon = nullptr;
HICON largeIcon = nullptr;

}  // namespace

UINT DpiOfWindow(HWND window)
{
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowProc>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    }
    return SessionDpi();
}

int ScaleToDpi(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(DesignDpi));
}

int SystemMetricForDpi(int index, UINT dpi)
{
    using GetSystemMetricsForDpiProc = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Function<GetSystemMetricsForDpiProc>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SessionDpi()));
}

HICON LoadProgramIcon(int size)
{
    return static_cast<HICON>(
        LoadImageA(g_hInstance, MAKEINTRESOURCEA(IDI_METROVA), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void MoveToSuggestedRect(HWND window, LPARAM lParam)
{
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    if (!suggested)
        return;
    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetWindowIconsForDpi(HWND window, UINT dpi)
{
    HICON newSmall = nullptr;
    HICON newLarge = nullptr;
    if (window) {
        newSmall = LoadProgramIcon(SystemMetricForDpi(SM_CXSMICON, dpi));
        newLarge = LoadProgramIcon(SystemMetricForDpi(SM_CXICON, dpi));
        SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(newSmall));
        SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(newLarge));
    }
    if (smallIcon)
        DestroyIcon(smallIcon);
    if (largeIcon)
        DestroyIcon(largeIcon);
    smallIcon = newSmall;
    largeIcon = newLarge;
}
