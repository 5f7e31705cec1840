#include "CakewalkTool.h"

#include <winver.h>

#include <cstdio>

#include "Messages.h"
#include "resource.h"

namespace {

// Writes a string value; the stored size counts the terminating zero, as the
// sequencer reads the values as plain zero-terminated strings.
void SetStringValue(HKEY key, const char* name, const std::string& text)
{
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void Register()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, CakewalkToolKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return;

    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(g_hInstance, path, MAX_PATH);
    path[length < MAX_PATH ? length : MAX_PATH - 1] = '\0';
    const std::string menuText = CakewalkMenuText(GetFileVersionMS(path));

    // The short form keeps the command line the sequencer builds free of
    // blanks. Where the file system has no short names (or the call fails)
    // the long path is still the right file, and better than no tool at all.
    char shortPath[MAX_PATH] = "";
    const DWORD shortLength = GetShortPathNameA(path, shortPath, MAX_PATH);
    const char* exePath = (shortLength > 0 && shortLength < MAX_PATH) ? shortPath : path;

    SetStringValue(key, "ExePath", exePath);
    SetStringValue(key, "MenuText", menuText);
    SetStringValue(key, "StatusBarText", menuText);
    SetStringValue(key, "Type", "Generic");
    RegCloseKey(key);
}

}  // namespace

void RegisterCakewalkTool(bool registerTool)
{
    if (registerTool)
        Register();
    else
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, CakewalkToolKey);
}

bool IsCakewalkToolRegistered()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CakewalkToolKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

LONG DeleteRegistryTree(HKEY root, const char* subKey)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &key);
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
        result = DeleteRegistryTree(key, name);
        if (result != ERROR_SUCCESS)
            break;
    }
    // Some systems report a key whose children have all been deleted under
    // an open handle as a bad key instead of one without more items; either
    // way nothing is left below it.
    if (result == ERROR_NO_MORE_ITEMS || result == ERROR_BADKEY)
        result = RegDeleteKeyA(root, subKey);
    RegCloseKey(key);
    return result;
}

DWORD GetFileVersionMS(const char* path)
{
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &unused);
    if (size == 0)
        return 0;
    void* block = GlobalAlloc(GMEM_FIXED, size);
    if (!block)
        return 0;
    DWORD versionMS = 0;
    void* fixed = nullptr;
    UINT fixedLength = 0;
    if (GetFileVersionInfoA(path, 0, size, block) && VerQueryValueA(block, "\\", &fixed, &fixedLength) && fixed &&
        fixedLength >= sizeof(VS_FIXEDFILEINFO))
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
