// The WAV reader: every layout sox writes, decoded to the very samples it
// was given; seeking; hand-made headers, right and wrong; files cut short at
// every byte; and damaged headers, which must end in an answer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>

#include "AudioTestSupport.h"
#include "WavImages.h"
#include "WavReader.h"

namespace {

using namespace audiotest;
using namespace wavimg;

// The sample `raw` holds at `at` in the given layout, as a float: the
// integer over 2^(bits-1), computed in double, where it is exact.
float ReferenceSample(const Recording& r, const uint8_t* p)
{
    const uint32_t bytes = r.bits / 8;
    if (r.encoding == "float") {
        if (r.bits == 32) {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        double d;
        std::memcpy(&d, p, 8);
        return static_cast<float>(d);
    }
    int64_t value = 0;
    for (uint32_t b = 0; b < bytes; ++b)
        value |= static_cast<int64_t>(p[b]) << (8 * b);
    if (r.encoding == "unsigned")
        value -= 128;
    else if (value >= (int64_t{1} << (r.bits - 1)))
        value -= int64_t{1} << r.bits;
    const double exact = static_cast<double>(value) / std::ldexp(1.0, static_cast<int>(r.bits) - 1);
    const float rounded = static_cast<float>(exact);
    // A 32-bit sample that rounds up to 1 stays below it.
    return rounded < 1.0f ? rounded : std::nextafter(1.0f, 0.0f);
}

AudioOpenResult OpenMemory(const Bytes& image, const char* name = "image.wav")
{
    return OpenAudioSource(std::make_unique<MemoryByteSource>(image.data(), image.size()), name);
}

TEST(WavFromSox, EveryLayoutGivesBackExactlyTheSamplesItWasWrittenFrom)
{
    std::mt19937 random(7);
    std::set<std::string> seen;
    for (const Recording& r : Recordings("wav")) {
        SCOPED_TRACE(r.name);
        AudioOpenResult opened = OpenAudioFile(r.Path(".wav"));
        ASSERT_TRUE(opened.decoder) << opened.message;
        const AudioFormat& format = opened.decoder->Format();
        EXPECT_EQ(r.rate, format.sampleRate);
        EXPECT_EQ(r.channels, format.channels);
        EXPECT_EQ(r.frames, format.frames);
        const std::vector<uint8_t> file = ReadBytes(r.Path(".wav"));
        const bool extensible = file.size() > 21 && file[20] == 0xFE && file[21] == 0xFF;
        EXPECT_EQ(extensible, format.description.find("(extensible)") != std::string::npos) << format.description;
        EXPECT_NE(std::string::npos,
                  format.description.find((r.encoding == "float" ? "float " : "PCM ") + std::to_string(r.bits) + "-bit"))
            << format.description;
        seen.insert(r.encoding + std::to_string(r.bits) + (extensible ? "x" : ""));

        const std::vector<uint8_t> raw = ReadBytes(r.Path(".raw"));
        const std::vector<float> decoded = DecodeAll(*opened.decoder, random);
        EXPECT_TRUE(opened.decoder->Error().empty()) << opened.decoder->Error();
        const size_t bytes = r.bits / 8;
        ASSERT_EQ(raw.size() / bytes, decoded.size());
        size_t wrong = 0;
        for (size_t i = 0; i < decoded.size(); ++i) {
            const float want = ReferenceSample(r, &raw[i * bytes]);
            if (std::memcmp(&want, &decoded[i], sizeof want) != 0 && ++wrong <= 5)
                ADD_FAILURE() << "sample " << i << ": " << decoded[i] << ", expected " << want;
            if (r.encoding != "float") {
                EXPECT_TRUE(decoded[i] >= -1.0f && decoded[i] < 1.0f) << decoded[i];
            }
        }
        EXPECT_EQ(0u, wrong);
        // The extremes written first come out as the ends of the range.
        if (r.encoding == "signed") {
            EXPECT_EQ(-1.0f, decoded[0]);
            EXPECT_LT(1.0f - decoded[r.channels], r.bits == 32 ? 1e-7f : std::ldexp(1.0f, 1 - int(r.bits)) * 1.01f);
        }
    }
    // Every layout the reader takes was among them.
    for (const char* layout : {"unsigned8", "signed16", "signed16x", "signed24", "signed24x", "signed32",
                               "signed32x", "float32", "float64"})
        EXPECT_TRUE(seen.count(layout)) << layout << " was not covered";
}

TEST(WavFromSox, SeekingLandsOnTheFrameAsReadingThroughDoes)
{
    std::mt19937 random(11);
    for (const Recording& r : Recordings("wav")) {
        SCOPED_TRACE(r.name);
        AudioOpenResult opened = OpenAudioFile(r.Path(".wav"));
        ASSERT_TRUE(opened.decoder) << opened.message;
        AudioDecoder& decoder = *opened.decoder;
        const std::vector<float> whole = DecodeAll(decoder, random);
        const uint64_t frames = decoder.Format().frames;
        std::uniform_int_distribution<uint64_t> anywhere(0, frames);
        for (uint64_t target : {uint64_t{0}, frames, frames - 1, anywhere(random), anywhere(random), anywhere(random)}) {
            ASSERT_TRUE(decoder.Seek(target)) << target;
            const std::vector<float> rest = DecodeAll(decoder, random);
            ASSERT_EQ((frames - target) * r.channels, rest.size()) << target;
            EXPECT_TRUE(std::equal(rest.begin(), rest.end(), whole.begin() + static_cast<std::ptrdiff_t>(target * r.channels))) << target;
        }
        EXPECT_FALSE(decoder.Seek(frames + 1));
    }
}

// 24-bit samples 0x7FFFFF, -0x800000, 1 and -1: the ends and the smallest steps.
const Bytes kSamples24 = {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF};
const std::vector<float> kValues24 = {8388607.0f / 8388608, -1.0f, 1.0f / 8388608, -1.0f / 8388608};

std::vector<float> DecodeImage(const Bytes& image, std::string* description = nullptr)
{
    AudioOpenResult opened = OpenMemory(image);
    EXPECT_TRUE(opened.decoder) << opened.message;
    if (!opened.decoder)
        return {};
    if (description)
        *description = opened.decoder->Format().description;
    std::mt19937 random(3);
    std::vector<float> all = DecodeAll(*opened.decoder, random, 3);
    EXPECT_TRUE(opened.decoder->Error().empty()) << opened.decoder->Error();
    return all;
}

TEST(HandMadeWav, ChunksAreWalkedAsWritersPutThem)
{
    // Odd chunks with their pad bytes before and between, a data chunk
    // before the format chunk, a longer fmt chunk (with cbSize 0).
    Bytes longFmt = Fmt(1, 2, 48000, 24);
    Put16(longFmt, 0);
    const Bytes layouts[] = {
        Riff({Chunk("JUNK", Noise(5, 9)), Chunk("fmt ", Fmt(1, 2, 48000, 24)), Chunk("bext", Noise(3, 4)),
              Chunk("data", kSamples24)}),
        Riff({Chunk("data", kSamples24), Chunk("fmt ", Fmt(1, 2, 48000, 24))}),
        Riff({Chunk("fmt ", longFmt), Chunk("data", kSamples24), Chunk("LIST", Noise(11, 5))}),
        // A RIFF size that is wrong, as streaming writers leave it: too
        // small, their placeholder of all ones (the data's as well), or 2 GB.
        Riff({Chunk("fmt ", Fmt(1, 2, 48000, 24)), Chunk("data", kSamples24)}, 4),
        Riff({Chunk("fmt ", Fmt(1, 2, 48000, 24)), Chunk("data", kSamples24, 0xFFFFFFFF)}, 0xFFFFFFFF),
        Riff({Chunk("fmt ", Fmt(1, 2, 48000, 24)), Chunk("data", kSamples24)}, 0x7FFFFFF8),
    };
    for (const Bytes& image : layouts)
        EXPECT_EQ(kValues24, DecodeImage(image));
}

TEST(HandMadeWav, ExtensibleHeadersOfEitherSubformatAreRead)
{
    std::string description;
    EXPECT_EQ(kValues24, DecodeImage(Riff({Chunk("fmt ", ExtensibleFmt(1, 2, 48000, 24, 24)), Chunk("data", kSamples24)}),
                                     &description));
    EXPECT_EQ("WAV PCM 24-bit (extensible)", description);
    // 20 valid bits in a 32-bit container: the container's scale.
    Bytes word;
    Put32(word, 0x80000000u);
    Put32(word, 0x00001000u);
    EXPECT_EQ((std::vector<float>{-1.0f, 4096.0f / 2147483648.0f}),
              DecodeImage(Riff({Chunk("fmt ", ExtensibleFmt(1, 1, 96000, 32, 20)), Chunk("data", word)})));
    Bytes floats;
    for (const float f : {0.25f, -0.75f, 1.5f, NAN}) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        Put32(floats, bits);
    }
    // A float's value as it is, except NaN, which no consumer could use.
    EXPECT_EQ((std::vector<float>{0.25f, -0.75f, 1.5f, 0.0f}),
              DecodeImage(Riff({Chunk("fmt ", ExtensibleFmt(3, 2, 44100, 32, 32)), Chunk("data", floats)}),
                          &description));
    EXPECT_EQ("WAV float 32-bit (extensible)", description);
}

TEST(HandMadeWav, RefusalsNameTheFileAndTheReason)
{
    const Bytes data = Noise(64, 8);
    Bytes shortExtensible = ExtensibleFmt(1, 2, 44100, 16, 16, 10);
    Bytes otherGuid = ExtensibleFmt(1, 2, 44100, 16, 16);
    otherGuid[30] = 0x11;
    struct Case {
        const char* what;
        Bytes image;
        AudioOpenError error;
        const char* says;
    };
    const Case cases[] = {
        {"no channels", Riff({Chunk("fmt ", Fmt(1, 0, 44100, 16, 4)), Chunk("data", data)}), AudioOpenError::Damaged,
         "no channels"},
        {"65 channels", Riff({Chunk("fmt ", Fmt(1, 65, 44100, 16)), Chunk("data", data)}), AudioOpenError::Unsupported,
         "65 channels"},
        {"4 kHz", Riff({Chunk("fmt ", Fmt(1, 2, 4000, 16)), Chunk("data", data)}), AudioOpenError::Unsupported,
         "4000 Hz"},
        {"rate 0", Riff({Chunk("fmt ", Fmt(1, 2, 0, 16)), Chunk("data", data)}), AudioOpenError::Unsupported, "0 Hz"},
        {"384 kHz", Riff({Chunk("fmt ", Fmt(1, 2, 384000, 16)), Chunk("data", data)}), AudioOpenError::Unsupported,
         "384000 Hz"},
        {"12-bit", Riff({Chunk("fmt ", Fmt(1, 1, 44100, 12, 2)), Chunk("data", data)}), AudioOpenError::Unsupported,
         "12 bits"},
        {"16-bit float", Riff({Chunk("fmt ", Fmt(3, 1, 44100, 16)), Chunk("data", data)}), AudioOpenError::Unsupported,
         "16 bits"},
        {"MP3 in WAV", Riff({Chunk("fmt ", Fmt(0x55, 2, 44100, 16)), Chunk("data", data)}),
         AudioOpenError::Unsupported, "0x0055"},
        {"unknown subformat", Riff({Chunk("fmt ", otherGuid), Chunk("data", data)}), AudioOpenError::Unsupported,
         "kind"},
        {"short extensible", Riff({Chunk("fmt ", shortExtensible), Chunk("data", data)}), AudioOpenError::Damaged,
         "extensible"},
        {"frame size", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16, 6)), Chunk("data", data)}), AudioOpenError::Damaged,
         "frame size"},
        {"short fmt", Riff({Chunk("fmt ", Bytes(14, 1)), Chunk("data", data)}), AudioOpenError::Damaged, "too short"},
        {"fmt past the end", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16), 16000)}), AudioOpenError::Damaged, "cut short"},
        {"no fmt", Riff({Chunk("data", data)}), AudioOpenError::Damaged, "no format chunk"},
        {"no data", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16))}), AudioOpenError::Damaged, "no data chunk"},
        {"RF64", Riff({Chunk("ds64", Noise(28, 3)), Chunk("fmt ", Fmt(1, 2, 44100, 16)), Chunk("data", data, 0xFFFFFFFF)},
                      0xFFFFFFFF, "RF64"),
         AudioOpenError::Unsupported, "RF64"},
        {"header only", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, AudioOpenError::Damaged, "no format"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const AudioOpenResult opened = OpenMemory(c.image, "take 3.wav");
        EXPECT_FALSE(opened.decoder);
        EXPECT_EQ(c.error, opened.error);
        EXPECT_NE(std::string::npos, opened.message.find("'take 3.wav'")) << opened.message;
        EXPECT_NE(std::string::npos, opened.message.find(c.says)) << opened.message;
    }
}

// Every prefix of a file, each in a block of exactly its size (so that a
// read past it is a sanitizer's report): the header's prefixes are refused,
// the data's read as far as whole frames go, then an error says the file
// ends early.
TEST(HandMadeWav, AFileCutAtAnyByteReadsWhatIsThereAndNoMore)
{
    const uint32_t channels = 3;
    const Bytes samples = Noise(40 * channels * 3, 21);
    const Bytes image = Riff({Chunk("fmt ", Fmt(1, channels, 22050, 24)), Chunk("LIST", Noise(9, 2)),
                              Chunk("data", samples), Chunk("cue ", Noise(30, 3))});
    const std::vector<float> whole = DecodeImage(image);
    ASSERT_EQ(40u * channels, whole.size());
    const size_t dataAt = image.size() - samples.size() - 38;
    for (size_t cut = 0; cut <= image.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[cut ? cut : 1]);
        std::memcpy(exact.get(), image.data(), cut);
        AudioOpenResult opened =
            OpenAudioSource(std::make_unique<MemoryByteSource>(exact.get(), cut), "cut.wav");
        if (cut < dataAt) {
            EXPECT_FALSE(opened.decoder);
            EXPECT_FALSE(opened.message.empty());
            continue;
        }
        ASSERT_TRUE(opened.decoder) << opened.message;
        const uint64_t frames = std::min<uint64_t>(40, (cut - dataAt) / (channels * 3));
        EXPECT_EQ(frames, opened.decoder->Format().frames);
        std::mt19937 random(static_cast<uint32_t>(cut));
        const std::vector<float> got = DecodeAll(*opened.decoder, random, 7);
        ASSERT_EQ(frames * channels, got.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin()));
    }
}

// A file that shrinks while it is read (a recording being replaced): the
// frames that are still there, then an error, never a read past the end.
TEST(HandMadeWav, AStreamThatEndsBeforeItsSizeEndsTheDecodeWithAnError)
{
    const Bytes image = PlainWav(5000);
    class Shrinking : public MemoryByteSource {
    public:
        Shrinking(const Bytes& b, uint64_t stop) : MemoryByteSource(b.data(), b.size()), stop_(stop) {}
        size_t Read(void* buffer, size_t count) override
        {
            const uint64_t left = Position() < stop_ ? stop_ - Position() : 0;
            return MemoryByteSource::Read(buffer, count < left ? count : static_cast<size_t>(left));
        }

    private:
        uint64_t stop_;
    };
    AudioOpenResult opened = OpenAudioSource(std::make_unique<Shrinking>(image, image.size() - 4001), "w.wav");
    ASSERT_TRUE(opened.decoder) << opened.message;
    std::mt19937 random(5);
    const std::vector<float> got = DecodeAll(*opened.decoder, random);
    EXPECT_EQ((5000u - 1001u) * 2, got.size());
    EXPECT_NE(std::string::npos, opened.decoder->Error().find("ends early")) << opened.decoder->Error();
    // A seek back starts over.
    EXPECT_TRUE(opened.decoder->Seek(0));
    EXPECT_TRUE(opened.decoder->Error().empty());
}

// Random damage to the header and the chunk sizes of valid files: every
// answer is a decoder that keeps within its frames, or a refusal with a
// message.
TEST(HandMadeWav, DamagedHeadersEndInAnAnswer)
{
    std::mt19937 random(1234);
    const Bytes originals[] = {
        PlainWav(50),
        Riff({Chunk("fmt ", ExtensibleFmt(3, 2, 44100, 64, 64)), Chunk("data", Noise(16 * 20, 4))}),
        Riff({Chunk("fmt ", Fmt(1, 1, 8000, 8)), Chunk("data", Noise(33, 6))}),
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes image = originals[round % 3];
        const int hits = 1 + round % 4;
        for (int h = 0; h < hits; ++h) {
            const size_t at = std::uniform_int_distribution<size_t>(0, std::min<size_t>(image.size(), 90) - 1)(random);
            image[at] = static_cast<uint8_t>(random());
        }
        if (round % 5 == 0)
            image.resize(std::uniform_int_distribution<size_t>(0, image.size())(random));
        std::unique_ptr<uint8_t[]> exact(new uint8_t[image.size() + 1]);
        std::memcpy(exact.get(), image.data(), image.size());
        AudioOpenResult opened =
            OpenAudioSource(std::make_unique<MemoryByteSource>(exact.get(), image.size()), "x.wav");
        if (!opened.decoder) {
            EXPECT_FALSE(opened.message.empty());
            continue;
        }
        const AudioFormat& format = opened.decoder->Format();
        EXPECT_TRUE(format.channels >= 1 && format.channels <= kMaxChannels);
        EXPECT_LE(format.frames * format.channels, image.size());
        const std::vector<float> got = DecodeAll(*opened.decoder, random, 9);
        EXPECT_EQ(format.frames * format.channels, got.size());
        for (float f : got)
            ASSERT_TRUE(std::isfinite(f));
    }
}

}  // namespace
