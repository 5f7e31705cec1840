// The value rules of the application settings kept in section "AppSetting"
// of the settings file: how stored text becomes the values the program runs
// with, and in which order the values are written back. The Windows layer
// supplies and applies the window position and the interpolation count
// (which lives in the main window's combo box); everything decided about the
// values themselves is here, where it can be tested without a window.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "IniFile.h"

inline constexpr char SettingsSection[] = "AppSetting";
inline constexpr char KeyLeft[] = "Left";
inline constexpr char KeyTop[] = "Top";
inline constexpr char KeyTempoInterpCount[] = "TempoInterpCount";
inline constexpr char KeyTimeSigBase[] = "TimeSigBase";
inline constexpr char KeyTapMethod[] = "TapMethod";
inline constexpr char KeyMidiIn[] = "MidiIn";
inline constexpr char KeySmoothing[] = "Smoothing";
inline constexpr char KeyRepairOnExport[] = "RepairOnExport";
inline constexpr char KeyGraphLeft[] = "GraphLeft";
inline constexpr char KeyGraphTop[] = "GraphTop";
inline constexpr char KeyGraphWidth[] = "GraphWidth";
inline constexpr char KeyGraphHeight[] = "GraphHeight";
inline constexpr char KeyRestoreTakes[] = "RestoreTakes";
inline constexpr char KeyPreRoll[] = "PreRoll";
inline constexpr char KeyAlignToRecording[] = "AlignToRecording";
inline constexpr char KeySnapToOnsets[] = "SnapToOnsets";
// Retired: whether the program is a Cakewalk tool is read from the registry.
inline constexpr char KeyAddCakewalkTool[] = "AddCakewalkTool";

// The interpolation count is 0..10 points per beat; the base note a 1/2^n
// note with n in 0..5 (whole to thirty-second). Smoothing: -1 auto, 0 none,
// 1..10 a fixed strength. The tempo engine's own limits (MaxInterpCount,
// MaxTimeSigBase, SmoothingAuto, MaxSmoothing), which the settings do not
// see; metrova-cli, which sees both, holds them equal.
inline constexpr int kMaxTempoInterpCount = 10;
inline constexpr int kMaxTimeSigBase = 5;
inline constexpr int kSmoothingAuto = -1;
inline constexpr int kMaxSmoothing = 10;

// The device name is kept in a 32-byte field: 31 bytes and the terminator.
inline constexpr size_t MaxMidiInNameLength = 31;

// The values of TapMethod that the settings file holds. TapMethod stays a
// number: a value set to anything else is kept as it is, and then neither
// the keyboard nor MIDI input records taps.
inline constexpr int TapMethodKeyboard = 0;  // the computer keyboard
inline constexpr int TapMethodMidi = 1;      // note-ons from a MIDI input device

inline constexpr int DefaultPreRollSeconds = 2;
inline constexpr int MaxPreRollSeconds = 5;

struct AppSettings {
    // The base note's exponent n, not a denominator: one tap is a 1/2^n
    // note (0 whole to 5 thirty-second); 2 is the quarter note.
    int TimeSigBase = 2;
    int TapMethod = TapMethodKeyboard;
    std::string MidiInName;
    // How strongly the exported tempo follows the music rather than the
    // jitter of the taps, in the tempo engine's terms: 0 none, -1 a strength
    // taken from the takes' own scatter, 1 to 10 a fixed strength.
    int Smoothing = 0;
    // Whether the takes are repaired onto their common beat grid before
    // they are averaged for an export.
    bool RepairOnExport = false;
    // The graph window's outer rectangle in screen pixels. A width or height
    // of 0 means the program places it (HasGraphPlacement); then all four
    // are 0.
    int GraphLeft = 0;
    int GraphTop = 0;
    int GraphWidth = 0;
    int GraphHeight = 0;
    // Whether the takes of the last run are listed again at start-up.
    bool RestoreTakes = true;

    // Tapping along a recording: the seconds played before the start
    // position (0 to MaxPreRollSeconds), and whether the exported map of
    // takes tapped along it starts at the recording's first sample.
    int PreRollSeconds = DefaultPreRollSeconds;
    bool AlignToRecording = true;
    // Whether the beats of such a map are moved onto the recording's onsets.
    bool SnapToOnsets = true;

    bool HasGraphPlacement() const { return GraphWidth > 0 && GraphHeight > 0; }
};

struct WindowPosition {
    int Left = 0;
    int Top = 0;
};

// Everything ApplySettings takes from the file.
struct StoredSettings {
    int TempoInterpCount = 0;
    AppSettings App;
    // Present only when both "Left" and "Top" are stored.
    std::optional<WindowPosition> Position;
};

// Reads a decimal number the way atoi does: leading white space skipped, an
// optional sign, digits up to the first non-digit; no digits read as 0.
// Numbers beyond the int range saturate to INT_MIN or INT_MAX.
int ReadSettingNumber(const std::string& text);

StoredSettings ReadSettings(const IniFile& file);

// Drops the retired key so that the next save no longer writes it. Returns
// whether it was there.
bool RemoveRetiredSettings(IniFile& file);

// Stores the values in the order "Left", "Top", "TempoInterpCount",
// "TimeSigBase", "TapMethod", "MidiIn", "Smoothing", "RepairOnExport",
// "GraphLeft", "GraphTop", "GraphWidth", "GraphHeight", then "PreRoll",
// "AlignToRecording" and "SnapToOnsets" only where they differ from their
// defaults (a file of default settings reads as it did before they came),
// "RestoreTakes"; the
// caller saves the file (Save, or by UTF-16 path on Windows). "RestoreTakes" always ends up the section's last key, also
// in a file written before the keys between came to be.
void WriteSettings(IniFile& file, const AppSettings& settings, int left, int top,
                   int tempoInterpCount);
