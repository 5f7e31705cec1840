#include "RecordingPlayer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 10 ms burst of 1 kHz starting at its crest, so that its first sample is
// its loudest and the click is heard, and can be found, on its own frame.
// It decays to about 2% by its end, so it stops without a click of its own.
std::vector<float> MakeClick(uint32_t rate)
{
    std::vector<float> click(rate / 100);
    const double decayFrames = rate * 0.0025;
    for (size_t i = 0; i < click.size(); ++i) {
        const double t = static_cast<double>(i);
        click[i] = static_cast<float>(0.5 * std::cos(2 * kPi * 1000 * t / rate) * std::exp(-t / decayFrames));
    }
    return click;
}

int16_t ToPcm16(float sample)
{
    const long value = std::lrint(static_cast<double>(sample) * 32768.0);
    return static_cast<int16_t>(std::clamp(value, -32768L, 32767L));
}

DWORD Flags(const WAVEHDR& header)
{
    // Set by the driver on its own thread.
    return reinterpret_cast<const volatile DWORD&>(header.dwFlags);
}

}  // namespace

RecordingPlayer::RecordingPlayer(std::unique_ptr<AudioDecoder> decoder) : decoder_(std::move(decoder))
{
    const AudioFormat& format = decoder_->Format();
    rate_ = format.sampleRate;
    fileChannels_ = format.channels;
    outChannels_ = fileChannels_ == 2 ? 2 : 1;
    framesPerBuffer_ = std::max<uint32_t>(1, rate_ * kBufferMs / 1000);
    click_ = MakeClick(rate_);
    InitializeCriticalSection(&pairWriter_);
    for (Buffer& buffer : buffers_)
        buffer.samples.resize(size_t{framesPerBuffer_} * outChannels_);
    decoded_.resize(size_t{framesPerBuffer_} * fileChannels_);
    mixed_.resize(size_t{framesPerBuffer_} * outChannels_);
}

RecordingPlayer::~RecordingPlayer()
{
    Stop();
    DeleteCriticalSection(&pairWriter_);
}

void RecordingPlayer::SetEndNotice(HWND owner, UINT message)
{
    owner_ = owner;
    endMessage_ = message;
}

void RecordingPlayer::SetClicks(std::vector<int64_t> frames)
{
    std::sort(frames.begin(), frames.end());
    pendingClicks_ = std::move(frames);
}

MMRESULT RecordingPlayer::Start(int64_t fromFrame)
{
    Stop();
    if (waveOutGetNumDevs() == 0)
        return MMSYSERR_NODRIVER;
    const uint64_t seekTo = std::min<uint64_t>(fromFrame > 0 ? static_cast<uint64_t>(fromFrame) : 0,
                                               decoder_->Format().frames);
    if (!decoder_->Seek(seekTo))
        return MMSYSERR_ERROR;
    nextFrame_ = fromFrame;
    exhausted_ = false;
    clicks_ = pendingClicks_;
    startFrame_ = fromFrame;
    lastPlayed_ = fromFrame;
    queueHead_ = queued_ = 0;

    doneEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!doneEvent_ || !stopEvent_) {
        Release();
        return MMSYSERR_NOMEM;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(outChannels_);
    format.nSamplesPerSec = rate_;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(outChannels_ * 2);
    format.nAvgBytesPerSec = rate_ * format.nBlockAlign;
    MMRESULT result = waveOutOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(doneEvent_), 0,
                                  CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        device_ = nullptr;
        Release();
        return result;
    }
    // A tap that comes before the first buffer is back maps from here.
    StorePair(timeGetTime(), fromFrame);
    // A start at or past the end writes nothing; the worker then reports
    // the end at once. Only buffers with something in them are prepared.
    for (Buffer& buffer : buffers_) {
        buffer.header = WAVEHDR{};
        buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.samples.data());
    }
    for (int i = 0; result == MMSYSERR_NOERROR && i < kBufferCount && Fill(buffers_[i]); ++i) {
        WAVEHDR& header = buffers_[i].header;
        result = waveOutPrepareHeader(device_, &header, sizeof header);
        if (result == MMSYSERR_NOERROR)
            result = waveOutWrite(device_, &header, sizeof header);
        if (result == MMSYSERR_NOERROR)
            Enqueue(buffers_[i]);
    }
    if (result == MMSYSERR_NOERROR) {
        worker_ = CreateThread(nullptr, 0, WorkerMain, this, 0, nullptr);
        if (!worker_)
            result = MMSYSERR_NOMEM;
    }
    if (result != MMSYSERR_NOERROR)
        Release();
    return result;
}

void RecordingPlayer::Stop()
{
    if (!device_)
        return;
    lastPlayed_ = PlayedFrame();
    Release();
}

// Joins the worker first, so that nothing writes a buffer while the device
// hands them all back.
void RecordingPlayer::Release()
{
    if (worker_) {
        SetEvent(stopEvent_);
        WaitForSingleObject(worker_, INFINITE);
        CloseHandle(worker_);
        worker_ = nullptr;
    }
    if (device_) {
        waveOutReset(device_);
        for (Buffer& buffer : buffers_) {
            if (Flags(buffer.header) & WHDR_PREPARED)
                waveOutUnprepareHeader(device_, &buffer.header, sizeof buffer.header);
        }
        waveOutClose(device_);
        device_ = nullptr;
    }
    queueHead_ = queued_ = 0;
    for (HANDLE* event : {&doneEvent_, &stopEvent_}) {
        if (*event)
            CloseHandle(*event);
        *event = nullptr;
    }
}

bool RecordingPlayer::Fill(Buffer& buffer)
{
    const int64_t first = nextFrame_;
    size_t frames = 0;
    if (nextFrame_ < 0) {
        frames = static_cast<size_t>(std::min<int64_t>(framesPerBuffer_, -nextFrame_));
        std::fill(mixed_.begin(), mixed_.begin() + static_cast<ptrdiff_t>(frames * outChannels_), 0.0f);
        nextFrame_ += static_cast<int64_t>(frames);
    }
    // A decoder may return fewer frames than asked before its end.
    while (frames < framesPerBuffer_ && !exhausted_) {
        const size_t got = decoder_->Read(decoded_.data(), framesPerBuffer_ - frames);
        if (got == 0) {
            exhausted_ = true;
            break;
        }
        float* out = mixed_.data() + frames * outChannels_;
        if (fileChannels_ == outChannels_) {
            std::copy(decoded_.begin(), decoded_.begin() + static_cast<ptrdiff_t>(got * fileChannels_), out);
        } else {
            for (size_t f = 0; f < got; ++f) {
                float sum = 0;
                for (uint32_t c = 0; c < fileChannels_; ++c)
                    sum += decoded_[f * fileChannels_ + c];
                out[f] = sum / static_cast<float>(fileChannels_);
            }
        }
        frames += got;
        nextFrame_ += static_cast<int64_t>(got);
    }
    if (frames == 0)
        return false;
    AddClicks(mixed_.data(), first, frames);
    for (size_t i = 0; i < frames * outChannels_; ++i)
        buffer.samples[i] = ToPcm16(mixed_[i]);
    buffer.header.dwBufferLength = static_cast<DWORD>(frames * outChannels_ * sizeof(int16_t));
    return true;
}

void RecordingPlayer::AddClicks(float* mixed, int64_t first, size_t frames)
{
    const auto length = static_cast<int64_t>(click_.size());
    const int64_t end = first + static_cast<int64_t>(frames);
    // The first click still sounding at `first`.
    auto click = std::lower_bound(clicks_.begin(), clicks_.end(), first - length + 1);
    for (; click != clicks_.end() && *click < end; ++click) {
        const int64_t from = std::max(*click, first), to = std::min(*click + length, end);
        for (int64_t f = from; f < to; ++f) {
            const float value = click_[static_cast<size_t>(f - *click)];
            for (uint32_t c = 0; c < outChannels_; ++c)
                mixed[static_cast<size_t>(f - first) * outChannels_ + c] += value;
        }
    }
}

// False when nothing was written: the recording is over, or the device
// refused the buffer (then it is treated as over, so that the end is still
// reached and reported).
bool RecordingPlayer::FillAndWrite(Buffer& buffer)
{
    if (!Fill(buffer) || waveOutWrite(device_, &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) {
        exhausted_ = true;
        return false;
    }
    Enqueue(buffer);
    return true;
}

void RecordingPlayer::Enqueue(Buffer& buffer)
{
    queue_[(queueHead_ + queued_) % kBufferCount] = static_cast<int>(&buffer - buffers_);
    ++queued_;
}

bool RecordingPlayer::Service()
{
    bool sampled = false;
    while (queued_ > 0) {
        Buffer& buffer = buffers_[queue_[queueHead_]];
        if (!(Flags(buffer.header) & WHDR_DONE))
            break;
        if (!sampled)
            TakePair();
        sampled = true;
        queueHead_ = (queueHead_ + 1) % kBufferCount;
        --queued_;
        // A buffer not needed again is released now rather than at Stop.
        if (exhausted_ || !FillAndWrite(buffer))
            waveOutUnprepareHeader(device_, &buffer.header, sizeof buffer.header);
    }
    return queued_ == 0;
}

DWORD WINAPI RecordingPlayer::WorkerMain(void* self)
{
    auto& player = *static_cast<RecordingPlayer*>(self);
    const HANDLE waits[] = {player.stopEvent_, player.doneEvent_};
    for (;;) {
        if (player.Service()) {
            if (player.owner_)
                PostMessageA(player.owner_, player.endMessage_, 0, reinterpret_cast<LPARAM>(self));
            return 0;
        }
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
    }
}

uint64_t RecordingPlayer::DeviceSamples() const
{
    MMTIME time{};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(device_, &time, sizeof time) != MMSYSERR_NOERROR)
        return static_cast<uint64_t>(lastPlayed_ - startFrame_);
    // A driver that cannot count samples answers in bytes.
    if (time.wType == TIME_BYTES)
        return time.u.cb / (outChannels_ * sizeof(int16_t));
    return time.u.sample;
}

int64_t RecordingPlayer::PlayedFrame() const
{
    if (device_)
        lastPlayed_ = startFrame_ + static_cast<int64_t>(DeviceSamples());
    return lastPlayed_;
}

void RecordingPlayer::StorePair(DWORD ms, int64_t frame)
{
    EnterCriticalSection(&pairWriter_);
    const uint32_t sequence = pairSequence_.load(std::memory_order_relaxed);
    pairSequence_.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    pairMs_.store(ms, std::memory_order_relaxed);
    const auto bits = static_cast<uint64_t>(frame);
    pairFrameLow_.store(static_cast<uint32_t>(bits), std::memory_order_relaxed);
    pairFrameHigh_.store(static_cast<uint32_t>(bits >> 32), std::memory_order_relaxed);
    pairSequence_.store(sequence + 2, std::memory_order_release);
    LeaveCriticalSection(&pairWriter_);
}

// The position is read between two readings of the clock; when the clock
// ticked meanwhile the pair is read again, so that its two halves belong to
// the same millisecond.
void RecordingPlayer::TakePair()
{
    if (!device_)
        return;
    DWORD before = 0, after = 0;
    int64_t frame = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        before = timeGetTime();
        frame = startFrame_ + static_cast<int64_t>(DeviceSamples());
        after = timeGetTime();
        if (before == after)
            break;
    }
    StorePair(after, frame);
}

void RecordingPlayer::SampleClock() { TakePair(); }

double RecordingPlayer::RecordingMsAt(DWORD tapMs) const
{
    uint32_t sequence = 0;
    DWORD ms = 0;
    uint64_t bits = 0;
    do {
        sequence = pairSequence_.load(std::memory_order_acquire);
        ms = pairMs_.load(std::memory_order_relaxed);
        bits = pairFrameLow_.load(std::memory_order_relaxed) |
               uint64_t{pairFrameHigh_.load(std::memory_order_relaxed)} << 32;
        std::atomic_thread_fence(std::memory_order_acquire);
    } while ((sequence & 1) != 0 || sequence != pairSequence_.load(std::memory_order_relaxed));
    // Either side of the pair: the tap may have come before the buffer
    // whose return took it.
    const auto elapsed = static_cast<int32_t>(tapMs - ms);
    return static_cast<double>(static_cast<int64_t>(bits)) * 1000.0 / rate_ + elapsed;
}
