// One MIDI event: an absolute tick time and the message bytes exactly as they
// stand in a track chunk after the delta time, always with the status byte.
//
//   status 0xC0-0xDF          1 data byte
//   status 0x80-0xBF, 0xE0-EF 2 data bytes
//   status 0xF0, 0xF7         length (varlen as stored), data
//   status 0xFF               meta type, length (varlen as stored), data
#pragma once

#include <cstdint>

#include "mkAssert.h"
#include "mkByteBuffer.h"

class mkMidiEvent {
public:
    mkMidiEvent() = default;
    mkMidiEvent(uint32_t time, uint8_t status, const uint8_t* data, uint32_t length);

    uint32_t GetTime() const { return Time; }
    const uint8_t* GetMessageData() const { return Message.GetData(); }
    uint32_t GetMessageCount() const { return Message.GetSize(); }

    uint8_t GetStatus() const
    {
        MK_ASSERT(GetMessageCount() >= 1);
        return Message.GetData()[0];
    }

    uint32_t Time = 0;
    mkByteBuffer Message;
};
