// The options dialog in-process, opened modeless over the real main window so
// that the test can set its controls and press OK like a user; the message
// boxes that OK raises are answered by a thread timer, which fires inside
// their modal loops. MIDI devices come from the stand-in winmm.dll.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "AppGlobals.h"
#include "CakewalkTool.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "Messages.h"
#include "MidiIn.h"
#include "OptionsDialog.h"
#include "SettingsWin32.h"
#include "WidePath.h"
#include "Take.h"
#include "TakeListView.h"
#include "TapTestSupport.h"
#include "WineTestSupport.h"
#include "ControlIds.h"
#include "resource.h"
#include "FakeMidiControls.h"

namespace {

using namespace wine_test;

void SetFakeDevices(const char* list)
{
    const auto set = FindFakeMidiControls().SetDevices;
    ASSERT_NE(nullptr, set) << "the stand-in winmm.dll is not loaded (WINEDLLOVERRIDES=winmm=n,b)";
    set(list);
}

// The main window and the options dialog: the dialog boxes of this thread
// that are not message boxes.
HWND g_notBoxes[2] = {};

// Answers the message boxes of this thread with scripted buttons (OK when
// the script is used up) and records what they said.
class BoxAnswerer {
public:
    BoxAnswerer()
    {
        current = this;
        timer = SetTimer(nullptr, 0, 10, Tick);
    }
    ~BoxAnswerer()
    {
        KillTimer(nullptr, timer);
        current = nullptr;
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    void Press(int button) { script.push_back(button); }

    struct Seen {
        std::string text, caption;
        bool noIsDefault;
    };
    std::vector<Seen> seen;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        if (!current)
            return;
        EnumThreadWindows(GetCurrentThreadId(), AnswerIfBox, 0);
    }

    static BOOL CALLBACK AnswerIfBox(HWND w, LPARAM)
    {
        char name[16] = "";
        GetClassNameA(w, name, sizeof name);
        if (std::string(name) == "#32770" && w != g_notBoxes[0] && w != g_notBoxes[1] && IsWindowVisible(w))
            current->Answer(w);
        return TRUE;
    }

    void Answer(HWND box)
    {
        char buffer[1024] = "";
        Seen s;
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        s.text = buffer;
        GetWindowTextA(box, buffer, sizeof buffer);
        s.caption = buffer;
        HWND no = GetDlgItem(box, IDNO);
        s.noIsDefault = no && (GetWindowLongA(no, GWL_STYLE) & BS_DEFPUSHBUTTON) == BS_DEFPUSHBUTTON;
        seen.push_back(s);
        int button = IDOK;
        if (!script.empty()) {
            button = script.front();
            script.pop_front();
        }
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    }

    static inline BoxAnswerer* current = nullptr;
    UINT_PTR timer;
    std::deque<int> script;
};

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(PrepareMainWindowClass());
        // The build folder's name is ASCII: its ANSI spelling is exact.
        std::string path = NarrowForDisplay(GetSettingsPath());
        ASSERT_FALSE(path.empty());
        settingsPath = path;
        if (FileExists(settingsPath))
            saved = ReadBytes(settingsPath);
        SetFakeDevices("Keys A;NoCaps?2;keys b;Keys A");
        RegisterCakewalkTool(false);
    }

    void TearDown() override
    {
        if (dialog && IsWindow(dialog))
            DestroyWindow(dialog);
        if (window && IsWindow(window))
            DestroyWindow(window);
        CloseMidiIn();
        PumpMessages();
        TakeQuitMessage();
        RegisterCakewalkTool(false);
        DeleteFileA(settingsPath.c_str());
        if (!saved.empty())
            WriteBytes(settingsPath, saved);
    }

    void Open(const std::string& settings, int rows = 0)
    {
        WriteBytes(settingsPath, std::vector<uint8_t>(settings.begin(), settings.end()));
        SettingsFile = IniFile();
        LoadSettingsFile();
        {
            BoxAnswerer startUp;  // a missing MIDI device is reported at start-up
            window = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        }
        ASSERT_NE(nullptr, window);
        g_notBoxes[0] = window;
        for (int i = 0; i < rows; ++i) {
            CurrentTake.Start(Take{0, 500, 1000});
            HandOverCurrentTake();
        }
        PumpMessages();
        Reopen();
    }

    void Reopen()
    {
        if (dialog)
            DestroyWindow(dialog);
        dialog = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_OPTIONS), window, OptionsDialogProc, 0);
        ASSERT_NE(nullptr, dialog);
        // Shown like the modal dialog, so that EndDialog's hiding tells that
        // OK ended it.
        ShowWindow(dialog, SW_SHOW);
        g_notBoxes[1] = dialog;
    }

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    int Selection(int id) const { return static_cast<int>(SendMessageA(Item(id), CB_GETCURSEL, 0, 0)); }
    void Select(int id, int index) { SendMessageA(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    void Click(int id)
    {
        SendMessageA(Item(id), BM_CLICK, 0, 0);
        PumpMessages();
    }
    std::vector<std::string> Entries(int id) const
    {
        std::vector<std::string> items;
        const int n = static_cast<int>(SendMessageA(Item(id), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char text[64] = "";
            SendMessageA(Item(id), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }
    // OK pressed; true when the dialog ended (a modeless dialog is hidden
    // by EndDialog).
    bool PressOk()
    {
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        PumpMessages();
        return !IsWindowVisible(dialog);
    }
    int Rows() const { return static_cast<int>(SendDlgItemMessageA(window, IDC_TAKELIST, LVM_GETITEMCOUNT, 0, 0)); }
    std::string SavedValue(const char* key) const
    {
        IniFile file;
        file.Load(settingsPath);
        return file.GetString(SettingsSection, key, "<missing>");
    }

    std::string settingsPath;
    std::vector<uint8_t> saved;
    HWND window = nullptr;
    HWND dialog = nullptr;
};

TEST_F(OptionsDialogTest, OpensWithTheCurrentSettings)
{
    Open("[AppSetting]\r\nTimeSigBase=3\r\nTapMethod=0\r\nMidiIn=KEYS B\r\n");
    EXPECT_EQ((std::vector<std::string>{"1", "2", "4", "8", "16", "32"}), Entries(IDC_OPT_BASENOTE));
    EXPECT_EQ(3, Selection(IDC_OPT_BASENOTE));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, IDC_OPT_KEYBOARD));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, IDC_OPT_MIDI));
    // A device whose capabilities cannot be read is left out; the stored
    // name finds its device ignoring letter case.
    EXPECT_EQ((std::vector<std::string>{"Keys A", "keys b", "Keys A"}), Entries(IDC_OPT_MIDIDEVICE));
    EXPECT_EQ(1, Selection(IDC_OPT_MIDIDEVICE));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_OPT_MIDIDEVICE)));
    Click(IDC_OPT_MIDI);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_OPT_MIDIDEVICE)));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, IDC_OPT_CAKEWALK));
}

TEST_F(OptionsDialogTest, KeyboardMethodKeepsTheDeviceNameAndSavesOnOk)
{
    Open("[AppSetting]\r\nTimeSigBase=2\r\nTapMethod=1\r\nMidiIn=Gone\r\n");
    EXPECT_EQ(-1, Selection(IDC_OPT_MIDIDEVICE));
    Click(IDC_OPT_KEYBOARD);
    Select(IDC_OPT_BASENOTE, 4);
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(4, g_AppSettings.TimeSigBase);
    EXPECT_EQ(0, g_AppSettings.TapMethod);
    EXPECT_EQ("4", SavedValue(KeyTimeSigBase));
    EXPECT_EQ("0", SavedValue(KeyTapMethod));
    EXPECT_EQ("Gone", SavedValue(KeyMidiIn));
}

TEST_F(OptionsDialogTest, ChangingTheBaseNoteWithRowsAsksFirst)
{
    Open("[AppSetting]\r\nTimeSigBase=2\r\n", 2);
    Select(IDC_OPT_BASENOTE, 3);
    {
        BoxAnswerer boxes;
        boxes.Press(IDNO);
        EXPECT_FALSE(PressOk());
        ASSERT_EQ(1u, boxes.seen.size());
        EXPECT_EQ(LoadResString(IDS_BASENOTE_CHANGE), boxes.seen[0].text);
        EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), boxes.seen[0].caption);
        EXPECT_TRUE(boxes.seen[0].noIsDefault);
    }
    EXPECT_EQ(2, Selection(IDC_OPT_BASENOTE));  // the old base note again
    EXPECT_EQ(2, Rows());
    EXPECT_EQ(2, g_AppSettings.TimeSigBase);

    Select(IDC_OPT_BASENOTE, 3);
    BoxAnswerer boxes;
    boxes.Press(IDYES);
    EXPECT_TRUE(PressOk());
    EXPECT_EQ(1u, boxes.seen.size());
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(3, g_AppSettings.TimeSigBase);
}

// Makes every message box of this thread fail to appear, as when the
// system has no memory left for it: MessageBoxA then returns 0.
class RefuseMessageBoxes {
public:
    RefuseMessageBoxes() : hook(SetWindowsHookExA(WH_CBT, Refuse, nullptr, GetCurrentThreadId())) {}
    ~RefuseMessageBoxes() { UnhookWindowsHookEx(hook); }
    RefuseMessageBoxes(const RefuseMessageBoxes&) = delete;
    RefuseMessageBoxes& operator=(const RefuseMessageBoxes&) = delete;
    bool Ready() const { return hook != nullptr; }
    static inline int refused = 0;

private:
    static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND) {
            const LPCSTR name = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs->lpszClass;
            const bool dialogClass = IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) == 32770
                                                          : std::string(name) == "#32770";
            if (dialogClass) {
                ++refused;
                return 1;
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook;
};

TEST_F(OptionsDialogTest, BaseNoteQuestionThatCannotBeShownDeletesNothing)
{
    Open("[AppSetting]\r\nTimeSigBase=2\r\n", 2);
    Select(IDC_OPT_BASENOTE, 4);
    {
        RefuseMessageBoxes refuse;
        ASSERT_TRUE(refuse.Ready());
        RefuseMessageBoxes::refused = 0;
        EXPECT_FALSE(PressOk());
        EXPECT_EQ(1, RefuseMessageBoxes::refused) << "the question was not even tried";
    }
    EXPECT_EQ(2, Rows());
    EXPECT_EQ(2, Selection(IDC_OPT_BASENOTE));
    EXPECT_EQ(2, g_AppSettings.TimeSigBase);
}

TEST_F(OptionsDialogTest, RestoreCheckBoxShowsAndStoresTheSetting)
{
    Open("[AppSetting]\r\nRestoreTakes=0\r\n");
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dialog, IDC_OPT_RESTORE));
    Click(IDC_OPT_RESTORE);
    EXPECT_TRUE(PressOk());
    EXPECT_TRUE(g_AppSettings.RestoreTakes);
    EXPECT_EQ("1", SavedValue(KeyRestoreTakes));

    Reopen();
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, IDC_OPT_RESTORE));
    Click(IDC_OPT_RESTORE);
    EXPECT_TRUE(PressOk());
    EXPECT_FALSE(g_AppSettings.RestoreTakes);
    EXPECT_EQ("0", SavedValue(KeyRestoreTakes));
}

// The smoothing list and the repair box start from the settings (none and
// off without them), OK stores what they show, and the next opening shows
// it again.
TEST_F(OptionsDialogTest, SmoothingAndRepairShowAndStoreTheSettings)
{
    Open("[AppSetting]\r\n");
    EXPECT_EQ("\x82\xC8\x82\xB5", LoadResString(IDS_SMOOTHING_NONE));  // "なし" in code page 932
    EXPECT_EQ("\x8E\xA9\x93\xAE", LoadResString(IDS_SMOOTHING_AUTO));  // "自動"
    std::vector<std::string> entries = {LoadResString(IDS_SMOOTHING_NONE), LoadResString(IDS_SMOOTHING_AUTO)};
    for (int strength = 1; strength <= 10; ++strength)
        entries.push_back(std::to_string(strength));
    EXPECT_EQ(entries, Entries(IDC_OPT_SMOOTHING));
    EXPECT_EQ(0, Selection(IDC_OPT_SMOOTHING));
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dialog, IDC_OPT_REPAIR));

    bool repair = false;
    for (int index = 11; index >= 0; --index) {
        Select(IDC_OPT_SMOOTHING, index);
        Click(IDC_OPT_REPAIR);
        repair = !repair;
        ASSERT_TRUE(PressOk());
        const int value = index == 0 ? 0 : index == 1 ? -1 : index - 1;
        EXPECT_EQ(value, g_AppSettings.Smoothing) << index;
        EXPECT_EQ(std::to_string(value), SavedValue(KeySmoothing)) << index;
        EXPECT_EQ(repair, g_AppSettings.RepairOnExport) << index;
        EXPECT_EQ(repair ? "1" : "0", SavedValue(KeyRepairOnExport)) << index;
        Reopen();
        EXPECT_EQ(index, Selection(IDC_OPT_SMOOTHING));
        EXPECT_EQ(static_cast<UINT>(repair ? BST_CHECKED : BST_UNCHECKED), IsDlgButtonChecked(dialog, IDC_OPT_REPAIR));
    }

    // Cancel changes nothing.
    Select(IDC_OPT_SMOOTHING, 5);
    Click(IDC_OPT_REPAIR);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    PumpMessages();
    EXPECT_EQ(0, g_AppSettings.Smoothing);
    EXPECT_EQ(repair, g_AppSettings.RepairOnExport);
}

TEST_F(OptionsDialogTest, SameBaseNoteOrEmptyListAsksNothing)
{
    Open("[AppSetting]\r\nTimeSigBase=2\r\n", 1);
    BoxAnswerer boxes;
    Select(IDC_OPT_BASENOTE, 5);
    Select(IDC_OPT_BASENOTE, 2);  // changed and changed back
    EXPECT_TRUE(PressOk());
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(1, Rows());
}

TEST_F(OptionsDialogTest, MidiMethodStoresTheListedNameAndOpensTheDevice)
{
    Open("[AppSetting]\r\nTapMethod=0\r\nMidiIn=keys B\r\n");
    Click(IDC_OPT_MIDI);
    ASSERT_EQ(1, Selection(IDC_OPT_MIDIDEVICE));
    BoxAnswerer boxes;
    EXPECT_TRUE(PressOk());
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(1, g_AppSettings.TapMethod);
    EXPECT_EQ("keys b", g_AppSettings.MidiInName);  // as listed, not as stored
    EXPECT_EQ("keys b", SavedValue(KeyMidiIn));
    EXPECT_TRUE(IsMidiInOpen());
}

TEST_F(OptionsDialogTest, OnlyTheLastErrorIsShownAndTheDialogStaysOpen)
{
    Open("[AppSetting]\r\nTimeSigBase=1\r\n");
    // No base note and no method: two errors, the method's is shown.
    Select(IDC_OPT_BASENOTE, -1);
    CheckDlgButton(dialog, IDC_OPT_KEYBOARD, BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_OPT_MIDI, BST_UNCHECKED);
    BoxAnswerer boxes;
    EXPECT_FALSE(PressOk());
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ(LoadResString(IDS_BAD_TAPMETHOD), boxes.seen[0].text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), boxes.seen[0].caption);
    EXPECT_EQ(1, g_AppSettings.TimeSigBase);
    EXPECT_EQ("<missing>", SavedValue(KeyTapMethod));  // nothing saved

    // MIDI chosen without a device, and a name too long for the field.
    Select(IDC_OPT_BASENOTE, 1);
    Click(IDC_OPT_MIDI);
    Select(IDC_OPT_MIDIDEVICE, -1);
    EXPECT_FALSE(PressOk());
    const std::string tooLong(32, 'x');
    const LRESULT added = SendMessageA(Item(IDC_OPT_MIDIDEVICE), CB_ADDSTRING, 0,
                                       reinterpret_cast<LPARAM>(tooLong.c_str()));
    Select(IDC_OPT_MIDIDEVICE, static_cast<int>(added));
    EXPECT_FALSE(PressOk());
    ASSERT_EQ(3u, boxes.seen.size());
    EXPECT_EQ(LoadResString(IDS_NO_MIDI_DEVICE), boxes.seen[1].text);
    EXPECT_EQ(LoadResString(IDS_NO_MIDI_DEVICE), boxes.seen[2].text);
    EXPECT_EQ(1, g_AppSettings.TapMethod);  // applied before the error, as OK goes
}

TEST_F(OptionsDialogTest, CheckBoxRegistersAndUnregistersTheTool)
{
    Open("[AppSetting]\r\n");
    CheckDlgButton(dialog, IDC_OPT_CAKEWALK, BST_CHECKED);
    ASSERT_TRUE(PressOk());
    EXPECT_TRUE(IsCakewalkToolRegistered());
    Reopen();
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, IDC_OPT_CAKEWALK));
    CheckDlgButton(dialog, IDC_OPT_CAKEWALK, BST_UNCHECKED);
    ASSERT_TRUE(PressOk());
    EXPECT_FALSE(IsCakewalkToolRegistered());
}

}  // namespace
