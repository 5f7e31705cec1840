// Files by UTF-16 path: the forms of the portable file functions
// (FileRead.h, FileReplace.h) that the Windows layers use for every file a
// user or the program names, so that a folder of any name, and one deeper
// than MAX_PATH, works.
//
// They are defined in the core's Windows half (core/settings/Files_win32.cpp)
// beside the portable functions, which go through the same wide calls; only
// the Windows layers see these declarations.
#pragma once

#include <cstddef>
#include <string>

#include "FileRead.h"
#include "FileReplace.h"

// WriteFileReplacing (FileReplace.h) for a UTF-16 path.
bool WriteFileReplacing(const std::wstring& path, const void* data, size_t size, unsigned long* error = nullptr,
                        bool flushToDisk = true);

// ReadWholeFile (FileRead.h) for a UTF-16 path.
FileReadResult ReadWholeFile(const std::wstring& path, std::string& content, size_t maxBytes,
                             unsigned long* error = nullptr);

// `text` in the ANSI code page, as UTF-16 (empty when it cannot be read).
std::wstring WidenAnsi(const std::string& text);

// `path` as the wide file functions take it: absolute, and from MAX_PATH
// characters on with the "\\?\" prefix that lifts that limit (empty when
// the system cannot make it absolute).
std::wstring PathForFileApi(const std::wstring& path);
