// A whole Standard MIDI File in memory (format, division word, tracks) and
// its writer.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "mkByteBuffer.h"
#include "mkSmfTrack.h"

class mkSmfSequence {
public:
    // Results of ClassifyDivision.
    enum DivisionKind : int {
        DivisionMetrical = 0,
        DivisionSmpte24 = 1,
        DivisionSmpte25 = 2,
        DivisionSmpte30Drop = 3,
        DivisionSmpte30 = 4,
        DivisionInvalid = 5,
    };

    mkSmfSequence() = default;
    mkSmfSequence(const mkSmfSequence&) = default;
    mkSmfSequence& operator=(const mkSmfSequence&) = default;
    virtual ~mkSmfSequence();

    void SetTrackCount(size_t n);
    // The returned reference stays valid while tracks are added.
    mkSmfTrack& AddTrack();
    size_t GetTrackCount() const { return Tracks.size(); }
    mkSmfTrack& GetTrack(size_t i) { return Tracks[i]; }
    const mkSmfTrack& GetTrack(size_t i) const { return Tracks[i]; }

    // Stores the word unless it is an invalid SMPTE code.
    bool SetDivision(uint16_t division);
    static int ClassifyDivision(uint16_t division);

    // Folds a format-1 sequence into one track in time order (events of
    // equal time in track order) ending with a single End of Track at the
    // latest end; anything but format 1 is refused and left unchanged.
    bool ConvertToFormat0();

    static uint32_t CalcTrackDataLen(const mkSmfTrack& track, bool runningStatus);
    uint32_t CalcSmfDataLen(bool runningStatus, std::vector<uint32_t>* trackLengths = nullptr) const;
    // Replaces the buffer's content with the file image, allocated once at
    // its final size, and returns that size.
    uint32_t Write(mkByteBuffer& out, bool runningStatus) const;

    uint16_t Format = 0;
    uint16_t Division = 0;

private:
    std::deque<mkSmfTrack> Tracks;
};
