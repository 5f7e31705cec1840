// The journal copies the take being tapped while the MIDI driver's thread
// appends to it. Run under ThreadSanitizer by `make test-tsan` (the suite
// name is what it selects).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "Take.h"

namespace {

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
