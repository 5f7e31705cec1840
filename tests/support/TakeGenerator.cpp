#include "TakeGenerator.h"

#include <algorithm>
#include <cstddef>

double TakeRandom::Uniform()
{
    return static_cast<double>(engine_()) / 4294967296.0;
}

double TakeRandom::Uniform(double lo, double hi)
{
    return lo + (hi - lo) * Uniform();
}

int TakeRandom::Between(int lo, int hi)
{
    return lo + static_cast<int>(Uniform() * static_cast<double>(hi - lo + 1));
}

double TakeRandom::Normal()
{
    double sum = 0.0;
    for (int i = 0; i < 12; ++i)
        sum += Uniform();
    return sum - 6.0;
}

namespace {

// Beats this far from either end of a piece keep their lengths when held,
// shortened and half-beats are placed: the analysis needs an opening and an
// ending to read the tempo by, and the final ritardando is there.
constexpr size_t KeptAtEnds = 8;
constexpr double HeldChance = 0.02;
constexpr double ShortenedChance = 0.014;

double MedianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) * 0.5;
}

// The tempo around every beat: the median of the beat lengths within seven
// beats each side, the beat itself left out.
std::vector<double> LocalMedians(const std::vector<double>& lengths)
{
    std::vector<double> medians(lengths.size());
    std::vector<double> around;
    for (size_t j = 0; j < lengths.size(); ++j) {
        around.clear();
        for (size_t i = j >= 7 ? j - 7 : 0; i < std::min(lengths.size(), j + 8); ++i)
            if (i != j)
                around.push_back(lengths[i]);
        medians[j] = around.empty() ? lengths[j] : MedianOf(around);
    }
    return medians;
}

// Held, shortened and half-beats, none next to another, so that each
// stands alone among ordinary beats. Each is a share of the tempo around it
// in the finished piece; as one of them may lie in another's surroundings,
// the lengths are set again from the medians they leave until they settle
// (the beat itself is never part of its own median, so a few rounds do).
void PlaceLongAndShortBeats(TakeRandom& random, bool heldAndShortened, int halfBeats, std::vector<double>& lengths)
{
    if (lengths.size() < 2 * KeptAtEnds + 1)
        return;
    std::vector<double> share(lengths.size(), 0.0);  // 0: an ordinary beat
    const auto free = [&](size_t j) { return share[j - 1] == 0.0 && share[j] == 0.0 && share[j + 1] == 0.0; };
    const size_t last = lengths.size() - KeptAtEnds;  // one past the last beat that may change
    if (heldAndShortened)
        for (size_t j = KeptAtEnds; j < last; ++j) {
            const double u = random.Uniform();
            if (u >= HeldChance + ShortenedChance || !free(j))
                continue;
            share[j] = u < HeldChance ? random.Uniform(1.55, 1.85) : random.Uniform(0.5, 0.58);
        }
    for (int h = 0; h < halfBeats; ++h)
        for (int attempt = 0; attempt < 100; ++attempt) {
            const size_t j = static_cast<size_t>(random.Between(static_cast<int>(KeptAtEnds), static_cast<int>(last) - 1));
            if (free(j)) {
                share[j] = 0.5;
                break;
            }
        }
    for (int round = 0; round < 4; ++round) {
        const std::vector<double> local = LocalMedians(lengths);
        for (size_t j = 0; j < lengths.size(); ++j)
            if (share[j] != 0.0)
                lengths[j] = share[j] * local[j];
    }
}

}  // namespace

PieceOptions FastPiece()
{
    PieceOptions options;
    options.ShortestBase = 275.0;
    options.LongestBase = 315.0;
    return options;
}

std::vector<double> LocalMedianLengths(const std::vector<double>& times)
{
    std::vector<double> lengths;
    for (size_t j = 1; j < times.size(); ++j)
        lengths.push_back(times[j] - times[j - 1]);
    return LocalMedians(lengths);
}

std::vector<double> GeneratePiece(TakeRandom& random, PieceStyle style, int beats)
{
    return GeneratePiece(random, style, beats, PieceOptions());
}

std::vector<double> GeneratePiece(TakeRandom& random, PieceStyle style, int beats, const PieceOptions& options)
{
    const double base = random.Uniform(options.ShortestBase, options.LongestBase);
    std::vector<double> lengths(static_cast<size_t>(std::max(beats - 1, 0)));
    const int phrase = random.Chance(0.5) ? 8 : 16;
    double section = 1.0;
    int sectionLeft = 0;
    double drift = 0.0;
    double bend = 0.0;
    bool expressive = style == PieceStyle::Expressive;
    const double arch = random.Uniform(0.10, 0.15);
    const double microTiming = random.Uniform(0.01, 0.02);
    const int ending = random.Between(4, 8);
    for (size_t j = 0; j < lengths.size(); ++j) {
        if (sectionLeft == 0) {
            sectionLeft = random.Between(16, 64);
            section = 1.0 + random.Uniform(-0.04, 0.04);
        }
        --sectionLeft;
        double factor = section;
        const int inPhrase = static_cast<int>(j % static_cast<size_t>(phrase));
        if (expressive) {
            // Speed up through the phrase's first part, hold back at its end.
            const double u = (inPhrase + 0.5) / phrase;
            factor *= 1.0 - arch * 4.0 * u * (1.0 - u) + arch * 1.5 * u * u * u * u;
            bend = 0.6 * bend + 0.048 * random.Normal();
            factor *= 1.0 + bend;
            if (inPhrase == phrase - 1 && random.Chance(0.15))
                factor *= random.Uniform(1.3, 1.7);
        } else {
            drift = std::clamp(drift + 0.002 * random.Normal(), -0.05, 0.05);
            factor *= 1.0 + drift + microTiming * random.Normal();
            if (inPhrase == phrase - 1)
                factor *= 1.0 + random.Uniform(0.0, 0.08);
        }
        const size_t fromEnd = lengths.size() - j;
        if (fromEnd <= static_cast<size_t>(ending))
            factor *= 1.0 + 0.3 * (static_cast<double>(ending) - static_cast<double>(fromEnd) + 1.0) / ending;
        lengths[j] = base * factor;
    }
    // Drawn after everything above, so the pieces without them are those
    // made before these options existed.
    if ((expressive && options.HeldAndShortened) || options.HalfBeats > 0)
        PlaceLongAndShortBeats(random, expressive && options.HeldAndShortened, options.HalfBeats, lengths);
    std::vector<double> times(static_cast<size_t>(beats), 0.0);
    for (size_t j = 1; j < times.size(); ++j)
        times[j] = times[j - 1] + lengths[j - 1];
    return times;
}

namespace {

Take Relative(const std::vector<int64_t>& taps)
{
    Take take;
    take.reserve(taps.size());
    for (const int64_t t : taps)
        take.push_back(static_cast<uint32_t>(t - taps.front()));
    return take;
}

}  // namespace

std::vector<size_t> Permutation(TakeRandom& random, size_t count)
{
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    for (size_t i = count; i-- > 1;)
        std::swap(order[i], order[static_cast<size_t>(random.Between(0, static_cast<int>(i)))]);
    return order;
}

GeneratedTake GenerateTake(TakeRandom& random, const std::vector<double>& piece, SlipKind slip)
{
    return GenerateTake(random, piece, slip, TakeOptions());
}

GeneratedTake GenerateTake(TakeRandom& random, const std::vector<double>& piece, SlipKind slip,
                           const TakeOptions& options)
{
    // The measured errors are of beats around 595 ms (their median); scaled
    // by 1 they are those measured, exactly.
    double scale = 1.0;
    if (options.ErrorFollowsTempo && piece.size() >= 2) {
        std::vector<double> lengths;
        for (size_t j = 1; j < piece.size(); ++j)
            lengths.push_back(piece[j] - piece[j - 1]);
        scale = MedianOf(lengths) / 595.0;
    }
    const double perTap = scale * random.Uniform(options.LeastNoise, options.MostNoise);
    const double innovation = perTap * 0.866;  // AR(1) at 0.5 keeps perTap as the spread
    const double lateness = random.Uniform(-40.0, 40.0);
    double error = perTap * random.Normal();
    int runLeft = 0;
    double runLag = 0.0;
    std::vector<int64_t> taps(piece.size());
    for (size_t j = 0; j < piece.size(); ++j) {
        error = 0.5 * error + innovation * random.Normal();
        double off = error;
        if (random.Chance(0.01))
            off += scale * ((random.Chance(0.5) ? 1.0 : -1.0) * random.Uniform(70.0, 130.0));
        if (runLeft == 0 && random.Chance(0.002)) {
            runLeft = random.Between(3, 8);
            runLag = scale * random.Uniform(80.0, 140.0);
        }
        if (runLeft > 0) {
            off += runLag;
            --runLeft;
        }
        const double t = 100000.0 + piece[j] + lateness + off;
        taps[j] = static_cast<int64_t>(t + 0.5);
        // Where two large errors meet, an interval stays above half its
        // beat: shorter ones come from double taps, not from jitter (the
        // 99.9th percentile of interval errors is 120 ms on beats of 314 ms
        // and more).
        if (j > 0) {
            const int64_t least = taps[j - 1] + static_cast<int64_t>(0.55 * (piece[j] - piece[j - 1]));
            taps[j] = std::max(taps[j], least);
        }
    }

    GeneratedTake result;
    result.Clean = Relative(taps);
    result.Slip = slip;
    std::vector<int64_t> slipped = taps;
    std::vector<int64_t> beats(taps.size());
    for (size_t j = 0; j < beats.size(); ++j)
        beats[j] = static_cast<int64_t>(j);
    const int n = static_cast<int>(taps.size());
    switch (slip) {
    case SlipKind::None:
        break;
    case SlipKind::Missed: {
        const int k = random.Between(8, n - 9);
        slipped.erase(slipped.begin() + k);
        beats.erase(beats.begin() + k);
        result.SlipTap = k - 1;
        break;
    }
    case SlipKind::DoubleTap: {
        const int k = random.Between(8, n - 9);
        const int64_t extra = slipped[static_cast<size_t>(k)] + random.Between(40, 120);
        slipped.insert(slipped.begin() + k + 1, extra);
        beats.insert(beats.begin() + k + 1, -1);
        result.SlipTap = k + 1;
        break;
    }
    case SlipKind::LateStart: {
        const int late = random.Between(1, 2);
        slipped.erase(slipped.begin(), slipped.begin() + late);
        beats.erase(beats.begin(), beats.begin() + late);
        result.LateBy = late;
        break;
    }
    case SlipKind::EarlyStop: {
        const int early = random.Between(5, std::max(5, n / 5));
        slipped.resize(slipped.size() - static_cast<size_t>(early));
        beats.resize(beats.size() - static_cast<size_t>(early));
        break;
    }
    case SlipKind::Stumble: {
        // One or two taps pushed or pulled by a share of their beat, the
        // same way; the tap after them is back on its beat. Each interval
        // stays above a fifth of its beat, as a hand cannot tap faster
        // without it being a double tap.
        const int k = random.Between(8, n - 10);
        const int off = random.Between(1, 2);
        const double direction = random.Chance(0.5) ? 1.0 : -1.0;
        for (int i = 0; i < off; ++i) {
            const size_t j = static_cast<size_t>(k + i);
            const double beat = direction > 0.0 ? piece[j + 1] - piece[j] : piece[j] - piece[j - 1];
            const double by = direction * random.Uniform(0.25, 0.45) * beat;
            slipped[j] = taps[j] + static_cast<int64_t>(by + (by < 0.0 ? -0.5 : 0.5));
        }
        for (size_t j = static_cast<size_t>(k); j <= static_cast<size_t>(k + off); ++j) {
            const int64_t least = slipped[j - 1] + static_cast<int64_t>(0.2 * (piece[j] - piece[j - 1])) + 1;
            slipped[j] = std::max(slipped[j], least);
        }
        result.SlipTap = k;
        result.OffTaps = off;
        break;
    }
    }
    result.Slipped = Relative(slipped);
    result.BeatOfTap = beats;
    return result;
}
