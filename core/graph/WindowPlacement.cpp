#include "WindowPlacement.h"

#include <algorithm>

GraphRect PlaceBesideOwner(const GraphRect& owner, int width, int height, int gap, const GraphRect& workArea)
{
    const int workWidth = workArea.right - workArea.left;
    const int workHeight = workArea.bottom - workArea.top;
    if (workWidth <= 0 || workHeight <= 0)
        return GraphRect{owner.right + gap, owner.top, owner.right + gap + width, owner.top + height};
    width = std::clamp(width, 1, workWidth);
    height = std::clamp(height, 1, workHeight);

    int left = owner.right + gap;
    if (left < workArea.left || left + width > workArea.right) {
        const int onLeft = owner.left - gap - width;
        if (onLeft >= workArea.left && onLeft + width <= workArea.right)
            left = onLeft;
        else if (workArea.right - owner.right >= owner.left - workArea.left)
            left = workArea.right - width;
        else
            left = workArea.left;
    }
    const int top = std::clamp(owner.top, workArea.top, workArea.bottom - height);
    return GraphRect{left, top, left + width, top + height};
}
