// The main window: a modeless dialog (IDD_MAIN, class "mkMetrovaWnd")
// with the list of takes, the interpolation count and the commands that
// add, delete, export and import takes.
#pragma once

#include <windows.h>

#include "TakeBook.h"

// The main window (null while there is none), a start-up value: owner of
// every message box and dialog that the main window's commands open. Only
// the program itself uses it; the rooms below are given their owner.
extern HWND g_hMainWnd;

// The dialog procedure: TRUE for WM_INITDIALOG, 0 for everything else.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Enables the buttons and menu bar items that need a selection or any row.
void UpdateCommandStates();

// The takes the window lists (its one book).
TakeBook& MainWindowTakeBook();

// What the window does when the tap dialog closes, while MIDI input still
// runs: the take in CurrentTake goes to the book (AddTakeToList), and a
// listed take is saved in the session and shown.
void HandOverTappedTake();

// A new base note `timeSigBase`: the listed takes, tapped to the note set
// until now, are deleted in one step to undo that keeps that note, and the
// new note is set.
void ClearTakesForBaseNote(int timeSigBase);
