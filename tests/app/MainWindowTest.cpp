// The main window in-process: the real dialog from template 101 with its own
// class and procedure, driven with the messages a user's actions produce.
// Message boxes and file dialogs are answered by a script; the settings file
// beside the test program is set aside for every test and put back after it.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "SmfImages.h"
#include "AppGlobals.h"
#include "ExportTempoWin32.h"
#include "ImportTempoWin32.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "WidePath.h"
#include "Take.h"
#include "TakeListView.h"
#include "TempoExport.h"
#include "TapTestSupport.h"
#include "WineTestSupport.h"
#include "ControlIds.h"
#include "resource.h"

namespace {

using namespace wine_test;
using Times = std::vector<uint32_t>;

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(PrepareMainWindowClass());
    }

    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(nullptr);
        // The build folder's name is ASCII: its ANSI spelling is exact.
        std::string path = NarrowForDisplay(GetSettingsPath());
        ASSERT_FALSE(path.empty());
        settingsPath = path;
        if (FileExists(settingsPath)) {
            savedSettings = ReadBytes(settingsPath);
            DeleteFileA(settingsPath.c_str());
        }
        OpenClipboard(nullptr);
        EmptyClipboard();
        CloseClipboard();
    }

    void TearDown() override
    {
        if (window && IsWindow(window))
            DestroyWindow(window);
        TakeQuitMessage();
        CurrentTake.HandOver();
        for (const std::string& file : scratchFiles)
            DeleteFileA(file.c_str());
        DeleteFileA(settingsPath.c_str());
        if (savedSettings)
            WriteBytes(settingsPath, *savedSettings);
    }

    // Start-up as the program does it: the settings file (written first when
    // given), the retired key dropped, then the window.
    void OpenWindow(const std::string& settingsText = "")
    {
        if (!settingsText.empty())
            WriteBytes(settingsPath, std::vector<uint8_t>(settingsText.begin(), settingsText.end()));
        SettingsFile = IniFile();
        LoadSettingsFile();
        window = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(nullptr, window);
        ASSERT_EQ(window, g_hMainWnd);
        PumpMessages();
    }

    HWND List() const { return GetDlgItem(window, IDC_TAKELIST); }
    int RowCount() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

    void AddTake(const Times& times)
    {
        CurrentTake.Start(Take(times));
        HandOverCurrentTake();
        PumpMessages();
    }

    std::vector<Times> ListedTakes() const
    {
        std::vector<Times> takes;
        for (const Take* take : MainWindowTakeBook().ListedTaps())
            takes.push_back(*take);
        return takes;
    }

    void Select(int row)
    {
        LVITEMA state = {};
        state.state = row < 0 ? 0 : LVIS_SELECTED | LVIS_FOCUSED;
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row < 0 ? -1 : row),
                     reinterpret_cast<LPARAM>(&state));
        PumpMessages();
    }

    void Command(UINT id)
    {
        SendMessageA(window, WM_COMMAND, id, 0);
        PumpMessages();
    }

    void SelectInterpCount(int count)
    {
        SendDlgItemMessageA(window, IDC_INTERPCOUNT, CB_SETCURSEL, static_cast<WPARAM>(count), 0);
    }

    std::string Scratch(const std::string& name)
    {
        const std::string path = BesideTestProgram("MainWindowTest-" + name);
        scratchFiles.push_back(path);
        scratchFiles.push_back(path + ".tmp");
        DeleteFileA(path.c_str());
        return path;
    }

    // The button and its menu bar item are both usable, or both not.
    ::testing::AssertionResult CommandIs(UINT id, bool enabled) const
    {
        const bool button = IsWindowEnabled(GetDlgItem(window, static_cast<int>(id))) != FALSE;
        const UINT menuState = GetMenuState(GetMenu(window), id, MF_BYCOMMAND);
        const bool menu = menuState != static_cast<UINT>(-1) && !(menuState & (MF_GRAYED | MF_DISABLED));
        if (button == enabled && menu == enabled)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "command " << id << ": button " << (button ? "enabled" : "disabled")
                                             << ", menu item " << (menu ? "enabled" : "greyed");
    }

    HWND window = nullptr;
    std::string settingsPath;
    std::optional<std::vector<uint8_t>> savedSettings;
    std::vector<std::string> scratchFiles;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// --- Command states --------------------------------------------------------------------

TEST_F(MainWindowTest, CommandStatesFollowRowsAndSelection)
{
    OpenWindow();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDM_ADD)));
    for (UINT id : {IDM_DELETE, IDM_DELETEALL, IDM_COPYTEMPO, IDM_SAVETEMPO})
        EXPECT_TRUE(CommandIs(id, false)) << "empty list";

    AddTake({0, 500, 1000});  // the new row is selected
    for (UINT id : {IDM_DELETE, IDM_DELETEALL, IDM_COPYTEMPO, IDM_SAVETEMPO})
        EXPECT_TRUE(CommandIs(id, true)) << "one selected row";

    AddTake({0, 500, 1000});
    // The focused delete button is disabled along the way: the focus must not
    // stay lost, or the dialog would ignore the keyboard.
    SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, IDM_DELETE)), TRUE);
    Select(-1);
    EXPECT_TRUE(CommandIs(IDM_DELETE, false));
    for (UINT id : {IDM_DELETEALL, IDM_COPYTEMPO, IDM_SAVETEMPO})
        EXPECT_TRUE(CommandIs(id, true)) << "two rows, no selection";
    EXPECT_EQ(List(), GetFocus());

    Select(0);
    EXPECT_TRUE(CommandIs(IDM_DELETE, true));
}

TEST_F(MainWindowTest, ManyListNotificationsPostOneUpdate)
{
    OpenWindow();
    for (int i = 0; i < 5; ++i)
        AddTake({0, 500, 1000});

    DialogAnswerer answerer;
    answerer.Press(IDYES);
    SendMessageA(window, WM_COMMAND, IDM_DELETEALL, 0);

    int updates = 0;
    MSG msg;
    while (PeekMessageA(&msg, window, WM_UPDATESTATES, WM_UPDATESTATES, PM_REMOVE)) {
        ++updates;
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(1, updates);
    EXPECT_EQ(0, RowCount());
    EXPECT_TRUE(CommandIs(IDM_COPYTEMPO, false));
}

// --- Takes in the list -----------------------------------------------------------------

TEST_F(MainWindowTest, AddTakeToListNormalisesSelectsAndDropsShortTakes)
{
    OpenWindow();
    AddTake({1000, 1500, 2000});
    AddTake({4294967000u, 200});  // the millisecond clock wrapped
    ASSERT_EQ(2, RowCount());
    EXPECT_EQ((std::vector<Times>{{0, 500, 1000}, {0, 496}}), ListedTakes());

    char count[16] = "";
    LVITEMA item = {};
    item.iSubItem = 1;
    item.pszText = count;
    item.cchTextMax = sizeof count;
    SendMessageA(List(), LVM_GETITEMTEXTA, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ("2", count);
    // Only the new row is selected, and it has the focus.
    EXPECT_EQ(1, SendMessageA(List(), LVM_GETSELECTEDCOUNT, 0, 0));
    EXPECT_EQ(1, SendMessageA(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED | LVNI_FOCUSED));

    AddTake({5000});
    AddTake({});
    EXPECT_EQ(2, RowCount());
    EXPECT_TRUE(CurrentTake.IsEmpty());
}

TEST_F(MainWindowTest, DeleteKeyRemovesTheSelectedRowAndSelectsTheNext)
{
    OpenWindow();
    AddTake({0, 1});
    AddTake({0, 1, 2});
    AddTake({0, 1, 2, 3});
    Select(1);

    SendMessageA(List(), WM_KEYDOWN, VK_DELETE, 0);
    PumpMessages();

    EXPECT_EQ((std::vector<Times>{{0, 1}, {0, 1, 2, 3}}), ListedTakes());
    const LRESULT selected = SendMessageA(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    EXPECT_NE(-1, selected);
    EXPECT_EQ(selected, SendMessageA(List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    EXPECT_TRUE(CommandIs(IDM_DELETE, true));
}

TEST_F(MainWindowTest, DeleteAllAsksAndDeletesOnlyOnYes)
{
    OpenWindow();
    AddTake({0, 500});
    AddTake({0, 500});

    DialogAnswerer answerer;
    ASSERT_TRUE(answerer.Ready());
    answerer.Press(IDNO).Press(IDYES);
    Command(IDM_DELETEALL);
    EXPECT_EQ(2, RowCount());
    Command(IDM_DELETEALL);
    EXPECT_EQ(0, RowCount());

    ASSERT_EQ(2u, answerer.Boxes().size());
    const SeenBox& box = answerer.Boxes()[0];
    EXPECT_EQ(window, box.owner);
    EXPECT_EQ(LoadResString(IDS_DELETE_ALL), box.text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), box.style);
}

// --- Export ----------------------------------------------------------------------------

TEST_F(MainWindowTest, CopyPutsTheExportBytesOnTheClipboard)
{
    OpenWindow();
    AddTake({0, 500, 1000});
    AddTake({0, 510, 990});
    const std::vector<Times> takes = ListedTakes();
    const TakeList list = {&takes[0], &takes[1]};

    DialogAnswerer answerer;
    Command(IDM_COPYTEMPO);
    const std::vector<uint8_t> plain = ExportTempoBytes(list, 0, 2);
    EXPECT_EQ(plain, ClipboardMidi());

    // The count selected at the moment of the export is the one used.
    SelectInterpCount(3);
    Command(IDM_COPYTEMPO);
    const std::vector<uint8_t> interpolated = ExportTempoBytes(list, 3, 2);
    EXPECT_NE(plain, interpolated);
    EXPECT_EQ(interpolated, ClipboardMidi());
    EXPECT_TRUE(answerer.Boxes().empty());
}

TEST_F(MainWindowTest, UnequalTapCountsAskBeforeExporting)
{
    OpenWindow();
    AddTake({0, 500, 1000});
    AddTake({0, 500, 1000, 1500});
    const std::vector<Times> takes = ListedTakes();

    DialogAnswerer answerer;
    answerer.Press(IDNO).Press(IDYES);
    Command(IDM_COPYTEMPO);
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA("Standard MIDI File")));
    Command(IDM_COPYTEMPO);
    EXPECT_EQ(ExportTempoBytes({&takes[0], &takes[1]}, 0, 2), ClipboardMidi());

    ASSERT_EQ(2u, answerer.Boxes().size());
    const SeenBox& box = answerer.Boxes()[0];
    EXPECT_EQ(window, box.owner);
    EXPECT_EQ(LoadResString(IDS_UNEQUAL_TAPS), box.text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), box.style);
}

TEST_F(MainWindowTest, SaveWritesTheChosenFileAndReplacesAnOldOne)
{
    OpenWindow();
    AddTake({0, 500, 1000});
    const std::vector<Times> takes = ListedTakes();
    const std::string path = Scratch("save.mid");
    const std::string withoutExtension = path.substr(0, path.size() - 4);

    DialogAnswerer answerer;
    answerer.CancelFile().ChooseFile(withoutExtension);
    Command(IDM_SAVETEMPO);
    EXPECT_FALSE(FileExists(path));
    Command(IDM_SAVETEMPO);  // "mid" is appended to a bare name
    EXPECT_EQ(ExportTempoBytes({&takes[0]}, 0, 2), ReadBytes(path));
    EXPECT_TRUE(answerer.Boxes().empty());

    // Both dialogs offer the two filters of string 8.
    ASSERT_EQ(2u, answerer.FileDialogFilters().size());
    const std::string filter = LoadResString(IDS_MIDI_FILTER);
    const size_t allFiles = filter.find('\n', filter.find('\n') + 1) + 1;
    EXPECT_EQ((std::vector<std::string>{filter.substr(0, filter.find('\n')),
                                        filter.substr(allFiles, filter.find('\n', allFiles) - allFiles)}),
              answerer.FileDialogFilters()[1]);

    // Over an existing file: the system's overwrite question, then the whole
    // file is replaced and no temporary file stays behind.
    SelectInterpCount(2);
    DialogAnswerer overwrite;
    overwrite.ChooseFile(path).Press(IDYES);
    Command(IDM_SAVETEMPO);
    EXPECT_EQ(1u, overwrite.Boxes().size());
    EXPECT_EQ(ExportTempoBytes({&takes[0]}, 2, 2), ReadBytes(path));
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(MainWindowTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    OpenWindow();
    AddTake({0, 500, 1000});
    const std::string path = Scratch("locked.mid");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteBytes(path, old);
    // Held open by someone who lets others read and write it but not delete
    // or rename it: writing it in place would work, replacing it cannot.
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);

    DialogAnswerer answerer;
    answerer.ChooseFile(path).Press(IDYES).Press(IDOK);
    Command(IDM_SAVETEMPO);
    CloseHandle(lock);

    EXPECT_EQ(old, ReadBytes(path));
    WIN32_FIND_DATAA found;
    HANDLE left = FindFirstFileA(BesideTestProgram("~mtv*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, left) << "temporary file left: " << found.cFileName;
    if (left != INVALID_HANDLE_VALUE)
        FindClose(left);
    ASSERT_FALSE(answerer.Boxes().empty());
    const SeenBox& error = answerer.Boxes().back();
    EXPECT_EQ(window, error.owner);
    EXPECT_EQ(LoadResString(IDS_CAPTION_ERROR), error.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), error.style);
}

TEST_F(MainWindowTest, WriteReplacingReportsTheFailingCall)
{
    // A folder that does not exist: the temporary file cannot be created.
    DWORD error = ERROR_SUCCESS;
    const std::string path = BesideTestProgram("no-such-folder\\out.mid");
    const uint8_t data[3] = {1, 2, 3};
    EXPECT_FALSE(WriteFileReplacingWin32(path, data, sizeof data, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
}

// --- Import ----------------------------------------------------------------------------

TEST_F(MainWindowTest, DroppedFilesImportOnlyTheFirst)
{
    OpenWindow();
    // 480 ticks per quarter note at the default tempo; the files end at
    // beat 4, 8 and 6.
    const std::string first = Scratch("first.mid");
    const std::string second = Scratch("second.mid");
    const std::string third = Scratch("third.mid");
    WriteBytes(first, smfimg::SmfBuilder(0, 480).Track(smfimg::EndOfTrack(1920)).Build());
    WriteBytes(second, smfimg::SmfBuilder(0, 480).Track(smfimg::EndOfTrack(3840)).Build());
    WriteBytes(third, smfimg::SmfBuilder(1, 480).Track(smfimg::EndOfTrack(2880)).Build());

    DialogAnswerer answerer;
    HGLOBAL drop = MakeDrop({first, second, third});
    ASSERT_NE(nullptr, drop);
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    PumpMessages();

    EXPECT_EQ((std::vector<Times>{{0, 500, 1000, 1500}}), ListedTakes());
    EXPECT_TRUE(answerer.Boxes().empty());

    // The open dialog of the import command leads to the same import.
    answerer.ChooseFile(second);
    Command(IDM_IMPORT);
    ASSERT_EQ(2, RowCount());
    EXPECT_EQ(8u, ListedTakes()[1].size());
}

TEST_F(MainWindowTest, UnreadableOrUnsupportedFilesShowAnErrorAndAddNothing)
{
    OpenWindow();
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"format2.mid", smfimg::SmfBuilder(2, 480).Track(smfimg::EndOfTrack(1920)).Build()},
        {"smpte.mid", smfimg::SmfBuilder(0, 0xE728).Track(smfimg::EndOfTrack(1920)).Build()},
        {"text.mid", smfimg::Text("This is not a MIDI file at all.")},
        {"empty.mid", {}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Scratch(c.name);
        WriteBytes(path, c.bytes);
        DialogAnswerer answerer;
        EXPECT_FALSE(ImportTempoFile(window, MainWindowTakeBook(), path));
        ASSERT_EQ(1u, answerer.Boxes().size());
        const SeenBox& box = answerer.Boxes()[0];
        EXPECT_EQ(window, box.owner);
        EXPECT_EQ("'" + path + "'\n" + LoadResString(IDS_UNSUPPORTED_FILE), box.text);
        EXPECT_EQ(LoadResString(IDS_CAPTION_ERROR), box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.style);
    }

    // A file that cannot be opened: the system's words for the error.
    DialogAnswerer answerer;
    EXPECT_FALSE(ImportTempoFile(window, MainWindowTakeBook(), Scratch("missing.mid")));
    ASSERT_EQ(1u, answerer.Boxes().size());
    EXPECT_EQ(GetSystemErrorText(ERROR_FILE_NOT_FOUND), answerer.Boxes()[0].text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_ERROR), answerer.Boxes()[0].caption);

    EXPECT_EQ(0, RowCount());
    EXPECT_EQ(0u, MainWindowTakeBook().Size());
    EXPECT_FALSE(MainWindowTakeBook().CanUndo());
    EXPECT_TRUE(CurrentTake.IsEmpty());
}

// A file whose tempo map gives fewer than two beats adds nothing, and says
// so, as every other file that adds nothing does.
TEST_F(MainWindowTest, FileWhoseMapGivesNoTakeSaysSo)
{
    OpenWindow();
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"no-time.mid", smfimg::SmfBuilder(0, 480).Track(smfimg::EndOfTrack(0)).Build()},
        {"tempo-zero.mid",
         smfimg::SmfBuilder(0, 480).Track(smfimg::Cat({smfimg::Tempo(0, 0), smfimg::EndOfTrack(1920)})).Build()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Scratch(c.name);
        WriteBytes(path, c.bytes);
        DialogAnswerer answerer;
        EXPECT_FALSE(ImportTempoFile(window, MainWindowTakeBook(), path));
        ASSERT_EQ(1u, answerer.Boxes().size());
        const SeenBox& box = answerer.Boxes()[0];
        EXPECT_EQ(window, box.owner);
        std::string text = LoadResString(IDS_IMPORT_NO_TAKE);
        text.replace(text.find("%1"), 2, path);
        EXPECT_EQ(text, box.text);
        EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), box.caption);
    }
    EXPECT_EQ(0, RowCount());
    EXPECT_FALSE(MainWindowTakeBook().CanUndo());
}

// --- Settings --------------------------------------------------------------------------

TEST_F(MainWindowTest, WithoutSettingsFileDefaultsApplyAndClosingWritesTheKeys)
{
    OpenWindow();
    EXPECT_EQ(0, SendDlgItemMessageA(window, IDC_INTERPCOUNT, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(11, SendDlgItemMessageA(window, IDC_INTERPCOUNT, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(2, g_AppSettings.TimeSigBase);

    // A finished move is remembered; a move without WM_EXITSIZEMOVE is not.
    SetWindowPos(window, nullptr, 123, 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
    SetWindowPos(window, nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    WPARAM exitCode = 1;
    EXPECT_TRUE(TakeQuitMessage(&exitCode));
    EXPECT_EQ(0u, exitCode);

    EXPECT_EQ((std::vector<std::string>{"[AppSetting]", "Left=123", "Top=45", "TempoInterpCount=0", "TimeSigBase=2",
                                        "TapMethod=0", "MidiIn=", "Smoothing=0", "RepairOnExport=0", "GraphLeft=0",
                                        "GraphTop=0", "GraphWidth=0", "GraphHeight=0", "RestoreTakes=1"}),
              Lines(ReadText(settingsPath)));
}

TEST_F(MainWindowTest, StoredValuesAreLimitedAndForeignKeysSurvive)
{
    OpenWindow(
        "[AppSetting]\r\nLeft=37\r\nTop=41\r\nTempoInterpCount=15\r\nTimeSigBase=7\r\nTapMethod=3\r\n"
        "AddCakewalkTool=1\r\nMidiIn=Port A\r\nOwnKey=kept\r\n[Other]\r\nx=1\r\n");
    EXPECT_EQ(10, SendDlgItemMessageA(window, IDC_INTERPCOUNT, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(2, g_AppSettings.TimeSigBase);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(37, rect.left);
    EXPECT_EQ(41, rect.top);

    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"[AppSetting]", "Left=37", "Top=41", "TempoInterpCount=10", "TimeSigBase=2",
                                        "TapMethod=0", "MidiIn=Port A", "OwnKey=kept", "Smoothing=0", "RepairOnExport=0",
                                        "GraphLeft=0", "GraphTop=0", "GraphWidth=0", "GraphHeight=0", "RestoreTakes=1",
                                        "", "[Other]", "x=1"}),
              Lines(ReadText(settingsPath)));
}

}  // namespace

namespace {

// Any file name, whatever the code page: a name with characters code page
// 932 lacks (accented Latin, Hangul, a music sign) is imported by the open
// dialog and by a drop, the tempo map is saved under it, replacing an older
// file of that name, and takes are saved and opened again under it.
class UnicodeFileNameTest : public MainWindowTest {
protected:
    // Beside the test program, under a name the ANSI functions cannot spell.
    std::wstring WideScratch()
    {
        wchar_t module[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
        std::wstring path(module, length);
        path = path.substr(0, path.find_last_of(L'\\') + 1) + L"\u30C6\u30F3\u30DD \u266A caf\u00E9 \uD55C\uAD6D.mid";
        DeleteFileW(path.c_str());
        widePaths.push_back(path);
        return path;
    }

    static void WriteWide(const std::wstring& path, const std::vector<uint8_t>& bytes)
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(bytes.size(), written);
    }

    static std::vector<uint8_t> ReadWide(const std::wstring& path)
    {
        std::vector<uint8_t> bytes;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return bytes;
        bytes.resize(GetFileSize(file, nullptr));
        DWORD read = 0;
        if (!bytes.empty())
            ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(file);
        bytes.resize(read);
        return bytes;
    }

    void TearDown() override
    {
        for (const std::wstring& path : widePaths)
            DeleteFileW(path.c_str());
        MainWindowTest::TearDown();
    }

    std::vector<std::wstring> widePaths;
};

TEST_F(UnicodeFileNameTest, ImportsByDialogAndDropSavesReplacingAnOlderFileAndKeepsTakes)
{
    OpenWindow();
    const std::wstring path = WideScratch();
    // The name really is one the code page cannot spell.
    BOOL defaulted = FALSE;
    char ansi[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, ansi, MAX_PATH, nullptr, &defaulted);
    ASSERT_TRUE(defaulted);
    WriteWide(path, smfimg::SmfBuilder(0, 480).Track(smfimg::EndOfTrack(1920)).Build());

    DialogAnswerer answerer;
    answerer.ChooseFile(path);
    Command(IDM_IMPORT);
    EXPECT_EQ((std::vector<Times>{{0, 500, 1000, 1500}}), ListedTakes());

    HGLOBAL drop = MakeWideDrop(path);
    ASSERT_NE(nullptr, drop);
    SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    PumpMessages();
    EXPECT_EQ(2, RowCount());
    EXPECT_TRUE(answerer.Boxes().empty()) << answerer.Boxes().front().text;

    // Saved under the same name: the system asks, and the whole file is
    // replaced by the tempo map of the two takes.
    answerer.ChooseFile(path).Press(IDYES);
    Command(IDM_SAVETEMPO);
    EXPECT_EQ(1u, answerer.Boxes().size());
    const std::vector<Times> takes = ListedTakes();
    ASSERT_EQ(2u, takes.size());
    const int interpCount = static_cast<int>(SendDlgItemMessageA(window, IDC_INTERPCOUNT, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(ExportTempoBytes({&takes[0], &takes[1]}, interpCount, 2), ReadWide(path));
    EXPECT_EQ(0u, answerer.UnusedAnswers());

    // The takes saved under such a name and opened again: listed twice.
    const std::wstring takesPath = path.substr(0, path.size() - 4) + L".takes";
    widePaths.push_back(takesPath);
    answerer.ChooseFile(takesPath);
    Command(IDM_SAVETAKES);
    answerer.ChooseFile(takesPath);
    Command(IDM_OPENTAKES);
    EXPECT_EQ((std::vector<Times>{takes[0], takes[1], takes[0], takes[1]}), ListedTakes());
    EXPECT_EQ(1u, answerer.Boxes().size());
    EXPECT_EQ(0u, answerer.UnusedAnswers());
}

}  // namespace
