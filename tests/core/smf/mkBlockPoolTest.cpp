#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "mkBlockPool.h"
#include "mkSmfSequence.h"
#include "mkSmfTrack.h"

namespace {

const uint8_t kNote[2] = {0x3C, 0x64};

TEST(mkBlockPool, PiecesOfEverySizeAreAlignedAndDoNotOverlap)
{
    const size_t liveBefore = mkBlockPool::GetLiveCount();
    struct Piece {
        uint8_t* p;
        size_t n;
    };
    std::vector<Piece> pieces;
    // Enough rounds to run through more than one block.
    for (int round = 0; round < 2000; ++round) {
        for (size_t n = 1; n <= mkBlockPool::MaxPiece; ++n) {
            uint8_t* p = static_cast<uint8_t*>(mkBlockPool::Allocate(n));
            ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(p) % mkBlockPool::Granule) << "size " << n;
            std::memset(p, static_cast<int>(pieces.size() & 0xFF), n);
            pieces.push_back({p, n});
        }
    }
    EXPECT_EQ(liveBefore + pieces.size(), mkBlockPool::GetLiveCount());
    for (size_t i = 0; i < pieces.size(); ++i)
        for (size_t k = 0; k < pieces[i].n; ++k)
            ASSERT_EQ(static_cast<uint8_t>(i & 0xFF), pieces[i].p[k]) << "piece " << i << " was overwritten";
    for (const Piece& piece : pieces)
        mkBlockPool::Free(piece.p, piece.n);
    EXPECT_EQ(liveBefore, mkBlockPool::GetLiveCount());
}

TEST(mkBlockPool, ErasedEventsAreReusedSoChurnDoesNotGrowThePool)
{
    mkSmfTrack track;
    track.AddEvent(0, 0x90, kNote, 2);
    track.AddEvent(1000000, 0xFF, reinterpret_cast<const uint8_t*>("\x2F\x00"), 2);
    // Insert and erase a marker at every tick, as an import does beat by
    // beat, with a long text event (message bytes from the pool) each time.
    // The first round may still need a fresh block; after it nothing may.
    const uint8_t text[40] = {0x01, 38};
    track.EraseEvent(track.InsertEvent(1, 0xFF, text, sizeof text));
    track.EraseEvent(track.InsertEvent(1, 0x90, kNote, 2));
    const size_t reserved = mkBlockPool::GetReservedBytes();
    for (uint32_t t = 1; t < 200000; ++t) {
        auto pos = track.InsertEvent(t, 0xFF, text, sizeof text);
        auto next = track.InsertEvent(t, 0x90, kNote, 2);
        track.EraseEvent(next);
        track.EraseEvent(pos);
    }
    EXPECT_EQ(2u, track.GetEventCount());
    EXPECT_EQ(reserved, mkBlockPool::GetReservedBytes());
}

TEST(mkBlockPool, DestroyingTheLastSequenceReturnsItsBlocks)
{
    if (mkBlockPool::GetLiveCount() != 0)
        GTEST_SKIP() << "another object still holds pool memory";
    {
        mkSmfSequence seq;
        seq.Format = 1;
        for (int t = 0; t < 4; ++t) {
            mkSmfTrack& track = seq.AddTrack();
            for (uint32_t i = 0; i < 250000; ++i)
                track.AddEvent(i, 0x90, kNote, 2);
        }
        EXPECT_GT(mkBlockPool::GetReservedBytes(), 1000000 * sizeof(mkMidiEvent));
        // Folding moves nodes between the tracks' lists and erases all but
        // the last of the tracks' final events: exactly those go back.
        ASSERT_TRUE(seq.ConvertToFormat0());
        EXPECT_EQ(999997u, seq.GetTrack(0).GetEventCount());
        EXPECT_EQ(999997u, mkBlockPool::GetLiveCount());
    }
    EXPECT_EQ(0u, mkBlockPool::GetLiveCount());
    EXPECT_LT(mkBlockPool::GetReservedBytes(), size_t(1) << 20);
}

TEST(mkBlockPool, MessagesOfEveryLengthSurviveCopyAndGrowth)
{
    // Inside the event, from the pool, and from the heap: each boundary.
    for (uint32_t n = 1; n <= mkBlockPool::MaxPiece + 8; ++n) {
        mkByteBuffer b;
        b.SetSize(n);
        for (uint32_t i = 0; i < n; ++i)
            b.GetData()[i] = static_cast<uint8_t>(n + i);
        const mkByteBuffer copy(b);
        b.SetSize(n + 5);
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_EQ(static_cast<uint8_t>(n + i), b.GetData()[i]) << "grown from " << n;
            ASSERT_EQ(static_cast<uint8_t>(n + i), copy.GetData()[i]) << "copy of " << n;
        }
        EXPECT_EQ(n, copy.GetCapacity());
        EXPECT_EQ(n + 5, b.GetCapacity());
    }
}

#ifdef MK_POOL_POISON
TEST(mkBlockPoolDeathTest, AnErasedEventIsStillReportedUnderAddressSanitizer)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    mkSmfTrack track;
    track.AddEvent(0, 0x90, kNote, 2);
    auto pos = track.InsertEvent(5, 0x80, kNote, 2);
    const mkMidiEvent* erased = &*pos;
    track.EraseEvent(pos);
    EXPECT_DEATH(
        {
            volatile uint32_t time = erased->Time;
            static_cast<void>(time);
        },
        "use-after-poison");
}
#endif

}  // namespace
