// A tap time as the take files and sessions write it: a whole decimal
// number of milliseconds, 0 to 4294967295. One reader for every place that
// reads one (take files, sessions, metrova-cli), so they all accept the same.
#pragma once

#include <cstdint>
#include <string_view>

// Digits only (no sign, no blank, leading zeros allowed), at most 18 of
// them, and a value that fits 32 bits; false otherwise, `value` unchanged.
bool ParseTapTime(std::string_view word, uint32_t& value);
