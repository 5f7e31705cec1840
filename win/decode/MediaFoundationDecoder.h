// Recordings decoded by the system: Media Foundation's source reader, which
// reads what the machine's codecs read (MP3, AAC in M4A, WMA, FLAC, and
// WAV), as an AudioDecoder. The core's opener tries it for files neither of
// its own readers recognises (MediaFoundationOpener).
//
// The reader is asked for float samples (16-bit PCM where float is refused)
// at the file's own rate and channels. Frames are counted as they are
// decoded, never taken from the samples' time stamps, so the timeline is the
// decoded one; an MP3's encoder and decoder delay is dropped at the start
// (Mp3Delay.h) so that the first frame is the encoder's first input frame.
//
// Format().frames is, when opened, an estimate from the stated duration;
// the true count is what decoding yields, and Format().frames is set to it
// once the end has been read.
#pragma once

#include <memory>
#include <string>

#include "AudioDecoder.h"

// What the fallback reads, for the opener's messages.
extern const char kMediaFoundationFormats[];  // "MP3, AAC/M4A, WMA, FLAC"

// The recording at `path` (UTF-16), or null with `error` a sentence saying
// why (the file is not named; the opener names it).
std::unique_ptr<AudioDecoder> OpenMediaFoundationDecoder(const std::wstring& path, std::string& error);
// The same for a path in UTF-8.
std::unique_ptr<AudioDecoder> OpenMediaFoundationDecoderUtf8(const std::string& path, std::string& error);
// The same for a path in the ANSI code page, as OpenAudioFile has it.
std::unique_ptr<AudioDecoder> OpenMediaFoundationDecoderAnsi(const std::string& path, std::string& error);

// The fallback to hand to OpenAudioFile (ANSI paths).
AudioFallbackOpener MediaFoundationOpener();
