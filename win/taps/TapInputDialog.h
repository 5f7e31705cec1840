// The tap input dialog (template 105): records one take in CurrentTake, from
// key presses or, through the MIDI input device, from note-ons, and hands it
// to the main window's list when it closes. It is modeless but behaves like a
// modal dialog: the owner is disabled and the dialog runs its own message
// loop. Only one exists at a time, so its state is process-wide.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TakeBook;

// Shows the dialog owned by `owner` and returns when it has been closed; by
// then the take has gone to `book` (AddTakeToList) and, when it was listed,
// WM_TAKESCHANGED has been sent to the owner. The dialog's feedback checks
// the taps against the book's checked takes. Returns at once, with no
// message, when the dialog cannot be created.
void RunTapInputDialog(HWND owner, TakeBook* book);

// TRUE for WM_INITDIALOG, FALSE for every other message.
INT_PTR CALLBACK TapInputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The tap dialog opened last (it may have closed since): where the MIDI
// callback posts WM_TAPPED. Safe to read on any thread.
HWND TapNotificationTarget();

// One of the six texts the dialog paints, with the rectangle it is drawn at.
struct TapDialogItem {
    std::string text;
    RECT rect;
};

// The six texts in painting order (base-note label and value, method label
// and value, count label and value) as the dialog shows them now. The labels
// are empty and the rectangles in dialog units until the first dialog of the
// process has opened; from then on the rectangles are in pixels.
std::vector<TapDialogItem> GetTapDialogItems();

// The feedback under the count, in painting order: tempo label and value,
// deviation label and value, and the warning about the last tap. The tempo
// reads "120.0 BPM" from the second tap on; the deviation, "+12 ms" (late)
// or "-8 ms" (early), is there only while the tap's beat lies within the
// listed takes, its label only when there are listed takes; the warning is
// the missed-beat or the extra-tap text, or empty.
std::vector<TapDialogItem> GetTapFeedbackItems();
