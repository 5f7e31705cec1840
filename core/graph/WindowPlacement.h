// Where a new window opens beside its owner: wholly inside the work area of
// the owner's monitor, the screen less the task bar, so that no part of it
// opens out of reach.
#pragma once

#include "GraphLayout.h"

// A window of width x height (outer size) beside `owner`, `gap` pixels
// apart, top edges level: to the owner's right where that fits, else to
// its left, else over the owner as far towards the side with more room as
// the work area allows; then moved down or up into the work area. Made
// smaller only where the work area itself is smaller. An empty work area
// leaves the window beside the owner as asked.
GraphRect PlaceBesideOwner(const GraphRect& owner, int width, int height, int gap, const GraphRect& workArea);
