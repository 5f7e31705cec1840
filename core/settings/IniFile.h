// The program's own small INI-file store: "[name]" headers and key=value
// lines, held in memory exactly as read and written back whole.
//
// Lines are stored as whole text and split at their first "=" on every
// lookup, so lines without "=" (or with surprising blanks) are carried along
// untouched instead of being rejected or "repaired". Names compare byte by
// byte, folding only A-Z to a-z: bytes above 0x7F never fold, whatever the
// locale, so a comparison means the same on every machine.
//
// Files are opened in binary mode and line ends are handled here, so the
// native and the Windows builds read and write the same bytes: on reading,
// CR LF and LF end a line and a lone CR is part of it; on writing, every
// line ends with CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A settings file is a few hundred bytes; one beyond this is not one, and is
// not read (a hand-edited one may hold long lines: those are kept).
inline constexpr size_t MaxIniFileSize = 16u << 20;

struct IniSection {
    std::string name;
    std::vector<std::string> lines;
};

class IniFile {
public:
    IniFile() = default;
    // A null path counts as absent: see Load.
    explicit IniFile(const char* filePath);
    explicit IniFile(const std::string& filePath);

    // Replaces the content with the file's. False for a null or empty path
    // (which also empties `path`), for a file that cannot be read and for
    // one larger than MaxIniFileSize; the content then stays as it was. (The
    // Windows layers load and save by UTF-16 path through Assign and
    // Serialize: win/settings/WideIni.h.)
    bool Load(const char* filePath);
    bool Load(const std::string& filePath);

    // The value of the first line of `key` in the first section named
    // `section`. On false `value` is left unchanged.
    bool GetValue(std::string_view section, std::string_view key, std::string& value) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;
    // Replaces the first line of `key` with "key=value" (the key spelled as
    // given here), or appends that line; a missing section is appended.
    void SetValue(std::string_view section, std::string_view key, std::string_view value);
    // Removes the first line of `key`; true when a line was removed.
    bool DeleteKey(std::string_view section, std::string_view key);

    // Writes the content to `path`. The file is replaced only when the whole
    // new content was written, so a failed save leaves the previous file as
    // it was. Failures are not reported: a lost settings save is not worth
    // interrupting the user for.
    void Save() const;

    // The exact bytes Save writes.
    std::string Serialize() const;
    // Replaces the content with that of a file holding `content`, as Load
    // does; the path stays as it is.
    void Assign(const std::string& content);

    const std::string& GetPath() const { return path; }
    const std::vector<IniSection>& GetSections() const { return sections; }

private:
    IniSection* FindSection(std::string_view name);
    const IniSection* FindSection(std::string_view name) const;
    std::string path;
    std::vector<IniSection> sections;
};

// The settings file of the running program. Constructed empty and without a
// path; start-up loads it, and it is never saved implicitly.
extern IniFile SettingsFile;
