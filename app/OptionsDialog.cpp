#include "OptionsDialog.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <string>

#include "AppGlobals.h"
#include "CakewalkTool.h"
#include "Messages.h"
#include "MidiIn.h"
#include "SettingsWin32.h"
#include "MainWindow.h"
#include "ControlIds.h"
#include "resource.h"

namespace {

// The base note when the dialog opened: changing it away from this empties
// the list of takes, whose beats were tapped in the old base note.
int g_baseNoteAtOpening = 2;

constexpr int kBaseNoteCount = 6;  // 1/1 .. 1/32

HWND TakeList()
{
    return g_hMainWnd ? GetDlgItem(g_hMainWnd, IDC_TAKELIST) : nullptr;
}

void FillBaseNotes(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_OPT_BASENOTE);
    for (int i = 0; i < kBaseNoteCount; ++i) {
        const std::string text = std::to_string(1 << i);
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(g_AppSettings.TimeSigBase), 0);
}

// Every device whose capabilities can be read, in device-id order; the
// stored name is found again ignoring letter case.
void FillMidiDevices(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_OPT_MIDIDEVICE);
    const UINT count = midiInGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        MIDIINCAPSA caps = {};
        if (midiInGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR)
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caps.szPname));
    }
    const LRESULT found = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(g_AppSettings.MidiInName.c_str()));
    SendMessageA(combo, CB_SETCURSEL, found == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(found), 0);
}

// なし, 自動, then the fixed strengths 1 to 10; each entry's item data is
// the setting's value.
void FillSmoothing(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_OPT_SMOOTHING);
    const auto add = [combo](const std::string& text, int value) {
        const LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(value));
        if (value == g_AppSettings.Smoothing)
            SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    };
    add(LoadResString(IDS_SMOOTHING_NONE), 0);
    add(LoadResString(IDS_SMOOTHING_AUTO), kSmoothingAuto);
    for (int strength = 1; strength <= kMaxSmoothing; ++strength)
        add(std::to_string(strength), strength);
}

// The pre-roll in whole seconds, 0 to MaxPreRollSeconds.
void FillPreRoll(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_OPT_PREROLL);
    for (int seconds = 0; seconds <= MaxPreRollSeconds; ++seconds) {
        const std::string text = LoadResString(IDS_SECONDS, std::to_string(seconds));
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(g_AppSettings.PreRollSeconds), 0);
}

void OnInitDialog(HWND dialog)
{
    g_baseNoteAtOpening = g_AppSettings.TimeSigBase;
    FillBaseNotes(dialog);
    CheckDlgButton(dialog, g_AppSettings.TapMethod == TapMethodMidi ? IDC_OPT_MIDI : IDC_OPT_KEYBOARD, BST_CHECKED);
    FillMidiDevices(dialog);
    CheckDlgButton(dialog, IDC_OPT_CAKEWALK, IsCakewalkToolRegistered() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_OPT_RESTORE, g_AppSettings.RestoreTakes ? BST_CHECKED : BST_UNCHECKED);
    FillSmoothing(dialog);
    CheckDlgButton(dialog, IDC_OPT_REPAIR, g_AppSettings.RepairOnExport ? BST_CHECKED : BST_UNCHECKED);
    FillPreRoll(dialog);
    CheckDlgButton(dialog, IDC_OPT_ALIGN, g_AppSettings.AlignToRecording ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_OPT_SNAP, g_AppSettings.SnapToOnsets ? BST_CHECKED : BST_UNCHECKED);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_KEYBOARD, 0), 0);
}

// Takes the selected device name into the settings: false when there is no
// selection or the name does not fit the 32-byte field.
bool TakeSelectedDevice(HWND dialog)
{
    HWND combo = GetDlgItem(dialog, IDC_OPT_MIDIDEVICE);
    const LRESULT selection = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (selection == CB_ERR)
        return false;
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(selection), 0);
    if (length == CB_ERR || length >= 32)
        return false;
    char name[32] = {};
    if (SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(selection), reinterpret_cast<LPARAM>(name)) == CB_ERR)
        return false;
    g_AppSettings.MidiInName = name;
    return true;
}

// OK applies the choices step by step; an error found on the way is shown
// at the end (only the last one) and keeps the dialog open, with what was
// applied before it still applied.
void OnOk(HWND dialog)
{
    UINT error = 0;

    HWND baseNotes = GetDlgItem(dialog, IDC_OPT_BASENOTE);
    const LRESULT baseNote = SendMessageA(baseNotes, CB_GETCURSEL, 0, 0);
    if (baseNote < 0 || baseNote >= kBaseNoteCount) {
        error = IDS_BAD_BASENOTE;
    } else {
        HWND list = TakeList();
        const bool hasRows = list && SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 0;
        if (hasRows && baseNote != g_baseNoteAtOpening) {
            const int answer =
                CenteredMessageBox(dialog, LoadResString(IDS_BASENOTE_CHANGE), LoadResString(IDS_CAPTION_WARNING),
                                   MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
            // Only an explicit Yes deletes the takes: No, and a box that
            // could not be shown at all (0), keep them.
            if (answer != IDYES) {
                SendMessageA(baseNotes, CB_SETCURSEL, static_cast<WPARAM>(g_baseNoteAtOpening), 0);
                return;
            }
            ClearTakesForBaseNote(static_cast<int>(baseNote));
        }
        g_AppSettings.TimeSigBase = static_cast<int>(baseNote);
    }

    CloseMidiIn();

    if (IsDlgButtonChecked(dialog, IDC_OPT_KEYBOARD) == BST_CHECKED) {
        g_AppSettings.TapMethod = TapMethodKeyboard;
    } else if (IsDlgButtonChecked(dialog, IDC_OPT_MIDI) == BST_CHECKED) {
        g_AppSettings.TapMethod = TapMethodMidi;
        if (TakeSelectedDevice(dialog))
            OpenMidiIn(dialog, g_AppSettings.MidiInName);  // reports its own failures; OK still succeeds
        else
            error = IDS_NO_MIDI_DEVICE;
    } else {
        error = IDS_BAD_TAPMETHOD;
    }

    if (error == 0) {
        g_AppSettings.RestoreTakes = IsDlgButtonChecked(dialog, IDC_OPT_RESTORE) == BST_CHECKED;
        HWND smoothing = GetDlgItem(dialog, IDC_OPT_SMOOTHING);
        const LRESULT chosen = SendMessageA(smoothing, CB_GETCURSEL, 0, 0);
        if (chosen != CB_ERR)
            g_AppSettings.Smoothing =
                static_cast<int>(SendMessageA(smoothing, CB_GETITEMDATA, static_cast<WPARAM>(chosen), 0));
        g_AppSettings.RepairOnExport = IsDlgButtonChecked(dialog, IDC_OPT_REPAIR) == BST_CHECKED;
        const LRESULT preRoll = SendDlgItemMessageA(dialog, IDC_OPT_PREROLL, CB_GETCURSEL, 0, 0);
        if (preRoll >= 0 && preRoll <= MaxPreRollSeconds)
            g_AppSettings.PreRollSeconds = static_cast<int>(preRoll);
        g_AppSettings.AlignToRecording = IsDlgButtonChecked(dialog, IDC_OPT_ALIGN) == BST_CHECKED;
        g_AppSettings.SnapToOnsets = IsDlgButtonChecked(dialog, IDC_OPT_SNAP) == BST_CHECKED;
        RegisterCakewalkTool(IsDlgButtonChecked(dialog, IDC_OPT_CAKEWALK) == BST_CHECKED);
        // The interpolation count is the selection of the owner's combo box.
        const HWND owner = GetWindow(dialog, GW_OWNER);
        SaveSettings(static_cast<int>(SendDlgItemMessageA(owner, IDC_INTERPCOUNT, CB_GETCURSEL, 0, 0)));
        EndDialog(dialog, IDOK);
        return;
    }
    CenteredMessageBox(dialog, LoadResString(error), LoadResString(IDS_CAPTION_WARNING), MB_ICONEXCLAMATION);
}

}  // namespace

void RunOptionsDialog(HWND owner)
{
    DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_OPTIONS), owner, OptionsDialogProc, 0);
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OPT_KEYBOARD:
        case IDC_OPT_MIDI:
            EnableWindow(GetDlgItem(dialog, IDC_OPT_MIDIDEVICE),
                         IsDlgButtonChecked(dialog, IDC_OPT_MIDI) == BST_CHECKED);
            break;
        case IDOK:
            OnOk(dialog);
            break;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        }
        return FALSE;
    }
    return FALSE;
}
