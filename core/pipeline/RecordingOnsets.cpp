#include "RecordingOnsets.h"

#include <utility>

OnsetCurve OnsetCurveOf(OnsetStrength strength)
{
    OnsetCurve curve = CurveOfCentredFrames(strength.HopMs, strength.WindowMs, std::move(strength.Values),
                                            strength.FineWindowMs, std::move(strength.Fine), onset_detail::kSpeaksMs);
    // Fine peaks placed as PickOnsets places them: where they rose.
    curve.FineRiseShare = onset_detail::kFineRiseShare;
    curve.FineRiseLookMs = onset_detail::kFineRiseLookMs;
    curve.FineRiseStartMs = onset_detail::FineLagMs(strength.FineWindowMs, strength.HopMs);
    curve.Low = std::move(strength.Low);
    if (!strength.Swell.empty()) {
        auto slow = std::make_shared<OnsetCurve>();
        slow->HopMs = strength.HopMs;
        slow->Values = std::move(strength.Swell);
        slow->StartMs = onset_detail::kSwellStartMs;
        slow->RiseShare = onset_detail::kSwellRiseShare;
        slow->RiseLookMs = onset_detail::kSwellLookMs;
        curve.Slow = std::move(slow);
    }
    return curve;
}
