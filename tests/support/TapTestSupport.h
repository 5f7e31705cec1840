// The main window with its tap dialog driven by timer actions: what the
// keyboard and the MIDI tests of tapping share.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AppGlobals.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "SettingsWin32.h"
#include "TakeBook.h"
#include "TakeSession.h"
#include "TapInputDialog.h"
#include "WidePath.h"
#include "WineTestSupport.h"
#include "ControlIds.h"
#include "resource.h"

namespace wine_test {

// The tap dialog while one is open.
inline HWND OpenTapDialog()
{
    return FindTapInputDialog();
}

// The take in CurrentTake handed to the main window's book as the tap
// dialog hands it over when it closes.
inline void HandOverCurrentTake()
{
    HandOverTappedTake();
}

// A take of these times listed as the tap dialog lists one, one step to undo.
inline void ListTake(const std::vector<uint32_t>& times)
{
    CurrentTake.Start(Take(times));
    HandOverCurrentTake();
    PumpMessages();
}

// A menu command or button, as a click sends it.
inline void SendCommand(HWND window, UINT id)
{
    SendMessageA(window, WM_COMMAND, id, 0);
    PumpMessages();
}

class TapWindowTest : public ::testing::Test {
protected:
    // What a test of the main window starts with: this program's resources,
    // the timer's capabilities, the window class, and the settings file set
    // aside until the test ends.
    void PrepareStartUp()
    {
        g_hInstance = GetModuleHandleA(nullptr);
        ASSERT_EQ(static_cast<MMRESULT>(TIMERR_NOERROR), timeGetDevCaps(&g_TimeCaps, sizeof g_TimeCaps));
        ASSERT_TRUE(PrepareMainWindowClass());
        // The build folder's name is ASCII: its ANSI spelling is exact.
        settingsPath = NarrowForDisplay(GetSettingsPath());
        ASSERT_FALSE(settingsPath.empty());
        settingsAside = std::make_unique<FileAside>(settingsPath);
    }

    // Start-up as the program does it, from the settings file as it is now.
    void OpenMainWindow()
    {
        SettingsFile = IniFile();
        LoadSettingsFile();
        window = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(nullptr, window);
        ShowWindow(window, SW_SHOW);
        PumpMessages();
    }

    // The end of every such test: no tap dialog, no main window, no take
    // left in the slot.
    void CloseMainWindow()
    {
        EndActions();
        if (window && IsWindow(window))
            DestroyWindow(window);
        TakeQuitMessage();
        CurrentTake.HandOver();
    }

    // Runs each action on the open tap dialog, one per timer tick.
    void OnTapDialog(std::vector<WindowActions::Action> actions)
    {
        EndActions();
        script = std::make_unique<WindowActions>(OpenTapDialog, std::move(actions));
    }

    void EndActions()
    {
        if (script) {
            EXPECT_EQ(0, script->Strays()) << "a tap dialog outlived the test's actions";
        }
        script.reset();
    }

    void AddCommand()
    {
        SendMessageA(window, WM_COMMAND, IDM_ADD, 0);
        PumpMessages();
    }

    HWND List() const { return GetDlgItem(window, IDC_TAKELIST); }

    std::vector<std::vector<uint32_t>> ListedTakes() const
    {
        std::vector<std::vector<uint32_t>> takes;
        for (const Take* take : MainWindowTakeBook().ListedTaps())
            takes.push_back(*take);
        return takes;
    }

    HWND window = nullptr;
    std::unique_ptr<WindowActions> script;
    std::string settingsPath;
    std::unique_ptr<FileAside> settingsAside;
};

}  // namespace wine_test
