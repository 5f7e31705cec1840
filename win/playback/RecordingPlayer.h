// Playing a recording while the musician taps along, through winmm's wave
// output: it is on every Windows, needs nothing installed, and its position
// (waveOutGetPosition in samples) says exactly which frame is being heard.
//
// The player owns a decoder opened on the file and streams from it: Start
// decodes the first few buffers (about 50 ms each, 16-bit PCM at the file's
// rate; mono and stereo as they are, more channels mixed down to mono) and a
// worker thread refills each one as the device hands it back. A click track
// can be mixed in at exact frames, so that a tempo map can be heard against
// the recording.
//
// Frames are counted on the recording's timeline: frame 0 is its first
// sample. A start before 0 is pre-roll, played as silence, and the frames
// heard during it are negative.
//
// Taps are placed on that timeline by time stamp. The key's timeGetTime()
// value is taken first, as the message arrives, and mapped afterwards with
// RecordingMsAt: the player keeps the latest pair of (timeGetTime, played
// frame), sampled whenever a buffer comes back and on demand, and adds the
// milliseconds since. That costs a few loads and no system call, so it never
// delays the tap it measures.
//
// The player knows no window but the owner it is given for its end notice.
// Its functions are called from one thread (the owner's); RecordingMsAt may
// also be called from any other (a MIDI driver's, say).
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "AudioDecoder.h"

class RecordingPlayer {
public:
    // The buffers in flight and their length: enough to ride out a busy
    // moment of the worker, short enough that Stop is heard at once.
    static constexpr int kBufferCount = 4;
    static constexpr uint32_t kBufferMs = 50;

    explicit RecordingPlayer(std::unique_ptr<AudioDecoder> decoder);
    // Stops first.
    ~RecordingPlayer();
    RecordingPlayer(const RecordingPlayer&) = delete;
    RecordingPlayer& operator=(const RecordingPlayer&) = delete;

    // When playback reaches the recording's end, `message` is posted to
    // `owner` with wParam 0 and lParam this player. Null: no notice.
    void SetEndNotice(HWND owner, UINT message);

    // The frames, on the recording's timeline, where a click is mixed in
    // (any order; before 0 for a count-in). Taken at the next Start.
    void SetClicks(std::vector<int64_t> frames);

    // Plays from `fromFrame` (negative: that many frames of silence first)
    // to the end, stopping what is playing first. MMSYSERR_NOERROR, or the
    // device's or decoder's failure (MMSYSERR_NODRIVER without devices,
    // MMSYSERR_ERROR when the decoder cannot seek there); nothing stays
    // open after a failure.
    MMRESULT Start(int64_t fromFrame);
    // Stops at once and releases the device; the played frame stays where
    // it was. Harmless when stopped. The owner calls it on the end notice
    // too: until then the device stays open.
    void Stop();
    bool IsPlaying() const { return device_ != nullptr; }

    // The recording frame being heard now: the start frame plus the samples
    // the device has played. Where it stopped once stopped.
    int64_t PlayedFrame() const;

    // The time, in ms on the recording's timeline, of a tap whose
    // timeGetTime() value was `tapMs`: the latest clock pair plus the ms
    // between it and the tap (either way). Negative during pre-roll. Once
    // stopped, the last pair goes on counting as if playback had not.
    double RecordingMsAt(DWORD tapMs) const;
    // Takes a fresh clock pair now (the worker does so at every buffer);
    // for an owner that wants one just before a burst of taps.
    void SampleClock();

    uint32_t SampleRate() const { return rate_; }
    // 1 or 2.
    uint32_t OutputChannels() const { return outChannels_; }
    uint32_t FramesPerBuffer() const { return framesPerBuffer_; }
    // The click's samples (a short decaying 1 kHz burst at the file's
    // rate), added to every output channel at each click frame.
    const std::vector<float>& ClickShape() const { return click_; }

private:
    struct Buffer {
        WAVEHDR header{};
        std::vector<int16_t> samples;
    };

    // Decodes the next frames into `buffer`; false when nothing is left.
    bool Fill(Buffer& buffer);
    bool FillAndWrite(Buffer& buffer);
    void AddClicks(float* mixed, int64_t first, size_t frames);
    void Enqueue(Buffer& buffer);
    // Refills the buffers the device has returned, in the order written;
    // true once the recording has played to its end.
    bool Service();
    static DWORD WINAPI WorkerMain(void* self);
    void Release();
    uint64_t DeviceSamples() const;
    void StorePair(DWORD ms, int64_t frame);
    void TakePair();

    std::unique_ptr<AudioDecoder> decoder_;
    uint32_t rate_ = 0, fileChannels_ = 0, outChannels_ = 0, framesPerBuffer_ = 0;
    std::vector<float> click_;
    std::vector<int64_t> clicks_, pendingClicks_;
    HWND owner_ = nullptr;
    UINT endMessage_ = 0;

    HWAVEOUT device_ = nullptr;
    HANDLE doneEvent_ = nullptr, stopEvent_ = nullptr, worker_ = nullptr;
    Buffer buffers_[kBufferCount];
    int queue_[kBufferCount] = {};  // indices of the written buffers, oldest first
    int queueHead_ = 0, queued_ = 0;
    int64_t nextFrame_ = 0;  // the recording frame Fill decodes next
    bool exhausted_ = false;
    std::vector<float> decoded_, mixed_;

    int64_t startFrame_ = 0;
    mutable int64_t lastPlayed_ = 0;
    // The clock pair under a sequence count, odd while it is written, so
    // that a reader on any thread takes it whole without a lock. The frame
    // is kept in halves: 64-bit atomics are not lock-free on every 32-bit
    // processor the program runs on. Writers (the worker, SampleClock) take
    // pairWriter_.
    CRITICAL_SECTION pairWriter_;
    std::atomic<uint32_t> pairSequence_{0};
    std::atomic<DWORD> pairMs_{0};
    std::atomic<uint32_t> pairFrameLow_{0}, pairFrameHigh_{0};
};
