// Undo and redo of the list of takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Session.h"
#include "TakeGenerator.h"
#include "ListStateTestSupport.h"
#include "TakeHistory.h"

namespace {


SessionTake RandomTake(TakeRandom& random)
{
    SessionTake take;
    take.ListedAt = "2026-12-07T10:00:0" + std::to_string(random.Between(0, 9));
    uint32_t t = 0;
    for (int i = random.Between(2, 12); i > 0; --i) {
        take.Taps.push_back(t);
        t += static_cast<uint32_t>(random.Between(300, 700));
    }
    return take;
}

// One of the changes the list sees: add, delete, delete all with a new base
// note, check or uncheck, repair (new taps), turn a finding down.
void RandomChange(TakeRandom& random, ListState& state)
{
    const int kind = state.Takes.empty() ? 0 : random.Between(0, 5);
    const size_t at = state.Takes.empty() ? 0 : static_cast<size_t>(random.Between(0, int(state.Takes.size()) - 1));
    switch (kind) {
    case 0:
        state.Takes.push_back(RandomTake(random));
        break;
    case 1:
        state.Takes.erase(state.Takes.begin() + static_cast<std::ptrdiff_t>(at));
        break;
    case 2:
        state.Takes.clear();
        state.TimeSigBase = random.Between(0, 5);
        break;
    case 3:
        state.Takes[at].Checked = !state.Takes[at].Checked;
        break;
    case 4:
        state.Takes[at].Taps.push_back(state.Takes[at].Taps.back() + 500);
        break;
    default:
        state.Takes[at].Rejected.push_back(FindingKey{FindingKind::Extra, random.Between(0, 9)});
        break;
    }
}

}  // namespace

// Whatever the changes, undoing them one by one walks back through exactly
// the states they started from, and redoing walks forward again; a new
// change after some undos forgets the redo steps.
TEST(TakeHistory, UndoAndRedoWalkExactlyThroughTheRecordedStates)
{
    for (uint32_t set = 1; set <= 40; ++set) {
        TakeRandom random(set);
        TakeHistory history;
        ListState now;
        std::vector<ListState> seen{now};
        const int changes = random.Between(1, 30);
        for (int i = 0; i < changes; ++i) {
            history.Record(now);
            RandomChange(random, now);
            seen.push_back(now);
        }
        for (int i = changes - 1; i >= 0; --i) {
            std::optional<ListState> back = history.Undo(now);
            ASSERT_TRUE(back);
            now = *back;
            ASSERT_TRUE(SameState(now, seen[static_cast<size_t>(i)])) << "set " << set << " undo to " << i;
        }
        EXPECT_FALSE(history.Undo(now));
        const int redos = random.Between(0, changes);
        for (int i = 1; i <= redos; ++i) {
            std::optional<ListState> forward = history.Redo(now);
            ASSERT_TRUE(forward);
            now = *forward;
            ASSERT_TRUE(SameState(now, seen[static_cast<size_t>(i)])) << "set " << set << " redo to " << i;
        }
        history.Record(now);
        RandomChange(random, now);
        EXPECT_FALSE(history.CanRedo());
        EXPECT_TRUE(history.CanUndo());
    }
}

// The bounds drop the oldest steps, never the newest.
TEST(TakeHistory, BoundsDropTheOldestSteps)
{
    TakeHistory history(3, 100000);
    ListState now;
    std::vector<ListState> seen;
    for (int i = 0; i < 5; ++i) {
        seen.push_back(now);
        history.Record(now);
        SessionTake take;
        take.Taps.assign(100, 0);
        now.Takes.push_back(take);
    }
    EXPECT_EQ(history.UndoSteps(), 3u);
    for (int i = 4; i >= 2; --i) {
        now = *history.Undo(now);
        EXPECT_TRUE(SameState(now, seen[static_cast<size_t>(i)]));
    }
    EXPECT_FALSE(history.CanUndo());

    // 1000 taps: a step of 600 taps and one of 700 do not fit together.
    TakeHistory small(100, 1000);
    ListState big;
    SessionTake take;
    take.Taps.assign(600, 0);
    big.Takes.push_back(take);
    small.Record(big);
    big.Takes[0].Taps.assign(700, 0);
    small.Record(big);
    EXPECT_EQ(small.UndoSteps(), 1u);
    EXPECT_EQ(small.Undo(ListState())->Takes[0].Taps.size(), 700u);
}

