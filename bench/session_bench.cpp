// Speed of keeping the session: 10 takes of 100,000 taps each written as
// session text and read back, first in memory, then as the program does it
// with a real file (the save through the replace-on-success writer, flushed
// to the disk; the load reading the whole file). Goals: a load under 0.5 s,
// a save under 0.2 s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "FileReplace.h"
#include "Session.h"
#include "TakeFile.h"

namespace {

std::vector<SessionTake> MakeSession(size_t takes, size_t taps)
{
    std::mt19937 random(42);
    std::uniform_int_distribution<int> wobble(-30, 30);
    std::vector<SessionTake> session(takes);
    for (size_t t = 0; t < takes; ++t) {
        session[t].ListedAt = "2026-12-07T14:30:" + std::to_string(10 + t);
        uint32_t time = 0;
        session[t].Taps.reserve(taps);
        for (size_t i = 0; i < taps; ++i) {
            session[t].Taps.push_back(time);
            time += static_cast<uint32_t>(500 + wobble(random));
        }
    }
    return session;
}

void BM_SaveSession(benchmark::State& state)
{
    const std::vector<SessionTake> session = MakeSession(10, static_cast<size_t>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = FormatSession(session);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SaveSession)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadSession(benchmark::State& state)
{
    const std::string text = FormatSession(MakeSession(10, static_cast<size_t>(state.range(0))));
    for (auto _ : state) {
        std::vector<SessionTake> takes;
        TakeFileError error;
        if (!ReadTakeFileBytes(text, takes, error))
            state.SkipWithError("the session did not read back");
        benchmark::DoNotOptimize(takes.data());
    }
}
BENCHMARK(BM_LoadSession)->Arg(100000)->Unit(benchmark::kMillisecond);

const std::string kFile = "/tmp/metrova-session-bench.takes";

void BM_SaveSessionFile(benchmark::State& state)
{
    const std::vector<SessionTake> session = MakeSession(10, static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        const std::string text = FormatSession(session);
        if (!WriteFileReplacing(kFile, text.data(), text.size()))
            state.SkipWithError("the session could not be written");
    }
}
BENCHMARK(BM_SaveSessionFile)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadSessionFile(benchmark::State& state)
{
    const std::string text = FormatSession(MakeSession(10, static_cast<size_t>(state.range(0))));
    WriteFileReplacing(kFile, text.data(), text.size());
    for (auto _ : state) {
        std::ifstream in(kFile, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<SessionTake> takes;
        TakeFileError error;
        if (!ReadTakeFileBytes(bytes, takes, error) || takes.size() != 10)
            state.SkipWithError("the session did not read back");
        benchmark::DoNotOptimize(takes.data());
    }
    std::remove(kFile.c_str());
}
BENCHMARK(BM_LoadSessionFile)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
