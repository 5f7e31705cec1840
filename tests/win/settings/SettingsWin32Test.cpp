// ApplySettings and SaveSettings on a window of their own: what they take
// from and give to the settings file, with the main window's part (its
// combo box, the MIDI device) left to the caller.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "AppSettings.h"
#include "IniFile.h"
#include "SettingsWin32.h"
#include "WideIni.h"
#include "WidePath.h"
#include "WineTestSupport.h"

namespace {

using namespace wine_test;

class SettingsWin32Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedFile = SettingsFile;
        savedApp = g_AppSettings;
        savedRect = g_WindowRect;
        path = BesideTestProgram("SettingsWin32Test.ini");
        DeleteFileA(path.c_str());
        window = CreateWindowA("STATIC", "", WS_POPUP, 100, 120, 200, 150, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
    }

    void TearDown() override
    {
        DestroyWindow(window);
        DeleteFileA(path.c_str());
        LoadSettingsFile();
        SettingsFile = savedFile;
        g_AppSettings = savedApp;
        g_WindowRect = savedRect;
    }

    void Store(const std::string& text)
    {
        WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        SettingsFile = IniFile();
        LoadSettingsFile(WidenAnsi(path));
        ASSERT_EQ(WidenAnsi(path), SettingsFilePath());
        ASSERT_EQ(text.find('[') != std::string::npos, !SettingsFile.GetSections().empty());
    }

    std::string Saved(const char* key) const
    {
        IniFile saved;
        LoadIniFile(saved, WidenAnsi(path));
        return saved.GetString(SettingsSection, key, "<missing>");
    }

    RECT Where() const
    {
        RECT rect{};
        GetWindowRect(window, &rect);
        return rect;
    }

    IniFile savedFile;
    AppSettings savedApp;
    RECT savedRect{};
    std::string path;
    HWND window = nullptr;
};

TEST_F(SettingsWin32Test, ApplyReturnsTheInterpolationCountInRangeAndTakesTheRest)
{
    const struct {
        const char* stored;
        int count;
    } cases[] = {{"15", 10}, {"-3", 0}, {"3x", 3}, {"7", 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Store(std::string("[AppSetting]\r\nTempoInterpCount=") + c.stored +
              "\r\nTimeSigBase=4\r\nTapMethod=1\r\nMidiIn=Port B\r\n");
        EXPECT_EQ(c.count, ApplySettings(window));
        EXPECT_EQ(4, g_AppSettings.TimeSigBase);
        EXPECT_EQ(1, g_AppSettings.TapMethod);
        EXPECT_EQ("Port B", g_AppSettings.MidiInName);
    }
}

TEST_F(SettingsWin32Test, ApplyMovesTheWindowOnlyWhenLeftAndTopAreBothStored)
{
    Store("[AppSetting]\r\nLeft=40\r\n");
    ApplySettings(window);
    RECT rect = Where();
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(120, rect.top);
    EXPECT_TRUE(EqualRect(&rect, &g_WindowRect));

    // Partly off the screen: taken as the user left it.
    Store("[AppSetting]\r\nLeft=-150\r\nTop=30\r\n");
    ApplySettings(window);
    rect = Where();
    EXPECT_EQ(-150, rect.left);
    EXPECT_EQ(30, rect.top);
    EXPECT_EQ(200, rect.right - rect.left) << "the size stays";
    EXPECT_TRUE(EqualRect(&rect, &g_WindowRect));

    // On no monitor at all: it stays where it is, in its own size, on a
    // monitor where it can be seen and closed.
    for (const char* stored : {"Left=-32000\r\nTop=99999", "Left=-5000\r\nTop=30", "Left=30\r\nTop=-5000"}) {
        SCOPED_TRACE(stored);
        SetWindowPos(window, nullptr, 100, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Store(std::string("[AppSetting]\r\n") + stored + "\r\n");
        ApplySettings(window);
        rect = Where();
        EXPECT_NE(nullptr, MonitorFromRect(&rect, MONITOR_DEFAULTTONULL));
        EXPECT_EQ(100, rect.left);
        EXPECT_EQ(120, rect.top);
        EXPECT_EQ(200, rect.right - rect.left);
        EXPECT_EQ(150, rect.bottom - rect.top);
        EXPECT_TRUE(EqualRect(&rect, &g_WindowRect));
    }
}

TEST_F(SettingsWin32Test, SaveWritesTheCountItIsGivenWithThePositionAndSettings)
{
    Store("[AppSetting]\r\nTempoInterpCount=2\r\nLeft=11\r\nTop=12\r\n");
    ApplySettings(window);
    g_AppSettings.TimeSigBase = 5;
    g_WindowRect.left = 77;
    g_WindowRect.top = -8;
    for (const int count : {9, 0}) {
        SaveSettings(count);
        EXPECT_EQ(std::to_string(count), Saved(KeyTempoInterpCount));
        EXPECT_EQ("5", Saved(KeyTimeSigBase));
        EXPECT_EQ("77", Saved(KeyLeft));
        EXPECT_EQ("-8", Saved(KeyTop));
    }
}

}  // namespace
