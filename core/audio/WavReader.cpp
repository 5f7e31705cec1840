#include "WavReader.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kTagPcm = 0x0001;
constexpr uint16_t kTagFloat = 0x0003;
constexpr uint16_t kTagExtensible = 0xFFFE;
// The GUID of an extensible header's subformat after its first two bytes,
// which hold the plain format tag.
constexpr unsigned char kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// A file of 2 GB and more is refused (WavReader.h says why).
constexpr uint64_t kMaxWavBytes = 0x80000000u;
// The most of a fmt chunk anything here reads; a longer one is skipped past.
constexpr uint32_t kFmtBytes = 40;
// Raw bytes converted per source read.
constexpr size_t kReadBytes = 64 * 1024;

uint16_t Le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

enum class Encoding { Unsigned8, Signed16, Signed24, Signed32, Float32, Float64 };

struct WavLayout {
    Encoding encoding = Encoding::Signed16;
    uint32_t bytesPerSample = 2;
    uint32_t blockAlign = 4;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;
};

// 2^-k as a float, exactly.
constexpr float kScale8 = 1.0f / 128.0f;
constexpr float kScale16 = 1.0f / 32768.0f;
constexpr float kScale24 = 1.0f / 8388608.0f;
constexpr float kScale32 = 1.0f / 2147483648.0f;
// The largest float below 1, where a 32-bit sample that rounds to 1 is kept.
const float kBelowOne = std::nextafter(1.0f, 0.0f);

float Finite(float sample)
{
    return std::isfinite(sample) ? sample : 0.0f;
}

void Convert(Encoding encoding, const unsigned char* in, size_t samples, float* out)
{
    switch (encoding) {
    case Encoding::Unsigned8:
        for (size_t i = 0; i < samples; ++i)
            out[i] = static_cast<float>(static_cast<int>(in[i]) - 128) * kScale8;
        break;
    case Encoding::Signed16:
        for (size_t i = 0; i < samples; ++i, in += 2)
            out[i] = static_cast<float>(static_cast<int16_t>(Le16(in))) * kScale16;
        break;
    case Encoding::Signed24:
        for (size_t i = 0; i < samples; ++i, in += 3) {
            // The three bytes at the top of a 32-bit word, then shifted down
            // with their sign.
            const uint32_t word = (static_cast<uint32_t>(in[0]) << 8) | (static_cast<uint32_t>(in[1]) << 16) |
                                  (static_cast<uint32_t>(in[2]) << 24);
            out[i] = static_cast<float>(static_cast<int32_t>(word) / 256) * kScale24;
        }
        break;
    case Encoding::Signed32:
        for (size_t i = 0; i < samples; ++i, in += 4) {
            const float sample = static_cast<float>(static_cast<int32_t>(Le32(in))) * kScale32;
            out[i] = sample < 1.0f ? sample : kBelowOne;
        }
        break;
    case Encoding::Float32:
        for (size_t i = 0; i < samples; ++i, in += 4) {
            const uint32_t bits = Le32(in);
            float sample;
            std::memcpy(&sample, &bits, sizeof sample);
            out[i] = Finite(sample);
        }
        break;
    case Encoding::Float64:
        for (size_t i = 0; i < samples; ++i, in += 8) {
            const uint64_t bits = Le32(in) | (static_cast<uint64_t>(Le32(in + 4)) << 32);
            double sample;
            std::memcpy(&sample, &bits, sizeof sample);
            out[i] = std::isfinite(sample) ? Finite(static_cast<float>(sample)) : 0.0f;
        }
        break;
    }
}

class WavDecoder : public AudioDecoder {
public:
    WavDecoder(std::unique_ptr<ByteSource> source, const WavLayout& layout, AudioFormat format)
        : source_(std::move(source)), layout_(layout), format_(std::move(format))
    {
    }

    const AudioFormat& Format() const override { return format_; }
    const std::string& Error() const override { return error_; }

    size_t Read(float* interleaved, size_t maxFrames) override
    {
        if (!error_.empty())
            return 0;
        size_t done = 0;
        const size_t perRead = kReadBytes / layout_.blockAlign > 0 ? kReadBytes / layout_.blockAlign : 1;
        while (done < maxFrames && next_ < format_.frames) {
            uint64_t want = maxFrames - done;
            if (want > format_.frames - next_)
                want = format_.frames - next_;
            if (want > perRead)
                want = perRead;
            const size_t bytes = static_cast<size_t>(want) * layout_.blockAlign;
            if (raw_.size() < bytes)
                raw_.resize(bytes);
            const size_t got = source_->Read(raw_.data(), bytes);
            const size_t frames = got / layout_.blockAlign;
            Convert(layout_.encoding, raw_.data(), frames * format_.channels, interleaved + done * format_.channels);
            done += frames;
            next_ += frames;
            if (got < bytes) {
                // The file was shorter than when it was opened, or could no
                // longer be read; a partial frame is dropped.
                error_ = source_->Failed() ? "the recording could not be read further (an input error)"
                                           : "the recording ends early (the file was cut short)";
                break;
            }
        }
        return done;
    }

    bool Seek(uint64_t frame) override
    {
        if (frame > format_.frames)
            return false;
        if (!source_->Seek(layout_.dataOffset + frame * layout_.blockAlign))
            return false;
        next_ = frame;
        error_.clear();
        return true;
    }

private:
    std::unique_ptr<ByteSource> source_;
    WavLayout layout_;
    AudioFormat format_;
    std::vector<unsigned char> raw_;
    uint64_t next_ = 0;
    std::string error_;
};

AudioOpenResult Refuse(AudioOpenError error, const std::string& name, const std::string& why)
{
    AudioOpenResult result;
    result.error = error;
    result.message = "'" + name + "' cannot be read: " + why;
    return result;
}

std::string Hex4(uint16_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        text += digits[(value >> shift) & 0xF];
    return text;
}

// The encoding of a fmt chunk's tag and sample size; "" or why not.
std::string EncodingOf(uint16_t tag, uint32_t bits, Encoding& encoding)
{
    if (tag == kTagPcm) {
        switch (bits) {
        case 8: encoding = Encoding::Unsigned8; return std::string();
        case 16: encoding = Encoding::Signed16; return std::string();
        case 24: encoding = Encoding::Signed24; return std::string();
        case 32: encoding = Encoding::Signed32; return std::string();
        default: return "PCM of " + std::to_string(bits) + " bits is not supported (8, 16, 24 and 32 are)";
        }
    }
    if (tag == kTagFloat) {
        if (bits == 32) {
            encoding = Encoding::Float32;
            return std::string();
        }
        if (bits == 64) {
            encoding = Encoding::Float64;
            return std::string();
        }
        return "floating-point samples of " + std::to_string(bits) + " bits are not supported (32 and 64 are)";
    }
    return "its samples are compressed (WAV format " + Hex4(tag) + "); only PCM and floating-point WAV can be read";
}

}  // namespace

bool LooksLikeWav(const unsigned char* head, size_t size)
{
    if (size < 12 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    return std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0 ||
           std::memcmp(head, "BW64", 4) == 0;
}

AudioOpenResult OpenWav(std::unique_ptr<ByteSource> source, const std::string& name)
{
    const uint64_t fileSize = source->Size();
    unsigned char header[12];
    if (!source->Seek(0) || source->Read(header, sizeof header) != sizeof header || !LooksLikeWav(header, 12))
        return Refuse(AudioOpenError::Damaged, name, "it is not a complete WAV file");
    if (std::memcmp(header, "RIFF", 4) != 0)
        return Refuse(AudioOpenError::Unsupported, name,
                      "it is an RF64 file (a WAV file over 4 GB); WAV files of up to 2 GB can be read");
    // The file's own size decides: a RIFF size beyond it is what writers
    // that stream leave (0xFFFFFFFF, or the size they meant to reach), and
    // the chunks are read as far as the file goes.
    if (fileSize >= kMaxWavBytes)
        return Refuse(AudioOpenError::Unsupported, name, "it is over 2 GB; WAV files of up to 2 GB can be read");

    // The chunks, each within the file: the walk stops at its end whatever
    // the RIFF size says (writers that stream often leave it wrong).
    bool haveFmt = false;
    bool haveData = false;
    unsigned char fmt[kFmtBytes] = {};
    uint32_t fmtSize = 0;
    WavLayout layout;
    uint64_t at = 12;
    while (!(haveFmt && haveData) && at + 8 <= fileSize) {
        unsigned char chunk[8];
        if (!source->Seek(at) || source->Read(chunk, 8) != 8)
            break;
        const uint32_t size = Le32(chunk + 4);
        const uint64_t body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFmt) {
            if (size < 16)
                return Refuse(AudioOpenError::Damaged, name, "its format chunk is too short");
            fmtSize = size < kFmtBytes ? size : kFmtBytes;
            if (body + fmtSize > fileSize || source->Read(fmt, fmtSize) != fmtSize)
                return Refuse(AudioOpenError::Damaged, name, "its format chunk is cut short");
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
            layout.dataOffset = body;
            // Clamped to the file: a cut-short recording reads as far as it goes.
            layout.dataBytes = size <= fileSize - body ? size : fileSize - body;
            haveData = true;
        }
        // Odd-sized chunks are followed by a pad byte.
        at = body + size + (size & 1u);
    }
    if (source->Failed())
        return Refuse(AudioOpenError::Unreadable, name, "an input error");
    if (!haveFmt)
        return Refuse(AudioOpenError::Damaged, name, "it has no format chunk");
    if (!haveData)
        return Refuse(AudioOpenError::Damaged, name, "it has no data chunk (no recording in it)");

    uint16_t tag = Le16(fmt);
    const uint32_t channels = Le16(fmt + 2);
    const uint32_t rate = Le32(fmt + 4);
    const uint32_t blockAlign = Le16(fmt + 12);
    const uint32_t bits = Le16(fmt + 14);
    bool extensible = false;
    if (tag == kTagExtensible) {
        // cbSize (2 bytes), valid bits, channel mask and the subformat GUID.
        if (fmtSize < 40 || Le16(fmt + 16) < 22)
            return Refuse(AudioOpenError::Damaged, name, "its extensible format chunk is too short");
        if (std::memcmp(fmt + 26, kGuidTail, sizeof kGuidTail) != 0)
            return Refuse(AudioOpenError::Unsupported, name, "its samples are of a kind no reader here knows");
        tag = Le16(fmt + 24);
        extensible = true;
        const uint32_t validBits = Le16(fmt + 18);
        if (validBits > bits)
            return Refuse(AudioOpenError::Damaged, name, "it claims more valid bits than its samples have");
    }
    const std::string layoutProblem = audio_detail::CheckLayout(rate, channels);
    if (!layoutProblem.empty())
        return Refuse(channels == 0 ? AudioOpenError::Damaged : AudioOpenError::Unsupported, name, layoutProblem);
    const std::string encodingProblem = EncodingOf(tag, bits, layout.encoding);
    if (!encodingProblem.empty())
        return Refuse(AudioOpenError::Unsupported, name, encodingProblem);
    layout.bytesPerSample = bits / 8;
    layout.blockAlign = layout.bytesPerSample * channels;
    if (blockAlign != layout.blockAlign)
        return Refuse(AudioOpenError::Damaged, name,
                      "its frame size (" + std::to_string(blockAlign) + " bytes) does not match " +
                          std::to_string(channels) + " channels of " + std::to_string(bits) + " bits");
    if (!source->Seek(layout.dataOffset))
        return Refuse(AudioOpenError::Unreadable, name, "an input error");

    AudioFormat format;
    format.sampleRate = rate;
    format.channels = channels;
    format.frames = layout.dataBytes / layout.blockAlign;
    format.description = std::string("WAV ") + (tag == kTagFloat ? "float " : "PCM ") + std::to_string(bits) + "-bit" +
                         (extensible ? " (extensible)" : "");
    AudioOpenResult result;
    result.decoder = std::make_unique<WavDecoder>(std::move(source), layout, std::move(format));
    return result;
}
