// Fuzz target over the whole import: a file image and a base note through
// ConvertTempoFile.
//
// Input: the first byte picks the base note (its value modulo 6), the rest is
// the image. Any input must end in Converted or Unsupported without a crash,
// sanitizer report, leak or hang; a Converted take holds at most
// MaxImportBeats times in non-decreasing order. For images of up to 64 KiB,
// whose second parse costs little next to the import, the result is also
// checked against an independent reading of that parse:
//   - Converted only for a format-0/1 file with a metrical division, at least
//     one track, a base note of at least one tick, no track whose times wrap
//     past 32 bits, and at most MaxImportBeats beats;
//   - then the take holds floor(end / step) times (end: the first track's end
//     in format 0, the latest track end in format 1), each the beat time
//     worked out exactly in integers and rounded to the nearest millisecond,
//     half up. The import sums doubles: below 2^32 ms over at most a few
//     million sums its error stays under a microsecond, so either neighbour
//     is accepted only for an exact time within 0.01 ms of a half
//     millisecond;
//   - a file passing every check above is refused only when its last beat
//     lies beyond what a 32-bit millisecond time can hold.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "TempoImport.h"
#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

constexpr uint32_t kCrossCheckedSize = 64 * 1024;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "import check failed: %s\n", what);
    std::abort();
}

struct TempoChange {
    uint32_t tick;
    size_t track;  // equal ticks apply in track order, then in file order
    size_t index;
    uint32_t tempo;
};

// The value of a Set Tempo event: FF 51, a variable-length length (3, in any
// number of bytes), three data bytes.
bool ReadSetTempo(const mkMidiEvent& ev, uint32_t& tempo)
{
    const uint8_t* p = ev.GetMessageData();
    const uint32_t n = ev.GetMessageCount();
    if (n < 2 || p[0] != 0xFF || p[1] != 0x51)
        return false;
    uint32_t i = 2;
    while (i < n && (p[i] & 0x80))
        ++i;
    if (i + 4 != n)
        Fail("Set Tempo event of unexpected size");
    tempo = uint32_t(p[i + 1]) << 16 | uint32_t(p[i + 2]) << 8 | p[i + 3];
    return true;
}

struct BeatMs {
    uint64_t low;   // the exact time rounded half up, or when it lies within
    uint64_t high;  // 0.01 ms of a half millisecond, the two neighbours
};

// The exact real time of ticks asked for in non-decreasing order.
class ExactClock {
public:
    ExactClock(std::vector<TempoChange> tempoChanges, uint16_t division)
        : changes(std::move(tempoChanges)), perMs(1000 * uint64_t(division))
    {
        std::sort(changes.begin(), changes.end(), [](const TempoChange& a, const TempoChange& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.track != b.track ? a.track < b.track : a.index < b.index;
        });
    }

    BeatMs At(uint32_t t)
    {
        for (; next < changes.size() && changes[next].tick < t; ++next) {
            sum += uint64_t(changes[next].tick - tick) * tempo;
            tick = changes[next].tick;
            tempo = changes[next].tempo;
        }
        sum += uint64_t(t - tick) * tempo;
        tick = t;
        const uint64_t ms = sum / perMs;
        const uint64_t twice = 2 * (sum % perMs);
        const uint64_t offHalf = twice > perMs ? twice - perMs : perMs - twice;
        if (50 * offHalf <= perMs)
            return {ms, ms + 1};
        return {ms + (twice >= perMs), ms + (twice >= perMs)};
    }

private:
    std::vector<TempoChange> changes;
    uint64_t perMs;  // tick-microseconds per millisecond
    size_t next = 0;
    uint64_t tempo = 500000;
    uint64_t sum = 0;  // tick-microseconds: below 2^32 ticks x 2^24 us, exact
    uint32_t tick = 0;
};

struct Expected {
    bool convertible = false;  // every structural check passes
    uint32_t step = 0;
    uint32_t beats = 0;
    std::unique_ptr<ExactClock> clock;
};

Expected Expect(const uint8_t* data, uint32_t size, int base)
{
    Expected e;
    mkSmfSequence seq;
    mkSmfParser parser;
    if (!parser.Parse(seq, data, size, true) || seq.Format > 1 || (seq.Division & 0x8000) != 0 ||
        seq.GetTrackCount() == 0)
        return e;
    e.step = (uint32_t(seq.Division) * 4) >> base;
    if (e.step == 0)
        return e;

    uint32_t end = 0;
    std::vector<TempoChange> changes;
    for (size_t t = 0; t < seq.GetTrackCount(); ++t) {
        const mkSmfTrack& track = seq.GetTrack(t);
        uint32_t previous = 0;
        size_t index = 0;
        for (const mkMidiEvent& ev : track) {
            if (ev.GetTime() < previous)
                return e;  // wrapped past 2^32 - 1 ticks
            previous = ev.GetTime();
            uint32_t tempo = 0;
            if ((t == 0 || seq.Format == 1) && ReadSetTempo(ev, tempo))
                changes.push_back({ev.GetTime(), t, index++, tempo});
        }
        if (t == 0 || seq.Format == 1)
            end = std::max(end, track.GetLast().GetTime());
    }
    e.beats = end / e.step;
    if (e.beats > MaxImportBeats)
        return e;
    e.convertible = true;
    e.clock = std::make_unique<ExactClock>(std::move(changes), seq.Division);
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > UINT32_MAX)
        return 0;
    const int base = data[0] % 6;
    // ConvertTempoFile wants a real block, also for an empty image.
    std::vector<uint8_t> image(data + 1, data + size);
    image.reserve(1);
    const uint32_t n = static_cast<uint32_t>(image.size());

    Take take{1, 2, 3};
    const ImportResult result = ConvertTempoFile(image.data(), n, base, take);
    if (result == ImportResult::Unsupported && !take.empty())
        Fail("refusal leaves times in the take");

    if (result == ImportResult::Converted) {
        if (take.size() > MaxImportBeats)
            Fail("more than MaxImportBeats times");
        for (size_t k = 1; k < take.size(); ++k)
            if (take[k] < take[k - 1])
                Fail("beat times run backwards");
    }
    if (n > kCrossCheckedSize)
        return 0;

    const Expected e = Expect(image.data(), n, base);
    if (result == ImportResult::Unsupported) {
        if (e.convertible && (e.beats == 0 || e.clock->At(e.beats * e.step).high <= UINT32_MAX))
            Fail("a readable file within the limits was refused");
        return 0;
    }
    if (!e.convertible)
        Fail("a file that must be refused was converted");
    if (take.size() != e.beats)
        Fail("beat count differs from floor(end / step)");
    for (size_t k = 0; k < take.size(); ++k) {
        const BeatMs exact = e.clock->At(static_cast<uint32_t>(k + 1) * e.step);
        if (take[k] < exact.low || take[k] > exact.high)
            Fail("beat time differs from the exact one");
    }
    return 0;
}
