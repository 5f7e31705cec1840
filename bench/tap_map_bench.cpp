// How long a tap takes to be put on the recording's timeline: the key's (or
// the MIDI stamp's) timeGetTime() value mapped through the player's clock
// pair, as the tap dialog does for every tap while a recording plays, with
// the rounding to whole milliseconds the take keeps. A Windows program (the
// player is winmm's), run under Wine:
//   wine-run.sh tap_map_bench.exe [rounds]
// Prints the median, the fastest and the slowest round, per tap.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "RecordingPlayer.h"
#include "SilenceDecoder.h"

namespace {

double Now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    constexpr int TapsPerRound = 100000;
    RecordingPlayer player(std::make_unique<SilenceDecoder>(44100, 44100 * 600));
    player.SampleClock();
    const DWORD base = timeGetTime();
    volatile uint32_t sink = 0;
    std::vector<double> perTap;
    for (int round = 0; round <= rounds; ++round) {
        const double start = Now();
        for (int i = 0; i < TapsPerRound; ++i) {
            const double ms = player.RecordingMsAt(base + static_cast<DWORD>(i)) - 23.0;
            sink = sink + (ms >= 0.0 ? static_cast<uint32_t>(std::lround(ms)) : 0u);
        }
        if (round > 0)  // the first round warms up
            perTap.push_back((Now() - start) / TapsPerRound);
    }
    std::sort(perTap.begin(), perTap.end());
    std::printf("tap mapped onto the recording's timeline            median %8.1f ns   fastest %8.1f ns   slowest %8.1f ns"
                "   (%d rounds of %d taps)\n",
                perTap[perTap.size() / 2], perTap.front(), perTap.back(), rounds, TapsPerRound);
    return sink == 1 ? 1 : 0;
}
