// The about dialog (IDD_ABOUT): description, comments and legal notice
// from the executable's own version resource, the executable's path with a
// button that shows it in Explorer, and the maker's e-mail and web links.
#pragma once

#include <windows.h>

// Runs the dialog modally over `owner` (DialogBoxParamA with IDD_ABOUT
// and AboutDialogProc). The result is 2 once the dialog has been closed.
INT_PTR RunAboutDialog(HWND owner);

// The dialog procedure: handles WM_INITDIALOG, WM_COMMAND and WM_DESTROY;
// FALSE for every other message.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The parameter text that opens an Explorer window with `path` selected:
// "/e, /select, " followed by the path, in a buffer of MAX_PATH bytes.
// False, with an empty buffer, when the path does not fit whole (more than
// MAX_PATH - 14 bytes): a cut path would select some other file or none, so
// Explorer is better not started at all.
bool BuildExplorerParameters(const char* path, char (&parameters)[MAX_PATH]);
