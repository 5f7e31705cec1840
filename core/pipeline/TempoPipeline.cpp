#include "TempoPipeline.h"

#include <algorithm>
#include <cmath>

#include "RobustStatistics.h"
#include "TapAnalysis.h"
#include "TempoExport.h"

namespace {

bool Anchored(const AnalysisOptions& options, size_t m)
{
    return m < options.Anchors.size() && options.Anchors[m] >= 0;
}

// The constant that puts beat times made from takes on the recording: from
// each anchored take the median of its taps' recording times less the beats
// they fell on, and the mean of those. `times[m]` holds take m's times on the
// recording and `firstBeat[m]` the index in `beats` of its first time; takes
// with no times count for nothing.
double RecordingOffset(const std::vector<double>& beats, const std::vector<std::vector<double>>& times,
                       const std::vector<size_t>& firstBeat)
{
    double sum = 0.0;
    double count = 0.0;
    std::vector<double> differences;
    for (size_t m = 0; m < times.size(); ++m) {
        differences.clear();
        for (size_t k = 0; k < times[m].size() && firstBeat[m] + k < beats.size(); ++k)
            differences.push_back(times[m][k] - beats[firstBeat[m] + k]);
        if (differences.empty())
            continue;
        sum += Median(differences);
        count += 1.0;
    }
    return count > 0.0 ? sum / count : 0.0;
}

bool Snaps(const AnalysisOptions& options)
{
    return options.Snap && options.Onsets && !options.Onsets->Values.empty() && options.Onsets->HopMs > 0.0;
}

// Whether the beats on the recording are moved after the averaging: onto
// its onsets, or by the musician's hand.
bool MovesBeats(const AnalysisOptions& options)
{
    return Snaps(options) || !options.Edits.empty();
}

// Beat times on the recording moved onto its onsets, then smoothed (when
// asked) with the Snapped beats held: the smoothing is for the beats the
// recording says nothing of, and must not pull the others off their onsets.
// The edited beats are held too, and win over the snapping.
std::vector<double> SnapAndSmooth(const std::vector<double>& beats, const TakeList& aligned,
                                  const AnalysisOptions& options, BeatsOnRecording* detail)
{
    std::vector<double> times = beats;
    std::vector<bool> held(beats.size(), false);
    std::vector<BeatOrigin> origins(beats.size(), BeatOrigin::Tapped);
    if (Snaps(options)) {
        SnapOptions snapOptions;
        snapOptions.Takes = aligned.size();
        const std::vector<SnappedBeat> snapped = SnapBeats(beats, *options.Onsets, snapOptions);
        for (size_t i = 0; i < snapped.size(); ++i) {
            times[i] = snapped[i].TimeMs;
            held[i] = snapped[i].State == SnapState::Snapped;
            origins[i] = held[i] ? BeatOrigin::Snapped : BeatOrigin::Unsure;
        }
    }
    const std::vector<bool> edited = ApplyBeatEdits(times, options.Edits);
    for (size_t i = 0; i < edited.size(); ++i)
        if (edited[i]) {
            held[i] = true;
            origins[i] = BeatOrigin::Edited;
        }
    if (options.Smoothing != SmoothingNone)
        times = SmoothBeatTimes(times, aligned, options.Smoothing, held);
    if (detail) {
        detail->Tapped = beats;
        detail->Final = times;
        detail->Origins = std::move(origins);
    }
    return times;
}

// The beat times of takes some of which were tapped along the recording, on
// its timeline.
std::vector<double> RecordingBeatTimes(const TakeList& takes, const AnalysisOptions& options,
                                       BeatsOnRecording* detail = nullptr)
{
    const size_t count = takes.size();
    std::vector<std::vector<double>> onRecording(count);
    if (!options.Repair) {
        // Tap by tap, as without a recording, but an anchored take's first
        // tap on the tap of the earliest anchored take nearest it in time: a
        // take that came in late is late on the recording, whatever its
        // intervals say. Takes without an anchor start with that earliest.
        size_t reference = count;
        for (size_t m = 0; m < count; ++m)
            if (Anchored(options, m) && takes[m]->size() >= 2 &&
                (reference == count || options.Anchors[m] < options.Anchors[reference]))
                reference = m;
        TakeList used;
        std::vector<int64_t> firsts;
        std::vector<size_t> order;
        for (size_t m : CanonicalTakeOrder(takes)) {
            if (takes[m]->size() < 2)
                continue;
            int64_t first = 0;
            if (Anchored(options, m)) {
                const Take& ref = *takes[reference];
                const double at = static_cast<double>(options.Anchors[m] - options.Anchors[reference]);
                size_t nearest = 0;
                for (size_t i = 1; i < ref.size(); ++i)
                    if (std::fabs(static_cast<double>(ref[i]) - at) < std::fabs(static_cast<double>(ref[nearest]) - at))
                        nearest = i;
                first = static_cast<int64_t>(nearest);
                for (const uint32_t t : *takes[m])
                    onRecording[m].push_back(static_cast<double>(options.Anchors[m]) + static_cast<double>(t));
            }
            used.push_back(takes[m]);
            firsts.push_back(first);
            order.push_back(m);
        }
        std::vector<double> beats = AverageAlignedTakes(used, firsts);
        if (options.Smoothing != SmoothingNone && !MovesBeats(options))
            beats = SmoothBeatTimes(beats, used, options.Smoothing);
        std::vector<std::vector<double>> times;
        std::vector<size_t> first;
        for (size_t i = 0; i < order.size(); ++i) {
            times.push_back(onRecording[order[i]]);
            first.push_back(static_cast<size_t>(firsts[i]));
        }
        const double offset = RecordingOffset(beats, times, first);
        for (double& b : beats)
            b += offset;
        if (MovesBeats(options))
            return SnapAndSmooth(beats, used, options, detail);
        if (detail)
            *detail = BeatsOnRecording{beats, beats, std::vector<BeatOrigin>(beats.size(), BeatOrigin::Tapped)};
        return beats;
    }
    std::vector<int64_t> anchors(count, -1);
    for (size_t m = 0; m < count; ++m)
        if (Anchored(options, m))
            anchors[m] = options.Anchors[m];
    const Analysis analysis = AnalyzeTakes(takes, anchors);
    std::vector<Take> repaired(count);
    std::vector<int64_t> startBeat(count, 0);
    for (size_t m = 0; m < count; ++m) {
        if (takes[m]->size() < 2) {
            repaired[m] = *takes[m];
            continue;
        }
        std::vector<int64_t> place;
        if (m >= options.Rejected.size() || options.Rejected[m].empty()) {
            repaired[m] = RepairTake(takes, analysis, m, nullptr, &place);
        } else {
            const std::vector<bool> accepted = AcceptedFindings(analysis.Takes[m], options.Rejected[m]);
            repaired[m] = RepairTake(takes, analysis, m, &accepted, &place);
        }
        // The grid beat of the repaired take's first time, from its first
        // kept tap (nothing is filled in before it but a late start).
        const TakeAnalysis& result = analysis.Takes[m];
        size_t kept = 0;
        while (kept < place.size() && place[kept] < 0)
            ++kept;
        if (kept < place.size() && result.BeatOfTap[kept] != ExtraTap) {
            startBeat[m] = result.BeatOfTap[kept] - place[kept];
            if (anchors[m] >= 0)
                for (const uint32_t t : repaired[m])
                    onRecording[m].push_back(static_cast<double>(anchors[m]) + static_cast<double>((*takes[m])[kept]) +
                                             static_cast<double>(t));
        } else if (place.empty()) {
            // Unchanged by the repair: its first tap on its start beat.
            startBeat[m] = result.StartBeat;
            if (anchors[m] >= 0)
                for (const uint32_t t : repaired[m])
                    onRecording[m].push_back(static_cast<double>(anchors[m]) + static_cast<double>(t));
        }
    }
    TakeList aligned;
    std::vector<int64_t> firsts;
    std::vector<size_t> order;
    for (size_t m : CanonicalTakeOrder(takes))
        if (!repaired[m].empty()) {
            aligned.push_back(&repaired[m]);
            firsts.push_back(startBeat[m]);
            order.push_back(m);
        }
    if (aligned.empty())
        return {};
    std::vector<double> beats = AverageAlignedTakes(aligned, firsts);
    if (options.Smoothing != SmoothingNone && !MovesBeats(options))
        beats = SmoothBeatTimes(beats, aligned, options.Smoothing);
    const int64_t earliest = *std::min_element(firsts.begin(), firsts.end());
    std::vector<std::vector<double>> times;
    std::vector<size_t> first;
    for (size_t i = 0; i < order.size(); ++i) {
        times.push_back(onRecording[order[i]]);
        first.push_back(static_cast<size_t>(firsts[i] - earliest));
    }
    const double offset = RecordingOffset(beats, times, first);
    for (double& b : beats)
        b += offset;
    if (MovesBeats(options))
        return SnapAndSmooth(beats, aligned, options, detail);
    if (detail)
        *detail = BeatsOnRecording{beats, beats, std::vector<BeatOrigin>(beats.size(), BeatOrigin::Tapped)};
    return beats;
}

}  // namespace

bool LinesUpWithRecording(const TakeList& takes, const AnalysisOptions& options)
{
    if (!options.AlignToRecording)
        return false;
    for (size_t m = 0; m < takes.size(); ++m)
        if (Anchored(options, m) && takes[m]->size() >= 2)
            return true;
    return false;
}

std::vector<double> LineUpWithRecording(const std::vector<double>& beats)
{
    if (beats.size() < 2)
        return beats;
    const double lead = beats[0];
    if (lead < 0.0 && beats[1] > 0.5) {
        // A first beat placed before the first sample (snapped onto a note
        // that starts the recording, which speaks a few ms into it) starts
        // the map at that sample: the map begins there, and taking the
        // beat as it is would move every other beat that much later.
        std::vector<double> lined = beats;
        lined[0] = 0.0;
        return lined;
    }
    if (!(lead > 0.5))
        return beats;
    const double first = beats[1] - beats[0];
    // Of the whole numbers either side of lead / first, the one whose beats
    // come closest to the first beat's length.
    double n = first > 0.0 ? std::floor(lead / first) : 1.0;
    if (n < 1.0)
        n = 1.0;
    if (std::fabs(lead / (n + 1.0) - first) < std::fabs(lead / n - first))
        n += 1.0;
    std::vector<double> lined;
    lined.reserve(beats.size() + static_cast<size_t>(n));
    for (double k = 0.0; k < n; k += 1.0)
        lined.push_back(lead * k / n);
    lined.insert(lined.end(), beats.begin(), beats.end());
    return lined;
}

std::vector<double> BeatTimesOnRecording(const TakeList& takes, const AnalysisOptions& options)
{
    if (!LinesUpWithRecording(takes, options))
        return {};
    return RecordingBeatTimes(takes, options);
}

BeatsOnRecording BeatsOnRecordingInDetail(const TakeList& takes, const AnalysisOptions& options)
{
    BeatsOnRecording detail;
    if (LinesUpWithRecording(takes, options))
        RecordingBeatTimes(takes, options, &detail);
    return detail;
}

std::vector<double> BeatTimesForExport(const TakeList& takes, const AnalysisOptions& options)
{
    if (LinesUpWithRecording(takes, options))
        return LineUpWithRecording(RecordingBeatTimes(takes, options));
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
    if (!options.Repair && options.Smoothing == SmoothingNone && !LinesUpWithRecording(takes, options))
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
