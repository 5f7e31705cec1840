// The tap dialog's check of the take being recorded.
#include <gtest/gtest.h>

#include <vector>

#include "AnalysisTestSupport.h"
#include "TapMonitor.h"

namespace {

using namespace analysis_test;

TEST(TapMonitor, TempoDeviationAndWarnings)
{
    const Take listed = Steady(40);
    TapMonitor monitor(TakeList{&listed});
    TapMonitor::Feedback f = monitor.Add(1000);
    EXPECT_TRUE(f.HasDeviation);
    f = monitor.Add(1500);
    EXPECT_NEAR(f.Bpm, 120.0, 0.01);
    EXPECT_EQ(f.Warn, TapMonitor::Warning::None);
    f = monitor.Add(2040);  // 40 ms late against the listed beat 2 (1000 ms)
    // (against the take's own running lateness, here under a millisecond)
    EXPECT_NEAR(f.DeviationMs, 40.0 - (static_cast<double>(listed[2]) - 1000.0), 1.0);
    f = monitor.Add(2100);  // 60 ms after the last: an extra tap
    EXPECT_EQ(f.Warn, TapMonitor::Warning::Extra);
    f = monitor.Add(3020);  // beat 4 (2000 ms) skipped: missed
    EXPECT_EQ(f.Warn, TapMonitor::Warning::Missed);
    EXPECT_EQ(f.Taps, 5);

    // An extra tap leaves the deviations of the taps after it alone.
    TapMonitor again(TakeList{&listed});
    for (size_t i = 0; i < 12; ++i) {
        f = again.Add(1000 + listed[i]);
        if (i == 5) {
            EXPECT_EQ(again.Add(1000 + listed[i] + 140).Warn, TapMonitor::Warning::Extra);
        }
        EXPECT_EQ(f.Warn, TapMonitor::Warning::None) << i;
        EXPECT_NEAR(f.DeviationMs, 0.0, 0.5) << i;
    }

    // Without listed takes it judges by its own recent tempo.
    TapMonitor alone{TakeList{}};
    alone.Add(0);
    alone.Add(400);
    EXPECT_FALSE(alone.Add(800).HasDeviation);
    EXPECT_EQ(alone.Add(1700).Warn, TapMonitor::Warning::Missed);
}

}  // namespace
