#include "WideIni.h"

#include "WideFile.h"

bool LoadIniFile(IniFile& file, const std::wstring& path)
{
    file.Load(std::string());
    std::string content;
    if (path.empty() || ReadWholeFile(path, content, MaxIniFileSize) != FileReadResult::Read)
        return false;
    file.Assign(content);
    return true;
}

bool SaveIniFile(const IniFile& file, const std::wstring& path)
{
    // Without a path there is nowhere to write; in particular no temporary
    // file may appear in the current directory.
    if (path.empty())
        return false;
    const std::string content = file.Serialize();
    return WriteFileReplacing(path, content.data(), content.size());
}
