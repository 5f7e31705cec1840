// The take-file reader: tap-time files read as they always have been, and
// beat and label lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TakeFile.h"

namespace {

// The take file reader of metrova-cli as it has always read them, with the
// rule for times out of order: a repeated time is the same beat and
// dropped, an earlier one (measured from the first, across a wrap of the
// clock) refuses the file.
bool ReferenceTapTimes(const std::string& bytes, Take& take, std::string& error, size_t& repeats)
{
    std::string word;
    int line = 1;
    repeats = 0;
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
        const uint32_t time = static_cast<uint32_t>(std::stoll(word));
        if (!take.empty()) {
            const uint64_t last = static_cast<uint32_t>(take.back() - take.front());
            const uint64_t next = static_cast<uint32_t>(time - take.front());
            if (next < last) {
                error = "line " + std::to_string(line) + ": the tap time " + word + " lies before the one above it";
                return false;
            }
            if (next == last) {
                ++repeats;
                word.clear();
                return true;
            }
        }
        take.push_back(time);
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
        // Now and then a run of times that keeps order, so that reads that
        // succeed are not only the short ones.
        if (round % 3 == 0) {
            bytes.clear();
            uint32_t time = static_cast<uint32_t>(random());
            for (size_t n = random() % 30; n > 0; --n) {
                time += static_cast<uint32_t>(random() % 4 == 0 ? 0 : random() % 2000);
                bytes += std::to_string(time) + (random() % 2 ? " " : "\r\n");
            }
        }
        Take expected;
        std::string expectedError;
        size_t expectedRepeats = 0;
        const bool expectedOk = ReferenceTapTimes(bytes, expected, expectedError, expectedRepeats);
        NormalizeTake(expected);

        std::vector<SessionTake> read;
        TakeFileError error;
        TakeFileKind kind = TakeFileKind::Session;
        size_t repeats = 99;
        ASSERT_EQ(expectedOk, ReadTakeFileBytes(bytes, read, error, &kind, &repeats)) << bytes;
        EXPECT_EQ(TakeFileKind::TapTimes, kind);
        EXPECT_EQ(expectedOk ? expectedRepeats : 0, repeats);
        if (expectedOk) {
            ASSERT_EQ(1u, read.size());
            EXPECT_EQ(expected, read[0].Taps);
            for (size_t i = 1; i < read[0].Taps.size(); ++i)
                ASSERT_LT(read[0].Taps[i - 1], read[0].Taps[i]);
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
        // Times within one millisecond are one beat.
        {"\xEF\xBB\xBF" "0.0005\n.001\n2.\n", {0, 1999}},
        {"4294967.295\n4294967.295\n", {0}},
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

// A line of every kind of file up to its limit reads as before; one byte
// more and the file is refused by that line's number. The long line is
// made of what its kind allows there (a skipped field, a label, blanks after
// a tap time), so only its length can be the reason.
TEST(TakeFile, LinesUpToTheirKindsLimitAreReadAndLongerOnesRefusedByNumber)
{
    const struct {
        size_t limit;
        TakeFileKind kind;
        const char* before;  // the lines before the long one
        const char* start;   // the long line's start, filled up with `fill`
        char fill;
        const char* after;
        size_t line;
    } kinds[] = {
        {MaxSessionLineLength, TakeFileKind::Session, "Metrova takes 1\ntake 2026-12-07T14:30:05 2\n0\n500\n",
         "take 2026-12-07T14:30:05 2 x=", 'a', "0\n500\nend\n", 5},
        {MaxBeatListLineLength, TakeFileKind::BeatList, "0.5\n1.0\n", "1.5,", 'b', "2.0\n", 3},
        {MaxTapTimesLineLength, TakeFileKind::TapTimes, "0\n500\n", "1000", ' ', "1500\n", 3},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.start);
        auto file = [&](size_t length) {
            std::string line = k.start;
            line.resize(length, k.fill);
            return k.before + line + "\n" + k.after;
        };
        std::vector<SessionTake> read;
        TakeFileError error;
        TakeFileKind kind = TakeFileKind::Session;
        ASSERT_TRUE(ReadTakeFileBytes(file(k.limit), read, error, &kind)) << error.Message;
        EXPECT_EQ(k.kind, kind);
        // The session's two takes of two taps, the others' one of four.
        const bool session = k.kind == TakeFileKind::Session;
        ASSERT_EQ(session ? 2u : 1u, read.size());
        EXPECT_EQ(session ? 2u : 4u, read.back().Taps.size());

        EXPECT_FALSE(ReadTakeFileBytes(file(k.limit + 1), read, error, &kind));
        EXPECT_EQ(k.kind, kind);
        EXPECT_TRUE(read.empty());
        EXPECT_EQ(TakeFileProblem::LineTooLong, error.Problem);
        EXPECT_EQ(k.line, error.Line);
        EXPECT_EQ(0u, error.Message.find("line " + std::to_string(k.line) + ": ")) << error.Message;
        // The excerpt is that line's start.
        EXPECT_EQ(k.start + std::string(40 - std::strlen(k.start), k.fill), error.Excerpt);
    }
}

// A word that can be no tap time is quoted by its start: a file of digits
// without a blank must not come back as a message of its own size.
TEST(TakeFile, AnEndlessWordIsQuotedByItsStart)
{
    const std::string word(1000000, '7');
    for (const std::string& bytes : {word, "0 500\n" + word + " 1000\n"}) {
        std::vector<SessionTake> read;
        TakeFileError error;
        EXPECT_FALSE(ReadTakeFileBytes(bytes, read, error));
        EXPECT_EQ(TakeFileProblem::BadTapTime, error.Problem);
        EXPECT_EQ(bytes == word ? 1u : 2u, error.Line);
        EXPECT_LT(error.Message.size(), 200u) << error.Message.substr(0, 200);
        EXPECT_NE(std::string::npos, error.Message.find("'" + word.substr(0, 20))) << error.Message;
    }
}

}  // namespace
