// The MIDI input device: the configured device found by name, opened with a
// callback that turns note-ons into taps of the take being recorded, and
// closed again. At most one device is open; its handle belongs to the
// user-interface thread, the callback runs on the driver's thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <string>

// The id of the first device whose product name equals `name` exactly (case
// counts); devices whose capabilities cannot be read are skipped. False when
// there is none.
bool FindMidiInDevice(const char* name, UINT& id);

// Opens the device named `deviceName` (the MidiIn setting), under the wait
// cursor; the messages are owned by `owner`. A missing device is a warning,
// a failed opening the driver's error text. True when the device is open.
// The caller makes sure none is open yet.
bool OpenMidiIn(HWND owner, const std::string& deviceName);

// Shows the driver's text for a midiIn error code in an error box; shows
// nothing when the driver has no text for it.
void ReportMidiInError(MMRESULT code, HWND owner);

// Closes the open device, if any, under the wait cursor.
void CloseMidiIn();
bool IsMidiInOpen();
// The open device for midiInStart and midiInStop; null while none is open.
HMIDIIN GetMidiInHandle();

// The window the callback posts WM_TAPPED to for every tap: the tap dialog
// once it is open (null: none). Set on the user-interface thread, read on
// the driver's; it stays until it is set again.
void SetMidiInTarget(HWND window);
HWND MidiInTarget();

// Turns a note-on's time stamp (ms since midiInStart) into the time it goes
// into the take with, on the driver's thread; false drops the tap. For taps
// on a recording's timeline. It must be quick and take no lock the
// user-interface thread holds.
class MidiTapMapper {
public:
    virtual bool Map(DWORD stampMs, uint32_t& time) const = 0;

protected:
    ~MidiTapMapper() = default;
};
// Set while the device is stopped (before midiInStart, after midiInStop);
// null: the time stamps themselves.
void SetMidiTapMapper(const MidiTapMapper* mapper);

// The driver's callback: a note-on with a non-zero velocity, on any channel,
// appends its time stamp to CurrentTake (unless the slot is empty) and posts
// WM_TAPPED to the target window. Everything else is ignored.
void CALLBACK MidiInProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
