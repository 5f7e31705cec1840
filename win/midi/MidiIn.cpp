#include "MidiIn.h"

#include <atomic>
#include <cstdint>

#include "Messages.h"
#include "Take.h"
#include "resource.h"

// The capabilities are asked for in the 44-byte layout on every platform.
static_assert(sizeof(MIDIINCAPSA) == 44, "MIDIINCAPSA layout");

namespace {

// Only OpenMidiIn and CloseMidiIn change it, both on the user-interface
// thread; the callback never reads it.
HMIDIIN openDevice = nullptr;
// Written on the user-interface thread when a tap dialog opens, read by the
// driver's thread for every tap.
std::atomic<HWND> tapTarget{nullptr};
// Set before midiInStart and cleared after midiInStop, so the driver's
// thread sees it whole for every message between.
std::atomic<const MidiTapMapper*> tapMapper{nullptr};

}  // namespace

bool FindMidiInDevice(const char* name, UINT& id)
{
    const UINT count = midiInGetNumDevs();
    for (UINT device = 0; device < count; ++device) {
        MIDIINCAPSA caps;
        if (midiInGetDevCapsA(device, &caps, sizeof caps) != MMSYSERR_NOERROR)
            continue;
        if (lstrcmpA(caps.szPname, name) == 0) {
            id = device;
            return true;
        }
    }
    return false;
}

bool OpenMidiIn(HWND owner, const std::string& deviceName)
{
    const WaitCursorScope waiting;
    UINT id = 0;
    if (!FindMidiInDevice(deviceName.c_str(), id)) {
        CenteredMessageBox(owner, LoadResString(IDS_NO_MIDI_DEVICE), LoadResString(IDS_CAPTION_WARNING),
                           MB_ICONEXCLAMATION);
        return false;
    }
    const MMRESULT result =
        midiInOpen(&openDevice, id, reinterpret_cast<DWORD_PTR>(MidiInProc), 0, CALLBACK_FUNCTION);
    if (result == MMSYSERR_NOERROR)
        return true;
    // Whatever a driver left in the handle on failure is no open device.
    openDevice = nullptr;
    ReportMidiInError(result, owner);
    return false;
}

void ReportMidiInError(MMRESULT code, HWND owner)
{
    char text[256];
    if (midiInGetErrorTextA(code, text, sizeof text) == MMSYSERR_NOERROR)
        CenteredMessageBox(owner, text, LoadResString(IDS_CAPTION_ERROR), MB_ICONERROR);
}

void CloseMidiIn()
{
    if (!openDevice)
        return;
    const WaitCursorScope waiting;
    midiInClose(openDevice);
    openDevice = nullptr;
}

bool IsMidiInOpen()
{
    return openDevice != nullptr;
}

HMIDIIN GetMidiInHandle()
{
    return openDevice;
}

void SetMidiInTarget(HWND window)
{
    tapTarget = window;
}

HWND MidiInTarget()
{
    return tapTarget;
}

void SetMidiTapMapper(const MidiTapMapper* mapper)
{
    tapMapper = mapper;
}

void CALLBACK MidiInProc(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR param2)
{
    // The driver's thread, with its time stamps waiting behind this call:
    // one test, one append under the take's lock, one posted message. The
    // append fails once the hand-over has emptied the slot, and then nothing
    // is posted either.
    if (message != MIM_DATA)
        return;
    const DWORD data = static_cast<DWORD>(param1);
    const bool noteOn = (data & 0xF0) == 0x90;
    const bool silent = (data & 0xFF0000) == 0;  // velocity 0 is a note-off
    if (!noteOn || silent)
        return;
    uint32_t time = static_cast<uint32_t>(param2);
    if (const MidiTapMapper* mapper = tapMapper.load()) {
        if (!mapper->Map(static_cast<DWORD>(param2), time))
            return;
    }
    if (!CurrentTake.Append(time))
        return;
    // No window yet: the tap is in the take, and the dialog counts it when
    // it opens. A null window would post to this driver thread's queue.
    if (HWND target = tapTarget)
        PostMessageA(target, WM_TAPPED, 0, 0);
}
