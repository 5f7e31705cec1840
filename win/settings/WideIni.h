// The INI store by UTF-16 path: a settings file in a folder of any name, also
// one the ANSI code page cannot spell or deeper than MAX_PATH, is read and
// replaced like any other (IniFile itself takes ANSI paths).
#pragma once

#include <string>

#include "IniFile.h"

// As IniFile::Load: replaces the content with the file's. False for an empty
// path, a file that cannot be read and one larger than MaxIniFileSize; the
// content then stays as it was. The store's own (ANSI) path is emptied, so
// that its Save cannot write elsewhere.
bool LoadIniFile(IniFile& file, const std::wstring& path);

// As IniFile::Save: `path` is replaced only when the whole content was
// written. False for an empty path and a failed write.
bool SaveIniFile(const IniFile& file, const std::wstring& path);
