// The recording's envelope as the tempo graph reads it: the peak pairs of
// PeakEnvelope held as a binary tree of spans, so that the pair of any
// frame range costs a few steps up the tree rather than a walk over its
// blocks. A graph of an hour's recording zoomed out to a few hundred pixel
// columns then costs per column, not per block (620,000 blocks at 44.1 kHz
// in blocks of 256 frames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "PeakEnvelope.h"

class WaveformLevels {
public:
    // Made in one pass over the envelope's blocks.
    explicit WaveformLevels(const PeakEnvelope& envelope);

    uint64_t Frames() const { return frames_; }
    uint32_t FramesPerBlock() const { return framesPerBlock_; }
    size_t BlockCount() const { return blocks_; }

    // The pair covering frames [begin, end), the same as the envelope's
    // Span: the lowest low and highest high of the blocks they touch; zeros
    // when they touch none.
    PeakPair Span(uint64_t begin, uint64_t end) const;

private:
    uint32_t framesPerBlock_;
    uint64_t frames_;
    size_t blocks_;
    // Node i covers nodes 2i and 2i + 1; the blocks are nodes blocks_ to
    // 2 blocks_ - 1 (any count of blocks, not only a power of two).
    std::vector<PeakPair> tree_;
};
