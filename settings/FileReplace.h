// Writing a file so that it is either wholly replaced or left as it was.
//
// Truncating a file in place and then writing it loses the old content
// whenever the write fails half-way (disk full, quota, a removed medium): the
// user is left with a cut-off settings file or MIDI file. Instead the new
// content goes to a temporary file beside the target, in the same folder so
// that the final move is a rename within one volume, and only a complete,
// flushed temporary file replaces the target.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Writes `size` bytes to `path`, replacing any file there. True only when
// the new content is in place. On false the previous file is unchanged and
// no temporary file is left behind. `path` is a byte string in the ANSI code
// page and is passed to the platform as it is.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size);

// The name of the temporary file WriteFileReplacing uses for `path`. A file of
// that name left by an interrupted run is overwritten by the next write.
std::string TemporaryPathFor(const std::string& path);

// Test hook: from now on, every temporary file accepts only the first
// `failAfterBytes` bytes and the write after them fails, as on a full disk.
// A negative count switches the failure off again.
void SetFileWriteFailureForTesting(int failAfterBytes);

namespace file_replace_detail {

// Platform parts (FileReplace_posix.cpp, FileReplace_win32.cpp).

// Asks the system to put the file's data on the disk before the rename
// makes it visible under the target's name.
bool SyncToDisk(std::FILE* file);
// Renames `from` to `to`, replacing an existing file at `to`.
bool ReplaceWith(const std::string& from, const std::string& to);

}  // namespace file_replace_detail
