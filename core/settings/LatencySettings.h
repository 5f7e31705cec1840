// The value rules of the tap latencies kept in section "TapLatency" of the
// settings file: one key per input, the keyboard ("Keyboard") and each MIDI
// input device by its name, holding how many milliseconds late (negative:
// early) the musician taps on it, as the latency dialog measured. An input
// never measured has no key and a latency of 0.
#pragma once

#include <string>

#include "IniFile.h"

inline constexpr char TapLatencySection[] = "TapLatency";
// The keyboard's key; a MIDI device's is its name.
inline constexpr char KeyboardLatencyInput[] = "Keyboard";
// Half a second either way is far beyond any musician's lag: a larger value
// is a hand-edited file's, and is held to the range.
inline constexpr double kMaxTapLatencyMs = 500.0;

// The key an input's latency is kept under: its name, with the bytes that
// would end or hide a key ("=" anywhere, ";" or "[" first, control bytes)
// replaced by "_"; "_" for an empty name. Keys compare with A-Z folded, so
// two devices whose names differ only in that case share one.
std::string TapLatencyKey(const std::string& input);

// A stored value as milliseconds: blanks around it allowed, an optional
// sign, digits with an optional decimal point ("23", "-8.5", "+.5").
// Anything else reads as 0; a number beyond +-kMaxTapLatencyMs as the limit.
double ReadTapLatencyValue(const std::string& text);
// The text a latency is stored as: held to the range, to a tenth of a
// millisecond, without a decimal for a whole number ("23", "-8.5"); NaN is 0.
std::string FormatTapLatencyValue(double ms);

// The latency of `input` in `file`, 0 when it has none.
double TapLatencyMs(const IniFile& file, const std::string& input);
// Stores the latency of `input`; the caller saves the file.
void SetTapLatencyMs(IniFile& file, const std::string& input, double ms);
