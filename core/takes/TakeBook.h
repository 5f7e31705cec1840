// The listed takes as the musician keeps them while the program runs: the
// takes in their order (each with its listed time, taps, check mark and the
// findings turned down), the undo history of the changes made to them, the
// tap analysis of every listed take and, per take, whether a repair with its
// accepted findings would change it.
//
// Every change is one operation here, and each one that changes something
// records the takes as they were (with the base note they were tapped to)
// as one step to undo, analyses the takes again and reports true; one that
// would change nothing records nothing and reports false. Restoring the
// takes kept from the last run records nothing: there is no list before it
// to go back to.
//
// Portable: the Windows list only draws a book, and the main window runs
// every change (book, then session, then what is shown). The base note is
// the caller's; it is given to each change so that a step keeps it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Session.h"
#include "Take.h"
#include "TakeHistory.h"
#include "TapAnalysis.h"
#include "TempoMap.h"
#include "TempoPipeline.h"

// A take's accepted findings counted by kind (missed beats by the beats
// missing), as the list's tooltip names them ("抜け1 余分1").
struct FindingCounts {
    int Missed = 0;
    int Extra = 0;
    int Start = 0;
    int Outlier = 0;
    bool Any() const { return Missed + Extra + Start + Outlier > 0; }
};

class TakeBook {
public:
    explicit TakeBook(TakeHistory history = TakeHistory());

    // The listed takes, in order.
    const std::vector<SessionTake>& Takes() const { return takes_; }
    size_t Size() const { return takes_.size(); }
    // The taps of every listed take, and of the checked ones (those that are
    // exported), in order. Valid until the next change.
    TakeList ListedTaps() const;
    TakeList CheckedTaps() const;
    std::vector<const SessionTake*> CheckedTakes() const;

    // The analysis of every listed take, in order, as of the last change.
    const Analysis& Findings() const { return analysis_; }
    // The accepted findings of take `index` (nothing for no such take).
    std::vector<bool> Accepted(size_t index) const;
    FindingCounts CountFindings(size_t index) const;
    // What the export runs with: repair and smoothing as given, and with
    // repair the findings turned down in the checked takes (in the order of
    // CheckedTaps).
    AnalysisOptions ExportOptions(bool repair, int smoothing) const;
    // The same for takes tapped along the open recording: with the anchors of
    // the checked takes while anchors are in use, and the map lined up with
    // the recording's start when `alignToRecording`.
    AnalysisOptions ExportOptions(bool repair, int smoothing, bool alignToRecording) const;

    // Whether the takes' anchors (their places on a recording's timeline)
    // count: while the recording they were tapped along is open. The
    // analysis then places anchored takes by those times. A change of it
    // analyses again, and is no step to undo: the takes stay as they are.
    void UseAnchors(bool use);
    bool UsesAnchors() const { return useAnchors_; }
    bool AnyAnchored() const;
    // Forgets every take's anchor, in the undo history too (another
    // recording is opened, or the one they were tapped along closed); false
    // when no listed take had one. No step to undo: the taps stay as they
    // are.
    bool DropAnchors();

    // Whether a repair with the take's accepted findings would change it;
    // worked out once per take and analysis.
    bool CanRepair(size_t index) const;
    bool CanRepairAny() const;
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }

    // The changes. `timeSigBase` is the base note now, kept with the step.
    // Appends the takes of two or more taps (already relative to their first
    // tap); false when there is none.
    bool Append(std::vector<SessionTake> takes, int timeSigBase);
    bool Delete(size_t index, int timeSigBase);
    bool Clear(int timeSigBase);
    bool SetChecked(size_t index, bool checked, int timeSigBase);
    // Repairs the take (or every take, all from the analysis the user saw)
    // with its accepted findings; the findings turned down stay turned down
    // at the taps the repair moved them to.
    bool Repair(size_t index, int timeSigBase);
    bool RepairAll(int timeSigBase);
    // Turns down an accepted finding of the take or accepts a turned-down
    // one (the finding's index in Findings()).
    bool ToggleFinding(size_t index, size_t finding, int timeSigBase);
    // A new base note: the takes, tapped to the old one (`oldTimeSigBase`),
    // are deleted in one step that keeps the old note. False without takes.
    bool ClearForBaseNote(int oldTimeSigBase);

    // Undo and redo: the takes as the step holds them; the base note the
    // step holds is returned, for the caller to put back. Nothing when
    // there is no step.
    std::optional<int> Undo(int timeSigBase);
    std::optional<int> Redo(int timeSigBase);

    // The takes kept from the last run, after those listed (none at
    // start-up); no step to undo. Takes of fewer than two taps are left out.
    // False when nothing was added.
    bool Restore(std::vector<SessionTake> takes);
    // Forgets every take and step (a new main window).
    void Reset();

private:
    void Record(int timeSigBase);
    void Analyse();
    std::optional<int> Back(std::optional<ListState> state);
    // The take repaired with its accepted findings; false when that would
    // not change it.
    bool Repaired(size_t index, SessionTake& repaired) const;

    std::vector<int64_t> Anchors() const;

    std::vector<SessionTake> takes_;
    TakeHistory history_;
    bool useAnchors_ = false;
    Analysis analysis_;
    // Per take: -1 not yet asked since the last analysis, 0 or 1.
    mutable std::vector<int> repairable_;
};

// The hand-over of a tapped take: the slot is emptied first (a late MIDI tap
// then finds no take to append to); a take of two or more taps is made
// relative to its first tap and appended to the book as a new take listed
// at `listedAt`, one step to undo; a shorter one is dropped. True when a
// take was listed. A take `anchored` on a recording holds recording times
// (ms from its first sample) and keeps its first as its anchor.
bool AddTakeToList(TakeSlot& slot, TakeBook& book, std::string listedAt, int timeSigBase, bool anchored = false);
