// Recordings and takes tapped along them, for the tempo graph's tests: an
// envelope made from samples that are silent but for one loud stretch, and
// takes of a swaying piece whose beats have known times on the recording.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "GraphModel.h"
#include "PeakEnvelope.h"
#include "TempoPipeline.h"

namespace graph_recording {

// `seconds` of a recording at `rate` (mono), silent but for a square wave of
// amplitude `level` from loudFrom to loudTo (ms).
inline std::shared_ptr<PeakEnvelope> LoudStretch(uint32_t rate, double seconds, double loudFrom, double loudTo,
                                                 float level, uint32_t framesPerBlock = 256)
{
    auto envelope = std::make_shared<PeakEnvelope>(framesPerBlock);
    AudioFormat format;
    format.sampleRate = rate;
    format.channels = 1;
    format.frames = static_cast<uint64_t>(seconds * rate);
    envelope->Begin(format);
    std::vector<float> samples(static_cast<size_t>(format.frames));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double ms = static_cast<double>(i) * 1000.0 / rate;
        samples[i] = ms >= loudFrom && ms < loudTo ? (i % 2 ? level : -level) : 0.0f;
    }
    // In uneven pieces, as a decoder hands them over.
    for (size_t at = 0; at < samples.size();) {
        const size_t n = std::min<size_t>(samples.size() - at, 1000 + at % 777);
        envelope->Consume(samples.data() + at, n, 1);
        at += n;
    }
    envelope->End();
    return envelope;
}

// The time on the recording of beat j of a piece swaying around 120 BPM that
// starts `first` ms into it.
inline double BeatOnRecording(int j, double first)
{
    double t = first;
    for (int i = 0; i < j; ++i)
        t += 500.0 + 60.0 * std::sin(i * 1.3);
    return t;
}

// One take of the piece: its beats from..to-1 tapped with an error of up
// to 11 ms per tap that differs from take to take (`whose`), the tap after
// `missAfter` (when not negative) left out.
struct TapTimes {
    Take Taps;           // relative to the first
    int64_t Anchor = 0;  // the first tap's time on the recording
};
inline TapTimes TappedAlong(int from, int to, double first, int whose, int missAfter = -1)
{
    std::vector<double> times;
    for (int j = from; j < to; ++j) {
        if (j == missAfter + 1 && missAfter >= 0)
            continue;
        // A hash of the beat and the take: errors with no drift in them.
        uint32_t h = static_cast<uint32_t>(j) * 2654435761u ^ static_cast<uint32_t>(whose) * 2246822519u;
        h ^= h >> 15;
        h *= 2654435761u;
        h ^= h >> 13;
        times.push_back(BeatOnRecording(j, first) + static_cast<double>(static_cast<int>(h % 23) - 11));
    }
    TapTimes take;
    take.Anchor = static_cast<int64_t>(std::lround(times.front()));
    for (double t : times)
        take.Taps.push_back(static_cast<uint32_t>(std::lround(t) - take.Anchor));
    return take;
}

// Takes as the main window hands them over with a recording: `anchored[m]`
// says whether take m was tapped along it; the map repaired onto the beats
// and lined up with the recording when any take was.
inline GraphContent OnRecording(const std::vector<TapTimes>& takes, const std::vector<bool>& anchored,
                                std::shared_ptr<const PeakEnvelope> waveform, uint32_t rate)
{
    GraphContent content;
    AnalysisOptions options;
    for (size_t m = 0; m < takes.size(); ++m) {
        content.Takes.push_back(takes[m].Taps);
        content.Anchors.push_back(anchored[m] ? takes[m].Anchor : -1);
    }
    options.Anchors = content.Anchors;
    options.AlignToRecording = true;
    options.Repair = true;
    const TakeList list = TakeListOf(content.Takes);
    content.Findings = AnalyzeTakes(list, content.Anchors);
    content.Checked.assign(content.Takes.size(), true);
    for (const TakeAnalysis& analysis : content.Findings.Takes)
        content.Accepted.emplace_back(analysis.Findings.size(), true);
    content.ExportBeatTimes = BeatTimesForExport(list, options);
    content.ExportOnRecording = LinesUpWithRecording(list, options);
    content.Waveform = std::move(waveform);
    content.WaveformRate = rate;
    return content;
}

}  // namespace graph_recording
