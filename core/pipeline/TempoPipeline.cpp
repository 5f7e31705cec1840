#include "TempoPipeline.h"

#include "TapAnalysis.h"
#include "TempoExport.h"

std::vector<double> BeatTimesForExport(const TakeList& takes, const AnalysisOptions& options)
{
    if (!options.Repair) {
        std::vector<double> beats = AverageTakes(takes);
        if (options.Smoothing == SmoothingNone)
            return beats;
        return SmoothBeatTimes(beats, takes, options.Smoothing);
    }
    const Analysis analysis = AnalyzeTakes(takes);
    std::vector<Take> repaired;
    repaired.reserve(takes.size());
    for (size_t m = 0; m < takes.size(); ++m) {
        if (takes[m]->size() < 2 || m >= options.Rejected.size() || options.Rejected[m].empty()) {
            repaired.push_back(takes[m]->size() < 2 ? *takes[m] : RepairTake(takes, analysis, m));
        } else {
            const std::vector<bool> accepted = AcceptedFindings(analysis.Takes[m], options.Rejected[m]);
            repaired.push_back(RepairTake(takes, analysis, m, &accepted));
        }
    }
    // Averaged in the takes' own order, not the list's: the same takes in
    // any order give the same bytes, to the last bit of every sum.
    TakeList aligned;
    for (size_t m : CanonicalTakeOrder(takes))
        if (!repaired[m].empty())
            aligned.push_back(&repaired[m]);
    std::vector<double> beats = AverageAlignedTakes(aligned);
    if (options.Smoothing == SmoothingNone)
        return beats;
    return SmoothBeatTimes(beats, aligned, options.Smoothing);
}

TempoMap ComputeTempoMap(const TakeList& takes, int interpCount, int timeSigBase, const AnalysisOptions& options)
{
    if (!options.Repair && options.Smoothing == SmoothingNone)
        return ComputeTempoMap(takes, interpCount, timeSigBase);
    return TempoMapFromBeatTimes(BeatTimesForExport(takes, options), interpCount, timeSigBase);
}

std::vector<uint8_t> ExportTempoBytes(const TakeList& takes, int interpCount, int timeSigBase,
                                      const AnalysisOptions& options)
{
    // Without repair and smoothing these are the plain average's beat times,
    // as ComputeTempoMap takes them.
    return TempoFileBytes(BeatTimesForExport(takes, options), interpCount, timeSigBase);
}
