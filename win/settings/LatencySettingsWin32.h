// The tap latencies in the program's settings file (Metrova.ini beside the
// program): read from SettingsFile as start-up loaded it, and written
// through to the file at once, so that a measurement is kept even if the
// program ends without saving its settings.
#pragma once

#include <string>

// The latency of `input` (KeyboardLatencyInput, or a MIDI input device's
// name), in ms: positive when the musician taps late; 0 when never measured.
double LoadTapLatency(const std::string& input);

// Keeps `ms` as the latency of `input` and saves the settings file. False
// when the file could not be written (or the program's path is unknown);
// the value is kept for this run even then.
bool SaveTapLatency(const std::string& input, double ms);
