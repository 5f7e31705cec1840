/* stb_vorbis, compiled here as C and nowhere else (VorbisStream.h says
   why), with the push interface only: the Ogg reader feeds it bytes from
   any source. */
#define STB_VORBIS_NO_PULLDATA_API
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_INTEGER_CONVERSION
#include <stb_vorbis.h>

#include <stdlib.h>

#include "VorbisStream.h"

struct MetrovaVorbis {
    stb_vorbis* decoder;
};

MetrovaVorbis* metrova_vorbis_open(const unsigned char* data, int size, int* used, int* needMore)
{
    int error = 0;
    stb_vorbis* decoder;
    MetrovaVorbis* vorbis;
    *used = 0;
    *needMore = 0;
    decoder = stb_vorbis_open_pushdata(data, size, used, &error, NULL);
    if (!decoder) {
        *needMore = error == VORBIS_need_more_data;
        return NULL;
    }
    vorbis = (MetrovaVorbis*)malloc(sizeof *vorbis);
    if (!vorbis) {
        stb_vorbis_close(decoder);
        return NULL;
    }
    vorbis->decoder = decoder;
    return vorbis;
}

void metrova_vorbis_close(MetrovaVorbis* vorbis)
{
    if (!vorbis)
        return;
    stb_vorbis_close(vorbis->decoder);
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
