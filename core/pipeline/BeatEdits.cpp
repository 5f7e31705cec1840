#include "BeatEdits.h"

#include <algorithm>

int64_t EditedBeat(const std::vector<double>& beatsMs, int64_t atUs)
{
    if (beatsMs.empty())
        return -1;
    const double at = static_cast<double>(atUs) / 1000.0;
    const auto next = std::lower_bound(beatsMs.begin(), beatsMs.end(), at);
    size_t nearest = static_cast<size_t>(next - beatsMs.begin());
    if (nearest == beatsMs.size() || (nearest > 0 && at - beatsMs[nearest - 1] <= beatsMs[nearest] - at))
        nearest = nearest == 0 ? 0 : nearest - 1;
    // Half the interval on the side the time lies (the first and last beat
    // use their one interval); a lone beat takes any time.
    double interval = 0.0;
    if (beatsMs.size() > 1) {
        const bool after = at >= beatsMs[nearest];
        if ((after && nearest + 1 < beatsMs.size()) || nearest == 0)
            interval = beatsMs[nearest + 1] - beatsMs[nearest];
        else
            interval = beatsMs[nearest] - beatsMs[nearest - 1];
    }
    const double distance = at >= beatsMs[nearest] ? at - beatsMs[nearest] : beatsMs[nearest] - at;
    if (beatsMs.size() > 1 && distance > interval / 2.0)
        return -1;
    return static_cast<int64_t>(nearest);
}

std::vector<bool> ApplyBeatEdits(std::vector<double>& beatsMs, const std::vector<BeatEdit>& edits)
{
    std::vector<bool> edited(beatsMs.size(), false);
    // Every edit finds its beat among the beats as they were before any
    // edit, so the order of edits of different beats does not matter.
    const std::vector<double> before = beatsMs;
    for (const BeatEdit& edit : edits) {
        const int64_t found = EditedBeat(before, edit.AtUs);
        if (found < 0)
            continue;
        const size_t beat = static_cast<size_t>(found);
        double to = static_cast<double>(edit.ToUs) / 1000.0;
        if (beat > 0)
            to = std::max(to, beatsMs[beat - 1] + 1.0);
        if (beat + 1 < beatsMs.size())
            to = std::min(to, beatsMs[beat + 1] - 1.0);
        // Neighbours closer than 2 ms leave the beat where it is.
        if (beat > 0 && beat + 1 < beatsMs.size() && beatsMs[beat + 1] - beatsMs[beat - 1] < 2.0)
            continue;
        beatsMs[beat] = to;
        edited[beat] = true;
    }
    return edited;
}
