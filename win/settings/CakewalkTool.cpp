#include "CakewalkTool.h"

#include <winver.h>

#include <cstdio>

#include "Messages.h"
#include "WidePath.h"
#include "resource.h"

namespace {

// Writes a string value; the stored size counts the terminating zero, as the
// sequencer reads the values as plain zero-terminated strings.
void SetStringValue(HKEY key, const char* name, const std::string& text)
{
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void SetStringValue(HKEY key, const wchar_t* name, const std::wstring& text)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The sequencer exists in 32-bit and 64-bit builds, and on 64-bit Windows
// each reads its own view of HKEY_LOCAL_MACHINE\SOFTWARE. The entry goes
// into both, from either build of this program; on 32-bit Windows both
// flags are ignored and the one view is written twice.
const REGSAM kRegistryViews[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

void Register(REGSAM view)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, CakewalkToolKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | view, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return;

    // By the UTF-16 path, so that a folder whose name the code page cannot
    // spell is still found; a path the code page can spell is stored as
    // before, and the sequencer reads it back the same.
    const std::wstring path = ProgramPath();
    const std::string menuText = CakewalkMenuText(GetFileVersionMS(path));

    // The short form keeps the command line the sequencer builds free of
    // blanks. Where the file system has no short names (or the call fails)
    // the long path is still the right file, and better than no tool at all.
    std::wstring exePath = path;
    const DWORD shortLength = path.empty() ? 0 : GetShortPathNameW(path.c_str(), nullptr, 0);
    if (shortLength > 0) {
        std::wstring shortPath(shortLength, L'\0');
        const DWORD written = GetShortPathNameW(path.c_str(), &shortPath[0], shortLength);
        if (written > 0 && written < shortLength) {
            shortPath.resize(written);
            exePath = shortPath;
        }
    }

    SetStringValue(key, L"ExePath", exePath);
    SetStringValue(key, "MenuText", menuText);
    SetStringValue(key, "StatusBarText", menuText);
    SetStringValue(key, "Type", "Generic");
    RegCloseKey(key);
}

// RegDeleteKeyA deletes in the caller's own view only, and RegDeleteKeyExA
// is missing before Windows XP x64. Opening the parent in the wanted view and
// deleting the last part of the path under that handle works everywhere: the
// handle already lies in that view.
LONG DeleteKeyInView(HKEY root, const char* subKey, REGSAM view)
{
    const std::string path = subKey;
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return RegDeleteKeyA(root, subKey);
    HKEY parent = nullptr;
    LONG result = RegOpenKeyExA(root, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegDeleteKeyA(parent, path.c_str() + slash + 1);
    RegCloseKey(parent);
    return result;
}

}  // namespace

void RegisterCakewalkTool(bool registerTool)
{
    for (REGSAM view : kRegistryViews) {
        if (registerTool)
            Register(view);
        else
            DeleteRegistryTree(HKEY_LOCAL_MACHINE, CakewalkToolKey, view);
    }
}

bool IsCakewalkToolRegistered()
{
    for (REGSAM view : kRegistryViews) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CakewalkToolKey, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
            return true;
        }
    }
    return false;
}

LONG DeleteRegistryTree(HKEY root, const char* subKey, REGSAM view)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS | view, &key);
    if (result != ERROR_SUCCESS)
        return result;

    // Always the first child: each deletion moves the next one to index 0,
    // while a counting index would skip every second child.
    for (;;) {
        char name[256] = "";
        DWORD nameLength = sizeof name;
        FILETIME written{};
        result = RegEnumKeyExA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, &written);
        if (result != ERROR_SUCCESS)
            break;
        result = DeleteRegistryTree(key, name, view);
        if (result != ERROR_SUCCESS)
            break;
    }
    // Some systems report a key whose children have all been deleted under
    // an open handle as a bad key instead of one without more items; either
    // way nothing is left below it.
    RegCloseKey(key);
    if (result == ERROR_NO_MORE_ITEMS || result == ERROR_BADKEY)
        result = DeleteKeyInView(root, subKey, view);
    return result;
}

DWORD GetFileVersionMS(const char* path)
{
    return GetFileVersionMS(WidenAnsi(path));
}

DWORD GetFileVersionMS(const std::wstring& path)
{
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &unused);
    if (size == 0)
        return 0;
    void* block = GlobalAlloc(GMEM_FIXED, size);
    if (!block)
        return 0;
    DWORD versionMS = 0;
    void* fixed = nullptr;
    UINT fixedLength = 0;
    if (GetFileVersionInfoW(path.c_str(), 0, size, block) && VerQueryValueW(block, L"\\", &fixed, &fixedLength) &&
        fixed && fixedLength >= sizeof(VS_FIXEDFILEINFO))
        versionMS = static_cast<const VS_FIXEDFILEINFO*>(fixed)->dwFileVersionMS;
    GlobalFree(block);
    return versionMS;
}

std::string CakewalkMenuText(DWORD fileVersionMS)
{
    char version[32] = "";
    std::snprintf(version, sizeof version, " %d.%02d", static_cast<int>(HIWORD(fileVersionMS)),
                  static_cast<int>(LOWORD(fileVersionMS)));
    return LoadResString(IDS_TITLE) + version;
}
