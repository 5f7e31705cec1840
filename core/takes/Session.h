// The session: the listed takes as a small text file, so that they outlive
// the program (the file "Metrova.takes" beside the settings, and the
// journal "Metrova.journal" of the take being tapped), and so that takes can
// be saved and opened by the user.
//
// The format, version 1 (lines end with CR LF when written; a reader also
// takes LF alone):
//
//   Metrova takes 1
//   take 2026-12-07T14:30:05 3
//   0
//   500
//   1000
//   take 2026-12-07T14:31:40 2
//   0
//   620
//   end
//
// The first line names the format and its version. Each take starts with a
// line "take", its listed time (ISO 8601 local date and time, to the second)
// and its tap count, followed by exactly that many lines of one tap time
// each (decimal milliseconds relative to the first tap, 0 to 4294967295).
// The line "end" closes the file, so a cut-off file is told from a whole
// one; only empty lines may follow it.
//
// A take line may carry further fields after the count, each name=value
// (lower-case letters, then "=", then a value without blanks). A reader
// skips the ones it does not know, and a missing field means its default;
// so per-take state can be added later (for example checked=0 with the
// default 1, repaired=1 with the default 0) without a new version number.
// The version changes only when a version 1 reader would misread a file.
//
// Version 2 is written only for takes tapped along a recording, and adds one
// line after the first, naming the recording the takes belong to:
//
//   Metrova takes 2
//   recording size=52428844 hash=9A3F0C51D2E4B7A8 path=C%3A%5CMusic%5Csong.wav
//   edit at=3512250 to=3498000
//   take 2026-12-07T14:30:05 3 anchor=2044
//
// size is the file's length in bytes and hash the FNV-1a hash (64-bit, hex)
// of its first mebibyte (HashRecordingHead), so that a file changed or
// replaced since is noticed when the session is opened; path is encoded as
// the "source=" field is. A take tapped along it carries "anchor=": the time
// of its first tap on the recording, in milliseconds from its first sample
// (the take's taps stay relative to the first, so a reader that ignores the
// field reads the take as before). Without a recording the file is version
// 1, byte for byte as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "BeatEdits.h"
#include "Take.h"
#include "TapAnalysis.h"

inline constexpr char SessionMagic[] = "Metrova takes";
inline constexpr int SessionVersion = 1;
// The version of a session that names a recording.
inline constexpr int RecordingSessionVersion = 2;

// The longest line a session may have, counting every byte before its line
// feed. A session line holds one tap time, or a take's time, count and
// fields: a few dozen bytes. A longer line means the file is no session
// (or a damaged one), and is refused by its number.
inline constexpr size_t MaxSessionLineLength = 64 * 1024;

// Local date and time as the session stores it.
struct ListedTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};

// "YYYY-MM-DDTHH:MM:SS".
std::string FormatListedTime(const ListedTime& time);
// Exactly that form with every field in its range (years 1601 to 9999, the
// range the platform's calendar functions take); false otherwise.
bool ParseListedTime(std::string_view text, ListedTime& time);

// One listed take: when it was listed and its taps.
struct SessionTake {
    std::string ListedAt;  // FormatListedTime's form
    Take Taps;             // relative to the first tap; at least two in a session
    // Whether the take goes into the tempo map; stored as "checked=0" when
    // not (a take line without the field is checked).
    bool Checked = true;
    // The name of the file the take was read from (a MIDI file's tempo map,
    // a take file, a beat list), for the list's tooltip; empty for a tapped
    // take. Stored as "source=" with every byte but letters, digits and
    // "._-" written as %XX, so that a name with blanks stays one field.
    std::string Source;
    // The analysis' findings the musician turned down for this take (a held
    // note that looks like a missed tap is theirs to call). Kept while the
    // program runs, not stored: a finding is a suggestion made afresh.
    std::vector<FindingKey> Rejected;
    // The recording time of the first tap (ms from the recording's first
    // sample) for a take tapped along the session's recording; NoAnchor for
    // one tapped without it, or read from a file.
    int64_t Anchor = NoAnchor;
    static constexpr int64_t NoAnchor = -1;
    // The first tap's time as the file wrote it. The program writes a
    // listed take from 0, and a take saved along a recording ("テイクを
    // 保存") from its time on the recording, which a reader told of the
    // recording (metrova-cli --audio) takes as its anchor, as it takes a
    // beat or label list's first time. Not stored.
    uint32_t WrittenFrom = 0;
};

// The recording a session's takes were tapped along, and how to know it
// again: its size and the hash of its first mebibyte. Empty Path: none.
struct SessionRecording {
    std::string Path;
    uint64_t Size = 0;
    uint64_t Hash = 0;
    // The beats the musician moved by hand on it, stored after the recording
    // line as "edit at=US to=US" (whole microseconds), in the order made.
    std::vector<BeatEdit> Edits;
};

// How many bytes of a recording its identity hash covers.
inline constexpr size_t RecordingHeadBytes = 1024 * 1024;
// FNV-1a, 64-bit, of `size` bytes (the caller passes at most the file's first
// RecordingHeadBytes).
uint64_t HashRecordingHead(const void* data, size_t size);

// A file name as the "source=" field stores it, and back; false for a text
// that is no such encoding (the field is then left out).
std::string EncodeSourceField(std::string_view name);
bool DecodeSourceField(std::string_view field, std::string& name);

// The session text of the takes, in order.
std::string FormatSession(const std::vector<const SessionTake*>& takes);
std::string FormatSession(const std::vector<SessionTake>& takes);
// With the recording the takes were tapped along (version 2); a null or
// empty recording writes version 1, and then no take's anchor.
std::string FormatSession(const std::vector<const SessionTake*>& takes, const SessionRecording* recording);

// What went wrong in a file that could not be read as takes.
enum class TakeFileProblem {
    None,
    BadTapTime,       // take file: a word that is not a tap time
    BadBeatTime,      // beat list: a line whose first column is no time in seconds
    BeatGoesBack,     // beat list: a time before the one on the line above
    TapGoesBack,      // take file or session: a tap time before the one above
    BadSessionLine,   // session: a line that does not belong where it stands
    NewerSession,     // session: a version this program does not know
    SessionCutOff,    // session: the file ends before its "end" line
    LineTooLong,      // any kind: a line far longer than its kind of file has (see the limits)
};

struct TakeFileError {
    TakeFileProblem Problem = TakeFileProblem::None;
    size_t Line = 0;      // 1-based
    std::string Excerpt;  // the start of the offending text, printable ASCII
    // In English, naming the line, for the command line.
    std::string Message;
};

// Whether the text starts like a session file (its first line).
bool LooksLikeSession(std::string_view text);

// Reads a whole session. On false `takes` is empty and `error` says where
// the file went wrong. Tap times are made relative to the first tap.
//
// A tap time equal to the one before it is the same beat (two keys struck
// together): it is dropped and counted in `repeatsDropped`, when given, and
// a take left with fewer than two taps is dropped with it. A time before the
// one above refuses the file.
bool ReadSession(std::string_view text, std::vector<SessionTake>& takes, TakeFileError& error,
                 size_t* repeatsDropped = nullptr);
// The same, with the session's recording (left empty for a version 1 file).
// A take's anchor is kept only in a session that names its recording.
bool ReadSession(std::string_view text, std::vector<SessionTake>& takes, SessionRecording& recording,
                 TakeFileError& error, size_t* repeatsDropped = nullptr);
