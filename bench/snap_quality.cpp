// Quality of the snapping onto a recording's onsets, on recordings made
// here whose beats are known: six kinds of music, each tapped along as
// people tap (tests/support/TakeGenerator, plus a lead or lag of -60 to
// +100 ms per take), with one take and with five, through the pipeline with
// and without snapping, against the true beats on the recording's timeline.
//
//   snap_quality [--rendered] [RECORDINGS] [FIRST] [LAG]
//
// (default 60 of each kind, from 1; LAG in ms replaces the onset
// detector's own lag, WindowMs / 2 - HopMs, where its curve is placed).
//
// --rendered: the same music played as MIDI by fluidsynth with Debian's
// General MIDI soundfont (fluid-soundfont-gm) at 44.1 kHz, piano, brass
// stabs, strings or a warm pad, the GM drum kit; the true beats are the
// note-on times. fluidsynth's sound starts 2 to 8 ms after its note-ons
// (measured: a closed hat 2.6 ms, the piano 6 ms), which counts as error.
//
// The recordings (mono, 12 kHz, 64 beats after a lead-in of 1 to 3 s, a
// faint hiss throughout):
// - piano: an expressive piece (rubato, arched phrases, held last beats);
//   a bass note and a chord on every beat, decaying partials (slightly
//   stretched, the higher ones dying faster), a melody between the beats
//   (eighths or triplets, a few ms of timing of their own), phrase-long
//   swells of 12 dB and notes louder or softer by 6 dB;
// - drums: a steady groove, kick on 1 and 3, snare on 2 and 4, closed hats
//   on every eighth (the off-beat ones as loud as the on-beat ones, an open
//   hat now and then on the off-beat), a sixteenth kick pick-up sometimes;
// - pad: strings or pad chords changing on every beat with attacks that
//   rise over 30 to 80 ms, sustaining into the next;
// - rests: the piano's material with stretches of 4 to 8 beats of silence
//   or of one held chord (no onsets), every third phrase;
// - fast: the piano's material with sixteenths under every beat, the
//   beat's own note hardly louder than the ones between;
// - accents: a soft kick and bass note on the beat, chord stabs on every
//   off-beat and now and then on the sixteenth after the beat, several
//   times stronger.
// Their onset strength is the program's own (core/audio BuildOnsetStrength,
// its fine strength too,
// fed the samples through a decoder over memory), its lag set against by
// the curve's start.
//
// Per kind and number of takes, four roads through the pipeline (all lined
// up with the recording, the takes anchored): plain; plain with the
// automatic smoothing; snapped; repaired, snapped and smoothed. Columns: the
// median absolute beat error on the recording's timeline (the lag is an
// error here: the map is to sit on the recording), the RMS interval error,
// the share of beats more than 70 ms off, and for the snapped roads the
// share of recordings whose median absolute beat error snapping made more than 10 %
// worse than the same road without it. Exits 1 when a goal is not met.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "AudioDecoder.h"
#include "BeatSnapping.h"
#include "OnsetStrength.h"
#include "PeakEnvelope.h"
#include "RecordingOnsets.h"
#include "TakeGenerator.h"
#include "TempoPipeline.h"

namespace {

constexpr double Rate = 12000.0;
constexpr double Pi = 3.14159265358979323846;

enum class Kind { Piano, Drums, Pad, Rests, Fast, Accents };
const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Piano: return "piano (expressive)";
    case Kind::Drums: return "drum groove";
    case Kind::Pad: return "pad/strings (soft attacks)";
    case Kind::Rests: return "rests and held chords";
    case Kind::Fast: return "fast passages";
    case Kind::Accents: return "off-beat accents";
    }
    return "";
}

// The recording: samples and the beats it was made on (ms from its first
// sample).
struct Recording {
    std::vector<float> Samples;
    double SampleRate = Rate;
    std::vector<double> Beats;
    // What plays a rendered recording's swelled notes ("strings" or "warm
    // pad"); empty for recordings made in code.
    std::string Swell;
};

class Synth {
public:
    Synth(TakeRandom& random, size_t length) : random_(random), out_(length, 0.0f) {}

    // A struck note: partials of a stretched harmonic series decaying
    // exponentially (the higher faster), a 2 ms attack.
    void Struck(double atMs, double freq, double amp, double decaySeconds, int partials)
    {
        for (int k = 1; k <= partials; ++k) {
            const double f = freq * k * (1.0 + 0.0004 * k * k);
            if (f > 0.45 * Rate)
                break;
            const double tau = decaySeconds / (0.6 + 0.4 * k);
            Partial(atMs, f, amp / k, tau, 0.002, 4.0 * tau, random_.Uniform(0.0, 2.0 * Pi));
        }
    }

    // A bowed or pad note: a slow linear rise, a sustain, a release.
    void Swelled(double atMs, double freq, double amp, double riseMs, double holdMs)
    {
        for (int k = 1; k <= 6; ++k) {
            const double f = freq * k;
            if (f > 0.45 * Rate)
                break;
            const size_t start = Index(atMs);
            const size_t rise = static_cast<size_t>(riseMs * Rate / 1000.0);
            const size_t hold = static_cast<size_t>(holdMs * Rate / 1000.0);
            const size_t release = static_cast<size_t>(0.25 * Rate);
            const double w = 2.0 * Pi * f / Rate;
            double phase = random_.Uniform(0.0, 2.0 * Pi);
            const double a = amp / k;
            // A slow vibrato keeps the partials from being too clean.
            for (size_t i = 0; i < rise + hold + release && start + i < out_.size(); ++i) {
                double env = i < rise ? static_cast<double>(i) / static_cast<double>(rise)
                                      : i < rise + hold ? 1.0
                                                        : 1.0 - static_cast<double>(i - rise - hold) / static_cast<double>(release);
                phase += w * (1.0 + 0.002 * std::sin(2.0 * Pi * 5.0 * static_cast<double>(i) / Rate));
                out_[start + i] += static_cast<float>(a * env * std::sin(phase));
            }
        }
    }

    // A kick: a sine falling from 120 to 50 Hz, 150 ms.
    void Kick(double atMs, double amp)
    {
        const size_t start = Index(atMs);
        double phase = 0.0;
        for (size_t i = 0; i < static_cast<size_t>(0.4 * Rate) && start + i < out_.size(); ++i) {
            const double t = static_cast<double>(i) / Rate;
            const double f = 50.0 + 70.0 * std::exp(-t / 0.04);
            phase += 2.0 * Pi * f / Rate;
            out_[start + i] += static_cast<float>(amp * std::exp(-t / 0.15) * std::sin(phase) * std::min(1.0, t / 0.001));
        }
    }

    // Noise through a one-pole high-pass (hats) or not (snare), decaying.
    void Noise(double atMs, double amp, double decaySeconds, double highPass, double toneHz)
    {
        const size_t start = Index(atMs);
        const double k = std::exp(-2.0 * Pi * highPass / Rate);
        double low = 0.0;
        double phase = 0.0;
        for (size_t i = 0; i < static_cast<size_t>(5.0 * decaySeconds * Rate) && start + i < out_.size(); ++i) {
            const double t = static_cast<double>(i) / Rate;
            const double x = random_.Uniform(-1.0, 1.0);
            low = k * low + (1.0 - k) * x;
            const double hp = highPass > 0.0 ? x - low : x;
            phase += 2.0 * Pi * toneHz / Rate;
            const double tone = toneHz > 0.0 ? 0.5 * std::sin(phase) * std::exp(-t / 0.05) : 0.0;
            out_[start + i] += static_cast<float>(amp * std::exp(-t / decaySeconds) * (hp + tone));
        }
    }

    void Hiss(double amp)
    {
        for (float& s : out_)
            s += static_cast<float>(amp * random_.Uniform(-1.0, 1.0));
    }

    std::vector<float> Samples() { return std::move(out_); }

private:
    size_t Index(double ms) const { return static_cast<size_t>(std::max(0.0, ms) * Rate / 1000.0 + 0.5); }

    void Partial(double atMs, double f, double amp, double tau, double attack, double length, double phase)
    {
        const size_t start = Index(atMs);
        const size_t count = static_cast<size_t>(length * Rate);
        // A rotating phasor and a decaying envelope, one multiply each per
        // sample.
        const double c = std::cos(2.0 * Pi * f / Rate);
        const double s = std::sin(2.0 * Pi * f / Rate);
        double re = std::cos(phase);
        double im = std::sin(phase);
        const double decay = std::exp(-1.0 / (tau * Rate));
        const size_t attackSamples = static_cast<size_t>(attack * Rate);
        double env = amp;
        for (size_t i = 0; i < count && start + i < out_.size(); ++i) {
            const double r = re * c - im * s;
            im = re * s + im * c;
            re = r;
            const double a = i < attackSamples ? static_cast<double>(i) / static_cast<double>(attackSamples) : 1.0;
            out_[start + i] += static_cast<float>(env * a * im);
            env *= decay;
        }
    }

    TakeRandom& random_;
    std::vector<float> out_;
};

double Semitones(double base, int steps)
{
    return base * std::pow(2.0, steps / 12.0);
}

// A phrase-long swell: 12 dB from the phrase's softest to its loudest.
double Swell(size_t beat)
{
    const double x = static_cast<double>(beat % 16) / 16.0;
    return 0.25 + 0.75 * std::sin(Pi * x);
}

// The same music as MIDI, for fluidsynth to render with a General MIDI
// soundfont: struck notes on a piano (or, for the accents, a brass section
// on the stabs), swelled ones on strings or a pad, the drums on channel
// 10. A tick is 0.25 ms (1920 a quarter at 480000 us a quarter), so a note
// lies within 0.125 ms of its time.
class Score {
public:
    explicit Score(TakeRandom& random, Kind kind) : random_(random), kind_(kind)
    {
        swellProgram_ = random.Chance(0.5) ? 48 : 89;  // strings or a warm pad
    }

    void Struck(double atMs, double freq, double amp, double decaySeconds, int /*partials*/)
    {
        // The accents' stabs (short, loud) on brass, the rest on the piano.
        const int channel = kind_ == Kind::Accents && decaySeconds < 0.3 ? 1 : 0;
        Note(channel, atMs, Pitch(freq), Velocity(amp, 0.35), std::min(2000.0, 1000.0 * decaySeconds));
    }
    void Swelled(double atMs, double freq, double amp, double riseMs, double holdMs)
    {
        // The pad's slow rise is the instrument's own.
        Note(2, atMs, Pitch(freq), Velocity(amp, 0.1), riseMs + holdMs);
    }
    void Kick(double atMs, double amp) { Note(9, atMs, 36, Velocity(amp, 0.6), 100.0); }
    void Noise(double atMs, double amp, double decaySeconds, double highPass, double /*toneHz*/)
    {
        const int key = highPass > 0.0 ? (decaySeconds > 0.1 ? 46 : 42) : 38;
        Note(9, atMs, key, Velocity(amp, highPass > 0.0 ? 0.15 : 0.35), 100.0);
    }

    const char* SwellName() const { return swellProgram_ == 48 ? "strings" : "warm pad"; }

    // A type 0 file of every note.
    std::string File() const
    {
        std::vector<Event> events = events_;
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.Tick < b.Tick; });
        std::string track;
        const auto put = [&track](std::initializer_list<int> bytes) {
            for (const int b : bytes)
                track += static_cast<char>(b);
        };
        const auto delta = [&track](uint32_t d) {
            char bytes[5];
            int n = 0;
            bytes[n++] = static_cast<char>(d & 0x7f);
            while (d >>= 7)
                bytes[n++] = static_cast<char>(0x80 | (d & 0x7f));
            while (n > 0)
                track += bytes[--n];
        };
        delta(0);
        put({0xff, 0x51, 0x03, 0x07, 0x53, 0x00});  // 480000 us a quarter
        const int programs[3] = {0, 61, swellProgram_};
        for (int c = 0; c < 3; ++c) {
            delta(0);
            put({0xc0 | c, programs[c]});
        }
        uint32_t last = 0;
        for (const Event& e : events) {
            delta(e.Tick - last);
            last = e.Tick;
            put({e.Status, e.Key, e.Velocity});
        }
        delta(0);
        put({0xff, 0x2f, 0x00});
        std::string file = "MThd";
        const auto be32 = [](std::string& out, uint32_t v) {
            for (int shift = 24; shift >= 0; shift -= 8)
                out += static_cast<char>((v >> shift) & 0xff);
        };
        be32(file, 6);
        file += std::string("\0\0\0\1\x07\x80", 6);  // format 0, one track, 1920 a quarter
        file += "MTrk";
        be32(file, static_cast<uint32_t>(track.size()));
        return file + track;
    }

private:
    struct Event {
        uint32_t Tick;
        int Status, Key, Velocity;
    };
    static int Pitch(double freq)
    {
        const double semitones = 12.0 * std::log2(freq / 440.0) + 69.0;
        return std::clamp(static_cast<int>(std::floor(semitones + 0.5)), 12, 115);
    }
    // Velocity from the synth's amplitude against its instrument's loudest.
    static int Velocity(double amp, double loudest)
    {
        return std::clamp(static_cast<int>(30.0 + 97.0 * std::sqrt(std::max(0.0, amp / loudest))), 15, 127);
    }
    void Note(int channel, double atMs, int key, int velocity, double lengthMs)
    {
        const auto tick = [](double ms) { return static_cast<uint32_t>(std::floor(std::max(0.0, ms) * 4.0 + 0.5)); };
        events_.push_back({tick(atMs), 0x90 | channel, key, velocity});
        events_.push_back({tick(atMs + std::max(20.0, lengthMs)), 0x80 | channel, key, 0});
    }

    TakeRandom& random_;
    Kind kind_;
    int swellProgram_ = 48;
    std::vector<Event> events_;
};

// Whether the environment variable `name` asks for the road of `takes`
// (0: one take, 1: five): set at all for one take, "5" for five.
bool AskedFor(const char* name, int takes)
{
    const char* value = std::getenv(name);
    return value && (takes == 1) == (std::string(value) == "5");
}

// The true beats of a recording of `kind`: 64 (SNAP_BEATS asks for more, a
// long piece's drifts and phrases), after a lead-in of 1 to 3 s.
std::vector<double> BeatsOf(TakeRandom& random, Kind kind)
{
    const char* asked = std::getenv("SNAP_BEATS");
    const int count = asked ? std::max(16, std::atoi(asked)) : 64;
    PieceOptions pieceOptions;
    if (kind == Kind::Fast)
        pieceOptions.ShortestBase = 420.0, pieceOptions.LongestBase = 700.0;
    const PieceStyle style =
        kind == Kind::Drums || kind == Kind::Accents ? PieceStyle::Steady : PieceStyle::Expressive;
    std::vector<double> beats = GeneratePiece(random, style, count, pieceOptions);
    const double lead = random.Uniform(1000.0, 3000.0);
    for (double& b : beats)
        b += lead;
    return beats;
}

// The music of `kind` on `beats`, played by `synth` (the Synth here, or the
// Score that fluidsynth renders).
template <class Voices>
void Compose(TakeRandom& random, Kind kind, const std::vector<double>& beats, Voices& synth)
{
    const double root = random.Uniform(110.0, 220.0);
    const int scale[] = {0, 2, 4, 5, 7, 9, 11, 12};

    // Stretches without onsets: rests or a held chord.
    std::vector<bool> silent(beats.size(), false);
    std::vector<bool> heldChord(beats.size(), false);
    if (kind == Kind::Rests)
        for (size_t k = 8; k + 10 < beats.size(); k += 24) {
            const size_t length = static_cast<size_t>(random.Between(4, 8));
            const bool hold = random.Chance(0.5);
            for (size_t j = k; j < k + length; ++j)
                silent[j] = true;
            if (hold)
                heldChord[k] = true;
        }

    for (size_t k = 0; k + 1 < beats.size(); ++k) {
        const double beat = beats[k];
        const double next = beats[k + 1];
        const double length = next - beat;
        const double loud = Swell(k) * random.Uniform(0.5, 1.0);
        switch (kind) {
        case Kind::Piano:
        case Kind::Rests:
        case Kind::Fast: {
            if (silent[k]) {
                if (heldChord[k]) {
                    // One chord struck, then held under the silent beats
                    // (the onset is this beat's; the next few have none).
                    for (const int step : {0, 4, 7})
                        synth.Swelled(beat, Semitones(root * 2.0, step), 0.08 * loud, 4.0, 4.0 * length);
                }
                break;
            }
            const int degree = scale[random.Between(0, 7)];
            synth.Struck(beat, Semitones(root / 2.0, degree), 0.35 * loud, 1.2, 6);
            for (const int step : {0, 4, 7})
                synth.Struck(beat + random.Uniform(0.0, 4.0), Semitones(root * 2.0, degree + step), 0.12 * loud, 0.9, 5);
            if (kind == Kind::Fast) {
                // Sixteenths under every beat, nearly as loud as its note.
                for (int q = 1; q < 4; ++q)
                    synth.Struck(beat + q * length / 4.0 + random.Uniform(-6.0, 6.0),
                                 Semitones(root * 4.0, scale[random.Between(0, 7)]),
                                 0.25 * loud * random.Uniform(0.6, 1.3), 0.5, 4);
                synth.Struck(beat, Semitones(root * 4.0, degree), 0.3 * loud, 0.5, 4);
            } else if (random.Chance(0.7)) {
                // The melody between the beats: eighths or triplets, as loud
                // as the beat's notes or louder now and then.
                const int parts = random.Chance(0.3) ? 3 : 2;
                for (int q = 0; q < parts; ++q) {
                    if (q == 0 && random.Chance(0.5))
                        continue;
                    synth.Struck(beat + q * length / parts + random.Uniform(-8.0, 8.0),
                                 Semitones(root * 4.0, scale[random.Between(0, 7)]),
                                 0.2 * loud * random.Uniform(0.5, 2.0), 0.7, 5);
                }
            }
            break;
        }
        case Kind::Drums: {
            const size_t inBar = k % 4;
            if (inBar == 0 || inBar == 2)
                synth.Kick(beat, 0.6 * loud);
            else
                synth.Noise(beat, 0.35 * loud, 0.12, 0.0, 190.0);
            synth.Noise(beat, 0.12 * loud * random.Uniform(0.7, 1.2), 0.03, 3000.0, 0.0);
            const double off = beat + 0.5 * length;
            const bool open = random.Chance(0.2);
            synth.Noise(off, (open ? 0.18 : 0.12) * loud * random.Uniform(0.7, 1.2), open ? 0.15 : 0.03, 3000.0, 0.0);
            if (inBar == 1 && random.Chance(0.3))
                synth.Kick(beat + 0.75 * length, 0.4 * loud);
            break;
        }
        case Kind::Pad: {
            const int degree = scale[random.Between(0, 7)];
            const double rise = random.Uniform(30.0, 80.0);
            for (const int step : {0, 3, 7, 12})
                synth.Swelled(beat, Semitones(root, degree + step), 0.08 * loud, rise, length - rise);
            break;
        }
        case Kind::Accents: {
            synth.Kick(beat, 0.6 * loud);
            synth.Struck(beat, Semitones(root, scale[random.Between(0, 4)]), 0.3 * loud, 0.6, 5);
            for (const int step : {0, 4, 7})
                synth.Struck(beat + 0.5 * length, Semitones(root * 2.0, step), 0.3 * loud, 0.15, 6);
            synth.Noise(beat + 0.5 * length, 0.1 * loud, 0.04, 2000.0, 0.0);
            if (random.Chance(0.25))
                for (const int step : {0, 4, 7})
                    synth.Struck(beat + 0.25 * length, Semitones(root * 2.0, step + 2), 0.3 * loud, 0.15, 6);
            break;
        }
        }
    }
    // The last beat's note.
    if (kind != Kind::Drums)
        synth.Struck(beats.back(), root / 2.0, 0.3, 1.5, 6);
    else
        synth.Kick(beats.back(), 0.5);
}

// The soundfont fluidsynth renders with; empty when fluidsynth or the
// soundfont is missing.
std::string Soundfont()
{
    static const char* const kPaths[] = {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"};
    if (std::system("fluidsynth --version >/dev/null 2>&1") != 0)
        return "";
    for (const char* path : kPaths)
        if (FILE* f = std::fopen(path, "rb")) {
            std::fclose(f);
            return path;
        }
    return "";
}

// The music rendered by fluidsynth at 44.1 kHz (its reverb and chorus on,
// as it plays by default), mixed to mono; the beats are the note-on times.
Recording RenderRecording(TakeRandom& random, Kind kind, const std::string& soundfont, const std::string& directory)
{
    Recording recording;
    recording.Beats = BeatsOf(random, kind);
    Score score(random, kind);
    Compose(random, kind, recording.Beats, score);
    if (kind == Kind::Pad)
        recording.Swell = score.SwellName();
    const std::string midi = directory + "/piece.mid";
    const std::string wav = directory + "/piece.wav";
    {
        FILE* f = std::fopen(midi.c_str(), "wb");
        const std::string bytes = score.File();
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            std::fprintf(stderr, "snap_quality: cannot write %s\n", midi.c_str());
            std::exit(2);
        }
        std::fclose(f);
    }
    const std::string command = "fluidsynth -ni -q -r 44100 -g 0.5 -F '" + wav + "' '" + soundfont + "' '" + midi + "' >/dev/null 2>&1";
    AudioOpenResult opened = std::system(command.c_str()) == 0 ? OpenAudioFile(wav) : AudioOpenResult();
    if (!opened.decoder) {
        std::fprintf(stderr, "snap_quality: fluidsynth did not render %s\n", midi.c_str());
        std::exit(2);
    }
    AudioDecoder& decoder = *opened.decoder;
    recording.SampleRate = decoder.Format().sampleRate;
    const uint32_t channels = decoder.Format().channels;
    std::vector<float> block(4096 * channels);
    for (size_t n; (n = decoder.Read(block.data(), 4096)) > 0;)
        for (size_t i = 0; i < n; ++i) {
            float sum = 0.0f;
            for (uint32_t c = 0; c < channels; ++c)
                sum += block[i * channels + c];
            recording.Samples.push_back(sum / static_cast<float>(channels));
        }
    return recording;
}

Recording MakeRecording(TakeRandom& random, Kind kind)
{
    Recording recording;
    recording.Beats = BeatsOf(random, kind);
    Synth synth(random, static_cast<size_t>((recording.Beats.back() + 3000.0) * Rate / 1000.0));
    Compose(random, kind, recording.Beats, synth);
    synth.Hiss(0.0005);
    recording.Samples = synth.Samples();
    return recording;
}

// The recording as a decoder, for the onset detector.
class SamplesDecoder final : public AudioDecoder {
public:
    SamplesDecoder(const std::vector<float>& samples, double rate) : samples_(samples)
    {
        format_.sampleRate = static_cast<uint32_t>(rate);
        format_.channels = 1;
        format_.frames = samples.size();
        format_.description = "generated";
    }
    const AudioFormat& Format() const override { return format_; }
    size_t Read(float* interleaved, size_t maxFrames) override
    {
        const size_t n = std::min(maxFrames, samples_.size() - position_);
        std::copy(samples_.begin() + static_cast<std::ptrdiff_t>(position_),
                  samples_.begin() + static_cast<std::ptrdiff_t>(position_ + n), interleaved);
        position_ += n;
        return n;
    }
    bool Seek(uint64_t frame) override
    {
        if (frame > samples_.size())
            return false;
        position_ = static_cast<size_t>(frame);
        return true;
    }
    const std::string& Error() const override { return error_; }

private:
    const std::vector<float>& samples_;
    AudioFormat format_;
    size_t position_ = 0;
    std::string error_;
};

// The recording's onset strength from core/audio, as the snapping takes it:
// its peaks lie WindowMs / 2 - HopMs before their sounds (OnsetStrength.h),
// which the curve's start sets against.
// A lag to use instead of the detector's own (snap_quality's third
// argument, in ms): what the snapping would give from a detector whose lag
// were set right for music, where onsets enter windows already full of
// sound; negative for the detector's own.
double givenLag = -1.0;

OnsetCurve Onsets(const std::vector<float>& samples, double rate)
{
    SamplesDecoder decoder(samples, rate);
    OnsetStrength strength;
    if (BuildOnsetStrength(decoder, strength).result != ScanResult::Done) {
        std::fprintf(stderr, "snap_quality: the onset strength could not be made\n");
        std::exit(2);
    }
    OnsetCurve curve = OnsetCurveOf(std::move(strength));
    if (givenLag >= 0.0)
        curve.StartMs = givenLag;
    return curve;
}

// Taps of one take on the recording: the generator's take with its own
// lateness replaced by `lag`. Returns the take (from 0) and its anchor.
Take TapAlong(TakeRandom& random, const std::vector<double>& beats, double lag, int64_t& anchor)
{
    const Take take = GenerateTake(random, beats, SlipKind::None).Clean;
    std::vector<double> offsets;
    for (size_t k = 0; k < take.size(); ++k)
        offsets.push_back(static_cast<double>(take[k]) - (beats[k] - beats[0]));
    std::sort(offsets.begin(), offsets.end());
    const double median = offsets[offsets.size() / 2];
    anchor = static_cast<int64_t>(std::floor(beats[0] - median + lag + 0.5));
    return take;
}

struct Tally {
    std::vector<double> beatErrors;
    std::vector<double> signedErrors;
    double intervalSquares = 0.0;
    size_t intervals = 0;
    size_t far = 0;
    size_t worse = 0;     // median absolute beat error over 10 % worse
    size_t worseRms = 0;  // RMS interval error over 10 % worse
    size_t recordings = 0;
    size_t wrongCount = 0;

    double Median() const
    {
        std::vector<double> v(beatErrors);
        if (v.empty())
            return 0.0;
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    }
    double Bias() const
    {
        std::vector<double> v(signedErrors);
        if (v.empty())
            return 0.0;
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    }
    double Rms() const { return intervals ? std::sqrt(intervalSquares / static_cast<double>(intervals)) : 0.0; }
    double FarShare() const { return beatErrors.empty() ? 0.0 : static_cast<double>(far) / static_cast<double>(beatErrors.size()); }
};

struct Errors {
    double Median;       // absolute beat error
    double RmsInterval;
};

// Adds one recording's beats to the tally; returns their errors.
// A spread of signed errors: its 5th to 95th percentiles, on one line.
void PrintPercentiles(const char* label, std::vector<double> v)
{
    if (v.empty())
        return;
    std::sort(v.begin(), v.end());
    std::printf("  %s: 5%% %.1f 10%% %.1f 25%% %.1f 50%% %.1f 75%% %.1f 90%% %.1f 95%% %.1f\n", label, v[v.size() / 20],
                v[v.size() / 10], v[v.size() / 4], v[v.size() / 2], v[v.size() * 3 / 4], v[v.size() * 9 / 10],
                v[v.size() * 19 / 20]);
}

Errors Add(Tally& tally, const std::vector<double>& beats, const std::vector<double>& truth)
{
    ++tally.recordings;
    if (beats.size() != truth.size()) {
        ++tally.wrongCount;
        return Errors{1e9, 1e9};
    }
    double squares = 0.0;
    std::vector<double> own;
    for (size_t j = 0; j < truth.size(); ++j) {
        const double e = std::fabs(beats[j] - truth[j]);
        own.push_back(e);
        tally.beatErrors.push_back(e);
        tally.signedErrors.push_back(beats[j] - truth[j]);
        tally.far += e > 70.0 ? 1 : 0;
        if (j + 1 < truth.size()) {
            const double d = (beats[j + 1] - beats[j]) - (truth[j + 1] - truth[j]);
            squares += d * d;
        }
    }
    tally.intervalSquares += squares;
    tally.intervals += truth.size() - 1;
    std::nth_element(own.begin(), own.begin() + static_cast<std::ptrdiff_t>(own.size() / 2), own.end());
    return Errors{own[own.size() / 2], std::sqrt(squares / static_cast<double>(truth.size() - 1))};
}

enum Road { Plain, Smoothed, Snapped, RepairSnapSmooth, Roads };
const char* RoadName(int road)
{
    switch (road) {
    case Plain: return "no snap";
    case Smoothed: return "no snap, --smooth auto";
    case Snapped: return "snap";
    case RepairSnapSmooth: return "--repair, snap, --smooth auto";
    }
    return "";
}

}  // namespace

int main(int argc, char** argv)
{
    // --rendered: the same music rendered by fluidsynth.
    bool rendered = false;
    if (argc > 1 && std::string(argv[1]) == "--rendered") {
        rendered = true;
        --argc;
        ++argv;
    }
    std::string soundfont, directory;
    if (rendered) {
        soundfont = Soundfont();
        char pattern[] = "/tmp/snap_quality.XXXXXX";
        if (soundfont.empty() || !mkdtemp(pattern)) {
            std::fprintf(stderr, "snap_quality: --rendered needs fluidsynth and fluid-soundfont-gm\n");
            return 2;
        }
        directory = pattern;
    }
    const int recordings = argc > 1 ? std::atoi(argv[1]) : 60;
    const int first = argc > 2 ? std::atoi(argv[2]) : 1;
    if (argc > 3)
        givenLag = std::atof(argv[3]);
    bool met = true;
    // Totals over every kind, per number of takes, for the goals on the
    // share of far beats and of recordings made worse.
    const Kind kinds[] = {Kind::Piano, Kind::Drums, Kind::Pad, Kind::Rests, Kind::Fast, Kind::Accents};
    // SNAP_SPREAD=1: percentiles of the snapped road's errors, and its
    // interval errors by how many of their beats snapped.
    const bool spread = std::getenv("SNAP_SPREAD") != nullptr;
    // SNAP_KIND=pad: only the kinds whose names begin so.
    const char* only = std::getenv("SNAP_KIND");
    for (const Kind kind : kinds) {
        if (only && std::string(KindName(kind)).rfind(only, 0) != 0)
            continue;
        Tally tallies[2][Roads];
        double endSquares[2][3] = {};
        size_t endCounts[2][3] = {};
        size_t unsure[2] = {0, 0};
        std::vector<double> onOnsets[2];
        size_t snappedBeats[2] = {0, 0};
        for (int index = first; index < first + recordings; ++index) {
            TakeRandom random(static_cast<uint32_t>(1000 * static_cast<int>(kind) + index));
            const Recording recording =
                rendered ? RenderRecording(random, kind, soundfont, directory) : MakeRecording(random, kind);
            auto onsets = std::make_shared<OnsetCurve>(Onsets(recording.Samples, recording.SampleRate));
            if (std::getenv("SNAP_DUMP") && index == first) {
                // SNAP_DUMP=FILE: the first recording's curves, a line a
                // frame (main, fine, slow attacks, low band) after a line
                // "# hop start" in ms, and its true beats in FILE.beats,
                // for plotting.
                const std::string name = std::getenv("SNAP_DUMP");
                FILE* curves = std::fopen(name.c_str(), "w");
                FILE* beats = std::fopen((name + ".beats").c_str(), "w");
                if (!curves || !beats) {
                    std::fprintf(stderr, "snap_quality: cannot write %s\n", name.c_str());
                    return 2;
                }
                std::fprintf(curves, "# %f %f\n", onsets->HopMs, onsets->StartMs);
                const auto at = [](const std::vector<float>& values, size_t i) { return i < values.size() ? values[i] : 0.0f; };
                for (size_t i = 0; i < onsets->Values.size(); ++i)
                    std::fprintf(curves, "%f %f %f %f\n", onsets->Values[i], at(onsets->Fine, i),
                                 onsets->Slow ? at(onsets->Slow->Values, i) : 0.0f, at(onsets->Low, i));
                for (const double beat : recording.Beats)
                    std::fprintf(beats, "%f\n", beat);
                std::fclose(curves);
                std::fclose(beats);
            }
            if (std::getenv("SNAP_CURVE") && index == first) {
                // The curve around beats 4 to 7, or SNAP_CURVE=FROM:TO:
                // what a beat's onset looks like.
                size_t from = 4, to = 8;
                std::sscanf(std::getenv("SNAP_CURVE"), "%zu:%zu", &from, &to);
                std::printf("%s: hop %.2f ms, start %.2f ms\n", KindName(kind), onsets->HopMs, onsets->StartMs);
                for (size_t j = from; j < to && j < recording.Beats.size(); ++j) {
                    const double beat = recording.Beats[j];
                    std::printf("  beat %zu at %.1f:\n", j, beat);
                    for (double t = beat - 60.0; t <= beat + 120.0; t += onsets->HopMs) {
                        const double f = (t - onsets->StartMs) / onsets->HopMs;
                        if (f < 0.0 || f >= static_cast<double>(onsets->Values.size()))
                            continue;
                        const size_t i = static_cast<size_t>(f);
                        std::printf("    %+6.1f %5.3f %5.3f %5.3f\n", t - beat, onsets->Values[i],
                                    i < onsets->Fine.size() ? onsets->Fine[i] : 0.0f,
                                    onsets->Slow && i < onsets->Slow->Values.size() ? onsets->Slow->Values[i] : 0.0f);
                    }
                }
            }
            for (int takes = 0; takes < 2; ++takes) {
                const size_t count = takes == 0 ? 1 : 5;
                std::vector<Take> list;
                AnalysisOptions options;
                options.AlignToRecording = true;
                for (size_t m = 0; m < count; ++m) {
                    int64_t anchor = 0;
                    list.push_back(TapAlong(random, recording.Beats, random.Uniform(-60.0, 100.0), anchor));
                    options.Anchors.push_back(anchor);
                }
                const TakeList takeList = TakeListOf(list);
                options.Onsets = onsets;
                Errors errors[Roads];
                for (int road = 0; road < Roads; ++road) {
                    AnalysisOptions o = options;
                    o.Snap = road == Snapped || road == RepairSnapSmooth;
                    o.Repair = road == RepairSnapSmooth;
                    o.Smoothing = road == Smoothed || road == RepairSnapSmooth ? SmoothingAuto : SmoothingNone;
                    const std::vector<double> got = BeatTimesOnRecording(takeList, o);
                    errors[road] = Add(tallies[takes][road], got, recording.Beats);
                }
                // The snapped road beat by beat, for the spread and the
                // trace.
                const bool trace = AskedFor("SNAP_TRACE", takes);
                BeatsOnRecording detail;
                if (spread || trace) {
                    AnalysisOptions o = options;
                    o.Snap = true;
                    detail = BeatsOnRecordingInDetail(takeList, o);
                }
                if (spread) {
                    // The snapped road's interval errors by how many of
                    // their two beats snapped.
                    for (size_t j = 0; j + 1 < detail.Final.size() && j + 1 < recording.Beats.size(); ++j) {
                        const int ends = (detail.Origins[j] == BeatOrigin::Snapped) + (detail.Origins[j + 1] == BeatOrigin::Snapped);
                        const double d = (detail.Final[j + 1] - detail.Final[j]) - (recording.Beats[j + 1] - recording.Beats[j]);
                        endSquares[takes][ends] += d * d;
                        ++endCounts[takes][ends];
                    }
                    for (size_t j = 0; j < detail.Final.size() && j < recording.Beats.size(); ++j)
                        if (detail.Origins[j] == BeatOrigin::Snapped)
                            onOnsets[takes].push_back(detail.Final[j] - recording.Beats[j]);
                }
                if (trace) {
                    // Every beat of one take's snapped road: where it was
                    // tapped and where it went, against the true beat.
                    for (size_t j = 0; j < detail.Final.size() && j < recording.Beats.size(); ++j)
                        std::printf("    %s %d beat %zu at %.0f: tapped %+.0f ms, snapped road %+.0f ms, %s\n", KindName(kind),
                                    index, j, recording.Beats[j], detail.Tapped[j] - recording.Beats[j],
                                    detail.Final[j] - recording.Beats[j],
                                    detail.Origins[j] == BeatOrigin::Snapped ? "snapped" : "unsure");
                }
                if (AskedFor("SNAP_VERBOSE", takes)) {
                    // Where the beats far off lie: snapped onto a wrong onset,
                    // or unsure and left at the tap's shift.
                    AnalysisOptions o = options;
                    o.Snap = true;
                    o.Repair = true;
                    o.Smoothing = SmoothingAuto;
                    const BeatsOnRecording all = BeatsOnRecordingInDetail(takeList, o);
                    for (size_t j = 0; j < all.Final.size() && j < recording.Beats.size(); ++j) {
                        const double e = all.Final[j] - recording.Beats[j];
                        if (std::fabs(e) > 70.0)
                            std::printf("    %s %d beat %zu: %s, off %.0f ms, tapped %.0f ms off\n", KindName(kind), index,
                                        j, all.Origins[j] == BeatOrigin::Snapped ? "snapped" : "unsure", e,
                                        all.Tapped[j] - recording.Beats[j]);
                    }
                }
                for (const auto& [road, without] : {std::pair<int, int>{Snapped, Plain}, {RepairSnapSmooth, Smoothed}}) {
                    const bool worse = errors[road].Median > 1.1 * errors[without].Median;
                    tallies[takes][road].worse += worse ? 1 : 0;
                    if (worse && std::getenv("SNAP_WORSE"))
                        std::printf("    %s %d, %zu take(s), road %d: median %.2f, without %.2f\n", KindName(kind), index,
                                    count, road, errors[road].Median, errors[without].Median);
                    tallies[takes][road].worseRms += errors[road].RmsInterval > 1.1 * errors[without].RmsInterval ? 1 : 0;
                }
                // How many beats snap, on the plain road's beats.
                AnalysisOptions o = options;
                size_t snappedHere = 0;
                for (const SnappedBeat& b : SnapBeats(BeatTimesOnRecording(takeList, o), *onsets)) {
                    unsure[takes] += b.State == SnapState::Unsure ? 1 : 0;
                    snappedHere += b.State == SnapState::Snapped ? 1 : 0;
                }
                snappedBeats[takes] += snappedHere;
                if (AskedFor("SNAP_EACH", takes))
                    // One line a recording: what snapped, and how well,
                    // to tell the recordings apart that a kind's totals mix.
                    std::printf("    %s %d%s%s: %zu of %zu beats Snapped, median %.2f ms (without snapping %.2f)\n",
                                KindName(kind), index, recording.Swell.empty() ? "" : ", ", recording.Swell.c_str(),
                                snappedHere, recording.Beats.size(), errors[Snapped].Median, errors[Plain].Median);
            }
        }
        std::printf("\n%s, %d recordings\n", KindName(kind), recordings);
        std::printf("  %-32s %10s %8s %12s %10s %10s %10s\n", "", "median ms", "bias ms", "RMS int ms", ">70 ms", "worse>10%",
                    "RMS worse");
        for (int takes = 0; takes < 2; ++takes) {
            std::printf("  %s (%.0f %% of beats Snapped)\n", takes == 0 ? "one take" : "five takes",
                        100.0 * static_cast<double>(snappedBeats[takes]) /
                            static_cast<double>(snappedBeats[takes] + unsure[takes]));
            for (int road = 0; road < Roads; ++road) {
                const Tally& t = tallies[takes][road];
                const auto share = [&](size_t count) {
                    return road == Snapped || road == RepairSnapSmooth
                               ? std::to_string(100.0 * static_cast<double>(count) / static_cast<double>(t.recordings)).substr(0, 4) + " %"
                               : std::string();
                };
                std::printf("  %-32s %10.2f %8.2f %12.2f %8.2f %% %10s %10s%s\n", RoadName(road), t.Median(), t.Bias(), t.Rms(),
                            100.0 * t.FarShare(), share(t.worse).c_str(), share(t.worseRms).c_str(),
                            t.wrongCount ? (" (" + std::to_string(t.wrongCount) + " wrong counts)").c_str() : "");
            }
            if (spread) {
                const auto rms = [&](int ends) {
                    return std::sqrt(endSquares[takes][ends] / static_cast<double>(std::max<size_t>(1, endCounts[takes][ends])));
                };
                std::printf("  snap: intervals' RMS error by snapped ends: none %.1f (%zu), one %.1f (%zu), both %.1f (%zu)\n",
                            rms(0), endCounts[takes][0], rms(1), endCounts[takes][1], rms(2), endCounts[takes][2]);
                PrintPercentiles("Snapped beats' errors", onOnsets[takes]);
                PrintPercentiles("snapped errors", tallies[takes][Snapped].signedErrors);
            }
            const double medianGoal = takes == 0 ? 5.0 : 4.0;
            const double rmsGoal = takes == 0 ? 14.0 : 7.0;
            bool ok = true;
            for (const int road : {Snapped, RepairSnapSmooth}) {
                const Tally& s = tallies[takes][road];
                ok = ok && s.Median() <= medianGoal && s.Rms() <= rmsGoal && s.FarShare() <= 0.01 &&
                     static_cast<double>(s.worse) <= 0.05 * static_cast<double>(s.recordings);
            }
            std::printf("  [%s] both snapping roads: median <= %.0f ms, RMS interval <= %.0f ms, >70 ms <= 1 %%, worse "
                        "(median) <= 5 %%\n",
                        ok ? "met" : "NOT MET", medianGoal, rmsGoal);
            met = met && ok;
        }
    }
    if (rendered)
        std::system(("rm -rf '" + directory + "'").c_str());
    return met ? 0 : 1;
}
