#include "OggVorbisReader.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "RecordingTime.h"
#include "VorbisStream.h"

namespace {

// Pages are at most 65,307 bytes; a packet, and the three header packets
// together, may span several. A stream that needs more than this held at
// once is refused rather than read without bound.
constexpr size_t kMaxHeld = 4 * 1024 * 1024;
constexpr size_t kReadBytes = 64 * 1024;
// How far from the end the last page is looked for: one page of the largest
// size, and some.
constexpr size_t kTailBytes = 128 * 1024;
constexpr size_t kPageHeader = 27;
constexpr uint64_t kNoGranule = ~uint64_t{0};
// A seek far from where the decoder is restarts it on a page at least this
// many frames before the frame sought (a packet of Vorbis gives at most
// 4096 and the first after a restart gives none) and decodes on from there.
constexpr uint64_t kLeadFrames = 32768;
constexpr int kMostUnplacedPackets = 64;

uint32_t Le32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Le64(const unsigned char* p)
{
    return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

// The Ogg page checksum: CRC-32 of polynomial 0x04C11DB7, unreflected, from
// 0, over the page with its checksum field taken as zero.
uint32_t PageCrc(const unsigned char* page, size_t size)
{
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char byte = i >= 22 && i < 26 ? 0 : page[i];
        crc = (crc << 8) ^ table[((crc >> 24) ^ byte) & 0xFF];
    }
    return crc;
}

// The size of the whole page at `page` (with `left` bytes there), or 0 when
// it is no complete page with a good checksum.
size_t CheckedPageSize(const unsigned char* page, size_t left)
{
    if (left < kPageHeader || std::memcmp(page, "OggS", 4) != 0 || page[4] != 0)
        return 0;
    const size_t segments = page[26];
    if (left < kPageHeader + segments)
        return 0;
    size_t size = kPageHeader + segments;
    for (size_t i = 0; i < segments; ++i)
        size += page[kPageHeader + i];
    if (size > left || PageCrc(page, size) != Le32(page + 22))
        return 0;
    return size;
}

// The granule position of the last complete page of stream `serial` that
// has one: for Vorbis, the frames of the stream. kNoGranule when the end of
// the file holds none.
uint64_t LastGranule(ByteSource& source, uint32_t serial)
{
    const uint64_t size = source.Size();
    const uint64_t start = size > kTailBytes ? size - kTailBytes : 0;
    std::vector<unsigned char> tail(static_cast<size_t>(size - start));
    if (!source.Seek(start) || source.Read(tail.data(), tail.size()) != tail.size())
        return kNoGranule;
    for (size_t at = tail.size() >= kPageHeader ? tail.size() - kPageHeader + 1 : 0; at-- > 0;) {
        if (tail[at] != 'O' || CheckedPageSize(&tail[at], tail.size() - at) == 0)
            continue;
        const uint64_t granule = Le64(&tail[at + 6]);
        if (Le32(&tail[at + 14]) == serial && granule != kNoGranule)
            return granule;
    }
    return kNoGranule;
}

// Why the stream's comment header (its second packet, from its second page
// on) cannot be handed to stb_vorbis, or "". stb_vorbis takes the vendor's
// and every comment's length from the packet as they stand, and one that
// is negative as an int (also one read past the packet's end, which it
// reads as all ones) has it write outside its memory: such a stream is
// refused here first, as is one whose file ends inside that packet. A
// packet longer than kMaxHeld is left to stb_vorbis, which refuses it.
std::string CommentHeaderProblem(ByteSource& source)
{
    const std::string cut = "its stream ends before its headers do";
    std::vector<unsigned char> packet;
    unsigned char header[kPageHeader + 255];
    uint64_t at = 0;
    for (int page = 0;; ++page) {
        if (!source.Seek(at) || source.Read(header, kPageHeader) != kPageHeader)
            return cut;
        if (std::memcmp(header, "OggS", 4) != 0)
            return "";
        const size_t segments = header[26];
        if (source.Read(header + kPageHeader, segments) != segments)
            return cut;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i)
            body += header[kPageHeader + i];
        at += kPageHeader + segments + body;
        if (page == 0)
            continue;
        size_t take = 0;
        bool ended = false;
        for (size_t i = 0; i < segments && !ended; ++i) {
            take += header[kPageHeader + i];
            ended = header[kPageHeader + i] < 255;
        }
        if (packet.size() + take > kMaxHeld)
            return "";
        const size_t had = packet.size();
        packet.resize(had + take);
        if (source.Read(packet.data() + had, take) != take)
            return cut;
        if (ended)
            break;
    }
    // Type 3 and "vorbis" (anything else stb_vorbis refuses by itself), the
    // vendor, the count and the comments.
    if (packet.size() < 7 || packet[0] != 3)
        return "";
    const std::string damaged = "its comment header is damaged";
    size_t pos = 7;
    uint64_t value = 0;
    const auto field = [&]() {
        if (packet.size() - pos < 4)
            return false;
        value = Le32(&packet[pos]);
        pos += 4;
        return value < 0x7FFFFFFF;
    };
    if (!field() || value > packet.size() - pos)
        return damaged;
    pos += static_cast<size_t>(value);
    if (!field() || value > (packet.size() - pos) / 4)
        return damaged;
    for (uint64_t count = value, i = 0; i < count; ++i) {
        if (!field() || value > packet.size() - pos)
            return damaged;
        pos += static_cast<size_t>(value);
    }
    return "";
}

float Finite(float sample)
{
    return std::isfinite(sample) ? sample : 0.0f;
}

class OggVorbisDecoder : public AudioDecoder {
public:
    explicit OggVorbisDecoder(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}
    ~OggVorbisDecoder() override { metrova_vorbis_close(vorbis_); }
    OggVorbisDecoder(const OggVorbisDecoder&) = delete;
    OggVorbisDecoder& operator=(const OggVorbisDecoder&) = delete;

    const AudioFormat& Format() const override { return format_; }
    const std::string& Error() const override { return error_; }

    // Opens the stream from the start of the source; "" or why not.
    std::string Start()
    {
        metrova_vorbis_close(vorbis_);
        vorbis_ = nullptr;
        begin_ = end_ = 0;
        ended_ = false;
        pending_ = 0;
        position_ = 0;
        error_.clear();
        if (!source_->Seek(0))
            return "it cannot be read (an input error)";
        readTo_ = 0;
        // stb_vorbis is never handed a null block, not even an empty one.
        if (held_.empty() && !Fill())
            return error_;
        for (;;) {
            int used = 0;
            int needMore = 0;
            vorbis_ = metrova_vorbis_open(held_.data() + begin_, static_cast<int>(end_ - begin_), &used, &needMore);
            if (vorbis_) {
                begin_ += static_cast<size_t>(used);
                break;
            }
            if (!needMore)
                return "it holds no Vorbis stream (or a damaged one)";
            if (ended_)
                return "its stream ends before its headers do";
            if (!Fill())
                return error_;
        }
        format_.channels = static_cast<uint32_t>(metrova_vorbis_channels(vorbis_));
        format_.sampleRate = metrova_vorbis_rate(vorbis_);
        format_.description = "Ogg Vorbis";
        return audio_detail::CheckLayout(format_.sampleRate, format_.channels);
    }

    // The frames of the stream: its last page's granule position, or
    // counted by decoding it all when no last page can be read.
    std::string Measure(uint32_t serial)
    {
        serial_ = serial;
        const uint64_t granule = LastGranule(*source_, serial);
        if (source_->Failed())
            return "it cannot be read (an input error)";
        if (granule != kNoGranule) {
            format_.frames = granule;
            // Back to where the decoder was.
            return source_->Seek(readTo_) ? std::string() : "it cannot be read (an input error)";
        }
        format_.frames = kNoGranule;
        std::vector<float> scratch(4096 * static_cast<size_t>(format_.channels));
        uint64_t counted = 0;
        for (size_t n; (n = Read(scratch.data(), 4096)) > 0;)
            counted += n;
        if (!error_.empty())
            return error_;
        format_.frames = counted;
        return Start();
    }

    size_t Read(float* interleaved, size_t maxFrames) override
    {
        size_t done = 0;
        while (done < maxFrames && position_ < format_.frames && error_.empty()) {
            if (pending_ == 0 && !NextPacket()) {
                // Its last page says there is more: cut short, or a page on
                // the way that does not decode.
                if (error_.empty() && format_.frames != kNoGranule && position_ < format_.frames)
                    error_ = "the recording ends early, at " + Clock(position_) + " of " + Clock(format_.frames) +
                             " (the file was cut short or is damaged there)";
                break;
            }
            uint64_t n = pending_;
            if (n > maxFrames - done)
                n = maxFrames - done;
            if (n > format_.frames - position_)
                n = format_.frames - position_;
            const size_t frames = static_cast<size_t>(n);
            const size_t channels = format_.channels;
            float* out = interleaved + done * channels;
            for (size_t c = 0; c < channels; ++c) {
                const float* in = channelData_[c] + pendingAt_;
                for (size_t i = 0; i < frames; ++i)
                    out[i * channels + c] = Finite(in[i]);
            }
            pendingAt_ += frames;
            pending_ -= frames;
            position_ += frames;
            done += frames;
        }
        return done;
    }

    bool Seek(uint64_t frame) override
    {
        if (frame > format_.frames)
            return false;
        // Far from where the decoder is: from a page shortly before the
        // frame, found by its granule position, rather than decoding the
        // whole way there (an hour's recording took seconds to start
        // playing near its end).
        const bool far = frame < position_ || frame - position_ > 4 * kLeadFrames;
        const bool restarted = far && error_.empty() && frame >= 2 * kLeadFrames && RestartBefore(frame);
        if (!restarted && (frame < position_ || !error_.empty()) && !Start().empty())
            return false;
        // A restart may land past the frame: then from the start after all.
        if (frame < position_ && !Start().empty())
            return false;
        // Forward by decoding, the samples dropped.
        std::vector<float> scratch(4096 * static_cast<size_t>(format_.channels));
        while (position_ < frame) {
            const uint64_t left = frame - position_;
            if (Read(scratch.data(), left < 4096 ? static_cast<size_t>(left) : 4096) == 0)
                return false;
        }
        return true;
    }

private:
    std::string Clock(uint64_t frame) const
    {
        return FormatRecordingTime(static_cast<double>(frame) * 1000.0 / format_.sampleRate);
    }

    // The first complete page of the stream at or after byte `from` whose
    // granule position is that of audio (not a header's 0); false when the
    // next kTailBytes hold none.
    bool AudioPageFrom(uint64_t from, uint64_t& offset, uint64_t& granule)
    {
        const uint64_t size = source_->Size();
        if (from >= size)
            return false;
        std::vector<unsigned char> block(static_cast<size_t>(std::min<uint64_t>(kTailBytes, size - from)));
        if (!source_->Seek(from) || source_->Read(block.data(), block.size()) != block.size())
            return false;
        for (size_t at = 0; at + kPageHeader <= block.size(); ++at) {
            if (block[at] != 'O')
                continue;
            const size_t page = CheckedPageSize(&block[at], block.size() - at);
            if (page == 0)
                continue;
            const uint64_t g = Le64(&block[at + 6]);
            if (Le32(&block[at + 14]) == serial_ && g != kNoGranule && g > 0) {
                offset = from + at;
                granule = g;
                return true;
            }
            at += page - 1;
        }
        return false;
    }

    // Restarts the decoder at the last page that ends at least kLeadFrames
    // before `frame`, found by bisecting the file on the pages' granule
    // positions; the position then comes from the decoder once a page has
    // told it. False (the decoder to be started again from the start) when
    // no such page is found or the decoder cannot tell where it is.
    bool RestartBefore(uint64_t frame)
    {
        const uint64_t target = frame - kLeadFrames;
        uint64_t lo = 0;
        uint64_t hi = source_->Size();
        uint64_t best = kNoGranule;
        uint64_t offset = 0;
        uint64_t granule = 0;
        while (hi - lo > kReadBytes) {
            const uint64_t mid = lo + (hi - lo) / 2;
            if (AudioPageFrom(mid, offset, granule) && granule <= target) {
                best = offset;
                lo = offset + 1;
            } else {
                hi = mid;
            }
        }
        // Page by page through what is left.
        for (uint64_t from = lo; AudioPageFrom(from, offset, granule) && granule <= target; from = offset + 1)
            best = offset;
        if (best == kNoGranule || source_->Failed() || !source_->Seek(best))
            return false;
        readTo_ = best;
        begin_ = end_ = 0;
        ended_ = false;
        pending_ = 0;
        metrova_vorbis_restart(vorbis_);
        // Packets before a page with a granule position lie at no known
        // place: dropped (a few, within the lead).
        for (int packets = 0; packets < kMostUnplacedPackets; ++packets) {
            if (!NextPacket())
                return false;
            const long long at = metrova_vorbis_position(vorbis_);
            if (at < 0) {
                pending_ = 0;
                continue;
            }
            const auto end = static_cast<uint64_t>(at);
            if (end < pending_ || end - pending_ > frame)
                return false;
            position_ = end - pending_;
            return true;
        }
        return false;
    }

    // Moves the unused bytes to the front and reads more after them; false
    // (with the error set) when the held bytes may grow no further.
    bool Fill()
    {
        if (begin_ > 0) {
            std::memmove(held_.data(), held_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (held_.size() - end_ < kReadBytes) {
            if (held_.size() >= kMaxHeld) {
                error_ = "a packet of its stream is larger than " + std::to_string(kMaxHeld >> 20) + " MB";
                return false;
            }
            held_.resize(held_.size() + kReadBytes);
        }
        const size_t got = source_->Read(held_.data() + end_, held_.size() - end_);
        end_ += got;
        readTo_ += got;
        if (source_->Failed()) {
            error_ = "the recording could not be read further (an input error)";
            return false;
        }
        if (got == 0)
            ended_ = true;
        return true;
    }

    // The next packet's frames into pending_; false at the end of the
    // stream or on an error.
    bool NextPacket()
    {
        for (;;) {
            int frames = 0;
            int failed = 0;
            float** channelData = nullptr;
            const int used = metrova_vorbis_decode(vorbis_, held_.data() + begin_, static_cast<int>(end_ - begin_),
                                                   &frames, &channelData, &failed);
            if (failed) {
                error_ = "its stream is damaged";
                return false;
            }
            begin_ += static_cast<size_t>(used);
            if (frames > 0) {
                channelData_ = channelData;
                pending_ = static_cast<size_t>(frames);
                pendingAt_ = 0;
                return true;
            }
            if (used > 0)
                continue;
            // Nothing decodable in what is held: more bytes, or the end (a
            // page cut short at the end is no packet).
            if (ended_ || !Fill())
                return false;
        }
    }

    std::unique_ptr<ByteSource> source_;
    uint32_t serial_ = 0;
    MetrovaVorbis* vorbis_ = nullptr;
    AudioFormat format_;
    std::string error_;
    std::vector<unsigned char> held_;
    size_t begin_ = 0;
    size_t end_ = 0;
    uint64_t readTo_ = 0;  // where the source is, for coming back to it
    bool ended_ = false;
    float** channelData_ = nullptr;
    size_t pending_ = 0;
    size_t pendingAt_ = 0;
    uint64_t position_ = 0;
};

AudioOpenResult Refuse(AudioOpenError error, const std::string& name, const std::string& why)
{
    AudioOpenResult result;
    result.error = error;
    result.message = "'" + name + "' cannot be read as Ogg Vorbis: " + why;
    return result;
}

}  // namespace

bool LooksLikeOgg(const unsigned char* head, size_t size)
{
    return size >= 4 && std::memcmp(head, "OggS", 4) == 0;
}

AudioOpenResult OpenOggVorbis(std::unique_ptr<ByteSource> source, const std::string& name)
{
    unsigned char first[kPageHeader];
    if (!source->Seek(0) || source->Read(first, sizeof first) != sizeof first || !LooksLikeOgg(first, 4))
        return Refuse(AudioOpenError::Damaged, name, "it is not a complete Ogg file");
    const uint32_t serial = Le32(first + 14);
    const std::string header = CommentHeaderProblem(*source);
    if (!header.empty())
        return Refuse(AudioOpenError::Damaged, name, header);
    auto decoder = std::make_unique<OggVorbisDecoder>(std::move(source));
    std::string problem = decoder->Start();
    if (problem.empty())
        problem = decoder->Measure(serial);
    if (!problem.empty()) {
        const bool layout = decoder->Format().channels > 0 &&
                            !audio_detail::CheckLayout(decoder->Format().sampleRate, decoder->Format().channels).empty();
        return Refuse(layout ? AudioOpenError::Unsupported : AudioOpenError::Damaged, name, problem);
    }
    AudioOpenResult result;
    result.decoder = std::move(decoder);
    return result;
}
