// The stand-in winmm.dll's control functions, looked up by name in the
// winmm.dll this process has loaded. Every member is null when that is the
// system's own winmm (the override WINEDLLOVERRIDES=winmm=n,b is missing).
#pragma once

#include <windows.h>

#include <type_traits>

struct FakeMidiControls {
    BOOL(WINAPI* IsStandIn)();
    void(WINAPI* SetDevices)(const char*);
    BOOL(WINAPI* Send)(DWORD, DWORD);
    void(WINAPI* SetBurst)(DWORD);
    void(WINAPI* SetBurstCounting)(BOOL);
    LONG(WINAPI* GetDeliveredCount)();
    UINT(WINAPI* GetOpenCount)();
    BOOL(WINAPI* IsStarted)();
    LONG(WINAPI* GetPeriodBalance)(UINT);
    void(WINAPI* SetTimerFails)(int);
};

inline FakeMidiControls FindFakeMidiControls()
{
    HMODULE winmm = GetModuleHandleA("winmm.dll");
    auto find = [winmm](const char* name, auto& function) {
        using Function = std::remove_reference_t<decltype(function)>;
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(winmm, name)));
    };
    FakeMidiControls c{};
    find("FakeMidi_IsStandIn", c.IsStandIn);
    find("FakeMidi_SetDevices", c.SetDevices);
    find("FakeMidi_Send", c.Send);
    find("FakeMidi_SetBurst", c.SetBurst);
    find("FakeMidi_SetBurstCounting", c.SetBurstCounting);
    find("FakeMidi_GetDeliveredCount", c.GetDeliveredCount);
    find("FakeMidi_GetOpenCount", c.GetOpenCount);
    find("FakeMidi_IsStarted", c.IsStarted);
    find("FakeMidi_GetPeriodBalance", c.GetPeriodBalance);
    find("FakeMidi_SetTimerFails", c.SetTimerFails);
    return c;
}
