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
// English face) in the executable's folder, as the system spells it: the
// long UTF-16 path, whatever script the folder is named in and however
// long it is (the name alone when the module path has no backslash). Empty
// when the module path cannot be read.
std::wstring GetSettingsPath();
std::wstring GetHelpFilePath();
// "Metrova.takes" (the session) and "Metrova.journal" (the take being
// tapped) beside the settings file.
std::wstring GetSessionPath();
std::wstring GetJournalPath();

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
