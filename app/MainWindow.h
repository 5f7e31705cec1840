// The main window: a modeless dialog (IDD_MAIN, class "mkMetrovaWnd")
// with the list of takes, the interpolation count and the commands that
// add, delete, export and import takes.
#pragma once

#include <windows.h>

// The dialog procedure: TRUE for WM_INITDIALOG, 0 for everything else.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Enables the buttons and menu bar items that need a selection or any row.
void UpdateCommandStates();
