// The application settings on Windows: where the settings and help files
// live, the values the program runs with, and their transfer between the
// settings file and the main window.
#pragma once

#include <windows.h>

#include <string>

#include "AppSettings.h"

// The values read while the program runs; the options dialog changes them.
extern AppSettings g_AppSettings;
// The main window's outer rectangle as last seen (end of ApplySettings and
// each finished move); its left and top are saved.
extern RECT g_WindowRect;

// "Metrova.ini" and the manual ("Metrova.html", or "Metrova-en.html" in the
// English interface) in the executable's folder, as the system spells it: the
// long UTF-16 path, whatever script the folder is named in and however
// long it is (the name alone when the module path has no backslash). Empty
// when the module path cannot be read.
std::wstring GetSettingsPath();
std::wstring GetHelpFilePath();
// "Metrova.takes" (the session) and "Metrova.journal" (the take being
// tapped) beside the settings file.
std::wstring GetSessionPath();
std::wstring GetJournalPath();

// Loads SettingsFile from `path` (GetSettingsPath unless a test names
// another) and drops the retired key. A missing file is no error: every value
// then takes its default. SaveSettings writes to the same path.
void LoadSettingsFile(const std::wstring& path = GetSettingsPath());
// Where SettingsFile was last loaded from and is saved to; empty before the
// first load and when the program's path could not be read.
const std::wstring& SettingsFilePath();

// Run by the main window while it handles WM_INITDIALOG: takes the base
// note, the tap method, the MIDI device name and the rest of the AppSettings
// from SettingsFile, moves the window to its stored position (when both
// "Left" and "Top" are there) and records g_WindowRect. Returns the
// interpolation count (0 to 10) for the main window to select in its combo
// box; opening the MIDI device when it is the tap method, and the command
// states, are the main window's.
int ApplySettings(HWND mainWindow);

// Writes the window position, `tempoInterpCount` (the selection of the main
// window's combo box, where the count lives) and the AppSettings to the
// settings file.
void SaveSettings(int tempoInterpCount);
