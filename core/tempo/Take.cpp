#include "Take.h"

#include <algorithm>
#include <cstddef>
#include <utility>

TakeSlot CurrentTake;

void NormalizeTake(Take& take)
{
    if (take.empty())
        return;
    const uint32_t first = take.front();
    for (uint32_t& time : take)
        time -= first;
}

void TakeSlot::Start(Take initial)
{
    auto fresh = std::make_unique<Take>(std::move(initial));
    std::lock_guard<std::mutex> guard(lock);
    take = std::move(fresh);
}

TapStep NextTapStep(const Take& take, uint32_t time)
{
    if (take.empty())
        return TapStep::Later;
    const uint32_t first = take.front();
    const uint32_t last = take.back() - first;
    const uint32_t next = time - first;
    if (next == last)
        return TapStep::Repeated;
    return next > last ? TapStep::Later : TapStep::Earlier;
}

size_t DropRepeatedTimes(Take& take)
{
    const size_t before = take.size();
    take.erase(std::unique(take.begin(), take.end()), take.end());
    return before - take.size();
}

bool TakeSlot::Append(uint32_t time)
{
    std::lock_guard<std::mutex> guard(lock);
    if (!take || (!take->empty() && take->back() == time))
        return false;
    take->push_back(time);
    return true;
}

std::unique_ptr<Take> TakeSlot::HandOver()
{
    std::lock_guard<std::mutex> guard(lock);
    return std::move(take);
}

bool TakeSlot::IsEmpty() const
{
    std::lock_guard<std::mutex> guard(lock);
    return !take;
}

size_t TakeSlot::GetCount() const
{
    std::lock_guard<std::mutex> guard(lock);
    return take ? take->size() : 0;
}

Take TakeSlot::Copy() const
{
    return CopyFrom(0);
}

Take TakeSlot::CopyFrom(size_t first) const
{
    std::lock_guard<std::mutex> guard(lock);
    if (!take || first >= take->size())
        return Take();
    return Take(take->begin() + static_cast<std::ptrdiff_t>(first), take->end());
}

std::unique_ptr<Take> HandOverTakeForList(TakeSlot& slot)
{
    std::unique_ptr<Take> take = slot.HandOver();
    if (!take || take->size() < 2)
        return nullptr;
    return take;
}
