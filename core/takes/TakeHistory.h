// Undo and redo for the list of takes: every change the musician makes to
// the list (a take added, imported or opened, deleted, repaired, checked or
// unchecked, a finding accepted or turned down, all takes deleted for a new
// base note) is one step, recorded as the whole list as it was before.
// Restoring a step gives back exactly those takes, their order, check marks
// and turned-down findings, and the base note they were tapped to.
//
// Whole states rather than inverse operations: a step is then restored
// exactly whatever the change was, and the takes are small (a few hundred
// taps each, 4 bytes a tap). The history is bounded both in steps and in
// the taps it holds, dropping the oldest steps first, so a session of very
// long takes keeps fewer steps instead of growing without end.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

#include "Session.h"

struct ListState {
    std::vector<SessionTake> Takes;
    int TimeSigBase = DefaultTimeSigBase;  // the base note's exponent the takes were tapped to
};

class TakeHistory {
public:
    static constexpr size_t DefaultMaxSteps = 100;
    static constexpr size_t DefaultMaxTaps = size_t{16} << 20;  // 64 MiB of tap times

    explicit TakeHistory(size_t maxSteps = DefaultMaxSteps, size_t maxTaps = DefaultMaxTaps);

    // The state before a change; forgets what could be redone.
    void Record(ListState before);
    // Given the state now: the state to go back (or forward) to, or nothing
    // when there is no step. The state now becomes the step in the other
    // direction.
    std::optional<ListState> Undo(ListState now);
    std::optional<ListState> Redo(ListState now);

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    size_t UndoSteps() const { return undo_.size(); }
    void Clear();
    // Forgets the anchors of the takes in every step: they were places on a
    // recording that is no longer the session's, and undo must not bring
    // them back onto another one.
    void DropAnchors();

private:
    void Trim();
    // Takes the newest state off `from` and puts `now` on `to`.
    std::optional<ListState> Step(std::deque<ListState>& from, std::deque<ListState>& to, ListState now);
    size_t maxSteps_;
    size_t maxTaps_;
    std::deque<ListState> undo_;  // newest at the back
    std::deque<ListState> redo_;  // newest at the back
};
