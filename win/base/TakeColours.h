// The colour of each listed take: its line in the tempo graph and the mark
// on its row of the list, so that a take is found again by its colour.
#pragma once

#include <windows.h>

// Takes in turn get these colours, chosen to stay apart from each other,
// from the graph's band and from the exported map's black.
inline constexpr COLORREF TakeColours[] = {
    RGB(31, 119, 180), RGB(44, 160, 44),  RGB(214, 39, 40),  RGB(148, 103, 189), RGB(140, 86, 75),
    RGB(227, 119, 194), RGB(255, 127, 14), RGB(23, 190, 207), RGB(188, 189, 34), RGB(127, 127, 127),
};
inline constexpr int TakeColourCount = static_cast<int>(sizeof TakeColours / sizeof TakeColours[0]);

// The colour of the take at `index` in the list (0 first); they repeat
// after TakeColourCount takes.
inline constexpr COLORREF TakeColour(int index)
{
    return TakeColours[((index % TakeColourCount) + TakeColourCount) % TakeColourCount];
}
