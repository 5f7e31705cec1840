#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "Session.h"
#include "TakeFile.h"

namespace {

std::vector<SessionTake> RandomTakes(std::mt19937& random)
{
    std::vector<SessionTake> takes(random() % 5);
    for (SessionTake& take : takes) {
        ListedTime t;
        t.Year = 1601 + static_cast<int>(random() % 8399);
        t.Month = 1 + static_cast<int>(random() % 12);
        t.Day = 1 + static_cast<int>(random() % 28);
        t.Hour = static_cast<int>(random() % 24);
        t.Minute = static_cast<int>(random() % 60);
        t.Second = static_cast<int>(random() % 60);
        take.ListedAt = FormatListedTime(t);
        take.Taps.push_back(0);
        const size_t taps = 1 + random() % 40;
        for (size_t i = 0; i < taps; ++i) {
            // Small steps, and now and then the extremes of 32 bits.
            const uint32_t pick = static_cast<uint32_t>(random() % 10);
            take.Taps.push_back(pick == 0 ? UINT32_MAX : pick == 1 ? 0u : static_cast<uint32_t>(random()));
        }
    }
    return takes;
}

bool SameTakes(const std::vector<SessionTake>& a, const std::vector<SessionTake>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].ListedAt != b[i].ListedAt || a[i].Taps != b[i].Taps)
            return false;
    }
    return true;
}

TEST(Session, WrittenSessionsReadBackExactlyAndEveryCutOffIsRefused)
{
    std::mt19937 random(13);
    for (int round = 0; round < 200; ++round) {
        const std::vector<SessionTake> takes = RandomTakes(random);
        const std::string text = FormatSession(takes);
        std::vector<SessionTake> read;
        TakeFileError error;
        ASSERT_TRUE(ReadSession(text, read, error)) << error.Message << "\n" << text;
        ASSERT_TRUE(SameTakes(takes, read));
        // The opener recognises it by its first line and reads the same.
        TakeFileKind kind = TakeFileKind::TapTimes;
        ASSERT_TRUE(ReadTakeFileBytes(text, read, error, &kind));
        EXPECT_EQ(TakeFileKind::Session, kind);
        ASSERT_TRUE(SameTakes(takes, read));
        // LF alone reads the same as CR LF.
        std::string unix;
        for (char c : text)
            if (c != '\r')
                unix += c;
        ASSERT_TRUE(ReadSession(unix, read, error));
        ASSERT_TRUE(SameTakes(takes, read));

        // A file cut anywhere before its "end" line is whole is refused and
        // yields no take; "end" without its line end is still whole.
        const size_t whole = text.size() - 2;
        for (size_t cut = 0; cut < whole; cut += 1 + random() % 7) {
            read.assign(1, SessionTake());
            EXPECT_FALSE(ReadSession(std::string_view(text).substr(0, cut), read, error)) << cut;
            EXPECT_TRUE(read.empty());
            EXPECT_NE(TakeFileProblem::None, error.Problem);
            EXPECT_GE(error.Line, 1u);
        }
        EXPECT_TRUE(ReadSession(std::string_view(text).substr(0, whole), read, error));
    }
}

TEST(Session, FormatIsTheDocumentedOne)
{
    SessionTake a{"2026-12-07T14:30:05", {0, 500, 1000}, true, {}};
    SessionTake b{"2026-02-28T00:00:59", {0, 4294967295u}, true, {}};
    EXPECT_EQ("Metrova takes 1\r\n"
              "take 2026-12-07T14:30:05 3\r\n0\r\n500\r\n1000\r\n"
              "take 2026-02-28T00:00:59 2\r\n0\r\n4294967295\r\n"
              "end\r\n",
              FormatSession({a, b}));
    EXPECT_EQ("Metrova takes 1\r\nend\r\n", FormatSession(std::vector<SessionTake>()));
}

TEST(Session, UnknownFieldsAreSkippedAndTapsMadeRelative)
{
    std::vector<SessionTake> read;
    TakeFileError error;
    ASSERT_TRUE(ReadSession("Metrova takes 1\ntake 2026-12-07T14:30:05 3 checked=0 repaired=1\n100\n600\n1100\n"
                            "end\n\n\r\n",
                            read, error))
        << error.Message;
    ASSERT_EQ(1u, read.size());
    EXPECT_EQ((Take{0, 500, 1000}), read[0].Taps);
}

// Each bad file with the line that has to be named.
TEST(Session, DamagedSessionsNameTheirLine)
{
    const struct {
        const char* text;
        TakeFileProblem problem;
        size_t line;
    } cases[] = {
        {"Metrova takes 2\nend\n", TakeFileProblem::NewerSession, 1},
        {"Metrova takes x\nend\n", TakeFileProblem::BadSessionLine, 1},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05 2\n0\n", TakeFileProblem::SessionCutOff, 4},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05 2\n0\n5o0\nend\n", TakeFileProblem::BadSessionLine, 4},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05 2\n0\n4294967296\nend\n", TakeFileProblem::BadSessionLine, 4},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05 1\n0\nend\n", TakeFileProblem::BadSessionLine, 2},
        {"Metrova takes 1\ntake 2026-02-29T14:30:05 2\n0\n1\nend\n", TakeFileProblem::BadSessionLine, 2},
        {"Metrova takes 1\ntake 2026-12-07 14:30:05 2\n0\n1\nend\n", TakeFileProblem::BadSessionLine, 2},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05 2 Checked=0\n0\n1\nend\n", TakeFileProblem::BadSessionLine, 2},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05  2\n0\n1\nend\n", TakeFileProblem::BadSessionLine, 2},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05 3\n0\n1\nend\n", TakeFileProblem::BadSessionLine, 5},
        {"Metrova takes 1\nend\ntake\n", TakeFileProblem::BadSessionLine, 3},
        {"Metrova takes 1\n", TakeFileProblem::SessionCutOff, 2},
        {"Metrova takes 1\ntake 2026-12-07T14:30:05 99999999\n0\n", TakeFileProblem::SessionCutOff, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<SessionTake> read;
        TakeFileError error;
        EXPECT_FALSE(ReadSession(c.text, read, error));
        EXPECT_EQ(c.problem, error.Problem);
        EXPECT_EQ(c.line, error.Line);
        EXPECT_EQ(0u, error.Message.find("line " + std::to_string(c.line) + ": ")) << error.Message;
    }
}

// The take file reader of metrova-cli as it has always read them.
bool ReferenceTapTimes(const std::string& bytes, Take& take, std::string& error)
{
    std::string word;
    int line = 1;
    auto flush = [&]() {
        if (word.empty())
            return true;
        bool digits = !word.empty() && word.size() <= 18;
        for (char c : word)
            digits = digits && c >= '0' && c <= '9';
        if (!digits || std::stoll(word) > 4294967295LL) {
            error = "line " + std::to_string(line) + ": '" + word +
                    "' is not a tap time (milliseconds, 0 to 4294967295)";
            return false;
        }
        take.push_back(static_cast<uint32_t>(std::stoll(word)));
        word.clear();
        return true;
    };
    for (unsigned char byte : bytes) {
        if (byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\f' || byte == '\v') {
            if (!flush())
                return false;
            if (byte == '\n')
                ++line;
        } else {
            word += static_cast<char>(byte);
        }
    }
    return flush();
}

TEST(TakeFile, TakeFilesReadAsTheyAlwaysHave)
{
    std::mt19937 random(7);
    const char alphabet[] = "0123456789999      \t\r\n\n\f\vx-+";
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const size_t length = random() % 60;
        for (size_t i = 0; i < length; ++i)
            bytes += alphabet[random() % (sizeof alphabet - 1)];
        if (round % 50 == 0)
            bytes += "4294967296";
        Take expected;
        std::string expectedError;
        const bool expectedOk = ReferenceTapTimes(bytes, expected, expectedError);
        NormalizeTake(expected);

        std::vector<SessionTake> read;
        TakeFileError error;
        TakeFileKind kind = TakeFileKind::Session;
        ASSERT_EQ(expectedOk, ReadTakeFileBytes(bytes, read, error, &kind)) << bytes;
        EXPECT_EQ(TakeFileKind::TapTimes, kind);
        if (expectedOk) {
            ASSERT_EQ(1u, read.size());
            EXPECT_EQ(expected, read[0].Taps);
            EXPECT_TRUE(read[0].ListedAt.empty());
        } else {
            EXPECT_TRUE(read.empty());
            EXPECT_EQ(expectedError, error.Message);
        }
    }
}

TEST(TakeFile, BeatAndLabelListsBecomeTakesInRoundedMilliseconds)
{
    const struct {
        const char* text;
        Take taps;
    } cases[] = {
        // Labels of an audio editor: start, end, text.
        {"0.500000\t0.500000\tBeat 1\r\n1.000000\t1.000000\t2\r\n1.499500\t1.499500\t\r\n", {0, 500, 1000}},
        // Time instants of an analysis tool, with and without a label.
        {"12.25,1\n12.75,2\n13.2505\n\n  13.7504 bar\n", {0, 500, 1001, 1500}},
        {"\xEF\xBB\xBF" "0.0005\n.001\n2.\n", {0, 0, 1999}},
        {"4294967.295\n4294967.295\n", {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<SessionTake> read;
        TakeFileError error;
        TakeFileKind kind = TakeFileKind::Session;
        ASSERT_TRUE(ReadTakeFileBytes(c.text, read, error, &kind)) << error.Message;
        EXPECT_EQ(TakeFileKind::BeatList, kind);
        ASSERT_EQ(1u, read.size());
        EXPECT_EQ(c.taps, read[0].Taps);
    }

    const struct {
        const char* text;
        TakeFileProblem problem;
        size_t line;
    } bad[] = {
        {"0.5\n1.0\nbeat\n", TakeFileProblem::BadBeatTime, 3},
        {"0.5\n\n1\n", TakeFileProblem::BadBeatTime, 3},
        {"0.5\n1.0x\n", TakeFileProblem::BadBeatTime, 2},
        {"0.5\n-1.0\n", TakeFileProblem::BadBeatTime, 2},
        {"0.5\n1e3\n", TakeFileProblem::BadBeatTime, 2},
        {"0.5\n.\n", TakeFileProblem::BadBeatTime, 2},
        {"0.5\n4294967.2955\n", TakeFileProblem::BadBeatTime, 2},
        {"0.5\n0.4\n", TakeFileProblem::BeatGoesBack, 2},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.text);
        std::vector<SessionTake> read;
        TakeFileError error;
        EXPECT_FALSE(ReadTakeFileBytes(c.text, read, error));
        EXPECT_TRUE(read.empty());
        EXPECT_EQ(c.problem, error.Problem);
        EXPECT_EQ(c.line, error.Line);
        EXPECT_EQ(0u, error.Message.find("line " + std::to_string(c.line) + ": ")) << error.Message;
    }
}

}  // namespace
