// What the long tests of the recording's analysis do in the 32-bit Windows
// build, which runs here under qemu: it emulates each floating-point
// operation in software, and synthesising and analysing a recording takes
// 30 to 50 times as long there.
//
// That run is for what a 32-bit process does differently (sizes, overflow,
// alignment). The analysis itself gives the same bits on every build, which
// crossbytes compares (onset strengths of generated recordings and snapped
// exports), so statistics over many synthesised recordings say nothing
// there that the other builds, natively, under the sanitizers and under
// 64-bit Wine, do not.
#pragma once

namespace testsupport {

constexpr bool kThirtyTwoBit = sizeof(void*) == 4;

// All `rounds` of a property test, but a quarter of them (at least two) in
// the 32-bit build: the first ones, the same inputs as the other builds'
// first rounds.
constexpr int PropertyRounds(int rounds)
{
    if (!kThirtyTwoBit)
        return rounds;
    return rounds / 4 > 2 ? rounds / 4 : 2;
}

// Why a test of statistics over synthesised recordings is skipped there.
constexpr const char* kSameBitsElsewhere =
    "not in the 32-bit build: the analysis gives the same bits on every build (crossbytes), and these recordings "
    "take minutes to synthesise and analyse under emulation";

}  // namespace testsupport
