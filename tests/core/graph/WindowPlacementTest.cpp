// Where a new graph window opens beside its owner: for any owner and any
// work area, inside the work area and no larger than it, its size kept when
// it fits, beside the owner whenever a side has room.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "WindowPlacement.h"

namespace {

bool Inside(const GraphRect& rect, const GraphRect& area)
{
    return rect.left >= area.left && rect.top >= area.top && rect.right <= area.right && rect.bottom <= area.bottom;
}

std::string Text(const GraphRect& rect)
{
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " - " + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom);
}

TEST(WindowPlacement, AnyOwnerAnyWorkAreaOpensInsideIt)
{
    std::mt19937 engine(1024);
    const auto between = [&](int lo, int hi) {
        return lo + static_cast<int>(engine() % static_cast<unsigned>(hi - lo + 1));
    };
    for (int round = 0; round < 20000; ++round) {
        const GraphRect work{between(-4000, 4000), between(-3000, 3000), 0, 0};
        const GraphRect area{work.left, work.top, work.left + between(1, 4000), work.top + between(1, 3000)};
        // Owners anywhere, on the work area, beside it or far off it.
        const int ownerLeft = between(area.left - 3000, area.right + 1000);
        const int ownerTop = between(area.top - 2000, area.bottom + 1000);
        const GraphRect owner{ownerLeft, ownerTop, ownerLeft + between(0, 2500), ownerTop + between(0, 2000)};
        const int width = between(1, 5000);
        const int height = between(1, 4000);
        const int gap = between(0, 20);
        const GraphRect place = PlaceBesideOwner(owner, width, height, gap, area);
        SCOPED_TRACE("work " + Text(area) + ", owner " + Text(owner) + ", " + std::to_string(width) + " x " +
                     std::to_string(height) + ": " + Text(place));
        const int areaWidth = area.right - area.left;
        const int areaHeight = area.bottom - area.top;
        ASSERT_TRUE(Inside(place, area));
        // As large as asked where the work area allows, else as large as it.
        ASSERT_EQ(std::min(width, areaWidth), place.right - place.left);
        ASSERT_EQ(std::min(height, areaHeight), place.bottom - place.top);
        // Level with the owner's top wherever that fits.
        if (owner.top >= area.top && owner.top + height <= area.bottom) {
            ASSERT_EQ(owner.top, place.top);
        }
        // Beside the owner where a side has room, clear of it.
        const bool roomRight = owner.right + gap >= area.left && owner.right + gap + width <= area.right;
        const bool roomLeft = owner.left - gap - width >= area.left && owner.left - gap <= area.right;
        if (roomRight) {
            ASSERT_EQ(owner.right + gap, place.left);
        } else if (roomLeft) {
            ASSERT_EQ(owner.left - gap, place.right);
        }
    }
}

// The main window in the middle of a 1024 x 768 screen whose task bar takes
// the bottom 40 pixels: the graph overlaps it, kept on the screen.
TEST(WindowPlacement, MiddleOfASmallScreen)
{
    const GraphRect work{0, 0, 1024, 728};
    const GraphRect owner{347, 230, 677, 502};
    const GraphRect place = PlaceBesideOwner(owner, 640, 400, 6, work);
    EXPECT_EQ(384, place.left);  // towards the side with more room, at the edge
    EXPECT_EQ(1024, place.right);
    EXPECT_EQ(230, place.top);
    EXPECT_EQ(630, place.bottom);
    // On a second monitor left of the first, to the owner's left.
    const GraphRect left = PlaceBesideOwner(GraphRect{-400, 100, -50, 400}, 640, 400, 6, GraphRect{-1280, 0, 0, 1024});
    EXPECT_EQ(-406, left.right);
    EXPECT_EQ(100, left.top);
    // Too large for the work area: as large as it.
    const GraphRect big = PlaceBesideOwner(owner, 2000, 1000, 6, work);
    EXPECT_EQ(0, big.left);
    EXPECT_EQ(1024, big.right);
    EXPECT_EQ(0, big.top);
    EXPECT_EQ(728, big.bottom);
    // No work area known: beside the owner as asked.
    const GraphRect unknown = PlaceBesideOwner(owner, 640, 400, 6, GraphRect());
    EXPECT_EQ(683, unknown.left);
    EXPECT_EQ(1323, unknown.right);
    EXPECT_EQ(230, unknown.top);
}

}  // namespace
