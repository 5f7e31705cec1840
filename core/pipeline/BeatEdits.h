// The musician's last word on the map's beats: a beat moved by hand on the
// recording's timeline.
//
// An edit is tied to a time on the recording, not to a beat number: it
// names the beat as it stood when it was edited (At) and where it goes
// (To). It applies to the map's beat nearest At, within half that beat's
// interval, so it survives takes added, removed, checked or repaired, which
// renumber the beats but move them little. Times are whole microseconds: a
// session stores them exactly, and every build reads them alike.
#pragma once

#include <cstdint>
#include <vector>

struct BeatEdit {
    int64_t AtUs = 0;
    int64_t ToUs = 0;
    bool operator==(const BeatEdit& other) const { return AtUs == other.AtUs && ToUs == other.ToUs; }
};

// Moves the beats of `beatsMs` (increasing, ms on the recording) that the
// edits name onto their new times, in the order of the edits (a later one
// wins over an earlier one for the same beat). A new time that would pass a
// neighbouring beat is kept a millisecond inside it, so the beats stay in
// order. Returns, per beat, whether an edit moved it; an edit whose At
// lies farther than half an interval from every beat changes nothing.
std::vector<bool> ApplyBeatEdits(std::vector<double>& beatsMs, const std::vector<BeatEdit>& edits);

// The index of the beat an edit at `atUs` applies to, or -1.
int64_t EditedBeat(const std::vector<double>& beatsMs, int64_t atUs);
