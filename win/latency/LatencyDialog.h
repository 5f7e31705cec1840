// The tap latency dialog (IDD_LATENCY): plays a click track of
// kLatencyClickCount clicks at 100 BPM while the musician taps along, on
// the keyboard or on a MIDI input device, pairs the taps with the clicks
// (core/takes/TapLatency.h) and keeps the median lag for that input in the
// settings file (LatencySettingsWin32.h). Too few taps near the clicks and
// it offers to play them again. Like the tap dialog it is modeless but
// behaves as a modal one: the owner is disabled and the dialog runs its own
// message loop; Escape cancels it without keeping anything.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the owner does when the taps come from a MIDI input device, which
// the owner opened and owns (win/midi): called by the dialog on the
// user-interface thread.
class LatencyMidiHooks {
public:
    // First thing in WM_INITDIALOG: note-ons are to reach `dialog` as
    // WM_TAPPED (SetMidiInTarget).
    virtual void DialogOpened(HWND dialog) = 0;
    // At the start of every run, once the dialog has started CurrentTake
    // and read the clock: input starts (midiInStart), and its note-ons go
    // into CurrentTake stamped in ms from now.
    virtual void StartInput() = 0;
    // At the end of every run, and as the dialog goes while a run is on:
    // input stops (midiInStop); no note-on arrives after it returns.
    virtual void StopInput() = 0;

protected:
    ~LatencyMidiHooks() = default;
};

// The input in use: its name is the key its latency is kept under.
struct LatencyInput {
    // KeyboardLatencyInput ("Keyboard") for the computer keyboard, else the
    // MIDI input device's name.
    std::string Name;
    // Null for the keyboard: every key but Escape is a tap. Otherwise the
    // owner's hooks, and keys only cancel.
    LatencyMidiHooks* Midi = nullptr;
};

// Shows the dialog owned by `owner` and returns when it has closed: true
// when a latency was measured, shown and kept for `input` (saved to the
// settings file, or kept for this run where the file cannot be written);
// false when cancelled, when the user declined to try again, when the
// clicks could not be played (which is reported) and when the dialog could
// not be created.
bool RunLatencyDialog(HWND owner, const LatencyInput& input);

// TRUE for WM_INITDIALOG, FALSE for every other message.
INT_PTR CALLBACK LatencyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The latency dialog open on this thread, or null.
HWND FindLatencyDialog();

// The texts the open `dialog` paints, in order: the instruction, the
// clicks heard so far ("クリック 5 / 24"), the taps so far, and how to tap and
// cancel. Empty for any other window.
std::vector<std::string> GetLatencyDialogTexts(HWND dialog);
