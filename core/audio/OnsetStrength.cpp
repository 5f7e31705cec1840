#include "OnsetStrength.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace onset_detail {

namespace {

constexpr double kPi = 3.141592653589793238;

// sin x and cos x for |x| <= pi/4 from their Taylor series in Horner form;
// the first term left out is below 2e-19 there.
double SinSeries(double x)
{
    const double x2 = x * x;
    double s = 1.0;
    for (int n = 19; n >= 3; n -= 2)
        s = 1.0 - x2 / static_cast<double>(n * (n - 1)) * s;
    return x * s;
}

double CosSeries(double x)
{
    const double x2 = x * x;
    double c = 1.0;
    for (int n = 18; n >= 2; n -= 2)
        c = 1.0 - x2 / static_cast<double>(n * (n - 1)) * c;
    return c;
}

// One pass's butterflies over one block: u + w v and u - w v, the halves
// of the block being separate (so the compiler may take them four at a
// time: each element is computed alike either way).
void Butterflies(float* __restrict ur, float* __restrict ui, float* __restrict vr, float* __restrict vi,
                 const float* __restrict wr, const float* __restrict wi, size_t h)
{
    for (size_t j = 0; j < h; ++j) {
        const float tr = vr[j] * wr[j] - vi[j] * wi[j];
        const float ti = vr[j] * wi[j] + vi[j] * wr[j];
        const float xr = ur[j];
        const float xi = ui[j];
        vr[j] = xr - tr;
        vi[j] = xi - ti;
        ur[j] = xr + tr;
        ui[j] = xi + ti;
    }
}

// Two passes' butterflies at once, over one block of 4h: the pass of half
// length h on its two halves (x0 with x1, x2 with x3, twiddles w), then
// the pass of 2h on the whole (x0 with x2 by the first h twiddles of
// that pass, a, and x1 with x3 by the rest, b). Each value meets the same
// operations in the same order as in two separate passes, so the result is
// the same to the bit; the values between the passes stay in registers
// instead of being stored and loaded again (the passes are bound by
// their loads and stores).
void TwoPasses(float* __restrict r0, float* __restrict i0, float* __restrict r1, float* __restrict i1,
               float* __restrict r2, float* __restrict i2, float* __restrict r3, float* __restrict i3,
               const float* __restrict wr, const float* __restrict wi, const float* __restrict ar,
               const float* __restrict ai, const float* __restrict br, const float* __restrict bi, size_t h)
{
    for (size_t j = 0; j < h; ++j) {
        // The first pass: u + w v and u - w v on each half.
        const float t1r = r1[j] * wr[j] - i1[j] * wi[j];
        const float t1i = r1[j] * wi[j] + i1[j] * wr[j];
        const float t3r = r3[j] * wr[j] - i3[j] * wi[j];
        const float t3i = r3[j] * wi[j] + i3[j] * wr[j];
        const float y0r = r0[j] + t1r, y0i = i0[j] + t1i;
        const float y1r = r0[j] - t1r, y1i = i0[j] - t1i;
        const float y2r = r2[j] + t3r, y2i = i2[j] + t3i;
        const float y3r = r2[j] - t3r, y3i = i2[j] - t3i;
        // The second: y0 with y2, y1 with y3.
        const float s2r = y2r * ar[j] - y2i * ai[j];
        const float s2i = y2r * ai[j] + y2i * ar[j];
        const float s3r = y3r * br[j] - y3i * bi[j];
        const float s3i = y3r * bi[j] + y3i * br[j];
        r0[j] = y0r + s2r;
        i0[j] = y0i + s2i;
        r2[j] = y0r - s2r;
        i2[j] = y0i - s2i;
        r1[j] = y1r + s3r;
        i1[j] = y1i + s3i;
        r3[j] = y1r - s3r;
        i3[j] = y1i - s3i;
    }
}

}  // namespace

double CosPi(int64_t num, int64_t den)
{
    // cos(pi n / d) with n reduced to [0, 2d), then [0, d] by symmetry about
    // pi, then [0, d/2] with a sign, then to an angle of at most pi/4.
    int64_t n = num % (2 * den);
    if (n < 0)
        n += 2 * den;
    if (n > den)
        n = 2 * den - n;
    double sign = 1.0;
    if (2 * n > den) {
        n = den - n;
        sign = -1.0;
    }
    if (4 * n <= den)
        return sign * CosSeries(static_cast<double>(n) / static_cast<double>(den) * kPi);
    // cos(pi x) = sin(pi (1/2 - x)), and 1/2 - n/d = (d - 2n) / 2d.
    return sign * SinSeries(static_cast<double>(den - 2 * n) / static_cast<double>(2 * den) * kPi);
}

RealFft::RealFft(size_t size) : size_(size), half_(size / 2)
{
    uint32_t bits = 0;
    while ((size_t{1} << bits) < half_)
        ++bits;
    reversed_.resize(half_);
    for (size_t i = 0; i < half_; ++i) {
        uint32_t r = 0;
        for (uint32_t b = 0; b < bits; ++b)
            r |= ((static_cast<uint32_t>(i) >> b) & 1u) << (bits - 1 - b);
        reversed_[i] = r;
    }
    // cos and sin of 2 pi k / size, and for the butterflies of half length
    // h (a power of two below half_) the twiddles exp(-2 pi i j / 2h) at
    // [h, 2h), so that each pass reads them in a row.
    cos_.resize(half_);
    sin_.resize(half_);
    const int64_t n = static_cast<int64_t>(size_);
    for (size_t k = 0; k < half_; ++k) {
        const int64_t twice = 2 * static_cast<int64_t>(k);
        cos_[k] = static_cast<float>(CosPi(twice, n));
        // sin(2 pi k / n) = cos(pi (n - 4k) / 2n)
        sin_[k] = static_cast<float>(CosPi(n - 2 * twice, 2 * n));
    }
    passCos_.assign(half_, 0.0f);
    passSin_.assign(half_, 0.0f);
    for (size_t h = 1; h < half_; h *= 2) {
        const size_t step = half_ / h;  // exp(-2 pi i j / 2h) = entry j * step
        for (size_t j = 0; j < h; ++j) {
            passCos_[h + j] = cos_[j * step];
            passSin_[h + j] = -sin_[j * step];
        }
    }
    re_.resize(half_);
    im_.resize(half_);
}

void RealFft::Power(const float* input, float* power, size_t bins)
{
    // The even samples as real parts and the odd as imaginary parts of a
    // complex FFT of half the size, taken in bit-reversed order four at a
    // time, straight into the first two passes of a radix-2 decimation in
    // time (their twiddles are 1 and -i): storing them reordered first and
    // loading them again took a quarter of the transform.
    float* re = re_.data();
    float* im = im_.data();
    const uint32_t* reversed = reversed_.data();
    for (size_t start = 0; start + 3 < half_; start += 4) {
        const size_t a = 2 * size_t{reversed[start]}, b = 2 * size_t{reversed[start + 1]};
        const size_t c = 2 * size_t{reversed[start + 2]}, d = 2 * size_t{reversed[start + 3]};
        const float r0 = input[a] + input[b], i0 = input[a + 1] + input[b + 1];
        const float r1 = input[a] - input[b], i1 = input[a + 1] - input[b + 1];
        const float r2 = input[c] + input[d], i2 = input[c + 1] + input[d + 1];
        const float r3 = input[c] - input[d], i3 = input[c + 1] - input[d + 1];
        float* r = re + start;
        float* i = im + start;
        r[0] = r0 + r2;
        i[0] = i0 + i2;
        r[2] = r0 - r2;
        i[2] = i0 - i2;
        // -i (r3 + i i3) = i3 - i r3
        r[1] = r1 + i3;
        i[1] = i1 - r3;
        r[3] = r1 - i3;
        i[3] = i1 + r3;
    }
    size_t h = 4;
    for (; 4 * h <= half_; h *= 4) {
        const float* wr = passCos_.data() + h;
        const float* wi = passSin_.data() + h;
        const float* ar = passCos_.data() + 2 * h;
        const float* ai = passSin_.data() + 2 * h;
        for (size_t start = 0; start < half_; start += 4 * h) {
            float* r = re + start;
            float* i = im + start;
            TwoPasses(r, i, r + h, i + h, r + 2 * h, i + 2 * h, r + 3 * h, i + 3 * h, wr, wi, ar, ai, ar + h, ai + h, h);
        }
    }
    for (; h < half_; h *= 2) {
        const float* wr = passCos_.data() + h;
        const float* wi = passSin_.data() + h;
        for (size_t start = 0; start < half_; start += 2 * h)
            Butterflies(re + start, im + start, re + start + h, im + start + h, wr, wi, h);
    }
    // The real input's bins from the half-size transform Z:
    // X[k] = (Z[k] + conj Z[h-k]) / 2 - i exp(-2 pi i k / n) (Z[k] - conj Z[h-k]) / 2,
    // and X[0] and X[h] from Z[0] alone.
    if (bins > 0)
        power[0] = (re[0] + im[0]) * (re[0] + im[0]);
    const size_t inner = bins < half_ ? bins : half_;
    for (size_t k = 1; k < inner; ++k) {
        const size_t m = half_ - k;
        const float er = 0.5f * (re[k] + re[m]);
        const float ei = 0.5f * (im[k] - im[m]);
        const float or_ = 0.5f * (im[k] + im[m]);
        const float oi = -0.5f * (re[k] - re[m]);
        const float wr = cos_[k];
        const float wi = -sin_[k];
        const float xr = er + (or_ * wr - oi * wi);
        const float xi = ei + (or_ * wi + oi * wr);
        power[k] = xr * xr + xi * xi;
    }
    if (bins > half_)
        power[half_] = (re[0] - im[0]) * (re[0] - im[0]);
}

double FineRiseFrame(const std::vector<float>& fine, size_t peak, double hopMs)
{
    const auto look = static_cast<size_t>(std::floor(kFineRiseLookMs / hopMs + 0.5));
    const size_t first = peak > look ? peak - look : 0;
    const auto value = [&](size_t f) { return static_cast<double>(fine[f]); };
    double low = value(peak);
    for (size_t f = first; f < peak; ++f)
        low = std::min(low, value(f));
    const double threshold = low + kFineRiseShare * (value(peak) - low);
    size_t f = peak;
    while (f > first && value(f - 1) > threshold)
        --f;
    if (f == first || !(value(f) > value(f - 1)))
        return static_cast<double>(f);
    return static_cast<double>(f - 1) + (threshold - value(f - 1)) / (value(f) - value(f - 1));
}

double FineLagMs(double fineWindowMs, double hopMs)
{
    return fineWindowMs / 2 - kFineRiseLagHops * hopMs - kSpeaksMs;
}

}  // namespace onset_detail

using namespace onset_detail;

namespace {

// The bins the flux sums: from about 40 Hz (below, a change of level is
// rumble, not an attack) to 16 kHz (above, little but noise, and nothing at
// the lower rates).
constexpr uint32_t kLowHz = 40;
constexpr uint32_t kHighHz = 16000;
// The low band's top: kicks and bass notes, below the chords' and the
// melody's fundamentals.
constexpr uint32_t kLowTopHz = 200;

// A flux below this (in units of the fourth root of a full-scale sine's
// magnitude, per bin) is silence: the normalising never divides by less,
// so the hiss of an empty lead-in stays weak.
constexpr float kFluxFloor = 0.01f;
// The same for the swell, whose rises last tens of frames: a steady tone's
// magnitudes, wavering a little from frame to frame as its phase against
// the window turns, give a swell of about 0.001 (a sawtooth at full
// scale), which no beat may be snapped onto; a soft pad's chords give 0.02
// and more.
constexpr float kSwellFloor = 0.03f;

// Normalising: the strongest flux within kPlateauMs either side counts in
// full; beyond it, a flux counts half as much for every further kHalvingMs.
constexpr uint32_t kPlateauMs = 500;
constexpr uint32_t kHalvingMs = 100;

// PickOnsets' mean: from kMeanBeforeMs before a frame to kMeanAfterMs after.
constexpr double kMeanBeforeMs = 100;
constexpr double kMeanAfterMs = 70;

// The detector's lag. The fourth root makes a sound's compressed magnitude
// jump as soon as the sound enters the window's leading edge, WindowMs / 2
// after the frame's centre, so the flux peaks about one hop later: a
// strength peak lies WindowMs / 2 - kLagHops * HopMs (17.5 ms) before the
// sound it belongs to. Measured after this correction (before kSpeaksMs)
// on synthesized sounds at 8, 16, 22.05, 44.1, 48 and 96 kHz, 60 at each rate, at random sample
// positions and levels over 40 dB: one-sample clicks -0.24 to 0 ms on
// average (every one within -0.62 and +0.39 ms); 4 ms bursts of noise
// 0 to +0.15 ms (-0.60 to +0.75 ms); tones rising linearly over 2, 5 and
// 10 ms +0.2 to +0.6 ms (-0.42 to +1.8 ms; their first cycles are quiet).
constexpr double kLagHops = 1.0;

uint32_t Rounded(double x)
{
    return static_cast<uint32_t>(x + 0.5);
}

}  // namespace

namespace {

// The frame is folded onto a transform of half its length or more: that
// transform's bins are every other bin of the frame's own, at most
// 2 / length cycles a sample apart, the half width of the Hann window's
// main lobe, so no partial falls between them; and it costs half as much.
size_t FftSizeFor(size_t length)
{
    size_t n = 8;
    while (2 * n < length)
        n *= 2;
    return n;
}

// The sum of `count` values, in eight running parts combined in a fixed
// order: the parts may be added several at a time, and the result is the
// same on every build.
float SumInParts(const float* values, size_t count)
{
    float parts[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    size_t k = 0;
    for (; k + 8 <= count; k += 8)
        for (size_t j = 0; j < 8; ++j)
            parts[j] += values[k + j];
    for (size_t j = 0; k < count; ++k, ++j)
        parts[j] += values[k];
    return ((parts[0] + parts[1]) + (parts[2] + parts[3])) + ((parts[4] + parts[5]) + (parts[6] + parts[7]));
}

}  // namespace

// The flux of one window length: a frame's compressed magnitudes against
// the frame before's.
struct OnsetStrengthSink::Flux {
    // lowBand: whether Of also takes the low band's flux (lowFlux).
    Flux(uint32_t rate, double windowMs, bool lowBand);
    // The flux of the frame centred on centre[0] (reach samples either side
    // readable).
    float Of(const float* centre);

    uint32_t reach;  // samples either side of the centre
    size_t length;   // 2 * reach + 1
    std::vector<float> window;
    RealFft fft;
    size_t low;   // first bin summed
    size_t high;  // last bin summed
    bool lowBand;
    size_t lowTop;      // last bin of the low band
    float lowFlux = 0;  // the low band's flux of the frame Of was last given
    std::vector<float> frame;
    std::vector<float> power;
    std::vector<float> previous;  // compressed magnitudes of the frame before
    std::vector<float> current;
};

// Slow attacks: a bowed or swelled note rising over 30 to 80 ms adds a
// little to each frame's magnitudes, less than the hiss and the vibrato of
// what rings on change them from one frame to the next, so its flux is
// buried. Here each bin's compressed magnitude first loses its noise
// floor (tracked per bin: quickly down, slowly up, so a held chord does
// not become floor within its own length), and what is left is compared
// with the frame kSwellLagMs before: a rise over that span stands out
// where a frame's step did not.
struct OnsetStrengthSink::Swell {
    Swell(size_t bins, size_t lagFrames, double hopMs);
    void Reset();
    // The swell of a frame, from its compressed magnitudes (bins [low - 1,
    // high + 1]).
    float Of(const std::vector<float>& magnitudes, size_t low, size_t high);

    size_t bins;
    size_t lag;                 // frames compared back
    float holdDecay;            // per frame
    std::vector<float> floor;               // per bin
    std::vector<std::vector<float>> rows;   // the last lag frames' cleaned magnitudes
    std::vector<float> fresh;               // this frame's
    std::vector<float> hold;                // per bin: the most since, fading
    std::vector<float> rise;                // this frame's, per bin
    size_t row = 0;                         // the oldest of rows, replaced next
    size_t seen = 0;            // frames so far, up to lag
};

OnsetStrengthSink::Flux::Flux(uint32_t rate, double windowMs, bool withLowBand)
    : reach(Rounded(rate * (windowMs / 2000))), length(2 * size_t{reach} + 1), fft(FftSizeFor(length)),
      lowBand(withLowBand)
{
    // Hann, its zero ends left off so that all 2 * reach + 1 samples count:
    // w[n] = (1 + cos(pi (n - reach) / (reach + 1))) / 2. Scaled so that a
    // full-scale sine at a bin's frequency has magnitude 1.
    window.resize(length);
    double sum = 0;
    for (size_t n = 0; n < length; ++n) {
        const double w = 0.5 + 0.5 * CosPi(static_cast<int64_t>(n) - reach, int64_t{reach} + 1);
        window[n] = static_cast<float>(w);
        sum += w;
    }
    const float scale = static_cast<float>(2.0 / sum);
    for (float& w : window)
        w *= scale;
    const size_t n = fft.Size();
    low = std::max<size_t>(1, static_cast<size_t>(uint64_t{kLowHz} * n / rate));
    high = std::min<size_t>(n / 2 - 1, static_cast<size_t>(uint64_t{kHighHz} * n / rate));
    if (high < low)
        high = low;
    lowTop = std::min(high, std::max(low, static_cast<size_t>(uint64_t{kLowTopHz} * n / rate)));
    frame.assign(n, 0.0f);
    power.resize(high + 2);
    previous.assign(high + 2, 0.0f);
    current.resize(high + 2);
}

float OnsetStrengthSink::Flux::Of(const float* centre)
{
    const float* samples = centre - reach;
    float* f = frame.data();
    const size_t size = fft.Size();
    const size_t folded = length > size ? length - size : 0;  // at most size
    for (size_t n = 0; n < folded; ++n)
        f[n] = samples[n] * window[n] + samples[n + size] * window[n + size];
    for (size_t n = folded; n < std::min(size, length); ++n)
        f[n] = samples[n] * window[n];
    const size_t bins = high + 2;
    fft.Power(f, power.data(), bins);
    // The fourth root of the magnitude: the eighth root of the power.
    for (size_t k = low - 1; k < bins; ++k)
        current[k] = std::sqrt(std::sqrt(std::sqrt(power[k])));
    // Every bin alike and without branches, the sum in eight running parts
    // combined in a fixed order (as the swell's): the compiler may take the
    // bins several at a time, and every build still adds them alike.
    const float* before = previous.data();
    const float* now = current.data();
    float* up = power.data();  // the power is spent; it holds the rises
    for (size_t k = low; k <= high; ++k) {
        const float r = now[k] - std::max(before[k - 1], std::max(before[k], before[k + 1]));
        up[k] = r > 0 ? r : 0.0f;
    }
    const float sum = SumInParts(up + low, high - low + 1);
    if (lowBand)
        lowFlux = SumInParts(up + low, lowTop - low + 1) / static_cast<float>(lowTop - low + 1);
    previous.swap(current);
    return sum / static_cast<float>(high - low + 1);
}

namespace {

// The noise floor follows a bin down by this share of the way a frame
// (about 25 ms to settle) and up by kFloorUp (about 1.2 s): a note held
// for a few beats stays well above it, the hiss under it does not.
constexpr float kFloorDown = 0.1f;
constexpr float kFloorUp = 0.002f;
// A bin's rise counts above the most it held since the frame compared
// with, that falling by half every kHoldHalvingMs: chorus, vibrato and a
// string's bowing make partials swell and fade by themselves, and each
// such swell would count again where it only comes back.
constexpr double kHoldHalvingMs = 85;
// What stands less than this factor above the floor is noise: 4 times its
// power, as compressed magnitudes are the eighth root of power, 4^(1/8).
constexpr float kAboveFloor = 1.1892071f;

}  // namespace

OnsetStrengthSink::Swell::Swell(size_t binCount, size_t lagFrames, double hopMs)
    : bins(binCount), lag(lagFrames), holdDecay(static_cast<float>(1.0 - 0.6931471805599453 * hopMs / kHoldHalvingMs))
{
    Reset();
}

void OnsetStrengthSink::Swell::Reset()
{
    floor.assign(bins, 0.0f);
    rows.assign(lag, std::vector<float>(bins, 0.0f));
    fresh.assign(bins, 0.0f);
    hold.assign(bins, 0.0f);
    rise.assign(bins, 0.0f);
    row = 0;
    seen = 0;
}

float OnsetStrengthSink::Swell::Of(const std::vector<float>& magnitudes, size_t low, size_t high)
{
    // Each loop below treats every bin alike, without branches, so that
    // the compiler may take them several at a time; the sum is then taken
    // in eight running parts, combined in a fixed order: the same on
    // every build.
    const float* c = magnitudes.data();
    float* f = floor.data();
    float* now = fresh.data();
    if (seen == 0)
        std::copy(c, c + bins, f);
    for (size_t k = low - 1; k <= high + 1; ++k) {
        const float d = c[k] - f[k];
        f[k] += (d < 0 ? kFloorDown : kFloorUp) * d;
        const float above = c[k] - kAboveFloor * f[k];
        now[k] = above > 0 ? above : 0.0f;
    }
    // Against the frame lag back, bin by bin, its largest of three
    // neighbouring bins (as for the flux), or the most held since.
    std::vector<float>& oldRow = rows[row];
    const bool compared = seen >= lag;
    float sum = 0;
    if (compared) {
        const float* old = oldRow.data();
        float* held = hold.data();
        float* up = rise.data();
        for (size_t k = low; k <= high; ++k) {
            const float back = std::max(old[k - 1], std::max(old[k], old[k + 1]));
            const float h = std::max(back, held[k] * holdDecay);
            held[k] = h;
            const float r = now[k] - h;
            up[k] = r > 0 ? r : 0.0f;
        }
        sum = SumInParts(up + low, high - low + 1);
    }
    oldRow.swap(fresh);
    row = row + 1 == lag ? 0 : row + 1;
    if (seen < lag)
        ++seen;
    return compared ? sum / static_cast<float>(high - low + 1) : 0.0f;
}

struct OnsetStrengthSink::Analysis {
    explicit Analysis(uint32_t sampleRate)
        : rate(sampleRate),
          hop(std::max<uint32_t>(1, Rounded(sampleRate * (kHopMs / 1000)))),
          coarse(sampleRate, kWindowMs, true),
          fine(sampleRate, kFineWindowMs, false),
          swell(coarse.high + 2, std::max<size_t>(1, Rounded(kSwellLagMs * sampleRate / 1000 / hop)),
                static_cast<double>(hop) * 1000 / sampleRate)
    {
    }

    uint32_t rate;
    uint32_t hop;
    Flux coarse;
    Flux fine;
    Swell swell;
};

OnsetStrengthSink::OnsetStrengthSink() = default;

OnsetStrengthSink::~OnsetStrengthSink() = default;

namespace {

// Every flux divided by the largest within the plateau either side (van
// Herk / Gil-Werman: running maxima within blocks from both ends), spread
// outwards by a factor of `decay` per frame both ways, and never by less
// than the floor of silence; at most 1.
std::vector<float> Normalised(const std::vector<float>& flux, uint32_t rate, uint32_t hop, float silence)
{
    const size_t n = flux.size();
    const size_t plateau = (size_t{rate} * kPlateauMs / 1000 + hop / 2) / hop;
    const size_t block = 2 * plateau + 1;
    std::vector<float> ahead(n), behind(n), level(n);
    for (size_t i = 0; i < n; ++i)
        ahead[i] = i % block == 0 ? flux[i] : std::max(ahead[i - 1], flux[i]);
    for (size_t i = n; i-- > 0;)
        behind[i] = (i + 1) % block == 0 || i + 1 == n ? flux[i] : std::max(behind[i + 1], flux[i]);
    for (size_t i = 0; i < n; ++i) {
        // max over [i - plateau, i + plateau] = max(behind[lo], ahead[hi])
        const size_t lo = i >= plateau ? i - plateau : 0;
        const size_t hi = std::min(n - 1, i + plateau);
        if (lo / block != hi / block)
            level[i] = std::max(behind[lo], ahead[hi]);
        else if (lo % block == 0)
            level[i] = ahead[hi];
        else  // cut short by the end
            level[i] = behind[lo];
    }
    const double framesPerHalving = static_cast<double>(rate) * kHalvingMs / 1000 / hop;
    const float decay = static_cast<float>(1.0 - 0.6931471805599453 / framesPerHalving);
    for (size_t i = 1; i < n; ++i)
        level[i] = std::max(level[i], level[i - 1] * decay);
    for (size_t i = n > 0 ? n - 1 : 0; i-- > 0;)
        level[i] = std::max(level[i], level[i + 1] * decay);
    std::vector<float> values(n);
    for (size_t i = 0; i < n; ++i) {
        const float v = flux[i] / std::max(level[i], silence);
        values[i] = v < 1.0f ? v : 1.0f;
    }
    return values;
}

}  // namespace

void OnsetStrengthSink::Begin(const AudioFormat& format)
{
    const uint32_t rate = std::min(kMaxSampleRate, std::max(kMinSampleRate, format.sampleRate));
    if (!analysis_ || analysis_->rate != rate)
        analysis_ = std::make_unique<Analysis>(rate);
    std::fill(analysis_->coarse.previous.begin(), analysis_->coarse.previous.end(), 0.0f);
    std::fill(analysis_->fine.previous.begin(), analysis_->fine.previous.end(), 0.0f);
    analysis_->swell.Reset();
    result_ = OnsetStrength();
    flux_.clear();
    fineFlux_.clear();
    swellFlux_.clear();
    lowFlux_.clear();
    if (format.frames > 0 && format.frames < (uint64_t{1} << 40)) {
        flux_.reserve(static_cast<size_t>(format.frames / analysis_->hop + 1));
        fineFlux_.reserve(flux_.capacity());
        swellFlux_.reserve(flux_.capacity());
        lowFlux_.reserve(flux_.capacity());
    }
    // Before the first sample the window sees silence. The frames centred
    // before it are analysed too (and not kept), so that frame 0 is compared
    // with the frame before it like every other: a sound in the first
    // samples is then an onset like any other.
    frames_ = 0;
    nextFrame_ = -static_cast<int64_t>(analysis_->coarse.reach / analysis_->hop + 1);
    bufferStart_ = FirstSample(nextFrame_);
    pending_.assign(static_cast<size_t>(-bufferStart_), 0.0f);
}

void OnsetStrengthSink::Consume(const float* samples, size_t frames, uint32_t channels)
{
    if (!analysis_ || channels == 0)
        return;
    const size_t before = pending_.size();
    pending_.resize(before + frames);
    float* out = pending_.data() + before;
    const float perChannel = 1.0f / static_cast<float>(channels);
    for (size_t i = 0; i < frames; ++i) {
        float s = samples[i * channels];
        if (channels > 1) {
            for (uint32_t c = 1; c < channels; ++c)
                s += samples[i * channels + c];
            s *= perChannel;
        }
        if (!(s >= -16.0f && s <= 16.0f))
            s = s > 16.0f ? 16.0f : (s < -16.0f ? -16.0f : 0.0f);
        out[i] = s;
    }
    frames_ += frames;
    // Every frame whose (longer) window is complete.
    const Analysis& a = *analysis_;
    for (;;) {
        const size_t at = static_cast<size_t>(FirstSample(nextFrame_) - bufferStart_);
        if (at + a.coarse.length > pending_.size())
            break;
        Analyse(pending_.data() + at);
        ++nextFrame_;
    }
    // Drop what no later frame reads (once a block, not once a frame).
    const size_t unread = static_cast<size_t>(FirstSample(nextFrame_) - bufferStart_);
    if (unread > 0) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(unread));
        bufferStart_ += static_cast<int64_t>(unread);
    }
}

int64_t OnsetStrengthSink::FirstSample(int64_t frame) const
{
    return frame * analysis_->hop - analysis_->coarse.reach;
}

void OnsetStrengthSink::Analyse(const float* samples)
{
    Analysis& a = *analysis_;
    const float* centre = samples + a.coarse.reach;
    const float coarse = a.coarse.Of(centre);
    const float fine = a.fine.Of(centre);
    const float swell = a.swell.Of(a.coarse.previous, a.coarse.low, a.coarse.high);
    if (nextFrame_ >= 0) {
        flux_.push_back(coarse);
        fineFlux_.push_back(fine);
        swellFlux_.push_back(swell);
        lowFlux_.push_back(a.coarse.lowFlux);
    }
}

void OnsetStrengthSink::End()
{
    if (!analysis_)
        return;
    const Analysis& a = *analysis_;
    // The frames centred on the last samples see silence after them.
    const int64_t total = static_cast<int64_t>((frames_ + a.hop - 1) / a.hop);
    if (nextFrame_ < total) {
        const std::vector<float> silence(a.coarse.length, 0.0f);
        pending_.insert(pending_.end(), silence.begin(), silence.end());
        while (nextFrame_ < total) {
            Analyse(pending_.data() + static_cast<size_t>(FirstSample(nextFrame_) - bufferStart_));
            ++nextFrame_;
        }
    }
    pending_.clear();
    pending_.shrink_to_fit();

    result_.HopMs = static_cast<double>(a.hop) * 1000 / a.rate;
    result_.WindowMs = static_cast<double>(a.coarse.length) * 1000 / a.rate;
    result_.FineWindowMs = static_cast<double>(a.fine.length) * 1000 / a.rate;
    result_.Values = Normalised(flux_, a.rate, a.hop, kFluxFloor);
    flux_.clear();
    flux_.shrink_to_fit();
    result_.Fine = Normalised(fineFlux_, a.rate, a.hop, kFluxFloor);
    fineFlux_.clear();
    fineFlux_.shrink_to_fit();
    result_.SwellLagMs = static_cast<double>(a.swell.lag * a.hop) * 1000 / a.rate;
    result_.Swell = Normalised(swellFlux_, a.rate, a.hop, kSwellFloor);
    swellFlux_.clear();
    swellFlux_.shrink_to_fit();
    result_.Low = Normalised(lowFlux_, a.rate, a.hop, kFluxFloor);
    lowFlux_.clear();
    lowFlux_.shrink_to_fit();
}

ScanOutcome BuildOnsetStrength(AudioDecoder& decoder, OnsetStrength& strength, const ScanProgress& progress)
{
    OnsetStrengthSink sink;
    const ScanOutcome outcome = ScanAudio(decoder, {&sink}, progress);
    strength = outcome.result == ScanResult::Done ? sink.Result() : OnsetStrength();
    return outcome;
}

ScanOutcome BuildEnvelopeAndOnsetStrength(AudioDecoder& decoder, PeakEnvelope& envelope, OnsetStrength& strength,
                                          const ScanProgress& progress)
{
    OnsetStrengthSink sink;
    const ScanOutcome outcome = ScanAudio(decoder, {&envelope, &sink}, progress);
    strength = outcome.result == ScanResult::Done ? sink.Result() : OnsetStrength();
    return outcome;
}

std::vector<Onset> PickOnsets(const OnsetStrength& strength, float threshold)
{
    std::vector<Onset> onsets;
    const std::vector<float>& v = strength.Values;
    const size_t n = v.size();
    if (n == 0 || !(strength.HopMs > 0))
        return onsets;
    const double hop = strength.HopMs;
    const size_t radius = std::max<size_t>(1, Rounded(kOnsetPeakMs / hop));
    const size_t before = Rounded(kMeanBeforeMs / hop);
    const size_t after = Rounded(kMeanAfterMs / hop);
    std::vector<double> sums(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i)
        sums[i + 1] = sums[i] + v[i];
    const std::vector<float>& fine = strength.Fine;
    const bool placing = fine.size() == n && n >= 3;
    std::vector<double> fineSums(placing ? n + 1 : 0, 0.0);
    for (size_t i = 0; placing && i < n; ++i)
        fineSums[i + 1] = fineSums[i] + fine[i];
    const double lag = strength.WindowMs / 2 - kLagHops * hop - kSpeaksMs;
    // The fine strength's peaks are looked for around their tops' times;
    // an onset lies where its peak rose.
    const double fineLag = strength.FineWindowMs / 2 - kLagHops * hop - kSpeaksMs;
    const double riseLag = FineLagMs(strength.FineWindowMs, hop);
    for (size_t i = 0; i < n; ++i) {
        const float peak = v[i];
        if (!(peak > 0))
            continue;
        // The largest within the radius; of equal neighbours the first.
        bool largest = true;
        for (size_t j = i > radius ? i - radius : 0; j < i && largest; ++j)
            largest = v[j] < peak;
        for (size_t j = i + 1; j <= std::min(n - 1, i + radius) && largest; ++j)
            largest = v[j] <= peak;
        if (!largest)
            continue;
        const size_t lo = i > before ? i - before : 0;
        const size_t hi = std::min(n - 1, i + after);
        const double mean = (sums[hi + 1] - sums[lo]) / static_cast<double>(hi - lo + 1);
        if (peak < mean + threshold)
            continue;
        const double left = i > 0 ? v[i - 1] : 0.0;
        const double right = i + 1 < n ? v[i + 1] : 0.0;
        const double bend = left - 2.0 * peak + right;
        double shift = bend < 0 ? 0.5 * (left - right) / bend : 0.0;
        shift = std::max(-0.5, std::min(0.5, shift));
        double time = (static_cast<double>(i) + shift) * hop + lag;
        // Placed by the fine curve: of its peaks from kFineBeforeMs before
        // to kFineAfterMs after, of at least the threshold above its mean
        // around (as the onset stands above the strength's) and half the
        // strongest there (the short window also sees held notes beat),
        // the earliest (an attack's first note: as the snapping places
        // beats).
        if (placing) {
            const double centre = (time - fineLag) / hop;
            // Clear of the fine strength's own level, as the onset is of its.
            const double fineMean = (fineSums[hi + 1] - fineSums[lo]) / static_cast<double>(hi - lo + 1);
            const double first = std::max(1.0, std::ceil(centre - kFineBeforeMs / hop));
            const double last = std::min(static_cast<double>(n - 2), std::floor(centre + kFineAfterMs / hop));
            float top = 0;
            for (double f = first; f <= last; f += 1.0)
                top = std::max(top, fine[static_cast<size_t>(f)]);
            size_t best = 0;
            for (double f = first; f <= last && best == 0; f += 1.0) {
                const auto k = static_cast<size_t>(f);
                if (fine[k] >= fineMean + threshold && fine[k] >= 0.5f * top && fine[k] >= fine[k - 1] && fine[k] >= fine[k + 1])
                    best = k;
            }
            if (best > 0)
                time = FineRiseFrame(fine, best, hop) * hop + riseLag;
        }
        time = time > 0 ? time : 0.0;
        // Two peaks of the long window 15 ms apart may each choose a fine
        // peak, and where those rose may meet or cross: one attack, listed
        // once, as strong as the stronger, where it was placed first (an
        // onset found at or before the one before it is never listed out
        // of order, nor twice).
        if (!onsets.empty() && !(time > onsets.back().TimeMs)) {
            onsets.back().Strength = std::max(onsets.back().Strength, peak);
            continue;
        }
        onsets.push_back(Onset{time, peak});
    }
    return onsets;
}

std::string OnsetStrengthDigest(const OnsetStrength& strength)
{
    static const char kDigits[] = "0123456789abcdef";
    const auto hex = [](std::string& out, uint64_t bits, int digits) {
        for (int d = digits - 1; d >= 0; --d)
            out += kDigits[(bits >> (4 * d)) & 15];
    };
    std::string out;
    out.reserve(100 + (strength.Values.size() + strength.Fine.size() + strength.Swell.size() + strength.Low.size()) * 9);
    uint64_t bits = 0;
    out += "hop ";
    std::memcpy(&bits, &strength.HopMs, sizeof bits);
    hex(out, bits, 16);
    out += " window ";
    std::memcpy(&bits, &strength.WindowMs, sizeof bits);
    hex(out, bits, 16);
    out += " fine ";
    std::memcpy(&bits, &strength.FineWindowMs, sizeof bits);
    hex(out, bits, 16);
    out += " swell ";
    std::memcpy(&bits, &strength.SwellLagMs, sizeof bits);
    hex(out, bits, 16);
    for (const std::vector<float>* values : {&strength.Values, &strength.Fine, &strength.Swell, &strength.Low}) {
        out += " values " + std::to_string(values->size()) + "\n";
        for (size_t i = 0; i < values->size(); ++i) {
            uint32_t b = 0;
            std::memcpy(&b, &(*values)[i], sizeof b);
            hex(out, b, 8);
            out += (i % 8 == 7 || i + 1 == values->size()) ? '\n' : ' ';
        }
    }
    return out;
}
