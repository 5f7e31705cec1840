// A recording's onset strength (core/audio) as the curves the snapping
// takes (core/tempo/analysis): each curve placed by its detector's own lag
// and moved back to where its notes start, the curve of slow attacks
// beside it, its onsets placed where their rise began.
#pragma once

#include "BeatSnapping.h"
#include "OnsetStrength.h"

OnsetCurve OnsetCurveOf(OnsetStrength strength);
