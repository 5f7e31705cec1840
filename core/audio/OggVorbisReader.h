// The Ogg Vorbis reader, over stb_vorbis (compiled as C on its own:
// VorbisStream.c).
//
// It streams: stb_vorbis is fed the file's pages as they are needed through
// its push interface, so a byte source of any kind will do, and no more than
// a few pages are held. The length is the granule position of the stream's
// last page, which is also where the decoder stops (the encoder's padding of
// the last packet is not read); a stream without a readable last page is
// decoded once when opened to count its frames. Seeking close ahead decodes
// on from where the decoder is; seeking further restarts it on the page
// that ends some way before the frame (found by bisecting the file on the
// pages' granule positions) and decodes on from there, to the frame
// exactly: about 2 ms near the end of ten minutes, against half a second
// decoding from the start. A stream whose comment header holds lengths
// that do not fit is refused before stb_vorbis sees it.
#pragma once

#include <memory>
#include <string>

#include "AudioDecoder.h"

// Whether `head` begins with an Ogg page ("OggS").
bool LooksLikeOgg(const unsigned char* head, size_t size);

// An Ogg Vorbis decoder over `source` (its first logical stream), or why not.
AudioOpenResult OpenOggVorbis(std::unique_ptr<ByteSource> source, const std::string& name);
