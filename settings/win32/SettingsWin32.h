// The application settings on Windows: where the settings and help files
// live, the values the program runs with, and their transfer between the
// settings file and the main window.
#pragma once

#include <windows.h>

#include "AppSettings.h"

// The values read while the program runs; the options dialog changes them.
extern AppSettings g_AppSettings;
// The main window's outer rectangle as last seen (end of ApplySettings and
// each finished move); its left and top are saved.
extern RECT g_WindowRect;

// "Metrova.ini" and the manual ("Metrova.html", or "Metrova-en.html" in the
// English face) in the executable's folder (the name alone
// when the module path has no backslash). False, with an empty buffer, when
// the module path cannot be read or the folder leaves no room for the name.
bool GetSettingsPath(char (&path)[MAX_PATH]);
bool GetHelpFilePath(char (&path)[MAX_PATH]);
// "Metrova.takes" (the session) and "Metrova.journal" (the take being
// tapped) beside the settings file.
bool GetSessionPath(char (&path)[MAX_PATH]);
bool GetJournalPath(char (&path)[MAX_PATH]);

// Loads SettingsFile from GetSettingsPath and drops the retired key. A missing
// file is no error: every value then takes its default.
void LoadSettingsFile();

// Run by the main window while it handles WM_INITDIALOG, after its combo box
// has been filled: interpolation count, base note, tap method, MIDI device
// (opened when it is the tap method), window position. The main window
// updates its command states itself afterwards.
void ApplySettings(HWND mainWindow);

// Writes the window position, the interpolation count of the main window's
// combo box and the AppSettings to the settings file.
void SaveSettings();
