#include "FileReplace.h"

#include <algorithm>

namespace {

// Negative: writes are not interfered with.
int failAfterBytesForTesting = -1;

// Writes the whole block, honouring the test hook. A failing write still
// puts the bytes that fit on the disk, as a real short write would, so the
// clean-up below is exercised on a non-empty temporary file.
bool WriteAll(std::FILE* file, const void* data, size_t size)
{
    size_t allowed = size;
    if (failAfterBytesForTesting >= 0)
        allowed = std::min(size, static_cast<size_t>(failAfterBytesForTesting));
    if (allowed > 0 && std::fwrite(data, 1, allowed, file) != allowed)
        return false;
    return allowed == size;
}

}  // namespace

void SetFileWriteFailureForTesting(int failAfterBytes)
{
    failAfterBytesForTesting = failAfterBytes;
}

std::string TemporaryPathFor(const std::string& path)
{
    return path + ".tmp";
}

bool WriteFileReplacing(const std::string& path, const void* data, size_t size)
{
    if (path.empty())
        return false;
    const std::string temporaryPath = TemporaryPathFor(path);
    std::FILE* file = std::fopen(temporaryPath.c_str(), "wb");
    if (!file)
        return false;

    bool ok = WriteAll(file, data, size);
    ok = ok && std::fflush(file) == 0;
    ok = ok && file_replace_detail::SyncToDisk(file);
    // Closing can be the first moment a deferred write error shows.
    ok = (std::fclose(file) == 0) && ok;
    ok = ok && file_replace_detail::ReplaceWith(temporaryPath, path);
    if (!ok)
        std::remove(temporaryPath.c_str());
    return ok;
}
