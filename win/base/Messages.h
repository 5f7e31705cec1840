// Message services: strings from the string table, message boxes centred on
// their owner, the centring of dialogs, platform errors in the platform's own
// words, opening documents and links through the shell, and the wait cursor.
// All of it belongs to the user-interface thread.
#pragma once

#include <windows.h>

#include <string>

// The instance whose resources the program loads (set first thing in
// WinMain; tests set it to their own module).
extern HINSTANCE g_hInstance;

// Loads a string of the string table; `found` is false for a missing or empty
// string, whose text is empty. Grows its buffer until the whole string fits.
std::string LoadResString(UINT id, bool* found = nullptr);

// The text with its first "%1" and "%2" replaced by the values (no printf
// format: the values may be file names and file content), and the same for
// a string of the string table.
std::string FillPlaceholders(std::string text, const std::string& first, const std::string& second = std::string());
std::string LoadResString(UINT id, const std::string& first, const std::string& second = std::string());

// A file dialog's filter from the string table, where the description and
// pattern pairs are separated by line feeds: each line feed turned into a
// NUL, ended by two NULs (the second is the string's own terminator). Empty
// when the string cannot be loaded.
std::string LoadFileFilter(UINT id);

// A message box (MessageBoxA) centred on its owner (may be null).
int CenteredMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style);

// While at least one exists, every dialog box created on this thread is
// centred on its owner when it receives WM_INITDIALOG. Nestable.
class DialogCenteringScope {
public:
    DialogCenteringScope();
    ~DialogCenteringScope();
    DialogCenteringScope(const DialogCenteringScope&) = delete;
    DialogCenteringScope& operator=(const DialogCenteringScope&) = delete;
};

// Centres `window` on `owner` (null: its parent or owner window) within the
// work area of the owner's monitor. Callers hold a DialogCenteringScope.
void CenterWindow(HWND owner, HWND window);

// Where CenterWindow puts the top-left corner of a window of the given size:
// centred on `reference` (the halves truncate towards zero), then moved back
// into `area`. Each axis tests the leading edge first and only otherwise the
// trailing one, so a window larger than the area whose centred position
// starts inside it ends up on the area's right (or bottom) edge.
POINT CenteredPosition(const RECT& reference, const RECT& area, int width, int height);

// The platform's message for an error code, or IDS_UNEXPECTED_ERROR when it has none.
std::string GetSystemErrorText(DWORD code);
// Shows the platform's text for the code in an error box; 0 shows nothing.
void ReportSystemError(HWND owner, DWORD code);
// Opens a file, web address or "mailto:" link with the shell's default
// action; reports a failure itself.
void ShellOpen(const std::string& target, HWND owner);
// The same for a UTF-16 path: a document in a folder of any name.
void ShellOpen(const std::wstring& target, HWND owner);

// Shows the wait cursor while at least one exists. Nestable.
class WaitCursorScope {
public:
    WaitCursorScope();
    ~WaitCursorScope();
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;
};
