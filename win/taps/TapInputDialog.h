// The tap input dialog (IDD_TAPINPUT): records one take in CurrentTake, from
// key presses or, through the MIDI input device, from note-ons, and hands it
// to its owner when it closes. It is modeless but behaves like a modal
// dialog: the owner is disabled and the dialog runs its own message loop.
// Each dialog keeps its state with itself; only its label texts are loaded
// once per process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TempoMap.h"  // TakeList

// What the owner does with the take being recorded, called by the dialog on
// the user-interface thread at fixed moments of its life.
class TapTakeHandler {
public:
    // First thing in WM_INITDIALOG: the dialog exists and counts the taps
    // of CurrentTake that reach it as WM_TAPPED (where MIDI taps go).
    virtual void DialogOpened(HWND dialog) = 0;
    // Later in WM_INITDIALOG, before the first key is timed: the take's
    // journal begins.
    virtual void BeginJournal() = 0;
    // Every JournalPeriod milliseconds while the dialog is open.
    virtual void WriteJournal() = 0;
    // In WM_DESTROY, after the timer period and priority are restored and
    // while MIDI input still runs: the take in CurrentTake is handed over
    // (to the list), and then its journal ends.
    virtual void HandOverTake() = 0;
    virtual void EndJournal() = 0;
    // How often WriteJournal is called, in milliseconds.
    virtual UINT JournalPeriod() const = 0;

    // Tapping along a recording. A key's time, read as the key message is
    // handled, becomes the time it goes into the take with: the key's own
    // (the default), or its time on the recording. False drops the tap (no
    // music there yet: the pre-roll). Called on this thread right after the
    // clock was read; it must not wait on anything.
    virtual bool TapTime(DWORD keyMs, uint32_t& time)
    {
        time = keyMs;
        return true;
    }
    // The recording time being heard now, in ms (negative in the pre-roll);
    // false when no recording plays. Painted as the dialog's position.
    virtual bool PlayingPosition(double& ms)
    {
        (void)ms;
        return false;
    }

protected:
    ~TapTakeHandler() = default;
};

// Shows the dialog owned by `owner` and returns when it has been closed; by
// then the take has gone to `handler`. `listed` are the takes the taps are
// compared with as they come in (the tempo map's takes); they are read while
// the dialog opens. Returns at once, with no message, when the dialog cannot
// be created.
void RunTapInputDialog(HWND owner, const TakeList& listed, TapTakeHandler& handler);

// TRUE for WM_INITDIALOG, FALSE for every other message.
INT_PTR CALLBACK TapInputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The tap dialog open on this thread, or null.
HWND FindTapInputDialog();

// One of the texts the dialog paints, with the rectangle it is drawn at.
struct TapDialogItem {
    std::string text;
    RECT rect;
};

// The six texts of the open `dialog` in painting order (base-note label and
// value, method label and value, count label and value) as it shows them
// now, with their rectangles in pixels. Empty for any other window.
std::vector<TapDialogItem> GetTapDialogItems(HWND dialog);

// The feedback under the count, in painting order: tempo label and value,
// deviation label and value, and the warning about the last tap. The tempo
// reads "120.0 BPM" from the second tap on; the deviation, "+12 ms" (late)
// or "-8 ms" (early), is there only while the tap's beat lies within the
// listed takes, its label only when there are listed takes; the warning is
// the missed-beat or the extra-tap text, or empty.
std::vector<TapDialogItem> GetTapFeedbackItems(HWND dialog);
// The line under them: how to tap with the method in use and how to stop.
std::vector<TapDialogItem> GetTapHintItems(HWND dialog);
// The playing position beside the count ("再生位置 0:12.3", negative in the
// pre-roll): one item, empty text while no recording plays.
std::vector<TapDialogItem> GetTapPositionItems(HWND dialog);
