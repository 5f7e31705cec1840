// Stand-in winmm.dll for tests: the multimedia timer and MIDI input devices
// that exist only in configuration, so that MIDI input can be exercised where
// there is no MIDI hardware, and a wave output device that plays on a
// virtual clock, so that playback positions can be checked exactly. Never
// shipped.
//
// Under Wine it replaces the system's winmm when it lies beside the program
// and WINEDLLOVERRIDES contains "winmm=n,b". Configuration is read when it
// is needed, never in DllMain: the device list at the first call that needs
// it, FAKEWAVE_CLOCK at the first call of timeGetTime, midiInStart or a
// wave function, script and feed at every midiInStart, the others at every
// use.
//
// Environment (for runs of the real program):
//   FAKEMIDI_DEVICES  The MIDI input devices in device id order, separated by
//                     ';'. Each entry is a product name, optionally followed
//                     by "!CODE" (midiInOpen fails with CODE) and/or "?CODE"
//                     (midiInGetDevCapsA/W fail with CODE), CODE in decimal,
//                     0 meaning no failure. Names are converted to the ANSI
//                     code page and cut to 31 bytes. Unset or empty: none.
//                     "Keys A;Keys A;keys b;Broken!4;NoCaps?2" is five
//                     devices; opening id 3 fails with MMSYSERR_ALLOCATED and
//                     the capabilities of id 4 with MMSYSERR_BADDEVICEID.
//                     "?0" is one device whose name is empty. A device is
//                     open at most once (then MMSYSERR_ALLOCATED); only
//                     CALLBACK_FUNCTION is supported (else
//                     MMSYSERR_NOTSUPPORTED).
//   FAKEMIDI_SCRIPT   File read at every midiInStart and played from it on
//                     the device's thread. Each line is one MIM_DATA with
//                     dwParam1 = STATUS | D1 << 8 | D2 << 16, the bytes in
//                     hex; blank lines and lines starting with '#' are
//                     skipped. Two forms, which may be mixed:
//                     "DELAY STATUS [D1 [D2]]": DELAY in decimal ms after the
//                       previous line of this form (the first: after
//                       midiInStart); dwParam2 = the line's scheduled time,
//                       the sum of these delays so far. While the virtual
//                       clock is on (at midiInStart) the delays are on it.
//                     "@MS STATUS [D1 [D2]]": delivered when the played
//                       position of the open wave device (the one opened
//                       last; samples played since its waveOutOpen or last
//                       waveOutReset, in ms at its rate) reaches MS, decimal,
//                       with dwParam2 = virtual ms since midiInStart then, as
//                       a driver stamps it. Only the virtual clock moves a
//                       position: with the real clock, or with no wave device
//                       open, these lines wait. A line whose MS has passed
//                       at midiInStart is due at the clock's next move; one
//                       delivered is not delivered again after a reset.
//                     Lines on the virtual clock are delivered by the clock's
//                     advance itself, which stops at each line's moment until
//                     its callback has returned: inside it, timeGetTime and
//                     the position read exactly the line's moment (an "@"
//                     line's position in ms is MS). Lines due at the same
//                     moment come in script order.
//   FAKEMIDI_FEED     File tailed every millisecond while started. Each line
//                     "STATUS [D1 [D2]]" (hex) appended after midiInStart is
//                     one MIM_DATA at once, dwParam2 = ms since midiInStart
//                     (virtual ms while the virtual clock is on at
//                     midiInStart). A line counts once its '\n' has arrived.
//   FAKEMIDI_LOG      File to which one line is appended per event:
//                     "open ID", "openfailed ID CODE", "start", "stop",
//                     "reset", "close", "beginperiod N", "endperiod N".
//   FAKEMIDI_NO_TIMER "1": timeGetDevCaps fails with TIMERR_NOCANDO.
//   FAKEWAVE_CLOCK    "run": the virtual clock (see Wave output) is on from
//                     the first call that can see a clock, starting at the
//                     real timeGetTime of that moment, and a thread of this
//                     DLL moves it about a millisecond at a time up to the
//                     real time elapsed since, taken from the real clock at
//                     every move, so that it never drifts (it lags by the
//                     thread's scheduling delay and while a script line's
//                     callback runs, and never runs ahead; it catches up
//                     at once). A real program then runs as usual, but
//                     timeGetTime, every wave position and the script's and
//                     feed's times are one clock. With no wave device open
//                     the clock runs all the same and nothing plays; a device
//                     that runs dry stops its position, not the clock. The
//                     controls below still work: FakeWave_SetVirtualClock
//                     restarts the clock at startMs and the thread follows
//                     real time from there (FALSE: the real clock, the
//                     thread idles); FakeWave_Advance moves it ahead, and the
//                     thread waits until real time has caught up. Unset or
//                     any other value: the clock moves only by
//                     FakeWave_Advance.
//   FAKEWAVE_LOG      File to which one line is appended per wave event:
//                     "open RATE CHANNELS BITS" per waveOutOpen that opens a
//                     device (not a WAVE_FORMAT_QUERY), "reset" per
//                     waveOutReset, "close" per waveOutClose.
// File names are Windows paths or, under Wine, absolute Unix paths.
// midiInGetErrorTextA/W and waveOutGetErrorTextA know the codes MMSYSERR_NOERROR to
// MMSYSERR_HANDLEBUSY (0 to 12) and give MMSYSERR_BADERRNUM for any other.
//
// Control functions for in-process tests (all WINAPI, found with
// GetProcAddress on GetModuleHandleA("winmm.dll")):
//   BOOL FakeMidi_IsStandIn()                  TRUE.
//   void FakeMidi_SetDevices(const char* list) Replaces the device list (same
//        syntax, ANSI code page); NULL reads FAKEMIDI_DEVICES again.
//   BOOL FakeMidi_Send(DWORD param1, DWORD ms) One MIM_DATA (dwParam2 = ms)
//        to the first started device, called on a new thread of this DLL;
//        returns once the callback has returned. FALSE (nothing sent) when
//        no device is started.
//   void FakeMidi_SetBurst(DWORD param1)       Non-zero: a started device's
//        thread delivers param1 back to back (dwParam2 = ms since start,
//        on the clock in force then, as for the feed)
//        until midiInStop or FakeMidi_SetBurst(0).
//   void FakeMidi_SetBurstCounting(BOOL on)    TRUE: a burst's dwParam2 counts
//        the burst's messages since midiInStart instead (1, 2, 3, ...), so
//        that every delivered message can be told apart by its stamp.
//   LONG FakeMidi_GetDeliveredCount()          MIM_DATA callbacks so far.
//   UINT FakeMidi_GetOpenCount()               Handles open now.
//   BOOL FakeMidi_IsStarted()                  Whether a device is started.
//   LONG FakeMidi_GetPeriodBalance(UINT n)     timeBeginPeriod(n) calls minus
//        timeEndPeriod(n) calls.
//   void FakeMidi_SetTimerFails(int fails)     1: timeGetDevCaps fails, 0: it
//        works, -1: FAKEMIDI_NO_TIMER decides again.
//
// Every callback (MIM_OPEN, MIM_DATA, MIM_CLOSE) runs on a thread of this
// DLL, one at a time, never on the caller's thread; all of a started
// device's script, feed and burst messages on its own thread. midiInStop,
// midiInReset and midiInClose join the device's thread: no callback after
// they return.
//
// Wave output: FakeWave_SetDeviceCount devices (1 unless set), any of which
// opens once at a time for 8- or 16-bit PCM, with CALLBACK_NULL,
// CALLBACK_EVENT or CALLBACK_FUNCTION (a function is called on a thread of
// this DLL, as a driver's is, and waited for). Nothing plays by itself: a
// test moves the virtual clock (or FAKEWAVE_CLOCK=run lets it run), and the
// open device plays as many of its queued samples as the clock moved (fewer
// when it runs dry: its position stops, the clock does not). A buffer played
// to its end gets WHDR_DONE and its WOM_DONE, in the order written.
// waveOutReset returns every buffer and sets the position back to 0, as a
// driver does.
//   void FakeWave_SetDeviceCount(UINT count)
//   void FakeWave_SetVirtualClock(BOOL on, DWORD startMs)  TRUE: timeGetTime
//        returns startMs plus the virtual clock's time, which starts at 0,
//        in whole milliseconds at the rate of the device opened last.
//        FALSE: the real clock again.
//   BOOL FakeWave_Advance(DWORD samples)  Moves the virtual clock, and
//        returns once every script line that fell due meanwhile has been
//        delivered (see FAKEMIDI_SCRIPT); Advance(0) delivers those due
//        now. FALSE when the clock is off.
//   DWORD FakeWave_GetWritten(BYTE* to, DWORD offset, DWORD size)  The
//        bytes written since the last waveOutOpen, in the order written,
//        from `offset`, up to `size` into `to` (may be null); returns the
//        total written.
//   DWORD FakeWave_GetQueuedBytes()  Bytes written and not yet played.
//   UINT FakeWave_GetOpenCount()      Wave handles open now.
//   UINT FakeWave_GetPreparedCount()  Headers prepared and not unprepared.
//   UINT FakeWave_GetDoneCount()      Prepared headers marked done: returned
//        by the device and not yet written again or unprepared.

// Without dllimport on the declarations, so that they can be defined here.
#define _WINMM_
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

static_assert(sizeof(MIDIINCAPSA) == 44, "MIDIINCAPSA layout");

namespace {

using MidiCallback = void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr WORD kUnmapped = 0xFFFF;  // MM_UNMAPPED, MM_PID_UNMAPPED: no registered ids

struct Device {
    std::string name;
    MMRESULT openFails = MMSYSERR_NOERROR;
    MMRESULT capsFails = MMSYSERR_NOERROR;
};

// A script line: `at` is ms since midiInStart, or with onPosition the
// played position of the wave device in ms.
struct ScriptEvent {
    DWORD at, param1;
    bool onPosition;
};

// One opened handle. Never freed, so that a late FakeMidi_Send cannot touch
// freed memory; a test opens a handful.
struct Port {
    UINT id = 0;
    MidiCallback callback = nullptr;
    DWORD_PTR instance = 0;
    bool open = false;
    std::atomic<bool> started{false}, stopping{false};
    HANDLE thread = nullptr, wake = nullptr;
    LARGE_INTEGER start{};
    bool virtualTime = false;  // the virtual clock was on at midiInStart
    uint64_t clockStart = 0;   // ClockMs() at midiInStart
    std::atomic<DWORD> generation{0};  // midiInStart calls so far
    // A line of the virtual clock handed to the device's thread: handoff is
    // held while one is, and while the thread starts or stops.
    SRWLOCK handoff = SRWLOCK_INIT;
    HANDLE cueDone = nullptr;
    std::atomic<bool> cuePending{false};
    DWORD cueParam1 = 0, cueStamp = 0, cueGeneration = 0;
    std::vector<ScriptEvent> script;   // timed by the real clock
    std::wstring feedPath;
    LONGLONG feedOffset = 0;
    std::string feedPending;
    DWORD burstCount = 0;  // burst messages since midiInStart
};

SRWLOCK g_lock = SRWLOCK_INIT;     // devices, ports, periods
SRWLOCK g_deliver = SRWLOCK_INIT;  // one callback at a time
SRWLOCK g_logLock = SRWLOCK_INIT;
bool g_devicesRead = false;
std::vector<Device> g_devices;
std::vector<std::unique_ptr<Port>> g_ports;
std::map<UINT, LONG> g_periods;
std::atomic<int> g_timerFails{-1};
std::atomic<DWORD> g_burst{0};
std::atomic<bool> g_burstCounting{false};
std::atomic<LONG> g_delivered{0};

class Lock {
public:
    explicit Lock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Lock() { ReleaseSRWLockExclusive(&lock_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    SRWLOCK& lock_;
};

// Wine's GetEnvironmentVariableA cuts values with double-byte characters.
std::wstring Env(const wchar_t* name)
{
    std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (!value.empty())
        value.resize(GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size())));
    return value;
}

std::string Narrow(const std::wstring& text, UINT codePage)
{
    int size = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(codePage, 0, text.c_str(), -1, &result[0], size, nullptr, nullptr);
    result.resize(std::strlen(result.c_str()));
    return result;
}

// A path from the environment; an absolute Unix path is converted when Wine
// offers the conversion.
std::wstring EnvPath(const wchar_t* name)
{
    std::wstring path = Env(name);
    using ToDos = WCHAR*(CDECL*)(LPCSTR);
    auto toDos = reinterpret_cast<ToDos>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_dos_file_name")));
    if (path.empty() || path[0] != L'/' || !toDos)
        return path;
    if (WCHAR* dos = toDos(Narrow(path, CP_UTF8).c_str())) {
        path = dos;
        HeapFree(GetProcessHeap(), 0, dos);
    }
    return path;
}

// The bytes of a file from `offset` on; empty when it cannot be read.
std::string ReadFrom(const std::wstring& path, LONGLONG offset)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    char buffer[4096];
    DWORD got = 0;
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

// Removes the complete lines from `pending` and returns them.
std::vector<std::string> TakeLines(std::string& pending)
{
    std::vector<std::string> lines;
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
        lines.push_back(pending.substr(0, end));
    return lines;
}

void LogTo(const wchar_t* variable, const char* format, unsigned a = 0, unsigned b = 0, unsigned c = 0)
{
    std::wstring path = EnvPath(variable);
    if (path.empty())
        return;
    char line[64];
    int length = std::snprintf(line, sizeof line, format, a, b, c);
    Lock lock(g_logLock);
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

void Log(const char* format, unsigned a = 0, unsigned b = 0) { LogTo(L"FAKEMIDI_LOG", format, a, b); }

// Up to three hex bytes, packed like a short MIDI message; false for none.
bool ParseBytes(const char* text, DWORD& param1)
{
    param1 = 0;
    int count = 0;
    for (char* end = nullptr; count < 3; ++count, text = end) {
        unsigned long value = std::strtoul(text, &end, 16);
        if (end == text)
            break;
        param1 |= static_cast<DWORD>(value & 0xFF) << (8 * count);
    }
    return count > 0;
}

std::vector<ScriptEvent> ReadScript(const std::wstring& path)
{
    std::vector<ScriptEvent> script;
    std::string text = path.empty() ? std::string() : ReadFrom(path, 0) + "\n";
    DWORD at = 0;  // the relative lines' running sum; "@" lines keep out of it
    for (const std::string& line : TakeLines(text)) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const bool onPosition = line[first] == '@';
        const char* start = line.c_str() + first + (onPosition ? 1 : 0);
        char* rest = nullptr;
        unsigned long ms = std::strtoul(start, &rest, 10);
        DWORD param1 = 0;
        if (rest == start || !std::isdigit(static_cast<unsigned char>(*start)) || !ParseBytes(rest, param1))
            continue;
        if (!onPosition)
            at += static_cast<DWORD>(ms);
        script.push_back({onPosition ? static_cast<DWORD>(ms) : at, param1, onPosition});
    }
    return script;
}

// At most 31 bytes (szPname holds 32 with the zero), never half a character.
std::string CutName(const std::string& name)
{
    size_t length = 0;
    while (length < name.size()) {
        size_t width = IsDBCSLeadByte(static_cast<BYTE>(name[length])) ? 2 : 1;
        if (length + width > MAXPNAMELEN - 1)
            break;
        length += width;
    }
    return name.substr(0, length);
}

std::vector<Device> ParseDevices(std::string list)
{
    std::vector<Device> devices;
    if (list.empty())
        return devices;
    list += ';';
    for (size_t end; (end = list.find(';')) != std::string::npos; list.erase(0, end + 1)) {
        std::string entry = list.substr(0, end);
        Device device;
        // Peel "!CODE" and "?CODE" off the end. Code page 932 has no trail
        // bytes below 0x40, so '!', '?', ';' and digits are never one.
        for (size_t mark; (mark = entry.find_last_of("!?")) != std::string::npos; entry.erase(mark)) {
            if (mark + 1 == entry.size() || entry.find_first_not_of("0123456789", mark + 1) != std::string::npos)
                break;
            auto code = static_cast<MMRESULT>(std::strtoul(entry.c_str() + mark + 1, nullptr, 10));
            (entry[mark] == '!' ? device.openFails : device.capsFails) = code;
        }
        device.name = CutName(entry);
        devices.push_back(device);
    }
    return devices;
}

// Callers hold g_lock.
const std::vector<Device>& Devices()
{
    if (!g_devicesRead)
        g_devices = ParseDevices(Narrow(Env(L"FAKEMIDI_DEVICES"), CP_ACP));
    g_devicesRead = true;
    return g_devices;
}

Port* FindOpen(HMIDIIN handle)
{
    Lock lock(g_lock);
    for (auto& port : g_ports) {
        if (port.get() == reinterpret_cast<Port*>(handle) && port->open)
            return port.get();
    }
    return nullptr;
}

DWORD MsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    const LONGLONG elapsed = now.QuadPart - start.QuadPart, f = frequency.QuadPart;
    return static_cast<DWORD>(elapsed / f * 1000 + elapsed % f * 1000 / f);
}

// Calls back; MIM_DATA only while the port is started, and, when
// `generation` is not 0, only in that start.
bool Deliver(Port& port, UINT message, DWORD_PTR param1, DWORD_PTR param2, DWORD generation = 0)
{
    Lock lock(g_deliver);
    if (message == MIM_DATA && (!port.started || (generation != 0 && port.generation != generation)))
        return false;
    port.callback(reinterpret_cast<HMIDIIN>(&port), message, port.instance, param1, param2);
    g_delivered += message == MIM_DATA ? 1 : 0;
    return true;
}

struct Job {
    Port* port;
    UINT message;
    DWORD_PTR param1, param2;
    bool delivered;
};

DWORD WINAPI RunJob(void* argument)
{
    Job& job = *static_cast<Job*>(argument);
    job.delivered = Deliver(*job.port, job.message, job.param1, job.param2);
    return 0;
}

// Calls back from a new thread of this DLL, as a driver calls back from its
// own, and waits for it.
bool DeliverFromOwnThread(Port& port, UINT message, DWORD_PTR param1, DWORD_PTR param2)
{
    Job job{&port, message, param1, param2, false};
    HANDLE thread = CreateThread(nullptr, 0, RunJob, &job, 0, nullptr);
    if (!thread)
        return false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return job.delivered;
}

uint64_t ClockMs();
void RemoveCues(const Port& port);

// Milliseconds since midiInStart on the clock that was in force then.
DWORD PortMs(const Port& port)
{
    return port.virtualTime ? static_cast<DWORD>(ClockMs() - port.clockStart) : MsSince(port.start);
}

// Plays what the real clock times; lines on the virtual clock are cues that
// the clock's advance delivers itself (AdvanceClock).
DWORD WINAPI DeviceThread(void* argument)
{
    Port& port = *static_cast<Port*>(argument);
    size_t next = 0;
    while (!port.stopping) {
        if (port.cuePending) {
            Deliver(port, MIM_DATA, port.cueParam1, port.cueStamp, port.cueGeneration);
            port.cuePending = false;
            SetEvent(port.cueDone);
        }
        for (; next < port.script.size() && port.script[next].at <= MsSince(port.start) && !port.stopping; ++next)
            Deliver(port, MIM_DATA, port.script[next].param1, port.script[next].at);
        if (!port.feedPath.empty()) {
            std::string added = ReadFrom(port.feedPath, port.feedOffset);
            port.feedOffset += static_cast<LONGLONG>(added.size());
            port.feedPending += added;
            for (const std::string& line : TakeLines(port.feedPending)) {
                DWORD param1 = 0;
                if (ParseBytes(line.c_str(), param1))
                    Deliver(port, MIM_DATA, param1, PortMs(port));
            }
        }
        if (DWORD burst = g_burst)
            Deliver(port, MIM_DATA, burst, g_burstCounting ? ++port.burstCount : PortMs(port));
        else
            WaitForSingleObject(port.wake, 1);
    }
    return 0;
}

// Delivers a line of the virtual clock on the device's thread, which a
// driver delivers all its input from, and waits for the callback; false
// when the port is no longer in that start.
bool DeliverOnDeviceThread(Port& port, DWORD param1, DWORD stamp, DWORD generation)
{
    Lock handoff(port.handoff);
    if (!port.started || port.generation != generation || !port.thread)
        return false;
    port.cueParam1 = param1;
    port.cueStamp = stamp;
    port.cueGeneration = generation;
    port.cuePending = true;
    SetEvent(port.wake);
    WaitForSingleObject(port.cueDone, INFINITE);
    return true;
}

// Stops input and joins the device's thread; a FakeMidi_Send or a line of
// the virtual clock in flight has finished too when this returns.
void StopPort(Port& port)
{
    port.started = false;
    RemoveCues(port);
    {
        Lock handoff(port.handoff);
        if (port.thread) {
            port.stopping = true;
            SetEvent(port.wake);
            WaitForSingleObject(port.thread, INFINITE);
            CloseHandle(port.thread);
            port.thread = nullptr;
        }
        for (HANDLE* event : {&port.wake, &port.cueDone}) {
            if (*event)
                CloseHandle(*event);
            *event = nullptr;
        }
    }
    Lock drain(g_deliver);
}

const char* ErrorText(MMRESULT code)
{
    static const char* const texts[] = {
        "The specified command was carried out.",                                              // NOERROR
        "Undefined external error.",                                                           // ERROR
        "A device ID has been used that is out of range for your system.",                     // BADDEVICEID
        "The driver was not enabled.",                                                         // NOTENABLED
        "The specified device is already in use. Wait until it is free, and then try again.",  // ALLOCATED
        "The specified device handle is invalid.",                                             // INVALHANDLE
        "There is no driver installed on your system.",                                        // NODRIVER
        "There is not enough memory available for this task.",                                 // NOMEM
        "This function is not supported.",                                                     // NOTSUPPORTED
        "An error number was specified that is not defined in the system.",                    // BADERRNUM
        "An invalid flag was passed to a system function.",                                    // INVALFLAG
        "An invalid parameter was passed to a system function.",                               // INVALPARAM
        "The handle is being used simultaneously on another thread.",                          // HANDLEBUSY
    };
    return code < sizeof texts / sizeof texts[0] ? texts[code] : nullptr;
}

void CopyName(const std::string& name, CHAR (&to)[MAXPNAMELEN]) { std::memcpy(to, name.c_str(), name.size() + 1); }
void CopyName(const std::string& name, WCHAR (&to)[MAXPNAMELEN])
{
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, to, MAXPNAMELEN);
}

template <typename Caps>
MMRESULT GetCaps(UINT_PTR id, Caps* caps, UINT size)
{
    Caps full{};
    {
        Lock lock(g_lock);
        if (id >= Devices().size())
            return MMSYSERR_BADDEVICEID;
        if (MMRESULT fails = Devices()[id].capsFails)
            return fails;
        CopyName(Devices()[id].name, full.szPname);
    }
    if (!caps)
        return MMSYSERR_INVALPARAM;
    full.wMid = full.wPid = kUnmapped;
    full.vDriverVersion = 0x0100;
    std::memcpy(caps, &full, size < sizeof full ? size : sizeof full);
    return MMSYSERR_NOERROR;
}

template <typename Char>
MMRESULT GetErrorText(MMRESULT code, Char* text, UINT size)
{
    const char* message = ErrorText(code);
    if (!message)
        return MMSYSERR_BADERRNUM;
    if (!text || size == 0)
        return MMSYSERR_INVALPARAM;
    UINT i = 0;
    for (; i + 1 < size && message[i]; ++i)
        text[i] = static_cast<Char>(message[i]);
    text[i] = 0;
    return MMSYSERR_NOERROR;
}

MMRESULT CountPeriod(UINT period, LONG delta, const char* logLine)
{
    {
        Lock lock(g_lock);
        g_periods[period] += delta;
    }
    Log(logLine, period);
    return TIMERR_NOERROR;
}

Port* StartedPort()
{
    Lock lock(g_lock);
    for (auto& port : g_ports) {
        if (port->open && port->started)
            return port.get();
    }
    return nullptr;
}

MMRESULT Stop(HMIDIIN handle, const char* logLine)
{
    Port* port = FindOpen(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    StopPort(*port);
    Log(logLine);
    return MMSYSERR_NOERROR;
}

// ---------------------------------------------------------------------------
// Wave output on the virtual clock

using WaveCallback = void(CALLBACK*)(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

// One opened wave handle; never freed, like a Port.
struct WaveOut {
    UINT id = 0;
    DWORD callbackType = CALLBACK_NULL;
    DWORD_PTR callback = 0, instance = 0;
    WORD blockAlign = 1;
    DWORD rate = 0, bytesPerSecond = 0;
    bool open = false;
    std::deque<WAVEHDR*> queue;  // in the order written
    DWORD playedInHead = 0;      // bytes of the first queued buffer played
    uint64_t position = 0;       // frames played since open or reset
};

struct WaveNotice {
    WaveOut* wave;
    UINT message;
    WAVEHDR* header;
};

SRWLOCK g_waveLock = SRWLOCK_INIT;  // everything below
UINT g_waveDevices = 1;
std::vector<std::unique_ptr<WaveOut>> g_waveOuts;
std::vector<WAVEHDR*> g_prepared;
std::vector<BYTE> g_written;
std::atomic<bool> g_virtualClock{false};
DWORD g_clockStartMs = 0;
uint64_t g_clockFoldedMs = 0;  // whole ms of the clock at earlier rates
uint64_t g_clockSamples = 0;   // samples since then at g_clockRate
DWORD g_clockRate = 1000;
LARGE_INTEGER g_runAnchor{};  // the real time at which the running clock read 0

// A script line waiting for the virtual clock: `at` in clock ms
// (ClockMs) or, with onPosition, in ms of the playing device's position.
struct Cue {
    Port* port;
    DWORD generation;
    bool onPosition;
    uint64_t at;
    DWORD param1;
    DWORD stamp;  // dwParam2; for a position cue set when it falls due
};
std::vector<Cue> g_cues;  // in script order

// Whole ms of the virtual clock since it was set on. Callers hold g_waveLock.
uint64_t ClockMsLocked() { return g_clockFoldedMs + g_clockSamples * 1000 / g_clockRate; }

DWORD VirtualMs()
{
    Lock lock(g_waveLock);
    return static_cast<DWORD>(g_clockStartMs + ClockMsLocked());
}

// The clock keeps its time when a device of another rate opens; a part of a
// millisecond at the old rate is dropped. Callers hold g_waveLock.
void SetClockRate(DWORD rate)
{
    if (rate == 0 || rate == g_clockRate)
        return;
    g_clockFoldedMs += g_clockSamples * 1000 / g_clockRate;
    g_clockSamples = 0;
    g_clockRate = rate;
}

// The device that "@" script lines follow: the one opened last, while it
// is open. Callers hold g_waveLock.
WaveOut* PlayingWave()
{
    for (auto wave = g_waveOuts.rbegin(); wave != g_waveOuts.rend(); ++wave) {
        if ((*wave)->open)
            return wave->get();
    }
    return nullptr;
}

WaveOut* FindWave(HWAVEOUT handle)
{
    for (auto& wave : g_waveOuts) {
        if (wave.get() == reinterpret_cast<WaveOut*>(handle) && wave->open)
            return wave.get();
    }
    return nullptr;
}

bool IsPrepared(const WAVEHDR* header)
{
    return std::find(g_prepared.begin(), g_prepared.end(), header) != g_prepared.end();
}

// Marks the first queued buffer done and takes it off the queue.
void ReturnHead(WaveOut& wave, std::vector<WaveNotice>& notices)
{
    WAVEHDR* header = wave.queue.front();
    wave.queue.pop_front();
    wave.playedInHead = 0;
    header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
    notices.push_back({&wave, WOM_DONE, header});
}

struct WaveJob {
    WaveCallback callback;
    WaveNotice notice;
};

DWORD WINAPI RunWaveJob(void* argument)
{
    auto& job = *static_cast<WaveJob*>(argument);
    job.callback(reinterpret_cast<HWAVEOUT>(job.notice.wave), job.notice.message, job.notice.wave->instance,
                 reinterpret_cast<DWORD_PTR>(job.notice.header), 0);
    return 0;
}

// Outside g_waveLock: a callback may call waveOut functions that take it
// (which a real driver forbids, but a stand-in need not deadlock on).
void Notify(const std::vector<WaveNotice>& notices)
{
    if (notices.empty())
        return;
    Lock lock(g_deliver);
    for (const WaveNotice& notice : notices) {
        if (notice.wave->callbackType == CALLBACK_EVENT) {
            SetEvent(reinterpret_cast<HANDLE>(notice.wave->callback));
        } else if (notice.wave->callbackType == CALLBACK_FUNCTION) {
            WaveJob job{reinterpret_cast<WaveCallback>(notice.wave->callback), notice};
            if (HANDLE thread = CreateThread(nullptr, 0, RunWaveJob, &job, 0, nullptr)) {
                WaitForSingleObject(thread, INFINITE);
                CloseHandle(thread);
            }
        }
    }
}

// Moves the clock by `samples` at its rate; every open device plays its
// share. Callers hold g_waveLock.
void PlayClock(uint64_t samples, std::vector<WaveNotice>& notices)
{
    g_clockSamples += samples;
    for (auto& wave : g_waveOuts) {
        if (!wave->open)
            continue;
        // The clock counts at the rate of the device opened last; a device
        // at another rate plays its own share of the time.
        uint64_t left = samples * wave->rate / g_clockRate;
        while (left > 0 && !wave->queue.empty()) {
            WAVEHDR& head = *wave->queue.front();
            const DWORD bytesLeft = head.dwBufferLength - wave->playedInHead;
            const uint64_t framesLeft = (bytesLeft + wave->blockAlign - 1) / wave->blockAlign;
            const uint64_t played = left < framesLeft ? left : framesLeft;
            wave->playedInHead += static_cast<DWORD>(played * wave->blockAlign);
            wave->position += played;
            left -= played;
            if (played == framesLeft)
                ReturnHead(*wave, notices);
        }
        // Empty buffers are over as soon as they are reached.
        while (!wave->queue.empty() && wave->queue.front()->dwBufferLength == 0)
            ReturnHead(*wave, notices);
    }
}

// Callers hold g_waveLock.
bool IsDue(const Cue& cue)
{
    if (!cue.onPosition)
        return ClockMsLocked() >= cue.at;
    const WaveOut* wave = PlayingWave();
    return wave && wave->position * 1000 / wave->rate >= cue.at;
}

// The clock samples after which the next cue may fall due: 0 when one is
// due now, at most `limit`. A position cue is reached no sooner than if its
// device never ran dry. Callers hold g_waveLock.
uint64_t SamplesToNextCue(uint64_t limit)
{
    const WaveOut* wave = PlayingWave();
    for (const Cue& cue : g_cues) {
        if (IsDue(cue))
            return 0;
        uint64_t needed = limit;
        if (!cue.onPosition) {
            // The first sample count s with folded + s * 1000 / rate >= at.
            const uint64_t ms = cue.at - g_clockFoldedMs;
            needed = (ms * g_clockRate + 999) / 1000 - g_clockSamples;
        } else if (wave && !wave->queue.empty()) {
            // The device plays samples * its rate / the clock's rate frames.
            const uint64_t frames = (cue.at * wave->rate + 999) / 1000 - wave->position;
            needed = (frames * g_clockRate + wave->rate - 1) / wave->rate;
        }
        limit = std::min(limit, needed);
    }
    return limit;
}

// Takes the due cues off the list, in script order, each with its stamp.
// Callers hold g_waveLock.
std::vector<Cue> TakeDueCues()
{
    std::vector<Cue> due;
    for (auto cue = g_cues.begin(); cue != g_cues.end();) {
        if (!IsDue(*cue)) {
            ++cue;
            continue;
        }
        if (cue->onPosition)
            cue->stamp = static_cast<DWORD>(ClockMsLocked() - cue->port->clockStart);
        due.push_back(*cue);
        cue = g_cues.erase(cue);
    }
    return due;
}

// Moves the virtual clock, stopping at every moment a cue falls due to
// deliver it (and the buffers done by then) before going on: a callback sees
// the clock, the positions and its time stamp as they were at its moment.
// False when the clock is off.
bool AdvanceClock(uint64_t samples)
{
    for (bool first = true; first || samples > 0; first = false) {
        std::vector<WaveNotice> notices;
        std::vector<Cue> due;
        {
            Lock lock(g_waveLock);
            if (!g_virtualClock)
                return false;
            const uint64_t stretch = SamplesToNextCue(samples);
            PlayClock(stretch, notices);
            samples -= stretch;
            due = TakeDueCues();
        }
        Notify(notices);
        for (const Cue& cue : due)
            DeliverOnDeviceThread(*cue.port, cue.param1, cue.stamp, cue.generation);
    }
    return true;
}

void RemoveCues(const Port& port)
{
    Lock lock(g_waveLock);
    g_cues.erase(std::remove_if(g_cues.begin(), g_cues.end(), [&port](const Cue& cue) { return cue.port == &port; }),
                 g_cues.end());
}

uint64_t ClockMs()
{
    Lock lock(g_waveLock);
    return ClockMsLocked();
}

// Turns a start's script lines into cues: "@" lines always, the relative
// ones when the virtual clock is on; those left stay with the port.
void StartCues(Port& port, uint64_t clockStart)
{
    Lock lock(g_waveLock);
    port.virtualTime = g_virtualClock;
    port.clockStart = clockStart;
    const DWORD generation = ++port.generation;
    std::vector<ScriptEvent> realTime;
    for (const ScriptEvent& event : port.script) {
        if (event.onPosition)
            g_cues.push_back({&port, generation, true, event.at, event.param1, 0});
        else if (port.virtualTime)
            g_cues.push_back({&port, generation, false, port.clockStart + event.at, event.param1, event.at});
        else
            realTime.push_back(event);
    }
    port.script = realTime;
}

// The running clock (FAKEWAVE_CLOCK=run): moves the virtual clock up to the
// real time since g_runAnchor, a millisecond at a time. The target is taken
// from the real clock at every move, so the clock never drifts, and a part
// of a millisecond dropped when the rate changes is made up.
DWORD WINAPI RunClock(void*)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const uint64_t f = static_cast<uint64_t>(frequency.QuadPart);
    for (;;) {
        uint64_t behind = 0, oneMs = 1;
        {
            Lock lock(g_waveLock);
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            const uint64_t elapsed = static_cast<uint64_t>(now.QuadPart - g_runAnchor.QuadPart);
            const uint64_t rate = g_clockRate;
            const uint64_t total = elapsed / f * rate + elapsed % f * rate / f;
            const uint64_t target = total - std::min(total, g_clockFoldedMs * rate / 1000);
            behind = g_virtualClock && target > g_clockSamples ? target - g_clockSamples : 0;
            oneMs = (rate + 999) / 1000;
        }
        if (behind == 0)
            Sleep(1);
        else
            AdvanceClock(std::min(behind, oneMs));
    }
}

BOOL CALLBACK StartRunningClock(PINIT_ONCE, PVOID, PVOID*)
{
    if (Env(L"FAKEWAVE_CLOCK") != L"run")
        return TRUE;
    {
        Lock lock(g_waveLock);
        g_clockStartMs = MsSince(LARGE_INTEGER{});
        g_clockFoldedMs = 0;
        g_clockSamples = 0;
        QueryPerformanceCounter(&g_runAnchor);
        g_virtualClock = true;
    }
    // The thread runs until the process ends: the DLL must stay loaded.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&RunClock), &self);
    if (HANDLE thread = CreateThread(nullptr, 0, RunClock, nullptr, 0, nullptr))
        CloseHandle(thread);
    return TRUE;
}

// Reads FAKEWAVE_CLOCK once, at the first call that can see a clock.
void EnsureClock()
{
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&once, StartRunningClock, nullptr, nullptr);
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Timer

DWORD WINAPI timeGetTime(void)
{
    EnsureClock();
    if (g_virtualClock)
        return VirtualMs();
    return MsSince(LARGE_INTEGER{});
}

MMRESULT WINAPI timeGetDevCaps(LPTIMECAPS caps, UINT size)
{
    int fails = g_timerFails;
    if (fails < 0)
        fails = Env(L"FAKEMIDI_NO_TIMER") == L"1";
    if (fails || !caps || size < sizeof(TIMECAPS))
        return TIMERR_NOCANDO;
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return TIMERR_NOERROR;
}

MMRESULT WINAPI timeBeginPeriod(UINT period) { return CountPeriod(period, 1, "beginperiod %u\n"); }

MMRESULT WINAPI timeEndPeriod(UINT period) { return CountPeriod(period, -1, "endperiod %u\n"); }

// ---------------------------------------------------------------------------
// MIDI input

UINT WINAPI midiInGetNumDevs(void)
{
    Lock lock(g_lock);
    return static_cast<UINT>(Devices().size());
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR id, LPMIDIINCAPSA caps, UINT size) { return GetCaps(id, caps, size); }

MMRESULT WINAPI midiInGetDevCapsW(UINT_PTR id, LPMIDIINCAPSW caps, UINT size) { return GetCaps(id, caps, size); }

MMRESULT WINAPI midiInOpen(LPHMIDIIN handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    if (!handle)
        return MMSYSERR_INVALPARAM;
    *handle = nullptr;
    Port* port = nullptr;
    MMRESULT result = MMSYSERR_NOERROR;
    {
        Lock lock(g_lock);
        if (id >= Devices().size())
            result = MMSYSERR_BADDEVICEID;
        else if ((flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION || !callback)
            result = MMSYSERR_NOTSUPPORTED;
        else
            result = Devices()[id].openFails;
        for (auto& other : g_ports) {
            if (result == MMSYSERR_NOERROR && other->open && other->id == id)
                result = MMSYSERR_ALLOCATED;
        }
        if (result == MMSYSERR_NOERROR) {
            g_ports.push_back(std::make_unique<Port>());
            port = g_ports.back().get();
            port->id = id;
            port->callback = reinterpret_cast<MidiCallback>(callback);
            port->instance = instance;
            port->open = true;
        }
    }
    if (!port) {
        Log("openfailed %u %u\n", id, result);
        return result;
    }
    *handle = reinterpret_cast<HMIDIIN>(port);
    Log("open %u\n", id);
    DeliverFromOwnThread(*port, MIM_OPEN, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStart(HMIDIIN handle)
{
    Port* port = FindOpen(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (port->started)
        return MMSYSERR_NOERROR;
    EnsureClock();
    // Time stamps count from the call, as a driver's do: reading the script
    // and the feed below takes time of its own.
    LARGE_INTEGER startCounter;
    QueryPerformanceCounter(&startCounter);
    uint64_t clockStart = 0;
    {
        Lock lock(g_waveLock);
        clockStart = ClockMsLocked();
    }
    port->script = ReadScript(EnvPath(L"FAKEMIDI_SCRIPT"));
    // The feed's end is taken before "start" is logged: a line that a shell
    // test appends once it sees "start" is never skipped.
    port->feedPath = EnvPath(L"FAKEMIDI_FEED");
    port->feedPending.clear();
    WIN32_FILE_ATTRIBUTE_DATA feed{};
    port->feedOffset = 0;
    if (!port->feedPath.empty() && GetFileAttributesExW(port->feedPath.c_str(), GetFileExInfoStandard, &feed))
        port->feedOffset = static_cast<LONGLONG>(feed.nFileSizeHigh) << 32 | feed.nFileSizeLow;
    port->start = startCounter;
    port->burstCount = 0;
    port->stopping = false;
    {
        // A cue due at once waits here until the thread is there to play it.
        Lock handoff(port->handoff);
        port->started = true;
        StartCues(*port, clockStart);
        port->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        port->cueDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (port->wake && port->cueDone)
            port->thread = CreateThread(nullptr, 0, DeviceThread, port, 0, nullptr);
    }
    if (!port->thread) {
        StopPort(*port);
        return MMSYSERR_NOMEM;
    }
    Log("start\n");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStop(HMIDIIN handle) { return Stop(handle, "stop\n"); }

MMRESULT WINAPI midiInReset(HMIDIIN handle) { return Stop(handle, "reset\n"); }

MMRESULT WINAPI midiInClose(HMIDIIN handle)
{
    Port* port = FindOpen(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    StopPort(*port);
    DeliverFromOwnThread(*port, MIM_CLOSE, 0, 0);
    {
        Lock lock(g_lock);
        port->open = false;
    }
    Log("close\n");
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInGetErrorTextA(MMRESULT code, LPSTR text, UINT size) { return GetErrorText(code, text, size); }

MMRESULT WINAPI midiInGetErrorTextW(MMRESULT code, LPWSTR text, UINT size) { return GetErrorText(code, text, size); }

// The wave output's errors share the system's codes and texts.
MMRESULT WINAPI waveOutGetErrorTextA(MMRESULT code, LPSTR text, UINT size) { return GetErrorText(code, text, size); }

// ---------------------------------------------------------------------------
// Control functions for in-process tests

BOOL WINAPI FakeMidi_IsStandIn(void) { return TRUE; }

void WINAPI FakeMidi_SetDevices(const char* list)
{
    Lock lock(g_lock);
    g_devicesRead = list != nullptr;
    g_devices = ParseDevices(list ? list : "");
}

BOOL WINAPI FakeMidi_Send(DWORD param1, DWORD timestampMs)
{
    Port* port = StartedPort();
    return port && DeliverFromOwnThread(*port, MIM_DATA, param1, timestampMs);
}

void WINAPI FakeMidi_SetBurst(DWORD param1) { g_burst = param1; }

void WINAPI FakeMidi_SetBurstCounting(BOOL on) { g_burstCounting = on != FALSE; }

LONG WINAPI FakeMidi_GetDeliveredCount(void) { return g_delivered; }

UINT WINAPI FakeMidi_GetOpenCount(void)
{
    Lock lock(g_lock);
    UINT count = 0;
    for (auto& port : g_ports)
        count += port->open ? 1 : 0;
    return count;
}

BOOL WINAPI FakeMidi_IsStarted(void) { return StartedPort() != nullptr; }

LONG WINAPI FakeMidi_GetPeriodBalance(UINT period)
{
    Lock lock(g_lock);
    auto found = g_periods.find(period);
    return found == g_periods.end() ? 0 : found->second;
}

void WINAPI FakeMidi_SetTimerFails(int fails) { g_timerFails = fails < 0 ? -1 : fails != 0; }

// ---------------------------------------------------------------------------
// Wave output

UINT WINAPI waveOutGetNumDevs(void)
{
    EnsureClock();
    Lock lock(g_waveLock);
    return g_waveDevices;
}

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT handle, UINT id, LPCWAVEFORMATEX format, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags)
{
    EnsureClock();
    if (handle)
        *handle = nullptr;
    if (!format)
        return MMSYSERR_INVALPARAM;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    if (type != CALLBACK_NULL && type != CALLBACK_EVENT && type != CALLBACK_FUNCTION)
        return MMSYSERR_NOTSUPPORTED;
    if (format->wFormatTag != WAVE_FORMAT_PCM || (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) ||
        format->nChannels == 0 || format->nSamplesPerSec == 0 ||
        format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8)
        return WAVERR_BADFORMAT;
    WaveOut* wave = nullptr;
    {
        Lock lock(g_waveLock);
        if (g_waveDevices == 0)
            return MMSYSERR_NODRIVER;
        if (id != WAVE_MAPPER && id >= g_waveDevices)
            return MMSYSERR_BADDEVICEID;
        if (flags & WAVE_FORMAT_QUERY)
            return MMSYSERR_NOERROR;
        if (!handle || (type != CALLBACK_NULL && !callback))
            return MMSYSERR_INVALPARAM;
        const UINT device = id == WAVE_MAPPER ? 0 : id;
        for (auto& other : g_waveOuts) {
            if (other->open && other->id == device)
                return MMSYSERR_ALLOCATED;
        }
        g_waveOuts.push_back(std::make_unique<WaveOut>());
        wave = g_waveOuts.back().get();
        wave->id = device;
        wave->callbackType = type;
        wave->callback = callback;
        wave->instance = instance;
        wave->blockAlign = format->nBlockAlign;
        wave->rate = format->nSamplesPerSec;
        wave->bytesPerSecond = format->nSamplesPerSec * format->nBlockAlign;
        wave->open = true;
        g_written.clear();
        SetClockRate(wave->rate);
    }
    *handle = reinterpret_cast<HWAVEOUT>(wave);
    LogTo(L"FAKEWAVE_LOG", "open %u %u %u\n", format->nSamplesPerSec, format->nChannels, format->wBitsPerSample);
    Notify({{wave, WOM_OPEN, nullptr}});
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size)
{
    Lock lock(g_waveLock);
    if (!FindWave(handle))
        return MMSYSERR_INVALHANDLE;
    if (!header || size < sizeof(WAVEHDR) || !header->lpData)
        return MMSYSERR_INVALPARAM;
    header->dwFlags |= WHDR_PREPARED;
    if (!IsPrepared(header))
        g_prepared.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size)
{
    Lock lock(g_waveLock);
    if (!FindWave(handle))
        return MMSYSERR_INVALHANDLE;
    if (!header || size < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
    g_prepared.erase(std::remove(g_prepared.begin(), g_prepared.end(), header), g_prepared.end());
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size)
{
    Lock lock(g_waveLock);
    WaveOut* wave = FindWave(handle);
    if (!wave)
        return MMSYSERR_INVALHANDLE;
    if (!header || size < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & WHDR_PREPARED) || !IsPrepared(header))
        return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(WHDR_DONE)) | WHDR_INQUEUE;
    const auto* bytes = reinterpret_cast<const BYTE*>(header->lpData);
    g_written.insert(g_written.end(), bytes, bytes + header->dwBufferLength);
    wave->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutReset(HWAVEOUT handle)
{
    std::vector<WaveNotice> notices;
    {
        Lock lock(g_waveLock);
        WaveOut* wave = FindWave(handle);
        if (!wave)
            return MMSYSERR_INVALHANDLE;
        while (!wave->queue.empty())
            ReturnHead(*wave, notices);
        wave->position = 0;
    }
    LogTo(L"FAKEWAVE_LOG", "reset\n");
    Notify(notices);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI waveOutClose(HWAVEOUT handle)
{
    WaveOut* wave = nullptr;
    {
        Lock lock(g_waveLock);
        wave = FindWave(handle);
        if (!wave)
            return MMSYSERR_INVALHANDLE;
        if (!wave->queue.empty())
            return WAVERR_STILLPLAYING;
        wave->open = false;
    }
    LogTo(L"FAKEWAVE_LOG", "close\n");
    Notify({{wave, WOM_CLOSE, nullptr}});
    return MMSYSERR_NOERROR;
}

// Samples and milliseconds as asked; any other kind is answered in bytes,
// as drivers do.
MMRESULT WINAPI waveOutGetPosition(HWAVEOUT handle, LPMMTIME time, UINT size)
{
    EnsureClock();
    Lock lock(g_waveLock);
    WaveOut* wave = FindWave(handle);
    if (!wave)
        return MMSYSERR_INVALHANDLE;
    if (!time || size < sizeof(MMTIME))
        return MMSYSERR_INVALPARAM;
    if (time->wType == TIME_SAMPLES) {
        time->u.sample = static_cast<DWORD>(wave->position);
    } else if (time->wType == TIME_MS) {
        time->u.ms = static_cast<DWORD>(wave->position * 1000 / wave->rate);
    } else {
        time->wType = TIME_BYTES;
        time->u.cb = static_cast<DWORD>(wave->position * wave->blockAlign);
    }
    return MMSYSERR_NOERROR;
}

// ---------------------------------------------------------------------------
// Wave control functions for in-process tests

void WINAPI FakeWave_SetDeviceCount(UINT count)
{
    Lock lock(g_waveLock);
    g_waveDevices = count;
}

void WINAPI FakeWave_SetVirtualClock(BOOL on, DWORD startMs)
{
    EnsureClock();
    Lock lock(g_waveLock);
    g_clockStartMs = startMs;
    g_clockFoldedMs = 0;
    g_clockSamples = 0;
    QueryPerformanceCounter(&g_runAnchor);
    g_virtualClock = on != FALSE;
}

BOOL WINAPI FakeWave_Advance(DWORD samples)
{
    EnsureClock();
    return AdvanceClock(samples);
}

DWORD WINAPI FakeWave_GetWritten(BYTE* to, DWORD offset, DWORD size)
{
    Lock lock(g_waveLock);
    const DWORD total = static_cast<DWORD>(g_written.size());
    if (to && offset < total)
        std::memcpy(to, g_written.data() + offset, size < total - offset ? size : total - offset);
    return total;
}

DWORD WINAPI FakeWave_GetQueuedBytes(void)
{
    Lock lock(g_waveLock);
    DWORD queued = 0;
    for (auto& wave : g_waveOuts) {
        for (const WAVEHDR* header : wave->queue)
            queued += header->dwBufferLength;
        if (!wave->queue.empty())
            queued -= wave->playedInHead;
    }
    return queued;
}

UINT WINAPI FakeWave_GetOpenCount(void)
{
    Lock lock(g_waveLock);
    UINT count = 0;
    for (auto& wave : g_waveOuts)
        count += wave->open ? 1 : 0;
    return count;
}

UINT WINAPI FakeWave_GetPreparedCount(void)
{
    Lock lock(g_waveLock);
    return static_cast<UINT>(g_prepared.size());
}

UINT WINAPI FakeWave_GetDoneCount(void)
{
    Lock lock(g_waveLock);
    UINT count = 0;
    for (const WAVEHDR* header : g_prepared)
        count += (header->dwFlags & WHDR_DONE) ? 1 : 0;
    return count;
}

}  // extern "C"
