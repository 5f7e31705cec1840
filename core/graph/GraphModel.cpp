#include "GraphModel.h"

#include <algorithm>
#include <cmath>

#include "TempoMap.h"
#include "WaveformLevels.h"

double XOfBeat(const std::vector<double>& gridTime, CurveAxis axis, double beat)
{
    if (axis == CurveAxis::Beat)
        return beat;
    if (gridTime.empty())
        return 0.0;
    if (!(beat > 0.0))
        return gridTime.front();
    const double whole = std::floor(beat);
    const size_t j = static_cast<size_t>(whole);
    if (j + 1 >= gridTime.size())
        return gridTime.back();
    return gridTime[j] + (beat - whole) * (gridTime[j + 1] - gridTime[j]);
}

int64_t BeatAtX(const std::vector<double>& gridTime, CurveAxis axis, double x)
{
    if (axis == CurveAxis::Beat)
        return static_cast<int64_t>(std::floor(x));
    const double start = gridTime.empty() ? 0.0 : gridTime.front();
    if (gridTime.size() < 2 || x < start)
        return x < start ? -1 : 0;
    const auto after = std::upper_bound(gridTime.begin(), gridTime.end(), x);
    const int64_t beat = static_cast<int64_t>(after - gridTime.begin()) - 1;
    return std::min<int64_t>(beat, static_cast<int64_t>(gridTime.size()) - 2);
}

double BeatAt(const std::vector<double>& gridTime, CurveAxis axis, double x)
{
    if (axis == CurveAxis::Beat)
        return x;
    const int64_t beat = BeatAtX(gridTime, axis, x);
    if (beat < 0 || gridTime.size() < 2)
        return static_cast<double>(beat);
    const size_t j = static_cast<size_t>(beat);
    const double length = gridTime[j + 1] - gridTime[j];
    return static_cast<double>(beat) + (length > 0.0 ? (x - gridTime[j]) / length : 0.0);
}

double TimeAt(const std::vector<double>& gridTime, CurveAxis axis, double x)
{
    return axis == CurveAxis::Time ? x : XOfBeat(gridTime, CurveAxis::Time, x);
}

double ValueAt(const Curve& curve, double x)
{
    if (curve.empty())
        return std::nan("");
    const auto after = std::upper_bound(curve.begin(), curve.end(), x,
                                        [](double v, const CurvePoint& p) { return v < p.X; });
    if (after == curve.begin())
        return curve.front().Bpm;
    if (after == curve.end())
        return curve.back().Bpm;
    const CurvePoint& a = *(after - 1);
    const CurvePoint& b = *after;
    return b.X > a.X ? a.Bpm + (b.Bpm - a.Bpm) * ((x - a.X) / (b.X - a.X)) : a.Bpm;
}

double PointAt(const Curve& curve, double x)
{
    const auto at = std::lower_bound(curve.begin(), curve.end(), x,
                                     [](const CurvePoint& p, double v) { return p.X < v; });
    return at != curve.end() && at->X == x ? at->Bpm : 0.0;
}

namespace {

// The grid beat a finding is marked at, fractional for an extra tap (between
// the beats of the taps on either side, by time); false when the analysis
// gives it none.
bool FindingBeat(const Take& take, const TakeAnalysis& analysis, const Finding& finding, double& beat)
{
    const std::vector<int64_t>& beats = analysis.BeatOfTap;
    const auto tapBeat = [&](int64_t tap, int64_t& out) {
        if (tap < 0 || static_cast<size_t>(tap) >= beats.size() || beats[static_cast<size_t>(tap)] == ExtraTap)
            return false;
        out = beats[static_cast<size_t>(tap)];
        return true;
    };
    int64_t b = 0;
    switch (finding.Kind) {
    case FindingKind::Start:
        beat = static_cast<double>(finding.Tap);
        return true;
    case FindingKind::Missed:
        // The first of the beats missing after the tap.
        if (!tapBeat(finding.Tap, b))
            return false;
        beat = static_cast<double>(b + 1);
        return true;
    case FindingKind::Outlier:
        if (!tapBeat(finding.Tap, b))
            return false;
        beat = static_cast<double>(b);
        return true;
    case FindingKind::Extra: {
        if (finding.Tap < 0 || static_cast<size_t>(finding.Tap) >= take.size() || take.size() != beats.size())
            return false;
        const size_t tap = static_cast<size_t>(finding.Tap);
        size_t before = tap;
        while (before > 0 && beats[before - 1] == ExtraTap)
            --before;
        size_t after = tap + 1;
        while (after < beats.size() && beats[after] == ExtraTap)
            ++after;
        const bool hasBefore = before > 0;
        const bool hasAfter = after < beats.size();
        if (!hasBefore && !hasAfter)
            return false;
        if (!hasAfter) {
            beat = static_cast<double>(beats[before - 1]) + 0.5;
            return true;
        }
        if (!hasBefore) {
            beat = static_cast<double>(beats[after]) - 0.5;
            return true;
        }
        const double t0 = take[before - 1];
        const double t1 = take[after];
        const double share = t1 > t0 ? (static_cast<double>(take[tap]) - t0) / (t1 - t0) : 0.5;
        beat = static_cast<double>(beats[before - 1]) +
               share * static_cast<double>(beats[after] - beats[before - 1]);
        return true;
    }
    }
    return false;
}

// Where one take's beats lie on the time axis: for a take tapped along the
// recording its own taps' times on it, interpolated between them; for any
// other, and beyond an anchored take's taps, the grid (from an anchored
// take's outermost tap on, by the grid's lengths).
class BeatPlacer {
public:
    BeatPlacer(const std::vector<double>& gridTime, const Take* take, const TakeAnalysis* analysis, int64_t anchor)
        : grid(gridTime)
    {
        if (!take || !analysis || anchor < 0 || analysis->BeatOfTap.size() != take->size())
            return;
        for (size_t i = 0; i < take->size(); ++i) {
            const int64_t beat = analysis->BeatOfTap[i];
            if (beat == ExtraTap || (!beats.empty() && static_cast<double>(beat) <= beats.back()))
                continue;
            beats.push_back(static_cast<double>(beat));
            times.push_back(static_cast<double>(anchor) + static_cast<double>((*take)[i]));
        }
    }

    double operator()(double beat) const
    {
        const auto onGrid = [&](double b) { return XOfBeat(grid, CurveAxis::Time, b); };
        if (beats.empty())
            return onGrid(beat);
        if (beat <= beats.front())
            return times.front() + (onGrid(beat) - onGrid(beats.front()));
        if (beat >= beats.back())
            return times.back() + (onGrid(beat) - onGrid(beats.back()));
        // The curves ask in rising order: from the last answer on, a step
        // or two; a search only when asked for an earlier beat.
        size_t after = hint;
        if (after == 0 || after >= beats.size() || beats[after - 1] > beat)
            after = static_cast<size_t>(std::upper_bound(beats.begin(), beats.end(), beat) - beats.begin());
        while (beats[after] <= beat)
            ++after;
        hint = after;
        const double b0 = beats[after - 1];
        const double b1 = beats[after];
        return times[after - 1] + (beat - b0) / (b1 - b0) * (times[after] - times[after - 1]);
    }

private:
    const std::vector<double>& grid;
    std::vector<double> beats;  // rising
    std::vector<double> times;
    mutable size_t hint = 0;  // where the last beat asked for was found
};

bool IsAnchored(const GraphContent& content, size_t m)
{
    return m < content.Anchors.size() && content.Anchors[m] >= 0;
}

}  // namespace

double GridStartOnRecording(const GraphContent& content, const std::vector<double>& gridTimeFromZero)
{
    if (content.Findings.Takes.size() != content.Takes.size())
        return 0.0;
    std::vector<double> starts;
    for (size_t m = 0; m < content.Takes.size(); ++m) {
        const std::vector<int64_t>& beats = content.Findings.Takes[m].BeatOfTap;
        if (!IsAnchored(content, m) || beats.size() != content.Takes[m].size())
            continue;
        // A thousand taps or so of each take tell the median as well as all
        // of them, at a small part of the cost.
        const size_t stride = std::max<size_t>(1, beats.size() / 1024);
        for (size_t i = 0; i < beats.size(); i += stride) {
            if (beats[i] >= 0 && static_cast<size_t>(beats[i]) < gridTimeFromZero.size())
                starts.push_back(static_cast<double>(content.Anchors[m]) + static_cast<double>(content.Takes[m][i]) -
                                 gridTimeFromZero[static_cast<size_t>(beats[i])]);
        }
    }
    if (starts.empty())
        return 0.0;
    const auto middle = starts.begin() + static_cast<std::ptrdiff_t>(starts.size() / 2);
    std::nth_element(starts.begin(), middle, starts.end());
    return *middle;
}

// What the line shows is what the sequencer gets.
Curve ExportCurve(const GraphContent& content, CurveAxis axis)
{
    Curve curve;
    if (content.ExportBeatTimes.size() < 2)
        return curve;
    const int interp = std::clamp(content.InterpCount, 0, MaxInterpCount);
    const int base = std::clamp(content.TimeSigBase, 0, MaxTimeSigBase);
    const TempoMap map = TempoMapFromBeatTimes(content.ExportBeatTimes, interp, base);
    const double beatTicks = 4.0 * TicksPerQuarter / static_cast<double>(1 << base);
    const double basePerQuarter = static_cast<double>(1 << base) / 4.0;
    curve.reserve(map.size());
    double tick = 0.0;
    double time = 0.0;
    for (size_t c = 0; c < map.size(); ++c) {
        tick += map[c].Delta;
        // Where the next point starts: its delta, or the end of the last beat.
        const double next = c + 1 < map.size() ? tick + map[c + 1].Delta
                                               : beatTicks * static_cast<double>(content.ExportBeatTimes.size() - 1);
        const double tempo = static_cast<double>(map[c].Tempo);
        if (tempo > 0.0) {
            const double x = axis == CurveAxis::Beat ? tick / beatTicks : time;
            curve.push_back(CurvePoint{x, 60.0e6 / tempo * basePerQuarter});
        }
        // A map that runs backwards (very uneven averages) stays in order.
        time += std::max(0.0, (next - tick) / TicksPerQuarter * tempo / 1000.0);
    }
    return curve;
}

GraphModel BuildGraphModel(const GraphContent& content, CurveAxis axis)
{
    GraphModel model;
    model.Axis = axis;
    TakeList takes = TakeListOf(content.Takes);

    const std::vector<double>& intervals = content.Findings.BeatIntervals;
    model.GridTime.assign(intervals.size() + 1, 0.0);
    for (size_t j = 0; j < intervals.size(); ++j)
        model.GridTime[j + 1] = model.GridTime[j] + intervals[j];
    // With a recording every time is one on it: the grid starts where the
    // anchored takes put its first beat.
    const bool recording = content.Waveform && content.WaveformRate > 0;
    const bool onRecording = recording && axis == CurveAxis::Time;
    double gridStart = 0.0;
    if (recording) {
        gridStart = GridStartOnRecording(content, model.GridTime);
        for (double& t : model.GridTime)
            t += gridStart;
    }

    // An analysis of other takes than these would put their taps on the
    // wrong beats: then the takes have no lines.
    const bool analysed = content.Findings.Takes.size() == content.Takes.size();
    std::vector<BeatPlacer> placers;
    if (onRecording) {
        for (size_t m = 0; m < content.Takes.size(); ++m) {
            const bool own = analysed && IsAnchored(content, m);
            placers.emplace_back(model.GridTime, own ? &content.Takes[m] : nullptr,
                                 own ? &content.Findings.Takes[m] : nullptr, own ? content.Anchors[m] : -1);
        }
    }
    const CurveAxis curveAxis = onRecording ? CurveAxis::Beat : axis;
    if (analysed)
        model.Takes = TakeCurves(takes, content.Findings, curveAxis);
    else
        model.Takes.resize(content.Takes.size());
    const Band band = SpreadBand(model.Takes);
    model.SpreadLow.reserve(band.X.size());
    model.SpreadHigh.reserve(band.X.size());
    for (size_t i = 0; i < band.X.size(); ++i) {
        // The band spans the grid's beats, wherever a take's own taps put
        // its line.
        const double x = onRecording ? XOfBeat(model.GridTime, axis, band.X[i]) : band.X[i];
        model.SpreadLow.push_back(CurvePoint{x, band.Low[i]});
        model.SpreadHigh.push_back(CurvePoint{x, band.High[i]});
    }
    if (onRecording) {
        for (size_t m = 0; m < model.Takes.size(); ++m) {
            for (CurvePoint& point : model.Takes[m])
                point.X = placers[m](point.X);
        }
    }
    model.Export = ExportCurve(content, axis);
    // On the beat axis a map lined up with the recording starts with its
    // lead-in beats: its first tapped beat goes on the takes' first beat.
    if (recording && !onRecording && content.ExportOnRecording) {
        const std::vector<double>& beats = content.ExportBeatTimes;
        const double leadIn = static_cast<double>(
            std::count_if(beats.begin(), beats.end(), [gridStart](double t) { return t < gridStart - 0.5; }));
        for (CurvePoint& point : model.Export)
            point.X -= leadIn;
    }

    if (onRecording) {
        model.Waveform = std::make_shared<const WaveformLevels>(*content.Waveform);
        model.WaveformRate = content.WaveformRate;
        model.RecordingMs = static_cast<double>(model.Waveform->Frames()) * 1000.0 / content.WaveformRate;
        // The map from the recording's first sample, or from the grid's
        // first beat as without a recording.
        const std::vector<double>& beats = content.ExportBeatTimes;
        const double shift = beats.empty() ? 0.0 : content.ExportOnRecording ? beats.front() : gridStart;
        for (CurvePoint& point : model.Export)
            point.X += shift;
        model.BeatLines.reserve(beats.size());
        for (double t : beats)
            model.BeatLines.push_back(t + (content.ExportOnRecording ? 0.0 : gridStart - beats.front()));
        // Snapped times are times on the recording: a map that is not lined
        // up with it has none to show.
        if (content.ExportOnRecording && content.TappedBeatMs.size() == content.SnappedBeatMs.size()) {
            model.Beats.reserve(content.SnappedBeatMs.size());
            for (size_t j = 0; j < content.SnappedBeatMs.size(); ++j) {
                const BeatMark mark = j < content.BeatMarks.size() ? content.BeatMarks[j] : BeatMark::Snapped;
                model.Beats.push_back(GraphBeat{content.TappedBeatMs[j], content.SnappedBeatMs[j], mark});
            }
        }
        if (content.OnsetValues && content.OnsetHopMs > 0.0) {
            model.Onsets = content.OnsetValues;
            model.OnsetHopMs = content.OnsetHopMs;
        }
    }

    for (size_t m = 0; analysed && m < content.Takes.size(); ++m) {
        const TakeAnalysis& analysis = content.Findings.Takes[m];
        for (size_t f = 0; f < analysis.Findings.size(); ++f) {
            double beat = 0.0;
            if (!FindingBeat(content.Takes[m], analysis, analysis.Findings[f], beat))
                continue;
            GraphMarker marker;
            marker.Take = static_cast<int>(m);
            marker.Finding = static_cast<int>(f);
            marker.Kind = analysis.Findings[f].Kind;
            marker.Accepted = m >= content.Accepted.size() || f >= content.Accepted[m].size() || content.Accepted[m][f];
            marker.X = onRecording ? placers[m](beat) : XOfBeat(model.GridTime, axis, beat);
            // On its take's line; a take without one puts it on the map.
            marker.Bpm = ValueAt(model.Takes[m], marker.X);
            if (std::isnan(marker.Bpm))
                marker.Bpm = ValueAt(model.Export, marker.X);
            if (std::isnan(marker.Bpm))
                continue;
            model.Markers.push_back(marker);
        }
    }

    bool any = false;
    const auto extend = [&](double x) {
        model.XMin = any ? std::min(model.XMin, x) : x;
        model.XMax = any ? std::max(model.XMax, x) : x;
        any = true;
    };
    for (const Curve& curve : model.Takes) {
        if (!curve.empty()) {
            extend(curve.front().X);
            extend(curve.back().X);
        }
    }
    if (!model.Export.empty()) {
        extend(model.Export.front().X);
        extend(model.Export.back().X);
    }
    for (const GraphMarker& marker : model.Markers)
        extend(marker.X);
    model.Empty = !any;
    if (model.Waveform) {
        extend(0.0);
        extend(model.RecordingMs);
    }
    return model;
}
