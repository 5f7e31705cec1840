// The main window with its tap dialog driven by timer actions: what the
// keyboard and the MIDI tests of tapping share.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "TakeListView.h"
#include "TapInputDialog.h"
#include "WineTestSupport.h"
#include "resource.h"

namespace wine_test {

// The tap dialog while one is open.
inline HWND OpenTapDialog()
{
    HWND dialog = TapNotificationTarget();
    return dialog && IsWindow(dialog) ? dialog : nullptr;
}

class TapWindowTest : public ::testing::Test {
protected:
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
        for (const Take* take : ReadTakesFromList(List()))
            takes.push_back(*take);
        return takes;
    }

    HWND window = nullptr;
    std::unique_ptr<WindowActions> script;
};

}  // namespace wine_test
