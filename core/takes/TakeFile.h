// Takes from a file of any of the kinds the program opens, told apart by
// their content:
//
//  1. a session (Session.h), recognised by its first line: all its takes;
//  2. a take file: tap times in decimal milliseconds separated by white
//     space, one take per file;
//  3. a beat or label list as audio editors and analysis tools export them:
//     per line a time in seconds with a decimal point, then optionally a
//     comma, tab or space and any text. Times are rounded to the nearest
//     millisecond. A file whose first word holds a decimal point is one.
//
// Every take comes back relative to its first time. A file with a bad line
// gives no takes at all.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "Session.h"

// Far beyond any session a person can tap (ten takes of 100,000 taps are
// about 7 MB). A bigger take file, session or journal is refused before it
// is read.
inline constexpr size_t MaxTakeFileSize = 256u * 1024u * 1024u;

// The longest line of a take file and of a beat list, counting every byte
// before its line feed (a session's: MaxSessionLineLength). A take file may
// hold a whole take on one line, at about eleven bytes a tap: 16 MiB is one
// and a half million taps, days of tapping. A beat list's line is a time and
// a label. A longer line is refused by its number: such a file is no file
// of takes, and a reader must not walk it as one.
inline constexpr size_t MaxTapTimesLineLength = 16u * 1024u * 1024u;
inline constexpr size_t MaxBeatListLineLength = 64u * 1024u;

enum class TakeFileKind { Session, TapTimes, BeatList };

// Reads `bytes` as takes. On false `takes` is empty and `error` names the
// line. Takes of take files and beat lists have an empty ListedAt (the
// caller lists them now), and may have fewer than two taps (the caller
// drops those); a session's takes keep their listed time.
//
// In every kind a time equal to the one before it is the same beat: it is
// dropped and counted in `repeatsDropped`, when given (0 on false). A time
// before the one above refuses the file, naming its line.
bool ReadTakeFileBytes(std::string_view bytes, std::vector<SessionTake>& takes, TakeFileError& error,
                       TakeFileKind* kind = nullptr, size_t* repeatsDropped = nullptr);

// Reads `bytes` as a take file, appending its tap times to `take` as the
// file gives them (not made relative), repeats dropped and counted as above.
// False at the first word that is no tap time (ParseTapTime) or that lies
// before the one above, and at the first line longer than
// MaxTapTimesLineLength, with `error` naming its line.
bool ReadTapTimes(std::string_view bytes, Take& take, TakeFileError& error, size_t* repeatsDropped = nullptr);
