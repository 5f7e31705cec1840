#include <gtest/gtest.h>

#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "FileReplace.h"

namespace {

namespace fs = std::filesystem;

class FileReplaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = MakeTempFolder("metrova-replace-");
        target = (dir / "out.bin").string();
    }
    void TearDown() override
    {
        SetFileWriteFailureForTesting(-1);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    static void WriteBytes(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ReadBytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static bool Write(const std::string& path, const std::string& bytes)
    {
        return WriteFileReplacing(path, bytes.data(), bytes.size());
    }
    size_t EntriesInDir() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    fs::path dir;
    std::string target;
};

TEST_F(FileReplaceTest, WritesExactBytesAndReplacesLongerAndShorterFiles)
{
    // Bytes a text-mode stream would change.
    static const char bytes[] = "a\r\nb\nc\rd\0e\x1A" "f";
    const std::string binary(bytes, sizeof bytes - 1);
    EXPECT_TRUE(Write(target, binary));
    EXPECT_EQ(binary, ReadBytes(target));

    EXPECT_TRUE(Write(target, "a longer replacement"));
    EXPECT_EQ("a longer replacement", ReadBytes(target));
    EXPECT_TRUE(Write(target, "short"));
    EXPECT_EQ("short", ReadBytes(target));
    EXPECT_TRUE(WriteFileReplacing(target, nullptr, 0));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(0u, fs::file_size(target));
    EXPECT_EQ(1u, EntriesInDir());
}

TEST_F(FileReplaceTest, FailedWriteKeepsThePreviousFileAndCleansUp)
{
    static const char bytes[] = "old\r\ncontent\0\xFF";
    const std::string previous(bytes, sizeof bytes - 1);
    WriteBytes(target, previous);
    const std::string next(1000, 'n');
    for (int failAfter : {0, 1, 999}) {
        SCOPED_TRACE(failAfter);
        SetFileWriteFailureForTesting(failAfter);
        EXPECT_FALSE(Write(target, next));
        EXPECT_EQ(previous, ReadBytes(target));
        EXPECT_FALSE(fs::exists(TemporaryPathFor(target)));
        EXPECT_EQ(1u, EntriesInDir());
    }
    // Room for exactly the content is enough.
    SetFileWriteFailureForTesting(1000);
    EXPECT_TRUE(Write(target, next));
    EXPECT_EQ(next, ReadBytes(target));
}

TEST_F(FileReplaceTest, FailedWriteCreatesNoFileWhereNoneWas)
{
    SetFileWriteFailureForTesting(2);
    EXPECT_FALSE(Write(target, "content"));
    EXPECT_EQ(0u, EntriesInDir());
}

TEST_F(FileReplaceTest, MissingFolderFailsWithoutCreatingAnything)
{
    const fs::path missing = dir / "missing";
    EXPECT_FALSE(Write((missing / "out.bin").string(), "content"));
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(0u, EntriesInDir());
    EXPECT_FALSE(Write("", "content"));
}

TEST_F(FileReplaceTest, FailedRenameRemovesTheTemporaryFile)
{
    // A folder in the target's place cannot be replaced by a file.
    fs::create_directory(target);
    WriteBytes((fs::path(target) / "inside").string(), "keep");
    EXPECT_FALSE(Write(target, "content"));
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ("keep", ReadBytes((fs::path(target) / "inside").string()));
    EXPECT_EQ(1u, EntriesInDir());
}

TEST_F(FileReplaceTest, FilesAtLikelyTemporaryNamesAreNeverTouched)
{
    // The user's own "out.bin.tmp", and files (one read-only) at the first
    // names the writer would pick: each is skipped, none is truncated,
    // reused or deleted, also when the write fails.
    const std::string users = target + ".tmp";
    const std::string first = TemporaryPathFor(target, 0);
    const std::string second = TemporaryPathFor(target, 1);
    ASSERT_NE(first, second);
    ASSERT_EQ(dir, fs::path(first).parent_path());
    WriteBytes(users, "the user's file");
    WriteBytes(first, "someone else's file");
    WriteBytes(second, "read-only");
    fs::permissions(second, fs::perms::owner_read, fs::perm_options::replace);
    WriteBytes(target, "old");

    SetFileWriteFailureForTesting(1);
    unsigned long error = 0;
    EXPECT_FALSE(WriteFileReplacing(target, "new", 3, &error));
    EXPECT_NE(0u, error);
    EXPECT_EQ("old", ReadBytes(target));
    SetFileWriteFailureForTesting(-1);
    EXPECT_TRUE(Write(target, "new"));
    EXPECT_EQ("new", ReadBytes(target));

    EXPECT_EQ("the user's file", ReadBytes(users));
    EXPECT_EQ("someone else's file", ReadBytes(first));
    EXPECT_EQ("read-only", ReadBytes(second));
    EXPECT_EQ(4u, EntriesInDir());
    fs::permissions(second, fs::perms::owner_all, fs::perm_options::replace);
}

TEST_F(FileReplaceTest, TargetOf259CharactersIsReplaced)
{
    // The longest path a save dialog returns: 259 characters and the
    // terminator. The temporary name beside it is longer still.
    fs::path folder = dir;
    const std::string start = fs::absolute(dir).string();
    ASSERT_LT(start.size(), 200u);
    folder /= std::string(250 - start.size() - 1, 'f');
    fs::create_directories(folder);
    const std::string longTarget = (folder / "12345678").string();
    ASSERT_EQ(259u, longTarget.size());
    ASSERT_GT(TemporaryPathFor(longTarget).size(), 259u);

    EXPECT_TRUE(Write(longTarget, "first"));
    EXPECT_EQ("first", ReadBytes(longTarget));
    EXPECT_TRUE(Write(longTarget, "second"));
    EXPECT_EQ("second", ReadBytes(longTarget));
    SetFileWriteFailureForTesting(2);
    EXPECT_FALSE(Write(longTarget, "third"));
    EXPECT_EQ("second", ReadBytes(longTarget));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace
