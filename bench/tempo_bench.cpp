// Speed of the tempo engine: computation, export serialisation, parsing and
// import of large files. Every input is generated here.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Take.h"
#include "TempoExport.h"
#include "TempoImport.h"
#include "TempoMap.h"
#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

// A take of `taps` taps around 120 beats per minute with a human wobble.
Take MakeTake(size_t taps, uint32_t generatorState)
{
    std::mt19937 random(generatorState);
    std::uniform_int_distribution<int> wobble(-30, 30);
    Take take;
    take.reserve(taps);
    uint32_t time = 0;
    for (size_t i = 0; i < taps; ++i) {
        take.push_back(time);
        time += static_cast<uint32_t>(500 + wobble(random));
    }
    return take;
}

// Only ComputeTempoMap is on the clock: the takes are made before, and the
// map is freed after (unmapping 176 MB at 10^6 taps and Q = 10 is work of its
// own, about 6 % of the call). time_per_point is the time per tempo point
// made; for a computation linear in the taps it stays flat from 10^3 to 10^6
// taps, and the run ends with its ratio between the two (PerPointReporter).
void BM_ComputeTempoMap(benchmark::State& state)
{
    const Take a = MakeTake(static_cast<size_t>(state.range(0)), 1);
    const Take b = MakeTake(static_cast<size_t>(state.range(0)), 2);
    const TakeList takes{&a, &b};
    const int interp = static_cast<int>(state.range(1));
    size_t points = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TempoMap map = ComputeTempoMap(takes, interp, 2);
        benchmark::DoNotOptimize(map.data());
        const auto stop = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        points = map.size();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["time_per_point"] = benchmark::Counter(
        static_cast<double>(points), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ComputeTempoMap)
    ->ArgsProduct({{1000, 10000, 100000, 1000000}, {0, 10}})
    ->ArgNames({"taps", "Q"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ExportSerialise(benchmark::State& state)
{
    const Take take = MakeTake(static_cast<size_t>(state.range(0)), 3);
    const TempoMap map = ComputeTempoMap(TakeList{&take}, 10, 2);
    for (auto _ : state) {
        mkSmfSequence sequence;
        BuildTempoSequence(map, sequence);
        mkByteBuffer bytes;
        benchmark::DoNotOptimize(sequence.Write(bytes, true));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(map.size()));
}
BENCHMARK(BM_ExportSerialise)->Arg(1000)->Arg(100000)->ArgName("taps")->Unit(benchmark::kMillisecond);

// The whole export as metrova-cli and the program make it: the map computed
// and written straight into the file's bytes, no map and no event sequence
// held (compare BM_ComputeTempoMap plus BM_ExportSerialise).
void BM_ExportTempoBytes(benchmark::State& state)
{
    const Take take = MakeTake(static_cast<size_t>(state.range(0)), 3);
    size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<uint8_t> file = ExportTempoBytes(TakeList{&take}, 10, 2);
        benchmark::DoNotOptimize(file.data());
        bytes = file.size();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ExportTempoBytes)->Arg(1000)->Arg(100000)->ArgName("taps")->Unit(benchmark::kMillisecond);

void PutBe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

// A format-1 file of about `bytes` bytes: a tempo track with a change every
// bar, then `noteTracks` tracks of note-ons in running status, one event
// every 80-111 ticks (a one-byte delta), all ending at the same tick.
std::vector<uint8_t> MakeFormat1File(size_t bytes, int noteTracks)
{
    const uint16_t division = 480;
    const size_t eventsPerTrack = bytes / 3 / static_cast<size_t>(noteTracks);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gap(80, 111);

    std::vector<std::vector<uint8_t>> tracks(static_cast<size_t>(noteTracks));
    uint32_t end = 0;
    for (auto& track : tracks) {
        track.insert(track.end(), {0x00, 0x90, 0x3C, 0x64});
        uint32_t time = 0;
        for (size_t i = 1; i < eventsPerTrack; ++i) {
            const int delta = gap(random);
            time += static_cast<uint32_t>(delta);
            track.push_back(static_cast<uint8_t>(delta));
            track.push_back(static_cast<uint8_t>(0x30 + i % 40));
            track.push_back(static_cast<uint8_t>(i % 2 ? 0x40 : 0x00));
        }
        end = std::max(end, time);
        track.push_back(0);
        track.insert(track.end(), {0xFF, 0x2F, 0x00});
    }
    std::vector<uint8_t> tempoTrack;
    for (uint32_t t = 0; t + 1920 <= end; t += 1920) {
        tempoTrack.push_back(t == 0 ? 0x00 : 0x8F);  // 1920 = 8F 00
        if (t != 0)
            tempoTrack.push_back(0x00);
        const uint32_t tempo = 400000 + (t / 1920 % 50) * 4000;
        tempoTrack.insert(tempoTrack.end(), {0xFF, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8),
                                             uint8_t(tempo)});
    }
    tempoTrack.insert(tempoTrack.end(), {0x00, 0xFF, 0x2F, 0x00});

    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    file.push_back(0);
    file.push_back(static_cast<uint8_t>(noteTracks + 1));
    file.push_back(static_cast<uint8_t>(division >> 8));
    file.push_back(static_cast<uint8_t>(division));
    tracks.insert(tracks.begin(), tempoTrack);
    for (const auto& track : tracks) {
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        PutBe32(file, static_cast<uint32_t>(track.size()));
        file.insert(file.end(), track.begin(), track.end());
    }
    return file;
}

const std::vector<uint8_t>& File(size_t mebibytes)
{
    static std::vector<uint8_t> small = MakeFormat1File(1u << 20, 4);
    static std::vector<uint8_t> large = MakeFormat1File(10u << 20, 16);
    return mebibytes == 1 ? small : large;
}

void BM_Parse(benchmark::State& state)
{
    const std::vector<uint8_t>& file = File(static_cast<size_t>(state.range(0)));
    size_t events = 0;
    for (auto _ : state) {
        mkSmfSequence sequence;
        mkSmfParser parser;
        if (!parser.Parse(sequence, file.data(), static_cast<uint32_t>(file.size()), true))
            state.SkipWithError("the generated file does not parse");
        events = 0;
        for (size_t i = 0; i < sequence.GetTrackCount(); ++i)
            events += sequence.GetTrack(i).GetEventCount();
    }
    state.counters["events"] = static_cast<double>(events);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_Parse)->Arg(1)->Arg(10)->ArgName("MiB")->Unit(benchmark::kMillisecond);

void BM_Import(benchmark::State& state)
{
    const std::vector<uint8_t>& file = File(10);
    const int base = static_cast<int>(state.range(0));
    size_t beats = 0;
    for (auto _ : state) {
        Take take;
        if (ConvertTempoFile(file.data(), static_cast<uint32_t>(file.size()), base, take) !=
            ImportResult::Converted)
            state.SkipWithError("the generated file was refused");
        beats = take.size();
    }
    state.counters["beats"] = static_cast<double>(beats);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_Import)->Arg(2)->Arg(5)->ArgName("base")->Unit(benchmark::kMillisecond);

// Passes every report on to the display reporter the flags choose, and keeps
// BM_ComputeTempoMap's time per point (the median when runs are repeated) to
// end the run with the ratio of 10^6 taps to 10^3 taps, on the error stream
// like the console's other notes, so machine-readable output stays as it is.
class PerPointReporter : public benchmark::BenchmarkReporter {
public:
    explicit PerPointReporter(benchmark::BenchmarkReporter* displayReporter) : display(displayReporter) {}

    bool ReportContext(const Context& context) override { return display->ReportContext(context); }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        display->ReportRuns(runs);
        for (const Run& run : runs) {
            const auto counter = run.counters.find("time_per_point");
            if (run.run_name.function_name != "BM_ComputeTempoMap" || run.error_occurred ||
                counter == run.counters.end())
                continue;
            if (run.run_type == Run::RT_Iteration)
                single[run.run_name.args] = counter->second.value;
            else if (run.aggregate_name == "median")
                median[run.run_name.args] = counter->second.value;
        }
    }

    void Finalize() override
    {
        display->Finalize();
        for (const char* q : {"0", "10"}) {
            const double small = PerPoint(std::string("taps:1000/Q:") + q);
            const double large = PerPoint(std::string("taps:1000000/Q:") + q);
            if (small > 0.0 && large > 0.0)
                GetErrorStream() << "BM_ComputeTempoMap time per point at Q = " << q << ": 10^6 taps "
                                 << large * 1e9 << " ns, 10^3 taps " << small * 1e9 << " ns, ratio "
                                 << large / small << "\n";
        }
    }

private:
    double PerPoint(const std::string& args) const
    {
        const auto m = median.find(args);
        if (m != median.end())
            return m->second;
        const auto s = single.find(args);
        return s != single.end() ? s->second : 0.0;
    }

    benchmark::BenchmarkReporter* display;
    std::map<std::string, double> single, median;  // seconds per point by arguments
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const std::unique_ptr<benchmark::BenchmarkReporter> display(benchmark::CreateDefaultDisplayReporter());
    PerPointReporter reporter(display.get());
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
