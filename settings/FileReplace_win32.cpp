#include "FileReplace.h"

#include <cstdio>

#include <io.h>
#include <windows.h>

namespace file_replace_detail {

bool SyncToDisk(std::FILE* file)
{
    // _commit flushes the system's buffers (FlushFileBuffers), so the data
    // is on the disk before the rename points the target at it.
    return _commit(_fileno(file)) == 0;
}

bool ReplaceWith(const std::string& from, const std::string& to)
{
    // std::rename fails on Windows when `to` exists. The ANSI function keeps
    // the path's bytes in the program's code page as they are.
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace file_replace_detail
