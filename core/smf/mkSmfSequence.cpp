#include "mkSmfSequence.h"

#include <cstring>

#include "mkAssert.h"

namespace {

// Without branches: deltas of every size alternate in a track, and this runs
// once for every event of the file.
uint32_t VarLenSize(uint32_t value)
{
    return 1u + (value >= 0x80) + (value >= 0x4000) + (value >= 0x200000);
}

// With running status a channel message may drop its status byte when it
// repeats the previous event's. A message whose first data byte has bit 7 set
// keeps it: without the status that byte would be read back as a new status
// and the file would no longer say what the track holds.
bool DropsStatus(const mkMidiEvent& ev, uint8_t status, int previousStatus)
{
    return status == previousStatus && status >= 0x80 && status <= 0xEF && ev.GetMessageCount() >= 2 &&
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
    // One event: the delta, then the message bytes from `skip` on. Nearly
    // every event is a message of at most InlineCapacity bytes one delta
    // byte after the previous one; far from the end of the buffer those are
    // stored with fixed-size copies instead of two calls of memcpy. The
    // bytes stored past the message are overwritten by the events after it.
    void Event(uint32_t delta, const mkMidiEvent& ev, uint32_t skip)
    {
        const uint32_t n = ev.GetMessageCount();
        constexpr uint32_t kInline = mkByteBuffer::InlineCapacity;
        if (delta < 0x80 && n <= kInline && Offset <= limit && limit - Offset > kInline) {
            uint8_t message[2 * kInline] = {};
            std::memcpy(message, ev.GetMessageData(), kInline);
            uint8_t* p = out + Offset;
            p[0] = uint8_t(delta);
            std::memcpy(p + 1, message + skip, kInline);
            Offset += 1 + n - skip;
            return;
        }
        WriteVarLen(delta);
        Bytes(ev.GetMessageData() + skip, n - skip);
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
        const uint8_t status = ev.GetStatus();
        len += VarLenSize(ev.Time - previousTime) + ev.GetMessageCount();
        if (runningStatus && DropsStatus(ev, status, previousStatus))
            --len;
        previousTime = ev.Time;
        previousStatus = status;
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
            const uint8_t status = ev.GetStatus();
            w.Event(ev.Time - previousTime, ev, runningStatus && DropsStatus(ev, status, previousStatus) ? 1 : 0);
            previousTime = ev.Time;
            previousStatus = status;
        }
    }

    const uint32_t Offset = w.Offset;
    MK_ASSERT(SmfDataLen == Offset);
    return SmfDataLen;
}
