// Reading a recording for its waveform: a 10-minute 44.1 kHz stereo 16-bit
// WAV opened and its peak envelope made in one decode pass (goal: under
// 0.5 s), and the same music as Ogg Vorbis (goal: under 2 s).
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

}  // namespace

BENCHMARK_MAIN();
