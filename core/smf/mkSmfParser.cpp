#include "mkSmfParser.h"

#include <cstring>

#include "mkAssert.h"

namespace {

constexpr uint32_t kScratchInitial = 256;
constexpr uint32_t kMacBinaryHeaderSize = 128;

// Meta events whose length the file format fixes; any other length is a
// malformed file. Returns -1 for types that take any length.
int RequiredMetaLength(uint8_t type)
{
    switch (type) {
    case 0x00: return 2;  // sequence number
    case 0x20: return 1;  // MIDI channel prefix
    case 0x2F: return 0;  // End of Track
    case 0x51: return 3;  // set tempo
    case 0x54: return 5;  // SMPTE offset
    case 0x58: return 4;  // time signature
    case 0x59: return 2;  // key signature
    default: return -1;
    }
}

}  // namespace

mkSmfParser::mkSmfParser() : scratch(new uint8_t[kScratchInitial]), scratchCapacity(kScratchInitial) {}

mkSmfParser::~mkSmfParser() = default;

void mkSmfParser::PrepareBuffer(uint32_t n)
{
    MK_ASSERT(NULL != pSequence);
    if (scratchCapacity < n) {
        scratch.reset(new uint8_t[n + 256]);
        scratchCapacity = n + 256;
    }
}

uint32_t mkSmfParser::ReadBytes(uint32_t n)
{
    PrepareBuffer(n);
    return stream.Read(scratch.get(), n);
}

bool mkSmfParser::Read16(uint16_t& value)
{
    if (ReadBytes(2) < 2)
        return false;
    value = static_cast<uint16_t>(scratch[0] << 8 | scratch[1]);
    return true;
}

bool mkSmfParser::Read32(uint32_t& value)
{
    if (ReadBytes(4) < 4)
        return false;
    value = uint32_t(scratch[0]) << 24 | uint32_t(scratch[1]) << 16 | uint32_t(scratch[2]) << 8 | scratch[3];
    return true;
}

bool mkSmfParser::ReadVarLen(uint32_t& value)
{
    // Byte by byte straight from the stream: every event starts with one, so
    // this is the parser's busiest step.
    uint8_t byte = 0;
    if (!stream.Peek(byte))
        return false;
    stream.Skip(1);
    value = byte & 0x7F;
    int count = 1;
    while (byte & 0x80) {
        if (!stream.Peek(byte))
            return false;
        stream.Skip(1);
        // A quantity has at most four bytes: the fifth is read, then refused.
        if (++count > 4)
            return false;
        value = (value << 7) | (byte & 0x7F);
    }
    return true;
}

bool mkSmfParser::ReadHeader(bool allowMacBinary)
{
    if (ReadBytes(4) < 4)
        return false;
    if (std::memcmp(scratch.get(), "MThd", 4) != 0) {
        if (!allowMacBinary || scratch[0] != 0)
            return false;
        // Offsets 0..3 are in the scratch buffer; read the rest of the
        // 128-byte MacBinary header behind them.
        PrepareBuffer(kMacBinaryHeaderSize);
        if (stream.Read(scratch.get() + 4, kMacBinaryHeaderSize - 4) < kMacBinaryHeaderSize - 4)
            return false;
        if (scratch[74] != 0 || scratch[82] != 0)
            return false;
        if (ReadBytes(4) < 4 || std::memcmp(scratch.get(), "MThd", 4) != 0)
            return false;
    }

    uint32_t headerLength = 0;
    if (!Read32(headerLength) || headerLength < 6)
        return false;
    uint16_t format = 0;
    if (!Read16(format) || format > 2)
        return false;
    pSequence->Format = format;
    if (!Read16(trackChunkCount))
        return false;
    uint16_t division = 0;
    if (!Read16(division) || !pSequence->SetDivision(division))
        return false;
    return stream.Skip(headerLength - 6);
}

bool mkSmfParser::ReadTrack()
{
    if (ReadBytes(4) < 4)
        return false;
    const bool isTrack = std::memcmp(scratch.get(), "MTrk", 4) == 0;
    if (!isTrack && std::memcmp(scratch.get(), "MThd", 4) == 0)
        return false;
    uint32_t chunkLength = 0;
    if (!Read32(chunkLength))
        return false;
    if (!isTrack)
        return stream.Skip(chunkLength);

    mkSmfTrack& track = pSequence->AddTrack();
    const uint32_t trackStart = stream.GetPosition();
    if (chunkLength == 0)
        return false;
    // 64-bit so that a length running past the 32-bit range cannot wrap.
    const uint64_t trackEnd = uint64_t(trackStart) + chunkLength;

    uint32_t time = 0;
    int runningStatus = -1;
    for (;;) {
        uint32_t delta = 0;
        if (!ReadVarLen(delta))
            return false;
        time += delta;

        uint8_t status = 0;
        if (!stream.Peek(status))
            return false;
        if (status & 0x80) {
            stream.Skip(1);
            runningStatus = status;
        } else if (runningStatus < 0) {
            return false;
        } else {
            status = static_cast<uint8_t>(runningStatus);
        }

        const uint32_t dataStart = stream.GetPosition();
        bool endOfTrack = false;
        if (status >= 0xC0 && status <= 0xDF) {
            if (!stream.Skip(1))
                return false;
        } else if (status >= 0x80 && status <= 0xEF) {
            if (!stream.Skip(2))
                return false;
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t length = 0;
            if (!ReadVarLen(length) || !stream.Skip(length))
                return false;
            runningStatus = -1;
        } else if (status == 0xFF) {
            if (ReadBytes(1) < 1)
                return false;
            const uint8_t type = scratch[0];
            if (type > 0x80)
                return false;
            uint32_t length = 0;
            if (!ReadVarLen(length))
                return false;
            const int required = RequiredMetaLength(type);
            if (required >= 0 && length != uint32_t(required))
                return false;
            if (!stream.Skip(length))
                return false;
            runningStatus = -1;
            endOfTrack = type == 0x2F;
        } else {
            return false;
        }

        track.AddEvent(time, status, stream.GetData() + dataStart, stream.GetPosition() - dataStart);

        if (endOfTrack)
            return stream.GetPosition() == trackEnd;
        if (stream.GetPosition() >= trackEnd)
            return false;
    }
}

bool mkSmfParser::Parse(mkSmfSequence& sequence, const uint8_t* data, uint32_t length, bool allowMacBinary)
{
    stream.SetData(data, length);
    pSequence = &sequence;
    sequence.Format = 0;
    sequence.Division = 0;
    sequence.SetTrackCount(0);

    bool ok = ReadHeader(allowMacBinary);
    for (uint32_t i = 0; ok && i < trackChunkCount; ++i)
        ok = ReadTrack();
    pSequence = nullptr;
    return ok;
}
