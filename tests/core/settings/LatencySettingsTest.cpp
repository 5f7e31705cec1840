// The tap latencies in the settings file: what a stored text reads as, the
// text a latency is written as, and one key per input surviving a save.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "IniFile.h"
#include "LatencySettings.h"

namespace {

TEST(LatencySettings, WrittenTextReadsBackToTheTenth)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> any(-700.0, 700.0);
    for (int i = 0; i < 5000; ++i) {
        const double ms = i < 4000 ? any(random) : std::round(any(random));
        const std::string text = FormatTapLatencyValue(ms);
        const double read = ReadTapLatencyValue(text);
        const double expected = std::clamp(ms, -kMaxTapLatencyMs, kMaxTapLatencyMs);
        EXPECT_LE(std::fabs(read - expected), 0.05 + 1e-9) << ms << " -> " << text;
        EXPECT_EQ(FormatTapLatencyValue(read), text) << ms;
        EXPECT_EQ(text.find(','), std::string::npos);
    }
    EXPECT_EQ(FormatTapLatencyValue(23.0), "23");
    EXPECT_EQ(FormatTapLatencyValue(-8.46), "-8.5");
    EXPECT_EQ(FormatTapLatencyValue(-0.3), "-0.3");
    EXPECT_EQ(FormatTapLatencyValue(-0.01), "0");
    EXPECT_EQ(FormatTapLatencyValue(std::nan("")), "0");
    EXPECT_EQ(FormatTapLatencyValue(1e300), "500");
}

TEST(LatencySettings, StoredTextRules)
{
    EXPECT_DOUBLE_EQ(ReadTapLatencyValue("23"), 23.0);
    EXPECT_DOUBLE_EQ(ReadTapLatencyValue("  -8.5\t"), -8.5);
    EXPECT_DOUBLE_EQ(ReadTapLatencyValue("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(ReadTapLatencyValue("12."), 12.0);
    EXPECT_DOUBLE_EQ(ReadTapLatencyValue("501"), kMaxTapLatencyMs);
    EXPECT_DOUBLE_EQ(ReadTapLatencyValue("-99999999999999999999999"), -kMaxTapLatencyMs);
    // Anything that is not one whole number reads as no latency.
    for (const char* bad : {"", " ", "-", "+", ".", "abc", "12ms", "1e2", "1,5", "--3", "3 4", "0x10", "nan",
                            "inf", "1.2.3", "\xE3\x80\x80" "5"})
        EXPECT_EQ(ReadTapLatencyValue(bad), 0.0) << '"' << bad << '"';
}

TEST(LatencySettings, OneKeyPerInputSurvivesTheFile)
{
    IniFile file;
    file.Assign("[AppSetting]\r\nMidiIn=Keys A\r\n");
    EXPECT_EQ(TapLatencyMs(file, KeyboardLatencyInput), 0.0);  // never measured
    const std::vector<std::pair<std::string, double>> inputs = {
        {KeyboardLatencyInput, 23.0}, {"Keys A", -8.5}, {"A=B", 40.0}, {";semi", 12.0},
        {"[box]", 7.0}, {"", 3.5}, {"\x83\x5C\x83\x74\x83\x67", 57.0}};  // ソフト in code page 932
    for (const auto& [input, ms] : inputs)
        SetTapLatencyMs(file, input, ms);
    SetTapLatencyMs(file, "Keys A", -9.0);  // measured again: replaced

    IniFile reloaded;
    reloaded.Assign(file.Serialize());
    for (const auto& [input, ms] : inputs)
        EXPECT_DOUBLE_EQ(TapLatencyMs(reloaded, input), input == "Keys A" ? -9.0 : ms) << input;
    EXPECT_EQ(reloaded.GetString("AppSetting", "MidiIn", ""), "Keys A");
    EXPECT_EQ(reloaded.GetString(TapLatencySection, "Keyboard", ""), "23");
    const auto& sections = reloaded.GetSections();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[1].lines.size(), inputs.size());

    // A hand-edited value: out of range is held to it, nonsense is 0.
    reloaded.SetValue(TapLatencySection, "Keyboard", "9000");
    reloaded.SetValue(TapLatencySection, "Keys A", "late");
    EXPECT_DOUBLE_EQ(TapLatencyMs(reloaded, KeyboardLatencyInput), kMaxTapLatencyMs);
    EXPECT_EQ(TapLatencyMs(reloaded, "Keys A"), 0.0);
}

TEST(LatencySettings, KeysHoldNothingThatEndsOrHidesThem)
{
    EXPECT_EQ(TapLatencyKey("Keyboard"), "Keyboard");
    EXPECT_EQ(TapLatencyKey("Keys A"), "Keys A");
    EXPECT_EQ(TapLatencyKey("a=b=c"), "a_b_c");
    EXPECT_EQ(TapLatencyKey(";x;"), "_x;");
    EXPECT_EQ(TapLatencyKey("[x]"), "_x]");
    EXPECT_EQ(TapLatencyKey(std::string("a\r\nb\0c", 6)), "a__b_c");
    EXPECT_EQ(TapLatencyKey(""), "_");
}

}  // namespace
