// The MIDI input device as the main window and the settings see it.
//
// MIDI taps arrive together with the tap dialog; until then no device is
// ever opened, so the main window's start-up, add command and close already
// call the operations they will keep calling.
#pragma once

#include <windows.h>

// Opens the configured device; messages are owned by `owner`. True when a
// device is open afterwards.
bool OpenMidiIn(HWND owner);
// Closes the open device, if any.
void CloseMidiIn();
bool IsMidiInOpen();
