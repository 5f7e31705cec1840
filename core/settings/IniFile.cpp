#include "IniFile.h"

#include "FileRead.h"
#include "FileReplace.h"

IniFile SettingsFile;

namespace {

char FoldAscii(char c)
{
    // Only A-Z fold. tolower would depend on the locale and could fold bytes
    // of double-byte characters in the ANSI code page.
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

// True when `line` has a key (text before its first "=") equal to `key`.
bool LineHasKey(const std::string& line, std::string_view key)
{
    const size_t equals = line.find('=');
    return equals != std::string::npos &&
           NamesEqual(std::string_view(line).substr(0, equals), key);
}

}  // namespace

IniFile::IniFile(const char* filePath)
{
    Load(filePath);
}

IniFile::IniFile(const std::string& filePath)
{
    Load(filePath);
}

bool IniFile::Load(const char* filePath)
{
    if (!filePath)
        return Load(std::string());
    return Load(std::string(filePath));
}

bool IniFile::Load(const std::string& filePath)
{
    path = filePath;
    if (filePath.empty())
        return false;

    std::string content;
    if (ReadWholeFile(filePath, content, MaxIniFileSize) != FileReadResult::Read)
        return false;
    Assign(content);
    return true;
}

void IniFile::Assign(const std::string& content)
{
    sections.clear();
    IniSection* current = nullptr;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        const size_t next = (end == std::string::npos) ? content.size() : end + 1;
        if (end == std::string::npos)
            end = content.size();  // a last line without line end
        else if (end > start && content[end - 1] == '\r')
            --end;  // CR LF is one line end; any other CR stays in the line
        std::string line = content.substr(start, end - start);
        start = next;

        if (line.empty() || line.front() == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections.push_back(IniSection{line.substr(1, line.size() - 2), {}});
            current = &sections.back();
            continue;
        }
        if (current)
            current->lines.push_back(std::move(line));
    }
}

IniSection* IniFile::FindSection(std::string_view name)
{
    for (IniSection& section : sections) {
        if (NamesEqual(section.name, name))
            return &section;
    }
    return nullptr;
}

const IniSection* IniFile::FindSection(std::string_view name) const
{
    return const_cast<IniFile*>(this)->FindSection(name);
}

bool IniFile::GetValue(std::string_view section, std::string_view key, std::string& value) const
{
    const IniSection* found = FindSection(section);
    if (!found)
        return false;
    for (const std::string& line : found->lines) {
        if (LineHasKey(line, key)) {
            value = line.substr(line.find('=') + 1);
            return true;
        }
    }
    return false;
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const
{
    std::string value;
    if (GetValue(section, key, value))
        return value;
    return std::string(defaultValue);
}

void IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    IniSection* found = FindSection(section);
    if (!found) {
        sections.push_back(IniSection{std::string(section), {}});
        found = &sections.back();
    }
    std::string newLine;
    newLine.reserve(key.size() + 1 + value.size());
    newLine.append(key).append(1, '=').append(value);
    for (std::string& line : found->lines) {
        if (LineHasKey(line, key)) {
            line = std::move(newLine);
            return;
        }
    }
    found->lines.push_back(std::move(newLine));
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key)
{
    IniSection* found = FindSection(section);
    if (!found)
        return false;
    for (auto it = found->lines.begin(); it != found->lines.end(); ++it) {
        if (LineHasKey(*it, key)) {
            found->lines.erase(it);
            return true;
        }
    }
    return false;
}

std::string IniFile::Serialize() const
{
    static const char lineEnd[] = "\r\n";
    std::string out;
    for (size_t i = 0; i < sections.size(); ++i) {
        if (i > 0)
            out += lineEnd;
        out.append(1, '[').append(sections[i].name).append(1, ']').append(lineEnd);
        for (const std::string& line : sections[i].lines)
            out.append(line).append(lineEnd);
    }
    return out;
}

void IniFile::Save() const
{
    // Without a path there is nowhere to write; in particular no temporary
    // file may appear in the current directory.
    if (path.empty())
        return;
    const std::string content = Serialize();
    WriteFileReplacing(path, content.data(), content.size());
}
