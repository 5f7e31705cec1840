#include "TakeGenerator.h"

#include <algorithm>

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

std::vector<double> GeneratePiece(TakeRandom& random, PieceStyle style, int beats)
{
    const double base = random.Uniform(330.0, 950.0);
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

GeneratedTake GenerateTake(TakeRandom& random, const std::vector<double>& piece, SlipKind slip)
{
    const double perTap = random.Uniform(15.0, 30.0);
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
            off += (random.Chance(0.5) ? 1.0 : -1.0) * random.Uniform(70.0, 130.0);
        if (runLeft == 0 && random.Chance(0.002)) {
            runLeft = random.Between(3, 8);
            runLag = random.Uniform(80.0, 140.0);
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
    }
    result.Slipped = Relative(slipped);
    result.BeatOfTap = beats;
    return result;
}
