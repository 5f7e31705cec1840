#include "LatencySettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string TapLatencyKey(const std::string& input)
{
    if (input.empty())
        return "_";
    std::string key = input;
    for (size_t i = 0; i < key.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(key[i]);
        if (c == '=' || c < 0x20 || c == 0x7F || (i == 0 && (c == ';' || c == '[')))
            key[i] = '_';
    }
    return key;
}

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

double ReadTapLatencyValue(const std::string& text)
{
    size_t i = 0, end = text.size();
    while (i < end && IsBlank(text[i]))
        ++i;
    while (end > i && IsBlank(text[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Parsed by hand: strtod would follow the C locale's decimal point. Once
    // the whole part is past the range, more digits only matter for syntax.
    double value = 0.0;
    bool digits = false;
    for (; i < end && IsDigit(text[i]); ++i) {
        digits = true;
        if (value <= kMaxTapLatencyMs)
            value = value * 10.0 + (text[i] - '0');
    }
    if (i < end && text[i] == '.') {
        ++i;
        double scale = 0.1;
        for (; i < end && IsDigit(text[i]); ++i) {
            digits = true;
            value += (text[i] - '0') * scale;
            scale /= 10.0;
        }
    }
    if (!digits || i != end)
        return 0.0;
    value = std::min(value, kMaxTapLatencyMs);
    return negative ? -value : value;
}

std::string FormatTapLatencyValue(double ms)
{
    if (std::isnan(ms))
        ms = 0.0;
    const long tenths = std::lround(std::clamp(ms, -kMaxTapLatencyMs, kMaxTapLatencyMs) * 10.0);
    const long magnitude = tenths < 0 ? -tenths : tenths;
    char text[32];
    if (magnitude % 10 == 0)
        std::snprintf(text, sizeof text, "%s%ld", tenths < 0 ? "-" : "", magnitude / 10);
    else
        std::snprintf(text, sizeof text, "%s%ld.%ld", tenths < 0 ? "-" : "", magnitude / 10, magnitude % 10);
    return text;
}

double TapLatencyMs(const IniFile& file, const std::string& input)
{
    std::string text;
    if (!file.GetValue(TapLatencySection, TapLatencyKey(input), text))
        return 0.0;
    return ReadTapLatencyValue(text);
}

void SetTapLatencyMs(IniFile& file, const std::string& input, double ms)
{
    file.SetValue(TapLatencySection, TapLatencyKey(input), FormatTapLatencyValue(ms));
}
