#include "TapInputDialog.h"

#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "AppGlobals.h"
#include "Dpi.h"
#include "Messages.h"
#include "SettingsWin32.h"
#include "Take.h"
#include "TakeBook.h"
#include "TakeSession.h"
#include "TapAnalysis.h"
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

// Written on the user-interface thread when a dialog opens, read by the MIDI
// driver's thread for every tap.
std::atomic<HWND> notificationTarget{nullptr};
DWORD savedPriorityClass = NORMAL_PRIORITY_CLASS;
HFONT dialogFont = nullptr;
COLORREF backgroundColour = 0;
COLORREF textColour = 0;

char baseNoteText[TextSize] = "";
char methodText[TextSize] = "";
char countText[TextSize] = "";
char tempoText[TextSize] = "";
char deviationText[TextSize] = "";
const char* warningText = "";

// Set up from the listed takes when the dialog opens, then fed every tap of
// the take once it is in; `monitoredTaps` of them have been.
std::unique_ptr<TapMonitor> monitor;
size_t monitoredTaps = 0;
bool deviationShown = false;  // there are listed takes to deviate from

// The labels are loaded by the first dialog of the process; nothing is
// loaded while taps are being timed.
bool labelsLoaded = false;
std::string labels[5];
std::string missedWarning;
std::string extraWarning;

// Where the texts go, in dialog units of the template's font.
constexpr RECT DesignRects[ItemCount] = {
    {7, 7, 35, 15},  {43, 7, 93, 15},  {7, 22, 37, 30},  {43, 22, 173, 30}, {7, 37, 33, 45},  {43, 37, 93, 45},
    {7, 52, 33, 60}, {43, 52, 93, 60}, {7, 67, 33, 75},  {43, 67, 93, 75},  {100, 52, 173, 60},
};
// In pixels once a dialog has opened: mapped at its creation DPI, and scaled
// from there when the dialog moves to a monitor of another DPI.
RECT itemRects[ItemCount] = {
    {7, 7, 35, 15},  {43, 7, 93, 15},  {7, 22, 37, 30},  {43, 22, 173, 30}, {7, 37, 33, 45},  {43, 37, 93, 45},
    {7, 52, 33, 60}, {43, 52, 93, 60}, {7, 67, 33, 75},  {43, 67, 93, 75},  {100, 52, 173, 60},
};
RECT createdRects[ItemCount] = {};
UINT createdDpi = DesignDpi;
// The font the texts are painted with: the dialog's own at its creation
// DPI, else a copy scaled to the new DPI, owned here.
HFONT paintFont = nullptr;
HFONT scaledFont = nullptr;
LOGFONTA createdFont = {};
bool createdFontKnown = false;

void ReleaseScaledFont()
{
    if (scaledFont)
        DeleteObject(scaledFont);
    scaledFont = nullptr;
}

// The texts' rectangles and font for `dpi`.
void FollowDpi(HWND dialog, UINT dpi)
{
    for (int item = 0; item < ItemCount; ++item) {
        const RECT& from = createdRects[item];
        const int numerator = static_cast<int>(dpi);
        const int denominator = static_cast<int>(createdDpi);
        itemRects[item] = {MulDiv(from.left, numerator, denominator), MulDiv(from.top, numerator, denominator),
                           MulDiv(from.right, numerator, denominator), MulDiv(from.bottom, numerator, denominator)};
    }
    ReleaseScaledFont();
    paintFont = dialogFont;
    // Scaled from the description taken at creation: where the system
    // rescales the dialog itself, it may replace the dialog's font.
    if (dpi != createdDpi && createdFontKnown) {
        LOGFONTA description = createdFont;
        description.lfHeight = MulDiv(description.lfHeight, static_cast<int>(dpi), static_cast<int>(createdDpi));
        description.lfWidth = MulDiv(description.lfWidth, static_cast<int>(dpi), static_cast<int>(createdDpi));
        scaledFont = CreateFontIndirectA(&description);
        if (scaledFont)
            paintFont = scaledFont;
    }
    InvalidateRect(dialog, nullptr, TRUE);
}

const char* ItemText(int item)
{
    switch (item) {
    case BaseNoteLabel:
        return labels[0].c_str();
    case BaseNoteValue:
        return baseNoteText;
    case MethodLabel:
        return labels[1].c_str();
    case MethodValue:
        return methodText;
    case CountLabel:
        return labels[2].c_str();
    case CountValue:
        return countText;
    case TempoLabel:
        return labels[3].c_str();
    case TempoValue:
        return tempoText;
    case DeviationLabel:
        return deviationShown ? labels[4].c_str() : "";
    case DeviationValue:
        return deviationText;
    default:
        return warningText;
    }
}

// Keyboard taps are timed by the dialog itself; MIDI taps carry the driver's
// time stamps and need neither the finer timer nor the higher priority.
bool TimesKeyboardTaps()
{
    return g_AppSettings.TapMethod != 1;
}

// The count shown is the take's own: a note-on that arrived after MIDI
// input started but before this dialog became the target of WM_TAPPED is in
// the take too, and so is a tap whose WM_TAPPED is still on its way.
void ShowTapCount(HWND dialog)
{
    std::snprintf(countText, sizeof countText, "%d", static_cast<int>(CurrentTake.GetCount()));
    InvalidateRect(dialog, &itemRects[CountValue], TRUE);
}

// Replaces an item's text and repaints its rectangle, only when it changed.
void ShowText(HWND dialog, int item, char (&buffer)[TextSize], const char* text)
{
    if (std::strcmp(buffer, text) == 0)
        return;
    lstrcpynA(buffer, text, TextSize);
    InvalidateRect(dialog, &itemRects[item], TRUE);
}

void ShowFeedback(HWND dialog, const TapMonitor::Feedback& feedback)
{
    char text[TextSize] = "";
    if (feedback.Bpm > 0.0)
        std::snprintf(text, sizeof text, "%.1f BPM", std::min(feedback.Bpm, 99999.0));
    ShowText(dialog, TempoValue, tempoText, text);

    text[0] = '\0';
    if (feedback.HasDeviation) {
        // Whole milliseconds, and no sign on a tap right on the beat.
        const long ms = std::lround(std::max(-999999.0, std::min(feedback.DeviationMs, 999999.0)));
        std::snprintf(text, sizeof text, ms == 0 ? "%ld ms" : "%+ld ms", ms);
    }
    ShowText(dialog, DeviationValue, deviationText, text);

    const char* warning = feedback.Warn == TapMonitor::Warning::Missed  ? missedWarning.c_str()
                          : feedback.Warn == TapMonitor::Warning::Extra ? extraWarning.c_str()
                                                                        : "";
    if (std::strcmp(warning, warningText) != 0) {
        warningText = warning;
        InvalidateRect(dialog, &itemRects[TapWarning], TRUE);
    }
}

// The taps that came in since the last call, through the monitor. Runs on
// this thread after the tap is in the take: the clock was read (or the
// driver's time stamp taken) before, and nothing here touches it.
void FollowTaps(HWND dialog)
{
    ShowTapCount(dialog);
    if (!monitor || CurrentTake.GetCount() <= monitoredTaps)
        return;
    const Take newTaps = CurrentTake.CopyFrom(monitoredTaps);
    TapMonitor::Feedback feedback;
    for (const uint32_t tap : newTaps)
        feedback = monitor->Add(tap);
    monitoredTaps += newTaps.size();
    ShowFeedback(dialog, feedback);
}

// The check of the taps against the listed takes that go into the tempo map
// (the checked ones): their analysis is done here, once, before the first
// tap.
// The book of listed takes the open dialog hands its take to.
TakeBook* takeBook = nullptr;

void StartMonitor()
{
    const TakeList listed = takeBook ? takeBook->CheckedTaps() : TakeList();
    monitor = std::make_unique<TapMonitor>(listed);
    monitoredTaps = 0;
    deviationShown = !listed.empty();
    tempoText[0] = deviationText[0] = '\0';
    warningText = "";
}

void OnInitDialog(HWND dialog)
{
    notificationTarget = dialog;
    dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    // Keys are taps, not text: the input method editor would swallow them.
    if (g_pWINNLSEnableIME)
        g_pWINNLSEnableIME(dialog, FALSE);
    SendMessageA(dialog, WM_SYSCOLORCHANGE, 0, 0);

    if (!labelsLoaded) {
        labels[0] = LoadResString(IDS_LABEL_BASENOTE);
        labels[1] = LoadResString(IDS_LABEL_METHOD);
        labels[2] = LoadResString(IDS_LABEL_TAPS);
        labels[3] = LoadResString(IDS_TAP_TEMPO);
        labels[4] = LoadResString(IDS_TAP_DEVIATION);
        missedWarning = LoadResString(IDS_TAP_MISSED);
        extraWarning = LoadResString(IDS_TAP_EXTRA);
        labelsLoaded = true;
    }
    // Mapped for each dialog: its font, and so its dialog units, depend on
    // the DPI of the monitor it opens on.
    for (int item = 0; item < ItemCount; ++item) {
        createdRects[item] = DesignRects[item];
        MapDialogRect(dialog, &createdRects[item]);
    }
    // A label's rectangle takes its whole text, up to where its value
    // starts: the text is measured in the font it is painted with.
    if (HDC dc = GetDC(dialog)) {
        const HGDIOBJ oldFont = SelectObject(dc, dialogFont);
        for (int item = BaseNoteLabel; IsLabel(item); item += 2) {
            const std::string& label = labels[item / 2];
            SIZE size{};
            GetTextExtentPoint32A(dc, label.data(), static_cast<int>(label.size()), &size);
            RECT& rect = createdRects[item];
            rect.right = std::min(std::max(rect.right, rect.left + size.cx), createdRects[item + 1].left);
            rect.bottom = std::max(rect.bottom, rect.top + size.cy);
        }
        SelectObject(dc, oldFont);
        ReleaseDC(dialog, dc);
    }
    createdDpi = DpiOfWindow(dialog);
    createdFontKnown = dialogFont && GetObjectA(dialogFont, sizeof createdFont, &createdFont) != 0;
    FollowDpi(dialog, createdDpi);

    std::snprintf(baseNoteText, sizeof baseNoteText, "%d", 1 << g_AppSettings.TimeSigBase);
    std::string method;
    if (g_AppSettings.TapMethod == 0)
        method = LoadResString(IDS_KEYBOARD);
    else if (g_AppSettings.TapMethod == 1)
        method = g_AppSettings.MidiInName;
    lstrcpynA(methodText, method.c_str(), sizeof methodText);
    StartMonitor();
    FollowTaps(dialog);

    // The journal is written from a timer message of this dialog's own, on
    // this thread: never inside the MIDI callback, and never between a key
    // message and the reading of the clock for it.
    BeginTakeJournal();
    SetTimer(dialog, JournalTimer, TakeJournalPeriod, nullptr);

    if (TimesKeyboardTaps()) {
        timeBeginPeriod(g_TimeCaps.wPeriodMin);
        savedPriorityClass = GetPriorityClass(GetCurrentProcess());
        SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    }

    const DialogCenteringScope centring;
    CenterWindow(nullptr, dialog);
}

void OnKeyDown(HWND dialog, WPARAM key, LPARAM flags)
{
    if (key == VK_ESCAPE) {
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        return;
    }
    // Bit 30 is the previous key state: set for the auto-repeat of a held key.
    const bool repeated = (static_cast<DWORD>(flags) & 0x40000000u) != 0;
    if (g_AppSettings.TapMethod != 0 || repeated)
        return;
    // The clock is read now, as the key is handled; the message's own time
    // has only the system tick's coarse resolution.
    if (CurrentTake.Append(timeGetTime()))
        PostMessageA(dialog, WM_TAPPED, 0, 0);
}


void OnPaint(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    const HGDIOBJ oldFont = SelectObject(dc, paintFont);
    const COLORREF oldBackground = SetBkColor(dc, backgroundColour);
    const COLORREF oldText = SetTextColor(dc, textColour);

    for (int item = 0; item < ItemCount; ++item) {
        RECT visible;
        if (!IntersectRect(&visible, &itemRects[item], &paint.rcPaint))
            continue;
        const char* text = ItemText(item);
        ExtTextOutA(dc, itemRects[item].left, itemRects[item].top, ETO_OPAQUE, &visible, text,
                    static_cast<UINT>(std::strlen(text)), nullptr);
    }

    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBackground);
    SelectObject(dc, oldFont);
    EndPaint(dialog, &paint);
}

void OnClose(HWND dialog)
{
    // The owner is still disabled here; without this the system would
    // activate some other program's window when the dialog goes.
    SetForegroundWindow(g_hMainWnd);
    if (g_pWINNLSEnableIME)
        g_pWINNLSEnableIME(dialog, TRUE);
    DestroyWindow(dialog);
}

void OnDestroy(HWND dialog)
{
    KillTimer(dialog, JournalTimer);
    monitor.reset();
    paintFont = nullptr;
    ReleaseScaledFont();
    if (TimesKeyboardTaps()) {
        SetPriorityClass(GetCurrentProcess(), savedPriorityClass);
        timeEndPeriod(g_TimeCaps.wPeriodMin);
    }
    // The owner saves the session on WM_TAKESCHANGED, before the journal
    // of the take goes.
    if (takeBook && AddTakeToList(CurrentTake, *takeBook, ListedTimeNow(), g_AppSettings.TimeSigBase))
        SendMessageA(GetWindow(dialog, GW_OWNER), WM_TAKESCHANGED, 0, 0);
    HandOverTakeForList(CurrentTake);  // without a book the take is dropped
    EndTakeJournal();
    PostQuitMessage(0);  // ends the loop of RunTapInputDialog
}

struct OwnedWindows {
    HWND Owner;
    HWND Dialog;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectOwnedWindow(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<OwnedWindows*>(context);
    if (window != search.Dialog && GetWindow(window, GW_OWNER) == search.Owner && IsWindowEnabled(window))
        search.Found.push_back(window);
    return TRUE;
}

// Disables the enabled windows of this thread that `owner` owns, except
// `dialog`; returns them, to be enabled again.
std::vector<HWND> DisableOwnedWindows(HWND owner, HWND dialog)
{
    OwnedWindows search{owner, dialog, {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectOwnedWindow, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.Found)
        EnableWindow(window, FALSE);
    return search.Found;
}

}  // namespace

void RunTapInputDialog(HWND owner, TakeBook* book)
{
    takeBook = book;
    HWND focus = GetFocus();
    HWND dialog = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_TAPINPUT), owner, TapInputDialogProc, 0);
    if (!dialog)
        return;
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    EnableWindow(owner, FALSE);
    // The owner's other windows too (the tempo graph): a click there would
    // take the keyboard, and the next taps, away from the dialog.
    const std::vector<HWND> disabled = DisableOwnedWindows(owner, dialog);

    // No IsDialogMessage and no accelerators: every key, Enter and Tab
    // included, has to reach the dialog procedure as WM_KEYDOWN.
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    for (HWND window : disabled)
        if (IsWindow(window))
            EnableWindow(window, TRUE);
    EnableWindow(owner, TRUE);
    SetFocus(focus);
}

INT_PTR CALLBACK TapInputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_KEYDOWN:
        OnKeyDown(dialog, wParam, lParam);
        break;
    case WM_TAPPED:
        FollowTaps(dialog);
        break;
    case WM_TIMER:
        if (wParam == JournalTimer)
            WriteTakeJournal();
        break;
    case WM_PAINT:
        OnPaint(dialog);
        break;
    case WM_DPICHANGED:
        MoveToSuggestedRect(dialog, lParam);
        FollowDpi(dialog, DpiFromMessage(wParam));
        return TRUE;
    case WM_SYSCOLORCHANGE:
        backgroundColour = GetSysColor(COLOR_BTNFACE);
        textColour = GetSysColor(COLOR_WINDOWTEXT);
        break;
    case WM_CLOSE:
        OnClose(dialog);
        break;
    case WM_DESTROY:
        OnDestroy(dialog);
        break;
    default:
        break;
    }
    return FALSE;
}

HWND TapNotificationTarget()
{
    return notificationTarget;
}

std::vector<TapDialogItem> GetTapDialogItems()
{
    std::vector<TapDialogItem> items;
    for (int item = 0; item < SettingItems; ++item)
        items.push_back({ItemText(item), itemRects[item]});
    return items;
}

std::vector<TapDialogItem> GetTapFeedbackItems()
{
    std::vector<TapDialogItem> items;
    for (int item = SettingItems; item < ItemCount; ++item)
        items.push_back({ItemText(item), itemRects[item]});
    return items;
}
