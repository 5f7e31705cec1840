#include "FileReplace.h"

#include <algorithm>
#include <cstdio>

namespace {

// Negative: writes are not interfered with.
int failAfterBytesForTesting = -1;

}  // namespace

void SetFileWriteFailureForTesting(int failAfterBytes)
{
    failAfterBytesForTesting = failAfterBytes;
}

namespace file_replace_detail {

std::string TemporaryName(unsigned long processId, unsigned attempt)
{
    char name[40];
    std::snprintf(name, sizeof name, "~mtv%08lx-%u.tmp", processId & 0xFFFFFFFFul, attempt);
    return name;
}

size_t AllowedBytes(size_t size)
{
    if (failAfterBytesForTesting < 0)
        return size;
    return std::min(size, static_cast<size_t>(failAfterBytesForTesting));
}

}  // namespace file_replace_detail
