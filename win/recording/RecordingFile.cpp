#include "RecordingFile.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "ByteSource.h"
#include "Dpi.h"
#include "MediaFoundationDecoder.h"
#include "Messages.h"
#include "WidePath.h"
#include "resource.h"

// The core's Windows half opens files by UTF-16 path (StreamSource_win32.cpp).
std::unique_ptr<ByteSource> OpenFileByteSource(const std::wstring& path, FileOpenError& error);

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr,
                            nullptr);
    return narrow;
}

std::unique_ptr<AudioDecoder> OpenRecordingDecoder(const std::wstring& path, std::string& message)
{
    const std::string shown = NarrowForDisplay(FileNameOf(path));
    FileOpenError why = FileOpenError::None;
    std::unique_ptr<ByteSource> source = OpenFileByteSource(path, why);
    if (!source) {
        message = LoadResString(why == FileOpenError::Missing ? IDS_RECORDING_MISSING : IDS_RECORDING_CANNOT_OPEN,
                                NarrowForDisplay(path));
        return nullptr;
    }
    AudioOpenResult opened = OpenAudioSource(std::move(source), shown);
    if (opened.decoder)
        return std::move(opened.decoder);
    if (opened.error != AudioOpenError::UnknownKind) {
        message = opened.message;
        return nullptr;
    }
    // Neither WAV nor Ogg Vorbis: the system's decoders, which open the file
    // their own way (the core's source is closed by now).
    std::string error;
    std::unique_ptr<AudioDecoder> decoder = OpenMediaFoundationDecoder(path, error);
    if (decoder)
        return decoder;
    message = audio_detail::UnknownKindMessage(shown, kMediaFoundationFormats);
    return nullptr;
}

bool IdentifyRecording(const std::wstring& path, SessionRecording& identity)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(PathForFileApi(path).c_str(), GetFileExInfoStandard, &attributes) ||
        (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return false;
    std::vector<unsigned char> head(RecordingHeadBytes);
    const size_t got = std::fread(head.data(), 1, head.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return false;
    identity.Path = Utf8FromWide(path);
    identity.Size = (static_cast<uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    identity.Hash = HashRecordingHead(head.data(), got);
    return true;
}

bool IsSameRecording(const SessionRecording& identity)
{
    SessionRecording now;
    return IdentifyRecording(WideFromUtf8(identity.Path), now) && now.Size == identity.Size &&
           now.Hash == identity.Hash;
}

bool LooksLikeMidiFile(const std::wstring& path)
{
    // Named as one: imported, and told as today when it is no good one.
    const size_t dot = path.find_last_of(L'.');
    if (dot != std::wstring::npos && path.find_first_of(L"\\/", dot) == std::wstring::npos) {
        const std::wstring extension = path.substr(dot + 1);
        for (const wchar_t* midi : {L"mid", L"midi", L"rmi", L"smf", L"kar"})
            if (lstrcmpiW(extension.c_str(), midi) == 0)
                return true;
    }
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return false;
    unsigned char head[12] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got >= 4 && std::memcmp(head, "MThd", 4) == 0)
        return true;
    return got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "RMID", 4) == 0;
}

namespace {

// The progress window of one decoding: a line naming the file, a bar and a
// Cancel button. Its owner is disabled meanwhile, and messages are pumped
// between blocks of the pass, so the window paints and Cancel works without
// a thread of its own.
class ProgressWindow {
public:
    ProgressWindow(HWND owner, const std::string& text) : owner_(owner)
    {
        RegisterClass();
        const UINT dpi = owner ? DpiOfWindow(owner) : DesignDpi;
        const int width = ScaleToDpi(360, dpi), height = ScaleToDpi(120, dpi);
        window_ = CreateWindowExA(WS_EX_DLGMODALFRAME, ClassName, LoadResString(IDS_TITLE).c_str(),
                                  WS_POPUP | WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, width, height, owner,
                                  nullptr, g_hInstance, this);
        if (!window_)
            return;
        RECT client{};
        GetClientRect(window_, &client);
        const int margin = ScaleToDpi(10, dpi), line = ScaleToDpi(18, dpi);
        const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        HWND label = CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP |
                                     SS_ENDELLIPSIS, margin, margin, client.right - 2 * margin, line, window_,
                                     nullptr, g_hInstance, nullptr);
        bar_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, margin, margin + line + margin / 2,
                               client.right - 2 * margin, line, window_, nullptr, g_hInstance, nullptr);
        SendMessageA(bar_, PBM_SETRANGE32, 0, Steps);
        const int buttonWidth = ScaleToDpi(80, dpi), buttonHeight = ScaleToDpi(24, dpi);
        HWND cancel = CreateWindowExA(0, "BUTTON", LoadResString(IDS_CANCEL).c_str(),
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                      client.right - margin - buttonWidth, client.bottom - margin - buttonHeight,
                                      buttonWidth, buttonHeight, window_, reinterpret_cast<HMENU>(IDCANCEL),
                                      g_hInstance, nullptr);
        for (HWND control : {label, cancel})
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        CenterWindow(owner, window_);
        if (owner)
            EnableWindow(owner, FALSE);
        ShowWindow(window_, SW_SHOW);
        UpdateWindow(window_);
        SetFocus(cancel);
    }
    ~ProgressWindow()
    {
        if (owner_)
            EnableWindow(owner_, TRUE);
        if (window_)
            DestroyWindow(window_);
        if (owner_)
            SetForegroundWindow(owner_);
    }
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Window() const { return window_; }

    // Shows `fraction` and handles what is waiting; false once the user
    // cancelled.
    bool Step(double fraction)
    {
        const int position = static_cast<int>(fraction * Steps);
        if (position != shown_ && bar_) {
            shown_ = position;
            SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Kept for the loop that owns it.
                PostQuitMessage(static_cast<int>(message.wParam));
                cancelled_ = true;
                break;
            }
            if (window_ && IsDialogMessageA(window_, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        return !cancelled_;
    }

private:
    static constexpr const char* ClassName = "mkMetrovaProgress";
    static constexpr int Steps = 1000;

    static void RegisterClass()
    {
        WNDCLASSEXA type{};
        type.cbSize = sizeof type;
        if (GetClassInfoExA(g_hInstance, ClassName, &type))
            return;
        type.lpfnWndProc = Procedure;
        type.hInstance = g_hInstance;
        type.hCursor = LoadCursor(nullptr, IDC_ARROW);
        type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        type.lpszClassName = ClassName;
        RegisterClassExA(&type);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && ((message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE)) {
            self->cancelled_ = true;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND owner_ = nullptr;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
    int shown_ = -1;
    bool cancelled_ = false;
};

}  // namespace

RecordingLoad LoadRecording(HWND owner, const std::wstring& path, LoadedRecording& loaded)
{
    std::string message;
    std::unique_ptr<AudioDecoder> decoder;
    SessionRecording identity;
    {
        WaitCursorScope waiting;
        decoder = OpenRecordingDecoder(path, message);
        if (decoder && !IdentifyRecording(path, identity)) {
            decoder.reset();
            message = LoadResString(IDS_RECORDING_CANNOT_OPEN, NarrowForDisplay(path));
        }
    }
    if (!decoder) {
        CenteredMessageBox(owner, message, LoadResString(IDS_CAPTION_ERROR), MB_ICONERROR);
        return RecordingLoad::Failed;
    }

    auto envelope = std::make_shared<PeakEnvelope>();
    auto onsets = std::make_shared<OnsetStrength>();
    ScanOutcome outcome;
    {
        ProgressWindow progress(owner, LoadResString(IDS_RECORDING_OPENING, NarrowForDisplay(FileNameOf(path))));
        DWORD lastStep = GetTickCount() - 1000;
        outcome = BuildEnvelopeAndOnsetStrength(*decoder, *envelope, *onsets, [&progress, &lastStep](double fraction) {
            // A few dozen times a second is enough for the bar and Cancel.
            const DWORD now = GetTickCount();
            if (now - lastStep < 30 && fraction < 1.0)
                return true;
            lastStep = now;
            return progress.Step(fraction);
        });
    }
    if (outcome.result == ScanResult::Cancelled)
        return RecordingLoad::Cancelled;
    if (outcome.result == ScanResult::Failed || outcome.frames == 0) {
        const std::string why = outcome.error.empty() ? std::string() : "\n" + outcome.error;
        CenteredMessageBox(owner, LoadResString(IDS_RECORDING_CANNOT_OPEN, NarrowForDisplay(path)) + why,
                           LoadResString(IDS_CAPTION_ERROR), MB_ICONERROR);
        return RecordingLoad::Failed;
    }
    loaded.Path = path;
    loaded.Format = decoder->Format();
    loaded.Format.frames = outcome.frames;
    loaded.Envelope = std::move(envelope);
    loaded.Onsets = std::move(onsets);
    loaded.Identity = identity;
    return RecordingLoad::Loaded;
}
