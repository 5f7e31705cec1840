// Media Foundation's source reader needs the Windows 7 declarations; the
// rest of the program keeps to XP's, so only this file asks for more (the
// functions are looked for at run time only in the sense that a system
// without Media Foundation fails to start the decoder, which the messages
// then say).
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef WINVER
#define WINVER 0x0601

#include "MediaFoundationDecoder.h"

#include <windows.h>
#include <objbase.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

#include "Mp3Delay.h"
#include "WideFile.h"

const char kMediaFoundationFormats[] = "MP3, AAC/M4A, WMA, FLAC";

namespace {

// MF_PD_DURATION, defined here under its documented value: not every
// MinGW-w64 libmfuuid carries the presentation descriptor's GUIDs.
const GUID kPresentationDuration = {0x6c990d33, 0xbb8e, 0x477a, {0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a}};

// MF_VERSION as Windows 7 and later (and Wine) take it; the headers'
// MF_VERSION follows _WIN32_WINNT and would name Vista's.
constexpr ULONG kMfVersion = 0x00020070;

// MFStartup and MFShutdown once for the process however many decoders are
// open: the first one starts Media Foundation, the last one closed shuts it.
std::mutex g_mfLock;
int g_mfUsers = 0;

class MediaFoundationUse {
public:
    MediaFoundationUse()
    {
        std::lock_guard<std::mutex> hold(g_mfLock);
        if (g_mfUsers == 0)
            started_ = SUCCEEDED(result_ = MFStartup(kMfVersion, MFSTARTUP_LITE));
        else
            started_ = true;
        if (started_)
            ++g_mfUsers;
    }
    ~MediaFoundationUse()
    {
        std::lock_guard<std::mutex> hold(g_mfLock);
        if (started_ && --g_mfUsers == 0)
            MFShutdown();
    }
    MediaFoundationUse(const MediaFoundationUse&) = delete;
    MediaFoundationUse& operator=(const MediaFoundationUse&) = delete;
    bool Started() const { return started_; }
    HRESULT Result() const { return result_; }

private:
    bool started_ = false;
    HRESULT result_ = S_OK;
};

// COM on the opening thread. A thread already in a single-threaded
// apartment (the user-interface thread, for the clipboard and dialogs) keeps
// it: Media Foundation's objects are free-threaded, so either will do. The
// initialisation is undone only on the thread that made it.
class ComUse {
public:
    ComUse() : thread_(GetCurrentThreadId())
    {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        mustUndo_ = hr == S_OK || hr == S_FALSE;
    }
    ~ComUse()
    {
        if (mustUndo_ && GetCurrentThreadId() == thread_)
            CoUninitialize();
    }
    ComUse(const ComUse&) = delete;
    ComUse& operator=(const ComUse&) = delete;

private:
    DWORD thread_;
    bool mustUndo_ = false;
};

template <class T>
void Release(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The audio subtypes are format tags (or FOURCCs) in a fixed GUID; the tag
// names the codec for the user.
std::string CodecName(const GUID& subtype)
{
    switch (subtype.Data1) {
    case 0x0055: return "MP3";
    case 0x0050: return "MPEG audio";
    case 0x1610:
    case 0x1602:
    case 0x00FF: return "AAC";
    case 0x0160:
    case 0x0161:
    case 0x0162:
    case 0x0163: return "WMA";
    case 0xF1AC: return "FLAC";
    case 0x6C61: return "ALAC";
    case 0x0001: return "PCM";
    case 0x0003: return "PCM float";
    default: return "audio";
    }
}

// The file's first bytes after any ID3v2 tag, where an MP3's Xing/LAME
// header lies (the tag may hold pictures of any size, so it is stepped over,
// not read).
std::vector<unsigned char> FirstFrameBytes(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    const std::wstring apiPath = PathForFileApi(path);
    HANDLE file = CreateFileW(apiPath.empty() ? path.c_str() : apiPath.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    unsigned char head[10];
    DWORD got = 0;
    LONGLONG start = 0;
    if (ReadFile(file, head, sizeof head, &got, nullptr) && got == sizeof head && std::memcmp(head, "ID3", 3) == 0)
        start = 10 + (LONGLONG(head[6] & 0x7f) << 21 | LONGLONG(head[7] & 0x7f) << 14 |
                      LONGLONG(head[8] & 0x7f) << 7 | LONGLONG(head[9] & 0x7f)) +
                ((head[5] & 0x10) ? 10 : 0);
    LARGE_INTEGER at;
    at.QuadPart = start;
    bytes.resize(8192);
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr))
        bytes.resize(got);
    else
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

class MediaFoundationDecoder : public AudioDecoder {
public:
    bool Open(const std::wstring& path, std::string& error);
    ~MediaFoundationDecoder() override { Release(reader_); }

    const AudioFormat& Format() const override { return format_; }
    size_t Read(float* interleaved, size_t maxFrames) override;
    bool Seek(uint64_t frame) override;
    const std::string& Error() const override { return error_; }

private:
    bool ReadType(bool first);
    // Decodes the reader's next sample into pending_; false at the end or on
    // an error. `time` gets the sample's stamp (100-ns units) when given.
    bool Decode(LONGLONG* time = nullptr);
    bool Fail(const std::string& what, HRESULT hr);
    size_t PendingFrames() const { return (pending_.size() - pendingAt_) / format_.channels; }

    ComUse com_;
    MediaFoundationUse mf_;
    IMFSourceReader* reader_ = nullptr;
    AudioFormat format_;
    bool floatSamples_ = true;
    uint32_t bytesPerSample_ = 4;
    // Frames of the decoded stream before the recording's first one: an
    // MP3's encoder and decoder delay.
    uint64_t lead_ = 0;
    // The recording's true length where the file states it (an MP3's LAME
    // header), else unlimited.
    uint64_t limit_ = std::numeric_limits<uint64_t>::max();
    uint64_t position_ = 0;  // the recording's frame the next Read gives
    uint64_t skip_ = 0;      // decoded frames still to drop before it
    std::vector<float> pending_;
    size_t pendingAt_ = 0;
    bool ended_ = false;
    std::string error_;
};

bool MediaFoundationDecoder::Fail(const std::string& what, HRESULT hr)
{
    error_ = what + " (" + Hex(hr) + ")";
    return false;
}

bool MediaFoundationDecoder::ReadType(bool first)
{
    IMFMediaType* type = nullptr;
    HRESULT hr = reader_->GetCurrentMediaType(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), &type);
    if (FAILED(hr))
        return Fail("the system's decoder gives no sample format", hr);
    GUID subtype = GUID_NULL;
    UINT32 rate = 0, channels = 0, bits = 0;
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
    type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
    type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
    Release(type);
    const bool isFloat = subtype == MFAudioFormat_Float && bits == 32;
    const bool isPcm16 = subtype == MFAudioFormat_PCM && bits == 16;
    if (!isFloat && !isPcm16) {
        error_ = "the system's decoder gives neither float nor 16-bit samples";
        return false;
    }
    if (first) {
        const std::string layout = audio_detail::CheckLayout(rate, channels);
        if (!layout.empty()) {
            error_ = layout;
            return false;
        }
        format_.sampleRate = rate;
        format_.channels = channels;
    } else if (rate != format_.sampleRate || channels != format_.channels) {
        // Mixing two layouts into one stream of frames would give neither;
        // a recording that changes midway is refused from there on.
        error_ = "the recording changes from " + std::to_string(format_.sampleRate) + " Hz, " +
                 std::to_string(format_.channels) + " channels to " + std::to_string(rate) + " Hz, " +
                 std::to_string(channels) + " channels after frame " + std::to_string(position_);
        return false;
    }
    floatSamples_ = isFloat;
    bytesPerSample_ = isFloat ? 4 : 2;
    return true;
}

bool MediaFoundationDecoder::Open(const std::wstring& path, std::string& error)
{
    if (!mf_.Started()) {
        error = "Media Foundation does not start on this system (" + Hex(mf_.Result()) + ")";
        return false;
    }
    HRESULT hr = MFCreateSourceReaderFromURL(path.c_str(), nullptr, &reader_);
    if (FAILED(hr)) {
        error = "the system has no decoder for it (" + Hex(hr) + ")";
        return false;
    }
    reader_->SetStreamSelection(DWORD(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    hr = reader_->SetStreamSelection(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), TRUE);
    IMFMediaType* native = nullptr;
    if (SUCCEEDED(hr))
        hr = reader_->GetNativeMediaType(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0, &native);
    if (FAILED(hr)) {
        error = "it holds no sound (" + Hex(hr) + ")";
        return false;
    }
    GUID codec = GUID_NULL;
    UINT32 rate = 0, channels = 0;
    native->GetGUID(MF_MT_SUBTYPE, &codec);
    native->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
    native->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
    Release(native);

    // Float at the file's own rate and channels; 16-bit PCM from a decoder
    // that offers no float.
    for (const GUID* subtype : {&MFAudioFormat_Float, &MFAudioFormat_PCM}) {
        IMFMediaType* wanted = nullptr;
        hr = MFCreateMediaType(&wanted);
        if (FAILED(hr))
            break;
        wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        wanted->SetGUID(MF_MT_SUBTYPE, *subtype);
        wanted->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, *subtype == MFAudioFormat_Float ? 32 : 16);
        if (rate)
            wanted->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
        if (channels)
            wanted->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
        hr = reader_->SetCurrentMediaType(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), nullptr, wanted);
        Release(wanted);
        if (SUCCEEDED(hr))
            break;
    }
    if (FAILED(hr)) {
        error = "the system's decoder gives no float or 16-bit samples of it (" + Hex(hr) + ")";
        return false;
    }
    if (!ReadType(true)) {
        error = error_;
        return false;
    }

    // The stated duration, an estimate (a variable bit rate MP3 without a
    // header is timed from its first frames); the count is what decoding
    // yields, and Read sets it at the end.
    PROPVARIANT duration;
    PropVariantInit(&duration);
    if (SUCCEEDED(reader_->GetPresentationAttribute(DWORD(MF_SOURCE_READER_MEDIASOURCE), kPresentationDuration,
                                                    &duration)) &&
        duration.vt == VT_UI8)
        format_.frames = (duration.uhVal.QuadPart * format_.sampleRate + 5000000) / 10000000;
    PropVariantClear(&duration);

    format_.description = CodecName(codec);
    if (codec.Data1 == 0x0001) {
        // Some systems (Wine through GStreamer) decode inside the media
        // source and report PCM; the file's first frame still says what it
        // is. Such a source gives the recording's own frames, delay removed.
        const std::vector<unsigned char> head = FirstFrameBytes(path);
        if (head.size() >= 2 && head[0] == 0xFF && (head[1] & 0xE6) == 0xE2)
            format_.description = "MP3";
    }
    if (codec.Data1 == 0x0055) {
        // The system's MP3 decoders give every decoded frame: the encoder's
        // leading silence and the filter bank's delay are dropped here, and
        // the end padding is cut, as the LAME header states them.
        const std::vector<unsigned char> head = FirstFrameBytes(path);
        const Mp3Gapless gapless = ReadMp3Gapless(head.data(), head.size());
        if (gapless.found) {
            lead_ = uint64_t(gapless.encoderDelay) + kMp3DecoderDelay;
            if (gapless.mpegFrames) {
                limit_ = gapless.InputFrames();
                format_.frames = limit_;
            }
        }
    }
    skip_ = lead_;
    return true;
}

bool MediaFoundationDecoder::Decode(LONGLONG* time)
{
    pending_.clear();
    pendingAt_ = 0;
    while (pending_.empty()) {
        DWORD stream = 0, flags = 0;
        LONGLONG stamp = 0;
        IMFSample* sample = nullptr;
        const HRESULT hr = reader_->ReadSample(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0, &stream, &flags,
                                               &stamp, &sample);
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
            Release(sample);
            return Fail("the system's decoder failed", FAILED(hr) ? hr : E_FAIL);
        }
        if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) && !ReadType(false)) {
            Release(sample);
            return false;
        }
        if (sample) {
            IMFMediaBuffer* buffer = nullptr;
            BYTE* data = nullptr;
            DWORD length = 0;
            HRESULT got = sample->ConvertToContiguousBuffer(&buffer);
            if (SUCCEEDED(got))
                got = buffer->Lock(&data, nullptr, &length);
            if (FAILED(got)) {
                Release(buffer);
                Release(sample);
                return Fail("the system's decoder gave a sample that cannot be read", got);
            }
            const size_t count = length / (bytesPerSample_ * format_.channels) * format_.channels;
            pending_.resize(count);
            if (floatSamples_) {
                std::memcpy(pending_.data(), data, count * sizeof(float));
                for (float& v : pending_)
                    if (!std::isfinite(v))
                        v = 0.0f;
            } else {
                for (size_t i = 0; i < count; ++i) {
                    int16_t v;
                    std::memcpy(&v, data + 2 * i, 2);
                    pending_[i] = float(v) / 32768.0f;
                }
            }
            buffer->Unlock();
            Release(buffer);
            Release(sample);
            if (time && !pending_.empty()) {
                *time = stamp;
                time = nullptr;
            }
        }
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
            ended_ = true;
            break;
        }
    }
    // Frames before the recording's first (or before a seek's target).
    const size_t drop = size_t(std::min<uint64_t>(skip_, PendingFrames()));
    pendingAt_ += drop * format_.channels;
    skip_ -= drop;
    return !pending_.empty() || !ended_;
}

size_t MediaFoundationDecoder::Read(float* interleaved, size_t maxFrames)
{
    if (!error_.empty() || !reader_)
        return 0;
    size_t done = 0;
    while (done < maxFrames && position_ < limit_) {
        if (PendingFrames() == 0) {
            if (ended_ || !Decode())
                break;
            continue;
        }
        const size_t n = size_t(std::min<uint64_t>({uint64_t(maxFrames - done), PendingFrames(), limit_ - position_}));
        std::memcpy(interleaved + done * format_.channels, pending_.data() + pendingAt_,
                    n * format_.channels * sizeof(float));
        pendingAt_ += n * format_.channels;
        done += n;
        position_ += n;
    }
    // At the end the count is known: it replaces the estimate.
    if (error_.empty() && (position_ >= limit_ || (ended_ && PendingFrames() == 0)))
        format_.frames = position_;
    return done;
}

// Where a seek lands: the reader is rewound to the start and the frames up
// to the target are decoded and counted, so the position, and the samples
// from it, are exactly those of reading through the file. Seeking the reader
// near the target by its time stamps would be faster, but the stamps after
// a seek are not frame-exact on every system (they were not under Wine), and
// a start position off by a few frames would move every tap against the
// music. Recordings are played from near their start, so the cost is small.
bool MediaFoundationDecoder::Seek(uint64_t frame)
{
    if (!reader_ || frame > format_.frames)
        return false;
    error_.clear();
    PROPVARIANT at;
    PropVariantInit(&at);
    at.vt = VT_I8;
    at.hVal.QuadPart = 0;
    const HRESULT hr = reader_->SetCurrentPosition(GUID_NULL, at);
    PropVariantClear(&at);
    if (FAILED(hr))
        return Fail("the system's decoder cannot seek", hr);
    pending_.clear();
    pendingAt_ = 0;
    ended_ = false;
    position_ = frame;
    skip_ = frame + lead_;
    return true;
}

std::unique_ptr<AudioDecoder> OpenFromFallback(const std::string& path, void*, std::string& error)
{
    return OpenMediaFoundationDecoderAnsi(path, error);
}

}  // namespace

std::unique_ptr<AudioDecoder> OpenMediaFoundationDecoder(const std::wstring& path, std::string& error)
{
    error.clear();
    if (path.empty()) {
        error = "the file's name cannot be read";
        return nullptr;
    }
    std::unique_ptr<MediaFoundationDecoder> decoder(new MediaFoundationDecoder);
    if (!decoder->Open(path, error))
        return nullptr;
    return decoder;
}

std::unique_ptr<AudioDecoder> OpenMediaFoundationDecoderUtf8(const std::string& path, std::string& error)
{
    std::wstring wide;
    const int length = path.empty() ? 0
                                    : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                                          static_cast<int>(path.size()), nullptr, 0);
    if (length > 0) {
        wide.assign(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), &wide[0],
                            length);
    }
    return OpenMediaFoundationDecoder(wide, error);
}

std::unique_ptr<AudioDecoder> OpenMediaFoundationDecoderAnsi(const std::string& path, std::string& error)
{
    return OpenMediaFoundationDecoder(WidenAnsi(path), error);
}

AudioFallbackOpener MediaFoundationOpener()
{
    AudioFallbackOpener opener;
    opener.open = OpenFromFallback;
    opener.formats = kMediaFoundationFormats;
    return opener;
}
