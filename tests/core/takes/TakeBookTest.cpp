// The book of listed takes over generated takes: any sequence of changes
// undoes step by step to exactly the states it went through (base note
// included) and redoes to the end; a change that changes nothing records
// no step; a repair changes a take exactly when the book said it would, and
// findings turned down stay so; the tapped take's hand-over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ListStateTestSupport.h"
#include "TakeBook.h"
#include "TakeGenerator.h"

namespace {


SessionTake Listed(const Take& taps, int n)
{
    SessionTake take;
    take.ListedAt = "2026-12-07T10:00:" + std::string(n < 10 ? "0" : "") + std::to_string(n % 60);
    take.Taps = taps;
    return take;
}

// Takes of one generated piece, some with a slip, so that the analysis has
// findings to repair and to turn down.
std::vector<SessionTake> GeneratedTakes(TakeRandom& random, int count, int beats)
{
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, beats);
    const SlipKind slips[] = {SlipKind::None, SlipKind::Missed, SlipKind::DoubleTap, SlipKind::None,
                              SlipKind::LateStart};
    std::vector<SessionTake> takes;
    for (int i = 0; i < count; ++i)
        takes.push_back(Listed(GenerateTake(random, piece, slips[random.Between(0, 4)]).Slipped, i));
    return takes;
}

// The analysis of the book's takes made afresh: what the book keeps must be
// the analysis of what it lists.
void ExpectAnalysisCurrent(const TakeBook& book)
{
    const Analysis fresh = AnalyzeTakes(book.ListedTaps());
    ASSERT_EQ(fresh.Takes.size(), book.Findings().Takes.size());
    for (size_t i = 0; i < fresh.Takes.size(); ++i) {
        ASSERT_EQ(fresh.Takes[i].Findings.size(), book.Findings().Takes[i].Findings.size()) << "take " << i;
        for (size_t f = 0; f < fresh.Takes[i].Findings.size(); ++f)
            EXPECT_TRUE(KeyOf(fresh.Takes[i].Findings[f]) == KeyOf(book.Findings().Takes[i].Findings[f]));
    }
}

// One of the changes the list makes, at random; returns what the book
// reported and sets `base` to the base note now.
bool RandomChange(TakeRandom& random, TakeBook& book, int& base, const std::vector<SessionTake>& pool)
{
    const size_t size = book.Size();
    const size_t at = size == 0 ? 0 : static_cast<size_t>(random.Between(0, static_cast<int>(size) - 1));
    switch (random.Between(0, 8)) {
    case 0:
    case 1: {
        std::vector<SessionTake> added{pool[static_cast<size_t>(random.Between(0, int(pool.size()) - 1))]};
        if (random.Chance(0.3))
            added.push_back(Listed(Take{5}, 1));  // a take of one tap is never listed
        return book.Append(added, base);
    }
    case 2:
        return book.Delete(random.Chance(0.1) ? size : at, base);
    case 3:
        return book.SetChecked(at, random.Chance(0.5), base);
    case 4:
        return book.Repair(at, base);
    case 5:
        return book.RepairAll(base);
    case 6: {
        const size_t findings = at < book.Findings().Takes.size() ? book.Findings().Takes[at].Findings.size() : 0;
        return book.ToggleFinding(at, findings == 0 ? 0 : static_cast<size_t>(random.Between(0, int(findings) - 1)),
                                  base);
    }
    case 7:
        if (random.Chance(0.5))
            return book.Clear(base);
        {
            const int old = base;
            base = (base + random.Between(1, 5)) % 6;
            return book.ClearForBaseNote(old);
        }
    default:
        return false;
    }
}

ListState Now(const TakeBook& book, int base)
{
    ListState state;
    state.Takes = book.Takes();
    state.TimeSigBase = base;
    return state;
}

TEST(TakeBook, RandomChangesUndoToEveryStateAndRedoToTheEnd)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        TakeRandom random(seed);
        const std::vector<SessionTake> pool = GeneratedTakes(random, 6, random.Between(30, 60));
        TakeBook book;
        int base = random.Between(0, 5);
        // Restored at start-up: no step to undo.
        EXPECT_TRUE(book.Restore({pool[0], pool[1], Listed(Take{0}, 3)}));
        EXPECT_EQ(2u, book.Size());
        EXPECT_FALSE(book.CanUndo());

        std::vector<ListState> seen{Now(book, base)};
        for (int step = 0; step < 30; ++step) {
            const size_t stepsBefore = book.CanUndo() ? 1 : 0;
            const bool changed = RandomChange(random, book, base, pool);
            if (changed) {
                EXPECT_TRUE(book.CanUndo());
                EXPECT_FALSE(book.CanRedo());
                seen.push_back(Now(book, base));
            } else {
                // Nothing changed and nothing was recorded; a base note
                // changes only with takes to delete.
                if (!SameState(Now(book, base), seen.back()))
                    base = seen.back().TimeSigBase;
                EXPECT_TRUE(SameState(Now(book, base), seen.back())) << "seed " << seed << " change " << step;
                EXPECT_EQ(stepsBefore != 0, book.CanUndo());
            }
        }
        ExpectAnalysisCurrent(book);
        ASSERT_GE(seen.size(), 8u) << "seed " << seed;

        for (size_t i = seen.size() - 1; i-- > 0;) {
            const std::optional<int> back = book.Undo(base);
            ASSERT_TRUE(back.has_value());
            base = *back;
            ASSERT_TRUE(SameState(Now(book, base), seen[i])) << "seed " << seed << " undo to " << i;
        }
        EXPECT_FALSE(book.CanUndo());
        EXPECT_FALSE(book.Undo(base).has_value());
        ExpectAnalysisCurrent(book);
        for (size_t i = 1; i < seen.size(); ++i) {
            const std::optional<int> forward = book.Redo(base);
            ASSERT_TRUE(forward.has_value());
            base = *forward;
            ASSERT_TRUE(SameState(Now(book, base), seen[i])) << "seed " << seed << " redo to " << i;
        }
        EXPECT_FALSE(book.CanRedo());
        ExpectAnalysisCurrent(book);

        book.Reset();
        EXPECT_EQ(0u, book.Size());
        EXPECT_FALSE(book.CanUndo());
        EXPECT_TRUE(book.Findings().Takes.empty());
    }
}

// CanRepair is what Repair then does, take by take; a repair that changes
// nothing is no step, and RepairAll changes exactly the takes CanRepair
// named, from the same analysis.
TEST(TakeBook, RepairChangesATakeExactlyWhenCanRepairSaidSo)
{
    int repaired = 0;
    for (uint32_t seed = 11; seed <= 18; ++seed) {
        TakeRandom random(seed);
        TakeBook book;
        book.Restore(GeneratedTakes(random, 5, random.Between(40, 80)));
        std::vector<bool> can;
        for (size_t i = 0; i < book.Size(); ++i)
            can.push_back(book.CanRepair(i));
        EXPECT_EQ(book.CanRepairAny(), std::find(can.begin(), can.end(), true) != can.end());
        EXPECT_FALSE(book.CanRepair(book.Size()));

        TakeBook all = book;
        const std::vector<SessionTake> before = book.Takes();
        EXPECT_EQ(all.RepairAll(2), book.CanRepairAny());
        for (size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(can[i], all.Takes()[i].Taps != before[i].Taps) << "seed " << seed << " take " << i;

        for (size_t i = 0; i < before.size(); ++i) {
            TakeBook one = book;
            const bool done = one.Repair(i, 2);
            EXPECT_EQ(can[i], done) << "seed " << seed << " take " << i;
            EXPECT_EQ(done, one.CanUndo());
            EXPECT_EQ(can[i], one.Takes()[i].Taps != before[i].Taps);
            for (size_t j = 0; j < before.size(); ++j) {
                if (j != i) {
                    EXPECT_EQ(before[j].Taps, one.Takes()[j].Taps);
                }
            }
            repaired += done ? 1 : 0;
        }
    }
    EXPECT_GT(repaired, 3);  // the generated slips gave repairs to check
}

// Every finding of a take turned down: nothing is left to repair or count.
// Of two missed beats, the one turned down stays turned down when the other
// is repaired, and undo brings back the finding and its turned-down mark.
TEST(TakeBook, TurnedDownFindingsSurviveRepairAndUndo)
{
    const auto steady = [](int beats, std::vector<int> missing) {
        Take times;
        for (int i = 0; i < beats; ++i)
            if (std::find(missing.begin(), missing.end(), i) == missing.end())
                times.push_back(static_cast<uint32_t>(i * 500 + (i % 3) * 7));
        return times;
    };
    TakeBook book;
    ASSERT_TRUE(book.Append({Listed(steady(24, {}), 0), Listed(steady(24, {}), 1), Listed(steady(24, {6, 16}), 2)},
                            2));
    ASSERT_EQ(2u, book.Findings().Takes[2].Findings.size());
    EXPECT_EQ(2, book.CountFindings(2).Missed);
    EXPECT_FALSE(book.CountFindings(0).Any());

    ASSERT_TRUE(book.ToggleFinding(2, 1, 2));
    const FindingKey down = KeyOf(book.Findings().Takes[2].Findings[1]);
    EXPECT_EQ(1, book.CountFindings(2).Missed);
    const AnalysisOptions options = book.ExportOptions(true, SmoothingNone);
    ASSERT_EQ(3u, options.Rejected.size());
    EXPECT_EQ(1u, options.Rejected[2].size());
    EXPECT_TRUE(book.ExportOptions(false, SmoothingNone).Rejected.empty());

    ASSERT_TRUE(book.CanRepair(2));
    ASSERT_TRUE(book.Repair(2, 2));
    EXPECT_EQ(23u, book.Takes()[2].Taps.size());
    ASSERT_EQ(1u, book.Takes()[2].Rejected.size());
    EXPECT_EQ(down.Kind, book.Takes()[2].Rejected[0].Kind);
    EXPECT_FALSE(book.CountFindings(2).Any());
    EXPECT_FALSE(book.CanRepair(2));
    EXPECT_FALSE(book.RepairAll(2));
    // The one left is still found, only turned down.
    ASSERT_EQ(1u, book.Findings().Takes[2].Findings.size());
    EXPECT_TRUE(KeyOf(book.Findings().Takes[2].Findings[0]) == book.Takes()[2].Rejected[0]);

    ASSERT_TRUE(book.Undo(2).has_value());
    EXPECT_EQ(22u, book.Takes()[2].Taps.size());
    EXPECT_EQ(1, book.CountFindings(2).Missed);
    EXPECT_TRUE(book.Takes()[2].Rejected[0] == down);

    // Turned down, checked out of the export: its findings leave the options.
    ASSERT_TRUE(book.SetChecked(2, false, 2));
    EXPECT_FALSE(book.SetChecked(2, false, 2));
    EXPECT_EQ(2u, book.CheckedTaps().size());
    EXPECT_EQ(2u, book.ExportOptions(true, 3).Rejected.size());
    EXPECT_EQ(3, book.ExportOptions(true, 3).Smoothing);
}

// Over generated takes: the counts are the accepted findings by kind, and
// with every finding turned down nothing is counted or repaired.
TEST(TakeBook, CountsAreTheAcceptedFindingsByKind)
{
    for (uint32_t seed = 21; seed <= 26; ++seed) {
        TakeRandom random(seed);
        TakeBook book;
        book.Restore(GeneratedTakes(random, 5, 50));
        for (size_t i = 0; i < book.Size(); ++i) {
            const std::vector<Finding> found = book.Findings().Takes[i].Findings;  // a change analyses anew
            FindingCounts counted = book.CountFindings(i);
            int beats = 0;
            for (const Finding& f : found)
                beats += f.Kind == FindingKind::Missed ? f.Beats : 1;
            EXPECT_EQ(beats, counted.Missed + counted.Extra + counted.Start + counted.Outlier);
            for (size_t f = 0; f < found.size(); ++f)
                ASSERT_TRUE(book.ToggleFinding(i, f, 0));
            EXPECT_FALSE(book.CountFindings(i).Any()) << "seed " << seed << " take " << i;
            EXPECT_FALSE(book.CanRepair(i));
        }
        EXPECT_FALSE(book.ToggleFinding(book.Size(), 0, 0));
    }
}

// The hand-over empties the slot whatever it held; a take of two or more
// taps is listed relative to its first tap at the time given, one step.
TEST(TakeBook, AddTakeToListEmptiesTheSlotAndListsOnlyRealTakes)
{
    TakeSlot slot;
    TakeBook book;
    slot.Start(Take{1000});
    EXPECT_FALSE(AddTakeToList(slot, book, "2026-12-07T10:00:00", 2));
    EXPECT_EQ(0u, slot.GetCount());
    EXPECT_EQ(0u, book.Size());
    EXPECT_FALSE(book.CanUndo());
    EXPECT_FALSE(AddTakeToList(slot, book, "2026-12-07T10:00:00", 2));

    TakeRandom random(31);
    const std::vector<double> piece = GeneratePiece(random, PieceStyle::Expressive, 40);
    Take raw = GenerateTake(random, piece, SlipKind::None).Slipped;
    for (uint32_t& tap : raw)
        tap += 123456;
    slot.Start(Take(raw));
    ASSERT_TRUE(AddTakeToList(slot, book, "2026-12-07T10:00:05", 4));
    EXPECT_EQ(0u, slot.GetCount());
    ASSERT_EQ(1u, book.Size());
    EXPECT_EQ("2026-12-07T10:00:05", book.Takes()[0].ListedAt);
    EXPECT_TRUE(book.Takes()[0].Checked);
    ASSERT_EQ(raw.size(), book.Takes()[0].Taps.size());
    for (size_t i = 0; i < raw.size(); ++i)
        EXPECT_EQ(raw[i] - raw[0], book.Takes()[0].Taps[i]);
    EXPECT_EQ(1u, book.Findings().Takes.size());
    const std::optional<int> back = book.Undo(2);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(4, *back);
    EXPECT_EQ(0u, book.Size());
}

// Takes tapped along a recording hold recording times until they are
// listed: each keeps its first as its anchor, and every later change keeps
// every tap where it was on the recording (a repair that drops or adds taps
// at the start included). Their anchors count only while the book uses
// them: then no take gets a start finding (its start is a fact), and the
// export is lined up only when asked.
TEST(TakeBook, AnchoredTakesKeepTheirTapsWhereTheyWereOnTheRecording)
{
    int repairs = 0;
    for (uint32_t set = 41; set <= 46; ++set) {
        TakeRandom random(set);
        const std::vector<double> piece = GeneratePiece(random, PieceStyle::Steady, random.Between(40, 70));
        TakeBook book;
        TakeSlot slot;
        std::vector<std::vector<int64_t>> onRecording;  // per take, every tap's recording time
        const SlipKind slips[] = {SlipKind::LateStart, SlipKind::DoubleTap, SlipKind::None, SlipKind::Missed};
        for (int i = 0; i < 4; ++i) {
            const GeneratedTake made = GenerateTake(random, piece, slips[i]);
            // Its first tap lies where its first true beat is, plus the lead-in.
            int64_t firstBeat = 0;
            for (int64_t beat : made.BeatOfTap)
                if (beat >= 0) {
                    firstBeat = beat;
                    break;
                }
            const uint32_t offset = 3000 + static_cast<uint32_t>(piece[static_cast<size_t>(firstBeat)]);
            Take raw = made.Slipped;
            std::vector<int64_t> times;
            for (uint32_t& tap : raw) {
                tap += offset;
                times.push_back(tap);
            }
            onRecording.push_back(times);
            slot.Start(raw);
            ASSERT_TRUE(AddTakeToList(slot, book, "2026-12-07T10:00:0" + std::to_string(i), 2, true));
            const SessionTake& listed = book.Takes().back();
            EXPECT_EQ(static_cast<int64_t>(offset), listed.Anchor);
            EXPECT_EQ(0u, listed.Taps.front());
        }
        ASSERT_TRUE(book.AnyAnchored());

        // Not in use: the plain analysis, and an export that ignores them.
        EXPECT_TRUE(book.ExportOptions(true, 0, true).Anchors.empty());
        EXPECT_FALSE(book.ExportOptions(true, 0, true).AlignToRecording);
        book.UseAnchors(true);
        for (const TakeAnalysis& take : book.Findings().Takes)
            for (const Finding& finding : take.Findings)
                EXPECT_NE(FindingKind::Start, finding.Kind) << "set " << set;
        const AnalysisOptions lined = book.ExportOptions(true, 0, true);
        EXPECT_TRUE(lined.AlignToRecording);
        ASSERT_EQ(book.CheckedTakes().size(), lined.Anchors.size());
        for (size_t i = 0; i < lined.Anchors.size(); ++i)
            EXPECT_EQ(book.CheckedTakes()[i]->Anchor, lined.Anchors[i]);
        EXPECT_FALSE(book.ExportOptions(true, 0, false).AlignToRecording);

        // A repair may drop or add taps; the taps it kept stay where they
        // were on the recording, so most recording times survive exactly.
        TakeBook repaired = book;
        if (repaired.RepairAll(2)) {
            for (size_t t = 0; t < repaired.Size(); ++t) {
                const SessionTake& take = repaired.Takes()[t];
                if (take.Taps == book.Takes()[t].Taps && take.Anchor == book.Takes()[t].Anchor)
                    continue;
                ++repairs;
                EXPECT_EQ(0u, take.Taps.front());
                size_t kept = 0;
                for (uint32_t tap : take.Taps)
                    kept += std::count(onRecording[t].begin(), onRecording[t].end(), take.Anchor + tap) > 0;
                EXPECT_GE(kept * 10, onRecording[t].size() * 9) << "set " << set << " take " << t;
            }
        }
        // Undo gives the anchors back with the taps.
        if (repaired.CanUndo()) {
            repaired.Undo(2);
            for (size_t t = 0; t < repaired.Size(); ++t)
                EXPECT_EQ(book.Takes()[t].Anchor, repaired.Takes()[t].Anchor);
        }

        // Dropped, they stay dropped through undo: they were places on a
        // recording that is no longer there.
        if (repaired.CanRedo()) {
            repaired.DropAnchors();
            repaired.Redo(2);
            EXPECT_FALSE(repaired.AnyAnchored());
            repaired.Undo(2);
            EXPECT_FALSE(repaired.AnyAnchored());
        }
        EXPECT_TRUE(book.DropAnchors());
        EXPECT_FALSE(book.AnyAnchored());
        EXPECT_FALSE(book.DropAnchors());
        EXPECT_TRUE(book.ExportOptions(false, 0, true).Anchors.size() == book.CheckedTakes().size());
        for (int64_t anchor : book.ExportOptions(false, 0, true).Anchors)
            EXPECT_EQ(SessionTake::NoAnchor, anchor);
    }
    EXPECT_GT(repairs, 2);  // the slips gave repairs to check
}

// A stray tap beside a take's first beat, repaired away (whichever of the
// two the analysis calls extra): every tap left keeps its time on the
// recording, the anchor following the take's first tap.
TEST(TakeBook, ARepairAtTheStartKeepsEveryTapOnItsRecordingTime)
{
    for (uint32_t stray : {100u, 230u}) {
        TakeRandom random(5);
        TakeBook book;
        TakeSlot slot;
        for (int i = 0; i < 4; ++i) {
            Take raw;
            if (i == 3)
                raw.push_back(10000 - stray);
            for (int beat = 0; beat < 48; ++beat)
                raw.push_back(static_cast<uint32_t>(10000 + beat * 500 + random.Between(-12, 12)));
            slot.Start(raw);
            ASSERT_TRUE(AddTakeToList(slot, book, "2026-12-07T10:00:0" + std::to_string(i), 2, true));
        }
        book.UseAnchors(true);
        const SessionTake before = book.Takes()[3];
        ASSERT_TRUE(book.Repair(3, 2)) << "the stray tap was not found";
        const SessionTake& after = book.Takes()[3];
        EXPECT_EQ(0u, after.Taps.front());
        ASSERT_EQ(before.Taps.size() - 1, after.Taps.size());
        std::vector<int64_t> was;
        for (uint32_t tap : before.Taps)
            was.push_back(before.Anchor + tap);
        for (size_t i = 0; i < after.Taps.size(); ++i)
            EXPECT_NE(was.end(), std::find(was.begin(), was.end(), after.Anchor + after.Taps[i])) << "tap " << i;
    }
}

// Beats moved by hand: a step each, the same beat moved again keeps the
// time it was first named by, undo gives the edits back, and they go with
// the recording's anchors.
TEST(TakeBook, BeatEditsAreStepsAndGoWithTheAnchors)
{
    TakeBook book;
    TakeSlot slot;
    slot.Start(Take{2000, 2500, 3000, 3500});
    ASSERT_TRUE(AddTakeToList(slot, book, "2026-12-07T10:00:00", 2, true));
    book.UseAnchors(true);
    EXPECT_FALSE(book.EditBeat(2500000, 2500000, 2)) << "a move to where it is";
    ASSERT_TRUE(book.EditBeat(2500000, 2480000, 2));
    ASSERT_TRUE(book.EditBeat(2480000, 2470000, 2));
    EXPECT_EQ((std::vector<BeatEdit>{{2500000, 2470000}}), book.Edits());
    ASSERT_TRUE(book.EditBeat(3000000, 3010000, 2));
    EXPECT_EQ(2u, book.Edits().size());
    EXPECT_FALSE(book.ResetBeat(2600000, 2)) << "no edit left a beat there";
    ASSERT_TRUE(book.ResetBeat(2470000, 2));
    EXPECT_EQ((std::vector<BeatEdit>{{3000000, 3010000}}), book.Edits());
    book.Undo(2);
    EXPECT_EQ(2u, book.Edits().size());
    book.Undo(2);
    book.Undo(2);
    EXPECT_EQ((std::vector<BeatEdit>{{2500000, 2480000}}), book.Edits());
    EXPECT_TRUE(book.DropAnchors());
    EXPECT_TRUE(book.Edits().empty());
    while (book.CanUndo())
        book.Undo(2);
    EXPECT_TRUE(book.Edits().empty()) << "undo brought edits back onto another recording";
    EXPECT_FALSE(book.AnyAnchored());
}

}  // namespace
