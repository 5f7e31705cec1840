#include "FileReplace.h"

#include <cstdio>

#include <unistd.h>

namespace file_replace_detail {

bool SyncToDisk(std::FILE* file)
{
    // Without this, a crash shortly after the rename can leave an empty
    // file on file systems that write data later than metadata.
    return fsync(fileno(file)) == 0;
}

bool ReplaceWith(const std::string& from, const std::string& to)
{
    // rename replaces an existing file at `to` atomically.
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace file_replace_detail
