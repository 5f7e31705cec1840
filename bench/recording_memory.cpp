// What opening a recording costs in memory: the decoder opened as the main
// window opens it, the one decode pass that makes the waveform's envelope
// and the onset strength,
// then the process's peak working set and peak committed memory, as Windows
// reports them. Meant for the 32-bit program and an hour's recording:
//   wine-run.sh recording_memory.exe FILE
// (the 32-bit build's under scripts/w32-exec.sh).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "PeakEnvelope.h"
#include "RecordingFile.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: recording_memory FILE\n");
        return 2;
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, nullptr, 0);
    std::wstring path(static_cast<size_t>(length > 0 ? length - 1 : 0), L'\0');
    if (length > 1)
        MultiByteToWideChar(CP_ACP, 0, argv[1], -1, &path[0], length);
    std::string message;
    std::unique_ptr<AudioDecoder> decoder = OpenRecordingDecoder(path, message);
    if (!decoder) {
        std::printf("FAIL: %s\n", message.c_str());
        return 1;
    }
    PeakEnvelope envelope;
    OnsetStrength onsets;
    const DWORD start = GetTickCount();
    const ScanOutcome outcome = BuildEnvelopeAndOnsetStrength(*decoder, envelope, onsets);
    const DWORD elapsed = GetTickCount() - start;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    const AudioFormat& format = decoder->Format();
    std::printf("%s: %u Hz, %u channel(s), %.1f min, %llu frames decoded in %lu ms (%s)\n",
                format.description.c_str(), format.sampleRate, format.channels,
                static_cast<double>(format.frames) / format.sampleRate / 60.0,
                static_cast<unsigned long long>(outcome.frames), static_cast<unsigned long>(elapsed),
                outcome.result == ScanResult::Done ? "done" : outcome.error.c_str());
    std::printf("envelope: %zu blocks, %.1f MB; onset strength: %zu frames, %.1f MB\n", envelope.Blocks().size(),
                static_cast<double>(envelope.Blocks().size() * sizeof(PeakPair)) / 1e6, onsets.Values.size(),
                static_cast<double>(onsets.Values.size() * sizeof(float)) / 1e6);
    std::printf("peak working set %.1f MB, peak committed %.1f MB (%d-bit process)\n",
                static_cast<double>(counters.PeakWorkingSetSize) / 1e6,
                static_cast<double>(counters.PeakPagefileUsage) / 1e6, static_cast<int>(sizeof(void*) * 8));
    return outcome.result == ScanResult::Done ? 0 : 1;
}
