#include "TakeSession.h"

#include <commdlg.h>

#include <cwchar>
#include <new>
#include <utility>
#include <vector>

#include "ExportTempoWin32.h"
#include "Messages.h"
#include "Session.h"
#include "SettingsWin32.h"
#include "Take.h"
#include "TakeFile.h"
#include "WideFile.h"
#include "WidePath.h"
#include "resource.h"

namespace {

// Set when the session file could not be read (locked, no access) or not be
// set aside: it is then left as it is for this run instead of being
// overwritten.
bool sessionLocked = false;
bool lastSessionSaved = true;

// Files set aside at start-up, for the one notice.
std::vector<std::string> setAsideNames;

// The journal of the take being tapped: when it began and how many taps the
// last written journal held.
std::string journalStartedAt;
size_t journalTaps = 0;

void ReportTakeFileError(HWND owner, const std::string& path, const TakeFileError& error)
{
    const std::string line = std::to_string(error.Line);
    std::string text;
    switch (error.Problem) {
    case TakeFileProblem::SessionCutOff:
        text = LoadResString(IDS_TAKE_FILE_CUT_OFF, line);
        break;
    case TakeFileProblem::NewerSession:
        text = LoadResString(IDS_TAKE_FILE_NEWER);
        break;
    default:
        text = LoadResString(IDS_TAKE_FILE_BAD_LINE, line, error.Excerpt);
        break;
    }
    CenteredMessageBox(owner, "'" + path + "'\n" + text, LoadResString(IDS_CAPTION_ERROR), MB_ICONERROR);
}

// Reads a session or journal at start-up: its takes, nothing when it is
// missing, and one whose content is damaged (cut off, not a session, far too
// large) is set aside. False when the file is to be left alone for this run:
// it could not be read at all (locked, no access), or not be set aside.
bool ReadKeptTakes(const std::wstring& path, std::vector<SessionTake>& takes)
{
    std::string bytes;
    DWORD error = ERROR_SUCCESS;
    const FileReadResult result = ReadWholeFile(path, bytes, MaxTakeFileSize, &error);
    if (result == FileReadResult::Missing)
        return true;
    if (result == FileReadResult::Failed)
        return false;
    TakeFileError problem;
    if (result == FileReadResult::Read && ReadSession(bytes, takes, problem))
        return true;
    const std::wstring aside = SetFileAside(path);
    if (aside.empty())
        return false;
    setAsideNames.push_back(NarrowForDisplay(aside));
    return true;
}

OPENFILENAMEW TakeFileDialog(HWND owner, const std::wstring& filter, wchar_t (&path)[MAX_PATH], DWORD flags)
{
    return FileDialogFor(owner, filter, path, flags, L"takes");
}

}  // namespace

std::string ListedTimeNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    ListedTime listed;
    listed.Year = now.wYear;
    listed.Month = now.wMonth;
    listed.Day = now.wDay;
    listed.Hour = now.wHour;
    listed.Minute = now.wMinute;
    listed.Second = now.wSecond;
    return FormatListedTime(listed);
}

bool SaveSession(const TakeBook& book)
{
    if (sessionLocked)
        return lastSessionSaved = false;
    const std::wstring path = GetSessionPath();
    if (path.empty())
        return lastSessionSaved = false;
    const std::string text = FormatSession(book.Takes());
    return lastSessionSaved = WriteFileReplacing(path, text.data(), text.size());
}

void RestoreSession(HWND mainWindow, TakeBook& book)
{
    setAsideNames.clear();
    sessionLocked = false;
    if (!g_AppSettings.RestoreTakes)
        return;
    const std::wstring sessionPath = GetSessionPath();
    const std::wstring journalPath = GetJournalPath();
    if (sessionPath.empty() || journalPath.empty())
        return;

    std::vector<SessionTake> takes;
    sessionLocked = !ReadKeptTakes(sessionPath, takes);
    const Take lastListed = takes.empty() ? Take() : takes.back().Taps;
    book.Restore(std::move(takes));

    // A run killed while tapping left its take in the journal. If it was
    // killed after listing the take but before removing the journal, the
    // session already ends with that take.
    std::vector<SessionTake> journal;
    if (ReadKeptTakes(journalPath, journal) && !journal.empty()) {
        const bool alreadyListed = !lastListed.empty() && lastListed == journal.back().Taps;
        const bool listed = !alreadyListed && book.Restore(std::move(journal));
        if (!listed || SaveSession(book))
            DeleteFileW(PathForFileApi(journalPath).c_str());
    }
    if (!setAsideNames.empty())
        PostMessageA(mainWindow, WM_SESSIONNOTICE, 0, 0);
}

void ShowSessionNotice(HWND mainWindow)
{
    if (setAsideNames.empty())
        return;
    std::string names;
    for (const std::string& name : setAsideNames)
        names += (names.empty() ? "" : "\n") + name;
    setAsideNames.clear();
    CenteredMessageBox(mainWindow, LoadResString(IDS_SESSION_SET_ASIDE, names), LoadResString(IDS_CAPTION_WARNING),
                       MB_ICONEXCLAMATION);
}

void BeginTakeJournal()
{
    journalStartedAt = ListedTimeNow();
    journalTaps = 0;
}

void WriteTakeJournal()
{
    // The copy is taken under the slot's lock: the MIDI driver's thread may
    // be appending at this very moment.
    Take taps = CurrentTake.Copy();
    if (taps.size() < 2 || taps.size() == journalTaps)
        return;
    const std::wstring path = GetJournalPath();
    if (path.empty())
        return;
    NormalizeTake(taps);
    SessionTake take{journalStartedAt, std::move(taps), true, {}};
    const std::string text = FormatSession(std::vector<const SessionTake*>{&take});
    // No flush to the disk: the journal guards against the program being
    // killed, not against a power cut, and must not hold up the taps.
    if (WriteFileReplacing(path, text.data(), text.size(), nullptr, false))
        journalTaps = take.Taps.size();
}

void EndTakeJournal()
{
    // Kept when the session holding the take could not be saved: it is the
    // only copy on the disk then.
    if (journalTaps > 0 && lastSessionSaved) {
        const std::wstring path = GetJournalPath();
        if (!path.empty())
            DeleteFileW(PathForFileApi(path).c_str());
    }
    journalTaps = 0;
}

bool OpenTakesFile(HWND owner, TakeBook& book, const std::wstring& path)
{
    std::string bytes;
    DWORD error = ERROR_SUCCESS;
    if (ReadWholeFile(path, bytes, MaxTakeFileSize, &error) != FileReadResult::Read) {
        ReportSystemError(owner, error);
        return false;
    }
    std::vector<SessionTake> takes;
    TakeFileError problem;
    if (!ReadTakeFileBytes(bytes, takes, problem)) {
        ReportTakeFileError(owner, NarrowForDisplay(path), problem);
        return false;
    }
    // A take file holds no listed time: its takes are listed now.
    const std::string now = ListedTimeNow();
    for (SessionTake& take : takes) {
        if (take.ListedAt.empty())
            take.ListedAt = now;
    }
    book.Append(std::move(takes), g_AppSettings.TimeSigBase);
    return true;
}

void OpenTakesFromFile(HWND owner, TakeBook& book)
{
    const std::wstring filter = WidenAnsi(LoadFileFilter(IDS_TAKE_FILTER));
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW ofn = TakeFileDialog(owner, filter, path, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    DialogCenteringScope centring;
    if (!GetOpenFileNameW(&ofn))
        return;
    WaitCursorScope waiting;
    OpenTakesFile(owner, book, std::wstring(path));
}

void SaveTakesToFile(HWND owner, const TakeBook& book)
{
    // The checked takes, those that would be exported.
    const std::vector<const SessionTake*> takes = book.CheckedTakes();
    if (takes.empty())
        return;
    const std::wstring filter = WidenAnsi(LoadFileFilter(IDS_TAKE_FILTER));
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW ofn =
        TakeFileDialog(owner, filter, path, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST);
    DialogCenteringScope centring;
    if (!GetSaveFileNameW(&ofn))
        return;
    WaitCursorScope waiting;
    const std::string text = FormatSession(takes);
    DWORD error = ERROR_SUCCESS;
    if (!WriteFileReplacingWin32(std::wstring(path), text.data(), text.size(), error))
        ReportSystemError(owner, error);
}

std::wstring SetFileAside(const std::wstring& path)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[32];
    std::swprintf(stamp, sizeof stamp / sizeof stamp[0], L".bad-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    for (int n = 1; n < 100; ++n) {
        const std::wstring name = path + stamp + (n == 1 ? std::wstring() : L"-" + std::to_wstring(n));
        // MoveFileW without MOVEFILE_REPLACE_EXISTING: an earlier file set
        // aside in the same second is never overwritten.
        if (MoveFileW(PathForFileApi(path).c_str(), PathForFileApi(name).c_str()))
            return name;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            break;
    }
    return std::wstring();
}
