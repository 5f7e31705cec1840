// Reading a recording for its waveform: a 10-minute 44.1 kHz stereo 16-bit
// WAV opened and its peak envelope made in one decode pass (goal: under
// 0.5 s), and the same music as Ogg Vorbis (goal: under 2 s). The onset
// strength of a 10-minute 44.1 kHz stereo recording held in memory (goal:
// under 1 s on one core), alone and with the envelope in the same pass.
//
// The WAV is written here, a mix of tones and noise so that no block is
// silent; the Ogg file is encoded from it by sox (Debian's sox and
// libsox-fmt-all) on the first run and kept beside it in the temporary
// folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "AudioDecoder.h"
#include "OnsetStrength.h"
#include "PeakEnvelope.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint64_t kFrames = uint64_t{kRate} * 600;

void Put32(std::ofstream& out, uint32_t v)
{
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(b, 4);
}

std::string BenchPath(const char* extension)
{
    return (std::filesystem::temp_directory_path() / (std::string("metrova-audio-bench") + extension)).string();
}

const std::string& WavFile()
{
    static const std::string path = [] {
        const std::string p = BenchPath(".wav");
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        const uint32_t dataBytes = static_cast<uint32_t>(kFrames * 4);
        out.write("RIFF", 4);
        Put32(out, 36 + dataBytes);
        out.write("WAVEfmt ", 8);
        Put32(out, 16);
        Put32(out, 1 | (2 << 16));
        Put32(out, kRate);
        Put32(out, kRate * 4);
        Put32(out, 4 | (16 << 16));
        out.write("data", 4);
        Put32(out, dataBytes);
        std::mt19937 random(1);
        std::vector<int16_t> block(2 * 4096);
        for (uint64_t f = 0; f < kFrames;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(4096, kFrames - f));
            for (size_t i = 0; i < n; ++i, ++f) {
                const double t = static_cast<double>(f) / kRate;
                const double tone = 0.4 * std::sin(2 * M_PI * 220 * t) + 0.2 * std::sin(2 * M_PI * 1375 * t);
                const double noise = (static_cast<double>(random() % 2001) - 1000) / 10000;
                block[2 * i] = static_cast<int16_t>(std::lround((tone + noise) * 32000));
                block[2 * i + 1] = static_cast<int16_t>(std::lround((tone - noise) * 32000));
            }
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n * 4));
        }
        return p;
    }();
    return path;
}

const std::string& OggFile()
{
    static const std::string path = [] {
        const std::string p = BenchPath(".ogg");
        if (!std::filesystem::exists(p)) {
            const std::string command =
                "sox -V1 '" + WavFile() + "' -t ogg '" + p + ".part' && mv '" + p + ".part' '" + p + "'";
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "audio_bench: sox could not encode Ogg Vorbis: install the Debian packages sox "
                                     "and libsox-fmt-all (sh scripts/setup.sh native)\n");
                std::exit(1);
            }
        }
        return p;
    }();
    return path;
}

void Envelope(benchmark::State& state, const std::string& path)
{
    uint64_t blocks = 0;
    for (auto _ : state) {
        AudioOpenResult opened = OpenAudioFile(path);
        if (!opened.decoder) {
            state.SkipWithError(opened.message.c_str());
            return;
        }
        PeakEnvelope envelope(256);
        const ScanOutcome outcome = BuildPeakEnvelope(*opened.decoder, envelope);
        if (outcome.result != ScanResult::Done) {
            state.SkipWithError(outcome.error.c_str());
            return;
        }
        blocks = envelope.Blocks().size();
        benchmark::DoNotOptimize(envelope.Blocks().data());
    }
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["audio_s_per_s"] = benchmark::Counter(600.0, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WavTenMinutesEnvelope(benchmark::State& state)
{
    Envelope(state, WavFile());
}
BENCHMARK(BM_WavTenMinutesEnvelope)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OggTenMinutesEnvelope(benchmark::State& state)
{
    Envelope(state, OggFile());
}
BENCHMARK(BM_OggTenMinutesEnvelope)->Unit(benchmark::kMillisecond)->UseRealTime();

// Playing from a start position near the end of the ten-minute Ogg: the
// decoder seeks there from the start and reads the first second.
void BM_OggSeekNearTheEnd(benchmark::State& state)
{
    AudioOpenResult opened = OpenAudioFile(OggFile());
    if (!opened.decoder) {
        state.SkipWithError(opened.message.c_str());
        return;
    }
    AudioDecoder& decoder = *opened.decoder;
    const AudioFormat format = decoder.Format();
    std::vector<float> second(static_cast<size_t>(format.sampleRate) * format.channels);
    for (auto _ : state) {
        // Back to the start first, as a new run of the player begins.
        if (!decoder.Seek(0) || !decoder.Seek(format.frames - 30 * uint64_t{format.sampleRate})) {
            state.SkipWithError("the seek failed");
            return;
        }
        benchmark::DoNotOptimize(decoder.Read(second.data(), format.sampleRate));
    }
}
BENCHMARK(BM_OggSeekNearTheEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

// Ten minutes of 16-bit stereo music in memory (struck tones on a bed of
// noise, a note every 250 ms), handed out as float frames the way the WAV
// reader hands them out.
class MemoryMusic : public AudioDecoder {
public:
    MemoryMusic() : samples_(2 * kFrames)
    {
        format_.sampleRate = kRate;
        format_.channels = 2;
        format_.frames = kFrames;
        format_.description = "music in memory";
        std::mt19937 random(3);
        const uint64_t note = kRate / 4;
        for (uint64_t f = 0; f < kFrames; ++f) {
            const double t = static_cast<double>(f % note) / kRate;
            const double pitch = 220.0 * (1 + static_cast<double>((f / note) % 7) / 4);
            const double tone = 0.5 * std::exp(-t / 0.08) * std::sin(2 * M_PI * pitch * t);
            const double noise = (static_cast<double>(random() % 2001) - 1000) / 50000;
            samples_[2 * f] = static_cast<int16_t>(std::lround((tone + noise) * 32000));
            samples_[2 * f + 1] = static_cast<int16_t>(std::lround((tone - noise) * 32000));
        }
    }
    const AudioFormat& Format() const override { return format_; }
    const std::string& Error() const override { return error_; }
    size_t Read(float* out, size_t maxFrames) override
    {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(maxFrames, kFrames - next_));
        const int16_t* in = samples_.data() + 2 * next_;
        for (size_t i = 0; i < 2 * n; ++i)
            out[i] = static_cast<float>(in[i]) * (1.0f / 32768);
        next_ += n;
        return n;
    }
    bool Seek(uint64_t frame) override
    {
        if (frame > kFrames)
            return false;
        next_ = frame;
        return true;
    }

private:
    AudioFormat format_;
    std::vector<int16_t> samples_;
    uint64_t next_ = 0;
    std::string error_;
};

MemoryMusic& Music()
{
    static MemoryMusic music;
    return music;
}

void BM_TenMinutesOnsetStrength(benchmark::State& state)
{
    MemoryMusic& music = Music();
    size_t onsets = 0;
    for (auto _ : state) {
        OnsetStrength strength;
        const ScanOutcome outcome = BuildOnsetStrength(music, strength);
        if (outcome.result != ScanResult::Done) {
            state.SkipWithError(outcome.error.c_str());
            return;
        }
        onsets = PickOnsets(strength).size();
        benchmark::DoNotOptimize(strength.Values.data());
    }
    state.counters["onsets"] = static_cast<double>(onsets);
    state.counters["audio_s_per_s"] = benchmark::Counter(600.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TenMinutesOnsetStrength)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TenMinutesEnvelopeAndOnsetStrength(benchmark::State& state)
{
    MemoryMusic& music = Music();
    for (auto _ : state) {
        PeakEnvelope envelope(256);
        OnsetStrength strength;
        const ScanOutcome outcome = BuildEnvelopeAndOnsetStrength(music, envelope, strength);
        if (outcome.result != ScanResult::Done) {
            state.SkipWithError(outcome.error.c_str());
            return;
        }
        benchmark::DoNotOptimize(strength.Values.data());
        benchmark::DoNotOptimize(envelope.Blocks().data());
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(600.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TenMinutesEnvelopeAndOnsetStrength)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
