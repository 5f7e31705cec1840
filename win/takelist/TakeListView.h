// The main window's list view, drawing a book of takes (TakeBook): one row
// per listed take, in the book's order, with the time it was listed and its
// tap count. The book owns the takes; a row is only their picture, and row i
// is the book's take i.
//
// A row's check box says whether its take is exported. A row whose take has
// accepted findings of the tap analysis shows a warning icon before its
// time, and its tooltip lists them ("抜け1 余分1").
//
// The list changes nothing itself: a check box the user clicks is reported
// to the caller (CheckBoxClicked), which changes the book and then has the
// list drawn again.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>

#include "UiLanguage.h"
#include "TakeBook.h"

// Column 0 "input time" (left), column 1 "tap count" (right), full-row
// selection, check boxes and tooltips. In the Japanese interface the columns are
// 135 and 70 pixels wide at 96 DPI, scaled to the list's DPI; in the
// English interface, whose smaller dialog font makes the list narrower, they
// share the list's width in the same proportion, so that the list never
// scrolls sideways.
void InsertTakeListColumns(HWND list, UiLanguage language);
// Sets the two columns' widths and the icons' size for `dpi` (on
// WM_DPICHANGED).
void SetTakeListColumnWidths(HWND list, UINT dpi, UiLanguage language);

// Rows for the book's takes after the list's last row, each selected and
// scrolled into view as it comes in (a take added, opened or imported).
void ShowAddedTakes(HWND list, const TakeBook& book);
// Every row drawn anew from the book (undo, redo, deleted takes): the row
// selected before stays selected where it still exists, and nothing is
// selected when nothing was.
void ShowAllTakes(HWND list, const TakeBook& book);
// Every row's check box, icon and tap count as the book has them now.
void ShowTakeStates(HWND list, const TakeBook& book);

// The selected row, -1 for none.
int SelectedTakeRow(HWND list);

// The main window's LVN_ITEMCHANGING: false for the check box a double-click
// on a row would toggle (the double-click opens the graph).
bool TakeListChangeAllowed(const NMLISTVIEW& changing);
// The main window's LVN_ITEMCHANGED: true when it is a check box the user
// clicked (or toggled with the space bar), with its row and new mark. The
// changes the list itself makes while drawing are not reported.
bool CheckBoxClicked(const NMLISTVIEW& changed, int& row, bool& checked);
// LVN_GETINFOTIPA: the name of the file the row's take came from (an
// imported MIDI file, a take file), then its findings in short form,
// "抜け1 余分1".
void FillTakeInfoTip(NMLVGETINFOTIPA& tip, const TakeBook& book);
// The short form itself, for the take's accepted findings; empty without.
std::string FindingsSummary(const TakeBook& book, size_t take);
