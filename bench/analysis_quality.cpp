// Quality of the tap analysis on generated takes: beats matched, interval
// and beat-time errors of the exported map against the true beats, with
// and without repair and smoothing, against the oracle (the plain average of
// the same takes without their slips).
//
//   analysis_quality [SETS] [FIRST]     (default 200 sets of each kind, from set 1)
//
// Prints one table per kind of set and whether each goal is met; exits 1
// when one is not.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TakeGenerator.h"
#include "TapAnalysis.h"
#include "TempoPipeline.h"

namespace {

struct Errors {
    bool rightCount = false;
    double rmsInterval = 0.0;
    double worstInterval = 0.0;
    double medianBeatTime = 0.0;
};

// Interval and beat-time errors of beat times against the truth; the beat
// times' constant offset is set aside, as a tempo map has none.
Errors Measure(const std::vector<double>& beats, const std::vector<double>& truth)
{
    Errors e;
    e.rightCount = beats.size() == truth.size();
    const size_t n = std::min(beats.size(), truth.size());
    if (n < 2)
        return e;
    double squares = 0.0;
    double offset = 0.0;
    for (size_t j = 0; j < n; ++j)
        offset += beats[j] - truth[j];
    offset /= static_cast<double>(n);
    std::vector<double> beatErrors;
    for (size_t j = 0; j + 1 < n; ++j) {
        const double d = (beats[j + 1] - beats[j]) - (truth[j + 1] - truth[j]);
        squares += d * d;
        e.worstInterval = std::max(e.worstInterval, std::fabs(d));
    }
    for (size_t j = 0; j < n; ++j)
        beatErrors.push_back(std::fabs(beats[j] - truth[j] - offset));
    std::nth_element(beatErrors.begin(), beatErrors.begin() + static_cast<std::ptrdiff_t>(n / 2), beatErrors.end());
    e.medianBeatTime = beatErrors[n / 2];
    e.rmsInterval = std::sqrt(squares / static_cast<double>(n - 1));
    return e;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Mean(const std::vector<double>& v)
{
    double s = 0.0;
    for (double x : v)
        s += x;
    return v.empty() ? 0.0 : s / static_cast<double>(v.size());
}

struct Column {
    explicit Column(const char* title) : name(title) {}
    std::string name;
    std::vector<double> rms, worst, beatTime;
    int rightCount = 0;
};

void Add(Column& c, const Errors& e)
{
    c.rms.push_back(e.rmsInterval);
    c.worst.push_back(e.worstInterval);
    c.beatTime.push_back(e.medianBeatTime);
    c.rightCount += e.rightCount ? 1 : 0;
}

void PrintTable(const char* title, const std::vector<Column>& columns, int sets)
{
    std::printf("\n%s (%d sets)\n", title, sets);
    std::printf("  %-26s %9s %9s %9s %9s %9s\n", "", "RMS ms", "worst ms", "max worst", "beat ms", "count ok");
    for (const Column& c : columns)
        std::printf("  %-26s %9.2f %9.2f %9.1f %9.2f %8d%%\n", c.name.c_str(), Mean(c.rms), Mean(c.worst),
                    *std::max_element(c.worst.begin(), c.worst.end()), Median(c.beatTime),
                    c.rightCount * 100 / sets);
}

bool Goal(bool met, const char* text)
{
    std::printf("  [%s] %s\n", met ? "met" : "NOT MET", text);
    return met;
}

SlipKind RandomSlip(TakeRandom& random)
{
    switch (random.Between(0, 3)) {
    case 0:
        return SlipKind::Missed;
    case 1:
        return SlipKind::DoubleTap;
    case 2:
        return SlipKind::LateStart;
    default:
        return SlipKind::EarlyStop;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int sets = argc > 1 ? std::atoi(argv[1]) : 200;
    const uint32_t first = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 1;
    bool allMet = true;
    const AnalysisOptions plain;
    AnalysisOptions repair;
    repair.Repair = true;
    AnalysisOptions repairAuto = repair;
    repairAuto.Smoothing = SmoothingAuto;
    AnalysisOptions autoOnly;
    autoOnly.Smoothing = SmoothingAuto;

    for (const PieceStyle style : {PieceStyle::Steady, PieceStyle::Expressive}) {
        const bool steady = style == PieceStyle::Steady;
        TakeRandom random(first * 7919u + (steady ? 0u : 1u));
        // Five takes, three of them with one slip each.
        std::vector<Column> five{Column("oracle (no slips, plain)"), Column("plain"), Column("--repair"),
                                 Column("--repair --smooth auto"), Column("clean, --smooth auto"),
                                 Column("clean, --repair")};
        int matched = 0;
        int falseFindings = 0;
        int setsWithFalseFindings = 0;
        int missedSlips = 0;
        std::vector<double> rmsRatio, worstRatio, smoothRatio;
        for (int s = 0; s < sets; ++s) {
            const std::vector<double> piece = GeneratePiece(random, style, random.Between(200, 900));
            std::vector<GeneratedTake> generated;
            std::vector<int> slipped{0, 1, 2, 3, 4};
            for (int i = 4; i > 0; --i)
                std::swap(slipped[static_cast<size_t>(i)], slipped[static_cast<size_t>(random.Between(0, i))]);
            for (int m = 0; m < 5; ++m) {
                const bool slips = slipped[static_cast<size_t>(m)] < 3;
                generated.push_back(GenerateTake(random, piece, slips ? RandomSlip(random) : SlipKind::None));
            }
            std::vector<Take> clean, withSlips;
            for (const GeneratedTake& g : generated) {
                clean.push_back(g.Clean);
                withSlips.push_back(g.Slipped);
            }
            const TakeList cleanList = TakeListOf(clean);
            const TakeList slipList = TakeListOf(withSlips);
            const Errors oracle = Measure(BeatTimesForExport(cleanList, plain), piece);
            const Errors repaired = Measure(BeatTimesForExport(slipList, repair), piece);
            const Errors cleanAuto = Measure(BeatTimesForExport(cleanList, autoOnly), piece);
            Add(five[0], oracle);
            Add(five[1], Measure(BeatTimesForExport(slipList, plain), piece));
            Add(five[2], repaired);
            Add(five[3], Measure(BeatTimesForExport(slipList, repairAuto), piece));
            Add(five[4], cleanAuto);
            Add(five[5], Measure(BeatTimesForExport(cleanList, repair), piece));
            rmsRatio.push_back(repaired.rmsInterval / oracle.rmsInterval);
            worstRatio.push_back(repaired.worstInterval / oracle.worstInterval);
            smoothRatio.push_back(cleanAuto.rmsInterval / oracle.rmsInterval);

            // Beats matched: the right count, and every tap of every take on
            // its true beat (shifted by the grid's start, which is where most
            // takes start).
            const Analysis analysis = AnalyzeTakes(slipList);
            bool allRight = repaired.rightCount;
            for (size_t m = 0; m < 5 && allRight; ++m)
                for (size_t i = 0; i < generated[m].BeatOfTap.size(); ++i) {
                    // Of a double tap either tap may be the one kept.
                    const GeneratedTake& g = generated[m];
                    std::vector<int64_t> found = analysis.Takes[m].BeatOfTap;
                    for (int64_t& b : found)
                        b = b == ExtraTap ? -1 : b;
                    if (g.Slip == SlipKind::DoubleTap && (static_cast<int64_t>(i) == g.SlipTap ||
                                                          static_cast<int64_t>(i) + 1 == g.SlipTap)) {
                        const size_t extra = static_cast<size_t>(g.SlipTap);
                        if (found[extra] + found[extra - 1] == g.BeatOfTap[extra - 1] - 1)
                            continue;
                    }
                    if (found[i] != g.BeatOfTap[i]) {
                        allRight = false;
                        break;
                    }
                }
            matched += allRight ? 1 : 0;
            for (size_t m = 0; m < 5; ++m)
                if (generated[m].Slip == SlipKind::Missed || generated[m].Slip == SlipKind::DoubleTap) {
                    bool found = false;
                    for (const Finding& f : analysis.Takes[m].Findings)
                        found = found || ((f.Tap == generated[m].SlipTap ||
                                           (generated[m].Slip == SlipKind::DoubleTap && f.Tap + 1 == generated[m].SlipTap)) &&
                                          (f.Kind == FindingKind::Missed || f.Kind == FindingKind::Extra));
                    missedSlips += found ? 0 : 1;
                }

            const Analysis cleanAnalysis = AnalyzeTakes(cleanList);
            int wrong = 0;
            for (const TakeAnalysis& t : cleanAnalysis.Takes)
                for (const Finding& f : t.Findings)
                    wrong += f.Kind == FindingKind::Outlier ? 0 : 1;
            if (wrong > 0 && std::getenv("QUALITY_VERBOSE"))
                for (size_t m = 0; m < cleanAnalysis.Takes.size(); ++m)
                    for (const Finding& f : cleanAnalysis.Takes[m].Findings)
                        if (f.Kind != FindingKind::Outlier)
                        {
                            std::printf("    set %d: clean take %zu: %s at tap %lld:", s, m, FindingKindName(f.Kind),
                                        static_cast<long long>(f.Tap));
                            const size_t t = static_cast<size_t>(f.Tap);
                            for (size_t i = t >= 3 ? t - 3 : 0; i < std::min(clean[m].size() - 1, t + 4); ++i)
                                std::printf(" %u", clean[m][i + 1] - clean[m][i]);
                            std::printf(" | consensus");
                            for (size_t i = t >= 3 ? t - 3 : 0; i < std::min(cleanAnalysis.BeatIntervals.size(), t + 4); ++i)
                                std::printf(" %.0f", cleanAnalysis.BeatIntervals[i]);
                            std::printf("\n");
                        }
            falseFindings += wrong;
            setsWithFalseFindings += wrong > 0 ? 1 : 0;
        }
        const std::string title = std::string(steady ? "Steady" : "Expressive") + " pieces, five takes, three slipped";
        PrintTable(title.c_str(), five, sets);
        std::printf("  beats matched in %d of %d sets; slips not found at their tap: %d; false findings on clean "
                    "takes: %d (in %d sets)\n",
                    matched, sets, missedSlips, falseFindings, setsWithFalseFindings);
        std::printf("  --repair against the oracle, per set: RMS ratio mean %.3f median %.3f; worst ratio mean "
                    "%.3f median %.3f\n",
                    Mean(rmsRatio), Median(rmsRatio), Mean(worstRatio), Median(worstRatio));
        allMet &= Goal(matched * 100 >= 98 * sets, "every beat matched in at least 98 % of sets");
        allMet &= Goal(Mean(five[2].rms) <= 1.1 * Mean(five[0].rms), "--repair RMS interval error <= 1.1 x oracle");
        allMet &= Goal(Mean(five[2].worst) <= 1.25 * Mean(five[0].worst), "--repair worst interval <= 1.25 x oracle");
        allMet &= Goal(falseFindings == 0, "no false missed, extra or start findings on clean takes");
        int worse = 0;
        for (double r : smoothRatio)
            worse += r > 1.05 ? 1 : 0;
        std::printf("  --smooth auto on five clean takes against their plain average: RMS ratio mean %.3f, worst "
                    "set %.3f\n",
                    Mean(smoothRatio), *std::max_element(smoothRatio.begin(), smoothRatio.end()));
        allMet &= Goal(worse == 0, "five takes: --smooth auto never worse than the plain average by more than 5 %");

        // One take.
        std::vector<Column> one{Column("oracle (no slip, plain)"), Column("plain"), Column("--repair --smooth auto"),
                                Column("clean, --smooth auto")};
        std::vector<double> beatRatio, rmsOne;
        for (int s = 0; s < sets; ++s) {
            const std::vector<double> piece = GeneratePiece(random, style, random.Between(200, 900));
            const GeneratedTake g =
                GenerateTake(random, piece, random.Chance(0.5) ? SlipKind::Missed : SlipKind::DoubleTap);
            const TakeList cleanList{&g.Clean};
            const TakeList slipList{&g.Slipped};
            const Errors oracle = Measure(BeatTimesForExport(cleanList, plain), piece);
            const Errors cleanAuto = Measure(BeatTimesForExport(cleanList, autoOnly), piece);
            Add(one[0], oracle);
            Add(one[1], Measure(BeatTimesForExport(slipList, plain), piece));
            Add(one[2], Measure(BeatTimesForExport(slipList, repairAuto), piece));
            Add(one[3], cleanAuto);
            beatRatio.push_back(cleanAuto.medianBeatTime / oracle.medianBeatTime);
            rmsOne.push_back(cleanAuto.rmsInterval / oracle.rmsInterval);
        }
        const std::string oneTitle = std::string(steady ? "Steady" : "Expressive") + " pieces, one take, one slip";
        PrintTable(oneTitle.c_str(), one, sets);
        int muchWorse = 0;
        for (double r : beatRatio)
            muchWorse += r > 1.10 ? 1 : 0;
        std::printf("  --smooth auto against smoothing 0 on the clean take: RMS interval ratio %.3f; median "
                    "beat-time error ratio %.3f; sets over 10 %% worse: %d\n",
                    Mean(one[3].rms) / Mean(one[0].rms), Median(one[3].beatTime) / Median(one[0].beatTime),
                    muchWorse);
        if (steady) {
            allMet &= Goal(Mean(one[3].rms) <= Mean(one[0].rms) * (2.0 / 3.0),
                           "one steady take: --smooth auto cuts the RMS interval error by a third");
        } else {
            allMet &= Goal(Median(one[3].beatTime) <= 1.02 * Median(one[0].beatTime),
                           "one expressive take: median beat-time error within 2 % of smoothing 0");
            allMet &= Goal(muchWorse * 10 <= sets, "one expressive take: at most 10 % of sets over 10 % worse");
        }
    }
    return allMet ? 0 : 1;
}
