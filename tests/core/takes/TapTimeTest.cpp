// The one tap-time reader, and every reader that uses it (take files,
// sessions' tap times and counts) accepting exactly what take files have
// always accepted.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Session.h"
#include "TakeFile.h"
#include "TapTime.h"

namespace {

// The rule take files have always been read by: digits only, at most 18 of
// them, and a value up to 4294967295.
bool TakeFileRule(const std::string& word, uint32_t& value)
{
    if (word.empty() || word.size() > 18)
        return false;
    for (char c : word)
        if (c < '0' || c > '9')
            return false;
    const long long number = std::stoll(word);
    if (number > 4294967295LL)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

// The words whose reading once differed between the readers, and their
// neighbours.
const char* const kEdgeWords[] = {
    "0", "00", "1", "500", "4294967295", "4294967296", "9999999999", "1000000000",
    "0000000000", "00000000000", "00000000001", "04294967295", "004294967296",
    "000000000000000001", "0000000000000000001", "999999999999999999", "18446744073709551616",
    "+1", "-1", "-0", "1 ", " 1", "1\t", "\t1", "", " ", "1.0", "1e3", "0x10", "12a", ("\xEF\xBB\xBF" "1"),
};

TEST(TapTime, EdgeCasesReadAsTakeFilesAlwaysHave)
{
    for (const char* text : kEdgeWords) {
        const std::string word = text;
        SCOPED_TRACE("'" + word + "'");
        uint32_t expected = 7;
        const bool ok = TakeFileRule(word, expected);
        uint32_t value = 7;
        ASSERT_EQ(ok, ParseTapTime(word, value));
        EXPECT_EQ(ok ? expected : 7u, value);  // untouched when refused
    }
    uint32_t value = 0;
    EXPECT_TRUE(ParseTapTime("4294967295", value));
    EXPECT_EQ(4294967295u, value);
    EXPECT_FALSE(ParseTapTime("4294967296", value));
    EXPECT_TRUE(ParseTapTime("000000000000000042", value));
    EXPECT_EQ(42u, value);
}

// A session's tap line and its take count take what a take file takes;
// words without blanks, which a take file would split.
TEST(TapTime, SessionsReadTapTimesAndCountsAsTakeFilesDo)
{
    std::vector<std::string> words(std::begin(kEdgeWords), std::end(kEdgeWords));
    std::mt19937 random(31);
    const char alphabet[] = "00000123456789+-x";
    for (int i = 0; i < 400; ++i) {
        std::string word;
        for (size_t n = 1 + random() % 21; n > 0; --n)
            word += alphabet[random() % (sizeof alphabet - 1)];
        words.push_back(word);
    }
    for (const std::string& word : words) {
        if (word.empty() || word.find_first_of(" \t\r\n\f\v") != std::string::npos)
            continue;
        SCOPED_TRACE("'" + word + "'");
        uint32_t expected = 0;
        const bool ok = TakeFileRule(word, expected);

        std::vector<SessionTake> takes;
        TakeFileError error;
        // A second time of 0 repeats the first: the same beat, dropped (and
        // a session's take of one beat with it).
        ASSERT_EQ(ok, ReadTakeFileBytes("0\n" + word + "\n", takes, error)) << error.Message;
        if (ok) {
            EXPECT_EQ(expected == 0 ? Take{0} : (Take{0, expected}), takes[0].Taps);
        }

        const std::string session = "Metrova takes 1\ntake 2026-12-07T14:30:05 2\n0\n" + word + "\nend\n";
        ASSERT_EQ(ok, ReadSession(session, takes, error)) << error.Message;
        if (ok && expected == 0) {
            EXPECT_TRUE(takes.empty());
        } else if (ok) {
            EXPECT_EQ((Take{0, expected}), takes[0].Taps);
        } else {
            EXPECT_EQ(TakeFileProblem::BadSessionLine, error.Problem);
        }

        // As a take count: accepted when it reads as 2 (a count of 2 taps
        // follows); any other number asks for more or fewer taps.
        const std::string counted = "Metrova takes 1\ntake 2026-12-07T14:30:05 " + word + "\n0\n1\nend\n";
        EXPECT_EQ(ok && expected == 2, ReadSession(counted, takes, error)) << error.Message;
    }
}

}  // namespace
