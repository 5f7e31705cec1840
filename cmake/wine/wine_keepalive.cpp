// wine_keepalive.exe SECONDS MARKER: keeps a Wine session's background
// processes alive between test programs. Creates a window (which brings up
// the desktop process), writes MARKER, pumps messages for SECONDS, then
// removes MARKER.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc < 3)
        return 2;
    const DWORD seconds = static_cast<DWORD>(std::atoi(__argv[1]));
    const char* marker = __argv[2];

    HWND window = CreateWindowA("STATIC", "keepalive", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);

    const DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(50);
    }
    DeleteFileA(marker);
    if (window)
        DestroyWindow(window);
    return 0;
}
