// Helpers for driving the program's real windows in-process (under Wine with
// the null display driver, or on Windows): a scripted answerer for message
// boxes and the common file dialogs, actions run from inside a window's
// own message loop, message pumping, and files beside the test program.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>  // DROPFILES

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AppGlobals.h"
#include "Messages.h"

namespace wine_test {

// Start-up as far as the main window needs it: this program's resources, the
// common controls, and the "mkMetrovaWnd" class, registered once per process
// the way WinMain registers it.
inline bool PrepareMainWindowClass()
{
    g_hInstance = GetModuleHandleA(nullptr);
    InitCommonControls();
    WNDCLASSA existing;
    return GetClassInfoA(g_hInstance, MainWindowClassName, &existing) || RegisterMainWindowClass(g_hInstance);
}

// A message box as the user saw it.
struct SeenBox {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    // The MB_ button set and MB_ICON bits the box shows, rebuilt from its
    // controls: MB_OK or MB_YESNO, plus the icon among the four system icons.
    UINT style = 0;
};

// The icon a message box shows, or null. (A named CALLBACK function, not a
// lambda: 32-bit enumeration callbacks are stdcall.)
inline BOOL CALLBACK FindIconStatic(HWND child, LPARAM found)
{
    char name[16] = "";
    GetClassNameA(child, name, sizeof name);
    if (_stricmp(name, "Static") != 0 || (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    *reinterpret_cast<HICON*>(found) = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return FALSE;
}

inline HICON BoxIcon(HWND box)
{
    HICON icon = nullptr;
    EnumChildWindows(box, FindIconStatic, reinterpret_cast<LPARAM>(&icon));
    return icon;
}

// Answers the dialogs that open on this thread while it lives, in the order
// given, and records every message box. A file dialog (recognised by its
// file-name box cmb13) gets the scripted path typed and OK pressed, or is
// cancelled. Each dialog is answered when it is first activated, which
// happens inside the modal loop of the call that opened it.
class DialogAnswerer {
public:
    DialogAnswerer() : hook(SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId()))
    {
        current = this;
    }
    ~DialogAnswerer()
    {
        if (fileTimer)
            KillTimer(nullptr, fileTimer);
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    bool Ready() const { return hook != nullptr; }

    // Next message box: press this button (IDYES, IDNO, IDOK ...).
    DialogAnswerer& Press(int button)
    {
        script.push_back({button, {}, {}});
        return *this;
    }
    // Next file dialog: type `path` and press OK.
    DialogAnswerer& ChooseFile(const std::string& path)
    {
        script.push_back({IDOK, path, {}});
        return *this;
    }
    // Next file dialog: type `path` (UTF-16, any name) and press OK.
    DialogAnswerer& ChooseFile(const std::wstring& path)
    {
        script.push_back({IDOK, {}, path});
        return *this;
    }
    // Next file dialog: cancel it.
    DialogAnswerer& CancelFile()
    {
        script.push_back({IDCANCEL, {}, {}});
        return *this;
    }

    const std::vector<SeenBox>& Boxes() const { return boxes; }
    // The entries of the file-type list of each file dialog.
    const std::vector<std::vector<std::string>>& FileDialogFilters() const { return filters; }
    size_t UnusedAnswers() const { return script.size(); }

private:
    struct Answer {
        int button;
        std::string path;
        std::wstring widePath;
    };

    static constexpr int FileNameBox = 0x47C;  // cmb13
    static constexpr int FileTypeList = 0x470;  // cmb1

    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE && current)
            current->Handle(reinterpret_cast<HWND>(wParam));
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    void Handle(HWND dialog)
    {
        char className[16] = "";
        GetClassNameA(dialog, className, sizeof className);
        // A dialog is activated again when a box it opened closes (the save
        // dialog after its overwrite question): only the first counts.
        if (std::strcmp(className, "#32770") != 0 ||
            std::find(handled.begin(), handled.end(), dialog) != handled.end())
            return;
        handled.push_back(dialog);

        Answer answer{IDCANCEL, {}, {}};
        if (!script.empty()) {
            answer = script.front();
            script.pop_front();
        }

        // A file dialog is activated while it still initialises itself (its
        // file-type list is filled later); it is answered from a thread timer,
        // which fires in its modal loop once the dialog is complete.
        if (GetDlgItem(dialog, FileNameBox)) {
            pendingFileDialog = dialog;
            pendingFileAnswer = answer;
            fileTimer = SetTimer(nullptr, 0, 1, FileDialogTimer);
            return;
        }

        SeenBox seen;
        seen.owner = GetWindow(dialog, GW_OWNER);
        char buffer[2048] = "";
        GetWindowTextA(dialog, buffer, sizeof buffer);
        seen.caption = buffer;
        buffer[0] = '\0';
        GetDlgItemTextA(dialog, 0xFFFF, buffer, sizeof buffer);
        seen.text = buffer;
        seen.style = (Shows(dialog, IDYES) && Shows(dialog, IDNO)) ? MB_YESNO : MB_OK;
        seen.style |= IconStyle(dialog);
        boxes.push_back(seen);
        PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(answer.button), 0);
    }

    static void CALLBACK FileDialogTimer(HWND, UINT, UINT_PTR id, DWORD)
    {
        KillTimer(nullptr, id);
        if (!current || !current->pendingFileDialog)
            return;
        HWND dialog = current->pendingFileDialog;
        current->pendingFileDialog = nullptr;
        current->filters.push_back(ComboItems(GetDlgItem(dialog, FileTypeList)));
        if (current->pendingFileAnswer.button == IDOK && !current->pendingFileAnswer.widePath.empty())
            SetDlgItemTextW(dialog, FileNameBox, current->pendingFileAnswer.widePath.c_str());
        else if (current->pendingFileAnswer.button == IDOK)
            SetDlgItemTextA(dialog, FileNameBox, current->pendingFileAnswer.path.c_str());
        PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(current->pendingFileAnswer.button), 0);
    }

    static bool Shows(HWND box, int button)
    {
        HWND control = GetDlgItem(box, button);
        return control && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE);
    }

    static UINT IconStyle(HWND box)
    {
        const HICON icon = BoxIcon(box);
        if (!icon)
            return 0;
        const struct {
            LPCSTR id;
            UINT style;
        } icons[] = {{IDI_HAND, MB_ICONERROR},
                     {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                     {IDI_QUESTION, MB_ICONQUESTION},
                     {IDI_ASTERISK, MB_ICONINFORMATION}};
        for (const auto& candidate : icons) {
            if (LoadIconA(nullptr, candidate.id) == icon)
                return candidate.style;
        }
        return 0xF0;  // an icon, but none of the system's
    }

    static std::vector<std::string> ComboItems(HWND combo)
    {
        std::vector<std::string> items;
        const int count = combo ? static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0)) : 0;
        for (int i = 0; i < count; ++i) {
            char text[512] = "";
            SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }

    static inline DialogAnswerer* current = nullptr;
    HHOOK hook;
    std::deque<Answer> script;
    std::vector<HWND> handled;
    std::vector<SeenBox> boxes;
    std::vector<std::vector<std::string>> filters;
    HWND pendingFileDialog = nullptr;
    Answer pendingFileAnswer{IDCANCEL, {}, {}};
    UINT_PTR fileTimer = 0;
};

// Acts on a window from inside whatever message loop the thread is in (a
// dialog's own loop included): at each tick of a thread timer, while it
// lives, the next action runs on the window `find` returns, once there is
// one. A tick comes only when no posted message waits, so each action finds
// the messages posted by the one before it handled. A window still found
// after the last action is destroyed and counted as a stray.
class WindowActions {
public:
    using Action = std::function<void(HWND)>;

    WindowActions(std::function<HWND()> finder, std::vector<Action> list)
        : find(std::move(finder)), actions(std::move(list)), timer(SetTimer(nullptr, 0, 1, Tick))
    {
        current = this;
    }
    ~WindowActions()
    {
        KillTimer(nullptr, timer);
        if (current == this)
            current = nullptr;
    }
    WindowActions(const WindowActions&) = delete;
    WindowActions& operator=(const WindowActions&) = delete;

    size_t Done() const { return next; }
    int Strays() const { return strays; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        // An action that runs a message loop of its own gets no ticks
        // meanwhile.
        WindowActions* self = current;
        if (!self || self->running)
            return;
        HWND window = self->find();
        if (!window)
            return;
        self->running = true;
        if (self->next < self->actions.size()) {
            self->actions[self->next++](window);
        } else {
            ++self->strays;
            DestroyWindow(window);
        }
        self->running = false;
    }

    static inline WindowActions* current = nullptr;
    std::function<HWND()> find;
    std::vector<Action> actions;
    size_t next = 0;
    int strays = 0;
    bool running = false;
    UINT_PTR timer;
};

// Sets a file aside while it lives and puts it back afterwards; the path is
// free (no file) in between, and whatever is there at the end is dropped.
class FileAside {
public:
    explicit FileAside(std::string filePath) : path(std::move(filePath))
    {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return;
        std::ifstream in(path, std::ios::binary);
        saved.emplace(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        in.close();
        DeleteFileA(path.c_str());
    }
    ~FileAside()
    {
        DeleteFileA(path.c_str());
        if (saved) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(saved->data(), static_cast<std::streamsize>(saved->size()));
        }
    }
    FileAside(const FileAside&) = delete;
    FileAside& operator=(const FileAside&) = delete;

private:
    std::string path;
    std::optional<std::string> saved;
};

// The bytes on the clipboard under "Standard MIDI File" (empty when there
// are none).
inline std::vector<uint8_t> ClipboardMidi()
{
    const UINT format = RegisterClipboardFormatA("Standard MIDI File");
    std::vector<uint8_t> bytes;
    if (!OpenClipboard(nullptr))
        return bytes;
    if (HANDLE data = GetClipboardData(format)) {
        if (const auto* p = static_cast<const uint8_t*>(GlobalLock(data)))
            bytes.assign(p, p + GlobalSize(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return bytes;
}

// Dispatches everything waiting in this thread's queue. A quit message is
// left alone: it is not in the queue proper and would end nothing here.
inline void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Takes a pending quit request off the thread; true when there was one, with
// its exit code in `exitCode`. A quit request left behind would end the
// modal loop of the next message box at once.
inline bool TakeQuitMessage(WPARAM* exitCode = nullptr)
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return false;
    if (exitCode)
        *exitCode = msg.wParam;
    return true;
}

// A path in the folder of the test program.
inline std::string BesideTestProgram(const std::string& name)
{
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string path = module;
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

inline bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

inline void WriteText(const std::string& path, const std::string& text)
{
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Waits up to `ms` for a file that a timer of the window under test writes,
// pumping messages meanwhile; whether it came.
inline bool WaitForFile(const std::string& path, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!FileExists(path) && GetTickCount() - start < ms) {
        Sleep(10);
        PumpMessages();
    }
    return FileExists(path);
}

// An action that waits up to 3 s for the file a timer of the window writes
// (a tap dialog's journal, within a second) and reads it into `into`.
inline WindowActions::Action ReadWhenWritten(std::string path, std::string& into)
{
    return [path = std::move(path), &into](HWND) {
        WaitForFile(path, 3000);
        into = ReadText(path);
    };
}

// A drop of files as the shell hands it to WM_DROPFILES: a DROPFILES header
// followed by the ANSI paths, each ended by a NUL, and a closing NUL. The
// receiver releases it with DragFinish.
inline HGLOBAL MakeDrop(const std::vector<std::string>& paths)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& p : paths)
        size += p.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!memory)
        return nullptr;
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    char* out = reinterpret_cast<char*>(header) + sizeof(DROPFILES);
    for (const std::string& p : paths) {
        std::memcpy(out, p.c_str(), p.size() + 1);
        out += p.size() + 1;
    }
    GlobalUnlock(memory);
    return memory;
}

// The same with one UTF-16 path (fWide), as Explorer drops a file whose
// name the ANSI code page cannot spell.
inline HGLOBAL MakeWideDrop(const std::wstring& path)
{
    const size_t size = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!memory)
        return nullptr;
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    return memory;
}

}  // namespace wine_test
