// Tap analysis: which beat of one common beat grid each tap of each take
// belongs to, what went wrong while tapping (a missed beat, an extra tap, a
// take that came in late or early, a tap far off its beat), and takes
// repaired onto that grid.
//
// How it decides:
// - Every take is first read on its own, against its own local tempo (the
//   median of the neighbouring intervals). A small dynamic programme over
//   the taps chooses, for each interval, whether it spans one beat or more
//   (missed taps) and whether a tap is to be dropped (an extra tap), scoring
//   each choice by how far the intervals then lie from what is expected, in
//   units of the take's own scatter, plus a fixed price per finding. The
//   price makes a finding the exception: an interval must be much closer to
//   two beats than to one before it is called a missed tap, so clean takes,
//   jitter and rubato give none.
// - With several takes, their starts are matched: the beat-by-beat
//   intervals of two takes are compared at shifts of up to MaxStartShift
//   beats (letting the two come apart and rejoin where one interval of one
//   take spans two of the other's, a missed or an extra tap), and a shift
//   other than 0 is taken only when it fits clearly and significantly
//   better, and the placing that agrees with most of the evidence over all
//   pairs wins. The common grid starts at the earliest
//   start two takes share (coming in late is common, a tap before the music
//   is not); a take starting after it came in late, one before it started
//   early.
// - A take alone keeps only the findings it shows clearly: an interval
//   within its own scatter of whole beats in a steady stretch. A held or
//   shortened beat of expressive music is music to it.
// - Takes tapped along a recording (anchored: AnalyzeTakes with anchors)
//   are placed against each other by their first taps' times on it: a late
//   start is a fact, so they get no start finding, and nothing is filled in
//   before their first tap. Takes without an anchor are matched to them by
//   their intervals as to any take.
// - Starts are tested against the closest rival placing too, not only
//   against 0: where a beat or two off fits about as well (steady music),
//   the start is undetermined and no start finding is made.
// - What most takes agree on is music, not a slip: a long beat that the
//   majority of the takes covering it also hold long (a fermata) is not a
//   missed tap in any of them, and a short beat (a tap another reading
//   dropped as extra) that most of them also tap is a beat of its own.
// - The stages run on the takes in an order of their own content, so the
//   findings do not depend on the list's order.
// - The consensus interval of every grid beat (a robust average over the
//   takes) then serves as the expected tempo, and every take is read again
//   against it: this second reading gives the findings.
//
// Repair, applied to the findings a caller accepts:
// - an extra tap is dropped;
// - a missed beat is filled in between its neighbours, splitting their
//   interval in the proportions of the consensus beat lengths (with one
//   take, of the beat lengths on either side of the gap);
// - a take that came in late gets its first beats filled in before its first
//   tap from the consensus, so that its first tap lands on its own grid beat;
// - a take that started early loses the taps before the grid's first beat:
//   the other takes never tapped those beats, and the tempo map starts where
//   the takes agree the piece starts;
// - outliers are advice only and never change a take.
// A repaired take is a plain take again: whole milliseconds (filled-in taps
// rounded to the nearest), the first at 0. A take without accepted findings
// comes back unchanged.
//
// Everything that decides a time uses + - * / and sqrt only, in a fixed
// order, so every build gives the same bytes.
//
// This header is the analysis' face to its callers; the stages live in
// files of their own: TapReading (one take read against what is expected of
// it), StartMatching (the takes' starts against each other), Consensus (the
// grid beat lengths the takes agree on, and the long beats they share),
// TapAnalysis.cpp (the stages in order, and the outliers), TakeRepair,
// AlignedAverage, and TapMonitor (the tap dialog's check); RobustStatistics
// holds the statistics they share with the smoothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Take.h"
#include "TapMonitor.h"
#include "TempoMap.h"

enum class FindingKind { Missed, Extra, Start, Outlier };

// The words metrova-cli prints: "missed", "extra", "start", "outlier".
const char* FindingKindName(FindingKind kind);

struct Finding {
    FindingKind Kind = FindingKind::Missed;
    // Missed: the tap after which beats are missing; Extra and Outlier: the
    // tap itself (0-based, in the take as given). Start: the grid beat on
    // which the take's first tap falls, positive when late, negative when
    // early.
    int64_t Tap = 0;
    int Beats = 1;  // Missed: how many beats are missing after the tap
};

// What names a finding across analyses of changing sets of takes: its kind
// and its tap. A take keeps the keys of the findings the musician turned
// down, so that they stay turned down when other takes are added or removed
// and the findings are computed again. A take has at most one start
// finding, and the beat it names moves with the other takes (the grid's
// first beat is where they agree the piece starts), so a start is named by
// its kind alone (Tap 0).
struct FindingKey {
    FindingKind Kind = FindingKind::Missed;
    int64_t Tap = 0;
    friend bool operator==(const FindingKey& a, const FindingKey& b) { return a.Kind == b.Kind && a.Tap == b.Tap; }
};
inline FindingKey KeyOf(const Finding& finding)
{
    return FindingKey{finding.Kind, finding.Kind == FindingKind::Start ? 0 : finding.Tap};
}

// The turned-down keys of a take after it was repaired with other findings:
// each tap key moved to where its tap went (`placeOfTap`, from RepairTake),
// dropped when its tap was dropped; a start key kept.
std::vector<FindingKey> CarryRejected(const std::vector<FindingKey>& rejected,
                                      const std::vector<int64_t>& placeOfTap);

// The beat of a tap that belongs to no beat.
constexpr int64_t ExtraTap = INT64_MIN;

struct TakeAnalysis {
    std::vector<Finding> Findings;  // in tap order; Start, when any, first
    // Grid beat of every tap; ExtraTap for an extra tap. The grid's beat 0
    // is the first beat of the piece as the takes agree on it, so the taps
    // of a take that started early have negative beats.
    std::vector<int64_t> BeatOfTap;
    int64_t StartBeat = 0;
    // The taps cannot tell on which beat the take came in: every placing
    // against the other takes fits about as well as its closest rival (in
    // steady music a beat or two off fits nearly as well). The take is then
    // placed where the others' evidence puts it, and no start finding is
    // made from a placing that is no claim.
    bool StartUndetermined = false;
    // Tapped along the recording: its start is placed by its time on the
    // recording, and it gets no start finding.
    bool Anchored = false;
};

struct Analysis {
    std::vector<TakeAnalysis> Takes;  // one per take, in list order
    // Consensus length of grid beat j (from beat j to beat j + 1) in
    // milliseconds, for every beat that some take covers.
    std::vector<double> BeatIntervals;
};

// For each finding of `analysis`, whether it is accepted: every finding
// whose key is not in `rejected`.
std::vector<bool> AcceptedFindings(const TakeAnalysis& analysis, const std::vector<FindingKey>& rejected);

// Analyses the takes (each relative to its first tap). Takes of fewer than
// two taps are passed over: no findings, no beats. The result is in list
// order, but does not depend on it: the stages run on the takes in their
// CanonicalTakeOrder, so the same takes in any order get the same findings.
Analysis AnalyzeTakes(const TakeList& takes);
// The same for takes of which some were tapped along one recording:
// `anchors[m]` is the time of take m's first tap on it in milliseconds, or
// negative (and missing entries) for a take without one. Anchored takes are
// placed against each other by those times, not by their intervals;
// unanchored ones are matched to them as to any take.
Analysis AnalyzeTakes(const TakeList& takes, const std::vector<int64_t>& anchors);

// The indices of `takes` in an order that depends on their content alone:
// the longest first, takes of one length by their times.
std::vector<size_t> CanonicalTakeOrder(const TakeList& takes);

// The take repaired with the findings whose entries in `accepted` are true
// (all of them when `accepted` is null). Needs the analysis of the same
// takes; `index` is the take's place in them. `placeOfTap`, when given,
// receives for every tap of the take its index in the repaired take, or -1
// when the repair dropped it.
Take RepairTake(const TakeList& takes, const Analysis& analysis, size_t index,
                const std::vector<bool>* accepted = nullptr, std::vector<int64_t>* placeOfTap = nullptr);

// Beat times of takes that all start on beat 0 and hold one tap per beat
// (repaired takes), averaged by beat: each take set off by the constant that
// its first tap's error puts between it and the others (the median of its
// differences from the plain mean), then beat by beat the robust mean of the
// times (the mean of the middle values, the outer fifth on each side set
// aside, at least one, from three takes on), from 0.
std::vector<double> AverageAlignedTakes(const TakeList& aligned);
// The same for takes whose first times lie on grid beats `firstBeats[m]`
// (anchored takes not filled in before their first tap): the times from the
// earliest of those beats on.
std::vector<double> AverageAlignedTakes(const TakeList& aligned, const std::vector<int64_t>& firstBeats);
