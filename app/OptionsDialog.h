// The options dialog (IDD_OPTIONS): base note, tap input method with the
// MIDI input device, and the registration in the Cakewalk Tools menu.
#pragma once

#include <windows.h>

// Runs the dialog modally, owned by `owner` (the main window, whose list of
// takes it empties when the base note changes).
void RunOptionsDialog(HWND owner);

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
