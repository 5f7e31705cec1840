// Settings files no editor would write: NUL bytes, a megabyte-long line,
// tens of thousands of sections. They load, answer lookups and save back
// unchanged.
#include <gtest/gtest.h>

#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "IniFile.h"

namespace {

namespace fs = std::filesystem;

class HostileIni : public ::testing::Test {
protected:
    void SetUp() override { path = (dir / "hostile.ini").string(); }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // Writes `bytes`, loads them, saves and returns what the file then holds.
    std::string LoadAndSave(const std::string& bytes, IniFile& ini) const
    {
        std::ofstream(path, std::ios::binary) << bytes;
        EXPECT_TRUE(ini.Load(path));
        ini.Save();
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir = MakeTempFolder("metrova-hostile-ini-");
    std::string path;
};

TEST_F(HostileIni, NulBytesAreOrdinaryBytes)
{
    const std::string bytes("[A\0B]\r\nk\0=v\0w\r\n\0\r\n", 18);
    IniFile ini;
    EXPECT_EQ(bytes, LoadAndSave(bytes, ini));
    EXPECT_EQ(std::string("v\0w", 3), ini.GetString(std::string("a\0b", 3), std::string("K\0", 2), ""));
    EXPECT_EQ("none", ini.GetString("A", "k", "none"));
}

TEST_F(HostileIni, MegabyteLineAndManySections)
{
    // As Save writes it: a blank line between sections.
    std::string bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n\r\n";
    const std::string value(1 << 20, 'v');
    bytes += "[Last]\r\nlong=" + value + "\r\n";
    IniFile ini;
    EXPECT_EQ(bytes, LoadAndSave(bytes, ini));
    EXPECT_EQ("19999", ini.GetString("s19999", "K", ""));
    EXPECT_EQ(value, ini.GetString("last", "long", ""));
}

}  // namespace
