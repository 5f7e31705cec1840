#include "LatencyDialog.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "AppGlobals.h"
#include "LatencySettingsWin32.h"
#include "Dpi.h"
#include "KeyDialog.h"
#include "Messages.h"
#include "RecordingPlayer.h"
#include "SilenceDecoder.h"
#include "Take.h"
#include "TapLatency.h"
#include "resource.h"

namespace {

enum Item { Instruction, Progress, Taps, Hint, ItemCount };

// Where the texts go, in dialog units of the template's font.
constexpr RECT DesignRects[ItemCount] = {
    {7, 7, 174, 17},
    {7, 24, 95, 32},
    {100, 24, 174, 32},
    {7, 46, 174, 54},
};

// The clicks are mixed into silence at this rate, whole frames per
// millisecond so that every click lands on the frame of its time.
constexpr uint32_t kSilenceRate = 48000;
constexpr int64_t kFramesPerMs = kSilenceRate / 1000;
// The silence runs on past the last click for longer than a late tap may
// be, so that the end notice comes only once every tap is in.
constexpr double kGraceMs = 500.0;
constexpr UINT_PTR ProgressTimer = 1;
constexpr UINT ProgressPeriodMs = 100;

// Everything one open dialog keeps, in its DWLP_USER from WM_INITDIALOG to
// WM_NCDESTROY. It lives on the stack of RunLatencyDialog.
struct LatencyDialog {
    HWND Owner = nullptr;
    const LatencyInput* Input = nullptr;

    std::unique_ptr<RecordingPlayer> Player;
    std::vector<double> ClicksMs;
    std::vector<int64_t> ClickFrames;
    // The taps of this run on the click track's timeline, in ms.
    std::vector<double> TapsMs;
    bool Running = false;
    bool Measured = false;
    // MIDI taps come with the driver's stamps, ms since StartInput; the
    // clock was read just before it.
    DWORD MidiStartClock = 0;
    size_t MidiTapsSeen = 0;

    bool TimingRaised = false;
    DWORD SavedPriorityClass = NORMAL_PRIORITY_CLASS;
    HFONT DialogFont = nullptr;
    COLORREF BackgroundColour = 0;
    COLORREF TextColour = 0;
    std::string Texts[ItemCount];
    // Loaded as the dialog opens: nothing is loaded while taps are timed.
    std::string ProgressFormat, TapsFormat;
    RECT ItemRects[ItemCount] = {};
};

LatencyDialog* StateOf(HWND dialog)
{
    return reinterpret_cast<LatencyDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

bool IsLatencyDialogWindow(HWND window)
{
    return window && GetWindowLongPtrA(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(LatencyDialogProc);
}

bool IsMidi(const LatencyDialog& state)
{
    return state.Input->Midi != nullptr;
}

void ShowText(HWND dialog, LatencyDialog& state, int item, const std::string& text)
{
    if (state.Texts[item] == text)
        return;
    state.Texts[item] = text;
    InvalidateRect(dialog, &state.ItemRects[item], TRUE);
}

void ShowProgress(HWND dialog, LatencyDialog& state)
{
    size_t heard = 0;
    if (state.Player) {
        const int64_t played = state.Player->PlayedFrame();
        heard = static_cast<size_t>(
            std::count_if(state.ClickFrames.begin(), state.ClickFrames.end(),
                          [played](int64_t frame) { return frame <= played; }));
    }
    ShowText(dialog, state, Progress,
             FillPlaceholders(state.ProgressFormat, std::to_string(heard), std::to_string(state.ClickFrames.size())));
    ShowText(dialog, state, Taps, FillPlaceholders(state.TapsFormat, std::to_string(state.TapsMs.size())));
}

// The MIDI taps that came in since the last call, placed on the timeline.
// Runs on this thread after the driver stamped them; nothing here is timed.
void FollowMidiTaps(HWND dialog, LatencyDialog& state)
{
    if (!IsMidi(state) || !state.Player)
        return;
    const Take newTaps = CurrentTake.CopyFrom(state.MidiTapsSeen);
    state.MidiTapsSeen += newTaps.size();
    for (const uint32_t stamp : newTaps)
        state.TapsMs.push_back(state.Player->RecordingMsAt(state.MidiStartClock + stamp));
    if (!newTaps.empty())
        ShowProgress(dialog, state);
}

// Plays the clicks from the start with no taps yet. False when the wave
// output cannot play them.
bool StartRun(HWND dialog, LatencyDialog& state)
{
    state.TapsMs.clear();
    if (state.Player->Start(0) != MMSYSERR_NOERROR)
        return false;
    if (IsMidi(state)) {
        CurrentTake.Start();
        state.MidiTapsSeen = 0;
        state.MidiStartClock = timeGetTime();
        state.Input->Midi->StartInput();
    }
    state.Running = true;
    SetTimer(dialog, ProgressTimer, ProgressPeriodMs, nullptr);
    ShowProgress(dialog, state);
    return true;
}

// Stops the clicks and the input; the taps that had come in stay.
void StopRun(HWND dialog, LatencyDialog& state)
{
    if (!state.Running)
        return;
    state.Running = false;
    KillTimer(dialog, ProgressTimer);
    state.Player->Stop();
    if (IsMidi(state)) {
        state.Input->Midi->StopInput();
        FollowMidiTaps(dialog, state);
        CurrentTake.HandOver();  // the taps were for the measurement only
    }
}

// "+23", "-8", "0": whole milliseconds, the sign saying late or early.
std::string SignedMs(double ms)
{
    const long whole = std::lround(std::clamp(ms, -99999.0, 99999.0));
    char text[16];
    std::snprintf(text, sizeof text, whole == 0 ? "%ld" : "%+ld", whole);
    return text;
}

void ReportNoSound(HWND dialog)
{
    CenteredMessageBox(dialog, LoadResString(IDS_LATENCY_NO_SOUND), LoadResString(IDS_CAPTION_ERROR),
                       MB_OK | MB_ICONERROR);
}

void ReportResult(HWND dialog, LatencyDialog& state, const TapLatencyResult& result)
{
    SaveTapLatency(state.Input->Name, result.MedianMs);
    state.Measured = true;
    const std::string spread = std::to_string(std::lround(std::min(result.SpreadMs, 99999.0)));
    CenteredMessageBox(dialog, LoadResString(IDS_LATENCY_RESULT, SignedMs(result.MedianMs), spread),
                       LoadResString(IDS_CAPTION_INFO), MB_OK | MB_ICONINFORMATION);
}

// The clicks have played: the taps are paired with them, and the result
// kept, or the user asked whether to try again.
void OnPlayed(HWND dialog, LatencyDialog& state)
{
    StopRun(dialog, state);
    ShowProgress(dialog, state);
    const TapLatencyResult result = MeasureTapLatency(state.ClicksMs, state.TapsMs);
    if (result.Enough) {
        ReportResult(dialog, state, result);
    } else {
        const std::string text =
            LoadResString(IDS_LATENCY_TOO_FEW, std::to_string(result.Pairs), std::to_string(kLatencyMinPairs));
        const int answer =
            CenteredMessageBox(dialog, text, LoadResString(IDS_CAPTION_CONFIRM), MB_YESNO | MB_ICONQUESTION);
        if (answer == IDYES && StartRun(dialog, state))
            return;
        if (answer == IDYES)
            ReportNoSound(dialog);
    }
    SendMessageA(dialog, WM_CLOSE, 0, 0);
}

void OnKeyDown(HWND dialog, LatencyDialog& state, WPARAM key, LPARAM flags)
{
    // The clock first: the message's own time has only the system tick's
    // coarse resolution, and everything else can wait.
    const DWORD now = timeGetTime();
    if (key == VK_ESCAPE) {
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        return;
    }
    // Bit 30 is the previous key state: set for the auto-repeat of a held key.
    const bool repeated = (static_cast<DWORD>(flags) & 0x40000000u) != 0;
    if (IsMidi(state) || repeated || !state.Running)
        return;
    state.TapsMs.push_back(state.Player->RecordingMsAt(now));
    ShowProgress(dialog, state);
}

void MapItemRects(HWND dialog, LatencyDialog& state)
{
    for (int item = 0; item < ItemCount; ++item) {
        state.ItemRects[item] = DesignRects[item];
        MapDialogRect(dialog, &state.ItemRects[item]);
    }
    InvalidateRect(dialog, nullptr, TRUE);
}

void OnInitDialog(HWND dialog, LatencyDialog& state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    if (IsMidi(state))
        state.Input->Midi->DialogOpened(dialog);
    state.DialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    // Keys are taps, not text: the input method editor would swallow them.
    if (g_pWINNLSEnableIME)
        g_pWINNLSEnableIME(dialog, FALSE);
    SendMessageA(dialog, WM_SYSCOLORCHANGE, 0, 0);
    MapItemRects(dialog, state);

    state.Texts[Instruction] = LoadResString(IDS_LATENCY_INSTRUCTION);
    state.ProgressFormat = LoadResString(IDS_LATENCY_PROGRESS);
    state.TapsFormat = LoadResString(IDS_LATENCY_TAPS);
    state.Texts[Hint] = LoadResString(IsMidi(state) ? IDS_LATENCY_HINT_MIDI : IDS_LATENCY_HINT_KEYS);
    ShowProgress(dialog, state);

    // Keyboard taps are timed here, as in the tap dialog: the finer timer
    // and a higher priority keep the clock reading close to the key.
    if (!IsMidi(state)) {
        timeBeginPeriod(g_TimeCaps.wPeriodMin);
        state.SavedPriorityClass = GetPriorityClass(GetCurrentProcess());
        SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
        state.TimingRaised = true;
    }

    const DialogCenteringScope centring;
    CenterWindow(nullptr, dialog);
}

void OnPaint(HWND dialog, const LatencyDialog& state)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    const HGDIOBJ oldFont = SelectObject(dc, state.DialogFont);
    const COLORREF oldBackground = SetBkColor(dc, state.BackgroundColour);
    const COLORREF oldText = SetTextColor(dc, state.TextColour);
    for (int item = 0; item < ItemCount; ++item) {
        RECT visible;
        if (!IntersectRect(&visible, &state.ItemRects[item], &paint.rcPaint))
            continue;
        const std::string& text = state.Texts[item];
        ExtTextOutA(dc, state.ItemRects[item].left, state.ItemRects[item].top, ETO_OPAQUE | ETO_CLIPPED, &visible,
                    text.data(), static_cast<UINT>(text.size()), nullptr);
    }
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBackground);
    SelectObject(dc, oldFont);
    EndPaint(dialog, &paint);
}

void OnClose(HWND dialog, const LatencyDialog& state)
{
    // The owner is still disabled here; without this the system would
    // activate some other program's window when the dialog goes.
    SetForegroundWindow(state.Owner);
    if (g_pWINNLSEnableIME)
        g_pWINNLSEnableIME(dialog, TRUE);
    DestroyWindow(dialog);
}

void OnDestroy(HWND dialog, LatencyDialog& state)
{
    StopRun(dialog, state);
    if (state.TimingRaised) {
        SetPriorityClass(GetCurrentProcess(), state.SavedPriorityClass);
        timeEndPeriod(g_TimeCaps.wPeriodMin);
        state.TimingRaised = false;
    }
    PostQuitMessage(0);  // ends the loop of RunLatencyDialog
}

BOOL CALLBACK FindLatencyDialogWindow(HWND window, LPARAM found)
{
    if (!IsLatencyDialogWindow(window))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

bool RunLatencyDialog(HWND owner, const LatencyInput& input)
{
    LatencyDialog state;
    state.Owner = owner;
    state.Input = &input;
    state.ClicksMs = LatencyClickTimesMs();
    for (const double ms : state.ClicksMs)
        state.ClickFrames.push_back(static_cast<int64_t>(ms) * kFramesPerMs);
    const double endMs = state.ClicksMs.back() + kGraceMs;
    state.Player = std::make_unique<RecordingPlayer>(
        std::make_unique<SilenceDecoder>(kSilenceRate, static_cast<uint64_t>(endMs) * kFramesPerMs));
    state.Player->SetClicks(state.ClickFrames);

    HWND focus = GetFocus();
    HWND dialog = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_LATENCY), owner, LatencyDialogProc,
                                     reinterpret_cast<LPARAM>(&state));
    if (!dialog)
        return false;
    state.Player->SetEndNotice(dialog, WM_LATENCYPLAYED);
    {
        const KeyDialogScope running(owner, dialog, focus);
        if (!StartRun(dialog, state)) {
            ReportNoSound(dialog);
            DestroyWindow(dialog);
        }
        RunKeyDialogLoop();
        // A quit message that was not the dialog's own ended the loop: its
        // state lives here, so the dialog goes now.
        if (IsWindow(dialog) && StateOf(dialog) == &state)
            DestroyWindow(dialog);
    }
    return state.Measured;
}

INT_PTR CALLBACK LatencyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, *reinterpret_cast<LatencyDialog*>(lParam));
        return TRUE;
    }
    LatencyDialog* state = StateOf(dialog);
    if (!state)
        return FALSE;
    switch (message) {
    case WM_KEYDOWN:
        OnKeyDown(dialog, *state, wParam, lParam);
        break;
    case WM_TAPPED:
        FollowMidiTaps(dialog, *state);
        break;
    case WM_LATENCYPLAYED:
        if (state->Running && reinterpret_cast<RecordingPlayer*>(lParam) == state->Player.get())
            OnPlayed(dialog, *state);
        break;
    case WM_TIMER:
        if (wParam == ProgressTimer)
            ShowProgress(dialog, *state);
        break;
    case WM_PAINT:
        OnPaint(dialog, *state);
        break;
    case WM_DPICHANGED:
        MoveToSuggestedRect(dialog, lParam);
        MapItemRects(dialog, *state);
        return TRUE;
    case WM_SYSCOLORCHANGE:
        state->BackgroundColour = GetSysColor(COLOR_BTNFACE);
        state->TextColour = GetSysColor(COLOR_WINDOWTEXT);
        break;
    case WM_CLOSE:
        OnClose(dialog, *state);
        break;
    case WM_DESTROY:
        OnDestroy(dialog, *state);
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(dialog, DWLP_USER, 0);
        break;
    default:
        break;
    }
    return FALSE;
}

HWND FindLatencyDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindLatencyDialogWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<std::string> GetLatencyDialogTexts(HWND dialog)
{
    const LatencyDialog* state = IsLatencyDialogWindow(dialog) ? StateOf(dialog) : nullptr;
    if (!state)
        return {};
    return std::vector<std::string>(std::begin(state->Texts), std::end(state->Texts));
}
