#include "MidiIn.h"

// No device support yet: nothing opens, so nothing is ever open to close.

bool OpenMidiIn(HWND)
{
    return false;
}

void CloseMidiIn() {}

bool IsMidiInOpen()
{
    return false;
}
