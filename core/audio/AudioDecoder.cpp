#include "AudioDecoder.h"

#include "OggVorbisReader.h"
#include "WavReader.h"

const char kCoreAudioFormats[] = "WAV, Ogg Vorbis";

AudioDecoder::~AudioDecoder() = default;

namespace audio_detail {

std::string UnknownKindMessage(const std::string& name, const char* moreFormats)
{
    std::string formats = kCoreAudioFormats;
    if (moreFormats && *moreFormats)
        formats += std::string(", ") + moreFormats;
    return "'" + name + "' is not a recording Metrova can read (it reads " + formats + ")";
}

std::string CheckLayout(uint32_t sampleRate, uint32_t channels)
{
    if (channels == 0)
        return "it has no channels";
    if (channels > kMaxChannels)
        return "it has " + std::to_string(channels) + " channels; Metrova reads at most " +
               std::to_string(kMaxChannels);
    if (sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
        return "its sample rate of " + std::to_string(sampleRate) + " Hz is outside the " +
               std::to_string(kMinSampleRate / 1000) + " to " + std::to_string(kMaxSampleRate / 1000) +
               " kHz Metrova reads";
    return std::string();
}

}  // namespace audio_detail

namespace {

// Enough of the start of a file to tell its kind.
constexpr size_t kHeadBytes = 12;

AudioOpenResult Failure(AudioOpenError error, std::string message)
{
    AudioOpenResult result;
    result.error = error;
    result.message = std::move(message);
    return result;
}

}  // namespace

AudioOpenResult OpenAudioSource(std::unique_ptr<ByteSource> source, const std::string& name)
{
    if (!source)
        return Failure(AudioOpenError::Unreadable, "'" + name + "' cannot be read");
    unsigned char head[kHeadBytes] = {};
    const size_t got = source->Seek(0) ? source->Read(head, sizeof head) : 0;
    if (source->Failed())
        return Failure(AudioOpenError::Unreadable, "'" + name + "' cannot be read (an input error)");
    if (!source->Seek(0))
        return Failure(AudioOpenError::Unreadable, "'" + name + "' cannot be read (it cannot be rewound)");
    if (LooksLikeWav(head, got))
        return OpenWav(std::move(source), name);
    if (LooksLikeOgg(head, got))
        return OpenOggVorbis(std::move(source), name);
    return Failure(AudioOpenError::UnknownKind, audio_detail::UnknownKindMessage(name, nullptr));
}

AudioOpenResult OpenAudioFile(const std::string& path, const AudioFallbackOpener* fallback)
{
    FileOpenError why = FileOpenError::None;
    std::unique_ptr<ByteSource> source = OpenFileByteSource(path, why);
    if (!source) {
        switch (why) {
        case FileOpenError::Missing:
            return Failure(AudioOpenError::Missing, "'" + path + "': no such file");
        case FileOpenError::Folder:
            return Failure(AudioOpenError::Unreadable, "'" + path + "' is a folder, not a recording");
        default:
            return Failure(AudioOpenError::Unreadable, "'" + path + "' cannot be read");
        }
    }
    AudioOpenResult result = OpenAudioSource(std::move(source), path);
    if (result.error != AudioOpenError::UnknownKind || !fallback || !fallback->open)
        return result;
    // The file is closed before the system's decoder opens it its own way.
    std::string error;
    std::unique_ptr<AudioDecoder> decoder = fallback->open(path, fallback->context, error);
    if (decoder) {
        result.decoder = std::move(decoder);
        result.error = AudioOpenError::None;
        result.message.clear();
        return result;
    }
    result.message = audio_detail::UnknownKindMessage(path, fallback->formats);
    if (!error.empty())
        result.message += ": " + error;
    return result;
}
