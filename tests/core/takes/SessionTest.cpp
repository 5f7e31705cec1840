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
        // Now and then the name of the file it came from, any bytes at all.
        if (random() % 3 == 0) {
            for (size_t n = 1 + random() % 30; n > 0; --n)
                take.Source += static_cast<char>(random() % 4 == 0 ? ' ' : random());
        }
        take.Taps.push_back(0);
        const size_t taps = 1 + random() % 40;
        for (size_t i = 0; i < taps && take.Taps.back() < UINT32_MAX; ++i) {
            // Steps of one millisecond to a whole clock, and now and then a
            // jump to the last time 32 bits hold.
            const uint32_t pick = static_cast<uint32_t>(random() % 10);
            const uint32_t room = UINT32_MAX - take.Taps.back();
            const uint32_t step = pick == 0 ? room : pick == 1 ? 1u : 1u + static_cast<uint32_t>(random()) % room;
            take.Taps.push_back(take.Taps.back() + step);
        }
    }
    return takes;
}

bool SameTakes(const std::vector<SessionTake>& a, const std::vector<SessionTake>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].ListedAt != b[i].ListedAt || a[i].Taps != b[i].Taps || a[i].Source != b[i].Source)
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

// A session of takes tapped along a recording names it (version 2) and keeps
// each take's anchor; it reads back exactly, every cut is refused, a damaged
// recording line names its line, and the same takes without a recording are
// written as version 1 byte for byte, with no anchor (a version 1 reader
// reads a version 2 take line as before, relative to its first tap).
TEST(Session, RecordingAndAnchorsRoundTripAndWithoutARecordingNothingChanges)
{
    std::mt19937 random(29);
    for (int round = 0; round < 200; ++round) {
        std::vector<SessionTake> takes = RandomTakes(random);
        for (SessionTake& take : takes)
            take.Anchor = random() % 3 == 0 ? SessionTake::NoAnchor : static_cast<int64_t>(random());
        SessionRecording recording;
        for (size_t n = 1 + random() % 40; n > 0; --n)
            recording.Path += static_cast<char>(random() % 5 == 0 ? ' ' : 1 + random() % 255);
        recording.Size = (static_cast<uint64_t>(random()) << 32) | random();
        recording.Hash = (static_cast<uint64_t>(random()) << 32) | random();
        for (size_t n = random() % 4; n > 0; --n)
            recording.Edits.push_back(BeatEdit{static_cast<int64_t>(random()) * 1000 + static_cast<int64_t>(random() % 1000),
                                               static_cast<int64_t>(random())});
        std::vector<const SessionTake*> pointers;
        for (const SessionTake& take : takes)
            pointers.push_back(&take);

        const std::string text = FormatSession(pointers, &recording);
        ASSERT_EQ(0u, text.rfind("Metrova takes 2\r\nrecording size=", 0)) << text;
        std::vector<SessionTake> read;
        SessionRecording back;
        TakeFileError error;
        ASSERT_TRUE(ReadSession(text, read, back, error)) << error.Message << "\n" << text;
        ASSERT_TRUE(SameTakes(takes, read));
        EXPECT_EQ(recording.Path, back.Path);
        EXPECT_EQ(recording.Size, back.Size);
        EXPECT_EQ(recording.Hash, back.Hash);
        EXPECT_EQ(recording.Edits, back.Edits);
        for (size_t i = 0; i < takes.size(); ++i)
            EXPECT_EQ(takes[i].Anchor, read[i].Anchor);
        for (size_t cut = 0; cut + 2 < text.size(); cut += 1 + random() % 11)
            EXPECT_FALSE(ReadSession(std::string_view(text).substr(0, cut), read, back, error)) << cut;

        // Without the recording: version 1, as before, and no anchors.
        const std::string plain = FormatSession(pointers, nullptr);
        EXPECT_EQ(FormatSession(takes), plain);
        EXPECT_EQ(std::string::npos, plain.find("anchor="));
        EXPECT_EQ(std::string::npos, plain.find("edit "));
        ASSERT_TRUE(ReadSession(plain, read, back, error));
        EXPECT_TRUE(back.Path.empty());
        for (const SessionTake& take : read)
            EXPECT_EQ(SessionTake::NoAnchor, take.Anchor);
    }

    // An anchor in a session that names no recording belongs to nothing.
    std::vector<SessionTake> read;
    SessionRecording back;
    TakeFileError error;
    ASSERT_TRUE(ReadSession("Metrova takes 1\ntake 2026-12-07T14:30:05 2 anchor=500\n0\n500\nend\n", read, back, error));
    ASSERT_EQ(1u, read.size());
    EXPECT_EQ(SessionTake::NoAnchor, read[0].Anchor);
    for (const char* bad : {"recording size=1 hash=1", "recording size=x hash=1 path=a",
                            "recording size=1 hash=12345678901234567 path=a", "recording size=1 size=2 hash=1 path=a",
                            "recording size=1 hash=G path=a"}) {
        const std::string text = std::string("Metrova takes 2\n") + bad + "\nend\n";
        EXPECT_FALSE(ReadSession(text, read, back, error)) << bad;
        EXPECT_EQ(2u, error.Line) << bad;
        EXPECT_EQ(TakeFileProblem::BadSessionLine, error.Problem) << bad;
    }
    // Only on the second line: a recording line among the takes is damage.
    EXPECT_FALSE(ReadSession("Metrova takes 2\nrecording size=1 hash=1 path=a\ntake 2026-12-07T14:30:05 2\n0\n5\n"
                             "recording size=1 hash=1 path=a\nend\n",
                             read, back, error));
    EXPECT_EQ(6u, error.Line);
    EXPECT_TRUE(back.Path.empty());
    EXPECT_FALSE(ReadSession("Metrova takes 3\nend\n", read, back, error));
    EXPECT_EQ(TakeFileProblem::NewerSession, error.Problem);
}

// The recording's identity hash is 64-bit FNV-1a: its published test vectors.
TEST(Session, RecordingHeadHashIsFnv1a)
{
    EXPECT_EQ(0xcbf29ce484222325ull, HashRecordingHead("", 0));
    EXPECT_EQ(0xaf63dc4c8601ec8cull, HashRecordingHead("a", 1));
    EXPECT_EQ(0x85944171f73967e8ull, HashRecordingHead("foobar", 6));
}

TEST(Session, FormatIsTheDocumentedOne)
{
    SessionTake a{"2026-12-07T14:30:05", {0, 500, 1000}, true, {}, {}};
    SessionTake b{"2026-02-28T00:00:59", {0, 4294967295u}, true, {}, {}};
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
        {"Metrova takes 3\nend\n", TakeFileProblem::NewerSession, 1},
        {"Metrova takes 2\nend\n", TakeFileProblem::BadSessionLine, 2},
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

// An unchecked take survives the session file; a take line without the
// field, or with any other value, is checked.
TEST(Session, UncheckedTakesRoundTripAndOtherValuesAreChecked)
{
    std::vector<SessionTake> takes(2);
    takes[0].ListedAt = "2026-12-07T10:00:00";
    takes[0].Taps = {0, 500, 1000};
    takes[1] = takes[0];
    takes[1].Checked = false;
    const std::string text = FormatSession(takes);
    EXPECT_NE(text.find("take 2026-12-07T10:00:00 3 checked=0\r\n"), std::string::npos);
    std::vector<SessionTake> back;
    TakeFileError error;
    ASSERT_TRUE(ReadSession(text, back, error));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_TRUE(back[0].Checked);
    EXPECT_FALSE(back[1].Checked);

    back.clear();
    ASSERT_TRUE(ReadSession("Metrova takes 1\ntake 2026-12-07T10:00:00 2 checked=1 later=x\n0\n9\nend\n", back, error));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_TRUE(back[0].Checked);
}

// A session of a version that kept both keys of a chord: the repeats are
// the same beats, dropped and counted; a take of one beat goes with them.
// A time that runs back is damage, refused with its line.
TEST(Session, RepeatedTimesAreDroppedAndCountedAndATimeThatRunsBackRefusesTheFile)
{
    const std::string session = "Metrova takes 1\n"
                                "take 2026-12-07T14:30:05 5\n100\n600\n600\n1100\n1100\n"
                                "take 2026-12-07T14:31:00 2\n7\n7\n"
                                "take 2026-12-07T14:32:00 3\n0\n500\n1000\n"
                                "end\n";
    std::vector<SessionTake> takes;
    TakeFileError error;
    size_t repeats = 0;
    ASSERT_TRUE(ReadSession(session, takes, error, &repeats)) << error.Message;
    EXPECT_EQ(3u, repeats);
    ASSERT_EQ(2u, takes.size());
    EXPECT_EQ((Take{0, 500, 1000}), takes[0].Taps);
    EXPECT_EQ((Take{0, 500, 1000}), takes[1].Taps);

    const std::string back = "Metrova takes 1\ntake 2026-12-07T14:30:05 3\n0\n500\n400\nend\n";
    EXPECT_FALSE(ReadTakeFileBytes(back, takes, error, nullptr, &repeats));
    EXPECT_TRUE(takes.empty());
    EXPECT_EQ(0u, repeats);
    EXPECT_EQ(TakeFileProblem::TapGoesBack, error.Problem);
    EXPECT_EQ(5u, error.Line);

    EXPECT_FALSE(ReadTakeFileBytes("0 500\n400 900\n", takes, error));
    EXPECT_EQ(TakeFileProblem::TapGoesBack, error.Problem);
    EXPECT_EQ(2u, error.Line);
    EXPECT_EQ("line 2: the tap time 400 lies before the one above it", error.Message);
}

// A source field that is no encoding (a cut "%", a digit that is no hex
// digit) loses the name, never the take.
TEST(Session, SourceFieldThatIsNoEncodingLosesOnlyTheName)
{
    std::string name;
    ASSERT_TRUE(DecodeSourceField(EncodeSourceField("My Song 100%.mid"), name));
    EXPECT_EQ("My Song 100%.mid", name);
    EXPECT_EQ("My%20Song%20100%25.mid", EncodeSourceField("My Song 100%.mid"));
    for (const char* bad : {"a%2", "a%", "%g0", "%0G"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(DecodeSourceField(bad, name));
        const std::string session =
            std::string("Metrova takes 1\ntake 2026-12-07T14:30:05 2 source=") + bad + "\n0\n500\nend\n";
        std::vector<SessionTake> takes;
        TakeFileError error;
        ASSERT_TRUE(ReadSession(session, takes, error)) << error.Message;
        ASSERT_EQ(1u, takes.size());
        EXPECT_EQ("", takes[0].Source);
        EXPECT_EQ((Take{0, 500}), takes[0].Taps);
    }
}

}  // namespace
