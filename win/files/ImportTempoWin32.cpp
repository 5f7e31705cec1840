#include "ImportTempoWin32.h"

#include <windows.h>

#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "Messages.h"
#include "SettingsWin32.h"
#include "TakeSession.h"
#include "TempoImport.h"
#include "WideFile.h"
#include "WidePath.h"
#include "resource.h"

namespace {

void ReportUnsupported(HWND owner, const std::wstring& path)
{
    CenteredMessageBox(owner, "'" + NarrowForDisplay(path) + "'\n" + LoadResString(IDS_UNSUPPORTED_FILE),
                       LoadResString(IDS_CAPTION_ERROR), MB_ICONERROR);
}

}  // namespace

bool ImportTempoFile(HWND owner, TakeBook& book, const std::string& path)
{
    return ImportTempoFile(owner, book, WidenAnsi(path));
}

bool ImportTempoFile(HWND owner, TakeBook& book, const std::wstring& path)
{
    WaitCursorScope waitCursor;

    std::string bytes;
    unsigned long error = ERROR_SUCCESS;
    switch (ReadWholeFile(path, bytes, MaxImportFileSize, &error)) {
    case FileReadResult::Read:
        break;
    case FileReadResult::TooLarge:
        ReportUnsupported(owner, path);
        return false;
    case FileReadResult::Missing:
    case FileReadResult::Failed:
        ReportSystemError(owner, error);
        return false;
    }

    Take take;
    ImportResult result;
    // The parser's events live in standard containers. A file small enough
    // to be read can still hold more events than memory does, and that must
    // end in a message, not in a terminated program.
    try {
        result = ConvertTempoFile(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()),
                                  g_AppSettings.TimeSigBase, take);
    } catch (const std::bad_alloc&) {
        ReportSystemError(owner, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (result != ImportResult::Converted) {
        ReportUnsupported(owner, path);
        return false;
    }

    // Beats closer than a millisecond (a tempo of a few microseconds) are
    // one tap: a zero interval would ask the map for an infinite tempo.
    const size_t repeats = DropRepeatedTimes(take);
    if (take.size() < 2) {
        // Nothing to list (a single beat, a map without time): said, as any
        // other file that adds nothing.
        CenteredMessageBox(owner, LoadResString(IDS_IMPORT_NO_TAKE, NarrowForDisplay(path)),
                           LoadResString(IDS_CAPTION_WARNING), MB_ICONEXCLAMATION);
        return false;
    }
    SessionTake listed;
    listed.ListedAt = ListedTimeNow();
    listed.Source = NarrowForDisplay(FileNameOf(path));
    listed.Taps = std::move(take);
    NormalizeTake(listed.Taps);
    std::vector<SessionTake> one;
    one.push_back(std::move(listed));
    const bool added = book.Append(std::move(one), g_AppSettings.TimeSigBase);
    if (added && repeats > 0)
        CenteredMessageBox(owner, LoadResString(IDS_REPEATS_DROPPED, std::to_string(repeats)),
                           LoadResString(IDS_CAPTION_INFO), MB_ICONINFORMATION);
    return added;
}
