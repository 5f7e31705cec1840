// MIDI taps in-process: the real main window and tap dialog with MIDI input
// devices of the stand-in winmm.dll, whose callbacks come from its own
// threads as a driver's do. Message boxes are answered by a script; the tap
// dialog is driven from inside its own message loop by actions on a thread timer.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AppGlobals.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MidiIn.h"
#include "SettingsWin32.h"
#include "WidePath.h"
#include "Take.h"
#include "TakeListView.h"
#include "TapInputDialog.h"
#include "TapTestSupport.h"
#include "WineTestSupport.h"
#include "resource.h"
#include "FakeMidiControls.h"

namespace {

using namespace wine_test;
using Times = std::vector<uint32_t>;

constexpr DWORD NoteOn = 0x403C90;  // channel 1, middle C, velocity 64

const FakeMidiControls fake = FindFakeMidiControls();

class MidiInTest : public TapWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fake.IsStandIn && fake.IsStandIn()) << "the stand-in winmm.dll is not loaded";
        g_hInstance = GetModuleHandleA(nullptr);
        ASSERT_EQ(static_cast<MMRESULT>(TIMERR_NOERROR), timeGetDevCaps(&g_TimeCaps, sizeof g_TimeCaps));
        ASSERT_TRUE(PrepareMainWindowClass());
        // The build folder's name is ASCII: its ANSI spelling is exact.
        std::string path = NarrowForDisplay(GetSettingsPath());
        ASSERT_FALSE(path.empty());
        settingsPath = path;
        settingsAside = std::make_unique<FileAside>(settingsPath);
        OnTapDialog({});  // a tap dialog that no test expects fails it
    }

    void TearDown() override
    {
        EndActions();
        CloseWindow();
        CloseMidiIn();
        fake.SetBurst(0);
        fake.SetBurstCounting(FALSE);
        fake.SetDevices(nullptr);
        CurrentTake.HandOver();
        settingsAside.reset();
    }

    // Start-up with the MIDI method and these devices.
    void OpenWindow(const char* devices, const std::string& midiIn)
    {
        fake.SetDevices(devices);
        const std::string text = "[AppSetting]\r\nTapMethod=1\r\nMidiIn=" + midiIn + "\r\n";
        WriteBytes(settingsPath, std::vector<uint8_t>(text.begin(), text.end()));
        SettingsFile = IniFile();
        LoadSettingsFile();
        window = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(nullptr, window);
        PumpMessages();
    }

    void CloseWindow()
    {
        if (window && IsWindow(window))
            SendMessageA(window, WM_CLOSE, 0, 0);
        TakeQuitMessage();
    }


    std::string CountColumn(int row) const
    {
        char text[16] = "";
        LVITEMA item = {};
        item.iSubItem = 1;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }

    std::string settingsPath;
    std::unique_ptr<FileAside> settingsAside;
};

TEST_F(MidiInTest, DevicesAreFoundByTheirExactNameLowestIdFirst)
{
    const struct {
        const char* devices;
        const char* name;
        int id;  // -1: not found
    } cases[] = {
        {"Keys;Other;Keys", "Keys", 0},
        {"Other;Keys;Keys", "Keys", 1},
        {"Keys?2;Keys", "Keys", 1},  // capabilities unreadable: skipped
        {"Keys", "keys", -1},
        {"KEYS;Keys ", "Keys", -1},
        {"?0;Keys", "", 0},
        {"Keys", "", -1},
        {"", "Keys", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.devices) + " / " + c.name);
        fake.SetDevices(c.devices);
        UINT id = 99;
        EXPECT_EQ(c.id >= 0, FindMidiInDevice(c.name, id));
        if (c.id >= 0) {
            EXPECT_EQ(static_cast<UINT>(c.id), id);
        }
    }

    // Opening takes the same device: the lower id of two equal names.
    const std::string log = BesideTestProgram("MidiInTest-open.log");
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("FAKEMIDI_LOG", log.c_str());
    OpenWindow("Other;Keys;Keys", "Keys");
    SetEnvironmentVariableA("FAKEMIDI_LOG", nullptr);
    const std::vector<uint8_t> logged = ReadBytes(log);
    DeleteFileA(log.c_str());
    EXPECT_TRUE(IsMidiInOpen());
    EXPECT_EQ("open 1\n", std::string(logged.begin(), logged.end()));
}

TEST_F(MidiInTest, NoteOnsWithVelocityAreTapsAtTheDriversTimeStamps)
{
    {
        DialogAnswerer answerer;
        OpenWindow("Other;Keys", "Keys");
        EXPECT_TRUE(answerer.Boxes().empty());
    }
    ASSERT_TRUE(IsMidiInOpen());
    const DWORD priority = GetPriorityClass(GetCurrentProcess());

    OnTapDialog({
        [&](HWND dialog) {
            EXPECT_TRUE(fake.IsStarted());
            EXPECT_EQ(priority, GetPriorityClass(GetCurrentProcess()));
            EXPECT_EQ(0, fake.GetPeriodBalance(g_TimeCaps.wPeriodMin));
            const DWORD messages[][2] = {
                {NoteOn, 1000},
                {0x003C90, 1100},  // velocity 0: a note-off
                {0x403C80, 1200},  // note-off
                {0x7F07B0, 1300},  // controller
                {0xF8, 1400},      // clock
                {0xFE, 1450},      // active sensing
                {0x013C9F, 1480},  // velocity 1 on channel 16
                {0x7F4591, 2010},
            };
            for (const auto& m : messages)
                EXPECT_TRUE(fake.Send(m[0], m[1]));
            // Keys are no taps with the MIDI method.
            PostMessageA(dialog, WM_KEYDOWN, 'A', 0x001E0001);
            PostMessageA(dialog, WM_KEYDOWN, VK_SPACE, 0x00390001);
        },
        [](HWND dialog) {
            EXPECT_EQ(dialog, MidiInTarget());
            EXPECT_EQ("3", GetTapDialogItems(dialog)[5].text);
            EXPECT_EQ(3u, CurrentTake.GetCount());
            PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        },
        // The next take counts from its own start, with the device opened once.
        [](HWND dialog) {
            EXPECT_TRUE(fake.Send(NoteOn, 50));
            EXPECT_TRUE(fake.Send(NoteOn, 70));
            PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        },
    });
    AddCommand();
    EXPECT_FALSE(fake.IsStarted()) << "input stops with the dialog";
    EXPECT_EQ(1u, fake.GetOpenCount()) << "the device stays open between takes";
    AddCommand();

    EXPECT_EQ((std::vector<Times>{{0, 480, 1010}, {0, 20}}), ListedTakes());
    CloseWindow();
    EXPECT_EQ(0u, fake.GetOpenCount());
    EXPECT_FALSE(IsMidiInOpen());
}

TEST_F(MidiInTest, MissingDeviceIsAWarningAtStartUpAndAtEveryAdd)
{
    const HWND lastDialog = MidiInTarget();
    {
        DialogAnswerer answerer;
        OpenWindow("Other;keys", "Keys");
        AddCommand();
        ASSERT_EQ(2u, answerer.Boxes().size());
        for (const SeenBox& box : answerer.Boxes()) {
            EXPECT_EQ(window, box.owner);
            EXPECT_EQ(LoadResString(IDS_NO_MIDI_DEVICE), box.text);
            EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), box.caption);
            EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), box.style);
        }
    }
    EXPECT_EQ(lastDialog, MidiInTarget()) << "no tap dialog";
    EXPECT_TRUE(CurrentTake.IsEmpty());
    EXPECT_FALSE(IsMidiInOpen());

    // Once the device is there, the next add command opens it.
    fake.SetDevices("Other;keys;Keys");
    OnTapDialog({[](HWND dialog) {
        fake.Send(NoteOn, 10);
        fake.Send(NoteOn, 20);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    }});
    AddCommand();
    EXPECT_TRUE(IsMidiInOpen());
    EXPECT_EQ((std::vector<Times>{{0, 10}}), ListedTakes());
}

TEST_F(MidiInTest, FailedOpeningShowsTheDriversTextOrNothingAndNoDialog)
{
    char allocated[256] = "";
    ASSERT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR),
              midiInGetErrorTextA(MMSYSERR_ALLOCATED, allocated, sizeof allocated));
    const HWND lastDialog = MidiInTarget();

    for (const char* devices : {"Broken!4", "Broken!77"}) {  // 77: no text for it
        SCOPED_TRACE(devices);
        DialogAnswerer answerer;
        OpenWindow(devices, "Broken");
        AddCommand();
        const size_t expected = devices == std::string("Broken!4") ? 2 : 0;
        ASSERT_EQ(expected, answerer.Boxes().size());
        for (const SeenBox& box : answerer.Boxes()) {
            EXPECT_EQ(window, box.owner);
            EXPECT_EQ(allocated, box.text);
            EXPECT_EQ(LoadResString(IDS_CAPTION_ERROR), box.caption);
            EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.style);
        }
        EXPECT_FALSE(IsMidiInOpen());
        CloseWindow();
    }
    EXPECT_EQ(lastDialog, MidiInTarget()) << "no tap dialog";
}

TEST_F(MidiInTest, NoteOnsArrivingDuringTheHandOverNeverReachTheListedTake)
{
    OpenWindow("Keys", "Keys");
    ASSERT_TRUE(IsMidiInOpen());
    constexpr int Takes = 15;
    std::vector<WindowActions::Action> actions;
    for (int i = 0; i < Takes; ++i) {
        actions.push_back([&, i](HWND dialog) {
            SCOPED_TRACE("take " + std::to_string(i));
            fake.SetBurst(NoteOn);
            for (int wait = 0; wait < 2000 && CurrentTake.GetCount() < 20u + 7u * static_cast<unsigned>(i); ++wait)
                Sleep(1);
            // Closed while the stand-in keeps delivering; the input is
            // stopped only after the dialog has gone.
            SendMessageA(dialog, WM_CLOSE, 0, 0);
            ASSERT_FALSE(IsWindow(dialog));
            ASSERT_EQ(i + 1, static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)));
            const Take& listed = *MainWindowTakeBook().ListedTaps().back();
            const size_t count = listed.size();
            const LONG delivered = fake.GetDeliveredCount();
            for (int wait = 0; wait < 2000 && fake.GetDeliveredCount() < delivered + 50; ++wait)
                Sleep(1);
            EXPECT_GE(fake.GetDeliveredCount(), delivered + 50) << "the stand-in stopped delivering";
            EXPECT_EQ(count, listed.size());
            EXPECT_TRUE(CurrentTake.IsEmpty());
            fake.SetBurst(0);
        });
    }
    OnTapDialog(actions);
    for (int i = 0; i < Takes; ++i)
        AddCommand();

    const std::vector<Times> takes = ListedTakes();
    ASSERT_EQ(static_cast<size_t>(Takes), takes.size());
    for (size_t row = 0; row < takes.size(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        EXPECT_GE(takes[row].size(), 20u);
        EXPECT_EQ(std::to_string(takes[row].size()), CountColumn(static_cast<int>(row)));
        EXPECT_EQ(0u, takes[row].front());
        EXPECT_TRUE(std::is_sorted(takes[row].begin(), takes[row].end()));
    }
}

// The driver's thread delivering note-ons back to back against the hand-over
// of 10,000 takes, done the way the list takes them. Each note-on carries a
// stamp one higher than the one before, so every listed take must be a run
// of consecutive stamps (no tap lost, none twice), no two takes may share a
// stamp, and no take may grow once it has been handed over.
TEST_F(MidiInTest, TenThousandHandOversAgainstTheDriverAtFullRate)
{
    OpenWindow("Keys", "Keys");
    ASSERT_TRUE(IsMidiInOpen());
    fake.SetBurstCounting(TRUE);
    fake.SetBurst(NoteOn);
    ASSERT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR), midiInStart(GetMidiInHandle()));

    struct Listed {
        std::unique_ptr<Take> take;
        size_t size;
    };
    constexpr int Takes = 10000;
    std::vector<Listed> listed;
    listed.reserve(Takes);
    for (int i = 0; i < Takes; ++i) {
        CurrentTake.Start();
        const size_t want = 2 + static_cast<size_t>(i % 3);
        const DWORD started = GetTickCount();
        while (CurrentTake.GetCount() < want && GetTickCount() - started < 2000)
            Sleep(0);
        std::unique_ptr<Take> take = HandOverTakeForList(CurrentTake);
        ASSERT_NE(nullptr, take) << "take " << i << ": fewer than two taps in 2 s";
        const size_t size = take->size();
        listed.push_back({std::move(take), size});
    }
    // The driver goes on delivering into the empty slot for a while.
    const LONG delivered = fake.GetDeliveredCount();
    const DWORD waited = GetTickCount();
    while (fake.GetDeliveredCount() < delivered + 200 && GetTickCount() - waited < 2000)
        Sleep(1);
    EXPECT_GE(fake.GetDeliveredCount(), delivered + 200) << "the stand-in stopped delivering";
    fake.SetBurst(0);
    EXPECT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR), midiInStop(GetMidiInHandle()));
    EXPECT_TRUE(CurrentTake.IsEmpty());

    int grew = 0, broken = 0, overlapping = 0;
    uint32_t previousLast = 0;
    for (const Listed& l : listed) {
        const Take& take = *l.take;
        grew += take.size() != l.size;
        for (size_t k = 1; k < take.size(); ++k)
            broken += take[k] != take[k - 1] + 1;
        overlapping += take.front() <= previousLast;
        previousLast = take.back();
    }
    EXPECT_EQ(0, grew) << "taps appended after the hand-over";
    EXPECT_EQ(0, broken) << "stamps missing or repeated inside a take";
    EXPECT_EQ(0, overlapping) << "a stamp in two takes";
}

}  // namespace
