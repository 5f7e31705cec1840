// The one road from takes to tempo map, shared by metrova-cli and
// Metrova.exe, so the same takes and options give the same bytes in both:
//   repair (when asked) -> averaging -> snapping onto the recording's
//   onsets (when asked, with takes tapped along it) -> smoothing (when
//   asked) -> spline and tempo points -> Standard MIDI File.
// Without repair the takes are averaged by tap index (AverageTakes); with
// repair, every take is repaired onto the common beat grid and the takes are
// averaged by beat (AverageAlignedTakes, robust from three takes on). With
// both options off the bytes are those of ComputeTempoMap and
// ExportTempoBytes without options.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "BeatEdits.h"
#include "BeatSmoothing.h"
#include "BeatSnapping.h"
#include "TapAnalysis.h"
#include "TempoMap.h"

struct AnalysisOptions {
    bool Repair = false;
    int Smoothing = SmoothingNone;  // SmoothingNone, SmoothingAuto or 1..MaxSmoothing
    // With Repair: per take (in the order of the takes given), the findings
    // the repair leaves alone. Empty, or shorter than the takes: none.
    std::vector<std::vector<FindingKey>> Rejected;
    // Takes tapped along a recording: per take (in the order of the takes
    // given) the time of its first tap on the recording, in milliseconds from
    // its first sample, or negative for a take tapped without it. Used only
    // with AlignToRecording: the anchored takes are then placed against each
    // other by those times, and the map is lined up with the recording
    // (LineUpWithRecording). Without it, or with no anchored take, the bytes
    // are those of the same takes without anchors.
    std::vector<int64_t> Anchors;
    bool AlignToRecording = false;
    // With a map lined up with the recording (LinesUpWithRecording): the
    // averaged beats moved onto the recording's onsets (SnapBeats), before
    // the smoothing, which then holds the Snapped beats where they are and
    // moves only the Unsure ones. Without Snap, without onsets or without
    // lining up, the bytes are those without it.
    bool Snap = false;
    std::shared_ptr<const OnsetCurve> Onsets;
    // With a map lined up with the recording: the beats the musician moved
    // by hand (BeatEdits.h), applied after the snapping and held by the
    // smoothing, so they win over both.
    std::vector<BeatEdit> Edits;
};

// Where each beat of a map lined up with the recording comes from.
enum class BeatOrigin : uint8_t {
    Tapped,   // not snapped (snapping off): the takes' average
    Snapped,  // on a clear onset
    Unsure,   // no clear onset: moved by its neighbours' shift
    Edited,   // moved by hand
};

// The beats of a map lined up with the recording, before its lead-in
// beats: as the takes put them (Tapped), as exported (Final), and each
// one's origin. All empty unless LinesUpWithRecording.
struct BeatsOnRecording {
    std::vector<double> Tapped;
    std::vector<double> Final;
    std::vector<BeatOrigin> Origins;
};
BeatsOnRecording BeatsOnRecordingInDetail(const TakeList& takes, const AnalysisOptions& options);

// Whether `options` line the map of `takes` up with a recording: asked for,
// with at least one anchored take of two taps or more.
bool LinesUpWithRecording(const TakeList& takes, const AnalysisOptions& options);

// Beat times on the recording's timeline made to start at its first sample:
// n lead-in beats of equal length span the time before the first beat, n the
// whole number (at least 1) that brings their length closest to the first
// beat's. The beats themselves keep their times, and stay whole beats of the
// map, so bar lines do not shift against them. A first beat within half a
// millisecond of the start needs none; one before the start is put at it.
std::vector<double> LineUpWithRecording(const std::vector<double>& beats);

// The beat times on the recording's timeline, before the lead-in beats;
// empty unless LinesUpWithRecording.
std::vector<double> BeatTimesOnRecording(const TakeList& takes, const AnalysisOptions& options);

// The beat times the spline runs through; lined up with the recording (from
// its first sample) when LinesUpWithRecording.
std::vector<double> BeatTimesForExport(const TakeList& takes, const AnalysisOptions& options);

TempoMap ComputeTempoMap(const TakeList& takes, int interpCount, int timeSigBase, const AnalysisOptions& options);
std::vector<uint8_t> ExportTempoBytes(const TakeList& takes, int interpCount, int timeSigBase,
                                      const AnalysisOptions& options);
