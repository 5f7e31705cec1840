#include "AppSettings.h"

#include <algorithm>
#include <climits>

namespace {

// The interpolation count is 0..10 points per beat; the base note a 1/2^n
// note with n in 0..5 (whole to thirty-second).
constexpr int kMaxTempoInterpCount = 10;
constexpr int kMaxTimeSigBase = 5;

}  // namespace

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
    stored.App.TapMethod = (tapMethod == 0 || tapMethod == 1) ? tapMethod : 0;

    stored.App.MidiInName = file.GetString(SettingsSection, KeyMidiIn, "").substr(0, MaxMidiInNameLength);

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
    file.SetValue(SettingsSection, KeyRestoreTakes, settings.RestoreTakes ? "1" : "0");
    file.Save();
}
