// Byte images of Standard MIDI Files for the SMF tests and the parser's fuzz
// corpus: small builders for chunks, big-endian integers and variable-length
// quantities, and a named set of sample files, well-formed and broken.
//
// Header-only and independent of the library, so that an image states what a
// file holds without going through the writer under test.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace smfimg {

using Bytes = std::vector<uint8_t>;

inline Bytes Be16(uint16_t v)
{
    return {uint8_t(v >> 8), uint8_t(v)};
}

inline Bytes Be32(uint32_t v)
{
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// Shortest encoding, most significant group first.
inline Bytes VarLen(uint32_t v)
{
    Bytes out{uint8_t(v & 0x7F)};
    while ((v >>= 7) != 0)
        out.insert(out.begin(), uint8_t(0x80 | (v & 0x7F)));
    return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// A chunk: four-character identifier, 32-bit length, body.
inline Bytes Chunk(const std::string& id, const Bytes& body)
{
    return Cat({Text(id), Be32(static_cast<uint32_t>(body.size())), body});
}

// One event as it stands in a track chunk: delta time, then the bytes.
inline Bytes Ev(uint32_t delta, const Bytes& bytes)
{
    return Cat({VarLen(delta), bytes});
}

inline Bytes EndOfTrack(uint32_t delta = 0)
{
    return Ev(delta, {0xFF, 0x2F, 0x00});
}

inline Bytes Tempo(uint32_t delta, uint32_t microsecondsPerQuarter)
{
    return Ev(delta, {0xFF, 0x51, 0x03, uint8_t(microsecondsPerQuarter >> 16), uint8_t(microsecondsPerQuarter >> 8),
                      uint8_t(microsecondsPerQuarter)});
}

// Header chunk plus chunks. The announced chunk count defaults to the number
// of chunks added; Announce() overrides it to build files that lie about it.
class SmfBuilder {
public:
    SmfBuilder(uint16_t format, uint16_t division) : headerFormat(format), headerDivision(division) {}

    SmfBuilder& HeaderLength(uint32_t length, Bytes extra = {})
    {
        headerLength = length;
        headerExtra = std::move(extra);
        return *this;
    }
    SmfBuilder& Announce(uint16_t count)
    {
        announced = count;
        announcedSet = true;
        return *this;
    }
    SmfBuilder& Track(const Bytes& events) { return AddChunk("MTrk", events); }
    SmfBuilder& AddChunk(const std::string& id, const Bytes& body)
    {
        chunks.push_back(Chunk(id, body));
        return *this;
    }
    // Bytes behind the chunks that no chunk count covers.
    SmfBuilder& Trailer(const Bytes& bytes)
    {
        trailer = bytes;
        return *this;
    }

    Bytes Build() const
    {
        const uint16_t count = announcedSet ? announced : static_cast<uint16_t>(chunks.size());
        Bytes out = Cat(
            {Text("MThd"), Be32(headerLength), Be16(headerFormat), Be16(count), Be16(headerDivision), headerExtra});
        for (const Bytes& c : chunks)
            out.insert(out.end(), c.begin(), c.end());
        out.insert(out.end(), trailer.begin(), trailer.end());
        return out;
    }

private:
    uint16_t headerFormat;
    uint16_t headerDivision;
    uint32_t headerLength = 6;
    Bytes headerExtra;
    uint16_t announced = 0;
    bool announcedSet = false;
    std::vector<Bytes> chunks;
    Bytes trailer;
};

// The reference export: format 0, division 2520, a 500000 us tempo at 0 and
// End of Track at 0. Written out literally as the file holds it.
inline Bytes Tempo33Image()
{
    return {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x09, 0xD8, 0x4D, 0x54, 0x72,
            0x6B, 0x00, 0x00, 0x00, 0x0B, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
}

// The same with End of Track at 2520 (delta 93 58).
inline Bytes Tempo34Image()
{
    return {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x09, 0xD8, 0x4D, 0x54, 0x72,
            0x6B, 0x00, 0x00, 0x00, 0x0C, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x93, 0x58, 0xFF, 0x2F, 0x00};
}

// The 128-byte MacBinary header that classic Mac OS tools put in front of a
// file: version 0, file name, type and creator, zero bytes at offsets 74 and
// 82, data fork length. Offsets 74 and 82 are the caller's to spoil.
inline Bytes MacBinary(const Bytes& image, uint8_t at74 = 0, uint8_t at82 = 0)
{
    Bytes header(128, 0);
    const std::string name = "tempo.mid";
    header[1] = static_cast<uint8_t>(name.size());
    for (size_t i = 0; i < name.size(); ++i)
        header[2 + i] = static_cast<uint8_t>(name[i]);
    const std::string typeCreator = "MidiMtrv";
    for (size_t i = 0; i < typeCreator.size(); ++i)
        header[65 + i] = static_cast<uint8_t>(typeCreator[i]);
    header[74] = at74;
    header[82] = at82;
    const Bytes length = Be32(static_cast<uint32_t>(image.size()));
    for (size_t i = 0; i < 4; ++i)
        header[83 + i] = length[i];
    return Cat({header, image});
}

// A format-0 file at 480 ticks per quarter holding one track chunk.
inline Bytes OneTrackFile(const Bytes& events)
{
    return SmfBuilder(0, 480).Track(events).Build();
}

// Well-formed tracks the samples share.
inline Bytes NoteTrackEvents()
{
    return Cat({Ev(0, {0xC0, 0x05}), Ev(0, {0x90, 0x3C, 0x64}), Ev(960, {0x80, 0x3C, 0x40}),
                Ev(0, {0x90, 0x3E, 0x64}), Ev(2880, {0x80, 0x3E, 0x40}), EndOfTrack()});
}

inline Bytes RunningStatusEvents()
{
    return Cat({Ev(0, {0x90, 0x3C, 0x64}), Ev(0, {0x3E, 0x64}), Ev(480, {0x3C, 0x00}), Ev(0, {0x3E, 0x00}),
                EndOfTrack()});
}

}  // namespace smfimg

// Named sample files. A name starting with "valid-" is a file the parser
// accepts (with the MacBinary header allowed); "broken-" is one it refuses.
// Names are usable as file names: the fuzz corpus is written from them.
inline std::vector<std::pair<std::string, std::vector<uint8_t>>> SampleSmfImages()
{
    using namespace smfimg;
    const Bytes tempoTrack = Cat({Tempo(0, 500000), EndOfTrack()});
    // A format-0 file at 480 ticks per quarter: the events, then End of Track.
    const auto ending = [](const Bytes& events) { return OneTrackFile(Cat({events, EndOfTrack()})); };
    const Bytes sysexEvents = Cat({Ev(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}), Ev(10, {0xF7, 0x02, 0xF3, 0x01}),
                                   Ev(0, {0xF0, 0x00})});
    const Bytes allChannelKinds =
        Cat({Ev(0, {0x80, 0x3C, 0x00}), Ev(1, {0xA1, 0x3C, 0x10}), Ev(1, {0xB2, 0x07, 0x64}), Ev(1, {0x08, 0x40}),
             Ev(1, {0xC3, 0x01}), Ev(1, {0x02}), Ev(1, {0xD4, 0x20}), Ev(1, {0xE5, 0x00, 0x40})});
    const Bytes fixedLengthMetas =
        Cat({Ev(0, {0xFF, 0x00, 0x02, 0x00, 0x01}), Ev(0, {0xFF, 0x20, 0x01, 0x00}),
             Ev(0, {0xFF, 0x54, 0x05, 0x60, 0x00, 0x00, 0x00, 0x00}), Ev(0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}),
             Ev(0, {0xFF, 0x59, 0x02, 0x00, 0x00}), Tempo(0, 600000)});
    Bytes longText = {0xFF, 0x01, 0x81, 0x48};  // 200 bytes of text
    longText.insert(longText.end(), 200, uint8_t('a'));
    const Bytes note = Ev(0, {0x90, 0x3C, 0x64});
    const Bytes runningData = Ev(0, {0x3E, 0x64});

    std::vector<std::pair<std::string, Bytes>> s;
    s.emplace_back("valid-tempo-33", Tempo33Image());
    s.emplace_back("valid-tempo-34", Tempo34Image());
    s.emplace_back("valid-macbinary-tempo", MacBinary(Tempo33Image()));
    s.emplace_back("valid-format1-two-tracks", SmfBuilder(1, 480).Track(tempoTrack).Track(NoteTrackEvents()).Build());
    s.emplace_back("valid-format0-two-tracks", SmfBuilder(0, 480).Track(tempoTrack).Track(NoteTrackEvents()).Build());
    s.emplace_back("valid-format2", SmfBuilder(2, 96).Track(tempoTrack).Track(tempoTrack).Build());
    s.emplace_back("valid-running-status", OneTrackFile(RunningStatusEvents()));
    s.emplace_back("valid-all-channel-kinds", ending(allChannelKinds));
    s.emplace_back("valid-sysex", ending(sysexEvents));
    s.emplace_back("valid-fixed-length-metas", ending(fixedLengthMetas));
    s.emplace_back("valid-long-text", ending(Ev(0, longText)));
    s.emplace_back("valid-meta-type-80", ending(Ev(0, {0xFF, 0x80, 0x00})));
    s.emplace_back("valid-max-delta", ending(Ev(0x0FFFFFFF, {0x90, 0x3C, 0x64})));
    s.emplace_back("valid-smpte-25", SmfBuilder(0, 0xE728).Track(tempoTrack).Build());
    s.emplace_back("valid-header-length-8", SmfBuilder(0, 480).HeaderLength(8, {0xAB, 0xCD}).Track(tempoTrack).Build());
    s.emplace_back(
        "valid-unrecognised-chunk", SmfBuilder(0, 480).AddChunk("XFIH", {1, 2, 3}).Track(tempoTrack).Build());
    s.emplace_back("valid-unrecognised-chunk-only",
                   SmfBuilder(0, 480).AddChunk("XFIH", {1, 2, 3}).Announce(1).Track(tempoTrack).Build());
    s.emplace_back("valid-zero-chunks", SmfBuilder(1, 480).Announce(0).Trailer({0xDE, 0xAD, 0xBE, 0xEF}).Build());
    s.emplace_back("valid-trailing-bytes", SmfBuilder(0, 480).Track(tempoTrack).Trailer({0x00, 0xFF, 0x2F}).Build());

    Bytes truncated = Tempo33Image();
    truncated.pop_back();
    s.emplace_back("broken-truncated-tempo", truncated);
    Bytes badMagic = Tempo33Image();
    badMagic[3] = 'x';
    s.emplace_back("broken-bad-magic", badMagic);
    s.emplace_back("broken-macbinary-byte74", MacBinary(Tempo33Image(), 1, 0));
    s.emplace_back("broken-macbinary-byte82", MacBinary(Tempo33Image(), 0, 1));
    s.emplace_back("broken-header-length-5", SmfBuilder(0, 480).HeaderLength(5).Track(tempoTrack).Build());
    s.emplace_back("broken-format-3", SmfBuilder(3, 480).Track(tempoTrack).Build());
    s.emplace_back("broken-division-e628", SmfBuilder(0, 0xE628).Track(tempoTrack).Build());
    s.emplace_back("broken-missing-chunk", SmfBuilder(1, 480).Announce(3).Track(tempoTrack).Track(tempoTrack).Build());
    s.emplace_back("broken-second-header", SmfBuilder(0, 480).AddChunk("MThd", {0, 0, 0, 1, 1, 0xE0}).Build());
    s.emplace_back("broken-empty-track-chunk", OneTrackFile({}));
    s.emplace_back("broken-varlen-five-bytes", ending({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}));
    s.emplace_back("broken-tempo-length-2", ending(Ev(0, {0xFF, 0x51, 0x02, 0x07, 0xA1})));
    s.emplace_back("broken-meta-type-81", ending(Ev(0, {0xFF, 0x81, 0x00})));
    s.emplace_back("broken-no-status", ending(runningData));
    s.emplace_back("broken-data-after-meta", ending(Cat({note, Tempo(0, 500000), runningData})));
    s.emplace_back("broken-data-after-sysex", ending(Cat({note, Ev(0, {0xF0, 0x01, 0xF7}), runningData})));
    s.emplace_back("broken-system-status-f1", ending(Ev(0, {0xF1, 0x00})));
    s.emplace_back("broken-no-end-of-track", OneTrackFile(note));
    s.emplace_back("broken-byte-after-end-of-track", OneTrackFile(Cat({tempoTrack, Bytes{0x00}})));
    Bytes shortChunk = OneTrackFile(tempoTrack);
    shortChunk[21] = static_cast<uint8_t>(shortChunk[21] - 1);  // End of Track now runs past the chunk
    s.emplace_back("broken-end-of-track-past-chunk", shortChunk);
    s.emplace_back("broken-sysex-past-end", ending(Ev(0, {0xF0, 0x40, 0x01, 0xF7})));
    return s;
}
