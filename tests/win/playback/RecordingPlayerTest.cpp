// The recording player on the stand-in winmm.dll's wave device, which plays
// only as far as the test moves its virtual clock: positions, the written
// samples and the tap times are checked exactly, never by waiting for time.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AudioDecoder.h"
#include "FakeWaveControls.h"
#include "RecordingPlayer.h"
#include "TempFolder.h"
#include "TestWav.h"

namespace {

const FakeWaveControls wave = FindFakeWaveControls();
constexpr DWORD kClockStart = 5000000;  // timeGetTime() when the clock is set
constexpr UINT kEndMessage = WM_APP + 7;

using test_wav::Signal;
using test_wav::WriteWav;

class RecordingPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(wave.Complete()) << "the stand-in winmm.dll is not loaded";
        wave.SetDeviceCount(1);
        wave.SetVirtualClock(TRUE, kClockStart);
        folder = MakeTempFolder("metrova-playback-");
    }

    void TearDown() override
    {
        if (window)
            DestroyWindow(window);
        if (!wave.Complete())
            return;
        wave.SetVirtualClock(FALSE, 0);
        wave.SetDeviceCount(1);
        EXPECT_EQ(wave.GetOpenCount(), 0u) << "a device was left open";
        EXPECT_EQ(wave.GetPreparedCount(), 0u) << "a buffer was left prepared";
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::unique_ptr<RecordingPlayer> Open(uint32_t rate, uint32_t channels, uint32_t frames, bool silent = false)
    {
        const auto path = folder / ("take" + std::to_string(++files) + ".wav");
        WriteWav(path, rate, channels, frames, silent);
        AudioOpenResult opened = OpenAudioFile(path.string());
        EXPECT_TRUE(opened.decoder) << opened.message;
        return opened.decoder ? std::make_unique<RecordingPlayer>(std::move(opened.decoder)) : nullptr;
    }

    // Until the player has written again every buffer the device returned
    // (or released those it no longer needs). The bound only keeps a broken
    // player from hanging the run.
    static bool CaughtUp()
    {
        for (int i = 0; i < 10000; ++i) {
            if (wave.GetDoneCount() == 0)
                return true;
            Sleep(1);
        }
        return false;
    }

    // Moves the clock in steps of at most a buffer, letting the player refill
    // after each, so that the device never runs dry.
    static void Play(RecordingPlayer& player, uint32_t samples)
    {
        while (samples > 0) {
            const uint32_t step = std::min(samples, player.FramesPerBuffer());
            ASSERT_TRUE(wave.Advance(step));
            ASSERT_TRUE(CaughtUp());
            samples -= step;
        }
    }

    static std::vector<int16_t> Written()
    {
        std::vector<int16_t> samples(wave.GetWritten(nullptr, 0, 0) / 2);
        wave.GetWritten(reinterpret_cast<BYTE*>(samples.data()), 0, static_cast<DWORD>(samples.size() * 2));
        return samples;
    }

    HWND MakeOwner()
    {
        window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        return window;
    }

    // The end notice, if it was posted; waits for one when `wait`.
    bool TakeEndNotice(LPARAM& from, bool wait)
    {
        MSG message;
        for (int i = 0; i < (wait ? 10000 : 1); ++i) {
            if (PeekMessageA(&message, window, kEndMessage, kEndMessage, PM_REMOVE)) {
                from = message.lParam;
                return true;
            }
            if (wait)
                Sleep(1);
        }
        return false;
    }

    std::filesystem::path folder;
    int files = 0;
    HWND window = nullptr;
};

double Ms(int64_t frame, uint32_t rate) { return static_cast<double>(frame) * 1000.0 / rate; }

// ---------------------------------------------------------------------------
// Position and samples

using RecordingPlayerPosition = RecordingPlayerTest;

TEST_F(RecordingPlayerPosition, PlayedFrameIsTheStartPlusTheDeviceSamples)
{
    auto player = Open(8000, 2, 8000);
    ASSERT_TRUE(player);
    EXPECT_EQ(player->PlayedFrame(), 0);
    ASSERT_EQ(player->Start(3000), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_TRUE(player->IsPlaying());
    EXPECT_EQ(player->PlayedFrame(), 3000);
    ASSERT_TRUE(wave.Advance(1));
    EXPECT_EQ(player->PlayedFrame(), 3001);
    Play(*player, 1233);
    EXPECT_EQ(player->PlayedFrame(), 4234);
    Play(*player, 2000);
    EXPECT_EQ(player->PlayedFrame(), 6234);
    // Starting again starts the count again.
    ASSERT_EQ(player->Start(100), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(player->PlayedFrame(), 100);
    Play(*player, 7);
    EXPECT_EQ(player->PlayedFrame(), 107);
}

TEST_F(RecordingPlayerPosition, WrittenSamplesAreTheRecordingFromTheStartFrame)
{
    // Mono and stereo as they are; three channels mixed down to mono.
    const struct {
        uint32_t channels, out;
    } cases[] = {{1, 1}, {2, 2}, {3, 1}};
    for (const auto& layout : cases) {
        SCOPED_TRACE(layout.channels);
        const uint32_t frames = 3000, from = 1111;
        auto player = Open(8000, layout.channels, frames);
        ASSERT_TRUE(player);
        EXPECT_EQ(player->OutputChannels(), layout.out);
        ASSERT_EQ(player->Start(from), static_cast<MMRESULT>(MMSYSERR_NOERROR));
        Play(*player, frames - from);
        const std::vector<int16_t> written = Written();
        ASSERT_EQ(written.size(), size_t{frames - from} * layout.out);
        int worst = 0;
        for (uint32_t f = 0; f < frames - from; ++f) {
            for (uint32_t c = 0; c < layout.out; ++c) {
                double expected = Signal(from + f, c);
                if (layout.channels != layout.out) {
                    expected = 0;
                    for (uint32_t k = 0; k < layout.channels; ++k)
                        expected += Signal(from + f, k) / static_cast<double>(layout.channels);
                }
                worst = std::max(worst, static_cast<int>(std::ceil(std::fabs(written[f * layout.out + c] - expected))));
            }
        }
        EXPECT_LE(worst, 1);
        EXPECT_EQ(player->PlayedFrame(), static_cast<int64_t>(frames));
        player->Stop();
    }
}

TEST_F(RecordingPlayerPosition, PreRollIsSilenceThenTheRecording)
{
    auto player = Open(8000, 1, 2000);
    ASSERT_TRUE(player);
    ASSERT_EQ(player->Start(-800), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(player->PlayedFrame(), -800);
    Play(*player, 300);
    EXPECT_EQ(player->PlayedFrame(), -500);
    Play(*player, 2500);
    EXPECT_EQ(player->PlayedFrame(), 2000);
    const std::vector<int16_t> written = Written();
    ASSERT_EQ(written.size(), 2800u);
    for (size_t i = 0; i < 800; ++i)
        ASSERT_EQ(written[i], 0) << "pre-roll frame " << i;
    for (size_t i = 800; i < written.size(); ++i)
        ASSERT_EQ(written[i], Signal(static_cast<int64_t>(i) - 800, 0)) << "frame " << i - 800;
}

// ---------------------------------------------------------------------------
// Tap times

using RecordingPlayerTaps = RecordingPlayerTest;

TEST_F(RecordingPlayerTaps, TapsMapOntoTheRecordingsTimeline)
{
    // 44.1 kHz: most milliseconds hold a fraction of a frame.
    const uint32_t rate = 44100;
    auto player = Open(rate, 2, rate * 2);
    ASSERT_TRUE(player);
    ASSERT_EQ(player->Start(1000), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    // The tap's recording time: the start's plus the virtual ms since.
    auto truth = [&](DWORD tapMs) { return Ms(1000, rate) + static_cast<int32_t>(tapMs - kClockStart); };

    EXPECT_NEAR(player->RecordingMsAt(kClockStart), Ms(1000, rate), 1.0);
    for (uint32_t step : {1u, 17u, 2205u, 999u, 10000u, 441u * 7}) {
        Play(*player, step);
        const DWORD now = timeGetTime();
        EXPECT_NEAR(player->RecordingMsAt(now), truth(now), 1.0) << "after " << player->PlayedFrame();
        EXPECT_NEAR(player->RecordingMsAt(now), Ms(player->PlayedFrame(), rate), 1.0);
        // A tap stamped a while ago, mapped only now, lies before the pair.
        EXPECT_NEAR(player->RecordingMsAt(now - 40), truth(now - 40), 1.0);
    }
    // A pair taken on demand between buffers agrees.
    ASSERT_TRUE(wave.Advance(300));
    player->SampleClock();
    const DWORD now = timeGetTime();
    EXPECT_NEAR(player->RecordingMsAt(now), truth(now), 1.0);
    EXPECT_NEAR(player->RecordingMsAt(now + 25), truth(now) + 25, 1.0);
}

TEST_F(RecordingPlayerTaps, TapsDuringPreRollAreNegative)
{
    auto player = Open(8000, 1, 4000);
    ASSERT_TRUE(player);
    ASSERT_EQ(player->Start(-1600), static_cast<MMRESULT>(MMSYSERR_NOERROR));  // 200 ms
    EXPECT_NEAR(player->RecordingMsAt(kClockStart), -200.0, 1.0);
    Play(*player, 400);
    EXPECT_NEAR(player->RecordingMsAt(timeGetTime()), -150.0, 1.0);
    EXPECT_NEAR(player->RecordingMsAt(kClockStart + 10), -190.0, 1.0);
    Play(*player, 2000);
    EXPECT_NEAR(player->RecordingMsAt(timeGetTime()), 100.0, 1.0);
    EXPECT_NEAR(player->RecordingMsAt(kClockStart + 199), -1.0, 1.0);
}

// ---------------------------------------------------------------------------
// Clicks

using RecordingPlayerClicks = RecordingPlayerTest;

TEST_F(RecordingPlayerClicks, ClicksLandOnTheirFrames)
{
    const uint32_t rate = 8000, frames = 4000;
    const int64_t from = -200;
    auto player = Open(rate, 1, frames, true);
    ASSERT_TRUE(player);
    const std::vector<float>& shape = player->ClickShape();
    ASSERT_EQ(shape.size(), rate / 100);
    // In the pre-roll, across the first buffer boundary (frame 200), two
    // overlapping, and one cut off by the end; given out of order.
    const std::vector<int64_t> clicks = {3990, -150, 190, 1234, 1264};
    player->SetClicks(clicks);
    ASSERT_EQ(player->Start(from), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    Play(*player, frames - static_cast<uint32_t>(from));
    const std::vector<int16_t> written = Written();
    ASSERT_EQ(written.size(), static_cast<size_t>(frames - from));

    for (int64_t f = from; f < frames; ++f) {
        double expected = 0;
        for (int64_t click : clicks) {
            if (f >= click && f - click < static_cast<int64_t>(shape.size()))
                expected += shape[static_cast<size_t>(f - click)];
        }
        ASSERT_NEAR(written[static_cast<size_t>(f - from)], expected * 32768, 1.0) << "frame " << f;
    }
    // Each click starts at its crest, on its own frame.
    for (int64_t click : {int64_t{-150}, int64_t{190}, int64_t{1234}, int64_t{3990}}) {
        EXPECT_EQ(written[static_cast<size_t>(click - from - 1)], 0) << click;
        EXPECT_EQ(written[static_cast<size_t>(click - from)], 16384) << click;
    }
}

TEST_F(RecordingPlayerClicks, ClicksAreAddedToTheRecordingOnEveryChannel)
{
    auto player = Open(8000, 2, 2000);
    ASSERT_TRUE(player);
    player->SetClicks({500});
    ASSERT_EQ(player->Start(400), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    Play(*player, 1600);
    const std::vector<int16_t> written = Written();
    const std::vector<float>& shape = player->ClickShape();
    for (int64_t f = 400; f < 2000; ++f) {
        for (uint32_t c = 0; c < 2; ++c) {
            const int64_t at = f - 500;
            const double click = at >= 0 && at < static_cast<int64_t>(shape.size()) ? shape[static_cast<size_t>(at)] * 32768.0 : 0;
            ASSERT_NEAR(written[static_cast<size_t>(f - 400) * 2 + c], Signal(f, c) + click, 1.0)
                << "frame " << f << " channel " << c;
        }
    }
    // Clicks set later are for the next start only; none now.
    player->SetClicks({});
    ASSERT_EQ(player->Start(400), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    Play(*player, 1600);
    EXPECT_EQ(Written()[200], Signal(500, 0));
}

// ---------------------------------------------------------------------------
// Stopping, the end, and failures

using RecordingPlayerLifetime = RecordingPlayerTest;

TEST_F(RecordingPlayerLifetime, StopMidwayReleasesEverythingAndKeepsThePosition)
{
    auto player = Open(8000, 2, 8000);
    ASSERT_TRUE(player);
    player->SetEndNotice(MakeOwner(), kEndMessage);
    ASSERT_EQ(player->Start(0), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    Play(*player, 1000);
    ASSERT_TRUE(wave.Advance(150));  // within a buffer
    player->Stop();
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(wave.GetOpenCount(), 0u);
    EXPECT_EQ(wave.GetPreparedCount(), 0u);
    EXPECT_EQ(player->PlayedFrame(), 1150);
    ASSERT_TRUE(wave.Advance(800));
    EXPECT_EQ(player->PlayedFrame(), 1150);
    player->Stop();
    LPARAM from = 0;
    EXPECT_FALSE(TakeEndNotice(from, false)) << "a stopped player reported the end";

    // It plays again from anywhere; a player destroyed while playing lets
    // go of the device too.
    ASSERT_EQ(player->Start(500), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(Written()[0], Signal(500, 0));
    EXPECT_EQ(Written()[1], Signal(500, 1));
    Play(*player, 300);
    player.reset();
    EXPECT_EQ(wave.GetOpenCount(), 0u);
    EXPECT_EQ(wave.GetPreparedCount(), 0u);
}

TEST_F(RecordingPlayerLifetime, TheEndIsPostedToTheOwnerOnce)
{
    const uint32_t frames = 2000;
    auto player = Open(8000, 1, frames);
    ASSERT_TRUE(player);
    player->SetEndNotice(MakeOwner(), kEndMessage);
    ASSERT_EQ(player->Start(frames - 950), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    Play(*player, 949);
    LPARAM from = 0;
    EXPECT_FALSE(TakeEndNotice(from, false)) << "the end came a frame early";
    ASSERT_TRUE(wave.Advance(1));
    ASSERT_TRUE(TakeEndNotice(from, true));
    EXPECT_EQ(from, reinterpret_cast<LPARAM>(player.get()));
    EXPECT_EQ(player->PlayedFrame(), static_cast<int64_t>(frames));
    EXPECT_EQ(wave.GetPreparedCount(), 0u) << "buffers not needed again are released at once";
    ASSERT_TRUE(wave.Advance(4000));
    EXPECT_FALSE(TakeEndNotice(from, false)) << "a second notice";
    player->Stop();

    // A start at the end ends at once.
    ASSERT_EQ(player->Start(frames), static_cast<MMRESULT>(MMSYSERR_NOERROR));
    ASSERT_TRUE(TakeEndNotice(from, true));
    EXPECT_EQ(Written().size(), 0u);
    player->Stop();
}

TEST_F(RecordingPlayerLifetime, NoDeviceFailsTheStartAndLeavesNothingOpen)
{
    auto player = Open(8000, 1, 2000);
    ASSERT_TRUE(player);
    wave.SetDeviceCount(0);
    EXPECT_EQ(player->Start(0), static_cast<MMRESULT>(MMSYSERR_NODRIVER));
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(wave.GetOpenCount(), 0u);
    wave.SetDeviceCount(1);
    EXPECT_EQ(player->Start(0), static_cast<MMRESULT>(MMSYSERR_NOERROR));
}

}  // namespace
