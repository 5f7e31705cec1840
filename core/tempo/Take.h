// Takes: one run of taps, as tap times in milliseconds.
//
// While a take is recorded its times are raw clock readings; once it is
// listed they are relative to its first tap. CurrentTake is the one slot for
// the take being recorded or imported. It is shared by the user-interface
// thread and the MIDI driver's thread, so the driver's test-and-append and the
// hand-over that empties the slot run under one lock: once the hand-over has
// begun, a late tap finds the slot empty and is ignored, and no time is ever
// appended to a take that is being listed or has been listed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

using Take = std::vector<uint32_t>;

// Makes the times relative to the first one, in unsigned 32-bit arithmetic,
// so a wrap of the millisecond clock during a take does no harm.
void NormalizeTake(Take& take);

// Where a time stands against the take so far: after its last time, at the
// same millisecond, or before it. Measured from the take's first time, in
// unsigned 32-bit arithmetic as NormalizeTake does, so a take across a wrap
// of the millisecond clock still runs forward.
enum class TapStep { Later, Repeated, Earlier };
TapStep NextTapStep(const Take& take, uint32_t time);

// Drops every time equal to the one before it, the same beat twice; returns
// how many were dropped.
size_t DropRepeatedTimes(Take& take);

class TakeSlot {
public:
    TakeSlot() = default;
    TakeSlot(const TakeSlot&) = delete;
    TakeSlot& operator=(const TakeSlot&) = delete;

    // Puts a take into the slot (a new, empty one unless given), dropping
    // whatever the slot held.
    void Start(Take initial = Take());
    // Appends a tap time when the slot holds a take; false when it is empty,
    // and when the time equals the take's last one. Two keys of a chord, or
    // two notes struck together, arrive in the same millisecond: they are
    // one beat, and a zero interval would ask the tempo map for an infinite
    // tempo.
    bool Append(uint32_t time);
    // Empties the slot and returns its take (none when it was empty).
    std::unique_ptr<Take> HandOver();
    bool IsEmpty() const;
    size_t GetCount() const;
    // A copy of the take's times as they stand (empty when the slot is),
    // taken under the lock the driver's appends hold, so the copy is always
    // a whole prefix of the take.
    Take Copy() const;
    // The same for the times from tap `first` on (none when the take has no
    // more): a reader that follows the take as it grows copies only what is
    // new, and holds the lock the driver's appends wait on only for that.
    Take CopyFrom(size_t first) const;

private:
    mutable std::mutex lock;
    std::unique_ptr<Take> take;
};

extern TakeSlot CurrentTake;

// The portable half of putting the current take into the list: empties the
// slot and returns its take when it has at least two taps; a shorter take is
// dropped and none is returned. The caller lists the take and then normalises
// it with NormalizeTake.
std::unique_ptr<Take> HandOverTakeForList(TakeSlot& slot);
