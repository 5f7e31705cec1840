#include "WaveformLevels.h"

#include <algorithm>

namespace {

PeakPair Widen(PeakPair a, PeakPair b)
{
    return PeakPair{std::min(a.low, b.low), std::max(a.high, b.high)};
}

}  // namespace

WaveformLevels::WaveformLevels(const PeakEnvelope& envelope)
    : framesPerBlock_(envelope.FramesPerBlock()), frames_(envelope.Frames()), blocks_(envelope.Blocks().size())
{
    tree_.resize(2 * blocks_);
    std::copy(envelope.Blocks().begin(), envelope.Blocks().end(), tree_.begin() + static_cast<std::ptrdiff_t>(blocks_));
    for (size_t i = blocks_; i-- > 1;)
        tree_[i] = Widen(tree_[2 * i], tree_[2 * i + 1]);
}

PeakPair WaveformLevels::Span(uint64_t begin, uint64_t end) const
{
    if (end <= begin || blocks_ == 0)
        return PeakPair{};
    const uint64_t first = begin / framesPerBlock_;
    if (first >= blocks_)
        return PeakPair{};
    const uint64_t last = std::min<uint64_t>((end - 1) / framesPerBlock_, blocks_ - 1);
    // Up the tree from both ends of [first, last]: each level adds at most
    // one node on either side.
    PeakPair span{INT16_MAX, INT16_MIN};
    size_t left = static_cast<size_t>(first) + blocks_;
    size_t right = static_cast<size_t>(last) + 1 + blocks_;
    for (; left < right; left /= 2, right /= 2) {
        if (left % 2)
            span = Widen(span, tree_[left++]);
        if (right % 2)
            span = Widen(span, tree_[--right]);
    }
    return span;
}
