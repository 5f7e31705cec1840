#include "TapMonitor.h"

#include <algorithm>
#include <cmath>

#include "Consensus.h"
#include "TapAnalysis.h"

TapMonitor::TapMonitor(const TakeList& listed)
{
    TakeList usable;
    for (const Take* take : listed)
        if (take->size() >= 2)
            usable.push_back(take);
    if (usable.empty())
        return;
    const Analysis analysis = AnalyzeTakes(usable);
    consensus_ = tap_analysis::GridTimes(analysis.BeatIntervals);
}

double TapMonitor::ExpectedInterval() const
{
    if (beat_ + 1 < static_cast<int64_t>(consensus_.size()))
        return consensus_[static_cast<size_t>(beat_ + 1)] - consensus_[static_cast<size_t>(beat_)];
    if (recent_.empty())
        return 0.0;
    std::vector<double> sorted(recent_);
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

TapMonitor::Feedback TapMonitor::Add(uint32_t time)
{
    Feedback feedback;
    ++taps_;
    feedback.Taps = taps_;
    if (taps_ == 1) {
        first_ = last_ = time;
        beat_ = 0;
        feedback.HasDeviation = !consensus_.empty();
        return feedback;
    }
    const double interval = static_cast<double>(time - last_);
    const double expected = ExpectedInterval();
    int64_t step = 1;
    if (expected > 0.0) {
        if (interval < 0.5 * expected) {
            feedback.Warn = Warning::Extra;
            step = 0;
        } else if (interval > 1.6 * expected) {
            feedback.Warn = Warning::Missed;
            step = static_cast<int64_t>(std::min(std::floor(interval / expected + 0.5), 1e6));
        }
    }
    // An extra tap belongs to no beat: the next interval is measured from the
    // beat's own tap, and the tap's lateness does not count into the take's.
    const bool extra = feedback.Warn == Warning::Extra;
    if (!extra)
        last_ = time;
    beat_ += step;
    if (step == 1) {
        recent_.push_back(interval);
        if (recent_.size() > 4)
            recent_.erase(recent_.begin());
    }
    if (!recent_.empty()) {
        double sum = 0.0;
        for (const double r : recent_)
            sum += r;
        const double mean = sum / static_cast<double>(recent_.size());
        feedback.Bpm = mean > 0.0 ? 60000.0 / mean : 0.0;
    }
    if (beat_ < static_cast<int64_t>(consensus_.size())) {
        const double since = static_cast<double>(time - first_);
        const double deviation = since - consensus_[static_cast<size_t>(beat_)];
        feedback.HasDeviation = true;
        feedback.DeviationMs = deviation - offset_;
        // Follow a steady lateness slowly, so the figure shows this tap's
        // deviation, not the take's whole drift.
        if (!extra)
            offset_ += (deviation - offset_) * 0.125;
    }
    return feedback;
}
