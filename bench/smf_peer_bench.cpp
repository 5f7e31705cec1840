// Our side of the peer benchmark (scripts/bench-peers.sh): for each file
// given, the median wall time of
//
//   read         the file into a new buffer (from the page cache)
//   read+parse   read, then mkSmfParser::Parse into a new mkSmfSequence: the
//                work a peer library does when handed a path
//   parse        Parse of the image already in memory
//   free         destroying the parsed sequence (not part of parse)
//   write        mkSmfSequence::Write with running status into a new buffer,
//                of a sequence parsed just before, outside the clock
//   import5      ConvertTempoFile at base note 5 (a 1/32 note), in memory
//   copy         floor: the image copied into a new buffer (new[] + memcpy)
//   scan         floor: a storing scanner that decodes every delta and status
//                (running status, system exclusive and meta lengths) and
//                stores each event (time, status, offset, length) in one
//                flat std::vector that grows as it goes
//
// The measures of a file run in rounds, each once a round, at least
// --min-rounds rounds (default 5) and until --budget seconds (default 3)
// have passed, at most 100 rounds. Output, tab-separated, one line a value:
//   info  FILE  KEY  VALUE
//   ours  FILE  MEASURE  MEDIAN_MS  RUNS  MIN_MS
//
// Usage: smf_peer_bench [--min-rounds N] [--budget SECONDS] FILE...
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "Take.h"
#include "TempoImport.h"
#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

using Clock = std::chrono::steady_clock;

// Keeps the compiler from dropping work whose result is only this pointer.
inline void Escape(const void* p)
{
    asm volatile("" : : "g"(p) : "memory");
}

// glibc keeps freed small blocks aside and merges them at the next large
// allocation, so the measure after one that freed millions of events would
// pay for those frees. Merging them here, outside the clocks, before every
// measure lets each measure pay for its own work only.
void SettleHeap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Image {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
};

bool ReadImage(const char* path, Image& image)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long end = ok ? std::ftell(f) : -1;
    ok = ok && end > 0 && end <= 0x7FFFFFFF && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        image.size = static_cast<uint32_t>(end);
        image.data.reset(new uint8_t[image.size]);
        ok = std::fread(image.data.get(), 1, image.size, f) == image.size;
    }
    std::fclose(f);
    return ok;
}

// The storing scanner, the floor of any parser that keeps every event.
struct ScannedEvent {
    uint32_t time;
    uint32_t offset;  // of the message bytes after the status byte
    uint32_t length;  // of those bytes
    uint8_t status;
};

class Scanner {
public:
    Scanner(const uint8_t* data, uint32_t size) : p(data), end(data + size) {}

    // False for anything malformed or truncated.
    bool Scan(std::vector<ScannedEvent>& events, std::vector<uint32_t>& trackStarts)
    {
        const uint8_t* const base = p;
        if (end - p < 14 || std::memcmp(p, "MThd", 4) != 0)
            return false;
        const uint32_t headerLength = Be32(p + 4);
        if (headerLength < 6 || headerLength > uint32_t(end - p - 8))
            return false;
        const uint32_t trackCount = uint32_t(p[10]) << 8 | p[11];
        p += 8 + headerLength;
        for (uint32_t n = 0; n < trackCount; ++n) {
            if (end - p < 8)
                return false;
            const bool isTrack = std::memcmp(p, "MTrk", 4) == 0;
            const uint32_t length = Be32(p + 4);
            p += 8;
            if (length > uint32_t(end - p))
                return false;
            if (!isTrack) {
                p += length;
                continue;
            }
            trackStarts.push_back(static_cast<uint32_t>(events.size()));
            const uint8_t* const trackEnd = p + length;
            uint32_t time = 0;
            int running = -1;
            for (;;) {
                uint32_t delta = 0;
                if (!VarLen(trackEnd, delta) || p >= trackEnd)
                    return false;
                time += delta;
                uint8_t status = *p;
                if (status & 0x80)
                    ++p;
                else if (running < 0)
                    return false;
                else
                    status = static_cast<uint8_t>(running);
                const uint8_t* const message = p;
                bool endOfTrack = false;
                if (status < 0xF0) {
                    p += (status & 0xE0) == 0xC0 ? 1 : 2;
                    running = status;
                } else if (status == 0xF0 || status == 0xF7) {
                    uint32_t n2 = 0;
                    if (!VarLen(trackEnd, n2) || n2 > uint32_t(trackEnd - p))
                        return false;
                    p += n2;
                    running = -1;
                } else if (status == 0xFF) {
                    if (p >= trackEnd)
                        return false;
                    const uint8_t type = *p++;
                    uint32_t n2 = 0;
                    if (!VarLen(trackEnd, n2) || n2 > uint32_t(trackEnd - p))
                        return false;
                    p += n2;
                    running = -1;
                    endOfTrack = type == 0x2F;
                } else {
                    return false;
                }
                if (p > trackEnd)
                    return false;
                events.push_back({time, static_cast<uint32_t>(message - base), static_cast<uint32_t>(p - message),
                                  status});
                if (endOfTrack) {
                    if (p != trackEnd)
                        return false;
                    break;
                }
            }
        }
        return true;
    }

private:
    static uint32_t Be32(const uint8_t* q) { return uint32_t(q[0]) << 24 | uint32_t(q[1]) << 16 | uint32_t(q[2]) << 8 | q[3]; }

    bool VarLen(const uint8_t* limit, uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (p >= limit)
                return false;
            const uint8_t b = *p++;
            value = value << 7 | (b & 0x7Fu);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    const uint8_t* p;
    const uint8_t* end;
};

struct Options {
    int minRounds = 5;
    double budgetMs = 3000.0;
};

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const size_t mid = times.size() / 2;
    return times.size() % 2 ? times[mid] : (times[mid - 1] + times[mid]) / 2.0;
}

// The measures of one file. They run in rounds, each measure once a round,
// so that a change in the machine's load (other builds share it) touches
// them all alike and their ratios stay fair; the heap is settled before
// each.
class Rounds {
public:
    // `once` returns the milliseconds it measured.
    void Add(const char* measure, std::function<double()> once) { measures.push_back({measure, std::move(once), {}}); }

    // At least minRounds rounds and until the budget is spent (at most 100).
    void Run(const Options& options)
    {
        const Clock::time_point start = Clock::now();
        for (int round = 0; round < 100 && (round < options.minRounds || MillisecondsSince(start) < options.budgetMs);
             ++round)
            for (Measure& m : measures) {
                SettleHeap();
                m.times.push_back(m.once());
            }
    }

    void Print(const std::string& file, const char* measure, const std::vector<double>& times) const
    {
        std::printf("ours\t%s\t%s\t%.3f\t%zu\t%.3f\n", file.c_str(), measure, Median(times), times.size(),
                    *std::min_element(times.begin(), times.end()));
    }

    void Print(const std::string& file) const
    {
        for (const Measure& m : measures)
            Print(file, m.name, m.times);
        std::fflush(stdout);
    }

private:
    struct Measure {
        const char* name;
        std::function<double()> once;
        std::vector<double> times;
    };
    std::vector<Measure> measures;
};

bool Parse(mkSmfSequence& sequence, const Image& image)
{
    mkSmfParser parser;
    return parser.Parse(sequence, image.data.get(), image.size, false);
}

bool BenchFile(const char* path, const Options& options)
{
    std::string name = path;
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos)
        name = name.substr(slash + 1);

    Image image;
    if (!ReadImage(path, image)) {
        std::fprintf(stderr, "smf_peer_bench: cannot read %s\n", path);
        return false;
    }
    auto sequence = std::make_unique<mkSmfSequence>();
    if (!Parse(*sequence, image)) {
        std::fprintf(stderr, "smf_peer_bench: %s does not parse\n", path);
        return false;
    }
    size_t events = 0;
    for (size_t i = 0; i < sequence->GetTrackCount(); ++i)
        events += sequence->GetTrack(i).GetEventCount();
    std::vector<ScannedEvent> scanned;
    std::vector<uint32_t> trackStarts;
    if (!Scanner(image.data.get(), image.size).Scan(scanned, trackStarts) || scanned.size() != events) {
        std::fprintf(stderr, "smf_peer_bench: the scanner disagrees with the parser on %s\n", path);
        return false;
    }
    scanned = {};
    mkByteBuffer written;
    sequence->Write(written, true);
    const bool identical =
        written.GetSize() == image.size && std::memcmp(written.GetData(), image.data.get(), image.size) == 0;
    written.SetSize(0);
    Take beats;
    const bool imported = sequence->Format <= 1 &&
                          ConvertTempoFile(image.data.get(), image.size, 5, beats) == ImportResult::Converted;

    std::printf("info\t%s\tbytes\t%u\n", name.c_str(), image.size);
    std::printf("info\t%s\tformat\t%u\n", name.c_str(), unsigned(sequence->Format));
    std::printf("info\t%s\ttracks\t%zu\n", name.c_str(), sequence->GetTrackCount());
    std::printf("info\t%s\tevents\t%zu\n", name.c_str(), events);
    std::printf("info\t%s\twrite_identical\t%s\n", name.c_str(), identical ? "yes" : "no");
    std::printf("info\t%s\timport5_beats\t%zu\n", name.c_str(), imported ? beats.size() : size_t(0));
    std::fflush(stdout);
    // No parsed sequence may outlive a measure: the event lists' block pool
    // keeps its blocks while any event lives, and a parse into those warm
    // blocks would skip the fresh memory that every other measure pays for.
    sequence.reset();

    Rounds rounds;
    rounds.Add("read", [&] {
        const Clock::time_point t0 = Clock::now();
        Image copy;
        ReadImage(path, copy);
        Escape(copy.data.get());
        return MillisecondsSince(t0);
    });
    rounds.Add("read+parse", [&] {
        const Clock::time_point t0 = Clock::now();
        Image copy;
        ReadImage(path, copy);
        auto parsed = std::make_unique<mkSmfSequence>();
        Parse(*parsed, copy);
        Escape(parsed.get());
        const double ms = MillisecondsSince(t0);
        parsed.reset();
        return ms;
    });
    // Parse and free from the same runs: the sequence is destroyed after
    // the parse's clock has stopped, on a clock of its own.
    std::vector<double> freeTimes;
    rounds.Add("parse", [&] {
        auto parsed = std::make_unique<mkSmfSequence>();
        const Clock::time_point t0 = Clock::now();
        Parse(*parsed, image);
        Escape(parsed.get());
        const double ms = MillisecondsSince(t0);
        const Clock::time_point t1 = Clock::now();
        parsed.reset();
        freeTimes.push_back(MillisecondsSince(t1));
        return ms;
    });
    rounds.Add("write", [&] {
        mkSmfSequence parsed;
        Parse(parsed, image);
        const Clock::time_point t0 = Clock::now();
        mkByteBuffer out;
        parsed.Write(out, true);
        Escape(out.GetData());
        return MillisecondsSince(t0);
    });
    if (imported) {
        rounds.Add("import5", [&] {
            const Clock::time_point t0 = Clock::now();
            Take take;
            ConvertTempoFile(image.data.get(), image.size, 5, take);
            Escape(take.data());
            return MillisecondsSince(t0);
        });
    }
    rounds.Add("copy", [&] {
        const Clock::time_point t0 = Clock::now();
        std::unique_ptr<uint8_t[]> copy(new uint8_t[image.size]);
        std::memcpy(copy.get(), image.data.get(), image.size);
        Escape(copy.get());
        return MillisecondsSince(t0);
    });
    rounds.Add("scan", [&] {
        const Clock::time_point t0 = Clock::now();
        std::vector<ScannedEvent> out;
        std::vector<uint32_t> starts;
        Scanner(image.data.get(), image.size).Scan(out, starts);
        Escape(out.data());
        return MillisecondsSince(t0);
    });
    rounds.Run(options);
    rounds.Print(name);
    rounds.Print(name, "free", freeTimes);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--min-rounds" && i + 1 < argc)
            options.minRounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--budget" && i + 1 < argc)
            options.budgetMs = std::atof(argv[++i]) * 1000.0;
        else
            files.push_back(argv[i]);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: smf_peer_bench [--min-rounds N] [--budget SECONDS] FILE...\n");
        return 2;
    }
    bool ok = true;
    for (const char* file : files)
        ok = BenchFile(file, options) && ok;
    return ok ? 0 : 1;
}
