// The INI store by a UTF-16 path: a settings file in a folder whose name the
// ANSI code page cannot spell, and in one too deep for MAX_PATH, is read and
// replaced like any other.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "IniFile.h"
#include "TempFolder.h"
#include "WideFile.h"
#include "WideIni.h"

namespace {

class WideIniTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = MakeTempFolder("metrova-wide-ini-").wstring();
        // Accented Latin, a music sign and Hangul: none of them in code page
        // 932 or 1252 both.
        folder = base + L"\\\u30C6\u30F3\u30DD \u266A caf\u00E9 \uD55C\uAD6D";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(L"\\\\?\\" + base), ignored);
    }

    // Files whose names start with `prefix` in `dir`.
    static int Count(const std::wstring& dir, const wchar_t* prefix)
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((L"\\\\?\\" + dir + L"\\" + prefix + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return 0;
        int n = 0;
        do {
            ++n;
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return n;
    }

    void ExpectRoundTrip(const std::wstring& dir)
    {
        const std::wstring path = dir + L"\\Metrova.ini";
        IniFile ini;
        EXPECT_FALSE(LoadIniFile(ini, path));  // not there yet
        EXPECT_EQ("", ini.GetPath());
        ini.SetValue("AppSetting", "Left", "12");
        ini.SetValue("AppSetting", "MidiIn", "\x83\x7E\x83\x66");  // Shift-JIS bytes, stored as they are
        ini.SetValue("Other", "x", "1");
        EXPECT_TRUE(SaveIniFile(ini, path));
        ASSERT_EQ(1, Count(dir, L"Metrova.ini"));
        EXPECT_EQ(0, Count(dir, L"~mtv"));

        // A second save replaces the file; a new store reads what was saved.
        ini.SetValue("AppSetting", "Left", "-7");
        EXPECT_TRUE(SaveIniFile(ini, path));
        IniFile reread;
        ASSERT_TRUE(LoadIniFile(reread, path));
        EXPECT_EQ(ini.Serialize(), reread.Serialize());
        EXPECT_EQ("-7", reread.GetString("AppSetting", "Left", ""));
        EXPECT_EQ(1, Count(dir, L"Metrova.ini"));
        EXPECT_EQ(0, Count(dir, L"~mtv"));

        // A missing file leaves the content, and the next save goes there.
        IniFile moved = reread;
        EXPECT_FALSE(LoadIniFile(moved, dir + L"\\Other.ini"));
        EXPECT_EQ(reread.Serialize(), moved.Serialize());
        EXPECT_TRUE(SaveIniFile(moved, dir + L"\\Other.ini"));
        IniFile other;
        ASSERT_TRUE(LoadIniFile(other, dir + L"\\Other.ini"));
        EXPECT_EQ(reread.Serialize(), other.Serialize());
    }

    std::wstring base;
    std::wstring folder;
};

TEST_F(WideIniTest, FolderOutsideTheCodePageHoldsTheSettings)
{
    // The name really cannot be spelled in the ANSI code page.
    BOOL defaulted = FALSE;
    char ansi[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansi, MAX_PATH, nullptr, &defaulted);
    ASSERT_TRUE(defaulted);
    ExpectRoundTrip(folder);
}

TEST_F(WideIniTest, FolderBeyondMaxPathHoldsTheSettings)
{
    std::wstring deep = folder;
    while (deep.size() < MAX_PATH + 20) {
        deep += L"\\\u30D5\u30A9\u30EB\u30C0\u30FC-folder";
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    ExpectRoundTrip(deep);
}

TEST_F(WideIniTest, EmptyPathIsNoFileAndATooLargeFileIsNoSettingsFile)
{
    IniFile ini;
    ini.SetValue("A", "k", "v");
    EXPECT_FALSE(LoadIniFile(ini, std::wstring()));
    EXPECT_EQ("v", ini.GetString("A", "k", ""));
    EXPECT_FALSE(SaveIniFile(ini, std::wstring()));  // nowhere to write: no file, no temporary file
    EXPECT_EQ(0, Count(folder, L"~mtv"));

    // One byte over the limit: refused, and the content stays.
    const std::wstring big = folder + L"\\big.ini";
    const std::string text = "[A]\r\nk=" + std::string(MaxIniFileSize, 'x') + "\r\n";
    ASSERT_TRUE(WriteFileReplacing(big, text.data(), MaxIniFileSize + 1));
    EXPECT_FALSE(LoadIniFile(ini, big));
    EXPECT_EQ("v", ini.GetString("A", "k", ""));
    ASSERT_TRUE(WriteFileReplacing(big, text.data(), MaxIniFileSize));
    EXPECT_TRUE(LoadIniFile(ini, big));
    EXPECT_EQ(MaxIniFileSize - 7, ini.GetString("A", "k", "").size());
}

}  // namespace
