/* The few calls of stb_vorbis's push interface the Ogg reader uses, behind
   a C interface of our own: stb_vorbis is compiled as C in VorbisStream.c,
   the one file that includes it (as C++ it decodes differently from build
   to build), and no other file needs its header. */
#ifndef METROVA_VORBIS_STREAM_H
#define METROVA_VORBIS_STREAM_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MetrovaVorbis MetrovaVorbis;

/* Opens a stream from the first `size` bytes of `data`. Returns the decoder
   and sets *used to the header bytes it took; or null with *needMore set to
   1 when more bytes are needed (call again with them, from the start), 0
   when the bytes are no Vorbis stream. */
MetrovaVorbis* metrova_vorbis_open(const unsigned char* data, int size, int* used, int* needMore);

void metrova_vorbis_close(MetrovaVorbis* vorbis);
int metrova_vorbis_channels(MetrovaVorbis* vorbis);
unsigned metrova_vorbis_rate(MetrovaVorbis* vorbis);

/* Decodes one packet from `data`: returns the bytes used (0 when more are
   needed), and sets *frames and *channelData to the packet's output (0
   frames for a packet that gives none); *failed to 1 when the stream cannot
   be decoded further. */
int metrova_vorbis_decode(MetrovaVorbis* vorbis, const unsigned char* data, int size, int* frames,
                          float*** channelData, int* failed);

/* The next block will not follow the last one (the source was moved): the
   decoder looks for the next page, decodes its first packet without
   output, and goes on from there. */
void metrova_vorbis_restart(MetrovaVorbis* vorbis);

/* The stream's frame at which the frames decoded last end, once a page's
   granule position has told it after a restart (or from the start); -1
   while it is not known. */
long long metrova_vorbis_position(MetrovaVorbis* vorbis);

#ifdef __cplusplus
}
#endif

#endif
