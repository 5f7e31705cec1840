#include "TapAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "Consensus.h"
#include "RobustStatistics.h"
#include "StartMatching.h"
#include "TapReading.h"

using namespace tap_analysis;

namespace {

// How many times every take is read again against the consensus.
constexpr int ConsensusRounds = 1;
// How far the clock that sets a take against the consensus grid may move
// from one tap to the next, in milliseconds.
constexpr double ClockStep = 8.0;
// A tap goes on the grid beat after its predecessor's unless a later beat
// is nearer by more than this share of the beat between them: a tap half a
// short beat late (a half-beat that every take taps) is as near the next
// beat as its own, and taps come one a beat.
constexpr double SequenceMargin = 0.2;
// An outlier lies this many times the take's own scatter off the line
// between its neighbours, and at least this share of a beat.
constexpr double OutlierSigmas = 8.0;
constexpr double OutlierBeatShare = 0.15;
// Alone, a take's expected tap comes from its own neighbours, and a beat
// that expressive music stretches or shortens moves its tap as far as a
// slip would: only a tap off by more than this share of a beat (a third of
// a beat is still found) is an outlier.
constexpr double OutlierBeatShareAlone = 0.3;
constexpr double OutlierSpanAlone = 0.12;

// Outliers: kept taps between two kept single-beat neighbours that lie far
// off the line between them (the line split in the consensus' proportions).
void FindOutliers(const Take& take, const TakeAnalysis& result, const std::vector<double>& lengths,
                  double beatShare, std::vector<Finding>& outliers)
{
    struct Candidate {
        size_t tap;
        double offBy;
        double beat;
        double span;  // the two beats around the tap against what is expected of them
    };
    std::vector<Candidate> candidates;
    const std::vector<int64_t>& beat = result.BeatOfTap;
    const auto lengthOf = [&](int64_t j) {
        return j >= 0 && j < static_cast<int64_t>(lengths.size()) ? lengths[static_cast<size_t>(j)] : 0.0;
    };
    size_t previous = take.size();
    size_t current = take.size();
    for (size_t i = 0; i < take.size(); ++i) {
        if (beat[i] == ExtraTap)
            continue;
        if (previous < take.size() && beat[current] == beat[previous] + 1 && beat[i] == beat[current] + 1) {
            const double before = lengthOf(beat[previous]);
            const double after = lengthOf(beat[current]);
            if (before > 0.0 && after > 0.0) {
                const double expected = static_cast<double>(take[previous]) +
                                        Interval(take, previous, i) * (before / (before + after));
                candidates.push_back(Candidate{current, static_cast<double>(take[current]) - expected,
                                               (before + after) * 0.5, Interval(take, previous, i) / (before + after)});
            }
        }
        previous = current;
        current = i;
    }
    if (candidates.size() < 8)
        return;
    std::vector<double> deviations;
    for (const Candidate& c : candidates)
        deviations.push_back(c.offBy);
    const double scale = RobustScale(deviations);
    // Alone, a tap is displaced only where the two beats around it keep
    // their length together: a held or shortened beat changes it.
    const bool alone = beatShare == OutlierBeatShareAlone;
    for (const Candidate& c : candidates)
        if (std::fabs(c.offBy) > std::max(OutlierSigmas * scale, beatShare * c.beat) &&
            (!alone || std::fabs(c.span - 1.0) <= OutlierSpanAlone))
            outliers.push_back(Finding{FindingKind::Outlier, static_cast<int64_t>(c.tap), 1});
}

bool TapOrder(const Finding& a, const Finding& b)
{
    if ((a.Kind == FindingKind::Start) != (b.Kind == FindingKind::Start))
        return a.Kind == FindingKind::Start;
    return a.Tap < b.Tap;
}

}  // namespace

const char* FindingKindName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::Missed:
        return "missed";
    case FindingKind::Extra:
        return "extra";
    case FindingKind::Start:
        return "start";
    case FindingKind::Outlier:
        return "outlier";
    }
    return "?";
}

namespace {

// Where the taps of anchored takes fall against each other: each take's
// first tap on the beat of the earliest anchored take (the reference) whose
// tap lies nearest it in recording time, past its last tap by its typical
// beat. A late start is then a fact of the recording, not a guess from the
// intervals. `starts` keeps the reference's matched start, so unanchored
// takes stay placed against it by their intervals.
void PlaceAnchoredTakes(const TakeList& takes, const std::vector<int64_t>& anchors, const std::vector<Reading>& readings,
                        const std::vector<bool>& usable, std::vector<int64_t>& starts, std::vector<bool>& undetermined)
{
    size_t reference = takes.size();
    for (size_t m = 0; m < takes.size(); ++m)
        if (usable[m] && anchors[m] >= 0 && (reference == takes.size() || anchors[m] < anchors[reference]))
            reference = m;
    if (reference == takes.size())
        return;
    const Take& ref = *takes[reference];
    const Reading& reading = readings[reference];
    std::vector<double> kept;
    std::vector<int64_t> beatOf;
    for (size_t i = 0; i < ref.size(); ++i)
        if (reading.beat[i] >= 0) {
            kept.push_back(static_cast<double>(ref[i]));
            beatOf.push_back(reading.beat[i]);
        }
    std::vector<double> lengths;
    for (size_t i = 0; i + 1 < kept.size(); ++i)
        lengths.push_back((kept[i + 1] - kept[i]) / static_cast<double>(beatOf[i + 1] - beatOf[i]));
    const double beat = lengths.empty() ? 0.0 : Median(lengths);
    for (size_t m = 0; m < takes.size(); ++m) {
        if (!usable[m] || anchors[m] < 0)
            continue;
        undetermined[m] = false;
        const double at = static_cast<double>(anchors[m] - anchors[reference]);
        size_t nearest = 0;
        for (size_t i = 1; i < kept.size(); ++i)
            if (std::fabs(kept[i] - at) < std::fabs(kept[nearest] - at))
                nearest = i;
        int64_t beats = beatOf[nearest];
        if (at > kept.back() && beat > 0.0)
            beats = beatOf.back() + static_cast<int64_t>(std::floor((at - kept.back()) / beat + 0.5));
        starts[m] = starts[reference] + beats;
    }
}

// The stages in order, on the takes in the order given. `anchors`: for each
// take its first tap's time on the recording, or a negative value.
Analysis AnalyzeInOrder(const TakeList& takes, const std::vector<int64_t>& anchors)
{
    const size_t count = takes.size();
    Analysis analysis;
    analysis.Takes.resize(count);

    // Each take on its own.
    std::vector<Reading> readings(count);
    std::vector<bool> usable(count, false);
    size_t usableCount = 0;
    for (size_t m = 0; m < count; ++m) {
        if (takes[m]->size() < 2)
            continue;
        usable[m] = true;
        ++usableCount;
        readings[m] = ReadAlone(*takes[m]);
    }

    // A take alone: only what it shows clearly. With other takes the
    // consensus tells a held beat from a missed tap; alone, it cannot.
    if (usableCount == 1)
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                readings[m] = KeepClearFindingsAlone(*takes[m], readings[m]);

    // Starts: the takes' openings matched pair by pair.
    std::vector<int64_t> starts(count, 0);
    std::vector<bool> undetermined(count, false);
    if (usableCount >= 2) {
        std::vector<Opening> openings(count);
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                openings[m] = OpeningLengths(*takes[m], readings[m]);
        starts = MatchAllStarts(openings, usable, &undetermined);
        PlaceAnchoredTakes(takes, anchors, readings, usable, starts, undetermined);
        // The grid starts at the earliest start two takes share: coming in
        // late is common, a tap before the music is not, so one take alone
        // starting earlier than the rest started early. When no two takes
        // share a start, the earliest is the grid's.
        std::vector<int64_t> order;
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                order.push_back(starts[m]);
        std::sort(order.begin(), order.end());
        int64_t origin = order.front();
        for (size_t i = 0; i + 1 < order.size(); ++i)
            if (order[i] == order[i + 1]) {
                origin = order[i];
                break;
            }
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                starts[m] -= origin;
        KeepSharedLongBeats(takes, readings, starts);
        KeepSharedShortBeats(takes, readings, starts);
    }

    int64_t beats = 0;  // grid beats: lengths, one fewer than beat times
    for (size_t m = 0; m < count; ++m)
        if (usable[m])
            beats = std::max(beats, starts[m] + *std::max_element(readings[m].beat.begin(), readings[m].beat.end()));

    // Every take again, against the consensus of all.
    for (int round = 0; round < ConsensusRounds && usableCount >= 2; ++round) {
        const std::vector<double> lengths = ConsensusLengths(takes, readings, starts, beats);
        const std::vector<double> grid = GridTimes(lengths);
        for (size_t m = 0; m < count; ++m) {
            if (!usable[m])
                continue;
            const Take& take = *takes[m];
            // Each tap's grid beat is the one nearest to it in time, once the
            // take's clock is set against the grid's. The clock is set by the
            // first tap (on the take's start beat) and then follows the taps'
            // offsets by at most ClockStep a tap, so it tracks a slow drift
            // but neither one tap far off nor a run of them.
            Expectation expect;
            expect.consensus = true;
            expect.tolerance = ConsensusTolerance;
            expect.grid = &grid;
            expect.gridBeat.resize(take.size());
            // The grid carried on past its ends, as far as this take
            // reaches.
            const int64_t lastBeat =
                static_cast<int64_t>(grid.size()) - 1 + static_cast<int64_t>(take.size());
            int64_t j = starts[m];
            double clock = static_cast<double>(take[0]) - GridTime(grid, j);
            for (size_t i = 0; i < take.size(); ++i) {
                const double at = static_cast<double>(take[i]) - clock;
                const int64_t base = j;
                while (j + 1 <= lastBeat) {
                    const double margin = j > base ? SequenceMargin * (GridTime(grid, j + 1) - GridTime(grid, j)) : 0.0;
                    if (!(GridTime(grid, j + 1) - at + margin < at - GridTime(grid, j)))
                        break;
                    ++j;
                }
                expect.gridBeat[i] = j;
                const double off = static_cast<double>(take[i]) - GridTime(grid, j) - clock;
                clock += std::clamp(off, -ClockStep, ClockStep);
            }
            readings[m] = Read(take, expect);
        }
        KeepSharedLongBeats(takes, readings, starts);
        KeepSharedShortBeats(takes, readings, starts);
        beats = 0;
        for (size_t m = 0; m < count; ++m)
            if (usable[m])
                beats = std::max(beats,
                                 starts[m] + *std::max_element(readings[m].beat.begin(), readings[m].beat.end()));
    }

    analysis.BeatIntervals = ConsensusLengths(takes, readings, starts, std::max<int64_t>(beats, 0));
    // Where a tap is expected between its neighbours: from three takes on
    // the consensus, which one tap far off does not move; with fewer, the
    // beat lengths around it (a median of seven), as its own intervals
    // would put it exactly where it is.
    std::vector<double> expectedLengths = analysis.BeatIntervals;
    if (usableCount < 3) {
        std::vector<double> window;
        for (size_t j = 0; j < expectedLengths.size(); ++j) {
            const size_t lo = j >= 3 ? j - 3 : 0;
            const size_t hi = std::min(analysis.BeatIntervals.size(), j + 4);
            window.assign(analysis.BeatIntervals.begin() + static_cast<std::ptrdiff_t>(lo),
                          analysis.BeatIntervals.begin() + static_cast<std::ptrdiff_t>(hi));
            expectedLengths[j] = Median(window);
        }
    }
    for (size_t m = 0; m < count; ++m) {
        if (!usable[m])
            continue;
        TakeAnalysis& result = analysis.Takes[m];
        result.StartBeat = starts[m];
        result.StartUndetermined = undetermined[m];
        result.BeatOfTap.resize(takes[m]->size());
        for (size_t i = 0; i < takes[m]->size(); ++i)
            result.BeatOfTap[i] = readings[m].beat[i] < 0 ? ExtraTap : starts[m] + readings[m].beat[i];
        // An anchored take's start is where it was tapped on the recording:
        // nothing to suggest.
        result.Anchored = anchors[m] >= 0;
        if (starts[m] != 0 && !undetermined[m] && !result.Anchored)
            result.Findings.push_back(Finding{FindingKind::Start, starts[m], 1});
        result.Findings.insert(result.Findings.end(), readings[m].findings.begin(), readings[m].findings.end());
        FindOutliers(*takes[m], result, expectedLengths, usableCount == 1 ? OutlierBeatShareAlone : OutlierBeatShare,
                     result.Findings);
        std::stable_sort(result.Findings.begin(), result.Findings.end(), TapOrder);
    }
    return analysis;
}

}  // namespace

std::vector<size_t> CanonicalTakeOrder(const TakeList& takes)
{
    std::vector<size_t> order(takes.size());
    for (size_t m = 0; m < order.size(); ++m)
        order[m] = m;
    // By content: the same takes in any order come out in one order. Equal
    // takes keep their list order, which cannot change a result.
    std::stable_sort(order.begin(), order.end(), [&takes](size_t a, size_t b) {
        const Take& x = *takes[a];
        const Take& y = *takes[b];
        if (x.size() != y.size())
            return x.size() > y.size();
        return x < y;
    });
    return order;
}

Analysis AnalyzeTakes(const TakeList& takes)
{
    return AnalyzeTakes(takes, std::vector<int64_t>());
}

Analysis AnalyzeTakes(const TakeList& takes, const std::vector<int64_t>& anchors)
{
    // Wherever the evidence leaves a choice open (two starts that fit the
    // same), the stages settle it by the order of the takes. Working in an
    // order of their own makes the findings of every take the same whatever
    // the list's order.
    const std::vector<size_t> order = CanonicalTakeOrder(takes);
    TakeList canonical;
    canonical.reserve(takes.size());
    std::vector<int64_t> canonicalAnchors;
    for (size_t m : order) {
        canonical.push_back(takes[m]);
        canonicalAnchors.push_back(m < anchors.size() ? anchors[m] : -1);
    }
    Analysis inner = AnalyzeInOrder(canonical, canonicalAnchors);
    Analysis analysis;
    analysis.BeatIntervals = std::move(inner.BeatIntervals);
    analysis.Takes.resize(takes.size());
    for (size_t i = 0; i < order.size(); ++i)
        analysis.Takes[order[i]] = std::move(inner.Takes[i]);
    return analysis;
}
