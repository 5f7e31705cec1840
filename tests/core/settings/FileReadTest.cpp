// The one whole-file reader: every size around its limit and across its
// read blocks, and each way a name can fail to be a readable file.
#include <gtest/gtest.h>

#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "FileRead.h"

namespace {

namespace fs = std::filesystem;

class FileReadTest : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempFolder("metrova-read-"); }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string PathOf(const char* name) const { return (dir / name).string(); }

    fs::path dir;
};

TEST_F(FileReadTest, ReadsExactlyTheFileUpToItsLimitAndNothingBeyond)
{
    std::mt19937 random(20261208);
    // Limits on and beside the reader's block size, where an off-by-one in
    // the running count would show.
    for (const size_t limit : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{200003}}) {
        for (const size_t size : {size_t{0}, limit == 0 ? 0 : limit - 1, limit, limit + 1, limit * 2 + 7}) {
            std::string bytes(size, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            const std::string path = PathOf("file.bin");
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

            std::string content = "left over";
            unsigned long error = 12345;
            const FileReadResult result = ReadWholeFile(path, content, limit, &error);
            if (size <= limit) {
                ASSERT_EQ(FileReadResult::Read, result) << size << " of " << limit;
                EXPECT_EQ(0ul, error);
                EXPECT_TRUE(content == bytes) << size << " of " << limit;
            } else {
                ASSERT_EQ(FileReadResult::TooLarge, result) << size << " of " << limit;
                EXPECT_NE(0ul, error);
                EXPECT_TRUE(content.empty());
            }
        }
    }
}

TEST_F(FileReadTest, NamesThatAreNoReadableFileAreToldApart)
{
    std::string content = "left over";
    EXPECT_EQ(FileReadResult::Missing, ReadWholeFile(PathOf("none.txt"), content, 100));
    EXPECT_TRUE(content.empty());
    EXPECT_EQ(FileReadResult::Missing, ReadWholeFile(PathOf("no folder/none.txt"), content, 100));
    EXPECT_EQ(FileReadResult::Missing, ReadWholeFile(std::string(), content, 100));

    // A folder named as a file is there but is no file.
    content = "left over";
    unsigned long error = 0;
    EXPECT_EQ(FileReadResult::Failed, ReadWholeFile(dir.string(), content, 100, &error));
    EXPECT_NE(0ul, error);
    EXPECT_TRUE(content.empty());

    // The reason the user is told: a folder, with or without its slash, and
    // nothing else.
    EXPECT_TRUE(IsFolder(dir.string()));
    EXPECT_TRUE(IsFolder(dir.string() + "/"));
    std::ofstream(PathOf("file.txt")) << "0 500\n";
    EXPECT_FALSE(IsFolder(PathOf("file.txt")));
    EXPECT_FALSE(IsFolder(PathOf("none")));
    EXPECT_FALSE(IsFolder(std::string()));

#ifndef _WIN32
    // A device without end is refused at the limit, not read for ever.
    EXPECT_EQ(FileReadResult::TooLarge, ReadWholeFile("/dev/zero", content, 1 << 20));
    EXPECT_TRUE(content.empty());
#endif
}

}  // namespace
