#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <utility>
#include <vector>

#include "mkSmfTrack.h"

namespace {

// 32-bit results, so that arithmetic on them stays in uint32_t.
using Rng = std::independent_bits_engine<std::mt19937, 32, uint32_t>;

// Events are told apart by a 14-bit tag carried as the two data bytes of a
// control change; End of Track events carry no tag.
constexpr int kEndOfTrack = -1;

void Add(mkSmfTrack& t, uint32_t time, int tag)
{
    const uint8_t data[2] = {uint8_t(tag >> 7), uint8_t(tag & 0x7F)};
    t.AddEvent(time, 0xB0, data, 2);
}

mkSmfTrack::iterator Insert(mkSmfTrack& t, uint32_t time, int tag)
{
    const uint8_t data[2] = {uint8_t(tag >> 7), uint8_t(tag & 0x7F)};
    return t.InsertEvent(time, 0xB0, data, 2);
}

void AddEndOfTrack(mkSmfTrack& t, uint32_t time)
{
    const uint8_t data[2] = {0x2F, 0x00};
    t.AddEvent(time, 0xFF, data, 2);
}

int TagOf(const mkMidiEvent& ev)
{
    if (ev.GetStatus() == 0xFF)
        return kEndOfTrack;
    return ev.GetMessageData()[1] << 7 | ev.GetMessageData()[2];
}

using TimedTags = std::vector<std::pair<uint32_t, int>>;

TimedTags Dump(const mkSmfTrack& t)
{
    TimedTags out;
    for (const mkMidiEvent& ev : t)
        out.emplace_back(ev.Time, TagOf(ev));
    return out;
}

// Track with the given times, tagged 0, 1, 2, ...
mkSmfTrack MakeTrack(const std::vector<uint32_t>& times)
{
    mkSmfTrack t;
    for (size_t i = 0; i < times.size(); ++i)
        Add(t, times[i], static_cast<int>(i));
    return t;
}

TEST(mkSmfTrack, AddEventAppendsAsGivenWithoutSorting)
{
    mkSmfTrack t;
    EXPECT_TRUE(t.IsEmpty());
    const uint8_t tempo[5] = {0x51, 0x03, 0x07, 0xA1, 0x20};
    t.AddEvent(100, 0xFF, tempo, 5);
    Add(t, 50, 1);  // out of order on purpose: the parser's caller owns the order
    EXPECT_FALSE(t.IsEmpty());
    ASSERT_EQ(2u, t.GetEventCount());
    EXPECT_EQ(100u, t.GetFirst().Time);
    EXPECT_EQ(6u, t.GetFirst().GetMessageCount());
    EXPECT_EQ(0xFF, t.GetFirst().GetStatus());
    EXPECT_EQ(0x20, t.GetFirst().GetMessageData()[5]);
    EXPECT_EQ(50u, t.GetLast().Time);
    EXPECT_EQ(2u, t.GetEvents().size());
}

TEST(mkSmfTrack, AddEventDeltaCountsFromTheLastEvent)
{
    mkSmfTrack t;
    t.AddEventDelta(0, 0x90, nullptr, 0);
    EXPECT_EQ(0u, t.GetLast().Time);
    t.AddEventDelta(480, 0x90, nullptr, 0);
    EXPECT_EQ(480u, t.GetLast().Time);
    t.AddEventDelta(0, 0x80, nullptr, 0);
    EXPECT_EQ(480u, t.GetLast().Time);
    t.AddEventDelta(20, 0x80, nullptr, 0);
    EXPECT_EQ(500u, t.GetLast().Time);
    EXPECT_EQ(4u, t.GetEventCount());

    mkSmfTrack u;
    u.AddEventDelta(960, 0xFF, nullptr, 0);
    EXPECT_EQ(960u, u.GetFirst().Time) << "on an empty track the delta is the time";
}

TEST(mkSmfTrack, InsertEventPositions)
{
    mkSmfTrack t;
    auto it = Insert(t, 500, 1);
    EXPECT_EQ((TimedTags{{500, 1}}), Dump(t));
    EXPECT_EQ(1, TagOf(*it));

    Insert(t, 900, 2);  // after everything: appended
    Insert(t, 100, 3);  // before everything
    EXPECT_EQ((TimedTags{{100, 3}, {500, 1}, {900, 2}}), Dump(t));

    Insert(t, 100, 4);  // equal to the first: goes first
    EXPECT_EQ(4, TagOf(t.GetFirst()));

    Insert(t, 900, 5);
    Insert(t, 900, 6);  // equal to the last: before every event of that time
    EXPECT_EQ((TimedTags{{100, 4}, {100, 3}, {500, 1}, {900, 6}, {900, 5}, {900, 2}}), Dump(t));

    it = Insert(t, 500, 7);  // equal to one in the middle
    EXPECT_EQ(7, TagOf(*it));
    EXPECT_EQ(500u, it->Time);
    EXPECT_EQ((TimedTags{{100, 4}, {100, 3}, {500, 7}, {500, 1}, {900, 6}, {900, 5}, {900, 2}}), Dump(t));

    Insert(t, 700, 8);  // strictly between
    EXPECT_EQ((TimedTags{{100, 4}, {100, 3}, {500, 7}, {500, 1}, {700, 8}, {900, 6}, {900, 5}, {900, 2}}), Dump(t));
}

TEST(mkSmfTrack, InsertEventKeepsOtherPositionsValid)
{
    mkSmfTrack t = MakeTrack({0, 100, 200});
    auto middle = std::next(t.begin());
    auto last = std::prev(t.end());
    Insert(t, 150, 10);
    Insert(t, 100, 11);
    Insert(t, 0, 12);
    EXPECT_EQ(1, TagOf(*middle));
    EXPECT_EQ(2, TagOf(*last));
    EXPECT_EQ(10, TagOf(*std::next(middle)));
    EXPECT_EQ(11, TagOf(*std::prev(middle)));
}

TEST(mkSmfTrack, InsertEventFindsEqualTimesFromEitherEnd)
{
    // A search that walks more than half the track from the back turns the
    // hint to the front; the following middle insertions then walk from the
    // front. Both walks have to land before the run of equal times.
    mkSmfTrack t = MakeTrack({0, 10, 20, 30, 40, 50, 50, 50, 60, 70, 80, 90, 100});
    Insert(t, 5, 100);   // far from the back
    Insert(t, 50, 101);  // from the front now, among equal times
    Insert(t, 95, 102);  // near the back
    Insert(t, 50, 103);
    Insert(t, 100, 104);  // equal to the last: always searched from the back
    Insert(t, 50, 105);
    EXPECT_EQ((TimedTags{{0, 0},
                         {5, 100},
                         {10, 1},
                         {20, 2},
                         {30, 3},
                         {40, 4},
                         {50, 105},
                         {50, 103},
                         {50, 101},
                         {50, 5},
                         {50, 6},
                         {50, 7},
                         {60, 8},
                         {70, 9},
                         {80, 10},
                         {90, 11},
                         {95, 102},
                         {100, 104},
                         {100, 12}}),
              Dump(t));
}

// The reference insertion: before the first element whose time is >= time.
void ReferenceInsert(TimedTags& ref, uint32_t time, int tag)
{
    const auto pos =
        std::lower_bound(ref.begin(), ref.end(), time, [](const std::pair<uint32_t, int>& e, uint32_t v) {
            return e.first < v;
        });
    ref.insert(pos, {time, tag});
}

TEST(mkSmfTrack, InsertEventAgreesWithASimpleSortedInsertWhateverTheHint)
{
    // The hint is shared by all tracks, so two tracks are edited in turns and
    // each steers the other's next search. Times come from a small range so
    // that equal times are common; now and then an extreme time resets the
    // hint through the append or insert-first shortcuts.
    Rng rng(20240611u);
    for (int round = 0; round < 40; ++round) {
        mkSmfTrack tracks[2];
        TimedTags refs[2];
        const uint32_t range = 1u + rng() % 60u;
        for (int tag = 0; tag < 300; ++tag) {
            const int which = static_cast<int>(rng() % 2u);
            uint32_t time = rng() % (range + 1u);
            const uint32_t pick = rng() % 20u;
            if (pick == 0)
                time = range + 100u + rng() % 5u;
            else if (pick == 1)
                time = 0;
            const auto it = Insert(tracks[which], time, tag);
            ReferenceInsert(refs[which], time, tag);
            ASSERT_EQ(tag, TagOf(*it));
            ASSERT_EQ(refs[which], Dump(tracks[which])) << "round " << round << ", insertion " << tag;
            ASSERT_EQ(refs[which].size(), tracks[which].GetEventCount());
        }
    }
}

TEST(mkSmfTrack, EraseEventReturnsTheFollowingPosition)
{
    mkSmfTrack t = MakeTrack({0, 10, 20, 30});
    auto keep = std::next(t.begin(), 3);

    auto next = t.EraseEvent(std::next(t.begin()));
    EXPECT_EQ(2, TagOf(*next));
    EXPECT_EQ(3, TagOf(*keep));
    EXPECT_EQ(3u, t.GetEventCount());

    next = t.EraseEvent(std::prev(t.end()));
    EXPECT_TRUE(next == t.end());
    EXPECT_EQ((TimedTags{{0, 0}, {20, 2}}), Dump(t));

    next = t.EraseEvent(t.end());
    EXPECT_TRUE(next == t.end());
    EXPECT_EQ(2u, t.GetEventCount());

    t.EraseEvent(t.begin());
    next = t.EraseEvent(t.begin());
    EXPECT_TRUE(next == t.end());
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_TRUE(t.EraseEvent(t.end()) == t.end());
}

TEST(mkSmfTrack, MergeDropsTheEarlierEndOfTrack)
{
    // src ends first: its End of Track goes.
    mkSmfTrack dst = MakeTrack({0, 1000});
    AddEndOfTrack(dst, 1920);
    const mkMidiEvent* dstEnd = &dst.GetLast();
    mkSmfTrack src = MakeTrack({500});
    AddEndOfTrack(src, 960);
    dst.Merge(src);
    EXPECT_TRUE(src.IsEmpty());
    EXPECT_EQ(0u, src.GetEventCount());
    EXPECT_EQ((TimedTags{{0, 0}, {500, 0}, {1000, 1}, {1920, kEndOfTrack}}), Dump(dst));
    EXPECT_EQ(dstEnd, &dst.GetLast());
    EXPECT_EQ(4u, dst.GetEventCount());

    // This track ends first: its own End of Track goes and src's survives.
    mkSmfTrack early = MakeTrack({100});
    AddEndOfTrack(early, 960);
    mkSmfTrack late = MakeTrack({1500});
    AddEndOfTrack(late, 1920);
    const mkMidiEvent* lateEnd = &late.GetLast();
    early.Merge(late);
    EXPECT_EQ((TimedTags{{100, 0}, {1500, 0}, {1920, kEndOfTrack}}), Dump(early));
    EXPECT_EQ(lateEnd, &early.GetLast()) << "the End of Track was copied instead of moved";
}

TEST(mkSmfTrack, MergeOnEqualEndsKeepsTheEndOfTrackOfSrcLast)
{
    mkSmfTrack dst;
    Add(dst, 0, 1);
    Add(dst, 1920, 2);
    AddEndOfTrack(dst, 1920);
    mkSmfTrack src;
    Add(src, 960, 101);
    Add(src, 1920, 102);
    AddEndOfTrack(src, 1920);
    const mkMidiEvent* srcEnd = &src.GetLast();
    dst.Merge(src);
    EXPECT_EQ((TimedTags{{0, 1}, {960, 101}, {1920, 2}, {1920, 102}, {1920, kEndOfTrack}}), Dump(dst));
    EXPECT_EQ(srcEnd, &dst.GetLast());
}

TEST(mkSmfTrack, MergeIsStableAndMovesEvents)
{
    mkSmfTrack dst;
    Add(dst, 0, 1);
    Add(dst, 10, 2);
    Add(dst, 10, 3);
    Add(dst, 30, 4);
    AddEndOfTrack(dst, 40);
    mkSmfTrack src;
    Add(src, 0, 101);
    Add(src, 5, 102);
    Add(src, 10, 103);
    Add(src, 10, 104);
    Add(src, 35, 105);
    AddEndOfTrack(src, 35);

    auto dstPos = std::next(dst.begin());
    const mkMidiEvent* moved = &*std::next(src.begin(), 2);
    dst.Merge(src);

    EXPECT_EQ((TimedTags{{0, 1},
                         {0, 101},
                         {5, 102},
                         {10, 2},
                         {10, 3},
                         {10, 103},
                         {10, 104},
                         {30, 4},
                         {35, 105},
                         {40, kEndOfTrack}}),
              Dump(dst));
    EXPECT_EQ(10u, dst.GetEventCount());
    EXPECT_EQ(2, TagOf(*dstPos)) << "positions into this track must stay valid";
    bool found = false;
    for (const mkMidiEvent& ev : dst)
        found = found || &ev == moved;
    EXPECT_TRUE(found) << "events of src must be moved, not copied";
}

TEST(mkSmfTrack, MergeWithEmptyTracks)
{
    mkSmfTrack dst = MakeTrack({0, 10});
    AddEndOfTrack(dst, 20);
    mkSmfTrack empty;
    dst.Merge(empty);
    EXPECT_EQ((TimedTags{{0, 0}, {10, 1}, {20, kEndOfTrack}}), Dump(dst));

    mkSmfTrack target;
    target.Merge(dst);
    EXPECT_EQ((TimedTags{{0, 0}, {10, 1}, {20, kEndOfTrack}}), Dump(target));
    EXPECT_TRUE(dst.IsEmpty());

    mkSmfTrack a;
    mkSmfTrack b;
    a.Merge(b);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_TRUE(b.IsEmpty());
}

TEST(mkSmfTrack, MergeAgreesWithAStableMergeOfSortedLists)
{
    Rng rng(77u);
    for (int round = 0; round < 200; ++round) {
        TimedTags a;
        TimedTags b;
        mkSmfTrack ta;
        mkSmfTrack tb;
        uint32_t time = 0;
        const int na = static_cast<int>(rng() % 8u);
        for (int i = 0; i < na; ++i) {
            time += rng() % 3u;
            Add(ta, time, i);
            a.emplace_back(time, i);
        }
        const uint32_t endA = time + rng() % 3u;
        time = 0;
        const int nb = static_cast<int>(rng() % 8u);
        for (int i = 0; i < nb; ++i) {
            time += rng() % 3u;
            Add(tb, time, 1000 + i);
            b.emplace_back(time, 1000 + i);
        }
        const uint32_t endB = time + rng() % 3u;
        AddEndOfTrack(ta, endA);
        AddEndOfTrack(tb, endB);
        // Only the later End of Track stays; on a tie, src's.
        if (endB >= endA)
            b.emplace_back(endB, kEndOfTrack);
        else
            a.emplace_back(endA, kEndOfTrack);

        TimedTags expected;
        std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(expected),
            [](const std::pair<uint32_t, int>& x, const std::pair<uint32_t, int>& y) { return x.first < y.first; });
        ta.Merge(tb);
        ASSERT_EQ(expected, Dump(ta)) << "round " << round;
        ASSERT_EQ(expected.size(), ta.GetEventCount());
        ASSERT_TRUE(tb.IsEmpty());
        ASSERT_EQ(kEndOfTrack, TagOf(ta.GetLast()));
    }
}

TEST(mkSmfTrack, InsertEventAtPutsTheEventBeforeThePosition)
{
    mkSmfTrack t = MakeTrack({0, 100, 200});
    const auto second = std::next(t.begin());
    auto it = t.InsertEventAt(second, 50, 0xB0, nullptr, 0);
    EXPECT_EQ(50u, it->Time);
    EXPECT_EQ(1u, it->GetMessageCount());
    EXPECT_TRUE(std::next(it) == second);
    it = t.InsertEventAt(t.end(), 300, 0xFF, nullptr, 0);
    EXPECT_TRUE(std::next(it) == t.end());
    // The caller owns the order: nothing is searched or checked.
    t.InsertEventAt(t.begin(), 999, 0xC0, nullptr, 0);
    EXPECT_EQ(999u, t.GetFirst().Time);
    EXPECT_EQ(6u, t.GetEventCount());
    EXPECT_EQ(1, TagOf(*second));
}

TEST(mkSmfTrack, IsTimeOrdered)
{
    EXPECT_TRUE(mkSmfTrack().IsTimeOrdered());
    EXPECT_TRUE(MakeTrack({0, 0, 5, 5, UINT32_MAX}).IsTimeOrdered());
    EXPECT_TRUE(MakeTrack({7}).IsTimeOrdered());
    EXPECT_FALSE(MakeTrack({0, 10, 9}).IsTimeOrdered());
    EXPECT_FALSE(MakeTrack({UINT32_MAX, 0}).IsTimeOrdered());
}

// Where each event of a set of tracks came from: (track, index) by address,
// so that a result can be told apart even where events have equal bytes, and
// an event that was copied instead of moved is noticed.
using Origins = std::vector<std::pair<size_t, size_t>>;

Origins OriginsOf(const mkSmfTrack& result, const std::vector<std::vector<const mkMidiEvent*>>& before)
{
    Origins out;
    for (const mkMidiEvent& ev : result) {
        std::pair<size_t, size_t> origin(SIZE_MAX, SIZE_MAX);
        for (size_t i = 0; i < before.size(); ++i)
            for (size_t j = 0; j < before[i].size(); ++j)
                if (before[i][j] == &ev)
                    origin = {i, j};
        out.push_back(origin);
    }
    return out;
}

std::vector<std::vector<const mkMidiEvent*>> Addresses(const std::vector<mkSmfTrack>& tracks)
{
    std::vector<std::vector<const mkMidiEvent*>> out;
    for (const mkSmfTrack& t : tracks) {
        out.emplace_back();
        for (const mkMidiEvent& ev : t)
            out.back().push_back(&ev);
    }
    return out;
}

TEST(mkSmfTrack, MergeOrderedGivesWhatMergingOneByOneGives)
{
    Rng rng(31337u);
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        // Up to five tracks, some empty, most ending with End of Track, with
        // many equal times inside and across tracks.
        std::vector<mkSmfTrack> tracks(rng() % 6u);
        int tag = 0;
        for (mkSmfTrack& t : tracks) {
            uint32_t time = rng() % 3u;
            const uint32_t n = rng() % 6u;
            for (uint32_t i = 0; i < n; ++i) {
                Add(t, time, tag++);
                time += rng() % 3u;
            }
            if (rng() % 5u != 0)
                AddEndOfTrack(t, time);
        }
        std::vector<mkSmfTrack> byMerge = tracks;
        const auto mergeBefore = Addresses(byMerge);
        for (size_t i = 1; i < byMerge.size(); ++i)
            byMerge[0].Merge(byMerge[i]);

        const auto before = Addresses(tracks);
        std::vector<mkSmfTrack*> pointers;
        for (mkSmfTrack& t : tracks)
            pointers.push_back(&t);
        mkSmfTrack::MergeOrdered(pointers);

        if (tracks.empty())
            continue;
        ASSERT_EQ(Dump(byMerge[0]), Dump(tracks[0]));
        ASSERT_EQ(OriginsOf(byMerge[0], mergeBefore), OriginsOf(tracks[0], before));
        ASSERT_EQ(byMerge[0].GetEventCount(), tracks[0].GetEventCount());
        for (size_t i = 1; i < tracks.size(); ++i)
            ASSERT_TRUE(tracks[i].IsEmpty()) << "track " << i << " was not emptied";
    }
}

TEST(mkSmfTrack, MergeOrderedOfFewerThanTwoTracksChangesNothing)
{
    mkSmfTrack t = MakeTrack({0, 10});
    AddEndOfTrack(t, 10);
    mkSmfTrack::MergeOrdered({});
    mkSmfTrack::MergeOrdered({&t});
    EXPECT_EQ((TimedTags{{0, 0}, {10, 1}, {10, kEndOfTrack}}), Dump(t));
}

TEST(mkSmfTrack, CopyIsDeep)
{
    mkSmfTrack original = MakeTrack({0, 10});
    AddEndOfTrack(original, 10);
    const mkSmfTrack copy(original);
    std::next(original.begin())->Message.GetData()[2] = 99;
    original.EraseEvent(original.begin());
    EXPECT_EQ((TimedTags{{0, 0}, {10, 1}, {10, kEndOfTrack}}), Dump(copy));
    EXPECT_NE(&original.GetLast(), &copy.GetLast());
}

}  // namespace
