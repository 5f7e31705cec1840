// The tempo map of a Standard MIDI File as a new take in the book of listed
// takes: one tap per base note, at the real time of that beat.
#pragma once

#include <windows.h>

#include <string>

#include "TakeBook.h"

// Reads and converts the file at the base note set now and appends the take
// to the book, listed now, one step to undo (a take of fewer than two beats
// is dropped silently). An unreadable file shows the system's error text; a
// file the program cannot read as a tempo map shows the path and
// "unsupported format", both in boxes owned by `owner`. True when a take
// was appended; the caller saves the session and shows it.
bool ImportTempoFile(HWND owner, TakeBook& book, const std::wstring& path);
// The same for a path in the ANSI code page.
bool ImportTempoFile(HWND owner, TakeBook& book, const std::string& path);
