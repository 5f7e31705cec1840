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
    return Step(undo_, redo_, std::move(now));
}

std::optional<ListState> TakeHistory::Redo(ListState now)
{
    return Step(redo_, undo_, std::move(now));
}

std::optional<ListState> TakeHistory::Step(std::deque<ListState>& from, std::deque<ListState>& to, ListState now)
{
    if (from.empty())
        return std::nullopt;
    ListState state = std::move(from.back());
    from.pop_back();
    to.push_back(std::move(now));
    Trim();
    return state;
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

void TakeHistory::DropAnchors()
{
    for (std::deque<ListState>* steps : {&undo_, &redo_})
        for (ListState& state : *steps)
            for (SessionTake& take : state.Takes)
                take.Anchor = SessionTake::NoAnchor;
}
