/* stb_vorbis, compiled here as C and nowhere else (VorbisStream.h says
   why), with the push interface only: the Ogg reader feeds it bytes from
   any source. */
#define STB_VORBIS_NO_PULLDATA_API
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_INTEGER_CONVERSION
#include <stb_vorbis.h>

#include <stdlib.h>

#include "VorbisStream.h"

/* stb_vorbis is given a block of our own for all its memory: it then never
   calls malloc, so a header it gives up on half way leaks nothing (with
   malloc its scratch memory is lost then), and all of it is freed here. A
   stream whose codebooks need more gets a larger block, up to a limit. */
#define METROVA_VORBIS_FIRST_BLOCK (256 * 1024)
#define METROVA_VORBIS_LARGEST_BLOCK (32 * 1024 * 1024)

struct MetrovaVorbis {
    stb_vorbis* decoder;
    char* block;
};

MetrovaVorbis* metrova_vorbis_open(const unsigned char* data, int size, int* used, int* needMore)
{
    int blockSize = METROVA_VORBIS_FIRST_BLOCK;
    MetrovaVorbis* vorbis;
    *used = 0;
    *needMore = 0;
    vorbis = (MetrovaVorbis*)malloc(sizeof *vorbis);
    if (!vorbis)
        return NULL;
    for (;;) {
        int error = 0;
        stb_vorbis_alloc alloc;
        vorbis->block = (char*)malloc((size_t)blockSize);
        if (!vorbis->block)
            break;
        alloc.alloc_buffer = vorbis->block;
        alloc.alloc_buffer_length_in_bytes = blockSize;
        vorbis->decoder = stb_vorbis_open_pushdata(data, size, used, &error, &alloc);
        if (vorbis->decoder)
            return vorbis;
        free(vorbis->block);
        if (error != VORBIS_outofmem || blockSize >= METROVA_VORBIS_LARGEST_BLOCK) {
            *needMore = error == VORBIS_need_more_data;
            break;
        }
        blockSize *= 2;
    }
    free(vorbis);
    return NULL;
}

void metrova_vorbis_close(MetrovaVorbis* vorbis)
{
    if (!vorbis)
        return;
    stb_vorbis_close(vorbis->decoder);
    free(vorbis->block);
    free(vorbis);
}

int metrova_vorbis_channels(MetrovaVorbis* vorbis)
{
    return stb_vorbis_get_info(vorbis->decoder).channels;
}

unsigned metrova_vorbis_rate(MetrovaVorbis* vorbis)
{
    return stb_vorbis_get_info(vorbis->decoder).sample_rate;
}

int metrova_vorbis_decode(MetrovaVorbis* vorbis, const unsigned char* data, int size, int* frames,
                          float*** channelData, int* failed)
{
    int channels = 0;
    int used;
    *frames = 0;
    *channelData = NULL;
    used = stb_vorbis_decode_frame_pushdata(vorbis->decoder, data, size, &channels, channelData, frames);
    {
        /* need_more_data is the normal answer at the end of what was given.
           After any other error stb_vorbis would search for the next page
           and go on, but the frames lost on the way would shift every later
           sample against the taps: the stream ends there instead. */
        const int error = stb_vorbis_get_error(vorbis->decoder);
        *failed = error != VORBIS__no_error && error != VORBIS_need_more_data;
    }
    return used;
}

void metrova_vorbis_restart(MetrovaVorbis* vorbis)
{
    stb_vorbis_flush_pushdata(vorbis->decoder);
}

long long metrova_vorbis_position(MetrovaVorbis* vorbis)
{
    /* stb_vorbis keeps the position in 32 bits and hands it out as an int:
       negative past 2^31 frames (over 12 hours at 48 kHz), taken as not
       known. */
    const int at = stb_vorbis_get_sample_offset(vorbis->decoder);
    return at < 0 ? -1 : (long long)at;
}
