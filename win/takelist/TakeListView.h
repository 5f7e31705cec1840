// The main window's list view as the container of takes: one row per take,
// with the time it was listed and its tap count; each row's item data is its
// SessionTake (the listed time, the taps, the check mark and the findings
// turned down), which the row owns.
//
// A row's check box says whether its take is exported. A row whose take has
// findings of the tap analysis shows a warning icon before its time, and its
// tooltip lists them ("抜け1 余分1"). The analysis is of every listed take
// and is kept up to date with the list.
//
// Every change the user makes to the list goes through RecordTakesChange
// (before) and TakesChanged (after): the first keeps the list as it was for
// undo, the second analyses the takes again, saves the session and posts
// WM_TAKESCHANGED to the list's parent, the main window.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "Session.h"
#include "TapAnalysis.h"
#include "TempoMap.h"
#include "TempoPipeline.h"

// Column 0 "input time" (width 135 pixels at 96 DPI, left), column 1 "tap
// count" (width 70, right), full-row selection; the widths at the list's DPI.
void InsertTakeListColumns(HWND list);
// Sets the two columns' widths and the icons' size for `dpi` (on
// WM_DPICHANGED).
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

// The checked rows' takes, those that are exported, in row order.
TakeList ReadCheckedTakesFromList(HWND list);
std::vector<const SessionTake*> ReadCheckedSessionTakesFromList(HWND list);

// The analysis of every listed take, in row order, as of the last change.
const Analysis& ListedTakesAnalysis();
// What the export runs with now: repair and smoothing as set in the options,
// and the findings the user turned down in the checked takes (in the order
// of ReadCheckedTakesFromList).
AnalysisOptions ExportAnalysisOptions(HWND list);

// Before a change of the list: keeps the list as it is (the rows' takes and
// the base note) as a step to undo, and forgets what could be redone.
void RecordTakesChange(HWND list);
// After a change: analyses the takes again, updates the rows' icons and
// tap counts, saves the session and tells the main window.
void TakesChanged(HWND list);
// The same without saving the session: for the rows restored at start-up.
void RefreshTakeFindings(HWND list);

// Undo and redo of the recorded changes. A step restores exactly the takes,
// their order and check marks, the findings turned down and the base note
// (a change of the base note deleted the takes, which only make sense with
// the note they were tapped to). False when there is nothing to do.
bool UndoTakesChange(HWND list);
bool RedoTakesChange(HWND list);
bool CanUndoTakesChange();
bool CanRedoTakesChange();
// Forgets every step (a new main window).
void ClearTakesHistory();

// Whether a repair with the row's accepted findings would change its take.
bool RowCanBeRepaired(HWND list, int row);
// Repairs the row's take (or every take) with its accepted findings: one
// step to undo. The findings turned down stay turned down, at the taps the
// repair moved them to. False when nothing changed.
bool RepairTakeRow(HWND list, int row);
bool RepairAllTakeRows(HWND list);
// Accepts a turned-down finding of the row's take or turns down an accepted
// one (the finding's index in ListedTakesAnalysis): one step to undo.
bool ToggleFinding(HWND list, int row, size_t finding);

// The main window's LVN_ITEMCHANGING: false for the check box a double-click
// on a row would toggle (the double-click opens the graph).
bool TakeListChangeAllowed(const NMLISTVIEW& changing);
// The main window's LVN_ITEMCHANGED: a check box the user clicked (or
// toggled with the space bar) becomes the take's check mark, one step to
// undo. Changes the program makes itself are not reported.
void OnTakeListItemChanged(HWND list, const NMLISTVIEW& changed);
// LVN_GETINFOTIPA: the row's findings in short form, "抜け1 余分1".
void FillTakeInfoTip(NMLVGETINFOTIPA& tip);
// The short form itself, for the row's accepted findings; empty without.
std::string FindingsSummary(HWND list, int row);
