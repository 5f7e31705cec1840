// The Ogg Vorbis reader, over stb_vorbis (compiled as C on its own:
// VorbisStream.c).
//
// It streams: stb_vorbis is fed the file's pages as they are needed through
// its push interface, so a byte source of any kind will do, and no more than
// a few pages are held. The length is the granule position of the stream's
// last page, which is also where the decoder stops (the encoder's padding of
// the last packet is not read); a stream without a readable last page is
// decoded once when opened to count its frames. Seeking decodes from the
// nearest point it can restart from, which for now is the start (or where the
// decoder is, going forward): exact, and fast enough for a recording of a
// few minutes.
#pragma once

#include <memory>
#include <string>

#include "AudioDecoder.h"

// Whether `head` begins with an Ogg page ("OggS").
bool LooksLikeOgg(const unsigned char* head, size_t size);

// An Ogg Vorbis decoder over `source` (its first logical stream), or why not.
AudioOpenResult OpenOggVorbis(std::unique_ptr<ByteSource> source, const std::string& name);
