// Reads the complete byte image of a Standard MIDI File into an
// mkSmfSequence. Strict about structure: any malformed or truncated element
// makes the whole parse fail, and the caller learns only true or false.
#pragma once

#include <cstdint>
#include <memory>

#include "mkByteStream.h"
#include "mkSmfSequence.h"

class mkSmfParser {
public:
    mkSmfParser();
    mkSmfParser(const mkSmfParser&) = delete;
    mkSmfParser& operator=(const mkSmfParser&) = delete;
    virtual ~mkSmfParser();

    // Empties `sequence` and fills it from the image. On false the sequence
    // may hold a partial result. `allowMacBinary` accepts a 128-byte
    // MacBinary header in front of the file. The image is only read during
    // the call; events copy their bytes out of it.
    bool Parse(mkSmfSequence& sequence, const uint8_t* data, uint32_t length, bool allowMacBinary);

private:
    void PrepareBuffer(uint32_t n);
    uint32_t ReadBytes(uint32_t n);
    bool Read16(uint16_t& value);
    bool Read32(uint32_t& value);
    bool ReadVarLen(uint32_t& value);
    bool ReadHeader(bool allowMacBinary);
    bool ReadTrack();

    mkByteStream stream;
    mkSmfSequence* pSequence = nullptr;
    std::unique_ptr<uint8_t[]> scratch;
    uint32_t scratchCapacity = 0;
    uint16_t trackChunkCount = 0;
};
