// The undo history's state compared as a musician sees it: the same takes
// in the same order, with their times, taps, check marks and turned-down
// findings, and the same base note.
#pragma once

#include "TakeHistory.h"

inline bool SameState(const ListState& a, const ListState& b)
{
    if (a.TimeSigBase != b.TimeSigBase || a.Takes.size() != b.Takes.size())
        return false;
    for (size_t i = 0; i < a.Takes.size(); ++i) {
        const SessionTake& x = a.Takes[i];
        const SessionTake& y = b.Takes[i];
        if (x.ListedAt != y.ListedAt || x.Taps != y.Taps || x.Checked != y.Checked || !(x.Rejected == y.Rejected))
            return false;
    }
    return true;
}
