// How many rounds a long property test of the recording's analysis makes.
#pragma once

namespace testsupport {

// All `rounds` in every build but the 32-bit Windows one, which runs here
// under qemu: it emulates each floating-point operation in software, and a
// round of synthesis and analysis takes 30 to 50 times as long. What that
// run is for, the things a 32-bit process does differently (sizes,
// overflow, alignment), shows in the first rounds (the same inputs as the
// other builds' first rounds) as well as in all of them, and the other
// builds, natively, under the sanitizers and under 64-bit Wine, make every
// round.
constexpr int PropertyRounds(int rounds)
{
    if (sizeof(void*) > 4)
        return rounds;
    return rounds / 4 > 2 ? rounds / 4 : 2;
}

}  // namespace testsupport
