// crossbytes: the exported tempo bytes of many generated take sets, written
// to one file, so that builds for different processors can be compared byte
// for byte. The tempo computation runs in double precision and every rounding
// shows in the bytes: a 32-bit build with x87 arithmetic, or a compiler that
// fuses a multiply and an add, gives other bytes for some of these sets.
//
//   crossbytes OUT [REFERENCE...]
//
// Writes the records of every export to OUT, then compares OUT with each
// REFERENCE (the file of another build) and names the first export that
// differs. Exit status 0 when every reference is equal, 1 otherwise, 2 on
// bad arguments or unreadable files. Everything runs in one process: a
// 32-bit program started under emulation costs seconds per start.
//
// A record is one header line, "set S interp Q base B bytes N", then the N
// bytes of the Standard MIDI File. After the exports come the onset
// strengths of generated recordings (clicks, noise bursts and struck tones
// at rates from 8 to 96 kHz), which the taps are snapped onto: one header
// line, "onsets S rate R bytes N", then OnsetStrengthDigest's N characters.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "OnsetStrength.h"
#include "SamplesStrength.h"
#include "TakeGenerator.h"
#include "TempoExport.h"
#include "TempoMap.h"
#include "TempoPipeline.h"

namespace {

// The first kSimpleSetCount sets are drawn here; the rest are realistic sets
// of the tap analysis' generator (five takes along one piece, three with a
// slip), which go through repair and smoothing where the analysis decides
// the most.
constexpr int kSimpleSetCount = 264;
constexpr int kSetCount = kSimpleSetCount + 36;

// SplitMix64: integer arithmetic only, so every build draws the same takes.
class Random {
public:
    explicit Random(uint64_t start) : state(start) {}
    uint64_t Next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform enough in lo..hi (inclusive) for test data.
    uint32_t Between(uint32_t lo, uint32_t hi) { return lo + static_cast<uint32_t>(Next() % (uint64_t(hi) - lo + 1)); }
    bool OneIn(uint32_t n) { return Next() % n == 0; }

private:
    uint64_t state;
};

// One take of taps around a steady beat that drifts: a performer speeding up
// or slowing down, a little late or early on each tap. Some takes carry the
// mistakes real takes have: a tap repeated at the same millisecond, a tap
// before the previous one, a long pause. Times are relative to the first tap,
// as a listed take's are.
Take MakeTake(Random& random, uint32_t taps, uint32_t beatMs, int32_t driftPerBeat, uint32_t jitterMs, bool mistakes)
{
    Take take;
    int64_t beat = 0;
    int64_t interval = beatMs;
    for (uint32_t i = 0; i < taps; ++i) {
        int64_t time = beat;
        if (i > 0 && jitterMs > 0)
            time += static_cast<int64_t>(random.Between(0, 2 * jitterMs)) - jitterMs;
        if (mistakes && i > 0) {
            if (random.OneIn(12))
                time = take.back();  // the same millisecond twice
            else if (random.OneIn(15))
                time = static_cast<int64_t>(take.back()) - random.Between(1, 300);  // before the previous tap
            else if (random.OneIn(20))
                time += random.Between(20000, 600000);  // a long pause
        }
        take.push_back(static_cast<uint32_t>(time < 0 ? 0 : time));
        beat = time < 0 ? 0 : time;
        interval += driftPerBeat;
        if (interval < 40)
            interval = 40;
        beat += interval;
    }
    NormalizeTake(take);
    return take;
}

// Realistic set number `index`: five takes along one generated piece, three
// of them with a slip.
std::vector<Take> MakeRealisticSet(int index)
{
    TakeRandom random(static_cast<uint32_t>(index) * 2654435761u);
    const PieceStyle style = index % 2 ? PieceStyle::Expressive : PieceStyle::Steady;
    const std::vector<double> piece = GeneratePiece(random, style, random.Between(60, 300));
    const SlipKind slips[] = {SlipKind::Missed, SlipKind::DoubleTap, SlipKind::LateStart, SlipKind::EarlyStop};
    std::vector<Take> takes;
    for (int m = 0; m < 5; ++m)
        takes.push_back(GenerateTake(random, piece, m < 3 ? slips[(index + m) % 4] : SlipKind::None).Slipped);
    return takes;
}

// Take set number `index`: past kSimpleSetCount a realistic set, else one to
// four takes of one piece drawn here. Most of those are played cleanly at
// tempos from very fast to very slow; a quarter have takes of different
// lengths, a fifth carry mistakes, a few are long.
std::vector<Take> MakeTakeSet(int index)
{
    if (index >= kSimpleSetCount)
        return MakeRealisticSet(index);
    Random random(0x6D657472ull * 1000003u + static_cast<uint64_t>(index));
    const uint32_t takeCount = random.Between(1, 4);
    const uint32_t taps = random.OneIn(10) ? random.Between(100, 400) : random.Between(2, 40);
    const uint32_t beatMs = random.OneIn(8) ? random.Between(2000, 20000) : random.Between(120, 1500);
    const int32_t drift = static_cast<int32_t>(random.Between(0, 40)) - 20;
    const bool unequal = random.OneIn(4);
    const bool mistakes = random.OneIn(5);
    std::vector<Take> takes;
    for (uint32_t t = 0; t < takeCount; ++t) {
        const uint32_t n = unequal ? random.Between(2, taps + 5) : taps;
        takes.push_back(MakeTake(random, n, beatMs, drift, random.Between(0, beatMs / 6), mistakes));
    }
    return takes;
}

// The onset curve of take set `index` on the recording its first take is
// anchored to (at 1500 + index % 911 ms): a peak three frames wide near
// every tap, up to 20 ms off it, over a floor of low values (on the curve
// of slow attacks for every fourth set).
std::shared_ptr<const OnsetCurve> MakeOnsets(int index)
{
    const std::vector<Take> takes = MakeTakeSet(index);
    auto curve = std::make_shared<OnsetCurve>();
    curve->HopMs = 4.99 + static_cast<double>(index % 3) * 0.5;
    const double anchor = 1500.0 + static_cast<double>(index % 911);
    const double length = anchor + static_cast<double>(takes[0].back()) + 2000.0;
    const size_t frames = static_cast<size_t>(length / curve->HopMs) + 1;
    curve->Values.resize(frames);
    for (size_t f = 0; f < frames; ++f)
        curve->Values[f] = static_cast<float>(
            static_cast<double>((static_cast<uint64_t>(f) * 2654435761u + static_cast<uint64_t>(index)) % 97) / 1000.0);
    for (size_t k = 0; k < takes[0].size(); ++k) {
        const double at = anchor + static_cast<double>(takes[0][k]) +
                          static_cast<double>(static_cast<int>((k * 7919 + static_cast<size_t>(index)) % 41) - 20);
        const double strength = 0.3 + static_cast<double>((k * 31) % 8) / 10.0;
        const double frame = at / curve->HopMs;
        const auto centre = static_cast<size_t>(frame + 0.5);
        for (size_t f = centre > 0 ? centre - 1 : 0; f <= centre + 1 && f < frames; ++f) {
            const double d = static_cast<double>(f) - frame;
            const double v = strength * (1.0 - 0.4 * d * d);
            if (v > static_cast<double>(curve->Values[f]))
                curve->Values[f] = static_cast<float>(v);
        }
    }
    // Every fourth set's peaks are slow attacks: on the curve snapped onto
    // where the main one shows no beats, placed where their rise began.
    if (index % 4 == 3) {
        auto slow = std::make_shared<OnsetCurve>();
        slow->HopMs = curve->HopMs;
        slow->Values = curve->Values;
        slow->StartMs = 5.0;
        slow->RiseShare = 0.25;
        slow->RiseLookMs = 60.0;
        curve->Slow = std::move(slow);
        for (size_t f = 0; f < frames; ++f)
            curve->Values[f] = static_cast<float>(static_cast<double>((f * 40503u + static_cast<uint64_t>(index)) % 31) / 1000.0);
    }
    return curve;
}

// One export of a take set. Analysis options that change the exported bytes
// join this struct as fields; ForEachCase then loops over their values too,
// Export passes them on, and Header names them.
struct ExportCase {
    int interpCount;
    int timeSigBase;
    AnalysisOptions analysis;
};

// Every set is exported at every interpolation count; the base note turns
// with the set, so each of the 66 pairs meets many different sets. At two
// interpolation counts every set is also exported with the analysis:
// smoothing alone, repair alone, and repair with the automatic and with a
// fixed smoothing that turns with the set.
template <typename F>
void ForEachCase(int setIndex, F&& visit)
{
    const int timeSigBase = setIndex % (MaxTimeSigBase + 1);
    for (int interpCount = 0; interpCount <= MaxInterpCount; ++interpCount)
        visit(ExportCase{interpCount, timeSigBase, AnalysisOptions()});
    const int fixed = 1 + setIndex % MaxSmoothing;
    const auto options = [](bool repair, int smoothing) {
        AnalysisOptions o;
        o.Repair = repair;
        o.Smoothing = smoothing;
        return o;
    };
    for (const int interpCount : {0, setIndex % (MaxInterpCount + 1)}) {
        for (const AnalysisOptions& o : {options(false, SmoothingAuto), options(true, SmoothingNone),
                                         options(true, SmoothingAuto), options(true, fixed)})
            visit(ExportCase{interpCount, timeSigBase, o});
    }
    // Lined up with a recording: every take but the last (when there are
    // more than one) anchored a few seconds in, plain and repaired.
    for (const bool repair : {false, true}) {
        AnalysisOptions o = options(repair, repair ? SmoothingAuto : SmoothingNone);
        o.AlignToRecording = true;
        for (int m = 0; m < 12; ++m)
            o.Anchors.push_back(m > 0 && m == setIndex % 6 ? -1 : 1500 + 37 * m + setIndex % 911);
        visit(ExportCase{setIndex % (MaxInterpCount + 1), timeSigBase, o});
    }
    // Snapped onto a recording's onsets: near the first take's taps, a few
    // ms off each, of strengths that turn with the beat, over a low floor;
    // plain and repaired, with the automatic smoothing.
    const std::shared_ptr<const OnsetCurve> onsets = MakeOnsets(setIndex);
    for (const bool repair : {false, true}) {
        AnalysisOptions o = options(repair, SmoothingAuto);
        o.AlignToRecording = true;
        for (int m = 0; m < 12; ++m)
            o.Anchors.push_back(m > 0 && m == setIndex % 6 ? -1 : 1500 + 37 * m + setIndex % 911);
        o.Snap = true;
        o.Onsets = onsets;
        visit(ExportCase{setIndex % (MaxInterpCount + 1), timeSigBase, o});
    }
}

// Recording number `index` for the onset strength, made with integer
// draws and + - * / only (the tones by rotating a phasor), so that every
// build analyses the same samples: 2.5 s at one of five rates, with a sound
// every 100 to 400 ms at levels over 40 dB, each a click, a burst of noise
// or a tone of two partials that rises over a few milliseconds and decays.
constexpr int kRecordingCount = 15;

std::vector<float> MakeRecording(int index, uint32_t& rate)
{
    static const uint32_t kRates[] = {8000, 22050, 44100, 48000, 96000};
    Random random(0x6F6E73ull * 7919u + static_cast<uint64_t>(index));
    rate = kRates[index % 5];
    std::vector<float> samples(rate * 5 / 2, 0.0f);
    const auto unit = [&random] { return static_cast<double>(random.Between(0, 2000000)) / 1000000.0 - 1.0; };
    for (size_t at = rate / 20; at < samples.size(); at += rate / 10 + random.Between(0, 3 * rate / 10)) {
        double level = 0.9;
        for (uint32_t d = random.Between(0, 40); d >= 4; d -= 4)
            level *= 0.630957;  // -4 dB
        const uint32_t kind = random.Between(0, 2);
        if (kind == 0) {
            samples[at] += static_cast<float>(level);
            continue;
        }
        const size_t length = kind == 1 ? rate / 200 : rate / 4;
        const double decay = 1.0 - (kind == 1 ? 800.0 : 16.0) / rate;
        const double rise = static_cast<double>(random.Between(rate / 1000, rate / 100) + 1);
        const int64_t cycle = static_cast<int64_t>(random.Between(rate / 1500, rate / 150) + 2);  // samples a period
        const double c1 = onset_detail::CosPi(2, cycle), s1 = onset_detail::CosPi(cycle - 4, 2 * cycle);
        const double c3 = onset_detail::CosPi(6, cycle), s3 = onset_detail::CosPi(cycle - 12, 2 * cycle);
        double x1 = 1, y1 = 0, x3 = 1, y3 = 0, envelope = level;
        for (size_t i = 0; i < length && at + i < samples.size(); ++i) {
            double v;
            if (kind == 1) {
                v = envelope * unit();
            } else {
                const double ramp = static_cast<double>(i) < rise ? static_cast<double>(i) / rise : 1.0;
                v = envelope * ramp * (0.7 * y1 + 0.3 * y3);
                const double nx1 = x1 * c1 - y1 * s1, ny1 = x1 * s1 + y1 * c1;
                const double nx3 = x3 * c3 - y3 * s3, ny3 = x3 * s3 + y3 * c3;
                x1 = nx1, y1 = ny1, x3 = nx3, y3 = ny3;
            }
            samples[at + i] += static_cast<float>(v);
            envelope *= decay;
        }
    }
    return samples;
}

std::string OnsetRecord(int index)
{
    uint32_t rate = 0;
    const std::vector<float> samples = MakeRecording(index, rate);
    // In uneven blocks, as a decoder hands them out.
    size_t n = 0;
    const OnsetStrength strength = StrengthOfSamples(samples, rate, [&] { return n = n == 0 ? 1 : n * 3 % 5000 + 1; });
    const std::string digest = OnsetStrengthDigest(strength);
    return "onsets " + std::to_string(index) + " rate " + std::to_string(rate) + " bytes " +
           std::to_string(digest.size()) + "\n" + digest;
}

std::vector<uint8_t> Export(const std::vector<Take>& takes, const ExportCase& c)
{
    TakeList list = TakeListOf(takes);
    return ExportTempoBytes(list, c.interpCount, c.timeSigBase, c.analysis);
}

std::string Header(int setIndex, const ExportCase& c, size_t bytes)
{
    return "set " + std::to_string(setIndex) + " interp " + std::to_string(c.interpCount) + " base " +
           std::to_string(c.timeSigBase) + " repair " + std::to_string(c.analysis.Repair ? 1 : 0) + " smooth " +
           std::to_string(c.analysis.Smoothing) + " aligned " + std::to_string(c.analysis.AlignToRecording ? 1 : 0) + (c.analysis.Snap ? " snap 1" : "") + " bytes " + std::to_string(bytes) + "\n";
}

bool ReadAll(const char* path, std::string& data)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        data.append(chunk, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Splits a file into its records (header line plus bytes); false when the
// file is not a sequence of well-formed records.
bool SplitRecords(const std::string& data, std::vector<std::string>& records)
{
    size_t pos = 0;
    while (pos < data.size()) {
        const size_t eol = data.find('\n', pos);
        if (eol == std::string::npos)
            return false;
        const size_t tag = data.rfind(" bytes ", eol);
        if (tag == std::string::npos || tag < pos)
            return false;
        const unsigned long long n = std::strtoull(data.c_str() + tag + 7, nullptr, 10);
        if (n > data.size() - eol - 1)
            return false;
        const size_t end = eol + 1 + static_cast<size_t>(n);
        records.push_back(data.substr(pos, end - pos));
        pos = end;
    }
    return true;
}

// Compares the records of two files; prints the first difference.
bool SameRecords(const std::string& ours, const char* theirPath)
{
    std::string theirs;
    if (!ReadAll(theirPath, theirs)) {
        std::fprintf(stderr, "crossbytes: cannot read %s\n", theirPath);
        return false;
    }
    if (ours == theirs)
        return true;
    std::vector<std::string> a;
    std::vector<std::string> b;
    if (!SplitRecords(ours, a) || !SplitRecords(theirs, b)) {
        std::fprintf(stderr, "crossbytes: %s differs and is not a file of records\n", theirPath);
        return false;
    }
    size_t differing = 0;
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        if (a[i] == b[i])
            continue;
        if (differing++ == 0) {
            std::fprintf(stderr, "crossbytes: %s differs first at record %zu: ours \"%.*s\", theirs \"%.*s\"\n",
                         theirPath, i, static_cast<int>(a[i].find('\n')), a[i].c_str(),
                         static_cast<int>(b[i].find('\n')), b[i].c_str());
        }
    }
    std::fprintf(stderr, "crossbytes: %zu of %zu records differ; %zu records here, %zu there\n", differing, common,
                 a.size(), b.size());
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: crossbytes OUT [REFERENCE...]\n");
        return 2;
    }
    std::string out;
    size_t exports = 0;
    for (int s = 0; s < kSetCount; ++s) {
        const std::vector<Take> takes = MakeTakeSet(s);
        ForEachCase(s, [&](const ExportCase& c) {
            const std::vector<uint8_t> bytes = Export(takes, c);
            out += Header(s, c, bytes.size());
            out.append(bytes.begin(), bytes.end());
            ++exports;
        });
    }
    for (int r = 0; r < kRecordingCount; ++r)
        out += OnsetRecord(r);
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "crossbytes: cannot write %s\n", argv[1]);
        return 2;
    }
    std::printf("crossbytes: %zu exports of %d take sets and the onset strengths of %d recordings, %zu bytes\n",
                exports, kSetCount, kRecordingCount, out.size());

    bool same = true;
    for (int i = 2; i < argc; ++i) {
        if (SameRecords(out, argv[i]))
            std::printf("crossbytes: equal byte for byte to %s\n", argv[i]);
        else
            same = false;
    }
    return same ? 0 : 1;
}
