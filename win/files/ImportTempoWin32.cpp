#include "ImportTempoWin32.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "Messages.h"
#include "SettingsWin32.h"
#include "TakeSession.h"
#include "TempoImport.h"
#include "WidePath.h"
#include "resource.h"

namespace {

// Far beyond any real Standard MIDI File (those are kilobytes to a few
// megabytes). A bigger file is refused as unsupported before it is read:
// reading it whole would take that much memory, and parsing it several
// times more.
constexpr DWORD MaxImportFileSize = 256u * 1024u * 1024u;

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : handle(h) {}
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }

private:
    HANDLE handle;
};

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

    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        ReportSystemError(owner, GetLastError());
        return false;
    }

    // The high part is asked for: without it a file of 4 GiB and more would
    // pass for its low 32 bits and be read as a short, different file.
    DWORD sizeHigh = 0;
    const DWORD size = GetFileSize(file.Get(), &sizeHigh);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        ReportSystemError(owner, GetLastError());
        return false;
    }
    if (sizeHigh != 0 || size > MaxImportFileSize) {
        ReportUnsupported(owner, path);
        return false;
    }

    // A valid block also for an empty file: the conversion needs a pointer.
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!block) {
        ReportSystemError(owner, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    DWORD read = 0;
    if (!ReadFile(file.Get(), block.get(), size, &read, nullptr)) {
        ReportSystemError(owner, GetLastError());
        return false;
    }

    Take take;
    ImportResult result;
    // The parser's events live in standard containers. A file small enough
    // to be read can still hold more events than memory does, and that must
    // end in a message, not in a terminated program.
    try {
        result = ConvertTempoFile(block.get(), read, g_AppSettings.TimeSigBase, take);
    } catch (const std::bad_alloc&) {
        ReportSystemError(owner, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (result != ImportResult::Converted) {
        ReportUnsupported(owner, path);
        return false;
    }

    if (take.size() < 2)
        return false;
    SessionTake listed;
    listed.ListedAt = ListedTimeNow();
    listed.Taps = std::move(take);
    NormalizeTake(listed.Taps);
    std::vector<SessionTake> one;
    one.push_back(std::move(listed));
    return book.Append(std::move(one), g_AppSettings.TimeSigBase);
}
