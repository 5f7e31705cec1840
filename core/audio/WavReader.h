// The RIFF/WAVE reader.
//
// It reads what recorders and editors write: PCM of 8 (unsigned), 16, 24 and
// 32 bits, IEEE float of 32 and 64 bits, in the plain and the
// WAVE_FORMAT_EXTENSIBLE header, any channel count up to kMaxChannels, 8 to
// 192 kHz. Unknown chunks are skipped (with their pad byte when odd), a data
// chunk that claims more than the file holds is read as far as the file
// goes, as is one whose RIFF size claims more than the file holds (writers
// that stream leave 0xFFFFFFFF there), and a file of 2 GB or more (or RF64)
// is refused: such files are rarely written correctly, and a tap session is
// far shorter.
//
// Samples become floats by exact arithmetic, the integer divided by
// 2^(bits-1) (8-bit after taking off its offset of 128), so every build gives
// the same floats. Only 32-bit integers have more digits than a float: they
// are rounded to the nearest float, and the largest ones, which would round
// to 1, are kept just below it.
#pragma once

#include <memory>
#include <string>

#include "AudioDecoder.h"

// Whether `head` (the first bytes of a file, at least 12 to say yes) begins
// like a RIFF/WAVE file, or an RF64 one (which the reader then refuses by
// name).
bool LooksLikeWav(const unsigned char* head, size_t size);

// A WAV decoder over `source`, or why not; `name` is for the message.
AudioOpenResult OpenWav(std::unique_ptr<ByteSource> source, const std::string& name);
