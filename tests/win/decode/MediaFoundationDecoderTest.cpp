// The Media Foundation decoder on recordings made by sox, lame and ffmpeg
// when the tests run (make_decode_recordings.sh): the lossless ones against
// their source samples, the lossy ones against the source's timeline.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "MediaFoundationDecoder.h"
#include "Mp3Delay.h"

namespace {

struct Source {
    std::string name;
    uint32_t rate = 0, channels = 0;
    uint64_t frames = 0, onset = 0;
    std::vector<float> samples;  // the source's 16-bit samples as floats
};

std::string Dir()
{
    const char* dir = std::getenv("METROVA_DECODE_RECORDINGS");
    return dir ? dir : "";
}

std::vector<Source> Sources()
{
    std::vector<Source> found;
    std::ifstream manifest(Dir() + "/manifest");
    Source s;
    while (manifest >> s.name >> s.rate >> s.channels >> s.frames >> s.onset) {
        std::ifstream raw(Dir() + "/" + s.name + ".raw", std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
        s.samples.resize(bytes.size() / 2);
        for (size_t i = 0; i < s.samples.size(); ++i)
            s.samples[i] = float(int16_t(uint16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8))) / 32768.0f;
        found.push_back(s);
    }
    EXPECT_FALSE(found.empty()) << "no recordings in '" << Dir()
                                << "': make_decode_recordings.sh writes them before these tests (it needs sox, "
                                   "lame and ffmpeg: sh scripts/setup.sh)";
    return found;
}

std::unique_ptr<AudioDecoder> Open(const Source& s, const char* extension)
{
    std::string error;
    std::unique_ptr<AudioDecoder> decoder = OpenMediaFoundationDecoderUtf8(Dir() + "/" + s.name + extension, error);
    EXPECT_TRUE(decoder) << s.name << extension << ": " << error;
    return decoder;
}

// Everything from where the decoder is, in reads of changing sizes.
std::vector<float> DecodeAll(AudioDecoder& decoder)
{
    std::vector<float> all;
    std::vector<float> block;
    for (size_t n = 1;; n = n * 7 % 5003 + 1) {
        block.resize(n * decoder.Format().channels);
        const size_t got = decoder.Read(block.data(), n);
        if (got == 0)
            break;
        all.insert(all.end(), block.begin(), block.begin() + long(got * decoder.Format().channels));
    }
    EXPECT_EQ(decoder.Error(), "");
    return all;
}

// The first frame whose first channel reaches half the source's first click.
long FirstOnset(const std::vector<float>& samples, uint32_t channels)
{
    for (size_t i = 0; i < samples.size() / channels; ++i)
        if (std::fabs(samples[i * channels]) > 0.3f)
            return long(i);
    return -1;
}

// The shift (in frames, decoded minus source) that best lines the first
// channels up over the first 1.5 s, searched within 100 ms.
long BestLag(const Source& s, const std::vector<float>& decoded)
{
    const long span = long(s.rate) * 3 / 2, reach = long(s.rate) / 10;
    const long decodedFrames = long(decoded.size() / s.channels);
    long best = 0;
    double bestSum = -1e300;
    for (long lag = -reach; lag <= reach; ++lag) {
        double sum = 0;
        for (long i = 0; i < span; ++i)
            if (i + lag >= 0 && i + lag < decodedFrames)
                sum += double(s.samples[size_t(i) * s.channels]) * decoded[size_t(i + lag) * s.channels];
        if (sum > bestSum) {
            bestSum = sum;
            best = lag;
        }
    }
    return best;
}

}  // namespace

TEST(MediaFoundationDecoder, LosslessFilesGiveBackTheirSourceSamples)
{
    for (const Source& s : Sources())
        for (const char* extension : {".wav", ".flac"}) {
            SCOPED_TRACE(s.name + extension);
            std::unique_ptr<AudioDecoder> decoder = Open(s, extension);
            if (!decoder)
                continue;
            EXPECT_EQ(decoder->Format().sampleRate, s.rate);
            EXPECT_EQ(decoder->Format().channels, s.channels);
            const std::vector<float> decoded = DecodeAll(*decoder);
            ASSERT_EQ(decoded.size(), s.samples.size());
            EXPECT_EQ(decoder->Format().frames, s.frames);
            size_t off = 0;
            for (size_t i = 0; i < decoded.size(); ++i)
                if (std::fabs(decoded[i] - s.samples[i]) > 1.0f / 32768)
                    ++off;
            EXPECT_EQ(off, 0u) << "samples more than 1 LSB from the source";
        }
}

TEST(MediaFoundationDecoder, LossyFilesKeepTheSourcesTimeline)
{
    for (const Source& s : Sources())
        for (const char* extension : {".mp3", ".m4a"}) {
            SCOPED_TRACE(s.name + extension);
            std::unique_ptr<AudioDecoder> decoder = Open(s, extension);
            if (!decoder)
                continue;
            EXPECT_EQ(decoder->Format().sampleRate, s.rate);
            EXPECT_EQ(decoder->Format().channels, s.channels);
            const std::vector<float> decoded = DecodeAll(*decoder);
            const long frames = long(decoded.size() / s.channels);
            EXPECT_NEAR(double(frames), double(s.frames), 2400);
            EXPECT_EQ(uint64_t(frames), decoder->Format().frames) << "the count decoding yields";
            const long millisecond = long(s.rate) / 1000;
            EXPECT_LE(std::labs(BestLag(s, decoded)), millisecond);
            const long sourceOnset = FirstOnset(s.samples, s.channels);
            ASSERT_GE(sourceOnset, long(s.onset));
            EXPECT_LE(std::labs(FirstOnset(decoded, s.channels) - sourceOnset), millisecond);
        }
}

TEST(MediaFoundationDecoder, SeekingLandsWhereReadingThroughDoes)
{
    for (const Source& s : Sources())
        for (const char* extension : {".flac", ".mp3", ".m4a"}) {
            SCOPED_TRACE(s.name + extension);
            std::unique_ptr<AudioDecoder> decoder = Open(s, extension);
            if (!decoder)
                continue;
            const std::vector<float> through = DecodeAll(*decoder);
            const bool exact = std::string(extension) == ".flac";
            for (uint64_t frame : {uint64_t(s.rate / 10), s.onset - 100, uint64_t(s.rate) * 2 + 333, uint64_t(0)}) {
                SCOPED_TRACE(frame);
                ASSERT_TRUE(decoder->Seek(frame));
                std::vector<float> block(size_t(s.rate / 2) * s.channels);
                const size_t got = decoder->Read(block.data(), s.rate / 2);
                ASSERT_EQ(got, s.rate / 2);
                double worst = 0;
                for (size_t i = 0; i < block.size(); ++i)
                    worst = std::max(worst, double(std::fabs(block[i] - through[static_cast<size_t>(frame * s.channels + i)])));
                // A lossy decoder restarted before the target gives nearly
                // the same samples; a misplaced one differs by whole clicks.
                EXPECT_LE(worst, exact ? 0.0 : 0.05);
            }
        }
}

TEST(MediaFoundationDecoder, TheOpenerFallsBackToItAndNamesItsFormats)
{
    std::vector<Source> sources = Sources();
    ASSERT_FALSE(sources.empty());
    const AudioFallbackOpener opener = MediaFoundationOpener();
    AudioOpenResult mp3 = OpenAudioFile(Dir() + "/" + sources[0].name + ".mp3", &opener);
    ASSERT_TRUE(mp3.decoder) << mp3.message;
    EXPECT_EQ(mp3.decoder->Format().description, "MP3");

    // A file of no kind anyone reads: the message lists the system's formats.
    const std::string junk = Dir() + "/junk.bin";
    std::ofstream(junk, std::ios::binary) << std::string(4096, '\x5a');
    AudioOpenResult none = OpenAudioFile(junk, &opener);
    EXPECT_FALSE(none.decoder);
    EXPECT_EQ(none.error, AudioOpenError::UnknownKind);
    EXPECT_NE(none.message.find(kMediaFoundationFormats), std::string::npos) << none.message;
}

TEST(MediaFoundationDecoder, APathOutsideTheCodePageOpensByItsWideName)
{
    std::vector<Source> sources = Sources();
    ASSERT_FALSE(sources.empty());
    const std::string host = Dir();
    const std::wstring dir = L"Z:" + std::wstring(host.begin() + (host.rfind("Z:", 0) == 0 ? 2 : 0), host.end());
    const std::wstring copy = dir + L"\\\x0395\x03bb\x03bb\x03ac\x03b4\x03b1 \x266a.m4a";
    const std::wstring from = dir + L"\\" + std::wstring(sources[0].name.begin(), sources[0].name.end()) + L".m4a";
    ASSERT_TRUE(CopyFileW(from.c_str(), copy.c_str(), FALSE));
    std::string error;
    std::unique_ptr<AudioDecoder> decoder = OpenMediaFoundationDecoder(copy, error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->Format().channels, sources[0].channels);
    EXPECT_GT(DecodeAll(*decoder).size(), 0u);
    DeleteFileW(copy.c_str());
}

TEST(Mp3Gapless, TheLameHeaderIsReadBehindAnId3TagAndOnlyFromLayerThree)
{
    std::vector<Source> sources = Sources();
    ASSERT_FALSE(sources.empty());
    std::ifstream in(Dir() + "/" + sources[0].name + ".mp3", std::ios::binary);
    std::vector<unsigned char> mp3((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Mp3Gapless plain = ReadMp3Gapless(mp3.data(), mp3.size());
    ASSERT_TRUE(plain.found);
    // LAME's delay is 576 and more; its frames hold the input and the
    // padding to whole frames.
    EXPECT_GE(plain.encoderDelay, 576u);
    EXPECT_EQ(plain.InputFrames(), sources[0].frames);

    std::vector<unsigned char> tagged = {'I', 'D', '3', 4, 0, 0, 0, 0, 2, 0};  // a 256-byte tag
    tagged.resize(10 + 256, 0);
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    const Mp3Gapless behind = ReadMp3Gapless(tagged.data(), tagged.size());
    EXPECT_TRUE(behind.found);
    EXPECT_EQ(behind.encoderDelay, plain.encoderDelay);
    EXPECT_EQ(behind.padding, plain.padding);

    std::vector<unsigned char> layer2 = mp3;
    layer2[1] = static_cast<unsigned char>((layer2[1] & ~6) | 4);
    EXPECT_FALSE(ReadMp3Gapless(layer2.data(), layer2.size()).found);
}
