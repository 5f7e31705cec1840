// The session in-process: the real main window writing "Metrova.takes"
// beside the test program after each change, restoring it when it starts,
// setting a damaged one aside, journalling the take being tapped, and the
// File menu's commands that open and save takes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileReplace.h"
#include "IniFile.h"
#include "MainWindow.h"
#include "Messages.h"
#include "Session.h"
#include "SettingsWin32.h"
#include "TakeSession.h"
#include "TapTestSupport.h"
#include "WidePath.h"
#include "resource.h"

namespace {

using namespace wine_test;
using Times = std::vector<uint32_t>;

// The names in the test program's folder that match `pattern`.
std::vector<std::string> FilesLike(const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(BesideTestProgram(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

class SessionWindowTest : public TapWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(PrepareStartUp());
        std::string path = NarrowForDisplay(GetSessionPath());
        ASSERT_FALSE(path.empty());
        sessionPath = path;
        path = NarrowForDisplay(GetJournalPath());
        ASSERT_FALSE(path.empty());
        journalPath = path;
    }

    void TearDown() override
    {
        CloseMainWindow();
        RemoveDirectoryA(sessionPath.c_str());  // where a test made the name a folder
        for (const std::string& file : scratchFiles)
            DeleteFileA(file.c_str());
        settingsAside.reset();
    }

    // Start-up as the program does it, with the settings given.
    void OpenWindow(const std::string& settings = "")
    {
        DeleteFileA(settingsPath.c_str());
        if (!settings.empty())
            WriteText(settingsPath, settings);
        ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    }

    // The close box: the settings are saved and the window goes.
    void CloseWindow()
    {
        SendMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(window));
        TakeQuitMessage();
        window = nullptr;
    }

    void AddTake(const Times& times) { ListTake(times); }
    void Command(UINT id) { SendCommand(window, id); }

    int Rows() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }

    std::string TimeColumn(int row) const
    {
        char text[256] = "";
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }

    std::vector<SessionTake> Saved(const std::string& path) const
    {
        std::vector<SessionTake> takes;
        TakeFileError error;
        EXPECT_TRUE(ReadSession(ReadText(path), takes, error)) << error.Message;
        return takes;
    }

    std::string Scratch(const std::string& name)
    {
        const std::string path = BesideTestProgram("SessionWindowTest-" + name);
        scratchFiles.push_back(path);
        DeleteFileA(path.c_str());
        return path;
    }

    std::string sessionPath;
    std::string journalPath;
    std::vector<std::string> scratchFiles;
};

TEST_F(SessionWindowTest, EveryChangeIsSavedAndTheTakesComeBackButClosingSavesNothing)
{
    OpenWindow();
    EXPECT_FALSE(FileExists(sessionPath)) << "starting is no change";
    AddTake({1000, 1500, 2000});
    AddTake({7, 600, 1200, 1800});
    AddTake({0, 480});
    std::vector<SessionTake> saved = Saved(sessionPath);
    ASSERT_EQ(3u, saved.size());
    EXPECT_EQ((Times{0, 500, 1000}), saved[0].Taps);
    EXPECT_EQ((Times{0, 593, 1193, 1793}), saved[1].Taps);
    ListedTime listed;
    EXPECT_TRUE(ParseListedTime(saved[0].ListedAt, listed)) << saved[0].ListedAt;

    // Delete the middle row.
    LVITEMA state = {};
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(List(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    Command(IDM_DELETE);
    saved = Saved(sessionPath);
    ASSERT_EQ(2u, saved.size());
    EXPECT_EQ((Times{0, 480}), saved[1].Taps);

    // The window's teardown deletes every row; the session stays as it was.
    const std::string before = ReadText(sessionPath);
    CloseWindow();
    EXPECT_EQ(before, ReadText(sessionPath));

    OpenWindow();
    EXPECT_EQ((std::vector<Times>{{0, 500, 1000}, {0, 480}}), ListedTakes());
    // Shown as a freshly listed take is shown: the user's time format.
    SYSTEMTIME time = {};
    ASSERT_TRUE(ParseListedTime(saved[0].ListedAt, listed));
    time.wYear = static_cast<WORD>(listed.Year);
    time.wMonth = static_cast<WORD>(listed.Month);
    time.wDay = static_cast<WORD>(listed.Day);
    time.wHour = static_cast<WORD>(listed.Hour);
    time.wMinute = static_cast<WORD>(listed.Minute);
    time.wSecond = static_cast<WORD>(listed.Second);
    char expected[256] = "";
    ASSERT_NE(0, GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, expected, sizeof expected));
    EXPECT_EQ(expected, TimeColumn(0));
    EXPECT_EQ(before, ReadText(sessionPath)) << "restoring is no change";

    DialogAnswerer answerer;
    answerer.Press(IDYES);
    Command(IDM_DELETEALL);
    EXPECT_EQ("Metrova takes 1\r\nend\r\n", ReadText(sessionPath));
}

TEST_F(SessionWindowTest, RestoreTakesOffStartsEmptyAndLeavesTheSession)
{
    const std::string session = "Metrova takes 1\r\ntake 2026-12-07T14:30:05 2\r\n0\r\n500\r\nend\r\n";
    WriteText(sessionPath, session);
    OpenWindow("[AppSetting]\r\nRestoreTakes=0\r\n");
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(session, ReadText(sessionPath));
    CloseWindow();
    OpenWindow("[AppSetting]\r\nRestoreTakes=1\r\n");
    EXPECT_EQ((std::vector<Times>{{0, 500}}), ListedTakes());
}

TEST_F(SessionWindowTest, DamagedSessionIsKeptAsideAndTheUserToldOnce)
{
    const std::string damaged = "Metrova takes 1\r\ntake 2026-12-07T14:30:05 3\r\n0\r\n5";
    WriteText(sessionPath, damaged);
    DialogAnswerer answerer;
    OpenWindow();
    EXPECT_EQ(0, Rows());
    EXPECT_FALSE(FileExists(sessionPath));
    const std::vector<std::string> aside = FilesLike("Metrova.takes.bad-*");
    ASSERT_EQ(1u, aside.size());
    EXPECT_EQ(damaged, ReadText(BesideTestProgram(aside[0])));
    // "Metrova.takes.bad-YYYYMMDD-HHMMSS"
    EXPECT_EQ(std::string("Metrova.takes.bad-").size() + 15, aside[0].size());

    ASSERT_EQ(1u, answerer.Boxes().size());
    const SeenBox& box = answerer.Boxes()[0];
    EXPECT_EQ(window, box.owner);
    EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), box.style);
    std::string text = LoadResString(IDS_SESSION_SET_ASIDE);
    text.replace(text.find("%1"), 2, BesideTestProgram(aside[0]));
    EXPECT_EQ(text + "\n" + LoadResString(IDS_SESSION_KEPT_NONE), box.text);

    // The next change writes a new session; the damaged file stays.
    AddTake({0, 500});
    EXPECT_EQ(1u, Saved(sessionPath).size());
    EXPECT_EQ(damaged, ReadText(BesideTestProgram(aside[0])));
    CloseWindow();
    OpenWindow();
    EXPECT_EQ(1, Rows());
    EXPECT_EQ(1u, answerer.Boxes().size()) << "told once";
}

// A damaged journal beside a good session: the notice says what the list
// really holds, the session's takes.
TEST_F(SessionWindowTest, DamagedJournalIsKeptAsideAndTheNoticeNamesTheTakesKept)
{
    WriteText(sessionPath, "Metrova takes 1\r\ntake 2026-12-07T14:30:05 2\r\n0\r\n500\r\n"
                           "take 2026-12-07T14:30:09 2\r\n0\r\n450\r\nend\r\n");
    WriteText(journalPath, "Metrova takes 1\r\ntake 2026-12-07T14:31:00 3\r\n0\r\n41");
    DialogAnswerer answerer;
    OpenWindow();
    PumpMessages();
    EXPECT_EQ(2, Rows());
    const std::vector<std::string> aside = FilesLike("Metrova.journal.bad-*");
    ASSERT_EQ(1u, aside.size());
    ASSERT_EQ(1u, answerer.Boxes().size());
    std::string text = LoadResString(IDS_SESSION_SET_ASIDE);
    text.replace(text.find("%1"), 2, BesideTestProgram(aside[0]));
    std::string kept = LoadResString(IDS_SESSION_KEPT_SOME);
    kept.replace(kept.find("%1"), 2, "2");
    EXPECT_EQ(text + "\n" + kept, answerer.Boxes()[0].text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_WARNING), answerer.Boxes()[0].caption);
    scratchFiles.push_back(BesideTestProgram(aside[0]));
}

// A session of a version that kept both keys of a chord: the repeated times
// are dropped, and start-up says so once.
TEST_F(SessionWindowTest, RepeatedTimesInTheSessionAreDroppedAndToldOnce)
{
    WriteText(sessionPath, "Metrova takes 1\r\ntake 2026-12-07T14:30:05 4\r\n0\r\n500\r\n500\r\n1000\r\nend\r\n");
    DialogAnswerer answerer;
    OpenWindow();
    PumpMessages();
    EXPECT_EQ((std::vector<Times>{{0, 500, 1000}}), ListedTakes());
    ASSERT_EQ(1u, answerer.Boxes().size());
    std::string text = LoadResString(IDS_REPEATS_DROPPED);
    text.replace(text.find("%1"), 2, "1");
    EXPECT_EQ(text, answerer.Boxes()[0].text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_INFO), answerer.Boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONINFORMATION), answerer.Boxes()[0].style);

    // Open a take file with a repeat, then one whose times run back.
    const std::string chord = Scratch("chord.txt");
    WriteText(chord, "0 500 500 1000 1000 1500\n");
    const std::string back = Scratch("back.txt");
    WriteText(back, "0 500\n400 900\n");
    answerer.ChooseFile(chord).Press(IDOK).ChooseFile(back).Press(IDOK);
    Command(IDM_OPENTAKES);
    Command(IDM_OPENTAKES);
    EXPECT_EQ((std::vector<Times>{{0, 500, 1000}, {0, 500, 1000, 1500}}), ListedTakes());
    ASSERT_EQ(3u, answerer.Boxes().size());
    text = LoadResString(IDS_REPEATS_DROPPED);
    text.replace(text.find("%1"), 2, "2");
    EXPECT_EQ(text, answerer.Boxes()[1].text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_ERROR), answerer.Boxes()[2].caption);
    EXPECT_NE(std::string::npos, answerer.Boxes()[2].text.find("'" + back + "'\n")) << answerer.Boxes()[2].text;

    // Saved without the repeats: the next start has nothing to tell.
    CloseWindow();
    OpenWindow();
    PumpMessages();
    EXPECT_EQ(3u, answerer.Boxes().size());
}

// A folder where the session cannot be written (read-only, a full disk):
// told once, naming the folder, with the offer to save the takes elsewhere.
TEST_F(SessionWindowTest, SessionThatCannotBeWrittenIsToldOnceAndTheTakesCanBeSavedElsewhere)
{
    OpenWindow();
    AddTake({0, 500, 1000});
    // A folder where the session's name is taken: no session can be put
    // there, as in a read-only folder, while other folders take files.
    ASSERT_TRUE(DeleteFileA(sessionPath.c_str()));
    ASSERT_TRUE(CreateDirectoryA(sessionPath.c_str(), nullptr));
    const std::string elsewhere = Scratch("rescued.takes");
    DialogAnswerer answerer;
    answerer.Press(IDYES).ChooseFile(elsewhere);
    AddTake({0, 400, 800});
    PumpMessages();  // the notice comes once the change is done
    ASSERT_EQ(1u, answerer.Boxes().size());
    const SeenBox& box = answerer.Boxes()[0];
    std::wstring folder = GetSessionPath();
    folder.resize(folder.find_last_of(L'\\'));
    std::string text = LoadResString(IDS_TAKES_UNSAVED);
    text.replace(text.find("%1"), 2, NarrowForDisplay(folder));
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), box.style);
    EXPECT_EQ(0u, answerer.UnusedAnswers());
    // Every listed take is in the file chosen.
    EXPECT_EQ(2u, MainWindowTakeBook().Size());
    EXPECT_EQ(FormatSession(MainWindowTakeBook().Takes()), ReadText(elsewhere));

    AddTake({0, 300});
    PumpMessages();
    EXPECT_EQ(1u, answerer.Boxes().size()) << "told once a run";
    EXPECT_TRUE(RemoveDirectoryA(sessionPath.c_str()));
}

TEST_F(SessionWindowTest, SessionThatCannotBeOpenedIsLeftAloneForTheRun)
{
    const std::string session = "Metrova takes 1\r\ntake 2026-12-07T14:30:05 2\r\n0\r\n500\r\nend\r\n";
    WriteText(sessionPath, session);
    // Held by another program that lets nobody else read it.
    HANDLE lock = CreateFileA(sessionPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    DialogAnswerer answerer;
    OpenWindow();
    EXPECT_EQ(0, Rows());
    EXPECT_TRUE(answerer.Boxes().empty());
    CloseHandle(lock);
    AddTake({0, 300});
    EXPECT_EQ(session, ReadText(sessionPath));
    EXPECT_TRUE(FilesLike("Metrova.takes.bad-*").empty());
}

TEST_F(SessionWindowTest, FailedSessionSaveKeepsThePreviousSessionWhole)
{
    OpenWindow();
    AddTake({0, 500, 1000});
    const std::string before = ReadText(sessionPath);
    DialogAnswerer answerer;
    answerer.Press(IDNO);  // the offer to save the takes elsewhere
    SetFileWriteFailureForTesting(20);  // a full disk
    AddTake({0, 400, 800});
    SetFileWriteFailureForTesting(-1);
    PumpMessages();
    EXPECT_EQ(1u, answerer.Boxes().size());
    EXPECT_EQ(2, Rows());
    EXPECT_EQ(before, ReadText(sessionPath));
    EXPECT_TRUE(FilesLike("~mtv*").empty()) << "a temporary file was left behind";
    AddTake({0, 300});
    EXPECT_EQ(3u, Saved(sessionPath).size());
}

TEST_F(SessionWindowTest, TheTakeBeingTappedIsJournalledAndGoesOnceListed)
{
    OpenWindow();
    std::string journal;
    OnTapDialog({
        [](HWND dialog) {
            for (int i = 0; i < 3; ++i) {
                SendMessageA(dialog, WM_KEYDOWN, 'A', 0x001E0001);
                Sleep(20);
            }
        },
        ReadWhenWritten(journalPath, journal),
        [](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001); },
    });
    AddCommand();
    EndActions();

    std::vector<SessionTake> takes;
    TakeFileError error;
    ASSERT_TRUE(ReadSession(journal, takes, error)) << error.Message << journal;
    ASSERT_EQ(1u, takes.size());
    ASSERT_EQ(1u, ListedTakes().size());
    EXPECT_EQ(ListedTakes()[0], takes[0].Taps);
    EXPECT_FALSE(FileExists(journalPath)) << "the listed take is in the session now";
    EXPECT_EQ(ListedTakes()[0], Saved(sessionPath).at(0).Taps);
}

TEST_F(SessionWindowTest, JournalOfAKilledRunIsListedOnceAtStartUp)
{
    const std::string session = "Metrova takes 1\r\ntake 2026-12-07T14:30:05 2\r\n0\r\n500\r\nend\r\n";
    WriteText(sessionPath, session);
    WriteText(journalPath, "Metrova takes 1\r\ntake 2026-12-07T14:31:00 3\r\n0\r\n410\r\n820\r\nend\r\n");
    DialogAnswerer answerer;
    OpenWindow();
    PumpMessages();
    EXPECT_EQ((std::vector<Times>{{0, 500}, {0, 410, 820}}), ListedTakes());
    // Said once: the take appears with a word.
    ASSERT_EQ(1u, answerer.Boxes().size());
    std::string text = LoadResString(IDS_JOURNAL_RESTORED);
    text.replace(text.find("%1"), 2, "3");
    EXPECT_EQ(text, answerer.Boxes()[0].text);
    EXPECT_EQ(LoadResString(IDS_CAPTION_INFO), answerer.Boxes()[0].caption);
    EXPECT_FALSE(FileExists(journalPath));
    ASSERT_EQ(2u, Saved(sessionPath).size());
    EXPECT_EQ("2026-12-07T14:31:00", Saved(sessionPath)[1].ListedAt);
    CloseWindow();

    // Killed after the take was listed and saved but before the journal
    // went: the take is not listed twice.
    WriteText(journalPath, "Metrova takes 1\r\ntake 2026-12-07T14:31:00 3\r\n0\r\n410\r\n820\r\nend\r\n");
    OpenWindow();
    PumpMessages();
    EXPECT_EQ(2, Rows());
    EXPECT_FALSE(FileExists(journalPath));
    EXPECT_EQ(1u, answerer.Boxes().size()) << "nothing restored, nothing to tell";
}

TEST_F(SessionWindowTest, OpenListsTakesOfEveryKindAndNothingFromABadFile)
{
    OpenWindow();
    const std::string labels = Scratch("labels.txt");
    WriteText(labels, "0.500000\t0.500000\tBeat 1\r\n1.000000\t1.000000\t2\r\n1.4996\t1.4996\t3\r\n");
    const std::string session = Scratch("two.takes");
    WriteText(session, "Metrova takes 1\r\ntake 2025-01-02T03:04:05 2\r\n0\r\n700\r\n"
                       "take 2025-01-02T03:05:06 3\r\n0\r\n1\r\n2\r\nend\r\n");
    const std::string bad = Scratch("bad.txt");
    WriteText(bad, "0\n500\n5x0\n");

    DialogAnswerer answerer;
    answerer.ChooseFile(labels).ChooseFile(session).ChooseFile(bad).Press(IDOK);
    Command(IDM_OPENTAKES);
    Command(IDM_OPENTAKES);
    EXPECT_EQ((std::vector<Times>{{0, 500, 1000}, {0, 700}, {0, 1, 2}}), ListedTakes());
    const std::vector<SessionTake> saved = Saved(sessionPath);
    ASSERT_EQ(3u, saved.size());
    EXPECT_EQ("2025-01-02T03:05:06", saved[2].ListedAt);

    Command(IDM_OPENTAKES);
    EXPECT_EQ(3, Rows());
    ASSERT_EQ(1u, answerer.Boxes().size());
    const SeenBox& box = answerer.Boxes()[0];
    EXPECT_EQ(LoadResString(IDS_CAPTION_ERROR), box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.style);
    std::string text = LoadResString(IDS_TAKE_FILE_BAD_LINE);
    text.replace(text.find("%1"), 2, "3");
    text.replace(text.find("%2"), 2, "5x0");
    EXPECT_EQ("'" + bad + "'\n" + text, box.text);
}

TEST_F(SessionWindowTest, SavedTakesOpenAgainAndExportTheSameBytes)
{
    OpenWindow();
    AddTake({0, 510, 990, 1530});
    AddTake({0, 480, 1010, 1490});
    const std::string takes = Scratch("saved.takes");
    const std::string first = Scratch("first.mid");
    const std::string second = Scratch("second.mid");

    DialogAnswerer answerer;
    answerer.ChooseFile(takes).ChooseFile(first).Press(IDYES).ChooseFile(takes).ChooseFile(second);
    Command(IDM_SAVETAKES);
    EXPECT_EQ(FormatSession(MainWindowTakeBook().Takes()), ReadText(takes));
    Command(IDM_SAVETEMPO);
    Command(IDM_DELETEALL);
    EXPECT_EQ(0, Rows());
    Command(IDM_OPENTAKES);
    EXPECT_EQ(ReadText(takes), FormatSession(MainWindowTakeBook().Takes()));
    Command(IDM_SAVETEMPO);
    EXPECT_EQ(0u, answerer.UnusedAnswers());
    ASSERT_TRUE(FileExists(second));
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));
    EXPECT_TRUE(answerer.Boxes().size() == 1) << "only the delete-all question";
}

}  // namespace
