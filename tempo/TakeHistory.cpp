#include "TakeHistory.h"

#include <utility>

namespace {

size_t TapsOf(const ListState& state)
{
    size_t taps = 0;
    for (const SessionTake& take : state.Takes)
        taps += take.Taps.size();
    return taps;
}

size_t TapsOf(const std::deque<ListState>& states)
{
    size_t taps = 0;
    for (const ListState& state : states)
        taps += TapsOf(state);
    return taps;
}

}  // namespace

TakeHistory::TakeHistory(size_t maxSteps, size_t maxTaps) : maxSteps_(maxSteps), maxTaps_(maxTaps) {}

void TakeHistory::Record(ListState before)
{
    redo_.clear();
    undo_.push_back(std::move(before));
    Trim();
}

std::optional<ListState> TakeHistory::Undo(ListState now)
{
    if (undo_.empty())
        return std::nullopt;
    ListState back = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back(std::move(now));
    Trim();
    return back;
}

std::optional<ListState> TakeHistory::Redo(ListState now)
{
    if (redo_.empty())
        return std::nullopt;
    ListState forward = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back(std::move(now));
    Trim();
    return forward;
}

void TakeHistory::Clear()
{
    undo_.clear();
    redo_.clear();
}

// The oldest undo steps go first; the redo steps only when the undo steps
// are gone and they alone are over the bound (the newest step is kept even
// then: losing the step just made would surprise more than the memory).
void TakeHistory::Trim()
{
    while (undo_.size() + redo_.size() > maxSteps_ && !undo_.empty())
        undo_.pop_front();
    size_t taps = TapsOf(undo_) + TapsOf(redo_);
    while (taps > maxTaps_ && undo_.size() + redo_.size() > 1) {
        std::deque<ListState>& from = undo_.size() > (redo_.empty() ? 1u : 0u) ? undo_ : redo_;
        taps -= TapsOf(from.front());
        from.pop_front();
    }
}
