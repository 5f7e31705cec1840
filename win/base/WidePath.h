// File names on Windows beyond the ANSI code page.
//
// A user's file may be named in any script ("テンポ ♪ café 한국.mid"), but an
// ANSI path can hold only what the code page has: with code page 932 every
// accented Latin letter, Hangul or emoji becomes "?", and the file cannot be
// opened. So the paths the user chooses (file dialogs, drops) stay UTF-16
// from the system to CreateFileW and MoveFileExW. The program's own texts
// stay ANSI; a path shown in a message is narrowed for display only.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "WideFile.h"
// `text` in the ANSI code page for display: characters the code page lacks
// become its default character.
std::string NarrowForDisplay(const std::wstring& text);
// A path the ANSI functions can open: `path` itself when the code page can
// spell it, else its short (8.3) form, which is plain ASCII; empty when
// neither exists (a folder the code page cannot spell on a volume without
// short names).
std::string AnsiPathFor(const std::wstring& path);

// The last part of `path`, after its last backslash or slash (all of it
// when it has none).
std::wstring FileNameOf(const std::wstring& path);

// The program's own executable in UTF-16, whatever its folder is named and
// however long its path, in its long form: a program started by its short
// (8.3) path, as a sequencer's tool entry starts it, sees that path as its
// module path. Empty when it cannot be read.
std::wstring ProgramPath();

// The open and save dialogs, wide so that any name the user picks or types
// can be used: 76-byte structure, owner, the filter (none when empty), a
// 260-character name buffer, the flags, the default extension, every other
// field zero. `filter` and `path` must outlive the dialog.
OPENFILENAMEW FileDialogFor(HWND owner, const std::wstring& filter, wchar_t (&path)[MAX_PATH], DWORD flags,
                            const wchar_t* defaultExtension);
