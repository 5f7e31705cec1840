// One track: a time-ordered, doubly linked list of events ending with an End
// of Track event. Positions stay valid while other events are inserted or
// erased, which the import relies on when it threads beat markers through a
// track.
#pragma once

#include <cstdint>
#include <iterator>
#include <list>
#include <vector>

#include "mkMidiEvent.h"
#include "mkPoolAllocator.h"

class mkSmfTrack {
public:
    // The nodes come from the block pool: see mkBlockPool.
    using EventList = std::list<mkMidiEvent, mkPoolAllocator<mkMidiEvent>>;
    using iterator = EventList::iterator;
    using const_iterator = EventList::const_iterator;

    // Appends an event at `time`; the caller keeps the track in time order.
    void AddEvent(uint32_t time, uint8_t status, const uint8_t* data, uint32_t length);
    // Appends an event `delta` ticks after the last one (or at `delta`).
    void AddEventDelta(uint32_t delta, uint8_t status, const uint8_t* data, uint32_t length);
    // Inserts before the first event whose time is >= `time`.
    iterator InsertEvent(uint32_t time, uint8_t status, const uint8_t* data, uint32_t length);
    // Inserts directly before `pos`; the caller keeps the time order. For
    // callers that already hold the position, such as a pass that threads
    // many events through a track in time order.
    iterator InsertEventAt(iterator pos, uint32_t time, uint8_t status, const uint8_t* data, uint32_t length);
    // Removes the event at `pos` and returns the position that followed it;
    // end() removes nothing.
    iterator EraseEvent(iterator pos);
    // Moves every event of `src` into this track, keeping time order and
    // only the later of the two End of Track events.
    void Merge(mkSmfTrack& src);
    // Folds tracks[1..] into tracks[0] with the result of calling Merge for
    // each of them in order, in one k-way pass: O(events x log tracks)
    // instead of walking the growing first track again for every track.
    // Requires every track to be time-ordered (IsTimeOrdered).
    static void MergeOrdered(const std::vector<mkSmfTrack*>& tracks);
    // True when no event's time is below its predecessor's.
    bool IsTimeOrdered() const;

    iterator begin() { return Events.begin(); }
    iterator end() { return Events.end(); }
    const_iterator begin() const { return Events.begin(); }
    const_iterator end() const { return Events.end(); }
    mkMidiEvent& GetFirst() { return Events.front(); }
    mkMidiEvent& GetLast() { return Events.back(); }
    const mkMidiEvent& GetFirst() const { return Events.front(); }
    const mkMidiEvent& GetLast() const { return Events.back(); }
    size_t GetEventCount() const { return Events.size(); }
    bool IsEmpty() const { return Events.empty(); }
    const EventList& GetEvents() const { return Events; }

private:
    EventList Events;
};
