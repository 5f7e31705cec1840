// Reading recordings: the interface every decoder offers, and the opener
// that picks one by the file's content.
//
// The recordings are what the musician taps along to: they are played while
// a take is tapped, drawn as a waveform and analysed for onsets. Each of
// those wants the same thing, the samples as float frames from the start, in
// blocks, without the file in memory; so a decoder streams, and reports its
// failures as values (no exception leaves it).
//
// The core reads WAV (its own reader, WavReader.h) and Ogg Vorbis. The
// Windows layer adds the system's decoders for the rest: it implements
// AudioDecoder and is handed to the opener as a fallback, tried only for a
// file neither core reader recognises. Nothing here knows of Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ByteSource.h"

struct AudioFormat {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    // Frames (one sample of every channel) the recording holds, as far as
    // it could be told when opened: counted from the data for WAV, from the
    // stream's last page for Ogg Vorbis. A decoder never reads more.
    uint64_t frames = 0;
    std::string description;  // for the user, e.g. "WAV PCM 16-bit", "Ogg Vorbis"
};

// The limits every reader holds a recording to: what a musician's recording
// can be, and within them any block of frames fits in memory.
constexpr uint32_t kMinSampleRate = 8000;
constexpr uint32_t kMaxSampleRate = 192000;
constexpr uint32_t kMaxChannels = 64;

class AudioDecoder {
public:
    virtual ~AudioDecoder();
    virtual const AudioFormat& Format() const = 0;
    // Up to `maxFrames` frames into `interleaved` (room for maxFrames *
    // channels floats); the frames read, 0 at the end or on an error (then
    // Error() says which). An integer recording's samples lie in [-1, 1); a
    // lossy or float one's may pass 1 a little, but none is NaN or infinite.
    virtual size_t Read(float* interleaved, size_t maxFrames) = 0;
    // Moves to `frame` (at most Format().frames); false when it cannot.
    virtual bool Seek(uint64_t frame) = 0;
    // Empty while nothing has gone wrong.
    virtual const std::string& Error() const = 0;
};

enum class AudioOpenError {
    None,
    Missing,      // no file of that name
    Unreadable,   // a folder, no access, an I/O error
    UnknownKind,  // not a recording any reader recognises
    Unsupported,  // a recognised kind in a layout no reader takes (RF64, ADPCM, 384 kHz...)
    Damaged,      // a recognised kind whose content contradicts itself
};

// A decoder, or why there is none. `message` is a sentence for the user
// that names the file; empty on success.
struct AudioOpenResult {
    std::unique_ptr<AudioDecoder> decoder;
    AudioOpenError error = AudioOpenError::None;
    std::string message;
};

// The formats the core's readers take, as the messages name them.
extern const char kCoreAudioFormats[];  // "WAV, Ogg Vorbis"

// A decoder that is tried when neither core reader recognises a file (the
// Windows layer's system decoders). It gets the path as the opener got it,
// and returns null with `error` set when it cannot read the file either.
struct AudioFallbackOpener {
    std::unique_ptr<AudioDecoder> (*open)(const std::string& path, void* context, std::string& error) = nullptr;
    void* context = nullptr;
    const char* formats = "";  // what it reads, for the message, e.g. "MP3, AAC, WMA"
};

// Opens a recording from an open source: WAV, then Ogg Vorbis, by their
// first bytes. `name` is the file's name as the messages give it.
AudioOpenResult OpenAudioSource(std::unique_ptr<ByteSource> source, const std::string& name);

// Opens the recording at `path` (ANSI code page on Windows) through
// OpenAudioSource, and through `fallback` when given and the content is of
// no kind the core reads.
AudioOpenResult OpenAudioFile(const std::string& path, const AudioFallbackOpener* fallback = nullptr);

namespace audio_detail {

// The message for a file no reader recognises, listing what can be read.
std::string UnknownKindMessage(const std::string& name, const char* moreFormats);

// Why a rate or channel count is refused ("" when within the limits).
std::string CheckLayout(uint32_t sampleRate, uint32_t channels);

}  // namespace audio_detail
