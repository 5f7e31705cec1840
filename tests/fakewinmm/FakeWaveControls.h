// The stand-in winmm.dll's wave output controls (fakewinmm.cpp), looked up
// by name like FakeMidiControls; every member is null under the system's
// own winmm.
#pragma once

#include <windows.h>

#include <type_traits>

struct FakeWaveControls {
    void(WINAPI* SetDeviceCount)(UINT);
    void(WINAPI* SetVirtualClock)(BOOL, DWORD);
    BOOL(WINAPI* Advance)(DWORD);
    DWORD(WINAPI* GetWritten)(BYTE*, DWORD, DWORD);
    DWORD(WINAPI* GetQueuedBytes)();
    UINT(WINAPI* GetOpenCount)();
    UINT(WINAPI* GetPreparedCount)();
    UINT(WINAPI* GetDoneCount)();

    bool Complete() const
    {
        return SetDeviceCount && SetVirtualClock && Advance && GetWritten && GetQueuedBytes && GetOpenCount &&
               GetPreparedCount && GetDoneCount;
    }
};

inline FakeWaveControls FindFakeWaveControls()
{
    HMODULE winmm = GetModuleHandleA("winmm.dll");
    auto find = [winmm](const char* name, auto& function) {
        using Function = std::remove_reference_t<decltype(function)>;
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(winmm, name)));
    };
    FakeWaveControls c{};
    find("FakeWave_SetDeviceCount", c.SetDeviceCount);
    find("FakeWave_SetVirtualClock", c.SetVirtualClock);
    find("FakeWave_Advance", c.Advance);
    find("FakeWave_GetWritten", c.GetWritten);
    find("FakeWave_GetQueuedBytes", c.GetQueuedBytes);
    find("FakeWave_GetOpenCount", c.GetOpenCount);
    find("FakeWave_GetPreparedCount", c.GetPreparedCount);
    find("FakeWave_GetDoneCount", c.GetDoneCount);
    return c;
}
