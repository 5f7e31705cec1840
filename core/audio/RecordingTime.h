// A time on a recording as people read it off a player: "m:ss.s".
#pragma once

#include <string>

// "m:ss.s" for a time in ms (to the nearest tenth of a second; a negative
// time as 0).
std::string FormatRecordingTime(double ms);
