#include "SettingsWin32.h"

#include "AppSettings.h"
#include "UiLanguage.h"
#include "WideIni.h"
#include "WidePath.h"

AppSettings g_AppSettings;
RECT g_WindowRect = {};

namespace {

// The executable's folder (with its backslash) followed by `name`, in
// UTF-16 from the module path on: an ANSI path spells a folder the code
// page cannot spell with "?", and its short form, the one ANSI spelling that
// would reach it, may not exist (short names can be switched off per
// volume). In UTF-16 a backslash is always a separator, too: in code page
// 932 the second byte of a double-byte character can be 0x5C.
std::wstring PathBesideExecutable(const wchar_t* name)
{
    const std::wstring program = ProgramPath();
    if (program.empty())
        return std::wstring();
    const size_t slash = program.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return name;
    return program.substr(0, slash + 1) + name;
}

}  // namespace

std::wstring GetSettingsPath()
{
    return PathBesideExecutable(L"Metrova.ini");
}

std::wstring GetHelpFilePath()
{
    // The manual in the interface language shown.
    return PathBesideExecutable(CurrentUiLanguage() == UiLanguage::Japanese ? L"Metrova.html" : L"Metrova-en.html");
}

std::wstring GetSessionPath()
{
    return PathBesideExecutable(L"Metrova.takes");
}

std::wstring GetJournalPath()
{
    return PathBesideExecutable(L"Metrova.journal");
}

namespace {

// SettingsFile's own path, kept beside it: the store takes ANSI paths, and
// the settings file is named by UTF-16 path.
std::wstring settingsFilePath;

}  // namespace

void LoadSettingsFile(const std::wstring& path)
{
    // Without a path the store stays empty and pathless, so the settings run
    // on their defaults and nothing is saved.
    settingsFilePath = path;
    LoadIniFile(SettingsFile, path);
    RemoveRetiredSettings(SettingsFile);
}

const std::wstring& SettingsFilePath()
{
    return settingsFilePath;
}

int ApplySettings(HWND mainWindow)
{
    const StoredSettings stored = ReadSettings(SettingsFile);
    g_AppSettings = stored.App;

    // A position partly off the screen is taken as the user left it. One on
    // no monitor at all (a monitor since removed, a hand-edited file) would
    // open the window where nobody can see or close it: the window then
    // stays where it opens without a stored position, in its own size.
    if (stored.Position) {
        RECT now = {};
        GetWindowRect(mainWindow, &now);
        const long width = now.right - now.left;
        const long height = now.bottom - now.top;
        const RECT there = {stored.Position->Left, stored.Position->Top, stored.Position->Left + width,
                            stored.Position->Top + height};
        if (MonitorFromRect(&there, MONITOR_DEFAULTTONULL) != nullptr)
            SetWindowPos(mainWindow, nullptr, stored.Position->Left, stored.Position->Top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    GetWindowRect(mainWindow, &g_WindowRect);
    return stored.TempoInterpCount;
}

void SaveSettings(int tempoInterpCount)
{
    WriteSettings(SettingsFile, g_AppSettings, g_WindowRect.left, g_WindowRect.top, tempoInterpCount);
    // A failed save is not reported: a lost settings save is not worth
    // interrupting the user for.
    SaveIniFile(SettingsFile, settingsFilePath);
}
