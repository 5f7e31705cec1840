// Start-up values: set once while the program starts, read by the windows
// and dialogs afterwards. All of them belong to the user-interface thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>

// The window class of the main window: a copy of the system dialog class,
// so that the main window behaves as a dialog box yet carries its own icon.
inline constexpr char MainWindowClassName[] = "mkMetrovaWnd";

// The multimedia timer's smallest and largest period; the tap dialog raises
// the timer resolution to wPeriodMin while keyboard taps are recorded.
extern TIMECAPS g_TimeCaps;


// The first popup of menu IDM_CONTEXTMENU, shown as the list's context menu; null when it
// could not be loaded.
extern HMENU g_hContextMenu;

// WINNLSEnableIME from user32, or null where the platform lacks it. The tap
// dialog switches the input method editor off with it while it is open.
using EnableImeProc = BOOL(WINAPI*)(HWND, BOOL);
extern EnableImeProc g_pWINNLSEnableIME;

// Registers "mkMetrovaWnd" as a copy of "#32770" with the program icon and
// room for DLGWINDOWEXTRA. False when the system dialog class cannot be
// described or the registration fails (start-up then gives up with
// IDS_NO_DIALOG). Also used by the in-process tests, which create the real
// main window.
bool RegisterMainWindowClass(HINSTANCE instance);
