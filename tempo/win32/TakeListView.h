// The main window's list view as the container of takes: one row per take,
// with the time it was listed and its tap count; each row's item data is its
// SessionTake (the listed time and the taps), which the row owns.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "Session.h"
#include "TempoMap.h"

// Column 0 "input time" (width 135 pixels at 96 DPI, left), column 1 "tap
// count" (width 70, right), full-row selection; the widths at the list's DPI.
void InsertTakeListColumns(HWND list);
// Sets the two columns' widths for `dpi` (on WM_DPICHANGED).
void SetTakeListColumnWidths(HWND list, UINT dpi);

// Hands the take in CurrentTake to the main window's list: a take of two or
// more taps becomes a new, selected row, listed now, and its times become
// relative to its first tap; a shorter one is dropped. The slot is empty
// afterwards. A listed take is a change of the list: the session is saved.
void AddTakeToList();

// Appends a row for `take` (listed now when its ListedAt is empty), selected
// and scrolled into view; its taps must already be relative to the first.
// False, with the take freed, when the list refuses the row. Saves nothing:
// the caller saves the session once all its takes are in.
bool AppendTakeRow(HWND list, std::unique_ptr<SessionTake> take);

// The takes of all rows in row order. The pointers stay valid until the rows
// are deleted.
TakeList ReadTakesFromList(HWND list);
std::vector<const SessionTake*> ReadSessionTakesFromList(HWND list);

// The list's LVN_DELETEITEM: frees the take of the row being deleted.
void DestroyRowTake(const NMLISTVIEW& deleted);

// The local time now, as the session stores it.
std::string ListedTimeNow();
