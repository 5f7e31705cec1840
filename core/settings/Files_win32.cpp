// The Windows half of the file functions. The portable ones take ANSI
// paths; beside them this file defines their UTF-16 forms, which only the
// Windows layers see (win/base/WideFile.h declares them). Both kinds go
// through the same wide calls, so that a long path works either way.
#include "FileRead.h"
#include "FileReplace.h"

#include <windows.h>

#include <new>
#include <string>

// The UTF-16 forms, as win/base/WideFile.h declares them.
std::wstring WidenAnsi(const std::string& text);
std::wstring PathForFileApi(const std::wstring& path);
FileReadResult ReadWholeFile(const std::wstring& path, std::string& content, size_t maxBytes, unsigned long* error);
bool WriteFileReplacing(const std::wstring& path, const void* data, size_t size, unsigned long* error,
                        bool flushToDisk);

namespace {

using namespace file_replace_detail;

std::string ToAnsi(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string ansi(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &ansi[0], length, nullptr, nullptr);
    return ansi;
}

// The absolute form of the path; empty when the system cannot form it.
std::wstring FullPath(const std::wstring& path)
{
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return std::wstring();
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
    if (written == 0 || written >= length)
        return std::wstring();
    full.resize(written);
    return full;
}

// Paths of MAX_PATH characters and more reach the file system only through
// the wide functions with the "\\?\" prefix, which also switches off the
// normalisation that FullPath has already done.
std::wstring ForApi(const std::wstring& full)
{
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring FolderOf(const std::wstring& full)
{
    // In UTF-16 a backslash is always a separator: no trail byte of a
    // double-byte character can pass for one, as it can in code page 932.
    const size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
}

std::wstring TemporaryFullPath(const std::wstring& fullTarget, unsigned attempt)
{
    return FolderOf(fullTarget) + WidenAnsi(TemporaryName(GetCurrentProcessId(), attempt));
}

DWORD LastErrorOr(DWORD fallback)
{
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : fallback;
}

}  // namespace

std::wstring WidenAnsi(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::wstring PathForFileApi(const std::wstring& path)
{
    const std::wstring full = path.empty() ? std::wstring() : FullPath(path);
    return full.empty() ? std::wstring() : ForApi(full);
}

FileReadResult ReadWholeFile(const std::wstring& path, std::string& content, size_t maxBytes, unsigned long* error)
{
    unsigned long ignored = 0;
    unsigned long& code = error ? *error : ignored;
    code = ERROR_SUCCESS;
    content.clear();
    const std::wstring source = PathForFileApi(path);
    if (source.empty()) {
        code = path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_NAME;
        return path.empty() ? FileReadResult::Missing : FileReadResult::Failed;
    }
    HANDLE file = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        code = LastErrorOr(ERROR_OPEN_FAILED);
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? FileReadResult::Missing
                                                                             : FileReadResult::Failed;
    }
    FileReadResult result = FileReadResult::Read;
    LARGE_INTEGER size;
    // The size is asked for whole: its low 32 bits alone would let a file of
    // 4 GiB and more pass for a short one.
    if (GetFileSizeEx(file, &size) && static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        code = ERROR_FILE_TOO_LARGE;
        result = FileReadResult::TooLarge;
    } else {
        try {
            char buffer[65536];
            for (;;) {
                DWORD read = 0;
                if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
                    code = LastErrorOr(ERROR_READ_FAULT);
                    result = FileReadResult::Failed;
                    break;
                }
                if (read == 0)
                    break;
                if (!file_read_detail::AppendWithin(content, buffer, read, maxBytes)) {
                    code = ERROR_FILE_TOO_LARGE;
                    result = FileReadResult::TooLarge;
                    break;
                }
            }
        } catch (const std::bad_alloc&) {
            code = ERROR_NOT_ENOUGH_MEMORY;
            result = FileReadResult::Failed;
        }
    }
    CloseHandle(file);
    if (result != FileReadResult::Read)
        content.clear();
    return result;
}

FileReadResult ReadWholeFile(const std::string& path, std::string& content, size_t maxBytes, unsigned long* error)
{
    return ReadWholeFile(WidenAnsi(path), content, maxBytes, error);
}

bool IsFolder(const std::string& path)
{
    const std::wstring target = PathForFileApi(WidenAnsi(path));
    if (target.empty())
        return false;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string TemporaryPathFor(const std::string& path, unsigned attempt)
{
    const std::wstring full = FullPath(WidenAnsi(path));
    return full.empty() ? std::string() : ToAnsi(TemporaryFullPath(full, attempt));
}

bool WriteFileReplacing(const std::string& path, const void* data, size_t size, unsigned long* error,
                        bool flushToDisk)
{
    return WriteFileReplacing(WidenAnsi(path), data, size, error, flushToDisk);
}

bool WriteFileReplacing(const std::wstring& path, const void* data, size_t size, unsigned long* error,
                        bool flushToDisk)
{
    unsigned long ignored = 0;
    unsigned long& code = error ? *error : ignored;
    code = ERROR_SUCCESS;
    const std::wstring target = path.empty() ? std::wstring() : FullPath(path);
    if (target.empty()) {
        code = ERROR_INVALID_NAME;
        return false;
    }

    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < TemporaryNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = ForApi(TemporaryFullPath(target, attempt));
        // CREATE_NEW: a file already there, whoever it belongs to, is left
        // alone and the next name is tried.
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            code = LastErrorOr(ERROR_WRITE_FAULT);
            if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
                return false;
        }
    }
    if (file == INVALID_HANDLE_VALUE)
        return false;

    code = ERROR_SUCCESS;
    const size_t allowed = AllowedBytes(size);
    DWORD written = 0;
    // A stale code must not be mistaken for the reason of a short write.
    SetLastError(ERROR_SUCCESS);
    if (!WriteFile(file, data, static_cast<DWORD>(allowed), &written, nullptr))
        code = LastErrorOr(ERROR_WRITE_FAULT);
    else if (written < size)
        code = LastErrorOr(ERROR_DISK_FULL);
    else if (flushToDisk && !FlushFileBuffers(file))
        code = LastErrorOr(ERROR_WRITE_FAULT);
    // Closing can be the first moment a deferred write error shows.
    if (!CloseHandle(file) && code == ERROR_SUCCESS)
        code = LastErrorOr(ERROR_WRITE_FAULT);

    if (code == ERROR_SUCCESS &&
        !MoveFileExW(temporary.c_str(), ForApi(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = LastErrorOr(ERROR_WRITE_FAULT);
    if (code != ERROR_SUCCESS) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}
