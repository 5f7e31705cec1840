#include "RecordingTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string FormatRecordingTime(double ms)
{
    const long long tenths = std::llround(std::max(0.0, ms) / 100.0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}
