#include "FolderClaim.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>

namespace {

// The window handle, stored as 64 bits so that a 32-bit and a 64-bit copy
// of the program read each other's.
struct Shared {
    volatile LONG64 mainWindow;
};

}  // namespace

std::wstring FolderClaimName(const std::wstring& sessionPath)
{
    std::wstring folded = sessionPath;
    if (!folded.empty())
        CharLowerBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    // FNV-1a over the UTF-16 units: a name of fixed length, whatever the
    // path's, and the object namespace allows no backslash in a name.
    uint64_t hash = 1469598103934665603ull;
    for (wchar_t c : folded) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 1099511628211ull;
    }
    wchar_t name[64];
    std::swprintf(name, sizeof name / sizeof name[0], L"Local\\Metrova-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

FolderClaim::FolderClaim(const std::wstring& sessionPath)
{
    if (sessionPath.empty())
        return;
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared),
                                 FolderClaimName(sessionPath).c_str());
    // Without the mapping there is no telling; the copy runs as the first.
    if (!mapping)
        return;
    first = GetLastError() != ERROR_ALREADY_EXISTS;
    view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Shared));
}

FolderClaim::~FolderClaim()
{
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
}

void FolderClaim::Publish(HWND mainWindow) const
{
    if (view && first)
        InterlockedExchange64(&static_cast<Shared*>(view)->mainWindow,
                              static_cast<LONG64>(reinterpret_cast<uintptr_t>(mainWindow)));
}

bool FolderClaim::BringFirstToFront(DWORD waitMs) const
{
    if (!view || first)
        return false;
    // The first copy may still be starting: its window comes a moment later.
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    for (;;) {
        const LONG64 stored = InterlockedCompareExchange64(&static_cast<Shared*>(view)->mainWindow, 0, 0);
        window = reinterpret_cast<HWND>(static_cast<uintptr_t>(stored));
        if ((window && IsWindow(window)) || GetTickCount() - start >= waitMs)
            break;
        Sleep(50);
    }
    if (!window || !IsWindow(window))
        return false;
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    // The tap dialog or a message box, when one is open over the window.
    SetForegroundWindow(GetLastActivePopup(window));
    return true;
}
