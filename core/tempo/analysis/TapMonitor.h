// The tap dialog's check of the take being recorded against the listed
// takes: its tempo, how far each tap lies off the listed takes' consensus,
// and a warning at a tap that looks missed or extra.
#pragma once

#include <cstdint>
#include <vector>

#include "TempoMap.h"

// Incremental check for the tap dialog: set up once from the listed takes,
// then asked after every tap of the take being recorded. Each Add is a few
// comparisons and a sort of four numbers.
class TapMonitor {
public:
    explicit TapMonitor(const TakeList& listed);

    enum class Warning { None, Missed, Extra };
    struct Feedback {
        int Taps = 0;
        double Bpm = 0.0;         // taps per minute over the last intervals; 0 before two taps
        bool HasDeviation = false;  // listed takes exist and the beat is inside them
        double DeviationMs = 0.0;   // the tap against the listed takes' consensus, + late
        Warning Warn = Warning::None;
    };

    // The time of the new tap (any clock in milliseconds; only differences
    // count).
    Feedback Add(uint32_t time);

private:
    double ExpectedInterval() const;

    std::vector<double> consensus_;  // consensus beat times from 0, may be empty
    std::vector<double> recent_;     // last few single-beat intervals
    uint32_t first_ = 0;
    uint32_t last_ = 0;
    int taps_ = 0;
    int64_t beat_ = 0;
    double offset_ = 0.0;  // running estimate of how late the take taps
};
