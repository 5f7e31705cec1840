// The tempo map of a Standard MIDI File as a new take in the main window's
// list: one tap per base note, at the real time of that beat.
#pragma once

#include <string>

// Reads and converts the file and lists the take (a take of fewer than two
// beats is dropped silently). An unreadable file shows the system's error
// text; a file the program cannot read as a tempo map shows the path and
// "unsupported format", both owned by the main window.
void ImportTempoFile(const std::wstring& path);
// The same for a path in the ANSI code page.
void ImportTempoFile(const std::string& path);
