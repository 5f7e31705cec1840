// The stand-in winmm.dll, reached the way the program reaches winmm: through
// the import table, with WINEDLLOVERRIDES=winmm=n,b picking the DLL beside
// this executable. Its control functions are looked up by name.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeMidiControls.h"
#include "FakeWaveControls.h"

namespace {

// ---------------------------------------------------------------------------
// Helpers

const FakeMidiControls fake = FindFakeMidiControls();
const FakeWaveControls wave = FindFakeWaveControls();

// A callback as it arrived. For MIM_DATA also what the callback saw:
// timeGetTime() and the observed wave device's position.
struct Call {
    UINT message;
    DWORD_PTR param1, param2;
    DWORD thread;
    HMIDIIN handle;
    DWORD timeMs, positionMs, positionSamples;
};

DWORD Position(HWAVEOUT device, UINT type)
{
    MMTIME time{};
    time.wType = type;
    if (!device || waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR)
        return 0xFFFFFFFF;
    return type == TIME_MS ? time.u.ms : time.u.sample;
}

// Records the callbacks it gets as instance data; can hold each MIM_DATA
// for a while and notices callbacks that overlap.
class Recorder {
public:
    static void CALLBACK Proc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2)
    {
        auto& self = *reinterpret_cast<Recorder*>(instance);
        if (++self.inside_ > 1)
            self.overlapped_ = true;
        Call call{message, p1, p2, GetCurrentThreadId(), handle, 0, 0, 0};
        if (message == MIM_DATA) {
            call.timeMs = timeGetTime();
            call.positionMs = Position(self.observe, TIME_MS);
            call.positionSamples = Position(self.observe, TIME_SAMPLES);
        }
        {
            std::lock_guard<std::mutex> lock(self.mutex_);
            self.calls_.push_back(call);
        }
        if (message == MIM_DATA && self.holdMs > 0)
            Sleep(self.holdMs);
        --self.inside_;
    }

    std::vector<Call> Calls(UINT message = 0)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Call> result;
        for (const Call& call : calls_) {
            if (message == 0 || call.message == message)
                result.push_back(call);
        }
        return result;
    }
    size_t DataCount() { return Calls(MIM_DATA).size(); }
    bool WaitForData(size_t count, DWORD timeoutMs = 3000)
    {
        const DWORD start = GetTickCount();
        while (DataCount() < count) {
            if (GetTickCount() - start > timeoutMs)
                return false;
            Sleep(1);
        }
        return true;
    }
    int Inside() const { return inside_; }
    bool Overlapped() const { return overlapped_; }

    std::atomic<DWORD> holdMs{0};
    std::atomic<HWAVEOUT> observe{nullptr};

private:
    std::mutex mutex_;
    std::vector<Call> calls_;
    std::atomic<int> inside_{0};
    std::atomic<bool> overlapped_{false};
};

MMRESULT Open(UINT id, Recorder& recorder, HMIDIIN& handle)
{
    return midiInOpen(&handle, id, reinterpret_cast<DWORD_PTR>(&Recorder::Proc),
                      reinterpret_cast<DWORD_PTR>(&recorder), CALLBACK_FUNCTION);
}

std::string Name(UINT id)
{
    MIDIINCAPSA caps{};
    if (midiInGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return "(failed)";
    return caps.szPname;
}

// A file in the temporary folder, deleted with the object.
class TempFile {
public:
    TempFile()
    {
        static int serial = 0;
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"fakewinmm-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++serial) + L".txt";
        DeleteFileW(path_.c_str());
    }
    ~TempFile() { DeleteFileW(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::wstring& Path() const { return path_; }
    void Append(const std::string& text) const
    {
        HANDLE file = CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    void Write(const std::string& text) const
    {
        DeleteFileW(path_.c_str());
        Append(text);
    }
    std::string Read() const
    {
        std::string text;
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        char buffer[1024];
        DWORD got = 0;
        while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            text.append(buffer, got);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        return text;
    }

private:
    std::wstring path_;
};

class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnv() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const wchar_t* name_;
};

// A wave output device, mono 16-bit at `rate`, without a callback, playing
// silence; it keeps its buffers until it is closed.
class WaveOutput {
public:
    explicit WaveOutput(DWORD rate) : rate_(rate)
    {
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 1;
        format.nSamplesPerSec = rate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = 2;
        format.nAvgBytesPerSec = rate * 2;
        result_ = waveOutOpen(&handle_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    }
    ~WaveOutput() { Close(); }
    WaveOutput(const WaveOutput&) = delete;
    WaveOutput& operator=(const WaveOutput&) = delete;

    MMRESULT Result() const { return result_; }
    HWAVEOUT Handle() const { return handle_; }
    // Queues `ms` milliseconds; false when the device refuses.
    bool Write(DWORD ms)
    {
        buffers_.push_back(std::make_unique<Buffer>());
        Buffer& buffer = *buffers_.back();
        buffer.samples.assign(static_cast<size_t>(uint64_t{ms} * rate_ / 1000), 0);
        buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.samples.data());
        buffer.header.dwBufferLength = static_cast<DWORD>(buffer.samples.size() * 2);
        return waveOutPrepareHeader(handle_, &buffer.header, sizeof buffer.header) == MMSYSERR_NOERROR &&
               waveOutWrite(handle_, &buffer.header, sizeof buffer.header) == MMSYSERR_NOERROR;
    }
    DWORD Ms() const { return Position(handle_, TIME_MS); }
    DWORD Samples() const { return Position(handle_, TIME_SAMPLES); }
    void Close()
    {
        if (!handle_)
            return;
        waveOutReset(handle_);
        for (auto& buffer : buffers_)
            waveOutUnprepareHeader(handle_, &buffer->header, sizeof buffer->header);
        waveOutClose(handle_);
        handle_ = nullptr;
    }

private:
    struct Buffer {
        std::vector<int16_t> samples;
        WAVEHDR header{};
    };
    DWORD rate_;
    HWAVEOUT handle_ = nullptr;
    MMRESULT result_ = MMSYSERR_ERROR;
    std::vector<std::unique_ptr<Buffer>> buffers_;
};

std::wstring EnvValue(const wchar_t* name)
{
    wchar_t value[64] = L"";
    GetEnvironmentVariableW(name, value, 64);
    return value;
}

class FakeWinmmTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(fake.IsStandIn, nullptr) << "the system's winmm.dll is loaded: run with WINEDLLOVERRIDES=winmm=n,b";
        ASSERT_TRUE(fake.SetDevices && fake.Send && fake.SetBurst && fake.GetDeliveredCount && fake.GetOpenCount &&
                    fake.IsStarted && fake.GetPeriodBalance && fake.SetTimerFails);
        for (const wchar_t* name : {L"FAKEMIDI_DEVICES", L"FAKEMIDI_SCRIPT", L"FAKEMIDI_FEED", L"FAKEMIDI_LOG",
                                    L"FAKEMIDI_NO_TIMER", L"FAKEWAVE_LOG"})
            SetEnvironmentVariableW(name, nullptr);
        fake.SetDevices("Keys A;Keys B");
    }
    void TearDown() override
    {
        if (!fake.IsStandIn)
            return;
        fake.SetBurst(0);
        fake.SetTimerFails(-1);
        EXPECT_EQ(fake.GetOpenCount(), 0u) << "a test left a device open";
    }
};

using FakeWinmmModule = FakeWinmmTest;
using FakeWinmmDevices = FakeWinmmTest;
using FakeWinmmInput = FakeWinmmTest;
using FakeWinmmTimer = FakeWinmmTest;
using FakeWinmmErrors = FakeWinmmTest;
using FakeWinmmLog = FakeWinmmTest;

// ---------------------------------------------------------------------------
// Loading

TEST_F(FakeWinmmModule, ImportsResolveToTheStandIn)
{
    HMODULE winmm = GetModuleHandleA("winmm.dll");
    EXPECT_EQ(fake.IsStandIn(), TRUE);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(winmm, "timeGetTime")), reinterpret_cast<void*>(&timeGetTime));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(winmm, "midiInOpen")), reinterpret_cast<void*>(&midiInOpen));
}

// ---------------------------------------------------------------------------
// Device list

TEST_F(FakeWinmmDevices, ListGivesNamesAndFailureCodes)
{
    fake.SetDevices("Keys A;Keys A;keys b;Broken!4;NoCaps?2");
    ASSERT_EQ(midiInGetNumDevs(), 5u);
    EXPECT_EQ(Name(0), "Keys A");
    EXPECT_EQ(Name(1), "Keys A");
    EXPECT_EQ(Name(2), "keys b");
    EXPECT_EQ(Name(3), "Broken");
    MIDIINCAPSA caps{};
    EXPECT_EQ(midiInGetDevCapsA(4, &caps, sizeof caps), static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(midiInGetDevCapsA(5, &caps, sizeof caps), static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
    MIDIINCAPSW wide{};
    ASSERT_EQ(midiInGetDevCapsW(2, &wide, sizeof wide), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(std::wstring(wide.szPname), L"keys b");

    fake.SetDevices("Hi!;Q?x;Both!4?7;;abcdefghijklmnopqrstuvwxyz0123456789");
    ASSERT_EQ(midiInGetNumDevs(), 5u);
    EXPECT_EQ(Name(0), "Hi!");
    EXPECT_EQ(Name(1), "Q?x");
    EXPECT_EQ(midiInGetDevCapsA(2, &caps, sizeof caps), 7u);
    EXPECT_EQ(midiInGetDevCapsW(2, &wide, sizeof wide), 7u);
    EXPECT_EQ(Name(3), "");
    EXPECT_EQ(Name(4), "abcdefghijklmnopqrstuvwxyz01234");

    fake.SetDevices("?0");
    ASSERT_EQ(midiInGetNumDevs(), 1u);
    EXPECT_EQ(Name(0), "");
    fake.SetDevices("");
    EXPECT_EQ(midiInGetNumDevs(), 0u);
}

TEST_F(FakeWinmmDevices, EnvironmentNamesArriveInTheAnsiCodePage)
{
    ASSERT_EQ(GetACP(), 932u) << "run with LANG=ja_JP.UTF-8";
    // "鍵盤" (4 bytes) and twenty "あ" (40 bytes): the second is cut to 30
    // bytes, since 31 would split a character.
    std::wstring keys = L"\u9375\u76E4";
    std::wstring long_name(20, L'\u3042');
    ScopedEnv devices(L"FAKEMIDI_DEVICES", keys + L";" + long_name + L"!4");
    fake.SetDevices(nullptr);
    ASSERT_EQ(midiInGetNumDevs(), 2u);
    EXPECT_EQ(Name(0), "\x8C\xAE\x94\xD5");
    std::string fifteen;
    for (int i = 0; i < 15; ++i)
        fifteen += "\x82\xA0";
    EXPECT_EQ(Name(1), fifteen);
    MIDIINCAPSW wide{};
    ASSERT_EQ(midiInGetDevCapsW(0, &wide, sizeof wide), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(std::wstring(wide.szPname), keys);
    HMIDIIN handle = nullptr;
    Recorder recorder;
    EXPECT_EQ(Open(1, recorder, handle), static_cast<MMRESULT>(MMSYSERR_ALLOCATED));
}

TEST_F(FakeWinmmDevices, OpenRefusesWhatADriverRefuses)
{
    fake.SetDevices("A;Busy!4;NoCaps?2;Odd!77");
    Recorder recorder;
    HMIDIIN handle = reinterpret_cast<HMIDIIN>(1);
    EXPECT_EQ(Open(4, recorder, handle), static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(Open(1, recorder, handle), static_cast<MMRESULT>(MMSYSERR_ALLOCATED));
    EXPECT_EQ(Open(3, recorder, handle), 77u);
    EXPECT_EQ(midiInOpen(nullptr, 0, reinterpret_cast<DWORD_PTR>(&Recorder::Proc), 0, CALLBACK_FUNCTION),
              static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
    EXPECT_NE(midiInOpen(&handle, 0, 0, 0, CALLBACK_NULL), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_TRUE(recorder.Calls().empty()) << "a failed open called back";
    EXPECT_EQ(fake.GetOpenCount(), 0u);

    // Failing capabilities do not keep a device from opening; a device
    // opens once at a time.
    HMIDIIN noCaps = nullptr, first = nullptr, second = nullptr;
    EXPECT_EQ(Open(2, recorder, noCaps), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(Open(0, recorder, first), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(Open(0, recorder, second), static_cast<MMRESULT>(MMSYSERR_ALLOCATED));
    EXPECT_EQ(fake.GetOpenCount(), 2u);
    EXPECT_EQ(midiInClose(noCaps), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(midiInClose(first), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(midiInClose(first), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(midiInStart(first), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
}

// ---------------------------------------------------------------------------
// Input

TEST_F(FakeWinmmInput, OpenAndCloseCallBackFromAnotherThread)
{
    Recorder recorder;
    HMIDIIN handle = nullptr;
    ASSERT_EQ(Open(1, recorder, handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    std::vector<Call> calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 1u) << "MIM_OPEN must have arrived when midiInOpen returns";
    EXPECT_EQ(calls[0].message, static_cast<UINT>(MIM_OPEN));
    EXPECT_EQ(calls[0].handle, handle);
    EXPECT_NE(calls[0].thread, GetCurrentThreadId());
    EXPECT_EQ(fake.GetOpenCount(), 1u);

    ASSERT_EQ(midiInClose(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].message, static_cast<UINT>(MIM_CLOSE));
    EXPECT_EQ(calls[1].handle, handle);
    EXPECT_NE(calls[1].thread, GetCurrentThreadId());
}

TEST_F(FakeWinmmInput, ScriptPlaysAtItsTimesOnTheDeviceThread)
{
    TempFile script;
    script.Write("# tap, release, drum, clock\n0 90 3C 64\n\n10 80 3C 00\r\n25 99 24 7F\n5 F8\nnot a line\n");
    ScopedEnv env(L"FAKEMIDI_SCRIPT", script.Path());
    Recorder recorder;
    HMIDIIN handle = nullptr;
    ASSERT_EQ(Open(0, recorder, handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_FALSE(fake.IsStarted());
    ASSERT_EQ(midiInStart(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_TRUE(fake.IsStarted());
    ASSERT_TRUE(recorder.WaitForData(4));
    Sleep(30);
    std::vector<Call> data = recorder.Calls(MIM_DATA);
    ASSERT_EQ(data.size(), 4u);
    const DWORD_PTR expected[4][2] = {{0x643C90, 0}, {0x003C80, 10}, {0x7F2499, 35}, {0xF8, 40}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(data[i].param1, expected[i][0]) << i;
        EXPECT_EQ(data[i].param2, expected[i][1]) << i;
        EXPECT_EQ(data[i].handle, handle);
        EXPECT_NE(data[i].thread, GetCurrentThreadId());
        EXPECT_EQ(data[i].thread, data[0].thread);
    }
    EXPECT_EQ(midiInStop(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_FALSE(fake.IsStarted());

    // Each start reads the script again and counts from zero.
    script.Write("3 90 40 01\n");
    ASSERT_EQ(midiInStart(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_TRUE(recorder.WaitForData(5));
    EXPECT_EQ(recorder.Calls(MIM_DATA)[4].param1, 0x014090u);
    EXPECT_EQ(recorder.Calls(MIM_DATA)[4].param2, 3u);
    EXPECT_EQ(midiInClose(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

TEST_F(FakeWinmmInput, FeedDeliversLinesAppendedAfterStart)
{
    TempFile feed;
    feed.Write("90 01 01\n");
    ScopedEnv env(L"FAKEMIDI_FEED", feed.Path());
    Recorder recorder;
    HMIDIIN handle = nullptr;
    ASSERT_EQ(Open(0, recorder, handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    const DWORD before = GetTickCount();
    ASSERT_EQ(midiInStart(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    Sleep(20);
    feed.Append("90 3C 64\n");
    ASSERT_TRUE(recorder.WaitForData(1));
    const DWORD elapsed = GetTickCount() - before;
    feed.Append("80 3C");
    Sleep(30);
    EXPECT_EQ(recorder.DataCount(), 1u) << "a line without its end was delivered";
    feed.Append(" 00\r\nzz\nF8\n99 24 7F\n");
    ASSERT_TRUE(recorder.WaitForData(4));
    EXPECT_EQ(midiInStop(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    feed.Append("90 3C 64\n");
    Sleep(20);
    EXPECT_EQ(midiInClose(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));

    std::vector<Call> data = recorder.Calls(MIM_DATA);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0].param1, 0x643C90u);
    EXPECT_GE(data[0].param2, 15u);
    EXPECT_LE(data[0].param2, elapsed + 2);
    EXPECT_EQ(data[1].param1, 0x3C80u);
    EXPECT_EQ(data[2].param1, 0xF8u);
    EXPECT_EQ(data[3].param1, 0x7F2499u);
    EXPECT_LE(data[0].param2, data[1].param2);
    EXPECT_NE(data[0].thread, GetCurrentThreadId());
}

TEST_F(FakeWinmmInput, StopResetAndCloseWaitForTheRunningCallback)
{
    TempFile script;
    std::string lines;
    for (int i = 0; i < 300; ++i)
        lines += "5 90 3C 64\n";
    script.Write(lines);
    ScopedEnv env(L"FAKEMIDI_SCRIPT", script.Path());
    for (auto stop : {&midiInStop, &midiInReset, &midiInClose}) {
        Recorder recorder;
        recorder.holdMs = 20;
        HMIDIIN handle = nullptr;
        ASSERT_EQ(Open(0, recorder, handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        ASSERT_EQ(midiInStart(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        ASSERT_TRUE(recorder.WaitForData(2));
        EXPECT_EQ(stop(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        EXPECT_EQ(recorder.Inside(), 0) << "returned while a callback was running";
        const size_t count = recorder.DataCount();
        Sleep(60);
        EXPECT_EQ(recorder.DataCount(), count) << "a callback came after the stop";
        EXPECT_FALSE(fake.IsStarted());
        if (stop != &midiInClose) {
            EXPECT_EQ(midiInClose(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        }
        EXPECT_EQ(recorder.Calls().back().message, static_cast<UINT>(MIM_CLOSE));
    }
}

TEST_F(FakeWinmmInput, SendCallsBackOnceStartedAndWaitsForTheCallback)
{
    Recorder recorder;
    HMIDIIN handle = nullptr;
    ASSERT_EQ(Open(0, recorder, handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_FALSE(fake.Send(0x7F3C90, 1));
    ASSERT_EQ(midiInStart(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    const LONG delivered = fake.GetDeliveredCount();
    recorder.holdMs = 20;
    EXPECT_TRUE(fake.Send(0x7F3C91, 1234));
    std::vector<Call> data = recorder.Calls(MIM_DATA);
    ASSERT_EQ(data.size(), 1u) << "Send returned before the callback";
    EXPECT_EQ(recorder.Inside(), 0);
    EXPECT_EQ(data[0].param1, 0x7F3C91u);
    EXPECT_EQ(data[0].param2, 1234u);
    EXPECT_NE(data[0].thread, GetCurrentThreadId());
    EXPECT_EQ(fake.GetDeliveredCount(), delivered + 1);
    EXPECT_EQ(midiInStop(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_FALSE(fake.Send(0x7F3C92, 1));
    EXPECT_EQ(recorder.DataCount(), 1u);
    EXPECT_EQ(midiInClose(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

TEST_F(FakeWinmmInput, BurstRunsUntilStopWithoutOverlappingCallbacks)
{
    Recorder recorder;
    HMIDIIN handle = nullptr;
    ASSERT_EQ(Open(0, recorder, handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_EQ(midiInStart(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    fake.SetBurst(0x013C90);
    ASSERT_TRUE(recorder.WaitForData(2000));
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(fake.Send(0x023C90, 0));
    EXPECT_EQ(midiInStop(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    const size_t count = recorder.DataCount();
    Sleep(30);
    EXPECT_EQ(recorder.DataCount(), count);
    EXPECT_FALSE(recorder.Overlapped()) << "two callbacks ran at once";
    EXPECT_EQ(midiInClose(handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));

    size_t sent = 0;
    DWORD_PTR last = 0;
    for (const Call& call : recorder.Calls(MIM_DATA)) {
        if (call.param1 == 0x023C90) {
            ++sent;
            continue;
        }
        EXPECT_EQ(call.param1, 0x013C90u);
        EXPECT_GE(call.param2, last);
        last = call.param2;
    }
    EXPECT_EQ(sent, 50u);
}

// ---------------------------------------------------------------------------
// Timer

TEST_F(FakeWinmmTimer, DevCapsWorkUntilToldToFail)
{
    TIMECAPS caps{};
    ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(caps.wPeriodMin, 1u);
    EXPECT_EQ(caps.wPeriodMax, 1000000u);
    EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps - 1), static_cast<MMRESULT>(TIMERR_NOCANDO));
    fake.SetTimerFails(1);
    EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps), static_cast<MMRESULT>(TIMERR_NOCANDO));
    {
        ScopedEnv noTimer(L"FAKEMIDI_NO_TIMER", L"1");
        fake.SetTimerFails(0);
        EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps), static_cast<MMRESULT>(TIMERR_NOERROR));
        fake.SetTimerFails(-1);
        EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps), static_cast<MMRESULT>(TIMERR_NOCANDO));
    }
    EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps), static_cast<MMRESULT>(TIMERR_NOERROR));
}

TEST_F(FakeWinmmTimer, PeriodBalanceCountsEachPeriodApart)
{
    const LONG one = fake.GetPeriodBalance(1), seven = fake.GetPeriodBalance(7);
    EXPECT_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeBeginPeriod(7), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(fake.GetPeriodBalance(1), one + 1);
    EXPECT_EQ(fake.GetPeriodBalance(7), seven + 1);
    EXPECT_EQ(timeEndPeriod(7), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(timeEndPeriod(7), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(fake.GetPeriodBalance(7), seven - 1);
    EXPECT_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_EQ(fake.GetPeriodBalance(1), one);
    EXPECT_EQ(timeBeginPeriod(7), static_cast<MMRESULT>(TIMERR_NOERROR));
}

TEST_F(FakeWinmmTimer, TimeGetTimeKeepsPaceWithTheTickCount)
{
    const DWORD time0 = timeGetTime(), tick0 = GetTickCount();
    Sleep(120);
    const DWORD time1 = timeGetTime(), tick1 = GetTickCount();
    EXPECT_GE(time1 - time0, 110u);
    EXPECT_LE(time1 - time0 > tick1 - tick0 ? time1 - time0 - (tick1 - tick0) : tick1 - tick0 - (time1 - time0),
              30u);
}

// ---------------------------------------------------------------------------
// Error texts and the log

TEST_F(FakeWinmmErrors, TextsOnlyForKnownCodes)
{
    char text[256];
    wchar_t wide[256];
    std::string allocated, badId;
    for (MMRESULT code : {MMSYSERR_NOERROR, MMSYSERR_BADDEVICEID, MMSYSERR_ALLOCATED, MMSYSERR_INVALHANDLE,
                          MMSYSERR_NOTSUPPORTED, MMSYSERR_INVALPARAM}) {
        ASSERT_EQ(midiInGetErrorTextA(code, text, sizeof text), static_cast<MMRESULT>(MMSYSERR_NOERROR)) << code;
        ASSERT_EQ(midiInGetErrorTextW(code, wide, 256), static_cast<MMRESULT>(MMSYSERR_NOERROR)) << code;
        EXPECT_GT(std::string(text).size(), 10u) << code;
        EXPECT_EQ(std::wstring(wide), std::wstring(text, text + std::string(text).size())) << code;
        if (code == MMSYSERR_ALLOCATED)
            allocated = text;
        if (code == MMSYSERR_BADDEVICEID)
            badId = text;
    }
    EXPECT_NE(allocated, badId);
    for (MMRESULT code : {77u, 99u, static_cast<MMRESULT>(MIDIERR_NODEVICE)}) {
        EXPECT_EQ(midiInGetErrorTextA(code, text, sizeof text), static_cast<MMRESULT>(MMSYSERR_BADERRNUM)) << code;
        EXPECT_EQ(midiInGetErrorTextW(code, wide, 256), static_cast<MMRESULT>(MMSYSERR_BADERRNUM)) << code;
    }
    ASSERT_EQ(midiInGetErrorTextA(MMSYSERR_ALLOCATED, text, 8), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(std::string(text), allocated.substr(0, 7));
    EXPECT_EQ(midiInGetErrorTextA(MMSYSERR_ALLOCATED, nullptr, 8), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
}

TEST_F(FakeWinmmLog, RecordsEveryEventAtAUnixPath)
{
    TempFile log;
    // Shell tests name the log by its Unix path.
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    std::wstring path = log.Path();
    if (toUnix) {
        char* unix = toUnix(path.c_str());
        ASSERT_NE(unix, nullptr);
        path.assign(unix, unix + std::string(unix).size());
        HeapFree(GetProcessHeap(), 0, unix);
    }
    ScopedEnv env(L"FAKEMIDI_LOG", path);
    fake.SetDevices("A;B!4");
    Recorder recorder;
    HMIDIIN handle = nullptr, busy = nullptr;
    ASSERT_EQ(Open(0, recorder, handle), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(Open(1, recorder, busy), static_cast<MMRESULT>(MMSYSERR_ALLOCATED));
    midiInStart(handle);
    midiInStop(handle);
    midiInReset(handle);
    midiInClose(handle);
    timeBeginPeriod(1);
    timeEndPeriod(1);
    EXPECT_EQ(log.Read(), "open 0\nopenfailed 1 4\nstart\nstop\nreset\nclose\nbeginperiod 1\nendperiod 1\n");
}

// ---------------------------------------------------------------------------
// The virtual clock and the lines timed by it

// Wave tests start with one device and the real clock, and leave it so.
class FakeWinmmWave : public FakeWinmmTest {
protected:
    void SetUp() override
    {
        FakeWinmmTest::SetUp();
        ASSERT_TRUE(wave.Complete());
        wave.SetDeviceCount(1);
    }
    void TearDown() override
    {
        if (wave.Complete()) {
            EXPECT_EQ(wave.GetOpenCount(), 0u) << "a test left a wave device open";
            if (EnvValue(L"FAKEWAVE_CLOCK") != L"run")
                wave.SetVirtualClock(FALSE, 0);
        }
        FakeWinmmTest::TearDown();
    }
};

// Tests that move the clock themselves; a running clock would move it too.
class FakeWinmmStillClock : public FakeWinmmWave {
protected:
    void SetUp() override
    {
        if (EnvValue(L"FAKEWAVE_CLOCK") == L"run")
            GTEST_SKIP() << "the clock is running";
        FakeWinmmWave::SetUp();
    }
};

using FakeWinmmClock = FakeWinmmStillClock;
using FakeWinmmCues = FakeWinmmStillClock;

TEST_F(FakeWinmmClock, WithoutTheVariableOnlyTheTestMovesTheVirtualClock)
{
    EXPECT_FALSE(wave.Advance(10)) << "the clock is off until a test sets it on";
    wave.SetVirtualClock(TRUE, 5000);
    EXPECT_EQ(timeGetTime(), 5000u);
    Sleep(30);
    EXPECT_EQ(timeGetTime(), 5000u) << "the clock moved by itself";
    {
        WaveOutput out(8000);
        ASSERT_EQ(out.Result(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        ASSERT_TRUE(out.Write(100));
        ASSERT_TRUE(wave.Advance(80));
        EXPECT_EQ(timeGetTime(), 5010u);
        EXPECT_EQ(out.Samples(), 80u);
        Sleep(20);
        EXPECT_EQ(out.Samples(), 80u);
    }
    wave.SetVirtualClock(FALSE, 0);
    const DWORD real = timeGetTime();
    Sleep(30);
    EXPECT_GE(timeGetTime() - real, 20u) << "the real clock is back";
}

// Generated scripts, each line at a random moment, against every common
// rate: a line arrives within the Advance that reaches its moment, and its
// callback sees the clock and the position exactly at that moment. Before
// the device opens and while it runs dry, the clock goes on and the
// position does not.
TEST_F(FakeWinmmCues, LinesArriveAtTheirMomentWhileTheClockWaits)
{
    uint32_t generator = 1234567u;
    auto random = [&generator](uint32_t n) {
        generator = generator * 1664525u + 1013904223u;
        return (generator >> 8) % n;
    };
    for (DWORD rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
        SCOPED_TRACE(rate);
        std::vector<DWORD> positions, scheduled;
        std::string text = "# position lines (note-ons) among relative ones (note-offs)\n";
        for (DWORD key = 0, at = 0; key < 12; ++key) {
            char note[4];
            std::snprintf(note, sizeof note, "%02lX", 10 + key);
            positions.push_back(random(1500));
            text += "@" + std::to_string(positions.back()) + " 90 " + note + " 64\n";
            const DWORD delay = random(160);
            scheduled.push_back(at += delay);
            text += std::to_string(delay) + " 80 " + note + " 00\n";
        }
        TempFile script;
        script.Write(text);
        ScopedEnv env(L"FAKEMIDI_SCRIPT", script.Path());
        const DWORD start = 1000 + random(100000);
        wave.SetVirtualClock(TRUE, start);
        Recorder recorder;
        HMIDIIN midi = nullptr;
        ASSERT_EQ(Open(0, recorder, midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        ASSERT_EQ(midiInStart(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        ASSERT_TRUE(wave.Advance(random(200)));

        WaveOutput out(rate);
        ASSERT_EQ(out.Result(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        const DWORD opened = timeGetTime();
        recorder.observe = out.Handle();
        ASSERT_TRUE(out.Write(700));
        bool refilled = false;
        for (int moves = 0; out.Ms() < 1500 || timeGetTime() - start < scheduled.back(); ++moves) {
            ASSERT_LT(moves, 100000);
            ASSERT_TRUE(wave.Advance(1 + random(rate / 8)));
            if (!refilled && timeGetTime() - opened > 1000) {
                EXPECT_EQ(out.Samples(), 700 * rate / 1000) << "the position moved without buffers";
                ASSERT_TRUE(out.Write(1300));
                refilled = true;
            }
            size_t due = 0;
            for (DWORD ms : positions)
                due += ms <= out.Ms() ? 1 : 0;
            for (DWORD ms : scheduled)
                due += ms <= timeGetTime() - start ? 1 : 0;
            ASSERT_EQ(recorder.DataCount(), due) << "Advance returned before or without a due line";
        }
        ASSERT_TRUE(refilled);
        EXPECT_EQ(midiInClose(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        out.Close();

        std::vector<int> seen(24, 0);
        DWORD last = 0;
        const std::vector<Call> data = recorder.Calls(MIM_DATA);
        for (const Call& call : data) {
            EXPECT_NE(call.thread, GetCurrentThreadId());
            EXPECT_EQ(call.thread, data[0].thread) << "not on the device's thread";
            const auto key = static_cast<DWORD>((call.param1 >> 8 & 0xFF) - 10);
            ASSERT_LT(key, 12u);
            EXPECT_GE(call.timeMs - start, last) << "out of order";
            last = call.timeMs - start;
            EXPECT_EQ(call.param2, call.timeMs - start) << "the stamp is not the clock since midiInStart";
            if ((call.param1 & 0xFF) == 0x90) {
                ++seen[key];
                EXPECT_EQ(call.positionMs, positions[key]) << key;
                EXPECT_EQ(call.positionSamples, (uint64_t{positions[key]} * rate + 999) / 1000) << key;
            } else {
                ++seen[12 + key];
                EXPECT_EQ(call.param2, scheduled[key]) << key;
            }
        }
        EXPECT_EQ(seen, std::vector<int>(24, 1)) << "each line exactly once";
    }
}

TEST_F(FakeWinmmCues, PositionLinesFollowResetAndEndWithStop)
{
    TempFile script;
    script.Write("@100 90 01 64\n@300 90 02 64\n");
    ScopedEnv env(L"FAKEMIDI_SCRIPT", script.Path());
    wave.SetVirtualClock(TRUE, 0);
    Recorder recorder;
    HMIDIIN midi = nullptr;
    ASSERT_EQ(Open(0, recorder, midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_EQ(midiInStart(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    WaveOutput out(8000);
    ASSERT_EQ(out.Result(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    recorder.observe = out.Handle();
    ASSERT_TRUE(out.Write(1000));
    ASSERT_TRUE(wave.Advance(8 * 150));
    ASSERT_EQ(recorder.DataCount(), 1u);
    EXPECT_EQ(recorder.Calls(MIM_DATA)[0].positionMs, 100u);

    // Reset plays from 0 again: a line is not played twice, and the next one
    // waits for the new position.
    ASSERT_EQ(waveOutReset(out.Handle()), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_TRUE(out.Write(1000));
    ASSERT_TRUE(wave.Advance(8 * 250));
    EXPECT_EQ(recorder.DataCount(), 1u);
    ASSERT_TRUE(wave.Advance(8 * 60));
    ASSERT_EQ(recorder.DataCount(), 2u);
    EXPECT_EQ(recorder.Calls(MIM_DATA)[1].positionMs, 300u);
    EXPECT_EQ(recorder.Calls(MIM_DATA)[1].param2, 150u + 300u) << "the clock ran on through the reset";

    // A new start reads the script again; lines already passed are due at once.
    ASSERT_EQ(midiInStop(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_EQ(midiInStart(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_TRUE(wave.Advance(0));
    ASSERT_EQ(recorder.DataCount(), 4u);
    EXPECT_EQ(recorder.Calls(MIM_DATA)[2].param1, 0x640190u);
    EXPECT_EQ(recorder.Calls(MIM_DATA)[3].param1, 0x640290u);
    EXPECT_EQ(recorder.Calls(MIM_DATA)[3].param2, 0u);

    script.Write("@500 90 03 64\n");
    ASSERT_EQ(midiInStop(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_EQ(midiInStart(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_EQ(midiInStop(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_TRUE(wave.Advance(8 * 500));
    EXPECT_EQ(recorder.DataCount(), 4u) << "a line came after midiInStop";
    EXPECT_EQ(midiInClose(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

TEST_F(FakeWinmmLog, WaveLogRecordsOpenResetAndClose)
{
    TempFile log;
    ScopedEnv env(L"FAKEWAVE_LOG", log.Path());
    {
        WaveOutput mono(8000);
        ASSERT_EQ(mono.Result(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    }
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    HWAVEOUT stereo = nullptr;
    ASSERT_EQ(waveOutOpen(&stereo, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(waveOutClose(stereo), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(log.Read(), "open 8000 1 16\nreset\nclose\nopen 22050 2 16\nclose\n");
}

// ---------------------------------------------------------------------------
// The running clock, in a process of its own started with FAKEWAVE_CLOCK=run

class FakeWinmmRunning : public FakeWinmmWave {
protected:
    void SetUp() override
    {
        if (EnvValue(L"FAKEWAVE_CLOCK") != L"run")
            GTEST_SKIP() << "runs in the process that FakeWinmmRunningClock starts";
        FakeWinmmWave::SetUp();
    }
};

TEST_F(FakeWinmmRunning, ClockRunsInRealTimeWithOrWithoutADevice)
{
    TempFile script;
    script.Write("@0 90 3C 64\n20 F8\n");
    ScopedEnv env(L"FAKEMIDI_SCRIPT", script.Path());
    Recorder recorder;
    HMIDIIN midi = nullptr;
    ASSERT_EQ(Open(0, recorder, midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    LARGE_INTEGER frequency, real0, real1;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&real0);
    const DWORD before = timeGetTime();
    ASSERT_EQ(midiInStart(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    const DWORD after = timeGetTime();
    while (timeGetTime() - before < 300)
        Sleep(1);
    QueryPerformanceCounter(&real1);
    const LONGLONG realMs = (real1.QuadPart - real0.QuadPart) * 1000 / frequency.QuadPart;
    // The clock may have lagged at the first reading by the thread's
    // scheduling delay; a clock running fast would gain far more.
    EXPECT_GE(realMs + 50, 300) << "the virtual clock ran ahead of real time";
    EXPECT_LT(realMs, 5000);

    // The relative line is on the running clock; the position line waits
    // for a device.
    std::vector<Call> data = recorder.Calls(MIM_DATA);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].param1, 0xF8u);
    EXPECT_EQ(data[0].param2, 20u);
    EXPECT_GE(data[0].timeMs, before + 20);
    EXPECT_LE(data[0].timeMs, after + 20);
    {
        WaveOutput out(8000);
        ASSERT_EQ(out.Result(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        ASSERT_TRUE(recorder.WaitForData(2));
    }
    EXPECT_EQ(recorder.Calls(MIM_DATA)[1].param1, 0x643C90u);
    EXPECT_EQ(midiInClose(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

// Every snapshot whose two position readings agree belongs to one moment;
// any two snapshots must then have moved clock and position alike, and the
// position trails the clock since open by no more than the wait before the
// first buffer.
TEST_F(FakeWinmmRunning, PositionAndClockAdvanceTogether)
{
    const DWORD rate = 44100;
    const DWORD beforeOpen = timeGetTime();
    WaveOutput out(rate);
    ASSERT_EQ(out.Result(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_TRUE(out.Write(5000));
    const DWORD afterWrite = timeGetTime();
    struct Snapshot {
        DWORD samples, ms, positionMs;
    };
    // Over a second of the clock: a drift of a thousandth would show.
    std::vector<Snapshot> snapshots;
    for (int i = 0; i < 400 && (snapshots.size() < 2 || snapshots.back().ms - snapshots.front().ms < 1000); ++i) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const DWORD first = out.Samples(), ms = timeGetTime(), positionMs = out.Ms(), second = out.Samples();
            if (first == second) {
                snapshots.push_back({first, ms, positionMs});
                break;
            }
        }
        Sleep(40);
    }
    ASSERT_GE(snapshots.size(), 10u);
    ASSERT_GE(snapshots.back().ms - snapshots.front().ms, 1000u);
    for (const Snapshot& snapshot : snapshots) {
        EXPECT_EQ(snapshot.positionMs, uint64_t{snapshot.samples} * 1000 / rate);
        EXPECT_LE(snapshot.positionMs, snapshot.ms - beforeOpen);
        EXPECT_GE(snapshot.positionMs + 1, snapshot.ms - afterWrite);
        const Snapshot& first = snapshots.front();
        const uint64_t moved = uint64_t{snapshot.samples - first.samples} * 1000 / rate;
        EXPECT_GE(snapshot.ms - first.ms, moved);
        EXPECT_LE(snapshot.ms - first.ms, moved + 1);
    }
}

TEST_F(FakeWinmmRunning, PositionLinesArriveWhenPlayedWithTheClocksStamp)
{
    TempFile script;
    script.Write("@300 90 3C 64\n@310 90 3E 64\n@700 90 40 64\n");
    ScopedEnv env(L"FAKEMIDI_SCRIPT", script.Path());
    Recorder recorder;
    HMIDIIN midi = nullptr;
    ASSERT_EQ(Open(0, recorder, midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    const DWORD before = timeGetTime();
    ASSERT_EQ(midiInStart(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    const DWORD after = timeGetTime();
    Sleep(50);
    const DWORD opening = timeGetTime();
    WaveOutput out(44100);
    ASSERT_EQ(out.Result(), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    recorder.observe = out.Handle();
    ASSERT_TRUE(out.Write(2000));
    ASSERT_TRUE(recorder.WaitForData(3));
    EXPECT_EQ(midiInClose(midi), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    out.Close();

    const std::vector<Call> data = recorder.Calls(MIM_DATA);
    ASSERT_EQ(data.size(), 3u);
    const DWORD at[3] = {300, 310, 700};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(data[i].param1, 0x643C90u + 0x200 * i);
        EXPECT_GE(data[i].positionMs, at[i]);
        EXPECT_LT(data[i].positionMs, at[i] + 2);
        EXPECT_GE(data[i].param2, data[i].timeMs - after);
        EXPECT_LE(data[i].param2, data[i].timeMs - before);
        EXPECT_GE(data[i].param2, at[i] + (opening - after)) << "the position counted from before its open";
        // At 44.1 kHz these positions are whole samples: the stamps are
        // exactly as far apart.
        EXPECT_EQ(data[i].param2 - data[0].param2, at[i] - at[0]);
        EXPECT_EQ(data[i].timeMs - data[0].timeMs, at[i] - at[0]);
    }
}

// Starts this program again with FAKEWAVE_CLOCK=run for the FakeWinmmRunning
// cases, which pass there only if all of them run.
TEST(FakeWinmmRunningClock, CasesPassInAProcessStartedWithTheVariable)
{
    wchar_t program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    TempFile output;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(output.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = file;
    std::wstring command = L"\"" + std::wstring(program) + L"\" --gtest_filter=FakeWinmmRunning.*";
    PROCESS_INFORMATION child{};
    BOOL started = FALSE;
    {
        ScopedEnv run(L"FAKEWAVE_CLOCK", L"run");
        started = CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    }
    CloseHandle(file);
    ASSERT_TRUE(started);
    const DWORD waited = WaitForSingleObject(child.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    const std::string text = output.Read();
    EXPECT_EQ(waited, WAIT_OBJECT_0) << text;
    EXPECT_EQ(code, 0u) << text;
    EXPECT_NE(text.find("[  PASSED  ] 3 tests."), std::string::npos) << text;
    EXPECT_EQ(text.find("SKIPPED"), std::string::npos) << text;
}

}  // namespace
