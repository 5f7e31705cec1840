#include "mkSmfSequence.h"

#include <cstring>

#include "mkAssert.h"

namespace {

uint32_t VarLenSize(uint32_t value)
{
    if (value < 0x80)
        return 1;
    if (value < 0x4000)
        return 2;
    if (value < 0x200000)
        return 3;
    return 4;
}

// With running status a channel message may drop its status byte when it
// repeats the previous event's. A message whose first data byte has bit 7 set
// keeps it: without the status that byte would be read back as a new status
// and the file would no longer say what the track holds.
bool DropsStatus(const mkMidiEvent& ev, int previousStatus)
{
    const uint8_t status = ev.GetStatus();
    return status >= 0x80 && status <= 0xEF && status == previousStatus && ev.GetMessageCount() >= 2 &&
           ev.GetMessageData()[1] < 0x80;
}

// Fills a buffer already sized to the final image, counting what it writes.
// A store that would pass the end is counted but not made, so a length
// precomputation that disagrees with the writer ends in the assertion after
// the last track, never in a write outside the buffer.
class ImageWriter {
public:
    ImageWriter(uint8_t* buffer, uint32_t length) : out(buffer), limit(length) {}

    void Bytes(const void* data, uint32_t n)
    {
        if (Offset <= limit && n <= limit - Offset)
            std::memcpy(out + Offset, data, n);
        Offset += n;
    }
    void Be32(uint32_t v)
    {
        const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        Bytes(b, 4);
    }
    void Be16(uint16_t v)
    {
        const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
        Bytes(b, 2);
    }
    void WriteVarLen(uint32_t value)
    {
        uint32_t acc = value & 0x7F;
        while ((value >>= 7) != 0) {
            acc <<= 8;
            acc |= 0x80 | (value & 0x7F);
        }
        uint8_t bytes[5];
        uint32_t n = 0;
        for (;;) {
            bytes[n++] = uint8_t(acc);
            if (!(acc & 0x80))
                break;
            acc >>= 8;
        }
        Bytes(bytes, n);
    }

    uint32_t Offset = 0;

private:
    uint8_t* out;
    uint32_t limit;
};

}  // namespace

mkSmfSequence::~mkSmfSequence() = default;

void mkSmfSequence::SetTrackCount(size_t n)
{
    Tracks.resize(n);
}

mkSmfTrack& mkSmfSequence::AddTrack()
{
    Tracks.emplace_back();
    return Tracks.back();
}

int mkSmfSequence::ClassifyDivision(uint16_t division)
{
    switch (static_cast<int8_t>(division >> 8)) {
    case -24: return DivisionSmpte24;
    case -25: return DivisionSmpte25;
    case -29: return DivisionSmpte30Drop;
    case -30: return DivisionSmpte30;
    default: return (division & 0x8000) ? DivisionInvalid : DivisionMetrical;
    }
}

bool mkSmfSequence::SetDivision(uint16_t division)
{
    if (ClassifyDivision(division) == DivisionInvalid)
        return false;
    Division = division;
    return true;
}

bool mkSmfSequence::ConvertToFormat0()
{
    if (Format != 1)
        return false;
    if (Tracks.size() >= 2) {
        std::vector<mkSmfTrack*> all;
        bool ordered = true;
        for (mkSmfTrack& track : Tracks) {
            all.push_back(&track);
            ordered = ordered && track.IsTimeOrdered();
        }
        if (ordered) {
            mkSmfTrack::MergeOrdered(all);
        } else {
            // Tracks whose times wrapped past 32 bits: the plain fold.
            for (size_t i = 1; i < Tracks.size(); ++i)
                Tracks[0].Merge(Tracks[i]);
        }
        Tracks.resize(1);
    }
    Format = 0;
    return true;
}

uint32_t mkSmfSequence::CalcTrackDataLen(const mkSmfTrack& track, bool runningStatus)
{
    uint32_t len = 8;
    uint32_t previousTime = 0;
    int previousStatus = -1;
    for (const mkMidiEvent& ev : track) {
        len += VarLenSize(ev.Time - previousTime) + ev.GetMessageCount();
        if (runningStatus && DropsStatus(ev, previousStatus))
            --len;
        previousTime = ev.Time;
        previousStatus = ev.GetStatus();
    }
    return len;
}

uint32_t mkSmfSequence::CalcSmfDataLen(bool runningStatus, std::vector<uint32_t>* trackLengths) const
{
    if (trackLengths)
        trackLengths->clear();
    uint32_t len = 14;
    for (const mkSmfTrack& track : Tracks) {
        const uint32_t trackLen = CalcTrackDataLen(track, runningStatus);
        if (trackLengths)
            trackLengths->push_back(trackLen);
        len += trackLen;
    }
    return len;
}

uint32_t mkSmfSequence::Write(mkByteBuffer& out, bool runningStatus) const
{
    std::vector<uint32_t> trackLengths;
    const uint32_t SmfDataLen = CalcSmfDataLen(runningStatus, &trackLengths);

    // The only allocation: exactly the final size, then filled in place.
    out.SetSize(0);
    out.SetSize(SmfDataLen);

    ImageWriter w(out.GetData(), SmfDataLen);
    w.Bytes("MThd", 4);
    w.Be32(6);
    w.Be16(Format);
    w.Be16(static_cast<uint16_t>(Tracks.size()));
    w.Be16(Division);

    for (size_t i = 0; i < Tracks.size(); ++i) {
        w.Bytes("MTrk", 4);
        w.Be32(trackLengths[i] - 8);
        uint32_t previousTime = 0;
        int previousStatus = -1;
        for (const mkMidiEvent& ev : Tracks[i]) {
            w.WriteVarLen(ev.Time - previousTime);
            if (runningStatus && DropsStatus(ev, previousStatus))
                w.Bytes(ev.GetMessageData() + 1, ev.GetMessageCount() - 1);
            else
                w.Bytes(ev.GetMessageData(), ev.GetMessageCount());
            previousTime = ev.Time;
            previousStatus = ev.GetStatus();
        }
    }

    const uint32_t Offset = w.Offset;
    MK_ASSERT(SmfDataLen == Offset);
    return SmfDataLen;
}
