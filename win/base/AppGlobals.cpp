#include "AppGlobals.h"

#include "resource.h"

TIMECAPS g_TimeCaps = {};
HMENU g_hContextMenu = nullptr;
EnableImeProc g_pWINNLSEnableIME = nullptr;

bool RegisterMainWindowClass(HINSTANCE instance)
{
    // The dialog manager's own class as the platform reports it: same window
    // procedure, cursor, background and styles. Only the extra bytes, the
    // icon and the name are ours.
    WNDCLASSA wc = {};
    if (!GetClassInfoA(nullptr, "#32770", &wc))
        return false;
    wc.cbWndExtra |= DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_METROVA));
    wc.lpszClassName = MainWindowClassName;
    return RegisterClassA(&wc) != 0;
}
