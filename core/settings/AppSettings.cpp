#include "AppSettings.h"

#include <algorithm>
#include <climits>

int ReadSettingNumber(const std::string& text)
{
    size_t i = 0;
    // The white space of isspace in the "C" locale, spelled out so that the
    // result does not depend on the locale or on the signedness of char.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // atoi's result is undefined when the number does not fit an int; a
    // hand-edited file must not make the program's behaviour undefined, so
    // the magnitude stops growing once it is past the range and saturates.
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude < limit)
            magnitude = std::min(limit, magnitude * 10 + (text[i] - '0'));
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

StoredSettings ReadSettings(const IniFile& file)
{
    StoredSettings stored;

    const int interp = ReadSettingNumber(file.GetString(SettingsSection, KeyTempoInterpCount, "0"));
    stored.TempoInterpCount = std::clamp(interp, 0, kMaxTempoInterpCount);

    const int timeSigBase = ReadSettingNumber(file.GetString(SettingsSection, KeyTimeSigBase, "2"));
    stored.App.TimeSigBase = (timeSigBase >= 0 && timeSigBase <= kMaxTimeSigBase) ? timeSigBase : 2;

    const int tapMethod = ReadSettingNumber(file.GetString(SettingsSection, KeyTapMethod, "0"));
    stored.App.TapMethod =
        (tapMethod == TapMethodKeyboard || tapMethod == TapMethodMidi) ? tapMethod : TapMethodKeyboard;

    stored.App.MidiInName = file.GetString(SettingsSection, KeyMidiIn, "").substr(0, MaxMidiInNameLength);

    const int smoothing = ReadSettingNumber(file.GetString(SettingsSection, KeySmoothing, "0"));
    stored.App.Smoothing = (smoothing >= kSmoothingAuto && smoothing <= kMaxSmoothing) ? smoothing : 0;

    const int repair = ReadSettingNumber(file.GetString(SettingsSection, KeyRepairOnExport, "0"));
    stored.App.RepairOnExport = repair == 1;

    // The graph window goes where it was only when its whole rectangle is
    // there and has a size; anything less lets the program place it.
    std::string graph[4];
    const char* const graphKeys[4] = {KeyGraphLeft, KeyGraphTop, KeyGraphWidth, KeyGraphHeight};
    bool graphStored = true;
    for (int i = 0; i < 4 && graphStored; ++i)
        graphStored = file.GetValue(SettingsSection, graphKeys[i], graph[i]);
    if (graphStored) {
        AppSettings& app = stored.App;
        app.GraphWidth = ReadSettingNumber(graph[2]);
        app.GraphHeight = ReadSettingNumber(graph[3]);
        if (app.HasGraphPlacement()) {
            app.GraphLeft = ReadSettingNumber(graph[0]);
            app.GraphTop = ReadSettingNumber(graph[1]);
        } else {
            app.GraphWidth = app.GraphHeight = 0;
        }
    }

    // Out of range or unreadable: the default, as a musician who never
    // changed it would expect.
    std::string preRoll;
    if (file.GetValue(SettingsSection, KeyPreRoll, preRoll)) {
        const int seconds = ReadSettingNumber(preRoll);
        stored.App.PreRollSeconds =
            seconds >= 0 && seconds <= MaxPreRollSeconds ? seconds : DefaultPreRollSeconds;
    }
    // Like restoring, aligning is turned off only by an explicit 0.
    const std::string align = file.GetString(SettingsSection, KeyAlignToRecording, "1");
    stored.App.AlignToRecording =
        align.find_first_of("0123456789") == std::string::npos || ReadSettingNumber(align) != 0;
    const std::string snap = file.GetString(SettingsSection, KeySnapToOnsets, "1");
    stored.App.SnapToOnsets = snap.find_first_of("0123456789") == std::string::npos || ReadSettingNumber(snap) != 0;

    // Only an explicit 0 turns restoring off: losing takes is never what a
    // musician wants, so anything unreadable keeps it on.
    const std::string restore = file.GetString(SettingsSection, KeyRestoreTakes, "1");
    const bool hasDigit = restore.find_first_of("0123456789") != std::string::npos;
    stored.App.RestoreTakes = !hasDigit || ReadSettingNumber(restore) != 0;

    // "Top" is only looked at when "Left" is there; the window moves only
    // when both are.
    std::string left;
    std::string top;
    if (file.GetValue(SettingsSection, KeyLeft, left) && file.GetValue(SettingsSection, KeyTop, top))
        stored.Position = WindowPosition{ReadSettingNumber(left), ReadSettingNumber(top)};

    return stored;
}

bool RemoveRetiredSettings(IniFile& file)
{
    return file.DeleteKey(SettingsSection, KeyAddCakewalkTool);
}

void WriteSettings(IniFile& file, const AppSettings& settings, int left, int top,
                   int tempoInterpCount)
{
    // std::to_string(int) formats exactly as "%d".
    file.SetValue(SettingsSection, KeyLeft, std::to_string(left));
    file.SetValue(SettingsSection, KeyTop, std::to_string(top));
    file.SetValue(SettingsSection, KeyTempoInterpCount, std::to_string(tempoInterpCount));
    file.SetValue(SettingsSection, KeyTimeSigBase, std::to_string(settings.TimeSigBase));
    file.SetValue(SettingsSection, KeyTapMethod, std::to_string(settings.TapMethod));
    file.SetValue(SettingsSection, KeyMidiIn, settings.MidiInName);
    file.SetValue(SettingsSection, KeySmoothing, std::to_string(settings.Smoothing));
    file.SetValue(SettingsSection, KeyRepairOnExport, settings.RepairOnExport ? "1" : "0");
    // A placement without a size is written as the default, all zeros.
    const bool placed = settings.HasGraphPlacement();
    file.SetValue(SettingsSection, KeyGraphLeft, std::to_string(placed ? settings.GraphLeft : 0));
    file.SetValue(SettingsSection, KeyGraphTop, std::to_string(placed ? settings.GraphTop : 0));
    file.SetValue(SettingsSection, KeyGraphWidth, std::to_string(placed ? settings.GraphWidth : 0));
    file.SetValue(SettingsSection, KeyGraphHeight, std::to_string(placed ? settings.GraphHeight : 0));
    if (settings.PreRollSeconds != DefaultPreRollSeconds)
        file.SetValue(SettingsSection, KeyPreRoll, std::to_string(settings.PreRollSeconds));
    else
        file.DeleteKey(SettingsSection, KeyPreRoll);
    if (!settings.AlignToRecording)
        file.SetValue(SettingsSection, KeyAlignToRecording, "0");
    else
        file.DeleteKey(SettingsSection, KeyAlignToRecording);
    if (!settings.SnapToOnsets)
        file.SetValue(SettingsSection, KeySnapToOnsets, "0");
    else
        file.DeleteKey(SettingsSection, KeySnapToOnsets);
    // Last, after the keys a file of an earlier version lacks: taken out and
    // appended again, so that such a file gets the order of a new one.
    file.DeleteKey(SettingsSection, KeyRestoreTakes);
    file.SetValue(SettingsSection, KeyRestoreTakes, settings.RestoreTakes ? "1" : "0");
}
