#include "FileRead.h"
#include "FileReplace.h"

#include <cerrno>
#include <cstdio>

#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace file_replace_detail;

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Writes what the test hook allows; a short write fails with ENOSPC after
// putting down the bytes that fit, as a full disk does.
bool WriteAll(int fd, const void* data, size_t size)
{
    const size_t allowed = AllowedBytes(size);
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < allowed) {
        const ssize_t n = write(fd, p + done, allowed - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    if (allowed < size) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

}  // namespace

std::string TemporaryPathFor(const std::string& path, unsigned attempt)
{
    return FolderOf(path) + TemporaryName(static_cast<unsigned long>(getpid()), attempt);
}

bool WriteFileReplacing(const std::string& path, const void* data, size_t size, unsigned long* error,
                        bool flushToDisk)
{
    unsigned long ignored = 0;
    unsigned long& code = error ? *error : ignored;
    code = 0;
    if (path.empty()) {
        code = ENOENT;
        return false;
    }

    std::string temporaryPath;
    int fd = -1;
    for (unsigned attempt = 0; attempt < TemporaryNameAttempts && fd < 0; ++attempt) {
        temporaryPath = TemporaryPathFor(path, attempt);
        fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            code = static_cast<unsigned long>(errno);
            return false;
        }
    }
    if (fd < 0) {
        code = EEXIST;
        return false;
    }

    bool ok = WriteAll(fd, data, size);
    // Without the sync a crash shortly after the rename can leave an empty
    // file on file systems that write data later than metadata.
    ok = ok && (!flushToDisk || fsync(fd) == 0);
    if (!ok)
        code = static_cast<unsigned long>(errno);
    // Closing can be the first moment a deferred write error shows.
    if (close(fd) != 0 && ok) {
        code = static_cast<unsigned long>(errno);
        ok = false;
    }
    // rename replaces an existing file at `path` atomically.
    if (ok && std::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        code = static_cast<unsigned long>(errno);
        ok = false;
    }
    if (!ok)
        unlink(temporaryPath.c_str());
    return ok;
}

FileReadResult ReadWholeFile(const std::string& path, std::string& content, size_t maxBytes, unsigned long* error)
{
    unsigned long ignored = 0;
    unsigned long& code = error ? *error : ignored;
    code = 0;
    content.clear();
    const int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        code = path.empty() ? ENOENT : static_cast<unsigned long>(errno);
        return code == ENOENT || code == ENOTDIR ? FileReadResult::Missing : FileReadResult::Failed;
    }
    FileReadResult result = FileReadResult::Read;
    struct stat info;
    // A regular file's size is known before its first byte is read; a pipe
    // or a device is read until the limit says no.
    const bool known = fstat(fd, &info) == 0;
    const bool regular = known && S_ISREG(info.st_mode);
    if (known && S_ISDIR(info.st_mode)) {
        code = EISDIR;
        result = FileReadResult::Failed;
    } else if (regular && static_cast<unsigned long long>(info.st_size) > maxBytes) {
        code = EFBIG;
        result = FileReadResult::TooLarge;
    } else {
        try {
            if (regular)
                content.reserve(static_cast<size_t>(info.st_size));
            char buffer[65536];
            for (;;) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    code = static_cast<unsigned long>(errno);
                    result = FileReadResult::Failed;
                    break;
                }
                if (n == 0)
                    break;
                if (!file_read_detail::AppendWithin(content, buffer, static_cast<size_t>(n), maxBytes)) {
                    code = EFBIG;
                    result = FileReadResult::TooLarge;
                    break;
                }
            }
        } catch (const std::bad_alloc&) {
            code = ENOMEM;
            result = FileReadResult::Failed;
        }
    }
    close(fd);
    if (result != FileReadResult::Read)
        content.clear();
    return result;
}

bool IsFolder(const std::string& path)
{
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
