// Writing a file so that it is either wholly replaced or left as it was.
//
// Truncating a file in place and then writing it loses the old content
// whenever the write fails half-way (disk full, quota, a removed medium): the
// user is left with a cut-off settings file or MIDI file. Instead the new
// content goes to a temporary file beside the target, in the same folder so
// that the final move is a rename within one volume, and only a complete
// temporary file replaces the target.
//
// The temporary file gets a name of its own ("~mtv", the process id, an
// attempt number, ".tmp") and is created only where no file is: a file of
// the user's that happens to carry a likely name ("song.mid.tmp") is never
// truncated, reused or deleted, and another program saving beside it at the
// same moment cannot collide with it. It is removed again on every failure.
#pragma once

#include <cstddef>
#include <string>

// How many temporary names are tried before giving up.
inline constexpr unsigned TemporaryNameAttempts = 64;

// Writes `size` bytes to `path`, replacing any file there. True only when
// the new content is in place. On false the previous file is unchanged and
// no temporary file is left behind; `error`, when given, receives the
// platform's code for the step that failed (GetLastError on Windows, errno
// elsewhere). `path` is a byte string in the ANSI code page; on Windows it
// may be longer than MAX_PATH, and so may the temporary name. The Windows
// layers write by UTF-16 path through WideFile.h.
//
// With `flushToDisk` the data is on the disk before the rename makes it
// visible, so the file survives a power cut; without it the file survives
// the program being killed, which is all a frequently rewritten journal
// needs.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size, unsigned long* error = nullptr,
                        bool flushToDisk = true);

// The temporary file WriteFileReplacing tries at attempt `attempt` (0 first)
// for `path`: a name of its own in the same folder.
std::string TemporaryPathFor(const std::string& path, unsigned attempt = 0);

// Test hook: from now on, every temporary file accepts only the first
// `failAfterBytes` bytes and the write after them fails, as on a full disk.
// A negative count switches the failure off again.
void SetFileWriteFailureForTesting(int failAfterBytes);

namespace file_replace_detail {

// "~mtv" + eight hex digits of `processId` + "-" + attempt + ".tmp".
std::string TemporaryName(unsigned long processId, unsigned attempt);
// How many of `size` bytes a write may put down under the test hook.
size_t AllowedBytes(size_t size);

}  // namespace file_replace_detail
