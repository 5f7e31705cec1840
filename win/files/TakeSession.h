// Keeping the takes: the session file "Metrova.takes" written after every
// change of the list and read back at start-up, the journal
// "Metrova.journal" of the take being tapped, and the commands that open
// takes from files and save them as a session. All of it runs on the
// user-interface thread.
#pragma once

#include <windows.h>

#include <string>

// Writes the listed takes to the session file, replacing it only with a
// complete one (a failed save leaves the previous session whole). Called
// after each change the user makes to the list, never for the rows the
// closing window tears down. Silent; false when the session was not written.
bool SaveSession();

// At start-up, while the main window handles WM_INITDIALOG: lists the takes
// of the session and then the take of a journal left by a run that ended
// while tapping, when the settings ask for it. A session or journal that
// cannot be read is renamed "<name>.bad-YYYYMMDD-HHMMSS", never overwritten
// or deleted, and the user is told once, after the window has appeared
// (WM_SESSIONNOTICE).
void RestoreSession(HWND mainWindow);
// WM_SESSIONNOTICE: the one message about files set aside at start-up.
void ShowSessionNotice(HWND mainWindow);

// The journal of the take in CurrentTake while the tap dialog is open.
// Begin when the take starts; Write from a timer at least once a second (it
// copies the taps under the slot's lock and writes only when there are new
// ones); End once the take has been handed to the list, which removes the
// journal when the session holding the take was saved.
void BeginTakeJournal();
void WriteTakeJournal();
void EndTakeJournal();
// How often the tap dialog writes the journal, in milliseconds.
inline constexpr UINT TakeJournalPeriod = 500;

// "テイクを開く(&T)...": the open dialog, then every take of the chosen file
// is listed; a bad line lists nothing and is reported naming the line.
void OpenTakesFromFile(HWND mainWindow);
// Lists the takes of the file at `path` as above; false when nothing was
// added because the file could not be read.
bool OpenTakesFile(HWND mainWindow, const std::string& path);
// The same for a UTF-16 path: any name the user picks.
bool OpenTakesFile(HWND mainWindow, const std::wstring& path);
// "テイクを保存(&K)...": the save dialog, then the takes to save (for now
// every listed take) as a session file.
void SaveTakesToFile(HWND mainWindow);

// "<path>.bad-YYYYMMDD-HHMMSS" (with "-2", "-3", ... when taken) after the
// local time now: the name a damaged file is renamed to. Empty when the
// file could not be renamed.
std::wstring SetFileAside(const std::wstring& path);
