// The files beside the program are named by the long UTF-16 path of the
// program's folder, as GetModuleFileNameW gives it: no ANSI spelling and no
// short (8.3) form on the way, so a folder of any name works.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "UiLanguage.h"
#include "IniFile.h"
#include "SettingsWin32.h"

namespace {

std::wstring ProgramFolder()
{
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    const std::wstring path(module, length);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring LongForm(const std::wstring& path)
{
    wchar_t buffer[4096];
    const DWORD length = GetLongPathNameW(path.c_str(), buffer, 4096);
    return length > 0 && length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

TEST(SettingsPaths, AreTheProgramFoldersLongWidePathWithTheirNames)
{
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder, LongForm(folder)) << "the test program runs from a short path";
    EXPECT_EQ(folder + L"Metrova.ini", GetSettingsPath());
    EXPECT_EQ(folder + L"Metrova.takes", GetSessionPath());
    EXPECT_EQ(folder + L"Metrova.journal", GetJournalPath());
    EXPECT_EQ(folder + (CurrentUiLanguage() == UiLanguage::Japanese ? L"Metrova.html" : L"Metrova-en.html"), GetHelpFilePath());

    // The settings store keeps that path, wide, and saves to it.
    const IniFile before = SettingsFile;
    LoadSettingsFile();
    EXPECT_EQ(GetSettingsPath(), SettingsFilePath());
    SettingsFile = before;
}

}  // namespace
