#include "TakeBook.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

TakeBook::TakeBook(TakeHistory history) : history_(std::move(history)) {}

TakeList TakeBook::ListedTaps() const
{
    TakeList taps;
    taps.reserve(takes_.size());
    for (const SessionTake& take : takes_)
        taps.push_back(&take.Taps);
    return taps;
}

TakeList TakeBook::CheckedTaps() const
{
    TakeList taps;
    for (const SessionTake* take : CheckedTakes())
        taps.push_back(&take->Taps);
    return taps;
}

std::vector<const SessionTake*> TakeBook::CheckedTakes() const
{
    std::vector<const SessionTake*> checked;
    for (const SessionTake& take : takes_)
        if (take.Checked)
            checked.push_back(&take);
    return checked;
}

std::vector<bool> TakeBook::Accepted(size_t index) const
{
    if (index >= takes_.size() || index >= analysis_.Takes.size())
        return std::vector<bool>();
    return AcceptedFindings(analysis_.Takes[index], takes_[index].Rejected);
}

FindingCounts TakeBook::CountFindings(size_t index) const
{
    FindingCounts counts;
    const std::vector<bool> accepted = Accepted(index);
    for (size_t i = 0; i < accepted.size(); ++i) {
        if (!accepted[i])
            continue;
        const Finding& found = analysis_.Takes[index].Findings[i];
        switch (found.Kind) {
        case FindingKind::Missed:
            counts.Missed += found.Beats;
            break;
        case FindingKind::Extra:
            ++counts.Extra;
            break;
        case FindingKind::Start:
            ++counts.Start;
            break;
        case FindingKind::Outlier:
            ++counts.Outlier;
            break;
        }
    }
    return counts;
}

AnalysisOptions TakeBook::ExportOptions(bool repair, int smoothing) const
{
    AnalysisOptions options;
    options.Repair = repair;
    options.Smoothing = smoothing;
    if (repair) {
        for (const SessionTake* take : CheckedTakes())
            options.Rejected.push_back(take->Rejected);
    }
    return options;
}

AnalysisOptions TakeBook::ExportOptions(bool repair, int smoothing, bool alignToRecording) const
{
    AnalysisOptions options = ExportOptions(repair, smoothing);
    if (!useAnchors_ || !alignToRecording)
        return options;
    options.AlignToRecording = true;
    for (const SessionTake* take : CheckedTakes())
        options.Anchors.push_back(take->Anchor);
    options.Edits = edits_;
    return options;
}

void TakeBook::UseAnchors(bool use)
{
    if (use == useAnchors_)
        return;
    useAnchors_ = use;
    Analyse();
}

bool TakeBook::AnyAnchored() const
{
    return std::any_of(takes_.begin(), takes_.end(),
                       [](const SessionTake& take) { return take.Anchor != SessionTake::NoAnchor; });
}

bool TakeBook::DropAnchors()
{
    history_.DropAnchors();
    const bool edited = !edits_.empty();
    edits_.clear();
    if (!AnyAnchored())
        return edited;
    for (SessionTake& take : takes_)
        take.Anchor = SessionTake::NoAnchor;
    Analyse();
    return true;
}

namespace {

// The edit that put a beat at `atUs` (within a millisecond), or none.
std::vector<BeatEdit>::iterator EditLeavingAt(std::vector<BeatEdit>& edits, int64_t atUs)
{
    return std::find_if(edits.rbegin(), edits.rend(),
                        [atUs](const BeatEdit& edit) {
                            return edit.ToUs - atUs < 1000 && atUs - edit.ToUs < 1000;
                        })
        .base();
}

}  // namespace

bool TakeBook::EditBeat(int64_t atUs, int64_t toUs, int timeSigBase)
{
    if (atUs < 0 || toUs < 0 || atUs == toUs)
        return false;
    Record(timeSigBase);
    const auto found = EditLeavingAt(edits_, atUs);
    if (found != edits_.begin()) {
        // The same beat again: its first edit names it where the snapping
        // put it, which a later analysis still finds.
        BeatEdit moved = *std::prev(found);
        edits_.erase(std::prev(found));
        moved.ToUs = toUs;
        edits_.push_back(moved);
    } else {
        edits_.push_back(BeatEdit{atUs, toUs});
    }
    return true;
}

bool TakeBook::ResetBeat(int64_t atUs, int timeSigBase)
{
    const auto found = EditLeavingAt(edits_, atUs);
    if (found == edits_.begin())
        return false;
    Record(timeSigBase);
    edits_.erase(std::prev(found));
    return true;
}

std::vector<int64_t> TakeBook::Anchors() const
{
    std::vector<int64_t> anchors;
    for (const SessionTake& take : takes_)
        anchors.push_back(take.Anchor);
    return anchors;
}

bool TakeBook::Repaired(size_t index, SessionTake& repaired) const
{
    // Outliers are advice only and never change a take: without another
    // accepted finding there is nothing to repair.
    const std::vector<bool> accepted = Accepted(index);
    bool any = false;
    for (size_t i = 0; i < accepted.size() && !any; ++i)
        any = accepted[i] && analysis_.Takes[index].Findings[i].Kind != FindingKind::Outlier;
    if (!any)
        return false;
    const SessionTake& take = takes_[index];
    std::vector<int64_t> places;
    repaired.Taps = RepairTake(ListedTaps(), analysis_, index, &accepted, &places);
    repaired.Rejected = CarryRejected(take.Rejected, places);
    // An anchored take keeps its place on the recording when the repair
    // drops or adds taps at its start: a tap the repair kept is where it was.
    repaired.Anchor = take.Anchor;
    if (take.Anchor != SessionTake::NoAnchor && !repaired.Taps.empty()) {
        for (size_t i = 0; i < places.size() && i < take.Taps.size(); ++i) {
            const int64_t place = places[i];
            if (place < 0 || static_cast<size_t>(place) >= repaired.Taps.size())
                continue;
            repaired.Anchor = take.Anchor + static_cast<int64_t>(take.Taps[i]) -
                              static_cast<int64_t>(repaired.Taps[static_cast<size_t>(place)]);
            break;
        }
        if (repaired.Taps.front() != 0) {
            repaired.Anchor += static_cast<int64_t>(repaired.Taps.front());
            NormalizeTake(repaired.Taps);
        }
    }
    return repaired.Taps.size() >= 2 && repaired.Taps != take.Taps;
}

bool TakeBook::CanRepair(size_t index) const
{
    if (index >= repairable_.size())
        return false;
    int& known = repairable_[index];
    if (known < 0) {
        SessionTake repaired;
        known = Repaired(index, repaired) ? 1 : 0;
    }
    return known == 1;
}

bool TakeBook::CanRepairAny() const
{
    for (size_t i = 0; i < takes_.size(); ++i)
        if (CanRepair(i))
            return true;
    return false;
}

void TakeBook::Record(int timeSigBase)
{
    ListState before;
    before.Takes = takes_;
    before.Edits = edits_;
    before.TimeSigBase = timeSigBase;
    history_.Record(std::move(before));
}

void TakeBook::Analyse()
{
    // Without an anchored take the analysis is the one of plain takes.
    analysis_ = useAnchors_ && AnyAnchored() ? AnalyzeTakes(ListedTaps(), Anchors()) : AnalyzeTakes(ListedTaps());
    repairable_.assign(analysis_.Takes.size(), -1);
}

bool TakeBook::Append(std::vector<SessionTake> takes, int timeSigBase)
{
    const bool any = std::any_of(takes.begin(), takes.end(),
                                 [](const SessionTake& take) { return take.Taps.size() >= 2; });
    if (!any)
        return false;
    Record(timeSigBase);
    for (SessionTake& take : takes)
        if (take.Taps.size() >= 2)
            takes_.push_back(std::move(take));
    Analyse();
    return true;
}

bool TakeBook::Delete(size_t index, int timeSigBase)
{
    if (index >= takes_.size())
        return false;
    Record(timeSigBase);
    takes_.erase(takes_.begin() + static_cast<std::ptrdiff_t>(index));
    Analyse();
    return true;
}

bool TakeBook::Clear(int timeSigBase)
{
    if (takes_.empty())
        return false;
    Record(timeSigBase);
    takes_.clear();
    Analyse();
    return true;
}

bool TakeBook::ClearForBaseNote(int oldTimeSigBase)
{
    return Clear(oldTimeSigBase);
}

bool TakeBook::SetChecked(size_t index, bool checked, int timeSigBase)
{
    if (index >= takes_.size() || takes_[index].Checked == checked)
        return false;
    Record(timeSigBase);
    takes_[index].Checked = checked;
    Analyse();
    return true;
}

bool TakeBook::Repair(size_t index, int timeSigBase)
{
    SessionTake repaired;
    if (index >= takes_.size() || !Repaired(index, repaired))
        return false;
    Record(timeSigBase);
    takes_[index].Taps = std::move(repaired.Taps);
    takes_[index].Rejected = std::move(repaired.Rejected);
    takes_[index].Anchor = repaired.Anchor;
    Analyse();
    return true;
}

bool TakeBook::RepairAll(int timeSigBase)
{
    // Every take from the same analysis, the one the user saw.
    std::vector<std::pair<size_t, SessionTake>> repairs;
    for (size_t i = 0; i < takes_.size(); ++i) {
        SessionTake repaired;
        if (Repaired(i, repaired))
            repairs.emplace_back(i, std::move(repaired));
    }
    if (repairs.empty())
        return false;
    Record(timeSigBase);
    for (auto& [index, repaired] : repairs) {
        takes_[index].Taps = std::move(repaired.Taps);
        takes_[index].Rejected = std::move(repaired.Rejected);
        takes_[index].Anchor = repaired.Anchor;
    }
    Analyse();
    return true;
}

bool TakeBook::ToggleFinding(size_t index, size_t finding, int timeSigBase)
{
    if (index >= takes_.size() || index >= analysis_.Takes.size() ||
        finding >= analysis_.Takes[index].Findings.size())
        return false;
    Record(timeSigBase);
    std::vector<FindingKey>& rejected = takes_[index].Rejected;
    const FindingKey key = KeyOf(analysis_.Takes[index].Findings[finding]);
    const auto at = std::find(rejected.begin(), rejected.end(), key);
    if (at == rejected.end())
        rejected.push_back(key);
    else
        rejected.erase(at);
    Analyse();
    return true;
}

std::optional<int> TakeBook::Back(std::optional<ListState> state)
{
    if (!state)
        return std::nullopt;
    takes_ = std::move(state->Takes);
    edits_ = std::move(state->Edits);
    Analyse();
    return state->TimeSigBase;
}

std::optional<int> TakeBook::Undo(int timeSigBase)
{
    ListState now;
    now.Takes = takes_;
    now.Edits = edits_;
    now.TimeSigBase = timeSigBase;
    return Back(history_.Undo(std::move(now)));
}

std::optional<int> TakeBook::Redo(int timeSigBase)
{
    ListState now;
    now.Takes = takes_;
    now.Edits = edits_;
    now.TimeSigBase = timeSigBase;
    return Back(history_.Redo(std::move(now)));
}

bool TakeBook::Restore(std::vector<SessionTake> takes)
{
    bool any = false;
    for (SessionTake& take : takes) {
        if (take.Taps.size() < 2)
            continue;
        takes_.push_back(std::move(take));
        any = true;
    }
    Analyse();
    return any;
}

void TakeBook::Reset()
{
    takes_.clear();
    edits_.clear();
    history_.Clear();
    analysis_ = Analysis();
    repairable_.clear();
}

bool AddTakeToList(TakeSlot& slot, TakeBook& book, std::string listedAt, int timeSigBase, bool anchored)
{
    std::unique_ptr<Take> taps = HandOverTakeForList(slot);
    if (!taps)
        return false;
    SessionTake take;
    take.ListedAt = std::move(listedAt);
    take.Taps = std::move(*taps);
    if (anchored)
        take.Anchor = take.Taps.front();
    NormalizeTake(take.Taps);
    std::vector<SessionTake> one;
    one.push_back(std::move(take));
    return book.Append(std::move(one), timeSigBase);
}
