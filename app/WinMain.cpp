// Entry point: checks the multimedia timer, registers the main window class,
// loads the settings, creates the main window as a modeless dialog and runs
// the message loop until the main window has been destroyed.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <string>

#include "AppGlobals.h"
#include "FolderClaim.h"
#include "UiLanguage.h"
#include "MainWindow.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "resource.h"

namespace {

// Start-up failures end the program. There is no main window yet to own or
// centre the box, so it is a plain one.
int ExitWithMessage(UINT textId)
{
    MessageBoxA(nullptr, LoadResString(textId).c_str(), LoadResString(IDS_CAPTION_ERROR).c_str(),
                MB_OK | MB_ICONERROR);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    g_hInstance = instance;
    // Before the first resource is loaded, the timer's message included.
    SelectUiLanguage();

    // Keyboard taps are timed with the multimedia timer at its finest period;
    // without it there is nothing to time them with.
    if (timeGetDevCaps(&g_TimeCaps, sizeof(g_TimeCaps)) != TIMERR_NOERROR)
        return ExitWithMessage(IDS_NO_TIMER);

    InitCommonControls();

    if (!RegisterMainWindowClass(instance))
        return ExitWithMessage(IDS_NO_DIALOG);

    // A second copy in this folder would share the first one's session and
    // journal and overwrite its takes: it hands over to the first instead.
    const FolderClaim claim(GetSessionPath());
    if (!claim.IsFirst()) {
        claim.BringFirstToFront();
        return 0;
    }

    LoadSettingsFile();

    // ApplySettings runs inside, while the dialog handles WM_INITDIALOG.
    g_hMainWnd = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (!g_hMainWnd)
        return 0;
    claim.Publish(g_hMainWnd);

    // GetModuleHandleA takes no reference, so there is nothing to release.
    if (HMODULE user32 = GetModuleHandleA("USER32")) {
        g_pWINNLSEnableIME =
            reinterpret_cast<EnableImeProc>(reinterpret_cast<void*>(GetProcAddress(user32, "WINNLSEnableIME")));
    }

    HMENU contextMenuBar = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_CONTEXTMENU));
    g_hContextMenu = contextMenuBar ? GetSubMenu(contextMenuBar, 0) : nullptr;

    ShowWindow(g_hMainWnd, SW_SHOW);
    UpdateWindow(g_hMainWnd);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN));

    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        // Accelerators first, so that Ctrl+C and friends work wherever the
        // focus is; then the dialog keys (Tab, arrows, Enter, mnemonics).
        if (TranslateAcceleratorA(g_hMainWnd, accelerators, &msg))
            continue;
        if (IsDialogMessageA(g_hMainWnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    // Destroying the menu that holds the popup destroys the popup with it.
    if (contextMenuBar)
        DestroyMenu(contextMenuBar);
    return 0;
}
