// The tap input dialog with the keyboard method, in-process: the real main
// window and dialog 105, driven from inside the dialog's own message loop by
// actions on a thread timer. The stand-in winmm.dll supplies the clock and counts
// the timer periods.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "AppGlobals.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MidiIn.h"
#include "SettingsWin32.h"
#include "WidePath.h"
#include "Take.h"
#include "TakeListView.h"
#include "TakeSession.h"
#include "TapInputDialog.h"
#include "TapTestSupport.h"
#include "WineTestSupport.h"
#include "resource.h"
#include "FakeMidiControls.h"

namespace {

using namespace wine_test;
using Times = std::vector<uint32_t>;

constexpr LPARAM KeyA = 0x001E0001;        // scan code 0x1E, first press
constexpr LPARAM KeyARepeat = 0x401E0001;  // bit 30: the key was down already
constexpr LPARAM KeyB = 0x00300001;

const auto periodBalance = FindFakeMidiControls().GetPeriodBalance;

void PostKey(HWND dialog, WPARAM key, LPARAM flags = KeyA)
{
    PostMessageA(dialog, WM_KEYDOWN, key, flags);
}

// What the main window does with the dialog's take (the take is listed),
// with every call recorded in order, and what held when the take was
// handed over.
class RecordingHandler final : public TapTakeHandler {
public:
    explicit RecordingHandler(UINT journalPeriod = TakeJournalPeriod) : period(journalPeriod) {}

    void DialogOpened(HWND dialog) override
    {
        calls.push_back("opened");
        opened = dialog;
    }
    void BeginJournal() override { calls.push_back("begin"); }
    void WriteJournal() override { ++writes; }
    void HandOverTake() override
    {
        calls.push_back("hand over");
        dialogAtHandOver = IsWindow(opened) != FALSE;
        priorityAtHandOver = GetPriorityClass(GetCurrentProcess());
        periodAtHandOver = periodBalance(g_TimeCaps.wPeriodMin);
        HandOverCurrentTake();
    }
    void EndJournal() override { calls.push_back("end"); }
    UINT JournalPeriod() const override { return period; }

    UINT period;
    std::vector<std::string> calls;
    HWND opened = nullptr;
    int writes = 0;
    bool dialogAtHandOver = false;
    DWORD priorityAtHandOver = 0;
    LONG periodAtHandOver = -1;
};

class TapInputDialogTest : public TapWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, periodBalance) << "the stand-in winmm.dll is not loaded";
        ASSERT_NO_FATAL_FAILURE(PrepareStartUp());
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    }

    void TearDown() override
    {
        CloseMainWindow();
        settingsAside.reset();
    }

    RecordingHandler handler;


    // Each action is one opening of the dialog; its take is dropped, so the
    // listed takes stay those the test put there.
    void RunOpenings(std::vector<WindowActions::Action> openings)
    {
        for (auto& opening : openings)
            opening = [run = opening](HWND dialog) {
                run(dialog);
                CurrentTake.HandOver();
                PostMessageA(dialog, WM_CLOSE, 0, 0);
            };
        const size_t count = openings.size();
        OnTapDialog(std::move(openings));
        for (size_t i = 0; i < count; ++i) {
            CurrentTake.Start();
            RunTapInputDialog(window, MainWindowTakeBook().CheckedTaps(), handler);
        }
    }

};

std::string CountText(HWND dialog)
{
    return GetTapDialogItems(dialog)[5].text;
}

TEST_F(TapInputDialogTest, EachNewKeyPressIsOneTapTimedWhenHandled)
{
    OnTapDialog({
        [](HWND dialog) {
            // Sent, not posted, so that the clock moves between them while
            // the time of the last retrieved message stays the same.
            SendMessageA(dialog, WM_KEYDOWN, 'A', KeyA);
            for (int i = 0; i < 3; ++i)
                SendMessageA(dialog, WM_KEYDOWN, 'A', KeyARepeat);  // held: no taps
            Sleep(60);
            SendMessageA(dialog, WM_KEYDOWN, 'B', KeyB);  // A still held
            SendMessageA(dialog, WM_KEYDOWN, 'B', KeyB | KeyARepeat);
            Sleep(60);
            SendMessageA(dialog, WM_KEYDOWN, 'A', KeyA);  // A again, after its release
            EXPECT_EQ(3u, CurrentTake.GetCount());
        },
        [](HWND dialog) {
            EXPECT_EQ("3", CountText(dialog));  // after the three WM_TAPPED
            PostKey(dialog, VK_ESCAPE);
        },
    });
    AddCommand();

    const std::vector<Times> takes = ListedTakes();
    ASSERT_EQ(1u, takes.size());
    ASSERT_EQ(3u, takes[0].size()) << "Escape is no tap";
    EXPECT_EQ(0u, takes[0][0]);
    EXPECT_GE(takes[0][1], 55u);
    EXPECT_LT(takes[0][1], 1000u);
    EXPECT_GE(takes[0][2] - takes[0][1], 55u);
}

TEST_F(TapInputDialogTest, CountShownIncludesTapsThatCameBeforeTheDialog)
{
    // MIDI input is started before the dialog exists: a note-on in between
    // is in the take, while its WM_TAPPED found no dialog to go to.
    CurrentTake.Start();
    CurrentTake.Append(1000);
    CurrentTake.Append(1500);
    OnTapDialog({
        [](HWND dialog) {
            EXPECT_EQ("2", CountText(dialog));
            PostKey(dialog, 'A');
        },
        [](HWND dialog) {
            EXPECT_EQ("3", CountText(dialog));
            PostKey(dialog, VK_ESCAPE);
        },
    });
    RunTapInputDialog(window, {}, handler);
    PumpMessages();
    EndActions();
    const std::vector<Times> takes = ListedTakes();
    ASSERT_EQ(1u, takes.size());
    EXPECT_EQ(3u, takes[0].size());
    EXPECT_EQ(500u, takes[0][1]);
}

TEST_F(TapInputDialogTest, EscapeAndTheCloseBoxHandOverTheTakeAlikeFromTwoTaps)
{
    const auto closeBox = [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
    const auto escape = [](HWND dialog) { PostKey(dialog, VK_ESCAPE); };
    OnTapDialog({
        // Two keys a few milliseconds apart: two taps. (Two in the same
        // millisecond would be a chord: one beat.)
        [&](HWND dialog) {
            SendMessageA(dialog, WM_KEYDOWN, 'X', KeyA);
            Sleep(3);
            PostKey(dialog, 'Y');
            escape(dialog);
        },
        [&](HWND dialog) {
            SendMessageA(dialog, WM_KEYDOWN, VK_SPACE, KeyA);
            Sleep(3);
            PostKey(dialog, VK_RETURN);
            closeBox(dialog);
        },
        [&](HWND dialog) {
            PostKey(dialog, 'X');
            escape(dialog);
        },
        [&](HWND dialog) {
            PostKey(dialog, 'X');
            closeBox(dialog);
        },
        closeBox,
    });
    for (int take = 0; take < 5; ++take)
        AddCommand();

    EXPECT_EQ(5u, script->Done());
    const std::vector<Times> takes = ListedTakes();
    ASSERT_EQ(2u, takes.size()) << "takes of fewer than two taps add no row";
    EXPECT_EQ(2u, takes[0].size());
    EXPECT_EQ(2u, takes[1].size());
    EXPECT_TRUE(CurrentTake.IsEmpty());
}

std::vector<std::pair<HWND, BOOL>> imeCalls;
BOOL WINAPI RecordIme(HWND window, BOOL enable)
{
    imeCalls.emplace_back(window, enable);
    return TRUE;
}

TEST_F(TapInputDialogTest, TimerPriorityAndImeChangeOnlyWhileOpen)
{
    const UINT period = g_TimeCaps.wPeriodMin;
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS));
    SetFocus(List());
    imeCalls.clear();
    g_pWINNLSEnableIME = RecordIme;

    // The owner's other windows (the graph) are disabled too, and only those
    // enabled before come back enabled.
    HWND graph = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, window, nullptr, nullptr, nullptr);
    HWND disabledBefore =
        CreateWindowA("STATIC", "", WS_POPUP | WS_DISABLED, 0, 0, 50, 50, window, nullptr, nullptr, nullptr);

    HWND seen = nullptr;
    OnTapDialog({[&](HWND dialog) {
        seen = dialog;
        EXPECT_EQ(static_cast<DWORD>(HIGH_PRIORITY_CLASS), GetPriorityClass(GetCurrentProcess()));
        EXPECT_EQ(1, periodBalance(period));
        EXPECT_FALSE(IsWindowEnabled(window));
        EXPECT_FALSE(IsWindowEnabled(graph));
        EXPECT_EQ(window, GetWindow(dialog, GW_OWNER));
        PostKey(dialog, VK_ESCAPE);
    }});
    AddCommand();
    g_pWINNLSEnableIME = nullptr;
    const DWORD after = GetPriorityClass(GetCurrentProcess());
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);

    EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), after);
    EXPECT_EQ(0, periodBalance(period));
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_TRUE(IsWindowEnabled(graph));
    EXPECT_FALSE(IsWindowEnabled(disabledBefore));
    DestroyWindow(graph);
    DestroyWindow(disabledBefore);
    EXPECT_EQ(List(), GetFocus());
    ASSERT_NE(nullptr, seen);
    EXPECT_EQ((std::vector<std::pair<HWND, BOOL>>{{seen, FALSE}, {seen, TRUE}}), imeCalls);
}

TEST_F(TapInputDialogTest, EveryOpeningShowsItsSettingsAtTheSamePixels)
{
    const std::string longName(70, 'n');
    const struct {
        int timeSigBase, tapMethod;
        std::string midiInName, baseNote, method;
    } openings[] = {
        {0, 0, "", LoadResString(IDS_NOTE_NAME_FIRST), LoadResString(IDS_KEYBOARD)},
        {5, 1, "Keys", LoadResString(IDS_NOTE_NAME_FIRST + 5), "Keys"},
        {2, 1, longName, LoadResString(IDS_NOTE_NAME_FIRST + 2), longName.substr(0, 63)},
    };
    // The rectangles of the table in dialog units, in painting order.
    const RECT units[6] = {{7, 7, 35, 15},   {43, 7, 173, 15},   {7, 22, 37, 30},
                           {43, 22, 173, 30}, {7, 37, 33, 45}, {43, 37, 93, 45}};
    std::vector<std::vector<TapDialogItem>> shown;
    std::vector<std::string> hints;
    RECT expected[6];
    RECT countUpdate = {};

    std::vector<WindowActions::Action> actions;
    for (size_t i = 0; i < std::size(openings); ++i) {
        actions.push_back([&, i](HWND dialog) {
            shown.push_back(GetTapDialogItems(dialog));
            // The hint line says how to tap with this method and how to
            // stop, under everything else and inside the dialog.
            const std::vector<TapDialogItem> hint = GetTapHintItems(dialog);
            const std::vector<TapDialogItem> feedback = GetTapFeedbackItems(dialog);
            RECT client{};
            GetClientRect(dialog, &client);
            hints.push_back(hint.size() == 1 ? hint[0].text : "<none>");
            if (hint.size() == 1) {
                for (const TapDialogItem& item : feedback)
                    EXPECT_GE(hint[0].rect.top, item.rect.bottom);
                EXPECT_LE(hint[0].rect.bottom, client.bottom);
                EXPECT_LE(hint[0].rect.right, client.right);
            }
            if (i == 0) {
                for (int item = 0; item < 6; ++item) {
                    expected[item] = units[item];
                    MapDialogRect(dialog, &expected[item]);
                }
                // A tap repaints the count and nothing else.
                ValidateRect(dialog, nullptr);
                SendMessageA(dialog, WM_TAPPED, 0, 0);
                GetUpdateRect(dialog, &countUpdate, FALSE);
            }
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
    }
    OnTapDialog(actions);
    for (const auto& opening : openings) {
        g_AppSettings.TimeSigBase = opening.timeSigBase;
        g_AppSettings.TapMethod = opening.tapMethod;
        g_AppSettings.MidiInName = opening.midiInName;
        CurrentTake.Start();
        RunTapInputDialog(window, {}, handler);
    }

    ASSERT_EQ(std::size(openings), shown.size());
    EXPECT_EQ((std::vector<std::string>{LoadResString(IDS_TAP_HINT_KEYS), LoadResString(IDS_TAP_HINT_MIDI),
                                        LoadResString(IDS_TAP_HINT_MIDI)}),
              hints);
    const std::string labels[3] = {LoadResString(IDS_LABEL_BASENOTE), LoadResString(IDS_LABEL_METHOD),
                                   LoadResString(IDS_LABEL_TAPS)};
    for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE("opening " + std::to_string(i));
        const std::vector<TapDialogItem>& items = shown[i];
        ASSERT_EQ(6u, items.size());
        EXPECT_EQ((std::vector<std::string>{labels[0], openings[i].baseNote, labels[1], openings[i].method,
                                            labels[2], "0"}),
                  (std::vector<std::string>{items[0].text, items[1].text, items[2].text, items[3].text,
                                            items[4].text, items[5].text}));
        for (int item = 0; item < 6; ++item) {
            SCOPED_TRACE("item " + std::to_string(item));
            const RECT& rect = items[item].rect;
            if (item % 2 == 1) {
                EXPECT_TRUE(EqualRect(&expected[item], &rect));
                continue;
            }
            // A label's rectangle grows to its text, never into its value.
            EXPECT_EQ(expected[item].left, rect.left);
            EXPECT_EQ(expected[item].top, rect.top);
            EXPECT_GE(rect.right, expected[item].right);
            EXPECT_LE(rect.right, expected[item + 1].left);
            EXPECT_GE(rect.bottom, expected[item].bottom);
        }
    }
    EXPECT_TRUE(EqualRect(&expected[5], &countUpdate));
}


// A tap as the MIDI callback makes it: in the take first, then WM_TAPPED.
void Tap(HWND dialog, uint32_t time)
{
    CurrentTake.Append(time);
    SendMessageA(dialog, WM_TAPPED, 0, 0);
}

// Tempo, deviation label, deviation and warning as the dialog shows them.
std::vector<std::string> Feedback(HWND dialog)
{
    const std::vector<TapDialogItem> items = GetTapFeedbackItems(dialog);
    return {items[1].text, items[2].text, items[3].text, items[4].text};
}

// The same without the tempo.
std::vector<std::string> Deviation(HWND dialog)
{
    const std::vector<std::string> shown = Feedback(dialog);
    return {shown[1], shown[2], shown[3]};
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void ListSteadyTakes(int count, uint32_t interval, int taps)
{
    for (int i = 0; i < count; ++i) {
        Take take;
        for (int k = 0; k < taps; ++k)
            take.push_back(static_cast<uint32_t>(k) * interval);
        CurrentTake.Start(take);
        HandOverCurrentTake();
    }
}

TEST_F(TapInputDialogTest, SteadyTapsShowTheirTempoUnderTheCountRepaintingOnlyTheFeedback)
{
    std::mt19937 random(7);
    std::vector<WindowActions::Action> openings;
    for (int opening = 0; opening < 6; ++opening) {
        const uint32_t interval = std::uniform_int_distribution<uint32_t>(240, 1500)(random);
        const uint32_t start = opening == 0 ? 0xFFFFF000u : random();  // the clock may wrap in a take
        openings.push_back([=](HWND dialog) {
            SCOPED_TRACE("interval " + std::to_string(interval));
            Tap(dialog, start);
            EXPECT_EQ((std::vector<std::string>{"", "", "", ""}), Feedback(dialog)) << "no listed takes, one tap";
            for (uint32_t k = 1; k < 8; ++k) {
                ValidateRect(dialog, nullptr);
                Tap(dialog, start + k * interval);
                EXPECT_EQ((std::vector<std::string>{Format("%.1f BPM", 60000.0 / interval), "", "", ""}), Feedback(dialog));
            }
            // Only the count and the feedback wait to be painted.
            const std::vector<TapDialogItem> settings = GetTapDialogItems(dialog), feedback = GetTapFeedbackItems(dialog);
            const auto waiting = [dialog](const RECT& r) {
                RECT update{};
                return GetUpdateRect(dialog, &update, FALSE) && IntersectRect(&update, &update, &r) != 0;
            };
            EXPECT_TRUE(waiting(settings[5].rect));
            EXPECT_FALSE(waiting(settings[1].rect) || waiting(settings[3].rect));
            RECT client{};
            GetClientRect(dialog, &client);
            for (const TapDialogItem& item : feedback) {
                EXPECT_GE(item.rect.top, settings[5].rect.bottom) << item.text;
                EXPECT_LE(item.rect.bottom, client.bottom) << item.text;
                EXPECT_LE(item.rect.right, client.right) << item.text;
            }
        });
    }
    RunOpenings(openings);
    EXPECT_TRUE(ListedTakes().empty());
}

TEST_F(TapInputDialogTest, DeviationFromTheListedTakesAndWarningsAboutTheLastTap)
{
    ListSteadyTakes(3, 500, 24);
    const std::string label = LoadResString(IDS_TAP_DEVIATION), missed = LoadResString(IDS_TAP_MISSED),
                      extra = LoadResString(IDS_TAP_EXTRA);
    std::mt19937 random(11);
    std::vector<WindowActions::Action> openings;
    for (int opening = 0; opening < 8; ++opening) {
        const uint32_t beats = std::uniform_int_distribution<uint32_t>(2, 20)(random);
        int off = std::uniform_int_distribution<int>(-120, 119)(random);
        off += off >= 0;  // never 0
        openings.push_back([=](HWND dialog) {
            EXPECT_EQ(label, Feedback(dialog)[1]);
            for (uint32_t k = 0; k < beats; ++k)
                Tap(dialog, 9000 + k * 500);
            EXPECT_EQ("0 ms", Feedback(dialog)[2]);
            Tap(dialog, 9000 + beats * 500 + off);
            EXPECT_EQ((std::vector<std::string>{label, Format(off > 0 ? "%+.0f ms" : "%.0f ms", off), ""}), Deviation(dialog))
                << beats << " beats";
        });
    }
    // A missed beat and an extra tap; the beat count goes on as the music
    // does, so the taps after them are on their beats, until the listed
    // takes end.
    openings.push_back([&](HWND dialog) {
        const auto at = [](uint32_t beat) { return 100 + beat * 500; };
        for (uint32_t k = 0; k < 6; ++k)
            Tap(dialog, at(k));
        Tap(dialog, at(7));
        EXPECT_EQ((std::vector<std::string>{label, "0 ms", missed}), Deviation(dialog));
        Tap(dialog, at(8));
        EXPECT_EQ("", Feedback(dialog)[3]);
        Tap(dialog, at(8) + 140);
        EXPECT_EQ(extra, Feedback(dialog)[3]);
        for (uint32_t k = 9; k < 24; ++k)
            Tap(dialog, at(k));
        const std::vector<std::string> last = Feedback(dialog);
        EXPECT_EQ((std::vector<std::string>{"120.0 BPM", label, ""}), (std::vector<std::string>{last[0], last[1], last[3]}));
        EXPECT_LE(std::abs(std::stoi(last[2])), 5) << last[2];
        Tap(dialog, at(24));
        EXPECT_EQ("", Feedback(dialog)[2]) << "beyond the listed takes";
    });
    RunOpenings(openings);
    // Unchecked takes are not in the tempo map, so nothing to deviate from.
    for (int row = 0; row < 3; ++row)
        ListView_SetCheckState(List(), row, FALSE);
    PumpMessages();
    ASSERT_TRUE(MainWindowTakeBook().CheckedTaps().empty());
    RunOpenings({[](HWND dialog) {
        for (uint32_t k = 0; k < 4; ++k)
            Tap(dialog, k * 500);
        EXPECT_EQ((std::vector<std::string>{"120.0 BPM", "", "", ""}), Feedback(dialog));
    }});
    EXPECT_EQ(3u, ListedTakes().size());
}
// Pumps this thread's messages for `ms` milliseconds, timer messages
// included, from inside an action.
void PumpFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    }
}

TEST_F(TapInputDialogTest, OwnerIsToldOfEachMomentInOrderAndGetsTheTakeBeforeTheDialogGoes)
{
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS));
    RecordingHandler recording(20);
    std::vector<std::string> callsWhileOpen;
    OnTapDialog({[&](HWND dialog) {
        callsWhileOpen = recording.calls;
        EXPECT_EQ(dialog, recording.opened);
        EXPECT_EQ(dialog, FindTapInputDialog());
        EXPECT_TRUE(GetTapDialogItems(window).empty()) << "the main window is no tap dialog";
        SendMessageA(dialog, WM_KEYDOWN, 'A', KeyA);
        Sleep(30);
        SendMessageA(dialog, WM_KEYDOWN, 'B', KeyB);
        PumpFor(200);
        PostKey(dialog, VK_ESCAPE);
    }});
    CurrentTake.Start();
    RunTapInputDialog(window, {}, recording);
    const DWORD after = GetPriorityClass(GetCurrentProcess());
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    PumpMessages();
    EndActions();

    EXPECT_EQ((std::vector<std::string>{"opened", "begin"}), callsWhileOpen);
    EXPECT_EQ((std::vector<std::string>{"opened", "begin", "hand over", "end"}), recording.calls);
    // About ten periods went by; a timer message may come late, not often.
    EXPECT_GE(recording.writes, 3);
    EXPECT_LE(recording.writes, 11);
    EXPECT_TRUE(recording.dialogAtHandOver) << "handed over from the dialog's WM_DESTROY";
    EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), recording.priorityAtHandOver);
    EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), after);
    EXPECT_EQ(0, recording.periodAtHandOver) << "the timer period is restored before the hand-over";
    EXPECT_EQ(nullptr, FindTapInputDialog());
    const std::vector<Times> takes = ListedTakes();
    ASSERT_EQ(1u, takes.size());
    EXPECT_EQ(2u, takes[0].size());
}

TEST_F(TapInputDialogTest, TapsAreComparedWithTheTakesTheOwnerGivesNotWithTheList)
{
    // Three steady takes that are in no list; the list itself stays empty.
    std::vector<Take> given(3);
    TakeList listed;
    for (Take& take : given) {
        for (uint32_t k = 0; k < 16; ++k)
            take.push_back(k * 400);
        listed.push_back(&take);
    }
    const std::string label = LoadResString(IDS_TAP_DEVIATION);
    std::vector<std::vector<std::string>> seen;
    OnTapDialog({[&](HWND dialog) {
                     for (uint32_t k = 0; k < 5; ++k)
                         Tap(dialog, 3000 + k * 400);
                     Tap(dialog, 3000 + 5 * 400 + 30);
                     seen.push_back(Deviation(dialog));
                     CurrentTake.HandOver();
                     PostMessageA(dialog, WM_CLOSE, 0, 0);
                 },
                 [&](HWND dialog) {
                     for (uint32_t k = 0; k < 6; ++k)
                         Tap(dialog, k * 400);
                     seen.push_back(Deviation(dialog));
                     CurrentTake.HandOver();
                     PostMessageA(dialog, WM_CLOSE, 0, 0);
                 }});
    CurrentTake.Start();
    RunTapInputDialog(window, listed, handler);
    CurrentTake.Start();
    RunTapInputDialog(window, {}, handler);
    EndActions();

    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ((std::vector<std::string>{label, "+30 ms", ""}), seen[0]);
    EXPECT_EQ((std::vector<std::string>{"", "", ""}), seen[1]) << "nothing given, nothing to deviate from";
    EXPECT_TRUE(ListedTakes().empty());
}

}  // namespace
