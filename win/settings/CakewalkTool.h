// The program's entry in the Tools menu of the Cakewalk sequencer: a sub-key
// of the sequencer's Tools-menu key under HKEY_LOCAL_MACHINE, written and
// deleted on the options dialog's say. Nothing here shows a message: without
// the right to write there, registering and unregistering change nothing.
#pragma once

#include <windows.h>

#include <string>

// The entry's key under HKEY_LOCAL_MACHINE.
inline constexpr char CakewalkToolKey[] = "SOFTWARE\\Cakewalk Music Software\\Tools Menu\\SmfMetrova";

// Registers the running executable (true) or removes the entry with all it
// holds (false), in both the 32-bit and the 64-bit view of the registry, so
// that both builds of the sequencer see the same. Failures are silent.
void RegisterCakewalkTool(bool registerTool);

// Whether the entry exists and may be changed (opens with KEY_ALL_ACCESS) in
// either view, which is what the options dialog's check box shows.
bool IsCakewalkToolRegistered();

// Deletes `subKey` of `root` with all its sub-keys, depth first. The
// registry result: ERROR_SUCCESS, the failure to open the key (a missing key
// gives ERROR_FILE_NOT_FOUND), or the first failure met further down; keys
// deleted before a failure stay deleted.
// `view` is KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0 (the caller's own view).
LONG DeleteRegistryTree(HKEY root, const char* subKey, REGSAM view = 0);

// The high 32 bits of the file version in the version resource of `path`
// (major in the upper, minor in the lower 16 bits); 0 without one.
DWORD GetFileVersionMS(const char* path);
DWORD GetFileVersionMS(const std::wstring& path);

// The entry's menu and status bar text: IDS_TITLE followed by " major.minor",
// the minor number with at least two digits (1.05, 2.100; 0.00 for 0).
std::string CakewalkMenuText(DWORD fileVersionMS);
