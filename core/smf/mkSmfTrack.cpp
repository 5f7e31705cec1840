#include "mkSmfTrack.h"

#include <functional>
#include <queue>
#include <utility>

namespace {

// Where the next middle-of-track search of InsertEvent starts. One value for
// the whole process: it only steers the search, never its result, and all
// tracks are edited from the user-interface thread.
enum class SearchFrom { Front, Back };
SearchFrom g_insertHint = SearchFrom::Back;

}  // namespace

void mkSmfTrack::AddEvent(uint32_t time, uint8_t status, const uint8_t* data, uint32_t length)
{
    Events.emplace_back(time, status, data, length);
}

void mkSmfTrack::AddEventDelta(uint32_t delta, uint8_t status, const uint8_t* data, uint32_t length)
{
    const uint32_t time = Events.empty() ? delta : Events.back().Time + delta;
    Events.emplace_back(time, status, data, length);
}

mkSmfTrack::iterator mkSmfTrack::InsertEvent(uint32_t time, uint8_t status, const uint8_t* data,
                                             uint32_t length)
{
    iterator pos;
    if (Events.empty()) {
        pos = Events.end();
    } else if (time > Events.back().Time) {
        pos = Events.end();
        g_insertHint = SearchFrom::Back;
    } else if (time <= Events.front().Time) {
        pos = Events.begin();
        g_insertHint = SearchFrom::Front;
    } else {
        if (time == Events.back().Time)
            g_insertHint = SearchFrom::Back;
        const size_t half = Events.size() >> 1;
        size_t steps = 0;
        if (g_insertHint == SearchFrom::Back) {
            pos = Events.end();
            while (std::prev(pos)->Time > time) {
                --pos;
                ++steps;
            }
            // Equal times: the new event goes before all events of its time.
            while (pos != Events.begin() && std::prev(pos)->Time >= time)
                --pos;
            if (steps > half)
                g_insertHint = SearchFrom::Front;
        } else {
            pos = Events.begin();
            while (pos != Events.end() && pos->Time < time) {
                ++pos;
                ++steps;
            }
            if (steps > half)
                g_insertHint = SearchFrom::Back;
        }
    }
    return Events.emplace(pos, time, status, data, length);
}

mkSmfTrack::iterator mkSmfTrack::InsertEventAt(iterator pos, uint32_t time, uint8_t status,
                                               const uint8_t* data, uint32_t length)
{
    return Events.emplace(pos, time, status, data, length);
}

mkSmfTrack::iterator mkSmfTrack::EraseEvent(iterator pos)
{
    if (pos == Events.end())
        return pos;
    return Events.erase(pos);
}

void mkSmfTrack::Merge(mkSmfTrack& src)
{
    MK_ASSERT(this != &src);

    // Of the two End of Track events the earlier one goes; on equal times
    // this track's goes, so the survivor ends up last after the merge. An
    // empty track has nothing to remove.
    if (!src.Events.empty() && !Events.empty()) {
        if (src.Events.back().Time >= Events.back().Time)
            Events.pop_back();
        else
            src.Events.pop_back();
    }

    // Stable merge: at equal times this track's events stay first. splice
    // moves the nodes, so no event is copied and positions stay valid.
    iterator cur = Events.begin();
    while (cur != Events.end() && !src.Events.empty()) {
        if (src.Events.front().Time < cur->Time)
            Events.splice(cur, src.Events, src.Events.begin());
        else
            ++cur;
    }
    Events.splice(Events.end(), src.Events);
}

bool mkSmfTrack::IsTimeOrdered() const
{
    uint32_t previous = 0;
    for (const mkMidiEvent& ev : Events) {
        if (ev.Time < previous)
            return false;
        previous = ev.Time;
    }
    return true;
}

void mkSmfTrack::MergeOrdered(const std::vector<mkSmfTrack*>& tracks)
{
    if (tracks.size() < 2)
        return;
    // End of Track reconciliation as Merge does it one track at a time. In
    // time-ordered tracks the last event of the growing first track is the
    // last event of one of the tracks folded so far (`holder`): each track
    // either takes that role, erasing the holder's last event, or loses its
    // own last event.
    mkSmfTrack* holder = tracks[0]->Events.empty() ? nullptr : tracks[0];
    for (size_t i = 1; i < tracks.size(); ++i) {
        mkSmfTrack* src = tracks[i];
        if (src->Events.empty())
            continue;
        if (!holder) {
            holder = src;
        } else if (src->Events.back().Time >= holder->Events.back().Time) {
            holder->Events.pop_back();
            holder = src;
        } else {
            src->Events.pop_back();
        }
    }

    // Stable k-way merge by time; at equal times the lower track comes first,
    // as in a sequence of two-way merges where the first track's events stay
    // ahead of the merged track's.
    using Head = std::pair<uint32_t, size_t>;  // (time of first event, track)
    std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
    for (size_t i = 0; i < tracks.size(); ++i)
        if (!tracks[i]->Events.empty())
            heads.emplace(tracks[i]->Events.front().Time, i);

    EventList merged;
    while (heads.size() > 1) {
        const size_t i = heads.top().second;
        heads.pop();
        EventList& from = tracks[i]->Events;
        merged.splice(merged.end(), from, from.begin());
        if (!from.empty())
            heads.emplace(from.front().Time, i);
    }
    if (!heads.empty())
        merged.splice(merged.end(), tracks[heads.top().second]->Events);
    tracks[0]->Events = std::move(merged);
}
