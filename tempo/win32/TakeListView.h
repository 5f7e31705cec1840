// The main window's list view as the container of takes: one row per take,
// with the time it was added and its tap count; each row's item data is its
// Take, which the row owns.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "TempoMap.h"

// Column 0 "input time" (width 135, left), column 1 "tap count" (width 70,
// right), full-row selection.
void InsertTakeListColumns(HWND list);

// Hands the take in CurrentTake to the main window's list: a take of two or
// more taps becomes a new, selected row and its times become relative to its
// first tap; a shorter one is dropped. The slot is empty afterwards.
void AddTakeToList();

// The takes of all rows in row order. The pointers stay valid until the rows
// are deleted.
TakeList ReadTakesFromList(HWND list);

// The list's LVN_DELETEITEM: frees the take of the row being deleted.
void DestroyRowTake(const NMLISTVIEW& deleted);
