// The tap latency dialog in-process: the real dialog from its template,
// its clicks played on the stand-in winmm.dll's virtual wave clock, which
// only the test moves, so that a tap posted at a click's time plus 30 ms is
// exactly 30 ms late. The actions run from a thread timer inside the
// dialog's own message loop; its message boxes are answered and read.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AppGlobals.h"
#include "FakeMidiControls.h"
#include "FakeWaveControls.h"
#include "IniFile.h"
#include "LatencyDialog.h"
#include "LatencySettings.h"
#include "LatencySettingsWin32.h"
#include "Messages.h"
#include "MidiIn.h"
#include "SettingsWin32.h"
#include "Take.h"
#include "TapLatency.h"
#include "WidePath.h"
#include "WineTestSupport.h"
#include "resource.h"

namespace {

using namespace wine_test;

const FakeWaveControls wave = FindFakeWaveControls();
const FakeMidiControls midi = FindFakeMidiControls();
constexpr DWORD kClockStart = 7000000;
constexpr uint32_t kSamplesPerMs = 48;  // the dialog's click track runs at 48 kHz
constexpr uint32_t kStep = 2400;        // one of the player's buffers
constexpr LPARAM KeyA = 0x001E0001;
constexpr LPARAM KeyARepeat = 0x401E0001;  // bit 30: the key was down already
constexpr DWORD NoteOn = 0x403C90;

// Until the player has written again every buffer the device returned.
bool CaughtUp()
{
    for (int i = 0; i < 10000; ++i) {
        if (wave.GetDoneCount() == 0)
            return true;
        Sleep(1);
    }
    return false;
}

// The click track as heard: the samples played since the run started, moved
// in steps of at most a buffer so that the device never runs dry.
class ClickTrack {
public:
    void NewRun() { played = 0; }
    double Ms() const { return static_cast<double>(played) / kSamplesPerMs; }

    void PlayTo(double ms)
    {
        const uint64_t target = static_cast<uint64_t>(std::llround(ms * kSamplesPerMs));
        while (played < target) {
            const uint32_t step = static_cast<uint32_t>(std::min<uint64_t>(kStep, target - played));
            ASSERT_TRUE(wave.Advance(step));
            ASSERT_TRUE(CaughtUp());
            played += step;
        }
    }

    // On to the end of the track, until the dialog's notice that the clicks
    // have played is waiting for it.
    void PlayOut(HWND dialog)
    {
        MSG message;
        for (int i = 0; i < 2000; ++i) {
            if (PeekMessageA(&message, dialog, WM_LATENCYPLAYED, WM_LATENCYPLAYED, PM_NOREMOVE))
                return;
            ASSERT_TRUE(wave.Advance(kStep));
            ASSERT_TRUE(CaughtUp());
            played += kStep;
        }
        FAIL() << "the clicks never ended";
    }

private:
    uint64_t played = 0;
};

// What the main window does for a MIDI input: the dialog gets the taps,
// and the device is started and stopped around each run.
class MidiHooks final : public LatencyMidiHooks {
public:
    void DialogOpened(HWND dialog) override { SetMidiInTarget(dialog); }
    void StartInput() override
    {
        startClock = timeGetTime();
        ++starts;
        midiInStart(GetMidiInHandle());
    }
    void StopInput() override
    {
        ++stops;
        midiInStop(GetMidiInHandle());
    }

    DWORD startClock = 0;
    int starts = 0, stops = 0;
};

class LatencyDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(wave.Complete() && midi.IsStandIn) << "the stand-in winmm.dll is not loaded";
        g_hInstance = GetModuleHandleA(nullptr);
        ASSERT_EQ(static_cast<MMRESULT>(TIMERR_NOERROR), timeGetDevCaps(&g_TimeCaps, sizeof g_TimeCaps));
        wave.SetDeviceCount(1);
        wave.SetVirtualClock(TRUE, kClockStart);
        settingsPath = NarrowForDisplay(GetSettingsPath());
        ASSERT_FALSE(settingsPath.empty());
        settingsAside = std::make_unique<FileAside>(settingsPath);
        const std::string text = "[AppSetting]\r\nTapMethod=0\r\n[TapLatency]\r\nKeyboard=12\r\n";
        WriteBytes(settingsPath, std::vector<uint8_t>(text.begin(), text.end()));
        SettingsFile = IniFile();
        LoadSettingsFile();
        owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(owner, nullptr);
    }

    void TearDown() override
    {
        if (owner)
            DestroyWindow(owner);
        CloseMidiIn();
        midi.SetDevices(nullptr);
        CurrentTake.HandOver();
        wave.SetVirtualClock(FALSE, 0);
        EXPECT_EQ(wave.GetOpenCount(), 0u) << "the wave device was left open";
        SettingsFile = IniFile();
        settingsAside.reset();
    }

    // The dialog is a "#32770" too: the answerer takes it for a box, with
    // the first answer (IDCANCEL, which the dialog ignores). The boxes are
    // those the dialog owns.
    static void AnswerTheDialog(DialogAnswerer& answers) { answers.Press(IDCANCEL); }
    std::vector<SeenBox> Boxes(const DialogAnswerer& answers) const
    {
        std::vector<SeenBox> boxes;
        for (const SeenBox& box : answers.Boxes())
            if (box.owner != owner)
                boxes.push_back(box);
        return boxes;
    }

    std::string SettingsOnDisk() const
    {
        const std::vector<uint8_t> bytes = ReadBytes(settingsPath);
        return std::string(bytes.begin(), bytes.end());
    }

    // Runs the dialog for `input` with `actions` done one per timer tick.
    bool Run(const LatencyInput& input, std::vector<WindowActions::Action> actions, size_t& done, int& strays)
    {
        WindowActions driver(FindLatencyDialog, std::move(actions));
        const bool measured = RunLatencyDialog(owner, input);
        done = driver.Done();
        strays = driver.Strays();
        TakeQuitMessage();
        return measured;
    }

    // Key taps `offsetMs` from each of `clicks` (indices into the schedule).
    std::vector<WindowActions::Action> KeyTaps(const std::vector<size_t>& clicks, double offsetMs)
    {
        std::vector<WindowActions::Action> actions;
        for (const size_t click : clicks) {
            actions.push_back([this, click, offsetMs](HWND dialog) {
                track.PlayTo(LatencyClickTimesMs()[click] + offsetMs);
                PostMessageA(dialog, WM_KEYDOWN, 'A', KeyA);
            });
        }
        return actions;
    }

    static std::vector<size_t> Clicks(size_t first, size_t end)
    {
        std::vector<size_t> clicks;
        for (size_t i = first; i < end; ++i)
            clicks.push_back(i);
        return clicks;
    }

    std::string settingsPath;
    std::unique_ptr<FileAside> settingsAside;
    HWND owner = nullptr;
    ClickTrack track;
};

TEST_F(LatencyDialogTest, KeyTapsThirtyMsLateAreMeasuredShownAndSaved)
{
    DialogAnswerer answers;
    AnswerTheDialog(answers);
    ASSERT_TRUE(answers.Ready());
    answers.Press(IDOK);
    std::vector<std::string> midRun;
    std::vector<WindowActions::Action> actions = KeyTaps(Clicks(0, 6), 30.0);
    // A held key's auto-repeat is no tap of its own; the texts show the
    // clicks heard and the taps so far.
    actions.push_back([](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, 'A', KeyARepeat); });
    actions.push_back([&](HWND dialog) { midRun = GetLatencyDialogTexts(dialog); });
    for (auto& action : KeyTaps(Clicks(6, kLatencyClickCount), 30.0))
        actions.push_back(std::move(action));
    actions.push_back([&](HWND dialog) { track.PlayOut(dialog); });
    const size_t actionCount = actions.size();

    size_t done = 0;
    int strays = 0;
    EXPECT_TRUE(Run({KeyboardLatencyInput, nullptr}, std::move(actions), done, strays));
    EXPECT_EQ(done, actionCount);
    EXPECT_EQ(strays, 0);
    EXPECT_NEAR(LoadTapLatency(KeyboardLatencyInput), 30.0, 1.0);

    ASSERT_EQ(midRun.size(), 4u);
    EXPECT_EQ(midRun[0], LoadResString(IDS_LATENCY_INSTRUCTION));
    EXPECT_EQ(midRun[1], LoadResString(IDS_LATENCY_PROGRESS, "6", "24"));
    EXPECT_EQ(midRun[2], LoadResString(IDS_LATENCY_TAPS, "6"));
    EXPECT_EQ(midRun[3], LoadResString(IDS_LATENCY_HINT_KEYS));

    ASSERT_EQ(Boxes(answers).size(), 1u);
    const SeenBox box = Boxes(answers)[0];
    EXPECT_EQ(box.text, LoadResString(IDS_LATENCY_RESULT, "+30", "0"));
    EXPECT_NE(box.text.find("+30 ms"), std::string::npos);
    EXPECT_EQ(box.style, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(box.caption, LoadResString(IDS_CAPTION_INFO));

    // Kept in the file at once, beside what was there, and read back by a
    // fresh start.
    const std::string onDisk = SettingsOnDisk();
    EXPECT_NE(onDisk.find("[TapLatency]\r\nKeyboard="), std::string::npos) << onDisk;
    EXPECT_NE(onDisk.find("TapMethod=0"), std::string::npos);
    SettingsFile = IniFile();
    LoadSettingsFile();
    EXPECT_NEAR(LoadTapLatency(KeyboardLatencyInput), 30.0, 1.0);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(FindLatencyDialog(), nullptr);
    EXPECT_EQ(midi.GetPeriodBalance(g_TimeCaps.wPeriodMin), 0);
}

TEST_F(LatencyDialogTest, TooFewTapsAskAgainAndYesPlaysTheClicksAgain)
{
    DialogAnswerer answers;
    AnswerTheDialog(answers);
    answers.Press(IDYES).Press(IDOK);
    // Eight taps after the count-in, and a ninth too early to pair.
    std::vector<WindowActions::Action> actions = KeyTaps(Clicks(4, 12), 10.0);
    for (auto& action : KeyTaps({12}, -160.0))
        actions.push_back(std::move(action));
    actions.push_back([&](HWND dialog) {
        track.PlayOut(dialog);
        track.NewRun();
    });
    // The second run: 15 ms early, give or take 3 or 6 (a spread of 3).
    const double jitter[5] = {-6.0, -3.0, 0.0, 3.0, 6.0};
    for (size_t click = 0; click < kLatencyClickCount; ++click)
        for (auto& action : KeyTaps({click}, -15.0 + jitter[click % 5]))
            actions.push_back(std::move(action));
    actions.push_back([&](HWND dialog) { track.PlayOut(dialog); });

    size_t done = 0;
    int strays = 0;
    EXPECT_TRUE(Run({KeyboardLatencyInput, nullptr}, std::move(actions), done, strays));
    EXPECT_EQ(strays, 0);
    ASSERT_EQ(Boxes(answers).size(), 2u);
    EXPECT_EQ(Boxes(answers)[0].text, LoadResString(IDS_LATENCY_TOO_FEW, "8", "12"));
    EXPECT_EQ(Boxes(answers)[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(Boxes(answers)[1].text, LoadResString(IDS_LATENCY_RESULT, "-15", "3"));
    EXPECT_NEAR(LoadTapLatency(KeyboardLatencyInput), -15.0, 1.0);
}

TEST_F(LatencyDialogTest, TooFewTapsAndNoKeepTheOldValue)
{
    DialogAnswerer answers;
    AnswerTheDialog(answers);
    answers.Press(IDNO);
    std::vector<WindowActions::Action> actions = KeyTaps(Clicks(0, 10), 30.0);
    actions.push_back([&](HWND dialog) { track.PlayOut(dialog); });
    size_t done = 0;
    int strays = 0;
    const std::string before = SettingsOnDisk();
    EXPECT_FALSE(Run({KeyboardLatencyInput, nullptr}, std::move(actions), done, strays));
    EXPECT_EQ(strays, 0);
    ASSERT_EQ(Boxes(answers).size(), 1u);
    EXPECT_EQ(Boxes(answers)[0].text, LoadResString(IDS_LATENCY_TOO_FEW, "6", "12"));
    EXPECT_DOUBLE_EQ(LoadTapLatency(KeyboardLatencyInput), 12.0);
    EXPECT_EQ(SettingsOnDisk(), before);
}

TEST_F(LatencyDialogTest, EscapeCancelsWithoutSaving)
{
    DialogAnswerer answers;
    AnswerTheDialog(answers);
    std::vector<WindowActions::Action> actions = KeyTaps(Clicks(0, 20), 30.0);
    actions.push_back([](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); });
    const size_t actionCount = actions.size();
    size_t done = 0;
    int strays = 0;
    const std::string before = SettingsOnDisk();
    EXPECT_FALSE(Run({KeyboardLatencyInput, nullptr}, std::move(actions), done, strays));
    EXPECT_EQ(done, actionCount);
    EXPECT_EQ(strays, 0);
    EXPECT_TRUE(Boxes(answers).empty());
    EXPECT_DOUBLE_EQ(LoadTapLatency(KeyboardLatencyInput), 12.0);
    EXPECT_EQ(SettingsOnDisk(), before);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(midi.GetPeriodBalance(g_TimeCaps.wPeriodMin), 0);
}

TEST_F(LatencyDialogTest, MidiTapsAreTimedByTheirStampsAndKeptForTheDevice)
{
    midi.SetDevices("Other;Keys A");
    ASSERT_TRUE(OpenMidiIn(owner, "Keys A"));
    MidiHooks hooks;
    DialogAnswerer answers;
    AnswerTheDialog(answers);
    answers.Press(IDOK);
    std::vector<WindowActions::Action> actions;
    const std::vector<double> clicks = LatencyClickTimesMs();
    for (size_t i = 0; i < clicks.size(); ++i) {
        actions.push_back([&, i](HWND dialog) {
            track.PlayTo(clicks[i] + 45.0);
            // A note-on stamped by the driver at this moment; keys are no
            // taps with MIDI input.
            ASSERT_TRUE(midi.Send(NoteOn, timeGetTime() - hooks.startClock));
            PostMessageA(dialog, WM_KEYDOWN, 'A', KeyA);
        });
    }
    std::vector<std::string> lastTexts;
    actions.push_back([&](HWND dialog) {
        lastTexts = GetLatencyDialogTexts(dialog);
        track.PlayOut(dialog);
    });
    size_t done = 0;
    int strays = 0;
    EXPECT_TRUE(Run({"Keys A", &hooks}, std::move(actions), done, strays));
    EXPECT_EQ(strays, 0);
    EXPECT_EQ(hooks.starts, 1);
    EXPECT_EQ(hooks.stops, 1);
    EXPECT_FALSE(midi.IsStarted());
    EXPECT_TRUE(CurrentTake.IsEmpty());
    ASSERT_EQ(lastTexts.size(), 4u);
    EXPECT_EQ(lastTexts[2], LoadResString(IDS_LATENCY_TAPS, "24"));
    EXPECT_EQ(lastTexts[3], LoadResString(IDS_LATENCY_HINT_MIDI));
    ASSERT_EQ(Boxes(answers).size(), 1u);
    EXPECT_EQ(Boxes(answers)[0].text, LoadResString(IDS_LATENCY_RESULT, "+45", "0"));
    EXPECT_NEAR(LoadTapLatency("Keys A"), 45.0, 1.0);
    EXPECT_DOUBLE_EQ(LoadTapLatency(KeyboardLatencyInput), 12.0);
    EXPECT_NE(SettingsOnDisk().find("\r\nKeys A="), std::string::npos);
}

TEST_F(LatencyDialogTest, WithoutSoundOutputItSaysSoAndKeepsNothing)
{
    wave.SetDeviceCount(0);
    DialogAnswerer answers;
    AnswerTheDialog(answers);
    answers.Press(IDOK);
    size_t done = 0;
    int strays = 0;
    const std::string before = SettingsOnDisk();
    EXPECT_FALSE(Run({KeyboardLatencyInput, nullptr}, {}, done, strays));
    wave.SetDeviceCount(1);
    EXPECT_EQ(strays, 0);
    ASSERT_EQ(Boxes(answers).size(), 1u);
    EXPECT_EQ(Boxes(answers)[0].text, LoadResString(IDS_LATENCY_NO_SOUND));
    EXPECT_EQ(Boxes(answers)[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(SettingsOnDisk(), before);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(FindLatencyDialog(), nullptr);
    EXPECT_EQ(midi.GetPeriodBalance(g_TimeCaps.wPeriodMin), 0);
}

}  // namespace
