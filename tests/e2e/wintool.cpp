// wintool.exe: a second Windows program for the end-to-end tests, run in the
// same Wine session as Metrova.exe.
//
//   wintool wait-window CLASS SECONDS     waits until a visible top-level window
//                                         of CLASS exists; prints its handle
//   wintool wait-gone CLASS SECONDS       waits until none is left
//   wintool count-windows CLASS           prints how many top-level windows
//                                         of CLASS exist
//   wintool foreground-class              prints the class of the foreground
//                                         window
//   wintool wait-dialog SECONDS           waits for a visible dialog box
//                                         ("#32770") of another process
//   wintool wait-no-dialog SECONDS        waits until no such dialog is left
//   wintool clipboard FILE                writes the clipboard's "Standard MIDI
//                                         File" data to FILE
//   wintool clipboard-sequence            prints GetClipboardSequenceNumber
//   wintool list-rows                     prints the row count of Metrova's
//                                         list of takes
//   wintool texts main|dialog             prints, in UTF-8 and one a line, the
//                                         caption and every control's text
//                                         (icons left out) of Metrova's main
//                                         window or of the visible dialog
//   wintool list-row ROW                  prints "checked=C icon=I taps=T" for
//                                         a row of the list of takes: its
//                                         check box (1 checked, 0 not), its
//                                         warning sign (1 shown, 0 not) and
//                                         its tap count text
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool WaitFor(DWORD seconds, bool (*ready)(const char*), const char* arg)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        if (ready(arg))
            return true;
        Sleep(50);
    }
    return false;
}

HWND g_found = nullptr;

bool VisibleWindowOfClass(const char* className)
{
    g_found = nullptr;
    for (HWND w = FindWindowExA(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExA(nullptr, w, className, nullptr)) {
        if (IsWindowVisible(w)) {
            g_found = w;
            return true;
        }
    }
    return false;
}

bool NoWindowOfClass(const char* className)
{
    return FindWindowExA(nullptr, nullptr, className, nullptr) == nullptr;
}

bool ForeignDialog(const char*)
{
    g_found = nullptr;
    for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", nullptr); w;
         w = FindWindowExA(nullptr, w, "#32770", nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != GetCurrentProcessId() && IsWindowVisible(w)) {
            g_found = w;
            return true;
        }
    }
    return false;
}

bool NoForeignDialog(const char*)
{
    return !ForeignDialog(nullptr);
}

int DumpClipboard(const char* path)
{
    const UINT format = RegisterClipboardFormatA("Standard MIDI File");
    if (!format || !OpenClipboard(nullptr)) {
        std::fprintf(stderr, "wintool: cannot open the clipboard\n");
        return 1;
    }
    int status = 1;
    if (HANDLE data = GetClipboardData(format)) {
        const SIZE_T size = GlobalSize(data);
        if (const void* bytes = GlobalLock(data)) {
            if (FILE* out = std::fopen(path, "wb")) {
                if (std::fwrite(bytes, 1, size, out) == size)
                    status = 0;
                std::fclose(out);
            }
            GlobalUnlock(data);
        }
    } else {
        std::fprintf(stderr, "wintool: no \"Standard MIDI File\" data on the clipboard\n");
    }
    CloseClipboard();
    return status;
}

void PrintUtf8(const wchar_t* text)
{
    char bytes[2048] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    std::printf("%s\n", bytes);
}

// By WM_GETTEXT: GetWindowText reads another process's edit controls as the
// empty text they were created with, not what the program put in them.
void PrintWindowText(HWND window)
{
    wchar_t text[1024] = L"";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
    text[1023] = L'\0';
    PrintUtf8(text);
}

int PrintTexts(const char* which)
{
    const bool main = std::strcmp(which, "main") == 0;
    HWND window = main ? FindWindowA("mkMetrovaWnd", nullptr) : (ForeignDialog(nullptr) ? g_found : nullptr);
    if (!window)
        return 1;
    PrintWindowText(window);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = "";
        GetClassNameA(child, className, sizeof className);
        // An icon's "text" is its resource id.
        if (_stricmp(className, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            continue;
        PrintWindowText(child);
    }
    return 0;
}

// A block of memory in another process, for the messages whose arguments
// point to memory: the list's item structures and notifications are not
// carried across processes.
class RemoteBlock {
public:
    RemoteBlock(HWND window, SIZE_T bytes) : size(bytes)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process)
            address = static_cast<char*>(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBlock()
    {
        if (address)
            VirtualFreeEx(process, address, 0, MEM_RELEASE);
        if (process)
            CloseHandle(process);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    char* At(SIZE_T offset) const { return address + offset; }
    bool Ok() const { return address != nullptr; }
    bool Write(SIZE_T offset, const void* data, SIZE_T n) const
    {
        return offset + n <= size && WriteProcessMemory(process, address + offset, data, n, nullptr);
    }
    bool Read(SIZE_T offset, void* data, SIZE_T n) const
    {
        return offset + n <= size && ReadProcessMemory(process, address + offset, data, n, nullptr);
    }

private:
    SIZE_T size;
    HANDLE process = nullptr;
    char* address = nullptr;
};

HWND TakeList()
{
    HWND main = FindWindowA("mkMetrovaWnd", nullptr);
    return main ? GetDlgItem(main, 1008) : nullptr;
}

// Reads a row's item into `item` (mask and sub-item set by the caller), its
// text into `text`.
bool GetRemoteItem(HWND list, int row, LVITEMA& item, char (&text)[64])
{
    constexpr SIZE_T TextAt = 256;
    RemoteBlock block(list, 512);
    item.iItem = row;
    item.pszText = block.At(TextAt);
    item.cchTextMax = sizeof text;
    text[0] = '\0';
    if (!block.Ok() || !block.Write(0, &item, sizeof item) ||
        !SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.At(0))) ||
        !block.Read(0, &item, sizeof item) || !block.Read(TextAt, text, sizeof text))
        return false;
    text[sizeof text - 1] = '\0';
    return true;
}

int PrintListRow(int row)
{
    HWND list = TakeList();
    if (!list)
        return 1;
    LVITEMA icon{};
    icon.mask = LVIF_IMAGE;
    LVITEMA taps{};
    taps.mask = LVIF_TEXT;
    taps.iSubItem = 1;
    char ignored[64], count[64];
    if (!GetRemoteItem(list, row, icon, ignored) || !GetRemoteItem(list, row, taps, count))
        return 1;
    const UINT state = static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    // State image 1 is the empty box, 2 the checked one. The row's images
    // come in pairs, one a take colour: the second of a pair has the sign.
    std::printf("checked=%u icon=%d taps=%s\n", ((state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? 1u : 0u, icon.iImage % 2,
                count);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "wait-window") == 0) {
        if (!WaitFor(static_cast<DWORD>(std::atoi(argv[3])), VisibleWindowOfClass, argv[2]))
            return 1;
        std::printf("%p\n", static_cast<void*>(g_found));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "count-windows") == 0) {
        int count = 0;
        for (HWND w = FindWindowExA(nullptr, nullptr, argv[2], nullptr); w;
             w = FindWindowExA(nullptr, w, argv[2], nullptr))
            ++count;
        std::printf("%d\n", count);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "foreground-class") == 0) {
        char name[256] = "";
        HWND foreground = GetForegroundWindow();
        if (!foreground || !GetClassNameA(foreground, name, sizeof name))
            return 1;
        std::printf("%s\n", name);
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "wait-gone") == 0)
        return WaitFor(static_cast<DWORD>(std::atoi(argv[3])), NoWindowOfClass, argv[2]) ? 0 : 1;
    if (argc >= 3 && std::strcmp(argv[1], "wait-dialog") == 0)
        return WaitFor(static_cast<DWORD>(std::atoi(argv[2])), ForeignDialog, nullptr) ? 0 : 1;
    if (argc >= 3 && std::strcmp(argv[1], "wait-no-dialog") == 0)
        return WaitFor(static_cast<DWORD>(std::atoi(argv[2])), NoForeignDialog, nullptr) ? 0 : 1;
    if (argc >= 3 && std::strcmp(argv[1], "clipboard") == 0)
        return DumpClipboard(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "clipboard-sequence") == 0) {
        std::printf("%lu\n", static_cast<unsigned long>(GetClipboardSequenceNumber()));
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "list-rows") == 0) {
        HWND main = FindWindowA("mkMetrovaWnd", nullptr);
        HWND list = main ? GetDlgItem(main, 1008) : nullptr;
        if (!list)
            return 1;
        std::printf("%ld\n", static_cast<long>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "texts") == 0)
        return PrintTexts(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "list-row") == 0)
        return PrintListRow(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: wintool wait-window CLASS SECONDS | wait-gone CLASS SECONDS | count-windows CLASS |\n"
                         "       foreground-class |\n"
                         "       wait-dialog SECONDS | wait-no-dialog SECONDS | clipboard FILE | clipboard-sequence | list-rows |\n"
                         "       texts main|dialog | list-row ROW\n");
    return 2;
}
