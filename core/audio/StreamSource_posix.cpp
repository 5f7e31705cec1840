// The POSIX half of the file source: fseeko and ftello for 64-bit
// positions, and open(2) so that a folder or a missing file is told apart
// before a stream is made.
#include "ByteSource.h"
#include "StreamSource.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace audio_stream {

bool SeekTo(std::FILE* stream, uint64_t offset)
{
    return offset <= static_cast<uint64_t>(INT64_MAX) && fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool SeekToEnd(std::FILE* stream)
{
    return fseeko(stream, 0, SEEK_END) == 0;
}

bool Tell(std::FILE* stream, uint64_t& offset)
{
    const off_t at = ftello(stream);
    if (at < 0)
        return false;
    offset = static_cast<uint64_t>(at);
    return true;
}

}  // namespace audio_stream

std::unique_ptr<ByteSource> OpenFileByteSource(const std::string& path, FileOpenError& error)
{
    const int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = path.empty() || errno == ENOENT || errno == ENOTDIR ? FileOpenError::Missing : FileOpenError::Unreadable;
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        // A folder can be opened for reading here but never read; a pipe or
        // a device cannot seek.
        error = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) ? FileOpenError::Folder : FileOpenError::Unreadable;
        close(fd);
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "rb");
    if (!stream) {
        close(fd);
        error = FileOpenError::Unreadable;
        return nullptr;
    }
    return ByteSourceFromStream(stream, true, &error);
}
