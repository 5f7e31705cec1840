// The recording the main window's takes are tapped along: the one open
// recording, the session's memory of it, the start position, and its two
// uses of the wave output: playing it while a take is tapped (with the taps
// put on its timeline) and listening to the map against it.
//
// All of it runs on the user-interface thread, except MapMidiStamp, which
// the MIDI driver's thread calls through TapAlongRecording.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "BeatSnapping.h"
#include "MidiIn.h"
#include "RecordingFile.h"
#include "RecordingTime.h"
#include "Session.h"

class RecordingPlayer;

// The recording open now (IsOpen false when none).
const LoadedRecording& OpenRecording();
// What the session names: the open recording, or the one a session named
// that could not be opened this run (kept so that its takes' anchors are
// not lost). Null when there is none.
const SessionRecording* SessionRecordingToKeep();
void SetSessionRecording(const SessionRecording& identity);
void ForgetSessionRecording();

// The open recording's onset strength as the snapping takes it (null
// without a recording), and its onsets in time order.
std::shared_ptr<const OnsetCurve> OpenRecordingOnsets();
const std::vector<Onset>& OpenRecordingOnsetList();
// The onset before `ms` (direction -1) or after it (+1), at least 1 ms
// away; false when there is none.
bool NeighbouringOnset(double ms, int direction, double& onsetMs);

// Makes `loaded` the open recording (closing any other).
void SetOpenRecording(LoadedRecording loaded);
void CloseOpenRecording();

// Where tapping and listening start, in ms on the recording (0 to its
// length).
double StartPositionMs();
void SetStartPositionMs(double ms);

// A start position typed as "m:ss.s", "ss.s" or "h:mm:ss", as
// FormatRecordingTime (RecordingTime.h) writes it, back in ms (false for a
// text that is no time).
bool ParseRecordingTime(const std::string& text, double& ms);

// Playing the recording while one take is tapped, from `preRollSeconds`
// before the start position. The taps' clock times are mapped onto the
// recording's timeline, less the tapper's latency `latencyMs`; taps before
// its first sample are dropped.
class TapAlongRecording final : public MidiTapMapper {
public:
    TapAlongRecording();
    ~TapAlongRecording();
    TapAlongRecording(const TapAlongRecording&) = delete;
    TapAlongRecording& operator=(const TapAlongRecording&) = delete;

    // Starts playing; false (told in a box owned by `owner`) when the
    // recording cannot be played: the take is then tapped without it.
    bool Start(HWND owner, HWND endNotice, int preRollSeconds, double latencyMs);
    // Just before midiInStart: MIDI time stamps count from now.
    void MidiStarting();
    void Stop();
    bool IsActive() const { return player_ != nullptr; }
    RecordingPlayer* Player() const { return player_.get(); }

    // A key's timeGetTime() value on the recording's timeline, in whole ms.
    bool MapKey(DWORD keyMs, uint32_t& time) const;
    bool Map(DWORD stampMs, uint32_t& time) const override;
    // The time heard now; false while nothing plays.
    bool Position(double& ms) const;

private:
    bool MapClock(DWORD clockMs, uint32_t& time) const;

    std::unique_ptr<RecordingPlayer> player_;
    double latencyMs_ = 0.0;
    DWORD midiStartMs_ = 0;
};

// Listening: the recording from the start position with a click on every
// beat of `beatMs` (ms on the recording's timeline). False, told in a box,
// when it cannot be played.
bool StartListening(HWND owner, HWND endNotice, const std::vector<double>& beatMs);
void StopListening();
bool IsListening();
// The time heard while listening (false when not).
bool ListeningPosition(double& ms);
// The end notice of either player: stops the one it names.
void PlaybackEnded(LPARAM player, TapAlongRecording* tapping);
