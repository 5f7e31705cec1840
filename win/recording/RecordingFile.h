// The recording the musician taps along: opening it (the core's readers
// first, then the system's decoders), the one decode pass that makes its
// waveform envelope and onset strength while a progress window shows how
// far it has got, and
// its identity (size and the hash of its first mebibyte), by which a
// session knows whether the file it names is still the one its takes were
// tapped along.
//
// Paths are UTF-16 throughout: a recording may be named in any script.
// Nothing here keeps a recording open; the player opens its own decoder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "AudioDecoder.h"
#include "OnsetStrength.h"
#include "PeakEnvelope.h"
#include "Session.h"

struct LoadedRecording {
    std::wstring Path;
    AudioFormat Format;  // frames as decoded, not as the header claimed
    std::shared_ptr<const PeakEnvelope> Envelope;
    // Where its sounds begin, for snapping beats onto them; made in the same
    // pass as the envelope.
    std::shared_ptr<const OnsetStrength> Onsets;
    SessionRecording Identity;  // Path in UTF-8

    bool IsOpen() const { return !Path.empty(); }
    // The length in milliseconds.
    double LengthMs() const
    {
        return Format.sampleRate ? static_cast<double>(Format.frames) * 1000.0 / Format.sampleRate : 0.0;
    }
};

// A decoder at the recording's start, or null with `message` a sentence
// for the user that names the file (and, for a file no decoder reads, the
// formats that can be read).
std::unique_ptr<AudioDecoder> OpenRecordingDecoder(const std::wstring& path, std::string& message);

// The file's size and the hash of its head, with `path` in UTF-8; false
// when it cannot be read.
bool IdentifyRecording(const std::wstring& path, SessionRecording& identity);
// Whether the file at `identity.Path` is the one identified (same size,
// same head).
bool IsSameRecording(const SessionRecording& identity);

enum class RecordingLoad {
    Loaded,
    Cancelled,  // the user stopped the decoding
    Failed,     // told to the user in a box owned by `owner`
};
// Opens the recording and decodes it once for its envelope and its onset
// strength, with a progress window owned by `owner` (its Cancel button
// stops the pass).
RecordingLoad LoadRecording(HWND owner, const std::wstring& path, LoadedRecording& loaded);

// The session's UTF-8 path as a wide one, and back.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// Whether the file is named as a MIDI file (.mid, .midi, .rmi, .smf, .kar)
// or its first bytes are a Standard MIDI File's ("MThd", or a RIFF RMID
// around one): a dropped file is then imported, not opened as a recording.
bool LooksLikeMidiFile(const std::wstring& path);
