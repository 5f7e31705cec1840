// The tempo map of a Standard MIDI File as a take: one tap per beat of the
// base note, at the real time of that beat under the file's tempo changes.
#pragma once

#include <cstdint>

#include "Take.h"

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
