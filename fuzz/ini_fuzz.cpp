// Fuzz target over the INI store: Load of arbitrary bytes, a few edits, Save
// and a reload.
//
// Input: a length byte n, a script of n bytes of edits, then the file's
// bytes. Each edit is an operation byte (Get, Set, Delete, modulo 3) and its
// strings; a string is a length byte and that many bytes, or, for a length
// byte of 0xC0 and above, one of the section names or keys already present.
//
// What must hold:
//   - Load accepts any bytes, and what it reads can be written back: no name
//     or line holds a LF, no line is empty, starts with ';' or looks like a
//     header ("[...]");
//   - GetValue changes nothing and leaves the value alone when it finds
//     nothing; after SetValue the key (without "=") reads back the value;
//     DeleteKey removes one line when it reports so and nothing otherwise;
//   - Save writes exactly the Serialize bytes, and the reload gives the same
//     section names and lines whenever every name and line is writable as
//     above (a CR inside a line is kept: only CR LF ends a line). Edits can
//     store what a file cannot say (a LF, a leading ';', a line like
//     "[x]"); then at least a second save and reload change nothing more.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "IniFile.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "ini check failed: %s\n", what);
    std::abort();
}

// One file path per process, on a memory file system where there is one, so
// that the flush of every save costs little.
const std::string& FilePath()
{
    static const std::string path = [] {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path dir = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        return (dir / ("metrova-ini-fuzz-" + std::to_string(getpid()) + ".ini")).string();
    }();
    return path;
}

void WriteFile(const std::string& bytes)
{
    std::FILE* f = std::fopen(FilePath().c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        Fail("cannot write the input file");
}

std::string ReadFile()
{
    std::string bytes;
    std::FILE* f = std::fopen(FilePath().c_str(), "rb");
    if (!f)
        Fail("cannot read the saved file");
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

bool IsHeaderShaped(const std::string& line)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

bool Writable(const std::vector<IniSection>& sections)
{
    for (const IniSection& s : sections) {
        if (s.name.find('\n') != std::string::npos)
            return false;
        for (const std::string& line : s.lines)
            if (line.empty() || line.front() == ';' || IsHeaderShaped(line) || line.find('\n') != std::string::npos)
                return false;
    }
    return true;
}

bool SameContent(const std::vector<IniSection>& a, const std::vector<IniSection>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].lines != b[i].lines)
            return false;
    return true;
}

size_t LineCount(const IniFile& ini)
{
    size_t n = 0;
    for (const IniSection& s : ini.GetSections())
        n += s.lines.size();
    return n;
}

class Script {
public:
    Script(const uint8_t* d, size_t n) : data(d), size(n) {}
    bool AtEnd() const { return pos >= size; }
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    // A literal string, or (length byte >= 0xC0) a pick from `known`.
    std::string String(const std::vector<std::string>& known)
    {
        const uint8_t n = Byte();
        if (n >= 0xC0)
            return known.empty() ? std::string() : known[(n - 0xC0) % known.size()];
        const size_t len = std::min<size_t>(n, size - pos);
        std::string s(reinterpret_cast<const char*>(data + pos), len);
        pos += len;
        return s;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

void Edit(IniFile& ini, Script& script)
{
    std::vector<std::string> names, keys;
    for (const IniSection& s : ini.GetSections()) {
        names.push_back(s.name);
        for (const std::string& line : s.lines)
            if (line.find('=') != std::string::npos)
                keys.push_back(line.substr(0, line.find('=')));
    }
    const int op = script.Byte() % 3;
    const std::string section = script.String(names);
    const std::string key = script.String(keys);
    const std::vector<IniSection> before = ini.GetSections();
    if (op == 0) {
        std::string value = "\x01unchanged";
        if (!ini.GetValue(section, key, value) && value != "\x01unchanged")
            Fail("GetValue changed the value although it found nothing");
        if (!SameContent(before, ini.GetSections()))
            Fail("GetValue changed the content");
    } else if (op == 1) {
        const std::string value = script.String(keys);
        const size_t lines = LineCount(ini);
        ini.SetValue(section, key, value);
        std::string read;
        if (key.find('=') == std::string::npos && (!ini.GetValue(section, key, read) || read != value))
            Fail("SetValue does not read back");
        if (LineCount(ini) != lines && LineCount(ini) != lines + 1)
            Fail("SetValue changed more than one line");
    } else {
        const size_t lines = LineCount(ini);
        const bool removed = ini.DeleteKey(section, key);
        if (removed ? LineCount(ini) + 1 != lines : !SameContent(before, ini.GetSections()))
            Fail("DeleteKey removed the wrong number of lines");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t scriptSize = size == 0 ? 0 : std::min<size_t>(data[0], size - 1);
    const uint8_t* file = data + (size == 0 ? 0 : 1 + scriptSize);
    WriteFile(std::string(reinterpret_cast<const char*>(file), data + size - file));

    IniFile ini;
    if (!ini.Load(FilePath()))
        Fail("Load refused a readable file");
    if (!Writable(ini.GetSections()))
        Fail("Load kept a name or line that a file cannot hold");
    Script script(data + (size == 0 ? 0 : 1), scriptSize);
    for (int i = 0; i < 8 && !script.AtEnd(); ++i)
        Edit(ini, script);

    ini.Save();
    if (ReadFile() != ini.Serialize())
        Fail("Save did not write the Serialize bytes");
    IniFile reloaded(FilePath());
    if (!Writable(reloaded.GetSections()))
        Fail("reload kept a name or line that a file cannot hold");
    if (Writable(ini.GetSections()) && !SameContent(ini.GetSections(), reloaded.GetSections()))
        Fail("reload differs from the saved content");
    reloaded.Save();
    if (!SameContent(reloaded.GetSections(), IniFile(FilePath()).GetSections()))
        Fail("second save and reload changed the content");
    // libFuzzer ends without running exit handlers: nothing is left behind
    // but the file of a failing input.
    std::remove(FilePath().c_str());
    return 0;
}
