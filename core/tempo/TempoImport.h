// The tempo map of a Standard MIDI File as a take: one tap per beat of the
// base note, at the real time of that beat under the file's tempo changes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Take.h"

// Far beyond any real Standard MIDI File (those are kilobytes to a few
// megabytes). A bigger file is refused as unsupported before it is read:
// reading it whole would take that much memory, and parsing it several
// times more.
inline constexpr size_t MaxImportFileSize = 256u * 1024u * 1024u;

// Beyond this many beats a file is refused: a crafted file of a few bytes
// could otherwise ask for billions of beat markers.
constexpr uint32_t MaxImportBeats = 1000000;

enum class ImportResult {
    Converted,    // `take` holds the beat times (it may hold fewer than two)
    Unsupported,  // not a Standard MIDI File this program can read
};

// Converts a file image already in memory. `data` must point to a block,
// also for an empty file. timeSigBase b: one beat is a 1/2^b note.
ImportResult ConvertTempoFile(const uint8_t* data, uint32_t size, int timeSigBase, Take& take);
