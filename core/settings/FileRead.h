// Reading a whole file into memory, with a limit on its size.
//
// Every file the program reads whole (settings, sessions, journals, take
// files, MIDI files) goes through here, so each gets the same answers: a
// missing file is told apart from one that cannot be read, a read that stops
// early never passes for the file, and a file larger than its reader expects
// is refused before its bytes are held: a folder or a device named as a file
// (/dev/zero) ends in an answer, not in a read without end.
#pragma once

#include <cstddef>
#include <string>

enum class FileReadResult {
    Read,      // `content` holds the whole file
    Missing,   // no file of that name (or its folder is missing)
    TooLarge,  // more than the limit; nothing of it was kept
    Failed,    // there but not readable: no access, a folder, an I/O error
};

// The whole file at `path` (a byte string in the ANSI code page on Windows)
// into `content`, when it holds at most `maxBytes` bytes. On anything but
// Read `content` is empty; `error`, when given, receives the platform's code
// (GetLastError on Windows, errno elsewhere), 0 on Read.
FileReadResult ReadWholeFile(const std::string& path, std::string& content, size_t maxBytes,
                             unsigned long* error = nullptr);

// Whether `path` (as ReadWholeFile takes it) names an existing folder. A
// folder named as a file is refused by every reader and writer, but each
// system gives its own reason (EISDIR here, access denied on Windows); this
// tells the user the real one, and lets a writer refuse before the work.
bool IsFolder(const std::string& path);

namespace file_read_detail {

// Appends `count` bytes to `content` unless that would pass `maxBytes`;
// false when it would (then `content` is emptied).
bool AppendWithin(std::string& content, const char* bytes, size_t count, size_t maxBytes);

}  // namespace file_read_detail
