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
// Set when writing the session or the journal failed (a read-only folder, a
// full disk), not when the session was left alone on purpose; and once the
// user has been told of it, which happens once a run.
bool takeFileWriteFailed = false;
bool toldTakesUnsaved = false;

// What start-up has to tell, in the one notice: the files set aside, how
// many takes the list holds after them, the taps of a take rescued from the
// journal and the repeated tap times dropped from the files read.
std::vector<std::string> setAsideNames;
size_t keptTakes = 0;
size_t restoredTaps = 0;
size_t startUpRepeats = 0;

// The journal of the take being tapped: when it began and how many taps the
// last written journal held.
std::string journalStartedAt;
size_t journalTaps = 0;
// The recording the journalled take is tapped along (its identity only);
// empty Path when it is tapped without one.
SessionRecording journalAlong;

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
bool ReadKeptTakes(const std::wstring& path, std::vector<SessionTake>& takes,
                   SessionRecording* recording = nullptr)
{
    std::string bytes;
    DWORD error = ERROR_SUCCESS;
    const FileReadResult result = ReadWholeFile(path, bytes, MaxTakeFileSize, &error);
    if (result == FileReadResult::Missing)
        return true;
    if (result == FileReadResult::Failed)
        return false;
    TakeFileError problem;
    size_t repeats = 0;
    SessionRecording named;
    if (result == FileReadResult::Read && ReadSession(bytes, takes, named, problem, &repeats)) {
        if (recording)
            *recording = named;
        startUpRepeats += repeats;
        return true;
    }
    const std::wstring aside = SetFileAside(path);
    if (aside.empty())
        return false;
    setAsideNames.push_back(NarrowForDisplay(aside));
    return true;
}

// The save dialog, then `takes` as a session file; a failed write is
// reported.
void SaveTakesAs(HWND owner, const std::vector<const SessionTake*>& takes);

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

bool SaveSession(const TakeBook& book, const SessionRecording* recording)
{
    if (sessionLocked)
        return lastSessionSaved = false;
    const std::wstring path = GetSessionPath();
    if (path.empty())
        return lastSessionSaved = false;
    std::vector<const SessionTake*> takes;
    for (const SessionTake& take : book.Takes())
        takes.push_back(&take);
    // The beats moved by hand are the recording's, kept with it.
    SessionRecording named;
    if (recording) {
        named = *recording;
        named.Edits = book.Edits();
    }
    const std::string text = FormatSession(takes, recording ? &named : nullptr);
    lastSessionSaved = WriteFileReplacing(path, text.data(), text.size());
    takeFileWriteFailed = takeFileWriteFailed || !lastSessionSaved;
    return lastSessionSaved;
}

bool TakesUnsavedToTell()
{
    return takeFileWriteFailed && !toldTakesUnsaved;
}

void ShowTakesUnsavedNotice(HWND owner, const TakeBook& book)
{
    if (!TakesUnsavedToTell())
        return;
    toldTakesUnsaved = true;
    std::wstring folder = GetSessionPath();
    folder.resize(folder.find_last_of(L'\\') == std::wstring::npos ? 0 : folder.find_last_of(L'\\'));
    const int answer = CenteredMessageBox(owner, LoadResString(IDS_TAKES_UNSAVED, NarrowForDisplay(folder)),
                                          LoadResString(IDS_CAPTION_WARNING), MB_YESNO | MB_ICONEXCLAMATION);
    // Every listed take, checked or not: none may be lost.
    if (answer == IDYES) {
        std::vector<const SessionTake*> all;
        for (const SessionTake& take : book.Takes())
            all.push_back(&take);
        SaveTakesAs(owner, all);
    }
}

void RestoreSession(HWND mainWindow, TakeBook& book, SessionRecording* recording)
{
    if (recording)
        *recording = SessionRecording();
    setAsideNames.clear();
    sessionLocked = false;
    takeFileWriteFailed = toldTakesUnsaved = false;
    keptTakes = restoredTaps = startUpRepeats = 0;
    if (!g_AppSettings.RestoreTakes)
        return;
    const std::wstring sessionPath = GetSessionPath();
    const std::wstring journalPath = GetJournalPath();
    if (sessionPath.empty() || journalPath.empty())
        return;

    std::vector<SessionTake> takes;
    sessionLocked = !ReadKeptTakes(sessionPath, takes, recording);
    const Take lastListed = takes.empty() ? Take() : takes.back().Taps;
    book.Restore(std::move(takes));

    // A run killed while tapping left its take in the journal. If it was
    // killed after listing the take but before removing the journal, the
    // session already ends with that take.
    std::vector<SessionTake> journal;
    SessionRecording journalAlong;
    if (ReadKeptTakes(journalPath, journal, &journalAlong) && !journal.empty()) {
        // A take journalled along a recording keeps its place on it only
        // when the session names the same recording (the session is saved
        // with it before the tapping starts); otherwise it is listed as a
        // take tapped without one.
        const bool sameRecording = recording && !journalAlong.Path.empty() && journalAlong.Path == recording->Path &&
                                   journalAlong.Size == recording->Size && journalAlong.Hash == recording->Hash;
        if (!sameRecording)
            for (SessionTake& take : journal)
                take.Anchor = SessionTake::NoAnchor;
        const bool alreadyListed = !lastListed.empty() && lastListed == journal.back().Taps;
        const size_t taps = journal.back().Taps.size();
        const bool listed = !alreadyListed && book.Restore(std::move(journal));
        if (listed)
            restoredTaps = taps;
        if (!listed || SaveSession(book))
            DeleteFileW(PathForFileApi(journalPath).c_str());
    }
    keptTakes = book.Size();
    if (!setAsideNames.empty() || restoredTaps > 0 || startUpRepeats > 0)
        PostMessageA(mainWindow, WM_SESSIONNOTICE, 0, 0);
}

std::string SessionNoticeText()
{
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "\n\n") + part; };
    if (!setAsideNames.empty()) {
        std::string names;
        for (const std::string& name : setAsideNames)
            names += (names.empty() ? "" : "\n") + name;
        add(LoadResString(IDS_SESSION_SET_ASIDE, names) + "\n" +
            (keptTakes == 0 ? LoadResString(IDS_SESSION_KEPT_NONE)
                            : LoadResString(IDS_SESSION_KEPT_SOME, std::to_string(keptTakes))));
    }
    if (restoredTaps > 0)
        add(LoadResString(IDS_JOURNAL_RESTORED, std::to_string(restoredTaps)));
    if (startUpRepeats > 0)
        add(LoadResString(IDS_REPEATS_DROPPED, std::to_string(startUpRepeats)));
    return text;
}

void ShowSessionNotice(HWND mainWindow)
{
    const std::string text = SessionNoticeText();
    if (text.empty())
        return;
    const bool damaged = !setAsideNames.empty();
    setAsideNames.clear();
    restoredTaps = startUpRepeats = 0;
    CenteredMessageBox(mainWindow, text, LoadResString(damaged ? IDS_CAPTION_WARNING : IDS_CAPTION_INFO),
                       damaged ? MB_ICONEXCLAMATION : MB_ICONINFORMATION);
}

void BeginTakeJournal(const SessionRecording* along)
{
    journalStartedAt = ListedTimeNow();
    journalTaps = 0;
    journalAlong = SessionRecording();
    if (along) {
        journalAlong.Path = along->Path;
        journalAlong.Size = along->Size;
        journalAlong.Hash = along->Hash;
    }
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
    // Tapped along the recording, the taps are its times: the first is the
    // take's place on it.
    const bool along = !journalAlong.Path.empty();
    const int64_t anchor = taps.front();
    NormalizeTake(taps);
    SessionTake take{journalStartedAt, std::move(taps), true, {}, {}};
    if (along)
        take.Anchor = anchor;
    const std::string text =
        FormatSession(std::vector<const SessionTake*>{&take}, along ? &journalAlong : nullptr);
    // No flush to the disk: the journal guards against the program being
    // killed, not against a power cut, and must not hold up the taps.
    if (WriteFileReplacing(path, text.data(), text.size(), nullptr, false))
        journalTaps = take.Taps.size();
    else
        takeFileWriteFailed = true;  // told once the dialog has gone
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
    size_t repeats = 0;
    if (!ReadTakeFileBytes(bytes, takes, problem, nullptr, &repeats)) {
        ReportTakeFileError(owner, NarrowForDisplay(path), problem);
        return false;
    }
    // A take file holds no listed time: its takes are listed now, and known
    // by the file's name. A session's takes keep theirs.
    const std::string now = ListedTimeNow();
    for (SessionTake& take : takes) {
        if (take.ListedAt.empty()) {
            take.ListedAt = now;
            take.Source = NarrowForDisplay(FileNameOf(path));
        }
    }
    book.Append(std::move(takes), g_AppSettings.TimeSigBase);
    if (repeats > 0)
        CenteredMessageBox(owner, LoadResString(IDS_REPEATS_DROPPED, std::to_string(repeats)),
                           LoadResString(IDS_CAPTION_INFO), MB_ICONINFORMATION);
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
    // The checked takes, those that would be exported. One tapped along the
    // open recording is written from its time on the recording: still a
    // session of plain millisecond times, which every reader takes relative
    // to its first tap, and metrova-cli --audio on the recording's timeline.
    std::vector<const SessionTake*> checked = book.CheckedTakes();
    std::vector<SessionTake> onRecording;
    onRecording.reserve(checked.size());
    if (book.UsesAnchors()) {
        for (const SessionTake*& take : checked) {
            if (take->Anchor < 0 || take->Anchor > static_cast<int64_t>(UINT32_MAX - take->Taps.back()))
                continue;
            onRecording.push_back(*take);
            for (uint32_t& time : onRecording.back().Taps)
                time += static_cast<uint32_t>(take->Anchor);
            take = &onRecording.back();
        }
    }
    SaveTakesAs(owner, checked);
}

namespace {

void SaveTakesAs(HWND owner, const std::vector<const SessionTake*>& takes)
{
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

}  // namespace

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
