// Real playback, once: the recording player on the system's own winmm (no
// stand-in), which Wine sends to PulseAudio; run by pulse_smoke.sh against
// a private server whose only sink is a null sink. It plays the WAV given
// to its end and reports what the device did. No timing is asserted: the
// null sink plays in real time, but how far ahead a driver buffers is its
// own business.
//   playback_smoke.exe FILE.wav
// Exit 0 when the device opened, the end notice came and the played frame
// reached the recording's end; 1 otherwise, saying which.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <memory>
#include <string>

#include "AudioDecoder.h"
#include "RecordingPlayer.h"

namespace {

constexpr UINT EndMessage = WM_APP + 1;

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: playback_smoke FILE.wav\n");
        return 2;
    }
    std::printf("wave output devices: %u\n", waveOutGetNumDevs());
    AudioOpenResult opened = OpenAudioFile(argv[1]);
    if (!opened.decoder) {
        std::printf("FAIL: %s\n", opened.message.c_str());
        return 1;
    }
    const uint64_t frames = opened.decoder->Format().frames;
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    RecordingPlayer player(std::move(opened.decoder));
    player.SetEndNotice(owner, EndMessage);
    const MMRESULT started = player.Start(0);
    if (started != MMSYSERR_NOERROR) {
        char text[MAXERRORLENGTH] = "";
        waveOutGetErrorTextA(started, text, sizeof text);
        std::printf("FAIL: the device did not start: %u %s\n", started, text);
        return 1;
    }
    // Well past the recording's length: a device that never plays ends the
    // wait, not the run.
    const DWORD limit = GetTickCount() + static_cast<DWORD>(frames * 1000 / player.SampleRate()) + 10000;
    bool ended = false;
    MSG message;
    while (!ended && static_cast<LONG>(GetTickCount() - limit) < 0) {
        while (PeekMessageA(&message, owner, 0, 0, PM_REMOVE))
            ended = ended || message.message == EndMessage;
        Sleep(10);
    }
    const int64_t played = player.PlayedFrame();
    player.Stop();
    std::printf("played %lld of %llu frames at %u Hz, %u channel(s); end notice %s\n",
                static_cast<long long>(played), static_cast<unsigned long long>(frames), player.SampleRate(),
                player.OutputChannels(), ended ? "came" : "did not come");
    if (!ended || played < static_cast<int64_t>(frames)) {
        std::printf("FAIL: the recording did not play to its end\n");
        return 1;
    }
    return 0;
}
