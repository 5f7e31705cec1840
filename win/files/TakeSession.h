// Keeping the takes: the session file "Metrova.takes" written after every
// change of the book of listed takes and read back at start-up, the journal
// "Metrova.journal" of the take being tapped, and the commands that open
// takes from files and save them as a session. All of it runs on the
// user-interface thread.
#pragma once

#include <windows.h>

#include <string>

#include "TakeBook.h"

// The local time now, as the session stores it.
std::string ListedTimeNow();

// Writes every listed take of the book to the session file, replacing it
// only with a complete one (a failed save leaves the previous session
// whole). Called after each change the user makes to the takes. Silent;
// false when the session was not written.
// With the recording the takes are tapped along (null or an empty path:
// none), named in the session with the anchors of the takes tapped along it.
bool SaveSession(const TakeBook& book, const SessionRecording* recording = nullptr);

// At start-up, while the main window handles WM_INITDIALOG: puts the takes
// of the session into the book and then the take of a journal left by a run
// that ended while tapping, when the settings ask for it, with no step to
// undo. A session or journal that cannot be read is renamed
// "<name>.bad-YYYYMMDD-HHMMSS", never overwritten or deleted, and the user
// is told once, after the window has appeared (WM_SESSIONNOTICE posted to
// `mainWindow`).
// The recording the session names, when given, is put in `recording`
// (empty when it names none); the caller reopens it.
void RestoreSession(HWND mainWindow, TakeBook& book, SessionRecording* recording = nullptr);
// WM_SESSIONNOTICE: the one message of start-up, when it has something to
// tell: the files set aside and what the list holds after them, a take
// rescued from the journal of a run that ended while tapping, repeated tap
// times dropped from the files read.
void ShowSessionNotice(HWND mainWindow);

// Whether the session or the journal could not be written (a read-only
// folder, a full disk) and the user has not been told yet this run.
bool TakesUnsavedToTell();
// Tells once a run that the takes cannot be kept in the program's folder,
// naming it, and offers to save every listed take elsewhere ("テイクを保存").
void ShowTakesUnsavedNotice(HWND owner, const TakeBook& book);

// The journal of the take in CurrentTake while the tap dialog is open.
// Begin when the take starts; Write from a timer at least once a second (it
// copies the taps under the slot's lock and writes only when there are new
// ones); End once the take has been handed to the list, which removes the
// journal when the session holding the take was saved.
// along: the recording the taps are timed on when the take is tapped along
// it (null otherwise); the journal then keeps the take's place on it, which
// a rescued take gets back when the session names the same recording.
void BeginTakeJournal(const SessionRecording* along = nullptr);
void WriteTakeJournal();
void EndTakeJournal();
// How often the tap dialog writes the journal, in milliseconds.
inline constexpr UINT TakeJournalPeriod = 500;

// "テイクを開く(&T)...": the open dialog, then every take of two or more
// taps in the chosen file is appended to the book, one step to undo; a bad
// line adds nothing and is reported naming the line, in a box owned by
// `owner`. The caller saves the session and shows the takes.
void OpenTakesFromFile(HWND owner, TakeBook& book);
// Appends the takes of the file at `path` (any name the user picks) as
// above; false when nothing was added because the file could not be read.
bool OpenTakesFile(HWND owner, TakeBook& book, const std::wstring& path);
// "テイクを保存(&K)...": the save dialog, then the checked takes (those that
// would be exported) as a session file.
void SaveTakesToFile(HWND owner, const TakeBook& book);

// "<path>.bad-YYYYMMDD-HHMMSS" (with "-2", "-3", ... when taken) after the
// local time now: the name a damaged file is renamed to. Empty when the
// file could not be renamed.
std::wstring SetFileAside(const std::wstring& path);
