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
    const std::vector<Take> repaired = RepairTakes(takes, analysis);
    TakeList aligned;
    for (const Take& take : repaired)
        if (!take.empty())
            aligned.push_back(&take);
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
    mkSmfSequence sequence;
    BuildTempoSequence(ComputeTempoMap(takes, interpCount, timeSigBase, options), sequence);
    mkByteBuffer buffer;
    const uint32_t n = sequence.Write(buffer, true);
    return std::vector<uint8_t>(buffer.GetData(), buffer.GetData() + n);
}
