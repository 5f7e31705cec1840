// Fuzz target over the snapping of beats onto a recording's onsets:
// arbitrary onset curves (with or without a fine curve, a curve of slow
// attacks and a low band) and arbitrary beats through SnapBeats.
//
// Input: byte 0 the hop (1 + (b % 40) / 4 ms; 255: a hop of 0), byte 1 flags
// (bit 0: a fine curve, bit 1: a curve of slow attacks, bit 2: the beats
// given in a shuffled order, bit 3: a low band), byte 2 the frames
// ((b + 1) * 64), byte 3 the beats (0 to 255), byte 4 the first beat's time
// in units of 20 ms. Then the curves' values, a byte each (b / 255), frame
// by frame, the main curve's first, then the fine, the slow and (with bit
// 3) the low band's, repeating the bytes there are;
// then each beat's distance from the one before, two bytes (20 + v % 2000 ms).
//
// Checks: one result per beat, every time finite; the same beats given in
// another order give the same result per beat, bit for bit; in time order
// no beat passes the one before it or leaves it less than half the
// distance it was given; with a hop of 0, or no value of either curve that
// could be an onset (below 0.06), every beat is Unsure and unmoved.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BeatSnapping.h"
#include "FuzzReader.h"

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "snap check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    const uint8_t hopByte = in.Byte();
    const uint8_t flags = in.Byte();
    const size_t frames = (static_cast<size_t>(in.Byte()) + 1) * 64;
    const size_t count = in.Byte();
    const double first = 20.0 * static_cast<double>(in.Byte());

    OnsetCurve curve;
    curve.HopMs = hopByte == 255 ? 0.0 : 1.0 + static_cast<double>(hopByte % 40) / 4.0;
    curve.StartMs = 13.0;
    const auto values = [&](size_t offset) {
        std::vector<float> v(frames);
        for (size_t f = 0; f < frames; ++f)
            v[f] = static_cast<float>(in.Cycled(offset + f)) / 255.0f;
        return v;
    };
    curve.Values = values(0);
    bool anyOnset = *std::max_element(curve.Values.begin(), curve.Values.end()) >= 0.06f;
    if (flags & 1) {
        curve.Fine = values(frames);
        curve.FineStartMs = -2.0;
    }
    if (flags & 2) {
        auto slow = std::make_shared<OnsetCurve>();
        slow->HopMs = curve.HopMs;
        slow->Values = values(2 * frames);
        slow->StartMs = 5.0;
        slow->RiseShare = 0.25;
        slow->RiseLookMs = 60.0;
        anyOnset = anyOnset || *std::max_element(slow->Values.begin(), slow->Values.end()) >= 0.06f;
        curve.Slow = slow;
    }
    if (flags & 8)
        curve.Low = values(3 * frames);
    in.Skip((flags & 8 ? 4 : 3) * frames);

    std::vector<double> beats;
    double t = first;
    for (size_t i = 0; i < count; ++i) {
        t += 20.0 + static_cast<double>(in.Le(2) % 2000);
        beats.push_back(t);
    }
    // The order given: ascending, or shuffled by the beats' own bytes.
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    if (flags & 4)
        for (size_t i = count; i > 1; --i)
            std::swap(order[i - 1], order[static_cast<size_t>(beats[i - 1]) % i]);
    std::vector<double> given(count);
    for (size_t i = 0; i < count; ++i)
        given[i] = beats[order[i]];

    const std::vector<SnappedBeat> sorted = SnapBeats(beats, curve);
    const std::vector<SnappedBeat> shuffled = SnapBeats(given, curve);
    if (sorted.size() != count || shuffled.size() != count)
        Fail("one result per beat");
    for (size_t i = 0; i < count; ++i) {
        const SnappedBeat& a = sorted[order[i]];
        const SnappedBeat& b = shuffled[i];
        if (!std::isfinite(a.TimeMs))
            Fail("a finite time");
        if (a.TimeMs != b.TimeMs || a.State != b.State)
            Fail("the same result whatever the order given");
    }
    for (size_t i = 1; i < count; ++i)
        if (!(sorted[i].TimeMs >= sorted[i - 1].TimeMs + 0.5 * (beats[i] - beats[i - 1])))
            Fail("no beat passes the one before it, nor halves the distance");
    if (!(curve.HopMs > 0.0) || !anyOnset)
        for (size_t i = 0; i < count; ++i)
            if (sorted[i].State != SnapState::Unsure || sorted[i].TimeMs != beats[i])
                Fail("without onsets every beat stays, Unsure");
    return 0;
}
