// The Windows half of the file source: the CRT's 64-bit seeks, and the
// opening by ANSI path beside its UTF-16 form, which only the Windows layers
// declare (the core's headers stay the same on every platform): the Windows
// audio room opens a recording by the path the user chose with it.
#include "ByteSource.h"
#include "StreamSource.h"

#include <cerrno>
#include <string>

#include <sys/stat.h>

// The UTF-16 form, as the Windows audio room declares it.
std::unique_ptr<ByteSource> OpenFileByteSource(const std::wstring& path, FileOpenError& error);

namespace audio_stream {

bool SeekTo(std::FILE* stream, uint64_t offset)
{
    return offset <= static_cast<uint64_t>(INT64_MAX) && _fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool SeekToEnd(std::FILE* stream)
{
    return _fseeki64(stream, 0, SEEK_END) == 0;
}

bool Tell(std::FILE* stream, uint64_t& offset)
{
    const __int64 at = _ftelli64(stream);
    if (at < 0)
        return false;
    offset = static_cast<uint64_t>(at);
    return true;
}

}  // namespace audio_stream

namespace {

// What a failed open means for the user.
FileOpenError Classify(int code)
{
    return code == ENOENT ? FileOpenError::Missing : FileOpenError::Unreadable;
}

}  // namespace

std::unique_ptr<ByteSource> OpenFileByteSource(const std::string& path, FileOpenError& error)
{
    struct _stat64 info;
    const bool known = !path.empty() && _stat64(path.c_str(), &info) == 0;
    if (known && (info.st_mode & _S_IFDIR)) {
        error = FileOpenError::Folder;
        return nullptr;
    }
    std::FILE* stream = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!stream) {
        error = Classify(path.empty() ? ENOENT : errno);
        return nullptr;
    }
    return ByteSourceFromStream(stream, true, &error);
}

std::unique_ptr<ByteSource> OpenFileByteSource(const std::wstring& path, FileOpenError& error)
{
    struct _stat64 info;
    const bool known = !path.empty() && _wstat64(path.c_str(), &info) == 0;
    if (known && (info.st_mode & _S_IFDIR)) {
        error = FileOpenError::Folder;
        return nullptr;
    }
    std::FILE* stream = path.empty() ? nullptr : _wfopen(path.c_str(), L"rb");
    if (!stream) {
        error = Classify(path.empty() ? ENOENT : errno);
        return nullptr;
    }
    return ByteSourceFromStream(stream, true, &error);
}
