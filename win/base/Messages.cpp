#include "Messages.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "resource.h"

HINSTANCE g_hInstance = nullptr;

namespace {

// The monitor functions are looked up at run time rather than linked:
// systems without multiple-monitor support lack them, and the program must
// still start there.
using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
using GetMonitorInfoAFn = BOOL(WINAPI*)(HMONITOR, MONITORINFO*);

// GetMonitorInfoA reads the plain MONITORINFO, not the EX variant with the
// device name, and tells them apart by this size.
static_assert(sizeof(MONITORINFO) == 40, "MONITORINFO must be the 40-byte structure");

// Centring state: plain values of the user-interface thread (the hook is
// installed for that thread only, so nothing else ever sees them).
int32_t centringScopeCount = 0;
HHOOK centringHook = nullptr;
HMODULE monitorLibrary = nullptr;
MonitorFromWindowFn monitorFromWindow = nullptr;
GetMonitorInfoAFn getMonitorInfo = nullptr;

// Wait-cursor state, also of the user-interface thread.
int32_t waitCursorCount = 0;
HCURSOR savedCursor = nullptr;

// GetProcAddress hands back a generic function pointer; going through void*
// keeps the compiler's function-type cast check quiet about a cast that is
// right by construction (the names and prototypes belong together).
template <typename Fn>
Fn LookUp(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Runs before the window procedure of every message sent on this thread, so
// a dialog (a message box, a common file dialog, one of ours) is already in
// place when its own WM_INITDIALOG handling runs. A dialog that places itself
// there has the last word; Wine's message boxes do, and always go to the
// middle of the desktop.
LRESULT CALLBACK CenteringHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0) {
        const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_INITDIALOG)
            CenterWindow(nullptr, call->hwnd);
    }
    return CallNextHookEx(centringHook, code, wParam, lParam);
}

// The work area that a top-level window centred on `owner` (null: none) is
// kept in: that of the monitor nearest the owner where the platform can tell,
// else the primary one.
RECT WorkAreaFor(HWND owner)
{
    RECT area{};
    if (monitorFromWindow && getMonitorInfo) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (getMonitorInfo(monitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &info))
            return info.rcWork;
    }
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// The wait-cursor count changes by one at a time in wrapping arithmetic, so
// that an (absurd) overflow shows up as a count that is not above zero
// instead of being undefined behaviour.
int32_t WrappingAdd(int32_t count, int32_t by)
{
    return static_cast<int32_t>(static_cast<uint32_t>(count) + static_cast<uint32_t>(by));
}

HCURSOR WaitCursor()
{
    return LoadCursorA(nullptr, IDC_WAIT);
}

}  // namespace

std::string LoadResString(UINT id, bool* found)
{
    // LoadStringA says nothing about truncation: it fills what fits and
    // returns the length. A cut can leave up to two bytes free (the NUL and,
    // in a double-byte code page, half a character that did not fit), so only
    // three or more free bytes prove that the whole string arrived.
    std::vector<char> buffer(256);
    int length = 0;
    for (;;) {
        length = LoadStringA(g_hInstance, id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0) {
            length = 0;
            buffer[0] = '\0';
        }
        if (buffer.size() - static_cast<size_t>(length) > 2)
            break;
        buffer.assign(buffer.size() + 256, '\0');
    }
    if (found)
        *found = length > 0;
    return std::string(buffer.data());
}

std::string LoadFileFilter(UINT id)
{
    std::string filter = LoadResString(id);
    std::replace(filter.begin(), filter.end(), '\n', '\0');
    return filter;
}

std::string FillPlaceholders(std::string text, const std::string& first, const std::string& second)
{
    for (const auto& [mark, value] : {std::pair<const char*, const std::string*>{"%1", &first}, {"%2", &second}}) {
        const size_t at = text.find(mark);
        if (at != std::string::npos)
            text.replace(at, 2, *value);
    }
    return text;
}

std::string LoadResString(UINT id, const std::string& first, const std::string& second)
{
    return FillPlaceholders(LoadResString(id), first, second);
}

int CenteredMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT style)
{
    const DialogCenteringScope centring;
    return MessageBoxA(owner, text.c_str(), caption.c_str(), style);
}

DialogCenteringScope::DialogCenteringScope()
{
    if (centringScopeCount++ == 0) {
        monitorLibrary = LoadLibraryA("user32.dll");
        monitorFromWindow = monitorLibrary ? LookUp<MonitorFromWindowFn>(monitorLibrary, "MonitorFromWindow") : nullptr;
        getMonitorInfo = monitorLibrary ? LookUp<GetMonitorInfoAFn>(monitorLibrary, "GetMonitorInfoA") : nullptr;
    }
    // Without a hook the boxes still open, only not centred.
    if (!centringHook)
        centringHook = SetWindowsHookExA(WH_CALLWNDPROC, CenteringHookProc, nullptr, GetCurrentThreadId());
}

DialogCenteringScope::~DialogCenteringScope()
{
    // Any scope that ends takes the hook with it, an inner one as well: the
    // outer scope goes on without centring.
    if (centringHook) {
        UnhookWindowsHookEx(centringHook);
        centringHook = nullptr;
    }
    if (--centringScopeCount == 0) {
        // The pointers point into the library, so they go with it; a
        // CenterWindow outside any scope falls back to the primary work area.
        monitorFromWindow = nullptr;
        getMonitorInfo = nullptr;
        if (monitorLibrary) {
            FreeLibrary(monitorLibrary);
            monitorLibrary = nullptr;
        }
    }
}

POINT CenteredPosition(const RECT& reference, const RECT& area, int width, int height)
{
    // C++ division truncates towards zero, as the placement wants, also for
    // the negative coordinates of monitors left of or above the primary one.
    POINT position{(reference.left + reference.right) / 2 - width / 2,
                   (reference.top + reference.bottom) / 2 - height / 2};
    if (position.x < area.left)
        position.x = area.left;
    else if (position.x + width > area.right)
        position.x = area.right - width;
    if (position.y < area.top)
        position.y = area.top;
    else if (position.y + height > area.bottom)
        position.y = area.bottom - height;
    return position;
}

void CenterWindow(HWND owner, HWND window)
{
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const bool child = (style & WS_CHILD) != 0;
    if (!owner)
        owner = child ? GetParent(window) : GetWindow(window, GW_OWNER);

    RECT windowRect{};
    GetWindowRect(window, &windowRect);

    RECT area{};
    RECT reference{};
    if (child) {
        // A child stays inside its parent's client area; both rectangles are
        // in the parent's client coordinates, which SetWindowPos expects.
        const HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        GetClientRect(owner, &reference);
        POINT corners[2] = {{reference.left, reference.top}, {reference.right, reference.bottom}};
        MapWindowPoints(owner, parent, corners, 2);
        reference = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    } else {
        // A hidden or minimised owner is no place to centre on: the box goes
        // to the middle of the work area instead of somewhere off screen.
        if (owner) {
            const LONG ownerStyle = GetWindowLongA(owner, GWL_STYLE);
            if (!(ownerStyle & WS_VISIBLE) || (ownerStyle & WS_MINIMIZE))
                owner = nullptr;
        }
        area = WorkAreaFor(owner);
        if (owner)
            GetWindowRect(owner, &reference);
        else
            reference = area;
    }

    const POINT position = CenteredPosition(reference, area, windowRect.right - windowRect.left,
                                            windowRect.bottom - windowRect.top);
    SetWindowPos(window, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string GetSystemErrorText(DWORD code)
{
    // Language 0x0800 (neutral, system default): the user reads the message
    // in the language of the installed system. There are no arguments for
    // messages with inserts ("%1"); the platform refuses to format those, and
    // the user gets IDS_UNEXPECTED_ERROR rather than a text with a bare placeholder.
    char* message = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
                                        0x0800, reinterpret_cast<char*>(&message), 0, nullptr);
    std::string text;
    if (length > 0 && message)
        text.assign(message, length);
    if (message)
        LocalFree(message);
    return length > 0 ? text : LoadResString(IDS_UNEXPECTED_ERROR);
}

void ReportSystemError(HWND owner, DWORD code)
{
    if (code == 0)
        return;
    CenteredMessageBox(owner, GetSystemErrorText(code), LoadResString(IDS_CAPTION_ERROR), MB_ICONERROR);
}

namespace {

void ReportShellFailure(HINSTANCE result, HWND owner)
{
    // The result is an instance handle only for compatibility; values of 32
    // and below are error numbers, and the thread's last error says more.
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        ReportSystemError(owner, GetLastError());
}

}  // namespace

void ShellOpen(const std::string& target, HWND owner)
{
    ReportShellFailure(ShellExecuteA(owner, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL), owner);
}

void ShellOpen(const std::wstring& target, HWND owner)
{
    ReportShellFailure(ShellExecuteW(owner, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL), owner);
}

WaitCursorScope::WaitCursorScope()
{
    waitCursorCount = WrappingAdd(waitCursorCount, 1);
    if (waitCursorCount > 0) {
        const HCURSOR previous = SetCursor(WaitCursor());
        // Only the outermost scope knows what the user saw before.
        if (waitCursorCount == 1)
            savedCursor = previous;
    } else {
        SetCursor(savedCursor);
        waitCursorCount = 0;
    }
}

WaitCursorScope::~WaitCursorScope()
{
    waitCursorCount = WrappingAdd(waitCursorCount, -1);
    if (waitCursorCount > 0) {
        // An inner scope ended; the outer one still waits, and whatever was
        // shown in between is replaced by the wait cursor again.
        SetCursor(WaitCursor());
    } else {
        SetCursor(savedCursor);
        waitCursorCount = 0;
    }
}
