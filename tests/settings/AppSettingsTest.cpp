#include <gtest/gtest.h>

#include "TempFolder.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "AppSettings.h"

namespace {

namespace fs = std::filesystem;

TEST(ReadSettingNumber, ReadsLikeAtoi)
{
    EXPECT_EQ(42, ReadSettingNumber("42"));
    EXPECT_EQ(-7, ReadSettingNumber(" \t\n\v\f\r-7"));
    EXPECT_EQ(5, ReadSettingNumber("+5"));
    EXPECT_EQ(3, ReadSettingNumber("3x"));
    EXPECT_EQ(12, ReadSettingNumber("12 34"));
    EXPECT_EQ(12, ReadSettingNumber("000000000000000000000012"));
    EXPECT_EQ(0, ReadSettingNumber("abc"));
    EXPECT_EQ(0, ReadSettingNumber(""));
    EXPECT_EQ(0, ReadSettingNumber("-"));
    EXPECT_EQ(0, ReadSettingNumber("- 3"));
    EXPECT_EQ(0, ReadSettingNumber("+-3"));
    EXPECT_EQ(0, ReadSettingNumber("\xA0" "5"));  // not white space in the C locale
}

TEST(ReadSettingNumber, SaturatesOutsideTheIntRange)
{
    EXPECT_EQ(INT_MAX, ReadSettingNumber("2147483647"));
    EXPECT_EQ(INT_MAX, ReadSettingNumber("2147483648"));
    EXPECT_EQ(INT_MIN, ReadSettingNumber("-2147483648"));
    EXPECT_EQ(INT_MIN, ReadSettingNumber("-2147483649"));
    EXPECT_EQ(INT_MAX, ReadSettingNumber("99999999999999999999999999999"));
    EXPECT_EQ(INT_MIN, ReadSettingNumber("-99999999999999999999999999999x"));
}

IniFile WithAppSetting(const char* key, const char* value)
{
    IniFile ini;
    ini.SetValue(SettingsSection, key, value);
    return ini;
}

TEST(ReadSettings, EmptyFileGivesDefaults)
{
    const StoredSettings s = ReadSettings(IniFile());
    EXPECT_EQ(0, s.TempoInterpCount);
    EXPECT_EQ(2, s.App.TimeSigBase);
    EXPECT_EQ(0, s.App.TapMethod);
    EXPECT_EQ("", s.App.MidiInName);
    EXPECT_FALSE(s.Position.has_value());
}

TEST(ReadSettings, InterpolationCountIsLimitedToTheComboBox)
{
    const std::pair<const char*, int> cases[] = {
        {"15", 10}, {"-3", 0}, {"3x", 3}, {"10", 10}, {"0", 0}, {"99999999999", 10}, {"-99999999999", 0}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeyTempoInterpCount, text)).TempoInterpCount) << text;
}

TEST(ReadSettings, OutOfRangeBaseNoteAndTapMethodFallBack)
{
    const std::pair<const char*, int> timeSigBase[] = {{"6", 2}, {"-1", 2}, {"0", 0}, {"5", 5}, {"x", 0}};
    for (const auto& [text, expected] : timeSigBase)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeyTimeSigBase, text)).App.TimeSigBase) << text;
    const std::pair<const char*, int> tapMethod[] = {{"2", 0}, {"abc", 0}, {"-1", 0}, {"1", 1}};
    for (const auto& [text, expected] : tapMethod)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeyTapMethod, text)).App.TapMethod) << text;
}

TEST(ReadSettings, WindowPositionNeedsBothKeys)
{
    EXPECT_FALSE(ReadSettings(WithAppSetting(KeyLeft, "10")).Position.has_value());
    EXPECT_FALSE(ReadSettings(WithAppSetting(KeyTop, "10")).Position.has_value());

    IniFile ini = WithAppSetting(KeyLeft, "-32000");
    ini.SetValue(SettingsSection, KeyTop, "50000");
    const StoredSettings s = ReadSettings(ini);
    ASSERT_TRUE(s.Position.has_value());
    EXPECT_EQ(-32000, s.Position->Left);  // far off screen is kept as it is
    EXPECT_EQ(50000, s.Position->Top);
}

class AppSettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = MakeTempFolder("metrova-settings-");
        path = (dir / "Metrova.ini").string();
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    void WriteBytes(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
    std::string ReadBytes() const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    std::string path;
};

TEST_F(AppSettingsFileTest, NoPriorFileWritesTheKeysInOrder)
{
    IniFile ini;
    EXPECT_FALSE(ini.Load(path));
    EXPECT_FALSE(RemoveRetiredSettings(ini));
    WriteSettings(ini, AppSettings(), 120, -40, 3);
    EXPECT_EQ("[AppSetting]\r\nLeft=120\r\nTop=-40\r\nTempoInterpCount=3\r\n"
              "TimeSigBase=2\r\nTapMethod=0\r\nMidiIn=\r\nRestoreTakes=1\r\n",
              ReadBytes());
}

TEST_F(AppSettingsFileTest, RetiredKeyGoesAndForeignContentStays)
{
    WriteBytes("[Other]\r\nAddCakewalkTool=1\r\n[AppSetting]\r\nmidiin=Old\r\nAddCakewalkTool=1\r\n"
               "Custom=x\r\nTop=5\r\n");
    IniFile ini(path);
    EXPECT_TRUE(RemoveRetiredSettings(ini));
    AppSettings app;
    app.TimeSigBase = 4;
    app.TapMethod = 1;
    app.MidiInName = "Device";
    app.RestoreTakes = false;
    WriteSettings(ini, app, INT_MIN, 7, 10);
    // Existing lines are replaced where they stand; new keys follow in order.
    EXPECT_EQ("[Other]\r\nAddCakewalkTool=1\r\n\r\n[AppSetting]\r\nMidiIn=Device\r\nCustom=x\r\nTop=7\r\n"
              "Left=-2147483648\r\nTempoInterpCount=10\r\nTimeSigBase=4\r\nTapMethod=1\r\nRestoreTakes=0\r\n",
              ReadBytes());

    const StoredSettings s = ReadSettings(IniFile(path));
    EXPECT_EQ(10, s.TempoInterpCount);
    EXPECT_EQ(4, s.App.TimeSigBase);
    EXPECT_EQ(1, s.App.TapMethod);
    EXPECT_EQ("Device", s.App.MidiInName);
    EXPECT_FALSE(s.App.RestoreTakes);
    // Only an explicit 0 turns restoring off.
    for (const char* text : {"1", "", "x", " 2", "-1", "on"}) {
        IniFile other;
        other.SetValue(SettingsSection, KeyRestoreTakes, text);
        EXPECT_TRUE(ReadSettings(other).App.RestoreTakes) << text;
    }
    IniFile missing;
    EXPECT_TRUE(ReadSettings(missing).App.RestoreTakes);
    for (const char* text : {"0", " 00", "-0"}) {
        IniFile off;
        off.SetValue(SettingsSection, KeyRestoreTakes, text);
        EXPECT_FALSE(ReadSettings(off).App.RestoreTakes) << text;
    }
    ASSERT_TRUE(s.Position.has_value());
    EXPECT_EQ(INT_MIN, s.Position->Left);
}

TEST_F(AppSettingsFileTest, MidiInNameKeepsAtMost31Bytes)
{
    const std::string name31 = "\x83\x7E\x83\x66\x83\x42" "Port 12345678901234567890";  // Shift-JIS prefix
    ASSERT_EQ(31u, name31.size());
    AppSettings app;
    app.MidiInName = name31;
    IniFile ini;
    ini.Load(path);
    WriteSettings(ini, app, 0, 0, 0);
    EXPECT_EQ(name31, ReadSettings(IniFile(path)).App.MidiInName);

    ini.SetValue(SettingsSection, KeyMidiIn, name31 + "overflow");
    EXPECT_EQ(name31, ReadSettings(ini).App.MidiInName);
}

}  // namespace
