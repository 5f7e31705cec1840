#include <gtest/gtest.h>

#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FileReplace.h"
#include "IniFile.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = MakeTempFolder("metrova-ini-");
    }
    void TearDown() override
    {
        SetFileWriteFailureForTesting(-1);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string PathOf(const char* name) const { return (dir / name).string(); }
    void WriteBytes(const std::string& path, const std::string& bytes) const
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string ReadBytes(const std::string& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Loads `bytes` as the content of a settings file.
    IniFile LoadBytes(const std::string& bytes) const
    {
        const std::string path = PathOf("in.ini");
        WriteBytes(path, bytes);
        IniFile ini;
        EXPECT_TRUE(ini.Load(path));
        return ini;
    }

    fs::path dir;
};

TEST_F(IniFileTest, CommentsBlankLinesAndUnterminatedLastLine)
{
    const IniFile ini = LoadBytes("[AppSetting]\r\nLeft=10\r\n;Top=1\r\n\r\nTop=20");
    ASSERT_EQ(1u, ini.GetSections().size());
    EXPECT_EQ("AppSetting", ini.GetSections()[0].name);
    EXPECT_EQ((Lines{"Left=10", "Top=20"}), ini.GetSections()[0].lines);
}

TEST_F(IniFileTest, LinesBeforeFirstHeaderAreDroppedAndNotSavedAgain)
{
    IniFile ini = LoadBytes("stray=1\r\n[A]\r\nx=1\r\n");
    EXPECT_EQ((Lines{"x=1"}), ini.GetSections()[0].lines);
    ini.Save();
    EXPECT_EQ("[A]\r\nx=1\r\n", ReadBytes(PathOf("in.ini")));

    // A byte-order mark makes the first header an ordinary line.
    const IniFile bom = LoadBytes("\xEF\xBB\xBF[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
    ASSERT_EQ(1u, bom.GetSections().size());
    EXPECT_EQ("B", bom.GetSections()[0].name);
}

TEST_F(IniFileTest, LineEnds)
{
    // LF alone ends a line, CR LF is one line end, a lone CR is text.
    const IniFile ini = LoadBytes("[S]\nA=1\r\nB=2\rC\nD=\r\r\nE=5\r");
    EXPECT_EQ((Lines{"A=1", "B=2\rC", "D=\r", "E=5\r"}), ini.GetSections()[0].lines);
    // A header followed by a lone CR is not a header.
    EXPECT_TRUE(LoadBytes("[S]\r\r\nx=1\r\n").GetSections().empty());
}

TEST_F(IniFileTest, HeadersAndCommentsAreRecognisedOnlyAtTheFirstByte)
{
    const IniFile ini = LoadBytes("[]\r\n[\r\n ;x=1\r\n [B]\r\nLeft = 5\r\n");
    ASSERT_EQ(1u, ini.GetSections().size());
    EXPECT_EQ("", ini.GetSections()[0].name);
    EXPECT_EQ((Lines{"[", " ;x=1", " [B]", "Left = 5"}), ini.GetSections()[0].lines);
    std::string value;
    EXPECT_FALSE(ini.GetValue("", "Left", value));  // the key is "Left "
    EXPECT_TRUE(ini.GetValue("", "Left ", value));
    EXPECT_EQ(" 5", value);
}

TEST_F(IniFileTest, ValueIsEverythingAfterTheFirstEquals)
{
    const IniFile ini = LoadBytes("[S]\r\nKey=a=b\r\nEmpty=\r\nNoEquals\r\n");
    std::string value;
    EXPECT_TRUE(ini.GetValue("S", "Key", value));
    EXPECT_EQ("a=b", value);
    EXPECT_TRUE(ini.GetValue("S", "Empty", value));
    EXPECT_EQ("", value);
    EXPECT_FALSE(ini.GetValue("S", "NoEquals", value));
    EXPECT_EQ("fallback", ini.GetString("S", "NoEquals", "fallback"));
    EXPECT_EQ("fallback", ini.GetString("Missing", "Key", "fallback"));
}

TEST_F(IniFileTest, NamesFoldOnlyAsciiLetters)
{
    IniFile ini = LoadBytes("[appSETTING]\r\nleft=5\r\n\xC4=upper\r\n");
    EXPECT_EQ("5", ini.GetString("AppSetting", "LEFT", ""));
    // Latin-1 \xC4 and \xE4 would fold under a locale's tolower.
    EXPECT_EQ("none", ini.GetString("AppSetting", "\xE4", "none"));

    ini.SetValue("APPSETTING", "Left", "7");
    EXPECT_EQ((Lines{"Left=7", "\xC4=upper"}), ini.GetSections()[0].lines);
    EXPECT_EQ("appSETTING", ini.GetSections()[0].name);
}

TEST_F(IniFileTest, FirstMatchingSectionAndLineWin)
{
    IniFile ini = LoadBytes("[AppSetting]\r\nk=1\r\nk=2\r\n[appsetting]\r\nk=3\r\nonly=4\r\n");
    EXPECT_EQ("1", ini.GetString("AppSetting", "k", ""));
    EXPECT_EQ("", ini.GetString("AppSetting", "only", ""));

    ini.SetValue("appsetting", "k", "9");
    EXPECT_EQ((Lines{"k=9", "k=2"}), ini.GetSections()[0].lines);
    EXPECT_TRUE(ini.DeleteKey("APPSETTING", "K"));
    EXPECT_EQ((Lines{"k=2"}), ini.GetSections()[0].lines);
    EXPECT_EQ((Lines{"k=3", "only=4"}), ini.GetSections()[1].lines);

    ini.Save();
    EXPECT_EQ("[AppSetting]\r\nk=2\r\n\r\n[appsetting]\r\nk=3\r\nonly=4\r\n", ReadBytes(ini.GetPath()));
}

TEST_F(IniFileTest, DeleteKeyReportsWhetherALineWent)
{
    IniFile ini = LoadBytes("[S]\r\na=1\r\nb\r\nc=3\r\n");
    EXPECT_FALSE(ini.DeleteKey("T", "a"));
    EXPECT_FALSE(ini.DeleteKey("S", "b"));  // a line without "=" has no key
    EXPECT_TRUE(ini.DeleteKey("S", "a"));
    EXPECT_FALSE(ini.DeleteKey("S", "a"));
    EXPECT_EQ((Lines{"b", "c=3"}), ini.GetSections()[0].lines);
}

TEST_F(IniFileTest, SavedBytes)
{
    IniFile ini;
    ASSERT_FALSE(ini.Load(PathOf("new.ini")));
    ini.SetValue("A", "x", "1");
    EXPECT_EQ("[A]\r\nx=1\r\n", ini.Serialize());  // no empty line before the first header
    ini.SetValue("B", "y", "");
    ini.DeleteKey("B", "y");
    ini.Save();
    EXPECT_EQ("[A]\r\nx=1\r\n\r\n[B]\r\n", ReadBytes(PathOf("new.ini")));

    ini.SetValue("C", "z", "3");
    ini.Save();
    EXPECT_EQ("[A]\r\nx=1\r\n\r\n[B]\r\n\r\n[C]\r\nz=3\r\n", ReadBytes(PathOf("new.ini")));
}

TEST_F(IniFileTest, LoadSaveLoadKeepsTheContent)
{
    const std::string original = "[A]\r\nx=1\r\nno equals\r\n\r\n[]\r\n\r\n[a]\r\nlone=\rcr\r\n=v\r\n";
    IniFile first = LoadBytes(original);
    first.Save();
    EXPECT_EQ(original, ReadBytes(first.GetPath()));
    IniFile second(first.GetPath());
    ASSERT_EQ(first.GetSections().size(), second.GetSections().size());
    for (size_t i = 0; i < first.GetSections().size(); ++i) {
        EXPECT_EQ(first.GetSections()[i].name, second.GetSections()[i].name);
        EXPECT_EQ(first.GetSections()[i].lines, second.GetSections()[i].lines);
    }
}

TEST_F(IniFileTest, FailedLoadKeepsTheContent)
{
    IniFile ini = LoadBytes("[A]\r\nx=1\r\n");
    EXPECT_FALSE(ini.Load(PathOf("missing.ini")));
    EXPECT_EQ(PathOf("missing.ini"), ini.GetPath());
    ini.Save();
    EXPECT_EQ("[A]\r\nx=1\r\n", ReadBytes(PathOf("missing.ini")));

    EXPECT_FALSE(ini.Load(dir.string()));  // a folder is no file
    EXPECT_EQ("1", ini.GetString("A", "x", ""));

    EXPECT_TRUE(ini.Load(PathOf("in.ini")));  // a successful load replaces everything
    WriteBytes(PathOf("other.ini"), "[B]\r\n");
    EXPECT_TRUE(ini.Load(PathOf("other.ini")));
    ASSERT_EQ(1u, ini.GetSections().size());
    EXPECT_EQ("B", ini.GetSections()[0].name);
}

TEST_F(IniFileTest, EmptyOrNullPathLeavesNothingToSave)
{
    IniFile ini = LoadBytes("[A]\r\nx=1\r\n");
    EXPECT_FALSE(ini.Load(std::string()));
    EXPECT_EQ("", ini.GetPath());
    EXPECT_EQ("1", ini.GetString("A", "x", ""));
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    ini.Save();
    fs::current_path(cwd);
    EXPECT_EQ(1, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));

    IniFile fromNull(static_cast<const char*>(nullptr));
    EXPECT_EQ("", fromNull.GetPath());
    EXPECT_TRUE(fromNull.GetSections().empty());
}

TEST_F(IniFileTest, FailedSaveKeepsThePreviousFile)
{
    const std::string before = "[A]\r\nx=1\r\n";
    IniFile ini = LoadBytes(before);
    ini.SetValue("A", "x", "a much longer value than before");
    SetFileWriteFailureForTesting(3);
    ini.Save();
    EXPECT_EQ(before, ReadBytes(ini.GetPath()));
    EXPECT_FALSE(fs::exists(TemporaryPathFor(ini.GetPath())));
}

TEST(SettingsFile, StartsEmptyWithoutPath)
{
    EXPECT_EQ("", SettingsFile.GetPath());
    EXPECT_TRUE(SettingsFile.GetSections().empty());
}

}  // namespace
