// Smoothing of averaged beat times, so that the tempo follows the music
// rather than the jitter of the taps.
//
// The smoothed times x minimise
//     sum_j w_j (x_j - y_j)^2  +  sum_k v_k (x_k - 2 x_k+1 + x_k+2)^2
// over the beat times y: a penalised least-squares fit (a discrete
// smoothing spline) whose penalty is the change of the beat length from one
// beat to the next. w_j is one over the noise variance of y_j; v_k is one
// over the variance the music's own changes of beat length have. With both
// variances right this is the most likely tempo curve under a random-walk
// model of the beat length, so the strength follows the evidence:
// - with several takes, the noise of each averaged beat is measured from
//   the scatter of the takes' beat lengths around that beat, over the number
//   of takes; where the takes scatter, the fit smooths more;
// - with one take, the noise is measured from the take: tap errors make
//   neighbouring intervals pull against each other (a late tap makes one
//   beat long and the next short), a musician's tempo changes do not, so
//   the negative lag-one covariance of the intervals (around their local
//   median) gives the tapping noise, bounded by the whole scatter and by
//   what human tapping shows (10 to 30 ms per tap on a beat of 595 ms, the
//   same share of the beat at faster tempi); a take of 32 beats and more
//   is then fitted under a model of its own (BeatSmoothing.cpp,
//   SmoothLoneTake): errors that wander from tap to tap, and beat lengths
//   that are a slowly moving tempo plus the music's own small departures
//   from it, each variance measured from the take;
// - the music's variance is what the beat-to-beat changes of y show beyond
//   that noise (robustly: a median, so a fermata does not count); a take
//   that bends more than tapping noise explains is expression, and is left
//   nearly alone.
// Real tempo changes survive: a change of beat length far beyond the noise
// (a fermata, a new section) has its penalty lowered to what its size
// warrants, and with the automatic strength no beat moves further from its
// averaged time than 2.5 times that beat's noise.
//
// Fixed strengths 1..10 set the ratio of the two variances directly, from
// 0.5 doubling per level to 256, with the same treatment of large changes.
//
// Arithmetic: + - * / and sqrt in a fixed order only (a banded LDL^T
// solve), so the result is the same on every build.
#pragma once

#include <vector>

#include "TempoMap.h"

constexpr int SmoothingNone = 0;
constexpr int SmoothingAuto = -1;
constexpr int MaxSmoothing = 10;

// Typical human tapping noise per tap, in milliseconds, on a beat of 595 ms.
constexpr double TapNoiseMs = 23.0;

// How much one take's beats change from one to the next beyond its tapping
// noise, as measured for its smoothing: the variance of the music's own
// changes over that of one tap's error (0 for a take too short to measure).
// Steady music tapped by hand stays below about 7; music that bends its
// tempo beat by beat lies far above.
double LoneTakeExpression(const std::vector<double>& beats);
// What the smoothing of one take (SmoothingAuto, one take of 32 beats and
// more) measures of it, as variances in ms^2: one tap's error, a beat
// length's own change beyond the tempo, the tempo's step per beat. Measured
// from the second differences of the beat times at spans of 1 to 8 beats,
// where the three grow differently with the span (BeatSmoothing.cpp says
// how). `measured` false where the take is too short or too even to show
// them (fewer than three spans whose differences are not mostly zero).
struct LoneTakeModel {
    double tap = 0.0;
    double music = 0.0;
    double drift = 0.0;
    bool measured = false;
};
LoneTakeModel MeasureLoneTakeModel(const std::vector<double>& beats);
// beats: averaged beat times (ms). aligned: the takes the average was made
// from, with a take's k-th time on beat k (the noise is measured from their
// scatter). smoothing: SmoothingAuto or 1..MaxSmoothing; SmoothingNone and
// fewer than three beats return the times unchanged.
std::vector<double> SmoothBeatTimes(const std::vector<double>& beats, const TakeList& aligned, int smoothing);
// The same with some beats held where they are: `fixed[i]` true keeps beat
// i's time exactly (a beat on its onset in the recording), and the others
// are smoothed between them. An empty mask (or one shorter than the beats,
// for the rest) holds none.
std::vector<double> SmoothBeatTimes(const std::vector<double>& beats, const TakeList& aligned, int smoothing,
                                    const std::vector<bool>& fixed);
