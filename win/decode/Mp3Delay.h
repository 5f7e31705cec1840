// The encoder delay an MP3 file declares in its first frame (the Xing/Info
// header with LAME's extension), so that the decoded timeline can start where
// the encoder's input started.
//
// An MP3 encoder prepends silence (LAME: 576 frames and more) and the
// decoder's synthesis filter bank adds 529 frames of its own; a decoder that
// hands out every frame therefore shifts the recording later by both, about
// 25 ms at 44.1 kHz, which taps laid over the waveform would show. LAME
// records its delay and its end padding in the header; decoders that honour
// it (FFmpeg) drop delay + 529 frames at the start and the padding at the
// end. Portable: it reads bytes only.
#pragma once

#include <cstddef>
#include <cstdint>

struct Mp3Gapless {
    bool found = false;        // a LAME header with delay and padding was read
    uint32_t encoderDelay = 0;  // frames of the encoder's leading silence
    uint32_t padding = 0;      // frames added after the input's end
    uint64_t mpegFrames = 0;   // MPEG frames the Xing header counts (0 when it does not say)
    uint32_t samplesPerFrame = 0;  // 1152, or 576 for MPEG-2/2.5 layer III
    // Frames of the encoder's input: the stream's decoded frames less delay
    // and padding (0 when the header does not count the MPEG frames).
    uint64_t InputFrames() const;
};

// The decoder delay of layer III, the same for every decoder built on the
// reference filter bank.
constexpr uint32_t kMp3DecoderDelay = 529;

// Reads the header from the file's first bytes (an ID3v2 tag before it is
// skipped when it lies within `size`).
Mp3Gapless ReadMp3Gapless(const unsigned char* bytes, size_t size);
