// The main window with a recording, in-process: opening it from the File
// menu and by a drop, its line, the session that names it and the start-up
// that opens it again (or says it is gone), and takes tapped along it on
// the stand-in winmm.dll's wave device, whose virtual clock the test moves:
// keyboard and MIDI taps land on the recording's timeline exactly, taps in
// the pre-roll are dropped, and the export is lined up with the recording.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "FakeMidiControls.h"
#include "FakeWaveControls.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MidiIn.h"
#include "OnsetStrength.h"
#include "Session.h"
#include "TakeSession.h"
#include "TapTestSupport.h"
#include "TempoExport.h"
#include "TempoGraphWindow.h"
#include "TempoPipeline.h"
#include "TestWav.h"
#include "WidePath.h"
#include "WineTestSupport.h"
#include "ControlIds.h"
#include "resource.h"

namespace {

using namespace wine_test;
using Times = std::vector<uint32_t>;

const FakeWaveControls wave = FindFakeWaveControls();
const FakeMidiControls midi = FindFakeMidiControls();
constexpr DWORD kClockStart = 7000000;
constexpr uint32_t kRate = 44100;
constexpr uint32_t kStep = kRate / 20;  // 50 ms, the player's buffer
constexpr DWORD NoteOn = 0x403C90;

// The tooltip window the main window owns.
BOOL CALLBACK FindMainTooltip(HWND window, LPARAM found)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpiA(name, TOOLTIPS_CLASSA) == 0 && GetWindow(window, GW_OWNER) == g_hMainWnd) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

class RecordingWindowTest : public TapWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(wave.Complete()) << "the stand-in winmm.dll is not loaded";
        ASSERT_NO_FATAL_FAILURE(PrepareStartUp());
        wave.SetDeviceCount(1);
        wave.SetVirtualClock(TRUE, kClockStart);
        sessionPath = NarrowForDisplay(GetSessionPath());
        recording = BesideTestProgram("RecordingWindowTest-song.wav");
        // Ten seconds of the known signal.
        test_wav::WriteWav(std::filesystem::path(recording), kRate, 1, 10 * kRate, false);
    }

    void TearDown() override
    {
        CloseMainWindow();
        if (midi.SetDevices)
            midi.SetDevices(nullptr);
        CloseMidiIn();
        wave.SetVirtualClock(FALSE, 0);
        EXPECT_EQ(0u, wave.GetOpenCount()) << "a wave device was left open";
        DeleteFileA(recording.c_str());
        settingsAside.reset();
    }

    void OpenWindow(const std::string& settings = "")
    {
        DeleteFileA(settingsPath.c_str());
        if (!settings.empty())
            WriteBytes(settingsPath, std::vector<uint8_t>(settings.begin(), settings.end()));
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    }

    void CloseWindow()
    {
        SendMessageA(window, WM_CLOSE, 0, 0);
        TakeQuitMessage();
        window = nullptr;
    }

    void OpenRecordingByMenu()
    {
        DialogAnswerer answerer;
        answerer.ChooseFile(recording);
        SendCommand(window, IDM_OPENRECORDING);
        EXPECT_TRUE(answerer.Boxes().empty()) << answerer.Boxes()[0].text;
    }

    std::string LineText() const
    {
        char text[512] = "";
        GetDlgItemTextA(window, IDC_RECORDINGLINE, text, sizeof text);
        return text;
    }
    bool LineShown() const { return IsWindowVisible(GetDlgItem(window, IDC_RECORDINGLINE)) != FALSE; }
    int Height() const
    {
        RECT r{};
        GetWindowRect(window, &r);
        return r.bottom - r.top;
    }

    void SetStart(const char* text)
    {
        SetDlgItemTextA(window, IDC_STARTPOS, text);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_STARTPOS, EN_KILLFOCUS),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_STARTPOS)));
    }

    // Plays `ms` of the open device in buffer-sized steps, letting the
    // player refill after each so that it never runs dry.
    static void Play(uint32_t ms)
    {
        for (uint32_t done = 0; done < ms; done += 50) {
            ASSERT_TRUE(wave.Advance(kStep));
            for (int i = 0; i < 10000 && wave.GetDoneCount() != 0; ++i)
                Sleep(1);
        }
    }

    static void Key(HWND dialog) { SendMessageA(dialog, WM_KEYDOWN, 'A', 0x001E0001); }
    // A key after each of `gaps` ms of playing.
    static void KeysAfter(HWND dialog, std::initializer_list<uint32_t> gaps)
    {
        for (const uint32_t ms : gaps) {
            Play(ms);
            Key(dialog);
        }
    }

    std::string sessionPath;
    std::string recording;
};

TEST_F(RecordingWindowTest, TheOpenRecordingHasItsLineAndComesBackWithTheSession)
{
    OpenWindow();
    const int plainHeight = Height();
    EXPECT_FALSE(LineShown());
    EXPECT_TRUE(GetMenuState(GetMenu(window), IDM_CLOSERECORDING, MF_BYCOMMAND) & MF_GRAYED);

    OpenRecordingByMenu();
    ASSERT_TRUE(LineShown());
    EXPECT_EQ(LoadResString(IDS_RECORDING_LINE, "RecordingWindowTest-song.wav", "0:10.0"), LineText());
    EXPECT_GT(Height(), plainHeight);
    EXPECT_FALSE(GetMenuState(GetMenu(window), IDM_CLOSERECORDING, MF_BYCOMMAND) & MF_GRAYED);
    // Named in the session with its size, before any take is tapped.
    std::vector<SessionTake> takes;
    SessionRecording named;
    TakeFileError error;
    ASSERT_TRUE(ReadSession(ReadText(sessionPath), takes, named, error)) << error.Message;
    EXPECT_EQ(static_cast<uint64_t>(44 + 10 * kRate * 2), named.Size);
    EXPECT_NE(std::string::npos, named.Path.find("RecordingWindowTest-song.wav"));

    // A start position as typed; one past the end is the end, and a text
    // that is no time puts the kept one back.
    SetStart("0:03.5");
    char text[32] = "";
    GetDlgItemTextA(window, IDC_STARTPOS, text, sizeof text);
    EXPECT_STREQ("0:03.5", text);
    SetStart("99");
    GetDlgItemTextA(window, IDC_STARTPOS, text, sizeof text);
    EXPECT_STREQ("0:10.0", text);
    SetStart("soon");
    GetDlgItemTextA(window, IDC_STARTPOS, text, sizeof text);
    EXPECT_STREQ("0:10.0", text);

    // The next start opens it again.
    CloseWindow();
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    PumpMessages();
    EXPECT_TRUE(LineShown());
    EXPECT_EQ(LoadResString(IDS_RECORDING_LINE, "RecordingWindowTest-song.wav", "0:10.0"), LineText());

    // Gone by the start after: said so, naming it; the window stays as
    // without a recording, and the session still names it.
    CloseWindow();
    DeleteFileA(recording.c_str());
    {
        DialogAnswerer answerer;
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
        PumpMessages();
        ASSERT_EQ(1u, answerer.Boxes().size());
        EXPECT_EQ(LoadResString(IDS_RECORDING_MISSING, recording), answerer.Boxes()[0].text);
        EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), answerer.Boxes()[0].caption);
    }
    EXPECT_FALSE(LineShown());
    EXPECT_EQ(plainHeight, Height());
    ListTake({0, 500, 1000});
    ASSERT_TRUE(ReadSession(ReadText(sessionPath), takes, named, error)) << error.Message;
    EXPECT_NE(std::string::npos, named.Path.find("RecordingWindowTest-song.wav"));
}

TEST_F(RecordingWindowTest, AFileNoDecoderReadsIsToldWithTheFormatsAndADroppedOneOpens)
{
    OpenWindow();
    const std::string bad = BesideTestProgram("RecordingWindowTest-notes.txt");
    WriteBytes(bad, std::vector<uint8_t>(4096, 'x'));
    {
        DialogAnswerer answerer;
        answerer.ChooseFile(bad);
        SendCommand(window, IDM_OPENRECORDING);
        ASSERT_EQ(1u, answerer.Boxes().size());
        const std::string& said = answerer.Boxes()[0].text;
        EXPECT_NE(std::string::npos, said.find("RecordingWindowTest-notes.txt")) << said;
        EXPECT_NE(std::string::npos, said.find("WAV")) << said;
        EXPECT_NE(std::string::npos, said.find("MP3")) << said;
        EXPECT_EQ(LoadResString(IDS_CAPTION_ERROR), answerer.Boxes()[0].caption);
    }
    DeleteFileA(bad.c_str());
    EXPECT_FALSE(LineShown());

    DialogAnswerer answerer;
    HGLOBAL drop = MakeDrop({recording});
    ASSERT_NE(nullptr, drop);
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    PumpMessages();
    EXPECT_TRUE(answerer.Boxes().empty());
    EXPECT_TRUE(LineShown());
    EXPECT_EQ(0u, MainWindowTakeBook().Size()) << "a recording is no take";
}

// Start 1 s, pre-roll 2 s: the device's first sample is the recording's
// -1 s. A key at -0.5 s is dropped; the others are at 0.5, 1.0, 1.5 and
// 2.1 s on the recording, to the millisecond.
TEST_F(RecordingWindowTest, KeysAlongTheRecordingLandOnItsTimelineAndThePreRollIsDropped)
{
    OpenWindow();
    OpenRecordingByMenu();
    SetStart("1");
    std::vector<std::string> positions;
    OnTapDialog({
        [](HWND dialog) { KeysAfter(dialog, {500, 1000, 500, 500}); },
        [&positions](HWND dialog) {
            Play(600);
            Key(dialog);
            // The playing position, painted as the dialog's own item.
            SendMessageA(dialog, WM_TIMER, 2, 0);
            for (const TapDialogItem& item : GetTapPositionItems(dialog))
                positions.push_back(item.text);
        },
        [](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
    });
    AddCommand();
    EndActions();

    ASSERT_EQ(1u, MainWindowTakeBook().Size());
    const SessionTake& take = MainWindowTakeBook().Takes()[0];
    EXPECT_EQ(500, take.Anchor);
    EXPECT_EQ((Times{0, 500, 1000, 1600}), take.Taps);
    ASSERT_EQ(1u, positions.size());
    EXPECT_EQ(LoadResString(IDS_TAP_POSITION, "0:02.1"), positions[0]);
    EXPECT_EQ(0u, wave.GetOpenCount()) << "playback goes with the dialog";

    // The session keeps the anchor with the recording.
    std::vector<SessionTake> saved;
    SessionRecording named;
    TakeFileError error;
    ASSERT_TRUE(ReadSession(ReadText(sessionPath), saved, named, error)) << error.Message;
    ASSERT_EQ(1u, saved.size());
    EXPECT_EQ(500, saved[0].Anchor);

    // Lined up with the recording's start: whole lead-in beats before the
    // first tap, and every tapped beat on its recording time.
    const std::vector<double> beats =
        BeatTimesForExport(MainWindowTakeBook().CheckedTaps(), MainWindowTakeBook().ExportOptions(false, 0, true));
    ASSERT_GE(beats.size(), 5u);
    EXPECT_DOUBLE_EQ(0.0, beats.front());
    const std::vector<double> onRecording = {500, 1000, 1500, 2100};
    for (double ms : onRecording)
        EXPECT_NE(beats.end(), std::find_if(beats.begin(), beats.end(),
                                            [ms](double beat) { return std::fabs(beat - ms) < 0.5; }))
            << ms;
}

// A take tapped along the recording is journalled with its place on it: a
// run killed while tapping gives the rescued take its anchor back when the
// session names the same recording, and lists it without one when the
// session names another.
TEST_F(RecordingWindowTest, AJournalledTakeAlongTheRecordingKeepsItsPlace)
{
    OpenWindow();
    OpenRecordingByMenu();
    SetStart("1");
    const std::string journalPath = NarrowForDisplay(GetJournalPath());
    std::string journal;
    OnTapDialog({
        [](HWND dialog) { KeysAfter(dialog, {500, 1000, 500}); },
        ReadWhenWritten(journalPath, journal),
        [](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
    });
    AddCommand();
    EndActions();
    ASSERT_EQ(1u, MainWindowTakeBook().Size());
    const SessionTake listed = MainWindowTakeBook().Takes()[0];
    ASSERT_GE(listed.Anchor, 0);

    std::vector<SessionTake> takes;
    SessionRecording named;
    TakeFileError error;
    ASSERT_TRUE(ReadSession(journal, takes, named, error)) << error.Message << journal;
    ASSERT_EQ(1u, takes.size());
    EXPECT_EQ(listed.Taps, takes[0].Taps);
    EXPECT_EQ(listed.Anchor, takes[0].Anchor);
    EXPECT_NE(std::string::npos, named.Path.find("RecordingWindowTest-song.wav"));

    // Killed while tapping: the session without the take, the journal with
    // it, on the next start.
    std::vector<SessionTake> saved;
    SessionRecording sessionNamed;
    ASSERT_TRUE(ReadSession(ReadText(sessionPath), saved, sessionNamed, error)) << error.Message;
    const auto startWith = [&](const std::string& journalText) {
        CloseWindow();
        WriteText(sessionPath, FormatSession(std::vector<const SessionTake*>{}, &sessionNamed));
        WriteText(journalPath, journalText);
        DialogAnswerer answerer;
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
        PumpMessages();
        ASSERT_EQ(1u, answerer.Boxes().size());
        EXPECT_EQ(LoadResString(IDS_JOURNAL_RESTORED, std::to_string(listed.Taps.size())), answerer.Boxes()[0].text);
        ASSERT_EQ(1u, MainWindowTakeBook().Size());
        EXPECT_EQ(listed.Taps, MainWindowTakeBook().Takes()[0].Taps);
    };
    ASSERT_NO_FATAL_FAILURE(startWith(journal));
    EXPECT_EQ(listed.Anchor, MainWindowTakeBook().Takes()[0].Anchor);
    // The saved session keeps it.
    ASSERT_TRUE(ReadSession(ReadText(sessionPath), saved, sessionNamed, error)) << error.Message;
    ASSERT_EQ(1u, saved.size());
    EXPECT_EQ(listed.Anchor, saved[0].Anchor);

    // Journalled along another recording (another size): no place on this one.
    std::string other = journal;
    const size_t size = other.find("recording size=");
    ASSERT_NE(std::string::npos, size);
    other.insert(size + std::string("recording size=").size(), "1");
    ASSERT_NO_FATAL_FAILURE(startWith(other));
    EXPECT_EQ(SessionTake::NoAnchor, MainWindowTakeBook().Takes()[0].Anchor);
}

// MIDI note-ons carry the driver's time stamps (ms since midiInStart), mapped
// the same way; the tap dialog opens with the device started at the
// clock's start, which is the recording's -2 s here (start 0, pre-roll 2 s).
TEST_F(RecordingWindowTest, NoteOnsAlongTheRecordingLandOnItsTimeline)
{
    ASSERT_TRUE(midi.SetDevices && midi.Send);
    midi.SetDevices("Keys");
    OpenWindow("[AppSetting]\r\nTapMethod=1\r\nMidiIn=Keys\r\n");
    OpenRecordingByMenu();
    OnTapDialog({
        [](HWND) {
            Play(3000);
            // Early in the pre-roll, then 1.0, 1.6 and 2.25 s on the recording.
            EXPECT_TRUE(midi.Send(NoteOn, 1500));
            EXPECT_TRUE(midi.Send(NoteOn, 3000));
            EXPECT_TRUE(midi.Send(NoteOn, 3600));
            EXPECT_TRUE(midi.Send(NoteOn, 4250));
        },
        [](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
    });
    AddCommand();
    EndActions();
    ASSERT_EQ(1u, MainWindowTakeBook().Size());
    EXPECT_EQ(1000, MainWindowTakeBook().Takes()[0].Anchor);
    EXPECT_EQ((Times{0, 600, 1250}), MainWindowTakeBook().Takes()[0].Taps);
}

// Closing the recording with anchored takes asks first; the takes stay, and
// lose only their places on it.
TEST_F(RecordingWindowTest, ClosingTheRecordingAsksAndKeepsTheTakes)
{
    OpenWindow();
    OpenRecordingByMenu();
    CurrentTake.Start(Take{2000, 2500, 3000});
    HandOverTappedTake();
    // Listed as a plain take (no tap dialog): not anchored, so no question.
    {
        DialogAnswerer answerer;
        SendCommand(window, IDM_CLOSERECORDING);
        EXPECT_TRUE(answerer.Boxes().empty());
    }
    EXPECT_FALSE(LineShown());
    OpenRecordingByMenu();

    OnTapDialog({
        [](HWND dialog) {
            Play(2500);
            Key(dialog);
            Play(500);
            Key(dialog);
        },
        [](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
    });
    AddCommand();
    EndActions();
    ASSERT_EQ(2u, MainWindowTakeBook().Size());
    ASSERT_TRUE(MainWindowTakeBook().AnyAnchored());
    {
        DialogAnswerer answerer;
        answerer.Press(IDCANCEL);
        SendCommand(window, IDM_CLOSERECORDING);
        ASSERT_EQ(1u, answerer.Boxes().size());
        EXPECT_EQ(LoadResString(IDS_RECORDING_CLOSE_ANCHORED), answerer.Boxes()[0].text);
    }
    EXPECT_TRUE(LineShown());
    {
        DialogAnswerer answerer;
        answerer.Press(IDOK);
        SendCommand(window, IDM_CLOSERECORDING);
        EXPECT_EQ(1u, answerer.Boxes().size());
    }
    EXPECT_FALSE(LineShown());
    EXPECT_EQ(2u, MainWindowTakeBook().Size());
    EXPECT_FALSE(MainWindowTakeBook().AnyAnchored());
    const std::string session = ReadText(sessionPath);
    EXPECT_EQ(0u, session.rfind("Metrova takes 1", 0)) << session;
}

// Listening: the recording from the start position with a click mixed in at
// the frame of every beat of the map, the graph following the position;
// Escape in the graph stops it, and so does the command again.
TEST_F(RecordingWindowTest, ListeningClicksOnTheMapsBeatsAndTheGraphFollows)
{
    OpenWindow();
    OpenRecordingByMenu();
    SetStart("1");
    OnTapDialog({
        [](HWND dialog) {
            Play(1500);
            Key(dialog);
            Play(500);
            Key(dialog);
            Play(500);
            Key(dialog);
            Play(500);
            Key(dialog);
        },
        [](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
    });
    AddCommand();
    EndActions();
    ASSERT_EQ(1u, MainWindowTakeBook().Size());
    ASSERT_EQ(500, MainWindowTakeBook().Takes()[0].Anchor);

    SendCommand(window, IDM_TEMPOGRAPH);
    ASSERT_NE(nullptr, TempoGraphWindow());
    // A click on the waveform moves the start position there.
    SendMessageA(window, WM_GRAPHSTARTAT, 0, 0);
    char text[32] = "";
    GetDlgItemTextA(window, IDC_STARTPOS, text, sizeof text);
    EXPECT_STREQ("0:00.0", text);

    SendCommand(window, IDM_LISTEN);
    ASSERT_EQ(1u, wave.GetOpenCount());
    Play(1200);
    SendMessageA(window, WM_TIMER, 1, 0);
    EXPECT_NEAR(1200.0, TempoGraphView().PlayingMs, 0.5);

    // The beats lined up: a lead-in beat at 0, then 500, 1000, ... ms. The
    // written samples are the recording's but where a click was added.
    std::vector<int16_t> written(wave.GetWritten(nullptr, 0, 0) / 2);
    wave.GetWritten(reinterpret_cast<BYTE*>(written.data()), 0, static_cast<DWORD>(written.size() * 2));
    ASSERT_GT(written.size(), 45000u);
    for (int64_t beat : {int64_t{0}, int64_t{22050}, int64_t{44100}}) {
        EXPECT_NE(test_wav::Signal(beat, 0), written[static_cast<size_t>(beat)]) << "no click at frame " << beat;
        if (beat > 0) {
            EXPECT_EQ(test_wav::Signal(beat - 1, 0), written[static_cast<size_t>(beat - 1)])
                << "the click at " << beat << " starts early";
        }
    }
    EXPECT_EQ(test_wav::Signal(11025, 0), written[11025]) << "a click between the beats";

    // Escape in the graph stops it; the command starts it again and stops it.
    SendMessageA(TempoGraphWindow(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PumpMessages();
    EXPECT_EQ(0u, wave.GetOpenCount());
    EXPECT_NE(nullptr, TempoGraphWindow()) << "Escape stopped listening, not the graph";
    SendCommand(window, IDM_LISTEN);
    EXPECT_EQ(1u, wave.GetOpenCount());
    SendCommand(window, IDM_LISTEN);
    EXPECT_EQ(0u, wave.GetOpenCount());
    CloseTempoGraph();
}

// Snapping, on by default: keys 50 ms late on a recording of clicks give a
// map whose beats lie on the clicks (where notes that sound as clicks would
// start, kSpeaksMs before them); the line's tooltip counts them; a beat
// moved in the graph is an edit, one step to undo, kept in the session.
TEST_F(RecordingWindowTest, TheMapsBeatsSnapOntoTheClicksAndAMovedBeatIsAnEdit)
{
    std::vector<uint32_t> clicks;
    for (uint32_t beat = 1; beat <= 12; ++beat)
        clicks.push_back(beat * kRate / 2);  // every 500 ms from 0.5 s
    test_wav::WriteClicksWav(std::filesystem::path(recording), kRate, 10 * kRate, clicks);
    OpenWindow();
    OpenRecordingByMenu();
    OnTapDialog({
        [](HWND dialog) {
            Play(2550);  // the recording's 0.55 s
            for (int tap = 0; tap < 10; ++tap) {
                Key(dialog);
                Play(500);
            }
        },
        [](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
    });
    AddCommand();
    EndActions();
    ASSERT_EQ(1u, MainWindowTakeBook().Size());
    ASSERT_EQ(550, MainWindowTakeBook().Takes()[0].Anchor);

    SendCommand(window, IDM_TEMPOGRAPH);
    ASSERT_NE(nullptr, TempoGraphWindow());
    // The lined-up map's beats on the clicks, not on the taps.
    const GraphContent& shown = TempoGraphContent();
    ASSERT_EQ(10u, shown.SnappedBeatMs.size());
    for (size_t beat = 0; beat < 10; ++beat) {
        EXPECT_NEAR(500.0 * static_cast<double>(beat + 1) - onset_detail::kSpeaksMs, shown.SnappedBeatMs[beat], 2.0)
            << "beat " << beat;
        EXPECT_NEAR(550.0 + 500.0 * static_cast<double>(beat), shown.TappedBeatMs[beat], 0.5) << "beat " << beat;
        EXPECT_EQ(BeatMark::Snapped, shown.BeatMarks[beat]);
    }
    // The tooltip of the recording's line says how the beats were placed.
    const auto tip = [this]() {
        char text[256] = "";
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.uFlags = TTF_IDISHWND;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(window, IDC_RECORDINGLINE));
        tool.lpszText = text;
        HWND tips = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindMainTooltip, reinterpret_cast<LPARAM>(&tips));
        if (tips)
            SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        return std::string(text);
    };
    std::string counts = LoadResString(IDS_SNAP_COUNTS, "10", "0");
    counts.replace(counts.find("%3"), 2, "0");
    EXPECT_EQ(counts, tip());

    // Beat 3 dragged to 1.52 s: edited, the export through it; undo.
    const std::vector<uint8_t> snappedBytes = ExportTempoBytes(MainWindowTakeBook().CheckedTaps(), 0, 2,
        MainWindowTakeBook().ExportOptions(false, 0, true));
    SendMessageA(window, WM_GRAPHBEATMOVE, 2, 1520);
    PumpMessages();
    ASSERT_EQ(1u, MainWindowTakeBook().Edits().size());
    EXPECT_EQ(BeatMark::Edited, TempoGraphContent().BeatMarks[2]);
    EXPECT_NEAR(1520.0, TempoGraphContent().SnappedBeatMs[2], 0.001);
    counts = LoadResString(IDS_SNAP_COUNTS, "9", "0");
    counts.replace(counts.find("%3"), 2, "1");
    EXPECT_EQ(counts, tip());
    std::vector<SessionTake> saved;
    SessionRecording named;
    TakeFileError error;
    ASSERT_TRUE(ReadSession(ReadText(sessionPath), saved, named, error)) << error.Message;
    ASSERT_EQ(1u, named.Edits.size());
    EXPECT_EQ(1520000, named.Edits[0].ToUs);
    // The arrow's re-snap puts it on the next click, 2.0 s (where its
    // 5 ms buzz has risen half way in the detector's fine window: up to
    // 2.5 ms early).
    SendMessageA(window, WM_GRAPHBEATRESNAP, 2, 1);
    PumpMessages();
    EXPECT_NEAR(2000.0 - onset_detail::kSpeaksMs, TempoGraphContent().SnappedBeatMs[2], 2.5);
    SendCommand(window, IDM_UNDO);
    SendCommand(window, IDM_UNDO);
    EXPECT_TRUE(MainWindowTakeBook().Edits().empty());
    EXPECT_EQ(BeatMark::Snapped, TempoGraphContent().BeatMarks[2]);
    EXPECT_EQ(snappedBytes, ExportTempoBytes(MainWindowTakeBook().CheckedTaps(), 0, 2,
                                             MainWindowTakeBook().ExportOptions(false, 0, true)));
    CloseTempoGraph();
}

}  // namespace
