#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "Take.h"
#include "TempoExport.h"

namespace {

// --- Normalisation ----------------------------------------------------------

TEST(NormalizeTake, ClockWrapDuringTheTakeDoesNoHarm)
{
    Take take{4294967000u, 200u};
    NormalizeTake(take);
    EXPECT_EQ((Take{0u, 496u}), take);
}

TEST(NormalizeTake, TimesBecomeRelativeToTheFirstTap)
{
    Take take{1000u, 1500u, 2000u};
    NormalizeTake(take);
    EXPECT_EQ((Take{0u, 500u, 1000u}), take);
}

TEST(NormalizeTake, WrapInTheMiddleOfALongerTake)
{
    Take take{4294967290u, 4294967295u, 3u, 10u};
    NormalizeTake(take);
    EXPECT_EQ((Take{0u, 5u, 9u, 16u}), take);
}

TEST(NormalizeTake, SubtractionIsUnsigned32Bit)
{
    // A time below the first one is not clipped to 0: it wraps like the clock.
    Take take{5000u, 4999u, 5000u};
    NormalizeTake(take);
    EXPECT_EQ((Take{0u, 4294967295u, 0u}), take);
}

TEST(NormalizeTake, EmptyAndSingleTapTakes)
{
    Take empty;
    NormalizeTake(empty);
    EXPECT_TRUE(empty.empty());

    Take single{123456u};
    NormalizeTake(single);
    EXPECT_EQ((Take{0u}), single);
}

// --- The slot ---------------------------------------------------------------

TEST(TakeSlot, NewSlotIsEmptyAndIgnoresTaps)
{
    TakeSlot slot;
    EXPECT_TRUE(slot.IsEmpty());
    EXPECT_EQ(0u, slot.GetCount());
    EXPECT_FALSE(slot.Append(100));
    EXPECT_TRUE(slot.IsEmpty());
    EXPECT_EQ(nullptr, slot.HandOver());
}

TEST(TakeSlot, StartedSlotCollectsTapsInArrivalOrder)
{
    TakeSlot slot;
    slot.Start();
    EXPECT_FALSE(slot.IsEmpty());
    EXPECT_EQ(0u, slot.GetCount());
    EXPECT_TRUE(slot.Append(3000));
    EXPECT_TRUE(slot.Append(1000));  // kept as it came, not sorted
    EXPECT_TRUE(slot.Append(2000));
    EXPECT_EQ(3u, slot.GetCount());

    const std::unique_ptr<Take> take = slot.HandOver();
    ASSERT_NE(nullptr, take);
    EXPECT_EQ((Take{3000u, 1000u, 2000u}), *take);
}

// Two keys of a chord arrive in the same millisecond. Kept, they would be a
// zero interval, which the export writes as the fastest tempo a Set Tempo
// event holds: 60,000,000 BPM in the middle of a song.
TEST(TakeSlot, ChordIsOneTapAndTheMapStaysHuman)
{
    TakeSlot slot;
    slot.Start();
    for (uint32_t beat = 0; beat < 8; ++beat) {
        EXPECT_TRUE(slot.Append(1000 + beat * 500));
        EXPECT_FALSE(slot.Append(1000 + beat * 500)) << "second key of the chord";
    }
    std::unique_ptr<Take> take = slot.HandOver();
    ASSERT_NE(nullptr, take);
    ASSERT_EQ(8u, take->size());
    NormalizeTake(*take);
    const std::vector<uint8_t> bytes = ExportTempoBytes(TakeList{take.get()}, 0, 2);
    // Every Set Tempo event (FF 51 03 tt tt tt) is 500,000 µs: 120 BPM.
    size_t events = 0;
    for (size_t i = 0; i + 5 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0x51 && bytes[i + 2] == 0x03) {
            ++events;
            EXPECT_EQ(500000u, (uint32_t{bytes[i + 3]} << 16) | (uint32_t{bytes[i + 4]} << 8) | bytes[i + 5]);
        }
    }
    EXPECT_GT(events, 0u);

    EXPECT_EQ(TapStep::Repeated, NextTapStep(Take{5, 9}, 9));
    EXPECT_EQ(TapStep::Earlier, NextTapStep(Take{5, 9}, 8));
    EXPECT_EQ(TapStep::Later, NextTapStep(Take{UINT32_MAX - 1, UINT32_MAX}, 3));  // across the clock's wrap
    EXPECT_EQ(TapStep::Earlier, NextTapStep(Take{UINT32_MAX - 1, 3}, UINT32_MAX));
}

TEST(TakeSlot, StartWithAnInitialTakeKeepsItsTimes)
{
    TakeSlot slot;
    slot.Start(Take{500u, 1000u});
    EXPECT_EQ(2u, slot.GetCount());
    EXPECT_TRUE(slot.Append(1500));
    const std::unique_ptr<Take> take = slot.HandOver();
    ASSERT_NE(nullptr, take);
    EXPECT_EQ((Take{500u, 1000u, 1500u}), *take);
}

TEST(TakeSlot, StartDropsTheTakeTheSlotHeld)
{
    TakeSlot slot;
    slot.Start();
    ASSERT_TRUE(slot.Append(1));
    ASSERT_TRUE(slot.Append(2));
    slot.Start();
    EXPECT_EQ(0u, slot.GetCount());
    ASSERT_TRUE(slot.Append(7));
    const std::unique_ptr<Take> take = slot.HandOver();
    ASSERT_NE(nullptr, take);
    EXPECT_EQ((Take{7u}), *take);
}

TEST(TakeSlot, HandOverEmptiesTheSlotAndLateTapsAreIgnored)
{
    TakeSlot slot;
    slot.Start();
    ASSERT_TRUE(slot.Append(10));
    ASSERT_TRUE(slot.Append(20));

    const std::unique_ptr<Take> take = slot.HandOver();
    ASSERT_NE(nullptr, take);
    EXPECT_TRUE(slot.IsEmpty());
    EXPECT_EQ(0u, slot.GetCount());

    // A tap arriving after the hand-over finds the slot empty and must not
    // reach the take that was handed over.
    EXPECT_FALSE(slot.Append(30));
    EXPECT_EQ((Take{10u, 20u}), *take);
    EXPECT_EQ(nullptr, slot.HandOver());
}

// --- Handing the take to the list -------------------------------------------

TEST(HandOverTakeForList, TakeWithoutTapsIsDropped)
{
    TakeSlot slot;
    slot.Start();
    EXPECT_EQ(nullptr, HandOverTakeForList(slot));
    EXPECT_TRUE(slot.IsEmpty());
    EXPECT_FALSE(slot.Append(5));
}

TEST(HandOverTakeForList, SingleTapTakeIsDropped)
{
    TakeSlot slot;
    slot.Start();
    ASSERT_TRUE(slot.Append(1000));
    EXPECT_EQ(nullptr, HandOverTakeForList(slot));
    EXPECT_TRUE(slot.IsEmpty());
    EXPECT_FALSE(slot.Append(1500));
}

TEST(HandOverTakeForList, EmptySlotGivesNothing)
{
    TakeSlot slot;
    EXPECT_EQ(nullptr, HandOverTakeForList(slot));
    EXPECT_TRUE(slot.IsEmpty());
}

TEST(HandOverTakeForList, TwoTapsAreListedWithTheirRawTimes)
{
    // Normalising is the caller's step after listing.
    TakeSlot slot;
    slot.Start();
    ASSERT_TRUE(slot.Append(4294967000u));
    ASSERT_TRUE(slot.Append(200u));
    const std::unique_ptr<Take> take = HandOverTakeForList(slot);
    ASSERT_NE(nullptr, take);
    EXPECT_EQ((Take{4294967000u, 200u}), *take);
    EXPECT_TRUE(slot.IsEmpty());

    NormalizeTake(*take);
    EXPECT_EQ((Take{0u, 496u}), *take);
}

TEST(HandOverTakeForList, RecordedTakeListedWithCountAndRelativeTimes)
{
    TakeSlot slot;
    slot.Start();
    for (uint32_t t : {1000u, 1500u, 2000u})
        ASSERT_TRUE(slot.Append(t));
    const std::unique_ptr<Take> take = HandOverTakeForList(slot);
    ASSERT_NE(nullptr, take);
    EXPECT_EQ(3u, take->size());
    NormalizeTake(*take);
    EXPECT_EQ((Take{0u, 500u, 1000u}), *take);
}

// --- The MIDI thread against the hand-over ------------------------------------
//
// One thread plays the MIDI driver and appends as fast as it can; the main
// thread plays the user-interface thread and starts and hands over takes.
// Every value the appender offers is larger than the one before, and it
// remembers the ones the slot accepted, so afterwards the handed-over takes,
// read in hand-over order, must be exactly that list.

constexpr int kCycles = 10000;
// Bounds the memory if the main thread stalls with a take started: the
// appender then waits for the hand-over instead of growing the take. A bound
// on the attempts instead would let a starved main thread on a loaded machine
// find the appender finished before its last hand-over.
constexpr size_t kMaxTakeSize = 200000;

struct Appender {
    TakeSlot& slot;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    std::atomic<bool> done{false};
    std::vector<uint32_t> accepted;  // read only after join
    std::thread thread;

    explicit Appender(TakeSlot& s) : slot(s)
    {
        thread = std::thread([this] {
            running.store(true);
            uint32_t value = 0;
            while (!stop.load(std::memory_order_relaxed) && value < UINT32_MAX) {
                if (slot.GetCount() >= kMaxTakeSize) {
                    std::this_thread::yield();
                    continue;
                }
                ++value;
                if (slot.Append(value))
                    accepted.push_back(value);
                // A lock that is released and at once taken again mostly
                // stays with this thread; on a machine with few cores the
                // other one would hardly get a turn without this.
                if ((value & 63u) == 0)
                    std::this_thread::yield();
            }
            done.store(true);
        });
        while (!running.load())
            std::this_thread::yield();
    }
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;
    ~Appender()
    {
        if (thread.joinable())
            Stop();  // a failed assertion left early
    }
    void Stop()
    {
        stop.store(true);
        thread.join();
    }
};

// Waits until the slot holds `want` taps or the appender has ended; returns
// the largest count seen.
size_t LetTapsIn(const TakeSlot& slot, const Appender& appender, size_t want)
{
    size_t seen = slot.GetCount();
    for (int spin = 0; spin < 20000 && seen < want && !appender.done.load(); ++spin) {
        std::this_thread::yield();
        seen = std::max(seen, slot.GetCount());
    }
    return seen;
}

bool StrictlyIncreasing(const Take& take)
{
    for (size_t i = 1; i < take.size(); ++i)
        if (take[i] <= take[i - 1])
            return false;
    return true;
}

TEST(TakeSlotConcurrency, HandOverLosesAndDuplicatesNoTapAndNoTapFollowsIt)
{
    TakeSlot slot;
    Appender appender(slot);

    struct Handed {
        std::unique_ptr<Take> take;
        size_t size;
    };
    std::vector<Handed> handed;
    handed.reserve(kCycles);
    int countWentBack = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        slot.Start();
        const size_t seen = LetTapsIn(slot, appender, static_cast<size_t>(cycle % 5));
        std::unique_ptr<Take> take = slot.HandOver();
        ASSERT_NE(nullptr, take) << "cycle " << cycle;
        const size_t size = take->size();
        if (size < seen)
            ++countWentBack;
        // Only this thread fills the slot, so it stays empty until the next
        // Start whatever the appender does meanwhile.
        EXPECT_TRUE(slot.IsEmpty());
        handed.push_back({std::move(take), size});
        if (cycle % 3 == 0)
            std::this_thread::yield();  // give late taps a chance to hit the empty slot
    }
    // One more take stays in the slot while the appender stops.
    slot.Start();
    LetTapsIn(slot, appender, 3);
    // Every hand-over above ran while the appender was still appending.
    EXPECT_FALSE(appender.done.load()) << "the appender ran out of attempts before the last hand-over";
    appender.Stop();
    const size_t leftInSlot = slot.GetCount();
    const std::unique_ptr<Take> rest = slot.HandOver();
    ASSERT_NE(nullptr, rest);

    EXPECT_EQ(0, countWentBack) << "a take handed over with fewer taps than the slot had shown";

    int grewAfterHandOver = 0;
    int notIncreasing = 0;
    size_t total = 0;
    size_t takesWithTaps = 0;
    std::vector<uint32_t> inOrder;
    for (const Handed& h : handed) {
        if (h.take->size() != h.size)
            ++grewAfterHandOver;
        if (!StrictlyIncreasing(*h.take))
            ++notIncreasing;
        total += h.take->size();
        if (!h.take->empty())
            ++takesWithTaps;
        inOrder.insert(inOrder.end(), h.take->begin(), h.take->end());
    }
    EXPECT_EQ(leftInSlot, rest->size());
    EXPECT_TRUE(StrictlyIncreasing(*rest));
    inOrder.insert(inOrder.end(), rest->begin(), rest->end());
    total += rest->size();

    EXPECT_EQ(0, grewAfterHandOver) << "taps were appended to takes already handed over";
    EXPECT_EQ(0, notIncreasing);
    EXPECT_EQ(appender.accepted.size(), total);
    EXPECT_TRUE(inOrder == appender.accepted) << "the handed-over takes do not hold exactly the accepted taps";
    EXPECT_GE(takesWithTaps, 10u) << "the appender hardly ever reached a started slot";
}

TEST(TakeSlotConcurrency, ListedTakesAreWholeRunsOfAcceptedTapsAndNeverGrow)
{
    TakeSlot slot;
    Appender appender(slot);

    struct Listed {
        std::unique_ptr<Take> take;
        size_t size;
    };
    std::vector<Listed> listed;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        slot.Start();
        LetTapsIn(slot, appender, static_cast<size_t>(cycle % 4));
        std::unique_ptr<Take> take = HandOverTakeForList(slot);
        EXPECT_TRUE(slot.IsEmpty());
        if (take) {
            const size_t size = take->size();
            listed.push_back({std::move(take), size});
        }
    }
    EXPECT_FALSE(appender.done.load()) << "the appender ran out of attempts before the last hand-over";
    appender.Stop();

    const std::vector<uint32_t>& accepted = appender.accepted;
    int bad = 0;
    for (const Listed& l : listed) {
        const Take& take = *l.take;
        if (take.size() != l.size || take.size() < 2) {
            ++bad;
            continue;
        }
        // The take must be a run of consecutive accepted taps: nothing of the
        // run missing, nothing repeated.
        const auto first = std::lower_bound(accepted.begin(), accepted.end(), take.front());
        if (first == accepted.end() || static_cast<size_t>(accepted.end() - first) < take.size() ||
            !std::equal(take.begin(), take.end(), first))
            ++bad;
    }
    EXPECT_EQ(0, bad);
    EXPECT_GE(listed.size(), 10u) << "hardly any take of two or more taps was listed";
}

// The journal copies the take being tapped while the MIDI driver's thread
// appends to it. Run under ThreadSanitizer by `make test-tsan` (the suite
// name is what it selects).
TEST(TakeSlotConcurrency, JournalCopiesAreWholePrefixesWhileTheDriverAppends)
{
    TakeSlot slot;
    slot.Start();
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> appended{0};
    std::thread driver([&] {
        for (uint32_t time = 0; !stop.load(); ++time) {
            if (slot.Append(time))
                appended.store(time + 1);
        }
    });

    size_t previous = 0;
    int copies = 0;
    while (appended.load() < 200000 && copies < 1000000) {
        const size_t before = appended.load();
        const Take copy = slot.Copy();
        ++copies;
        // Everything appended before the copy began is in it, in order,
        // with nothing torn or skipped; copies only grow.
        ASSERT_GE(copy.size(), before);
        ASSERT_GE(copy.size(), previous);
        for (size_t i = 0; i < copy.size(); i += 1 + copy.size() / 64)
            ASSERT_EQ(i, copy[i]);
        if (!copy.empty()) {
            ASSERT_EQ(copy.size() - 1, copy.back());
        }
        previous = copy.size();
    }
    stop = true;
    driver.join();
    EXPECT_GT(copies, 1);
    const Take last = slot.Copy();
    EXPECT_EQ(appended.load(), last.size());
    slot.HandOver();
    EXPECT_TRUE(slot.Copy().empty());
}

// The tap dialog follows the take by copying only the taps since its last
// copy: the pieces, put together, are the take exactly, with no tap skipped
// or seen twice.
TEST(TakeSlotConcurrency, CopiesFromTheLastSeenTapAddUpToTheTake)
{
    constexpr uint32_t taps = 100000;
    TakeSlot slot;
    slot.Start();
    std::thread driver([&] {
        for (uint32_t time = 0; time < taps; ++time)
            slot.Append(time);
    });
    Take followed;
    while (followed.size() < taps) {
        const Take piece = slot.CopyFrom(followed.size());
        followed.insert(followed.end(), piece.begin(), piece.end());
    }
    driver.join();
    EXPECT_TRUE(slot.CopyFrom(taps).empty());
    EXPECT_TRUE(slot.CopyFrom(taps + 5).empty());
    ASSERT_EQ(taps, followed.size());
    for (uint32_t i = 0; i < taps; ++i)
        ASSERT_EQ(i, followed[i]);
}

}  // namespace
