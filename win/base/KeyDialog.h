// A dialog that takes every key and behaves like a modal one (the tap
// dialog, the latency measurement): shown, its owner and the owner's other
// windows disabled while it runs (a click in the tempo graph would take the
// keyboard, and the next taps, away from it), and its own message loop
// without IsDialogMessage or accelerators, so that every key, Enter and Tab
// included, reaches the dialog procedure as WM_KEYDOWN.
#pragma once

#include <windows.h>

#include <vector>

class KeyDialogScope {
public:
    // Shows `dialog` and disables `owner` and the other enabled windows of
    // this thread that it owns. `focus` is the focus to give back at the end
    // (taken before the dialog was created).
    KeyDialogScope(HWND owner, HWND dialog, HWND focus);
    // Enables them again and gives the focus back.
    ~KeyDialogScope();
    KeyDialogScope(const KeyDialogScope&) = delete;
    KeyDialogScope& operator=(const KeyDialogScope&) = delete;

private:
    HWND owner_;
    HWND focus_;
    std::vector<HWND> disabled_;
};

// Dispatches this thread's messages until WM_QUIT (the dialog posts it as
// it goes) or an error.
void RunKeyDialogLoop();
