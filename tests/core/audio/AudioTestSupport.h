// What the audio tests share: the recordings sox wrote for them
// (make_recordings.sh, a CTest fixture), whole decodes in uneven reads, and
// a decoder over frames held in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "AudioDecoder.h"

namespace audiotest {

// The folder of the sox-made recordings; the test fails, saying what to do,
// when the fixture did not make them.
inline std::string RecordingsDir()
{
    const char* dir = std::getenv("METROVA_AUDIO_RECORDINGS");
    return dir ? dir : "";
}

struct Recording {
    std::string kind;  // wav or ogg
    std::string name;
    std::string encoding;  // signed, unsigned, float (wav)
    uint32_t bits = 0;
    uint32_t channels = 0;
    uint32_t rate = 0;
    uint64_t frames = 0;
    bool plainHeader = false;  // written as sox's wavpcm
    std::string Path(const char* extension) const { return RecordingsDir() + "/" + name + extension; }
};

// Every recording of `kind` in the fixture's manifest; fails the test when
// there is none.
inline std::vector<Recording> Recordings(const std::string& kind)
{
    std::vector<Recording> found;
    std::ifstream manifest(RecordingsDir() + "/manifest");
    std::string line;
    while (std::getline(manifest, line)) {
        std::istringstream in(line);
        Recording r;
        in >> r.kind >> r.name;
        if (r.kind == "wav") {
            std::string flag;
            in >> r.encoding >> r.bits >> r.channels >> r.rate >> r.frames >> flag;
            r.plainHeader = flag == "wavpcm";
        } else {
            in >> r.channels >> r.rate >> r.frames;
        }
        if (r.kind == kind)
            found.push_back(r);
    }
    EXPECT_FALSE(found.empty()) << "no " << kind << " recordings in '" << RecordingsDir()
                                << "/manifest': they are written by tests/core/audio/make_recordings.sh, which "
                                   "CTest runs before these tests (it needs the Debian packages sox and "
                                   "libsox-fmt-all: sh scripts/setup.sh native)";
    return found;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything the decoder gives from where it is, in reads of random sizes.
inline std::vector<float> DecodeAll(AudioDecoder& decoder, std::mt19937& random, size_t largest = 5000)
{
    std::vector<float> all;
    const size_t channels = decoder.Format().channels;
    std::uniform_int_distribution<size_t> size(1, largest);
    std::vector<float> block;
    for (;;) {
        const size_t want = size(random);
        block.assign(want * channels + 1, -7.0f);  // a guard past the end
        const size_t got = decoder.Read(block.data(), want);
        EXPECT_LE(got, want);
        EXPECT_EQ(-7.0f, block[want * channels]) << "a read wrote past the frames it was given room for";
        if (got == 0)
            break;
        all.insert(all.end(), block.begin(), block.begin() + got * channels);
    }
    return all;
}

// A decoder over frames in memory that hands them out in reads of random
// sizes and, when told, fails after `failAt` frames: the decode pass's
// sinks and progress are checked against it.
class VectorDecoder : public AudioDecoder {
public:
    VectorDecoder(std::vector<float> samples, uint32_t channels, uint32_t seed, uint64_t failAt = ~uint64_t{0})
        : samples_(std::move(samples)), random_(seed), failAt_(failAt)
    {
        format_.channels = channels;
        format_.sampleRate = 44100;
        format_.frames = samples_.size() / channels;
        format_.description = "frames in memory";
    }
    const AudioFormat& Format() const override { return format_; }
    const std::string& Error() const override { return error_; }
    size_t Read(float* out, size_t maxFrames) override
    {
        if (maxFrames == 0)
            return 0;
        const uint64_t end = format_.frames < failAt_ ? format_.frames : failAt_;
        size_t n = std::uniform_int_distribution<size_t>(1, maxFrames)(random_);
        if (n > end - next_)
            n = static_cast<size_t>(end - next_);
        std::memcpy(out, samples_.data() + next_ * format_.channels, n * format_.channels * sizeof(float));
        next_ += n;
        if (n == 0 && next_ == failAt_)
            error_ = "the test's decoder fails here";
        return n;
    }
    bool Seek(uint64_t frame) override
    {
        if (frame > format_.frames)
            return false;
        next_ = frame;
        error_.clear();
        return true;
    }

private:
    std::vector<float> samples_;
    AudioFormat format_;
    std::mt19937 random_;
    uint64_t failAt_;
    uint64_t next_ = 0;
    std::string error_;
};

}  // namespace audiotest
