#include "SettingsWin32.h"

#include <cstring>

#include "AppGlobals.h"
#include "AppSettings.h"
#include "Face.h"
#include "MidiIn.h"
#include "WidePath.h"
#include "resource.h"

AppSettings g_AppSettings;
RECT g_WindowRect = {};

namespace {

// The executable's folder (with its backslash) followed by `name`. A module
// path that fills the buffer may have been cut, and a folder deep enough to
// leave no room for the name would otherwise be cut silently, giving some
// other file: both fail instead.
bool PathBesideExecutable(const char* name, char (&path)[MAX_PATH])
{
    path[0] = '\0';
    // Read wide: GetModuleFileNameA spells a folder the code page cannot
    // spell with "?", and nothing could be opened in it. In UTF-16 a
    // backslash is always a separator, too: in code page 932 the second
    // byte of a double-byte character can be 0x5C ("\x95\x5C" is one
    // character).
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::wstring wide(module, length);
    const size_t slash = wide.find_last_of(L'\\');
    std::string folder;
    if (slash != std::wstring::npos) {
        // The folder as the ANSI functions can open it (its short form where
        // the code page cannot spell it), with its backslash.
        folder = AnsiPathFor(wide.substr(0, slash + 1));
        if (folder.empty())
            return false;
    }
    const size_t nameLength = std::strlen(name);
    if (folder.size() + nameLength + 1 > MAX_PATH)
        return false;
    std::memcpy(path, folder.data(), folder.size());
    std::memcpy(path + folder.size(), name, nameLength + 1);
    return true;
}

}  // namespace

bool GetSettingsPath(char (&path)[MAX_PATH])
{
    return PathBesideExecutable("Metrova.ini", path);
}

bool GetHelpFilePath(char (&path)[MAX_PATH])
{
    // The manual in the language of the face shown.
    return PathBesideExecutable(CurrentFace() == Face::Japanese ? "Metrova.html" : "Metrova-en.html", path);
}

bool GetSessionPath(char (&path)[MAX_PATH])
{
    return PathBesideExecutable("Metrova.takes", path);
}

bool GetJournalPath(char (&path)[MAX_PATH])
{
    return PathBesideExecutable("Metrova.journal", path);
}

void LoadSettingsFile()
{
    // Without a path the store stays empty and pathless, so the settings run
    // on their defaults and nothing is saved.
    char path[MAX_PATH];
    GetSettingsPath(path);
    SettingsFile.Load(path);
    RemoveRetiredSettings(SettingsFile);
}

void ApplySettings(HWND mainWindow)
{
    const StoredSettings stored = ReadSettings(SettingsFile);

    SendDlgItemMessageA(mainWindow, IDC_INTERPCOUNT, CB_SETCURSEL, static_cast<WPARAM>(stored.TempoInterpCount), 0);
    g_AppSettings = stored.App;

    // A missing device is reported there; start-up goes on with the window.
    if (g_AppSettings.TapMethod == 1)
        OpenMidiIn(mainWindow);

    // No check against the screen: a position off the screen is taken as it
    // is, as the user left it.
    if (stored.Position) {
        SetWindowPos(mainWindow, nullptr, stored.Position->Left, stored.Position->Top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    GetWindowRect(mainWindow, &g_WindowRect);
}

void SaveSettings()
{
    // The interpolation count lives only in the combo box.
    const int interpCount =
        static_cast<int>(SendDlgItemMessageA(g_hMainWnd, IDC_INTERPCOUNT, CB_GETCURSEL, 0, 0));
    WriteSettings(SettingsFile, g_AppSettings, g_WindowRect.left, g_WindowRect.top, interpCount);
}
