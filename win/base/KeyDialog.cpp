#include "KeyDialog.h"

namespace {

struct OwnedWindows {
    HWND Owner;
    HWND Dialog;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectOwnedWindow(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<OwnedWindows*>(context);
    if (window != search.Dialog && GetWindow(window, GW_OWNER) == search.Owner && IsWindowEnabled(window))
        search.Found.push_back(window);
    return TRUE;
}

}  // namespace

KeyDialogScope::KeyDialogScope(HWND owner, HWND dialog, HWND focus) : owner_(owner), focus_(focus)
{
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    EnableWindow(owner, FALSE);
    OwnedWindows search{owner, dialog, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectOwnedWindow, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.Found)
        EnableWindow(window, FALSE);
    disabled_ = std::move(search.Found);
}

KeyDialogScope::~KeyDialogScope()
{
    for (HWND window : disabled_)
        if (IsWindow(window))
            EnableWindow(window, TRUE);
    EnableWindow(owner_, TRUE);
    SetFocus(focus_);
}

void RunKeyDialogLoop()
{
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
