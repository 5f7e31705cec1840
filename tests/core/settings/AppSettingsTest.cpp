#include <gtest/gtest.h>

#include "TempFolder.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

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
    EXPECT_EQ(0, s.App.Smoothing);
    EXPECT_FALSE(s.App.RepairOnExport);
    EXPECT_FALSE(s.App.HasGraphPlacement());
}

TEST(ReadSettings, BadAnalysisValuesFallBackToTheDefaults)
{
    const std::pair<const char*, int> smoothing[] = {
        {"-1", -1}, {"1", 1}, {"10", 10}, {"7x", 7}, {"11", 0}, {"-2", 0}, {"auto", 0}, {"99999999999", 0}};
    for (const auto& [text, expected] : smoothing)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeySmoothing, text)).App.Smoothing) << text;
    const std::pair<const char*, bool> repair[] = {{"1", true}, {" 1", true}, {"0", false}, {"2", false},
                                                   {"-1", false}, {"yes", false}, {"", false}};
    for (const auto& [text, expected] : repair)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeyRepairOnExport, text)).App.RepairOnExport) << text;
    const std::pair<const char*, int> preRoll[] = {{"0", 0}, {"5", 5}, {"3s", 3}, {"6", 2}, {"-1", 2}, {"", 0}};
    for (const auto& [text, expected] : preRoll)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeyPreRoll, text)).App.PreRollSeconds) << text;
    EXPECT_EQ(DefaultPreRollSeconds, ReadSettings(IniFile()).App.PreRollSeconds);
    // Aligning stays on unless it is turned off by a 0.
    const std::pair<const char*, bool> align[] = {{"0", false}, {" 0", false}, {"1", true}, {"yes", true}, {"2", true}};
    for (const auto& [text, expected] : align)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeyAlignToRecording, text)).App.AlignToRecording) << text;
    EXPECT_TRUE(ReadSettings(IniFile()).App.AlignToRecording);
    for (const auto& [text, expected] : align)
        EXPECT_EQ(expected, ReadSettings(WithAppSetting(KeySnapToOnsets, text)).App.SnapToOnsets) << text;
    EXPECT_TRUE(ReadSettings(IniFile()).App.SnapToOnsets);
}

TEST(ReadSettings, GraphPlacementNeedsAllFourKeysAndASize)
{
    const char* const keys[] = {KeyGraphLeft, KeyGraphTop, KeyGraphWidth, KeyGraphHeight};
    const auto read = [&](const std::vector<const char*>& values) {
        IniFile ini;
        for (size_t i = 0; i < values.size(); ++i) {
            if (values[i])
                ini.SetValue(SettingsSection, keys[i], values[i]);
        }
        return ReadSettings(ini).App;
    };
    const AppSettings placed = read({"-1200", "-30", "640", "480"});
    ASSERT_TRUE(placed.HasGraphPlacement());
    EXPECT_EQ(-1200, placed.GraphLeft);  // another monitor, kept as it is
    EXPECT_EQ(-30, placed.GraphTop);
    EXPECT_EQ(640, placed.GraphWidth);
    EXPECT_EQ(480, placed.GraphHeight);
    const std::vector<std::vector<const char*>> unplaced = {
        {nullptr, "10", "640", "480"}, {"10", "10", "640", nullptr}, {"10", "10", "0", "480"},
        {"10", "10", "640", "-5"},     {"10", "10", "wide", "480"},  {"10", "10", "-640", "-480"}};
    for (const auto& values : unplaced) {
        const AppSettings app = read(values);
        EXPECT_FALSE(app.HasGraphPlacement());
        EXPECT_EQ(0, app.GraphLeft);
        EXPECT_EQ(0, app.GraphTop);
        EXPECT_EQ(0, app.GraphWidth);
        EXPECT_EQ(0, app.GraphHeight);
    }
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
    ini.Save();
    EXPECT_EQ("[AppSetting]\r\nLeft=120\r\nTop=-40\r\nTempoInterpCount=3\r\n"
              "TimeSigBase=2\r\nTapMethod=0\r\nMidiIn=\r\nSmoothing=0\r\nRepairOnExport=0\r\n"
              "GraphLeft=0\r\nGraphTop=0\r\nGraphWidth=0\r\nGraphHeight=0\r\nRestoreTakes=1\r\n",
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
    ini.Save();
    // Existing lines are replaced where they stand; new keys follow in order.
    EXPECT_EQ("[Other]\r\nAddCakewalkTool=1\r\n\r\n[AppSetting]\r\nMidiIn=Device\r\nCustom=x\r\nTop=7\r\n"
              "Left=-2147483648\r\nTempoInterpCount=10\r\nTimeSigBase=4\r\nTapMethod=1\r\nSmoothing=0\r\n"
              "RepairOnExport=0\r\nGraphLeft=0\r\nGraphTop=0\r\nGraphWidth=0\r\nGraphHeight=0\r\nRestoreTakes=0\r\n",
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

// Whatever valid values are saved come back the same from the file, and the
// section always ends with "RestoreTakes".
TEST_F(AppSettingsFileTest, EveryValidValueSurvivesASaveAndALoad)
{
    std::mt19937 random(20261207);
    const auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 300; ++round) {
        AppSettings app;
        app.TimeSigBase = between(0, 5);
        app.TapMethod = between(0, 1);
        app.MidiInName = std::string(static_cast<size_t>(between(0, 31)), static_cast<char>('A' + between(0, 25)));
        app.Smoothing = between(-1, 10);
        app.RepairOnExport = between(0, 1) == 1;
        if (between(0, 3) > 0) {
            app.GraphLeft = between(INT_MIN, INT_MAX);
            app.GraphTop = between(-5000, 5000);
            app.GraphWidth = between(1, 8000);
            app.GraphHeight = between(1, 8000);
        }
        app.RestoreTakes = between(0, 1) == 1;
        app.PreRollSeconds = between(0, MaxPreRollSeconds);
        app.AlignToRecording = between(0, 1) == 1;
        app.SnapToOnsets = between(0, 1) == 1;
        const int interp = between(0, 10);
        // Over the file the round before left (none at first).
        IniFile ini;
        ini.Load(path);
        WriteSettings(ini, app, between(-100, 100), 3, interp);
        ini.Save();

        const IniFile reread(path);
        const StoredSettings s = ReadSettings(reread);
        EXPECT_EQ(interp, s.TempoInterpCount);
        EXPECT_EQ(app.TimeSigBase, s.App.TimeSigBase);
        EXPECT_EQ(app.TapMethod, s.App.TapMethod);
        EXPECT_EQ(app.MidiInName, s.App.MidiInName);
        EXPECT_EQ(app.Smoothing, s.App.Smoothing);
        EXPECT_EQ(app.RepairOnExport, s.App.RepairOnExport);
        EXPECT_EQ(app.HasGraphPlacement(), s.App.HasGraphPlacement());
        EXPECT_EQ(app.GraphLeft, s.App.GraphLeft);
        EXPECT_EQ(app.GraphTop, s.App.GraphTop);
        EXPECT_EQ(app.GraphWidth, s.App.GraphWidth);
        EXPECT_EQ(app.GraphHeight, s.App.GraphHeight);
        EXPECT_EQ(app.RestoreTakes, s.App.RestoreTakes);
        EXPECT_EQ(app.PreRollSeconds, s.App.PreRollSeconds);
        EXPECT_EQ(app.AlignToRecording, s.App.AlignToRecording);
        EXPECT_EQ(app.SnapToOnsets, s.App.SnapToOnsets);
        ASSERT_EQ(1u, reread.GetSections().size());
        // The recording's two keys only where they differ from the defaults.
        const size_t extra = (app.PreRollSeconds != DefaultPreRollSeconds ? 1u : 0u) + (app.AlignToRecording ? 0u : 1u) +
                             (app.SnapToOnsets ? 0u : 1u);
        EXPECT_EQ(13u + extra, reread.GetSections()[0].lines.size());
        EXPECT_EQ(std::string(KeyRestoreTakes) + (app.RestoreTakes ? "=1" : "=0"),
                  reread.GetSections()[0].lines.back());
    }
}

// A file of the version before the analysis settings: they read as their
// defaults, and the next save puts them after the keys there (a key of
// someone else's included) and before "RestoreTakes", which stays last.
TEST_F(AppSettingsFileTest, OlderFileGetsTheNewKeysBeforeRestoreTakes)
{
    WriteBytes("[AppSetting]\r\nLeft=5\r\nTop=6\r\nTempoInterpCount=2\r\nTimeSigBase=3\r\nTapMethod=0\r\n"
               "MidiIn=Port\r\nOwnKey=kept\r\nRestoreTakes=0\r\n\r\n[Other]\r\nSmoothing=5\r\n");
    IniFile ini(path);
    StoredSettings s = ReadSettings(ini);
    EXPECT_EQ(0, s.App.Smoothing);  // another section's key is not ours
    EXPECT_FALSE(s.App.RepairOnExport);
    EXPECT_FALSE(s.App.HasGraphPlacement());
    EXPECT_FALSE(s.App.RestoreTakes);

    s.App.Smoothing = -1;
    s.App.RepairOnExport = true;
    WriteSettings(ini, s.App, 5, 6, s.TempoInterpCount);
    ini.Save();
    EXPECT_EQ("[AppSetting]\r\nLeft=5\r\nTop=6\r\nTempoInterpCount=2\r\nTimeSigBase=3\r\nTapMethod=0\r\n"
              "MidiIn=Port\r\nOwnKey=kept\r\nSmoothing=-1\r\nRepairOnExport=1\r\nGraphLeft=0\r\nGraphTop=0\r\n"
              "GraphWidth=0\r\nGraphHeight=0\r\nRestoreTakes=0\r\n\r\n[Other]\r\nSmoothing=5\r\n",
              ReadBytes());
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
    ini.Save();
    EXPECT_EQ(name31, ReadSettings(IniFile(path)).App.MidiInName);

    ini.SetValue(SettingsSection, KeyMidiIn, name31 + "overflow");
    EXPECT_EQ(name31, ReadSettings(ini).App.MidiInName);
}

}  // namespace
