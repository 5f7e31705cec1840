// make_fuzz_corpus TARGET DIR: writes the starting corpus of one fuzz target
// into DIR.
//   smf_parser_fuzz  the SMF test suite's sample images, valid and broken
//   import_fuzz      the same images behind a base-note byte, and hostile files
//   tempo_fuzz       takes in the target's input layout
//   ini_fuzz         settings files, some followed by a NUL and an edit script
//   session_fuzz     sessions, take files and beat lists
//   wav_fuzz         WAV files of every layout the reader takes, and broken ones
//   onset_fuzz       clicks, noise and silence behind the target's steering bytes
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "SmfImages.h"
#include "WavImages.h"

namespace {

using namespace smfimg;
using Corpus = std::vector<std::pair<std::string, Bytes>>;

Corpus ImportCorpus()
{
    Corpus c;
    for (const auto& [name, bytes] : SampleSmfImages())
        c.emplace_back(name, Cat({{2}, bytes}));
    c.emplace_back("eighth-notes", Cat({{3}, Tempo34Image()}));
    // One tick per beat: the most beats accepted, and one more.
    c.emplace_back("million-beats", Cat({{2}, SmfBuilder(0, 1).Track(EndOfTrack(1000000)).Build()}));
    c.emplace_back("million-and-one-beats", Cat({{2}, SmfBuilder(0, 1).Track(EndOfTrack(1000001)).Build()}));
    // Beat times beyond 32-bit milliseconds.
    c.emplace_back("slowest-tempo",
                   Cat({{2}, SmfBuilder(0, 1).Track(Cat({Tempo(0, 0xFFFFFF), EndOfTrack(256001)})).Build()}));
    // A division of 1 with 32nd notes: a beat of zero ticks.
    c.emplace_back("zero-tick-beat", Cat({{5}, SmfBuilder(0, 1).Track(EndOfTrack(100)).Build()}));
    SmfBuilder manyTracks(1, 480);
    manyTracks.Track(Cat({Tempo(0, 400000), EndOfTrack()}));
    for (uint32_t i = 1; i < 300; ++i)
        manyTracks.Track(
            Cat({Ev(i * 7, {0x90, 0x3C, 0x64}), Tempo(i, 300000 + i), Ev(240, {0x80, 0x3C, 0x40}), EndOfTrack()}));
    c.emplace_back("many-tracks", Cat({{2}, manyTracks.Build()}));
    Bytes longDeltas;
    for (int i = 0; i < 17; ++i)
        longDeltas = Cat({longDeltas, Tempo(0x0FFFFFFF, 500000)});
    c.emplace_back("deltas-past-32-bits",
                   Cat({{0}, SmfBuilder(0, 0x7FFF).Track(Cat({longDeltas, EndOfTrack()})).Build()}));
    return c;
}

// Q, base, then takes: tap count - 2, taps as little-endian 32-bit times.
Bytes TempoInput(uint8_t q, uint8_t base, const std::vector<std::vector<uint32_t>>& takes)
{
    Bytes out{q, base};
    for (const auto& take : takes) {
        out.push_back(static_cast<uint8_t>(take.size() - 2));
        for (uint32_t t : take)
            out.insert(out.end(), {uint8_t(t), uint8_t(t >> 8), uint8_t(t >> 16), uint8_t(t >> 24)});
    }
    return out;
}

Corpus TempoCorpus()
{
    Corpus c;
    c.emplace_back("steady", TempoInput(0, 2, {{0, 500, 1000, 1500, 2000, 2500}}));
    c.emplace_back("accelerando-q10-base5", TempoInput(10, 5, {{0, 900, 1700, 2400, 3000, 3500, 3900}}));
    c.emplace_back("uneven-takes",
                   TempoInput(3, 2, {{0, 510, 990, 1500}, {100, 600, 1100}, {0, 480, 1000, 1490, 2010}}));
    c.emplace_back("clock-wrap", TempoInput(1, 3, {{0xFFFFFE00u, 0xFFFFFFF0u, 0x000001E0u, 0x000003D0u}}));
    c.emplace_back("backwards", TempoInput(4, 1, {{5000, 4000, 4500, 100}}));
    c.emplace_back("huge-gap", TempoInput(2, 0, {{0, 4000000000u, 4000000001u}}));
    c.emplace_back("equal-taps", TempoInput(5, 4, {{7, 7, 7}, {0, 0}}));
    c.emplace_back("four-takes",
                   TempoInput(7, 2, {{0, 500, 1000}, {0, 505, 1010}, {0, 495, 990, 1485}, {0, 520, 1040, 1560, 2080}}));
    return c;
}

// An input of the INI target: a script of edits (Get 0, Set 1, Delete 2,
// each followed by its strings: a length byte and the bytes, or 0xC0 + n for
// the n-th name already present), then the file.
Bytes IniInput(std::initializer_list<std::pair<uint8_t, std::vector<std::string>>> edits, const std::string& file)
{
    Bytes script;
    for (const auto& [op, strings] : edits) {
        script.push_back(op);
        for (const std::string& s : strings) {
            if (s.size() == 1 && uint8_t(s[0]) >= 0xC0) {
                script.push_back(uint8_t(s[0]));
                continue;
            }
            script.push_back(static_cast<uint8_t>(s.size()));
            script.insert(script.end(), s.begin(), s.end());
        }
    }
    return Cat({{static_cast<uint8_t>(script.size())}, script, Bytes(file.begin(), file.end())});
}

Corpus IniCorpus()
{
    const std::string settings =
        "[AppSetting]\r\nLeft=120\r\nTop=80\r\nTempoInterpCount=3\r\nTimeSigBase=2\r\nTapMethod=0\r\n"
        "MidiIn=USB MIDI Interface\r\nAddCakewalkTool=1\r\n";
    const std::string pick0("\xC0"), pick1("\xC1");
    Corpus c;
    c.emplace_back("settings", IniInput({}, settings));
    c.emplace_back("settings-edited", IniInput({{1, {"AppSetting", "Left", "-20"}},
                                                {2, {pick0, pick1}},
                                                {0, {"appsetting", "TOP"}},
                                                {1, {"New", "Key", "a=b"}},
                                                {1, {"", "", ""}}},
                                               settings));
    c.emplace_back("line-ends", IniInput({}, "[S]\nA=1\r\nB=2\rC\nD=\r\r\nE=5\r"));
    c.emplace_back("comments-and-strays", IniInput({}, "stray=1\r\n;c=1\r\n\r\n[A]\r\nx=1\r\n ;y=2\r\n [B]\r\n[\r\n"));
    c.emplace_back("byte-order-mark", IniInput({}, "\xEF\xBB\xBF[A]\r\nx=1\r\n[B]\r\ny=2\r\n"));
    c.emplace_back("duplicate-sections",
                   IniInput({{2, {"A", "K"}}, {1, {pick1, pick0, "4"}}},
                            "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n[]\r\n=empty\r\n"));
    c.emplace_back("unwritable-edits", IniInput({{1, {"A", ";comment", "1"}},
                                                 {1, {"A", "[x", "]"}},
                                                 {1, {"B\nC", "k", "v\r\nw"}},
                                                 {1, {"A", "cr", "\r"}}},
                                                "[A]\r\nx=1\r\n"));
    c.emplace_back("high-bytes",
                   IniInput({}, std::string("[\xC4pp]\r\n\xC4=\xE4\r\n\xFF\xFE=\x80\r\n\0nul=\0\r\n", 26)));
    return c;
}

// Sessions (whole, cut, with fields the reader skips), take files and beat
// lists.
Corpus SessionCorpus()
{
    Corpus c;
    const auto add = [&c](const char* name, const std::string& text) {
        c.emplace_back(name, Bytes(text.begin(), text.end()));
    };
    add("session", "Metrova takes 1\r\ntake 2026-12-07T14:30:05 3\r\n0\r\n500\r\n1000\r\n"
                   "take 2026-12-07T14:31:40 2\r\n0\r\n620\r\nend\r\n");
    add("session-empty", "Metrova takes 1\nend\n");
    add("session-fields", "Metrova takes 1\ntake 2024-02-29T23:59:59 2 checked=0 repaired=1\n7\n9\nend\n");
    add("session-cut", "Metrova takes 1\r\ntake 2026-12-07T14:30:05 3\r\n0\r\n50");
    add("take-file", "0 500 1000\n1500\r\n2000");
    add("labels", "0.500000\t0.500000\tBeat 1\r\n1.000000\t1.000000\t2\r\n");
    add("instants", "\xEF\xBB\xBF" "12.25,1\n12.7505,2\n\n13.25 bar\n");
    return c;
}

// WAV images of every layout, a few broken, each followed by the byte
// that steers how the target reads it.
Corpus WavCorpus()
{
    using namespace wavimg;
    const Bytes data = Noise(24 * 6, 5);
    Corpus c;
    const auto add = [&c](const char* name, const wavimg::Bytes& image, uint8_t steer) {
        Bytes input(image.begin(), image.end());
        input.push_back(steer);
        c.emplace_back(name, input);
    };
    add("pcm16-stereo", PlainWav(40), 0x41);
    add("pcm8-mono", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 8)), Chunk("data", Noise(33, 1))}), 0x03);
    add("pcm24-odd-chunks",
        Riff({Chunk("JUNK", Noise(3, 2)), Chunk("fmt ", Fmt(1, 2, 48000, 24)), Chunk("data", data)}), 0x45);
    add("pcm32-data-first", Riff({Chunk("data", data), Chunk("fmt ", Fmt(1, 3, 96000, 32))}), 0x10);
    add("float32", Riff({Chunk("fmt ", Fmt(3, 2, 44100, 32)), Chunk("fact", Noise(4, 3)), Chunk("data", data)}), 0x7F);
    add("float64", Riff({Chunk("fmt ", Fmt(3, 1, 22050, 64)), Chunk("data", data)}), 0x00);
    add("extensible-pcm", Riff({Chunk("fmt ", ExtensibleFmt(1, 6, 44100, 24, 20)), Chunk("data", data)}), 0x42);
    add("extensible-float", Riff({Chunk("fmt ", ExtensibleFmt(3, 2, 192000, 32, 32)), Chunk("data", data)}), 0x01);
    add("data-past-the-end", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16)), Chunk("data", data, 0xFFFFFFF0)}), 0x44);
    add("no-channels", Riff({Chunk("fmt ", Fmt(1, 0, 44100, 16, 4)), Chunk("data", data)}), 0x02);
    add("rf64", Riff({Chunk("ds64", Noise(28, 4)), Chunk("fmt ", Fmt(1, 2, 44100, 16)), Chunk("data", data)},
                     0xFFFFFFFF, "RF64"),
        0x02);
    add("ogg-page", Bytes{'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 1, 30},
        0x05);
    return c;
}

// The onset target's input: rate (4 bytes), channels, block size, sample
// kind (odd: floats, even: 16-bit) and repeat count, then the samples.
Corpus OnsetCorpus()
{
    Corpus c;
    const auto add = [&c](const char* name, uint32_t rate, uint8_t channels, uint8_t block, bool floats,
                          uint8_t repeat, const std::vector<float>& samples) {
        wavimg::Bytes input = {uint8_t(rate), uint8_t(rate >> 8), uint8_t(rate >> 16), uint8_t(rate >> 24),
                               channels, block, uint8_t(floats ? 1 : 0), repeat};
        for (const float f : samples) {
            if (floats) {
                uint8_t b[4];
                std::memcpy(b, &f, 4);
                input.insert(input.end(), b, b + 4);
            } else {
                const int v = static_cast<int>(f * 32767);
                input.push_back(uint8_t(v & 255));
                input.push_back(uint8_t((v >> 8) & 255));
            }
        }
        c.emplace_back(name, input);
    };
    std::vector<float> click(4000, 0.0f);
    click[1000] = 0.9f;
    click[3000] = -0.05f;
    std::vector<float> noise(6000);
    uint32_t x = 1;
    for (float& s : noise) {
        x = x * 1664525u + 1013904223u;
        s = static_cast<float>(static_cast<int32_t>(x)) / 4294967296.0f;
    }
    add("clicks-44k", 44100, 0, 99, false, 8, click);
    add("clicks-8k-floats", 8000, 0, 3, true, 3, click);
    add("noise-stereo-96k", 96000, 1, 255, true, 20, noise);
    add("noise-rate-zero", 0, 2, 0, false, 1, noise);
    add("silence-huge-rate", 0xFFFFFFFFu, 3, 7, true, 63, std::vector<float>(500, 0.0f));
    return c;
}

// The snapping target's input: hop, flags, frames / 64 - 1, beats, first
// beat / 20 ms, then the curves a byte a frame (main, fine, slow), then the
// beats' distances, two bytes each.
Corpus SnapCorpus()
{
    Corpus c;
    const auto add = [&c](const char* name, uint8_t hop, uint8_t flags, uint8_t frameBlocks, uint8_t beats,
                          uint8_t first, uint32_t peakEvery, uint16_t distance) {
        wavimg::Bytes input = {hop, flags, frameBlocks, beats, first};
        const size_t frames = (static_cast<size_t>(frameBlocks) + 1) * 64;
        for (size_t curve = 0; curve < 3; ++curve)
            for (size_t f = 0; f < frames; ++f)
                input.push_back(peakEvery && f % peakEvery == 0 ? 230 : uint8_t(f * 7 % 9));
        for (uint8_t b = 0; b < beats; ++b) {
            input.push_back(uint8_t(distance & 255));
            input.push_back(uint8_t(distance >> 8));
        }
        c.emplace_back(name, input);
    };
    // Clicks every 250 ms at a hop of 2.5 ms, beats tapped 250 ms apart.
    add("clicks-fine", 6, 1, 31, 24, 50, 100, 230);
    add("clicks-slow-shuffled", 6, 6, 31, 24, 51, 100, 230);
    add("hop-zero", 255, 3, 3, 8, 0, 10, 100);
    add("no-onsets", 16, 7, 7, 40, 5, 0, 480);
    return c;
}

bool WriteCorpus(const std::string& dir, const Corpus& corpus)
{
    for (const auto& [name, bytes] : corpus) {
        const std::string path = dir + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            if (f)
                std::fclose(f);
            return false;
        }
        std::fclose(f);
    }
    std::printf("%zu corpus files in %s\n", corpus.size(), dir.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3) {
        const std::string target = argv[1];
        Corpus corpus;
        if (target == "smf_parser_fuzz")
            for (const auto& [name, bytes] : SampleSmfImages())
                corpus.emplace_back(name + ".mid", bytes);
        else if (target == "import_fuzz")
            corpus = ImportCorpus();
        else if (target == "tempo_fuzz")
            corpus = TempoCorpus();
        else if (target == "ini_fuzz")
            corpus = IniCorpus();
        else if (target == "session_fuzz")
            corpus = SessionCorpus();
        else if (target == "wav_fuzz")
            corpus = WavCorpus();
        else if (target == "onset_fuzz")
            corpus = OnsetCorpus();
        else if (target == "snap_fuzz")
            corpus = SnapCorpus();
        if (!corpus.empty())
            return WriteCorpus(argv[2], corpus) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: make_fuzz_corpus smf_parser_fuzz|import_fuzz|tempo_fuzz|ini_fuzz|session_fuzz|wav_fuzz|onset_fuzz|snap_fuzz DIR\n");
    return 2;
}
