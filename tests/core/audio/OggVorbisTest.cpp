// The Ogg Vorbis reader on files sox encoded from known signals: their
// layout and length, the signal itself (lossy, so by correlation), exact
// seeking, and streams cut short or damaged.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "AudioTestSupport.h"
#include "OggVorbisReader.h"

namespace {

using namespace audiotest;

AudioOpenResult OpenBytes(const std::vector<uint8_t>& bytes, size_t size)
{
    return OpenAudioSource(std::make_unique<MemoryByteSource>(bytes.data(), size), "song.ogg");
}

std::vector<float> ReadFloats(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<float> floats(bytes.size() / 4);
    std::memcpy(floats.data(), bytes.data(), floats.size() * 4);
    return floats;
}

TEST(OggVorbisFromSox, DecodesToTheSignalItWasEncodedFrom)
{
    std::mt19937 random(17);
    for (const Recording& r : Recordings("ogg")) {
        SCOPED_TRACE(r.name);
        AudioOpenResult opened = OpenAudioFile(r.Path(".ogg"));
        ASSERT_TRUE(opened.decoder) << opened.message;
        const AudioFormat& format = opened.decoder->Format();
        EXPECT_EQ("Ogg Vorbis", format.description);
        EXPECT_EQ(r.rate, format.sampleRate);
        EXPECT_EQ(r.channels, format.channels);
        // The length from the last page: the encoder's, to within a packet.
        EXPECT_NEAR(double(r.frames), double(format.frames), 64.0);
        const std::vector<float> decoded = DecodeAll(*opened.decoder, random);
        EXPECT_TRUE(opened.decoder->Error().empty()) << opened.decoder->Error();
        // No more frames than the format says, and no fewer.
        EXPECT_EQ(format.frames * r.channels, decoded.size());

        const std::vector<float> source = ReadFloats(r.Path(".f32"));
        const size_t n = std::min(source.size(), decoded.size()) / r.channels;
        for (uint32_t c = 0; c < r.channels; ++c) {
            double sx = 0, sy = 0, sxy = 0, sxx = 0, syy = 0;
            for (size_t i = 0; i < n; ++i) {
                const double x = source[i * r.channels + c], y = decoded[i * r.channels + c];
                sx += x, sy += y, sxy += x * y, sxx += x * x, syy += y * y;
            }
            const double count = static_cast<double>(n);
            const double cov = sxy - sx * sy / count, vx = sxx - sx * sx / count, vy = syy - sy * sy / count;
            EXPECT_GT(cov / std::sqrt(vx * vy), 0.99) << "channel " << c;
            EXPECT_NEAR(1.0, std::sqrt(vy / vx), 0.1) << "channel " << c << ": the level changed";
        }
    }
}

TEST(OggVorbisFromSox, SeekingGivesTheFramesReadingThroughGives)
{
    std::mt19937 random(19);
    for (const Recording& r : Recordings("ogg")) {
        SCOPED_TRACE(r.name);
        AudioOpenResult opened = OpenAudioFile(r.Path(".ogg"));
        ASSERT_TRUE(opened.decoder) << opened.message;
        AudioDecoder& decoder = *opened.decoder;
        const std::vector<float> whole = DecodeAll(decoder, random);
        const uint64_t frames = decoder.Format().frames;
        std::uniform_int_distribution<uint64_t> anywhere(0, frames);
        // Backwards, forwards from where the decoder is, to the end; and far
        // ahead or back, where the decoder restarts on a page before.
        std::vector<uint64_t> targets = {anywhere(random), 0, 1, anywhere(random), frames, frames / 3};
        for (int far = 0; far < 12; ++far)
            targets.push_back(anywhere(random));
        for (uint64_t target : targets) {
            ASSERT_TRUE(decoder.Seek(target)) << target;
            std::vector<float> head(static_cast<size_t>(std::min<uint64_t>(3000, frames - target) * r.channels));
            size_t got = 0;
            while (got < head.size()) {
                const size_t n = decoder.Read(head.data() + got, (head.size() - got) / r.channels);
                ASSERT_GT(n, 0u);
                got += n * r.channels;
            }
            EXPECT_TRUE(std::equal(head.begin(), head.end(), whole.begin() + static_cast<std::ptrdiff_t>(target * r.channels))) << target;
        }
        EXPECT_FALSE(decoder.Seek(frames + 1));
    }
}

// Prefixes of a stream, each in a block of just its size: refused while the
// headers are incomplete, then decoded as far as whole pages go, ending
// with an error that says the file ends early.
TEST(OggVorbisFromSox, AStreamCutShortReadsWhatIsThere)
{
    const std::vector<Recording> recordings = Recordings("ogg");
    ASSERT_FALSE(recordings.empty());
    const std::vector<uint8_t> bytes = ReadBytes(recordings[0].Path(".ogg"));
    std::mt19937 random(23);
    uint64_t lastFrames = 0;
    bool sawDecoder = false;
    for (size_t cut = 0; cut <= bytes.size(); cut += 1 + cut / 3 + random() % 97) {
        SCOPED_TRACE(cut);
        std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + cut);
        exact.shrink_to_fit();
        AudioOpenResult opened = OpenBytes(exact, cut);
        if (!opened.decoder) {
            EXPECT_FALSE(sawDecoder) << "a longer prefix was refused: " << opened.message;
            EXPECT_FALSE(opened.message.empty());
            continue;
        }
        sawDecoder = true;
        const std::vector<float> got = DecodeAll(*opened.decoder, random);
        const uint64_t frames = got.size() / recordings[0].channels;
        EXPECT_LE(frames, opened.decoder->Format().frames);
        EXPECT_GE(frames + 4096, lastFrames) << "a longer prefix gave fewer frames";
        lastFrames = frames;
    }
    EXPECT_TRUE(sawDecoder);
}

TEST(OggVorbisFromSox, DamageInsideTheStreamEndsItWithoutACrash)
{
    const std::vector<Recording> recordings = Recordings("ogg");
    ASSERT_FALSE(recordings.empty());
    const std::vector<uint8_t> original = ReadBytes(recordings[0].Path(".ogg"));
    std::mt19937 random(29);
    for (int round = 0; round < 60; ++round) {
        std::vector<uint8_t> bytes = original;
        for (int hit = 0; hit < 1 + round % 8; ++hit)
            bytes[std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random)] = uint8_t(random());
        AudioOpenResult opened = OpenBytes(bytes, bytes.size());
        if (!opened.decoder) {
            EXPECT_FALSE(opened.message.empty());
            continue;
        }
        const std::vector<float> got = DecodeAll(*opened.decoder, random);
        EXPECT_LE(got.size(), opened.decoder->Format().frames * opened.decoder->Format().channels);
        for (float f : got)
            ASSERT_TRUE(std::isfinite(f));
    }
}

// The comment header's lengths as a damaged file may give them: one that is
// negative as an int, or that reaches past the packet (read there as all
// ones), had the decoder write outside its memory. Refused, and a header
// with sound lengths still opens.
TEST(OggVorbisFromSox, ACommentHeaderWhoseLengthsDoNotFitIsRefused)
{
    const std::vector<Recording> recordings = Recordings("ogg");
    ASSERT_FALSE(recordings.empty());
    const std::vector<uint8_t> original = ReadBytes(recordings[0].Path(".ogg"));
    // The second page: after the first page's header, lacing and body.
    ASSERT_GT(original.size(), 100u);
    size_t second = 27 + original[26];
    for (size_t i = 0; i < original[26]; ++i)
        second += original[27 + i];
    ASSERT_EQ(0, std::memcmp(&original[second], "OggS", 4));
    const size_t packet = second + 27 + original[second + 26];
    ASSERT_EQ(3, original[packet]);
    const size_t vendor = packet + 7;
    const uint32_t vendorLength = uint32_t(original[vendor]) | uint32_t(original[vendor + 1]) << 8 |
                                  uint32_t(original[vendor + 2]) << 16 | uint32_t(original[vendor + 3]) << 24;
    const size_t count = vendor + 4 + vendorLength;
    const size_t firstComment = count + 4;
    const auto put = [](std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
        for (int b = 0; b < 4; ++b)
            bytes[at + b] = uint8_t(value >> (8 * b));
    };
    struct Damage {
        size_t at;
        uint32_t value;
    };
    for (const Damage& damage : {Damage{vendor, 0xFFFFFFFFu}, Damage{vendor, 0x7FFFFFFFu}, Damage{vendor, 0xFFFFFFF0u},
                                 Damage{firstComment, 0xFFFFFFFFu}, Damage{firstComment, 0x00FFFFFFu},
                                 Damage{count, 0x40000000u}}) {
        SCOPED_TRACE(testing::Message() << "at " << damage.at - packet << ": " << damage.value);
        std::vector<uint8_t> bytes = original;
        put(bytes, damage.at, damage.value);
        const AudioOpenResult opened = OpenBytes(bytes, bytes.size());
        EXPECT_FALSE(opened.decoder);
        EXPECT_NE(std::string::npos, opened.message.find("its comment header is damaged")) << opened.message;
    }
    EXPECT_TRUE(OpenBytes(original, original.size()).decoder);
}

TEST(OggVorbis, AnOggFileOfNoVorbisStreamIsRefusedAsSuch)
{
    std::vector<uint8_t> bytes = {'O', 'g', 'g', 'S', 0, 2};
    bytes.resize(300, 0x5A);
    const AudioOpenResult opened = OpenBytes(bytes, bytes.size());
    EXPECT_FALSE(opened.decoder);
    EXPECT_EQ(AudioOpenError::Damaged, opened.error);
    EXPECT_NE(std::string::npos, opened.message.find("'song.ogg' cannot be read as Ogg Vorbis")) << opened.message;
}

}  // namespace
