// The one road from takes to tempo map, shared by metrova-cli and
// Metrova.exe, so the same takes and options give the same bytes in both:
//   repair (when asked) -> averaging -> smoothing (when asked) -> spline and
//   tempo points -> Standard MIDI File.
// Without repair the takes are averaged by tap index (AverageTakes); with
// repair, every take is repaired onto the common beat grid and the takes are
// averaged by beat (AverageAlignedTakes, robust from three takes on). With
// both options off the bytes are those of ComputeTempoMap and
// ExportTempoBytes without options.
#pragma once

#include <cstdint>
#include <vector>

#include "BeatSmoothing.h"
#include "TapAnalysis.h"
#include "TempoMap.h"

struct AnalysisOptions {
    bool Repair = false;
    int Smoothing = SmoothingNone;  // SmoothingNone, SmoothingAuto or 1..MaxSmoothing
    // With Repair: per take (in the order of the takes given), the findings
    // the repair leaves alone. Empty, or shorter than the takes: none.
    std::vector<std::vector<FindingKey>> Rejected;
};

// The beat times the spline runs through.
std::vector<double> BeatTimesForExport(const TakeList& takes, const AnalysisOptions& options);

TempoMap ComputeTempoMap(const TakeList& takes, int interpCount, int timeSigBase, const AnalysisOptions& options);
std::vector<uint8_t> ExportTempoBytes(const TakeList& takes, int interpCount, int timeSigBase,
                                      const AnalysisOptions& options);
