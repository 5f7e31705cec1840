// Writes the synthetic Standard MIDI Files of the peer benchmark
// (scripts/bench-peers.sh) into a folder. Every byte comes from generators
// with a fixed random state, so each run writes the same files:
//
//   f1-1mib.mid      format 1, a tempo track and 16 note tracks, about 1 MiB
//   f1-10mib.mid     the same at about 10 MiB
//   f1-50mib.mid     the same at about 50 MiB
//   f1-2000trk.mid   format 1, a tempo track and 1999 note tracks, about 8 MiB
//   f0-10mib.mid     format 0, the 16 channels and the tempo map in one track,
//                    about 10 MiB
//
// Note tracks hold notes (note-off as note-on with velocity 0), controller
// and pitch-bend runs, program changes, channel and key pressure, system
// exclusive messages and text events, written with running status. Every
// file is checked with mkSmfParser before it is written.
//
// Usage: make_bench_files OUTDIR
// Prints one line a file: name, bytes, tracks, events, FNV-1a 64 of the bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "mkSmfParser.h"
#include "mkSmfSequence.h"

namespace {

constexpr uint16_t kDivision = 480;
constexpr uint32_t kBar = 4 * kDivision;

using Bytes = std::vector<uint8_t>;

void PutVarLen(Bytes& out, uint32_t value)
{
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1)
        out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

void PutBe32(Bytes& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

// A meta event as it stands after the delta: FF, type, length, data.
void MakeMeta(Bytes& msg, uint8_t type, const uint8_t* data, uint32_t length)
{
    msg.clear();
    msg.push_back(0xFF);
    msg.push_back(type);
    PutVarLen(msg, length);
    msg.insert(msg.end(), data, data + length);
}

void MakeTextMeta(Bytes& msg, uint8_t type, const std::string& text)
{
    MakeMeta(msg, type, reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
}

// One track chunk's event bytes: deltas from absolute times, and running
// status for channel messages. System exclusive and meta events cancel
// running status, so the next channel message states its status again.
class TrackWriter {
public:
    void Put(uint32_t time, const Bytes& msg)
    {
        PutVarLen(bytes, time - lastTime);
        lastTime = time;
        const uint8_t status = msg[0];
        if (status < 0xF0) {
            const bool dropStatus = status == runningStatus;
            bytes.insert(bytes.end(), msg.begin() + (dropStatus ? 1 : 0), msg.end());
            runningStatus = status;
        } else {
            bytes.insert(bytes.end(), msg.begin(), msg.end());
            runningStatus = -1;
        }
        ++events;
    }
    void EndOfTrack(uint32_t time)
    {
        Bytes msg;
        MakeMeta(msg, 0x2F, nullptr, 0);
        Put(std::max(time, lastTime), msg);
    }
    size_t Size() const { return bytes.size(); }
    uint32_t LastTime() const { return lastTime; }
    size_t Events() const { return events; }
    const Bytes& Data() const { return bytes; }

private:
    Bytes bytes;
    uint32_t lastTime = 0;
    int runningStatus = -1;
    size_t events = 0;
};

// The events of one MIDI channel, one at a time in time order.
class ChannelGenerator {
public:
    ChannelGenerator(uint8_t channel, uint32_t state) : random(state), ch(channel) {}

    uint32_t NextTime() const { return time; }

    // The message of the event at NextTime(); then moves on to the next time.
    void Next(Bytes& msg)
    {
        msg.clear();
        if (burstLeft > 0) {
            --burstLeft;
            if (burstStatus == 0xB0)
                Controller(msg);
            else
                PitchBend(msg);
        } else {
            const uint32_t r = Below(1000);
            if (r < 2)
                SystemExclusive(msg);
            else if (r < 4)
                Text(msg);
            else if (r < 15)
                Channel(msg, 0xC0, static_cast<uint8_t>(Below(128)));
            else if (r < 20)
                Channel(msg, 0xD0, static_cast<uint8_t>(Below(128)));
            else if (r < 25)
                Channel(msg, 0xA0, static_cast<uint8_t>(36 + Below(48)), static_cast<uint8_t>(Below(128)));
            else if (r < 120)
                StartBurst(msg, 0xB0, 1 + Below(4));
            else if (r < 180)
                StartBurst(msg, 0xE0, 2 + Below(11));
            else
                Note(msg);
        }
        time += Delta();
    }

    // Note-offs for the notes still sounding, at the current time or the
    // track's last time, whichever is later.
    void ReleaseAll(TrackWriter& writer)
    {
        const uint32_t at = std::max(time, writer.LastTime());
        Bytes msg;
        for (size_t i = 0; i < activeCount; ++i) {
            Channel(msg, 0x90, active[i], 0);
            writer.Put(at, msg);
        }
        activeCount = 0;
    }

private:
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(random() % n); }

    // 40 % chords (0), 55 % one-byte deltas, 5 % two-byte deltas: about 19
    // ticks on average, so even the 50 MiB file stays well below the import's
    // beat limit at base 5 (a 1/32 note).
    uint32_t Delta()
    {
        const uint32_t r = Below(100);
        if (r < 40)
            return 0;
        if (r < 95)
            return 1 + Below(30);
        return 128 + Below(200);
    }

    void Channel(Bytes& msg, uint8_t kind, uint8_t d1)
    {
        msg.clear();
        msg.push_back(static_cast<uint8_t>(kind | ch));
        msg.push_back(d1);
    }
    void Channel(Bytes& msg, uint8_t kind, uint8_t d1, uint8_t d2)
    {
        Channel(msg, kind, d1);
        msg.push_back(d2);
    }

    void Controller(Bytes& msg)
    {
        static const uint8_t numbers[] = {1, 7, 10, 11, 64, 74};
        Channel(msg, 0xB0, numbers[Below(6)], static_cast<uint8_t>(Below(128)));
    }

    void PitchBend(Bytes& msg) { Channel(msg, 0xE0, static_cast<uint8_t>(Below(128)), static_cast<uint8_t>(Below(128))); }

    void StartBurst(Bytes& msg, uint8_t status, uint32_t length)
    {
        burstStatus = status;
        burstLeft = length - 1;
        if (status == 0xB0)
            Controller(msg);
        else
            PitchBend(msg);
    }

    void Note(Bytes& msg)
    {
        if (activeCount >= 6 || (activeCount > 0 && Below(2) == 0)) {
            Channel(msg, 0x90, active[0], 0);
            std::copy(active + 1, active + activeCount, active);
            --activeCount;
        } else {
            const uint8_t key = static_cast<uint8_t>(36 + Below(60));
            Channel(msg, 0x90, key, static_cast<uint8_t>(1 + Below(127)));
            active[activeCount++] = key;
        }
    }

    // A universal non-real-time message: mostly short, one in eight longer
    // than 127 bytes (a two-byte length).
    void SystemExclusive(Bytes& msg)
    {
        const uint32_t length = Below(8) == 0 ? 130 + Below(170) : 8 + Below(32);
        msg.clear();
        msg.push_back(0xF0);
        PutVarLen(msg, length);
        msg.push_back(0x7E);
        for (uint32_t i = 1; i + 1 < length; ++i)
            msg.push_back(static_cast<uint8_t>(Below(128)));
        msg.push_back(0xF7);
    }

    void Text(Bytes& msg)
    {
        static const uint8_t types[] = {0x01, 0x05, 0x06, 0x07};
        std::string text = "event " + std::to_string(time) + " ";
        const uint32_t extra = Below(30);
        for (uint32_t i = 0; i < extra; ++i)
            text.push_back(static_cast<char>('a' + Below(26)));
        MakeTextMeta(msg, types[Below(4)], text);
    }

    std::mt19937 random;
    uint8_t ch;
    uint32_t time = 0;
    uint32_t burstLeft = 0;
    uint8_t burstStatus = 0;
    uint8_t active[6] = {};
    size_t activeCount = 0;
};

// The tempo map: a tempo change every bar, a marker every 16 bars.
class TempoGenerator {
public:
    uint32_t NextTime() const { return bar * kBar; }

    void Next(Bytes& msg)
    {
        if (bar % 16 == 0 && !markerDone) {
            MakeTextMeta(msg, 0x06, "Section " + std::to_string(bar / 16 + 1));
            markerDone = true;
            return;
        }
        const uint32_t tempo = 400000 + (bar * 7919 % 50) * 4000;
        const uint8_t data[3] = {uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)};
        MakeMeta(msg, 0x51, data, 3);
        ++bar;
        markerDone = false;
    }

private:
    uint32_t bar = 0;
    bool markerDone = false;
};

void PutOpening(TrackWriter& writer, const std::string& name, bool tempoMap)
{
    Bytes msg;
    MakeTextMeta(msg, 0x03, name);
    writer.Put(0, msg);
    if (tempoMap) {
        const uint8_t timeSignature[4] = {4, 2, 24, 8};
        MakeMeta(msg, 0x58, timeSignature, 4);
        writer.Put(0, msg);
        const uint8_t keySignature[2] = {0, 0};
        MakeMeta(msg, 0x59, keySignature, 2);
        writer.Put(0, msg);
    }
}

struct File {
    Bytes bytes;
    size_t events = 0;
    size_t tracks = 0;
};

File Assemble(uint16_t format, const std::vector<TrackWriter>& tracks)
{
    File file;
    file.bytes = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, static_cast<uint8_t>(format)};
    file.bytes.push_back(static_cast<uint8_t>(tracks.size() >> 8));
    file.bytes.push_back(static_cast<uint8_t>(tracks.size()));
    file.bytes.push_back(static_cast<uint8_t>(kDivision >> 8));
    file.bytes.push_back(static_cast<uint8_t>(kDivision & 0xFF));
    for (const TrackWriter& track : tracks) {
        file.bytes.insert(file.bytes.end(), {'M', 'T', 'r', 'k'});
        PutBe32(file.bytes, static_cast<uint32_t>(track.Size()));
        file.bytes.insert(file.bytes.end(), track.Data().begin(), track.Data().end());
        file.events += track.Events();
    }
    file.tracks = tracks.size();
    return file;
}

// Format 1: the tempo track, then `noteTracks` tracks on channels 1-16 in
// turn, each filled to about bytes / noteTracks.
File MakeFormat1(size_t bytes, size_t noteTracks, uint32_t state)
{
    const size_t perTrack = bytes / noteTracks;
    std::vector<TrackWriter> tracks(noteTracks + 1);
    uint32_t end = 0;
    Bytes msg;
    for (size_t i = 0; i < noteTracks; ++i) {
        TrackWriter& writer = tracks[i + 1];
        ChannelGenerator channel(static_cast<uint8_t>(i % 16), state + static_cast<uint32_t>(i));
        PutOpening(writer, "Track " + std::to_string(i + 1), false);
        while (writer.Size() < perTrack) {
            const uint32_t t = channel.NextTime();
            channel.Next(msg);
            writer.Put(t, msg);
        }
        channel.ReleaseAll(writer);
        writer.EndOfTrack(writer.LastTime());
        end = std::max(end, writer.LastTime());
    }
    TrackWriter& tempoTrack = tracks[0];
    PutOpening(tempoTrack, "Tempo", true);
    TempoGenerator tempo;
    while (tempo.NextTime() <= end) {
        const uint32_t t = tempo.NextTime();
        tempo.Next(msg);
        tempoTrack.Put(t, msg);
    }
    tempoTrack.EndOfTrack(end);
    return Assemble(1, tracks);
}

// Format 0: the tempo map and 16 channels merged in time order into one
// track of about `bytes`.
File MakeFormat0(size_t bytes, uint32_t state)
{
    std::vector<TrackWriter> tracks(1);
    TrackWriter& writer = tracks[0];
    PutOpening(writer, "All channels", true);
    TempoGenerator tempo;
    std::vector<ChannelGenerator> channels;
    for (uint8_t ch = 0; ch < 16; ++ch)
        channels.emplace_back(ch, state + ch);
    Bytes msg;
    while (writer.Size() < bytes) {
        // The earliest next event; on equal times the tempo map first, then
        // the lower channel.
        size_t pick = 0;
        for (size_t i = 1; i < channels.size(); ++i)
            if (channels[i].NextTime() < channels[pick].NextTime())
                pick = i;
        if (tempo.NextTime() <= channels[pick].NextTime()) {
            const uint32_t t = tempo.NextTime();
            tempo.Next(msg);
            writer.Put(t, msg);
        } else {
            const uint32_t t = channels[pick].NextTime();
            channels[pick].Next(msg);
            writer.Put(t, msg);
        }
    }
    for (ChannelGenerator& channel : channels)
        channel.ReleaseAll(writer);
    writer.EndOfTrack(writer.LastTime());
    return Assemble(0, tracks);
}

uint64_t Fnv1a64(const Bytes& bytes)
{
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001B3ull;
    }
    return h;
}

bool WriteFile(const std::string& dir, const std::string& name, const File& file)
{
    mkSmfSequence sequence;
    mkSmfParser parser;
    if (!parser.Parse(sequence, file.bytes.data(), static_cast<uint32_t>(file.bytes.size()), false)) {
        std::fprintf(stderr, "make_bench_files: %s does not parse with mkSmfParser\n", name.c_str());
        return false;
    }
    const std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        return false;
    }
    const bool ok = std::fwrite(file.bytes.data(), 1, file.bytes.size(), f) == file.bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "make_bench_files: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\t%zu\t%zu\t%zu\t%016llx\n", name.c_str(), file.bytes.size(), file.tracks, file.events,
                static_cast<unsigned long long>(Fnv1a64(file.bytes)));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_files OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    constexpr size_t MiB = size_t(1) << 20;
    bool ok = WriteFile(dir, "f1-1mib.mid", MakeFormat1(1 * MiB, 16, 1000));
    ok = ok && WriteFile(dir, "f1-10mib.mid", MakeFormat1(10 * MiB, 16, 2000));
    ok = ok && WriteFile(dir, "f1-50mib.mid", MakeFormat1(50 * MiB, 16, 3000));
    ok = ok && WriteFile(dir, "f1-2000trk.mid", MakeFormat1(8 * MiB, 1999, 4000));
    ok = ok && WriteFile(dir, "f0-10mib.mid", MakeFormat0(10 * MiB, 5000));
    return ok ? 0 : 1;
}
