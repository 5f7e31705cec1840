// Snapping of beat times onto the onsets of the recording they were tapped
// along, so that a tapper's error (about 24 ms per tap, and a lead or lag of
// its own per take) does not stay in the tempo map.
//
// The input is the beat times on the recording's timeline and its onset
// strength: a value in [0, 1] every HopMs, normalised by its local maximum,
// so that a soft passage's attacks reach 1 as a loud passage's do. How it
// decides:
// - Every beat looks for its onset in a window as wide as half the gap to
//   its nearer neighbour each side, and never more than MaxShiftMs: a beat
//   does not reach past the middle between it and the next, so an off-beat
//   is never nearer to the window's centre than the beat's own onset would
//   be without an error.
// - The windows are centred on the beats plus the shift they share (a
//   tapper's lead or lag): of the shifts on the curve's grid from
//   MaxLagMs back to MaxLeadMs on (tappers lag by up to 100 ms and lead by
//   up to 60), the one under which the most beats lie on clear onsets (each
//   beat counting the strongest clear strength within 15 ms of where the
//   shift puts it, but not beyond the lag and lead by more than 5 ms,
//   capped, so that a train of onsets under every beat outweighs a few
//   louder accents between them, off-beat stabs just beyond the lead do not
//   gather at the edge, and the curve's floor of noise counts for nothing).
//   A lag of 100 ms and a tap error of 60 ms on top of it are then both in
//   reach. Where the curve has a low band (Low) and another train of
//   onsets at least 50 ms away nearly matches the best (off-beat stabs
//   over soft kicks, or the notes a sixteenth before the beats, with a
//   tapper leading or lagging by about as much as tappers do), the train
//   whose sum, times the sum of the low band's peaks under it, is 1.2
//   times the other's wins: beats carry the kick and the bass note more
//   often than the notes between them.
// - The candidate shifts of a beat are the curve's frames in its window. A
//   dynamic programme over the beats (Viterbi) chooses every beat's shift
//   together: it maximises the sum of the strengths at beat + shift, less a
//   price for every change of shift from one beat to the next, 1 /
//   ShiftChangeMs per millisecond. A common lead or lag costs nothing; a
//   beat with no clear onset keeps its neighbours' shift (where the curve is
//   flat the cheapest frame is the one nearest theirs); an accent off the
//   beats' common shift pays for the way out and back, so it captures a
//   beat only when it is much stronger than the beat's own onset. The price
//   is linear in the change, not squared, so a late run of taps is followed
//   onto its onsets rather than averaged with its neighbours. An onset more
//   than AfterTapMs after a beat's tap (and the common shift) costs more
//   still: taps run late, hardly early, and syncopated accents lie after
//   the beat. Where the curve has a low band, a frame near a kick or a
//   bass note gains a little (LowWeight): of a beat's candidates, the one
//   carrying the bass is more often the beat than a note between.
// - The chosen frame climbs to the top of its peak within the window (the
//   programme may stop a frame short of it) and is refined between frames
//   by the parabola through the top and its two neighbours; where the curve
//   has a fine one (the same detector over a shorter window), the fine
//   curve's strongest peak just before or at it places the onset instead.
// - A beat is Snapped when that top is a clear peak: a local maximum inside
//   its window (not at its edge, where the real peak lies outside) of at
//   least LeastStrength and at least Contrast times the median of the curve
//   over the window (a peak that stands out from what is around it).
// - Taps far off their beats (one in a hundred is 70 to 130 ms off, and
//   runs of a few lag 80 to 140 ms) are not followed, by the same price
//   that keeps accents out, or are out of reach: such beats, in a run of at
//   most four between two Snapped ones, snap to a clear peak near their
//   points on the straight line between those two (within twice
//   TempoChange of a beat; on the cubic through those two and the beats
//   before and after them where those snapped too, so that the course
//   bends with a rubato), where the music, not the taps, puts them, and
//   never more than 200 ms from where the common shift puts them. A longer
//   run, of three to eight, tapped late together, snaps by the lateness its
//   beats share, where that puts four in five of them on clear peaks,
//   stands out from every other shift, and brings the run's ends nearer to
//   the course of the Snapped beats either side than their taps lie (late
//   taps step off that course; onsets a sixteenth before the beats would
//   step off it instead).
// - A lone Snapped beat more than 60 ms and 0.15 of a beat off the course
//   through the Snapped beats two each side (a far tap followed onto a
//   note between the beats), where that course's tempo changes alike on
//   both sides, moves onto the clear peak nearest the course.
// - A beat still without a clear peak is Unsure, and takes the shift
//   interpolated in time between its nearest Snapped neighbours within
//   eight beats (one side's alone when the other has none); with none
//   within reach, the median shift of all Snapped beats; with no Snapped
//   beat at all, none. In a gap of at most three such beats whose
//   neighbours two each side snapped and bend alike, it then goes part of
//   the way onto the course through those four: as far as the
//   recording's own Snapped beats, placed both ways, show the course to
//   place beats better than the taps do.
// - Where fewer than LeastShare of the beats are Snapped, the recording does
//   not show its beats (they lie under louder accents, or in a wash of
//   sound): every beat is Unsure and stays where it is. A curve of slow
//   attacks (OnsetCurve::Slow) is then tried the same way, unless the few
//   beats the sharp curve found mostly lie elsewhere than the slow curve
//   puts them (swelling stabs between soft beats).
// - No beat passes its neighbour or shortens the beat before it to less
//   than half its length: such a beat keeps the shift of the one before it
//   and is Unsure.
// So a beat with no onset within MaxShiftMs (100 ms) of where the common
// shift puts it is moved only by its neighbours' shift, and where nothing
// snaps nothing moves.
//
// Arithmetic: + - * / only, in a fixed order, so every build gives the same
// times from the same input. The beats may be given in any order; the
// result is per beat in the order given and does not depend on it.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// A recording's onset strength as plain data: Values[i] in [0, 1] at
// StartMs + i * HopMs milliseconds from the recording's first sample.
// StartMs sets a detector's own lag against its frames (core/audio's
// OnsetStrength peaks WindowMs / 2 - HopMs before the sound its peak
// belongs to: its curve's StartMs is that).
struct OnsetCurve {
    double HopMs = 0.0;
    std::vector<float> Values;
    double StartMs = 0.0;
    // The same detector over a shorter window, frame for frame with Values
    // (the same hop), from FineStartMs: it places an onset found on Values
    // more closely. Empty: onsets are placed by Values alone.
    std::vector<float> Fine;
    double FineStartMs = 0.0;
    // Where on a Fine peak its onset lies: where the peak rose past
    // FineRiseShare of the way up from the lowest within FineRiseLookMs
    // before it (refined linearly between frames), that point's frame
    // FineRiseStartMs from the onset (a struck string swells over a few
    // ms, and its top lies that much after the note's start). Zero: at
    // the top, by its parabola (FineStartMs).
    double FineRiseShare = 0.0;
    double FineRiseLookMs = 0.0;
    double FineRiseStartMs = 0.0;
    // The same recording's curve of slow attacks (a bowed or swelled note,
    // rising over tens of ms, hardly shows on Values): where too few beats
    // find clear onsets on Values (LeastShare), they are snapped onto it
    // instead. Null: none.
    std::shared_ptr<const OnsetCurve> Slow;
    // Onsets lie where their rise began, not at their peaks: the last frame
    // before a peak, within RiseLookMs, where the curve climbs past
    // RiseShare of the way from its lowest there to the peak (Fine is not
    // used). Zero on a curve of sharp attacks.
    double RiseShare = 0.0;
    double RiseLookMs = 0.0;
    // The same detector over the low bins alone (kicks, bass notes), frame
    // for frame with Values: it decides between two trains of onsets the
    // beats' common shift might follow, and a beat's candidate near a kick
    // or a bass note counts a little more (LowWeight). Empty: not known.
    std::vector<float> Low;
};

// The curve of a detector whose frame i is centred on i * hopMs, over a
// window of windowMs (core/audio's OnsetStrength): StartMs its lag,
// windowMs / 2 - hopMs.
OnsetCurve CurveOfCentredFrames(double hopMs, double windowMs, std::vector<float> values);
// With its fine curve over a window of fineWindowMs, placed alike, and both
// moved back by speaksMs: how long after a note's start its sound starts
// (core/audio's onset_detail::kSpeaksMs), so that beats land where the
// notes were played.
OnsetCurve CurveOfCentredFrames(double hopMs, double windowMs, std::vector<float> values, double fineWindowMs,
                                std::vector<float> fine, double speaksMs);

enum class SnapState {
    Snapped,  // on a clear onset
    Unsure,   // no clear onset: moved by its neighbours' shift
};

struct SnappedBeat {
    double TimeMs = 0.0;
    SnapState State = SnapState::Unsure;
};

struct SnapOptions {
    // The largest lag and lead the beats may share: tappers lag by up to
    // 100 ms and lead by up to 60 ms (so the beats move back by up to
    // MaxLagMs, and on by up to MaxLeadMs).
    double MaxLagMs = 100.0;
    double MaxLeadMs = 60.0;
    // No beat looks for its onset further away than this.
    double MaxShiftMs = 100.0;
    // Price of a change of shift between neighbouring beats: a change of
    // this many milliseconds costs as much as a full-strength onset gains.
    // Tap errors wander by about 24 ms from one tap to the next, so an
    // isolated tap 24 ms off its neighbours pays a third of a full onset to
    // be followed (out and back), and an accent 90 ms off the beats' shift
    // must be stronger than the beat's own onset by more than a full one.
    // At 100 ms beats whose taps strayed kept them more often (unsure, or
    // held to their neighbours' shift): one take's RMS interval error was
    // 0.5 to 1.5 ms higher on every kind but the drums, in code and
    // rendered; at 200 ms, accents took beats (code-made, one take: 14.3 ms
    // against 13.5).
    double ShiftChangeMs = 140.0;
    // An onset later than a beat's tap (plus the common shift) by more than
    // AfterTapMs costs 1 / AfterTapPriceMs per millisecond beyond. Taps run
    // late by up to 140 ms for a few beats, but hardly ever early by much
    // (one in a hundred, and those are rescued on the line between their
    // neighbours), while the accents that capture beats lie after them: a
    // syncopated chord, a stab on the sixteenth after the beat.
    double AfterTapMs = 45.0;
    double AfterTapPriceMs = 50.0;
    // Where the curve has a low band, a frame gains LowWeight times the
    // largest of the low band within LowReachMs of it: of a beat's
    // candidates, a note with a kick or a bass note in it counts a little
    // more than a note between the beats (off-beat stabs, the sixteenths of
    // a fast passage), wherever the low band's own peak lies within a few
    // frames of the attack (a low note shows in the long window later than
    // a high one). One take: beats more than 70 ms off on code-made accents
    // 1.51 to 0.78 % (RMS interval 13.2 to 11.5 ms), code-made fast
    // passages 1.12 to 0.89 %, rendered fast passages 1.33 to 0.89 % (13.6
    // to 12.4 ms). The cost: code-made fast passages with five takes 6.71 to
    // 7.52 ms, one beat of one recording going onto the sixteenth before it;
    // code-made pads with five takes 6.61 to 6.80. At 0.3, accents and fast
    // passages gained a little more with one take but the same five takes
    // of fast passages went to 8.1 ms; the low band's own value at the
    // frame, without the reach, moved code-made piano with five takes from
    // 7.47 to 8.03 ms.
    double LowWeight = 0.2;
    double LowReachMs = 20.0;
    // Where the common shift is chosen, a beat's peak too weak against the
    // level around it to be clear counts all the same where a kick or a
    // bass note starts with it: the low band within its span at least this
    // high (and Contrast times the low band's level over the beat's
    // window). Brass stabs on the off-beats over soft kicks leave the kicks
    // a tenth of the main curve's local maximum, under three times its
    // level, while the low band carries them at 0.7 and the stabs at 0.1:
    // without this, the beats' train counted nothing, and a take leading by
    // 50 ms went whole onto the stabs half a beat before.
    double LowClear = 0.2;
    // A far-off tap's beat between Snapped ones snaps to a clear peak
    // within twice this share of a beat of its point on the line between
    // them: the music's own change of beat length from one beat to the next
    // (a few per cent of a beat) is what that point can miss the beat by.
    double TempoChange = 0.05;
    // A clear onset is a local maximum of at least this strength (the curve
    // is normalised by its local maximum, so a quieter beat than the bar's
    // loudest, a snare after a kick, still counts), and at least Contrast
    // times the median level of the curve over the beat's window.
    double LeastStrength = 0.06;
    double Contrast = 3.0;
    // Fewer than this share of the beats on clear onsets, and none is
    // moved: the recording does not show its beats.
    double LeastShare = 0.4;
    // How many takes the beats average. From RobustMeanLeast on their
    // average is robust (AverageAlignedTakes takes every beat's RobustMean,
    // which sets the outer taps aside), so one take's far taps and short
    // runs of late taps are outvoted, and a beat is followed onto the line
    // between its neighbours no further than the average's own spread says
    // it errs (see FarTapLeastMs).
    size_t Takes = 1;
};

// The beats moved onto the onsets of `curve`; one result per beat, in the
// order given. An empty curve (or a hop of 0) leaves every beat Unsure and
// unmoved.
std::vector<SnappedBeat> SnapBeats(const std::vector<double>& beats, const OnsetCurve& curve,
                                   const SnapOptions& options = SnapOptions());
