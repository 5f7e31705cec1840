#include "TapInputDialog.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "AppGlobals.h"
#include "Dpi.h"
#include "KeyDialog.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "Take.h"
#include "TapAnalysis.h"
#include "TempoMap.h"
#include "resource.h"

namespace {

// The texts are painted in this order. Under the count, the feedback on the
// last tap: the tempo tapped so far with a warning when the tap looks like a
// missed beat or an extra tap, and how far the tap lies from the listed
// takes at its beat.
enum Item {
    BaseNoteLabel,
    BaseNoteValue,
    MethodLabel,
    MethodValue,
    CountLabel,
    CountValue,
    TempoLabel,
    TempoValue,
    DeviationLabel,
    DeviationValue,
    TapWarning,
    Hint,      // how to tap and how to stop, at the bottom
    Position,  // the recording's playing position, while one plays
    ItemCount
};
constexpr int SettingItems = TempoLabel;  // the six that show the settings and the count

// Labels sit at even places, each followed by its value.
constexpr bool IsLabel(int item)
{
    return item < TapWarning && item % 2 == 0;
}

constexpr size_t TextSize = 64;  // 63 bytes of text and the terminator
constexpr UINT_PTR JournalTimer = 1;
// The playing position is shown this often while a recording plays.
constexpr UINT_PTR PositionTimer = 2;
constexpr UINT PositionPeriod = 100;

// Loaded by the first dialog of the process and kept: nothing is loaded
// while taps are being timed.
struct Labels {
    bool Loaded = false;
    std::string Items[5];  // base note, method, count, tempo, deviation
    std::string Missed;
    std::string Extra;
    std::string HintKeys;
    std::string HintMidi;
    std::string Position;  // "再生位置 %1"
    std::string NoteNames[MaxTimeSigBase + 1];  // the base note 1/2^n by name
};
Labels labels;

// Where the texts go, in dialog units of the template's font.
constexpr RECT DesignRects[ItemCount] = {
    {7, 7, 35, 15},  {43, 7, 173, 15},  {7, 22, 37, 30},  {43, 22, 173, 30}, {7, 37, 33, 45},  {43, 37, 93, 45},
    {7, 52, 33, 60}, {43, 52, 93, 60}, {7, 67, 33, 75},  {43, 67, 93, 75},  {100, 52, 173, 60}, {7, 80, 173, 88},
    {100, 37, 173, 45},
};

// Everything one open dialog keeps, in its DWLP_USER from WM_INITDIALOG to
// WM_NCDESTROY. It lives on the stack of RunTapInputDialog.
struct TapDialog {
    HWND Owner = nullptr;
    const TakeList* Listed = nullptr;  // read while the dialog opens
    TapTakeHandler* Handler = nullptr;

    DWORD SavedPriorityClass = NORMAL_PRIORITY_CLASS;
    HFONT DialogFont = nullptr;
    COLORREF BackgroundColour = 0;
    COLORREF TextColour = 0;

    char BaseNoteText[TextSize] = "";
    char MethodText[TextSize] = "";
    char CountText[TextSize] = "";
    char TempoText[TextSize] = "";
    char DeviationText[TextSize] = "";
    const char* WarningText = "";
    const char* HintText = "";
    char PositionText[TextSize] = "";

    // Set up from the listed takes when the dialog opens, then fed every
    // tap of the take once it is in; `MonitoredTaps` of them have been.
    std::unique_ptr<TapMonitor> Monitor;
    size_t MonitoredTaps = 0;
    bool DeviationShown = false;  // there are listed takes to deviate from

    // In pixels: mapped at the dialog's creation DPI, and scaled from there
    // when the dialog moves to a monitor of another DPI.
    RECT ItemRects[ItemCount] = {};
    RECT CreatedRects[ItemCount] = {};
    UINT CreatedDpi = DesignDpi;
    // The font the texts are painted with: the dialog's own at its creation
    // DPI, else a copy scaled to the new DPI, owned here.
    HFONT PaintFont = nullptr;
    HFONT ScaledFont = nullptr;
    LOGFONTA CreatedFont = {};
    bool CreatedFontKnown = false;
};

TapDialog* StateOf(HWND dialog)
{
    return reinterpret_cast<TapDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// A tap dialog is known by its dialog procedure: other dialogs keep other
// things in their DWLP_USER.
bool IsTapDialogWindow(HWND window)
{
    return window && GetWindowLongPtrA(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(TapInputDialogProc);
}

void ReleaseScaledFont(TapDialog& state)
{
    if (state.ScaledFont)
        DeleteObject(state.ScaledFont);
    state.ScaledFont = nullptr;
}

// The texts' rectangles and font for `dpi`.
void FollowDpi(HWND dialog, TapDialog& state, UINT dpi)
{
    const int numerator = static_cast<int>(dpi);
    const int denominator = static_cast<int>(state.CreatedDpi);
    for (int item = 0; item < ItemCount; ++item) {
        const RECT& from = state.CreatedRects[item];
        state.ItemRects[item] = {MulDiv(from.left, numerator, denominator), MulDiv(from.top, numerator, denominator),
                                 MulDiv(from.right, numerator, denominator),
                                 MulDiv(from.bottom, numerator, denominator)};
    }
    ReleaseScaledFont(state);
    state.PaintFont = state.DialogFont;
    // Scaled from the description taken at creation: where the system
    // rescales the dialog itself, it may replace the dialog's font.
    if (dpi != state.CreatedDpi && state.CreatedFontKnown) {
        LOGFONTA description = state.CreatedFont;
        description.lfHeight = MulDiv(description.lfHeight, numerator, denominator);
        description.lfWidth = MulDiv(description.lfWidth, numerator, denominator);
        state.ScaledFont = CreateFontIndirectA(&description);
        if (state.ScaledFont)
            state.PaintFont = state.ScaledFont;
    }
    InvalidateRect(dialog, nullptr, TRUE);
}

const char* ItemText(const TapDialog& state, int item)
{
    switch (item) {
    case BaseNoteLabel:
        return labels.Items[0].c_str();
    case BaseNoteValue:
        return state.BaseNoteText;
    case MethodLabel:
        return labels.Items[1].c_str();
    case MethodValue:
        return state.MethodText;
    case CountLabel:
        return labels.Items[2].c_str();
    case CountValue:
        return state.CountText;
    case TempoLabel:
        return labels.Items[3].c_str();
    case TempoValue:
        return state.TempoText;
    case DeviationLabel:
        return state.DeviationShown ? labels.Items[4].c_str() : "";
    case DeviationValue:
        return state.DeviationText;
    case TapWarning:
        return state.WarningText;
    case Position:
        return state.PositionText;
    default:
        return state.HintText;
    }
}

// Keyboard taps are timed by the dialog itself; MIDI taps carry the driver's
// time stamps and need neither the finer timer nor the higher priority. Any
// method but MIDI counts as timed here, also one that takes no taps at all.
bool TimesKeyboardTaps()
{
    return g_AppSettings.TapMethod != TapMethodMidi;
}

// The count shown is the take's own: a note-on that arrived after MIDI
// input started but before this dialog became the target of WM_TAPPED is in
// the take too, and so is a tap whose WM_TAPPED is still on its way.
void ShowTapCount(HWND dialog, TapDialog& state)
{
    std::snprintf(state.CountText, sizeof state.CountText, "%d", static_cast<int>(CurrentTake.GetCount()));
    InvalidateRect(dialog, &state.ItemRects[CountValue], TRUE);
}

// Replaces an item's text and repaints its rectangle, only when it changed.
void ShowText(HWND dialog, TapDialog& state, int item, char (&buffer)[TextSize], const char* text)
{
    if (std::strcmp(buffer, text) == 0)
        return;
    lstrcpynA(buffer, text, TextSize);
    InvalidateRect(dialog, &state.ItemRects[item], TRUE);
}

void ShowFeedback(HWND dialog, TapDialog& state, const TapMonitor::Feedback& feedback)
{
    char text[TextSize] = "";
    if (feedback.Bpm > 0.0)
        std::snprintf(text, sizeof text, "%.1f BPM", std::min(feedback.Bpm, 99999.0));
    ShowText(dialog, state, TempoValue, state.TempoText, text);

    text[0] = '\0';
    if (feedback.HasDeviation) {
        // Whole milliseconds, and no sign on a tap right on the beat.
        const long ms = std::lround(std::max(-999999.0, std::min(feedback.DeviationMs, 999999.0)));
        std::snprintf(text, sizeof text, ms == 0 ? "%ld ms" : "%+ld ms", ms);
    }
    ShowText(dialog, state, DeviationValue, state.DeviationText, text);

    const char* warning = feedback.Warn == TapMonitor::Warning::Missed  ? labels.Missed.c_str()
                          : feedback.Warn == TapMonitor::Warning::Extra ? labels.Extra.c_str()
                                                                        : "";
    if (std::strcmp(warning, state.WarningText) != 0) {
        state.WarningText = warning;
        InvalidateRect(dialog, &state.ItemRects[TapWarning], TRUE);
    }
}

// The taps that came in since the last call, through the monitor. Runs on
// this thread after the tap is in the take: the clock was read (or the
// driver's time stamp taken) before, and nothing here touches it.
void FollowTaps(HWND dialog, TapDialog& state)
{
    ShowTapCount(dialog, state);
    if (!state.Monitor || CurrentTake.GetCount() <= state.MonitoredTaps)
        return;
    const Take newTaps = CurrentTake.CopyFrom(state.MonitoredTaps);
    TapMonitor::Feedback feedback;
    for (const uint32_t tap : newTaps)
        feedback = state.Monitor->Add(tap);
    state.MonitoredTaps += newTaps.size();
    ShowFeedback(dialog, state, feedback);
}

// The check of the taps against the listed takes: their analysis is done
// here, once, before the first tap.
void StartMonitor(TapDialog& state)
{
    const TakeList none;
    const TakeList& listed = state.Listed ? *state.Listed : none;
    state.Monitor = std::make_unique<TapMonitor>(listed);
    state.MonitoredTaps = 0;
    state.DeviationShown = !listed.empty();
    state.TempoText[0] = state.DeviationText[0] = '\0';
    state.WarningText = "";
}

// "再生位置 1:02.5" (tenths of a second; "-0:01.5" in the pre-roll).
void ShowPosition(HWND dialog, TapDialog& state)
{
    double ms = 0.0;
    char text[TextSize] = "";
    if (state.Handler->PlayingPosition(ms)) {
        const long tenths = std::lround(std::max(-35999999.0, std::min(ms / 100.0, 35999999.0)));
        const long magnitude = tenths < 0 ? -tenths : tenths;
        char clock[32];
        std::snprintf(clock, sizeof clock, "%s%ld:%02ld.%ld", tenths < 0 ? "-" : "", magnitude / 600,
                      magnitude / 10 % 60, magnitude % 10);
        std::string shown = labels.Position;
        const size_t at = shown.find("%1");
        if (at != std::string::npos)
            shown.replace(at, 2, clock);
        lstrcpynA(text, shown.c_str(), sizeof text);
    }
    ShowText(dialog, state, Position, state.PositionText, text);
}

void LoadLabels()
{
    if (labels.Loaded)
        return;
    labels.Items[0] = LoadResString(IDS_LABEL_BASENOTE);
    labels.Items[1] = LoadResString(IDS_LABEL_METHOD);
    labels.Items[2] = LoadResString(IDS_LABEL_TAPS);
    labels.Items[3] = LoadResString(IDS_TAP_TEMPO);
    labels.Items[4] = LoadResString(IDS_TAP_DEVIATION);
    labels.Missed = LoadResString(IDS_TAP_MISSED);
    labels.Extra = LoadResString(IDS_TAP_EXTRA);
    labels.HintKeys = LoadResString(IDS_TAP_HINT_KEYS);
    labels.HintMidi = LoadResString(IDS_TAP_HINT_MIDI);
    labels.Position = LoadResString(IDS_TAP_POSITION);
    for (int base = 0; base <= MaxTimeSigBase; ++base)
        labels.NoteNames[base] = LoadResString(static_cast<UINT>(IDS_NOTE_NAME_FIRST + base));
    labels.Loaded = true;
}

// Mapped for each dialog: its font, and so its dialog units, depend on the
// DPI of the monitor it opens on. A label's rectangle takes its whole text,
// up to where its value starts: the text is measured in the font it is
// painted with.
void MapItemRects(HWND dialog, TapDialog& state)
{
    for (int item = 0; item < ItemCount; ++item) {
        state.CreatedRects[item] = DesignRects[item];
        MapDialogRect(dialog, &state.CreatedRects[item]);
    }
    if (HDC dc = GetDC(dialog)) {
        const HGDIOBJ oldFont = SelectObject(dc, state.DialogFont);
        for (int item = BaseNoteLabel; IsLabel(item); item += 2) {
            const std::string& label = labels.Items[item / 2];
            SIZE size{};
            GetTextExtentPoint32A(dc, label.data(), static_cast<int>(label.size()), &size);
            RECT& rect = state.CreatedRects[item];
            rect.right = std::min(std::max(rect.right, rect.left + size.cx), state.CreatedRects[item + 1].left);
            rect.bottom = std::max(rect.bottom, rect.top + size.cy);
        }
        SelectObject(dc, oldFont);
        ReleaseDC(dialog, dc);
    }
}

void OnInitDialog(HWND dialog, TapDialog& state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    state.Handler->DialogOpened(dialog);
    state.DialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    // Keys are taps, not text: the input method editor would swallow them.
    if (g_pWINNLSEnableIME)
        g_pWINNLSEnableIME(dialog, FALSE);
    SendMessageA(dialog, WM_SYSCOLORCHANGE, 0, 0);

    LoadLabels();
    MapItemRects(dialog, state);
    state.CreatedDpi = DpiOfWindow(dialog);
    state.CreatedFontKnown =
        state.DialogFont && GetObjectA(state.DialogFont, sizeof state.CreatedFont, &state.CreatedFont) != 0;
    FollowDpi(dialog, state, state.CreatedDpi);

    // The base note by its name ("4分音符", "quarter note"), as a musician
    // reads it; a value out of range (none is stored) shows as its number.
    const int base = g_AppSettings.TimeSigBase;
    if (base >= 0 && base <= MaxTimeSigBase)
        lstrcpynA(state.BaseNoteText, labels.NoteNames[base].c_str(), sizeof state.BaseNoteText);
    else
        std::snprintf(state.BaseNoteText, sizeof state.BaseNoteText, "%d", base);
    std::string method;
    if (g_AppSettings.TapMethod == TapMethodKeyboard)
        method = LoadResString(IDS_KEYBOARD);
    else if (g_AppSettings.TapMethod == TapMethodMidi)
        method = g_AppSettings.MidiInName;
    // Keys tap unless MIDI is the method, as the key handler decides.
    state.HintText = g_AppSettings.TapMethod == TapMethodMidi ? labels.HintMidi.c_str() : labels.HintKeys.c_str();
    lstrcpynA(state.MethodText, method.c_str(), sizeof state.MethodText);
    StartMonitor(state);
    FollowTaps(dialog, state);

    // The journal is written from a timer message of this dialog's own, on
    // this thread: never inside the MIDI callback, and never between a key
    // message and the reading of the clock for it.
    state.Handler->BeginJournal();
    SetTimer(dialog, JournalTimer, state.Handler->JournalPeriod(), nullptr);
    ShowPosition(dialog, state);
    if (state.PositionText[0])
        SetTimer(dialog, PositionTimer, PositionPeriod, nullptr);

    if (TimesKeyboardTaps()) {
        timeBeginPeriod(g_TimeCaps.wPeriodMin);
        state.SavedPriorityClass = GetPriorityClass(GetCurrentProcess());
        SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    }

    const DialogCenteringScope centring;
    CenterWindow(nullptr, dialog);
}

void OnKeyDown(HWND dialog, const TapDialog& state, WPARAM key, LPARAM flags)
{
    if (key == VK_ESCAPE) {
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        return;
    }
    // Bit 30 is the previous key state: set for the auto-repeat of a held key.
    const bool repeated = (static_cast<DWORD>(flags) & 0x40000000u) != 0;
    if (g_AppSettings.TapMethod != TapMethodKeyboard || repeated)
        return;
    // The clock is read now, as the key is handled, before anything else;
    // the message's own time has only the system tick's coarse resolution.
    const DWORD now = timeGetTime();
    uint32_t time = 0;
    if (state.Handler->TapTime(now, time) && CurrentTake.Append(time))
        PostMessageA(dialog, WM_TAPPED, 0, 0);
}

void OnPaint(HWND dialog, const TapDialog& state)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    const HGDIOBJ oldFont = SelectObject(dc, state.PaintFont);
    const COLORREF oldBackground = SetBkColor(dc, state.BackgroundColour);
    const COLORREF oldText = SetTextColor(dc, state.TextColour);

    for (int item = 0; item < ItemCount; ++item) {
        RECT visible;
        if (!IntersectRect(&visible, &state.ItemRects[item], &paint.rcPaint))
            continue;
        const char* text = ItemText(state, item);
        ExtTextOutA(dc, state.ItemRects[item].left, state.ItemRects[item].top, ETO_OPAQUE, &visible, text,
                    static_cast<UINT>(std::strlen(text)), nullptr);
    }

    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBackground);
    SelectObject(dc, oldFont);
    EndPaint(dialog, &paint);
}

void OnClose(HWND dialog, const TapDialog& state)
{
    // The owner is still disabled here; without this the system would
    // activate some other program's window when the dialog goes.
    SetForegroundWindow(state.Owner);
    if (g_pWINNLSEnableIME)
        g_pWINNLSEnableIME(dialog, TRUE);
    DestroyWindow(dialog);
}

void OnDestroy(HWND dialog, TapDialog& state)
{
    KillTimer(dialog, JournalTimer);
    KillTimer(dialog, PositionTimer);
    state.Monitor.reset();
    state.PaintFont = nullptr;
    ReleaseScaledFont(state);
    if (TimesKeyboardTaps()) {
        SetPriorityClass(GetCurrentProcess(), state.SavedPriorityClass);
        timeEndPeriod(g_TimeCaps.wPeriodMin);
    }
    state.Handler->HandOverTake();
    state.Handler->EndJournal();
    PostQuitMessage(0);  // ends the loop of RunTapInputDialog
}

BOOL CALLBACK FindTapDialogWindow(HWND window, LPARAM found)
{
    if (!IsTapDialogWindow(window))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

std::vector<TapDialogItem> ItemsOf(HWND dialog, int first, int end)
{
    std::vector<TapDialogItem> items;
    const TapDialog* state = IsTapDialogWindow(dialog) ? StateOf(dialog) : nullptr;
    if (!state)
        return items;
    for (int item = first; item < end; ++item)
        items.push_back({ItemText(*state, item), state->ItemRects[item]});
    return items;
}

}  // namespace

void RunTapInputDialog(HWND owner, const TakeList& listed, TapTakeHandler& handler)
{
    TapDialog state;
    state.Owner = owner;
    state.Listed = &listed;
    state.Handler = &handler;
    HWND focus = GetFocus();
    HWND dialog = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_TAPINPUT), owner, TapInputDialogProc,
                                     reinterpret_cast<LPARAM>(&state));
    if (!dialog)
        return;
    const KeyDialogScope running(owner, dialog, focus);
    RunKeyDialogLoop();
    // A quit message that was not the dialog's own ended the loop: the
    // dialog's state lives here, so the dialog goes now, handing its take
    // over as it always does.
    if (IsWindow(dialog) && StateOf(dialog) == &state)
        DestroyWindow(dialog);
}

INT_PTR CALLBACK TapInputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, *reinterpret_cast<TapDialog*>(lParam));
        return TRUE;
    }
    // Nothing to do before WM_INITDIALOG (WM_SETFONT) or after WM_NCDESTROY.
    TapDialog* state = StateOf(dialog);
    if (!state)
        return FALSE;
    switch (message) {
    case WM_KEYDOWN:
        OnKeyDown(dialog, *state, wParam, lParam);
        break;
    case WM_TAPPED:
        FollowTaps(dialog, *state);
        break;
    case WM_TIMER:
        if (wParam == JournalTimer)
            state->Handler->WriteJournal();
        else if (wParam == PositionTimer)
            ShowPosition(dialog, *state);
        break;
    case WM_PAINT:
        OnPaint(dialog, *state);
        break;
    case WM_DPICHANGED:
        MoveToSuggestedRect(dialog, lParam);
        FollowDpi(dialog, *state, DpiFromMessage(wParam));
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

HWND FindTapInputDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindTapDialogWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<TapDialogItem> GetTapDialogItems(HWND dialog)
{
    return ItemsOf(dialog, 0, SettingItems);
}

std::vector<TapDialogItem> GetTapFeedbackItems(HWND dialog)
{
    return ItemsOf(dialog, SettingItems, Hint);
}

std::vector<TapDialogItem> GetTapHintItems(HWND dialog)
{
    return ItemsOf(dialog, Hint, Hint + 1);
}

std::vector<TapDialogItem> GetTapPositionItems(HWND dialog)
{
    return ItemsOf(dialog, Position, ItemCount);
}
