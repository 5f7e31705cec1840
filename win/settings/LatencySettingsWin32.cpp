#include "LatencySettingsWin32.h"

#include "IniFile.h"
#include "LatencySettings.h"
#include "SettingsWin32.h"
#include "WideIni.h"

double LoadTapLatency(const std::string& input)
{
    return TapLatencyMs(SettingsFile, input);
}

bool SaveTapLatency(const std::string& input, double ms)
{
    SetTapLatencyMs(SettingsFile, input, ms);
    return SaveIniFile(SettingsFile, SettingsFilePath());
}
