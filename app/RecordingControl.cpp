#include "RecordingControl.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Messages.h"
#include "RecordingOnsets.h"
#include "RecordingPlayer.h"
#include "WidePath.h"
#include "resource.h"

namespace {

LoadedRecording openRecording;
std::shared_ptr<const OnsetCurve> openOnsets;
std::vector<Onset> onsetList;
SessionRecording sessionRecording;
double startPositionMs = 0.0;
std::unique_ptr<RecordingPlayer> listening;

// A fresh decoder of the open recording for a player, or null with the
// user told why.
std::unique_ptr<RecordingPlayer> MakePlayer(HWND owner, HWND endNotice)
{
    if (!openRecording.IsOpen())
        return nullptr;
    std::string message;
    std::unique_ptr<AudioDecoder> decoder = OpenRecordingDecoder(openRecording.Path, message);
    if (!decoder) {
        CenteredMessageBox(owner, message, LoadResString(IDS_CAPTION_ERROR), MB_ICONERROR);
        return nullptr;
    }
    auto player = std::make_unique<RecordingPlayer>(std::move(decoder));
    player->SetEndNotice(endNotice, WM_PLAYBACKEND);
    return player;
}

int64_t FrameAt(double ms, uint32_t rate)
{
    return static_cast<int64_t>(std::llround(ms * rate / 1000.0));
}

bool StartPlayer(HWND owner, RecordingPlayer& player, int64_t fromFrame)
{
    const MMRESULT result = player.Start(fromFrame);
    if (result == MMSYSERR_NOERROR)
        return true;
    char text[MAXERRORLENGTH] = "";
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR)
        text[0] = '\0';
    CenteredMessageBox(owner, LoadResString(IDS_RECORDING_NO_PLAYBACK, text), LoadResString(IDS_CAPTION_ERROR),
                       MB_ICONERROR);
    return false;
}

}  // namespace

const LoadedRecording& OpenRecording()
{
    return openRecording;
}

const SessionRecording* SessionRecordingToKeep()
{
    return sessionRecording.Path.empty() ? nullptr : &sessionRecording;
}

void SetSessionRecording(const SessionRecording& identity)
{
    sessionRecording = identity;
}

void ForgetSessionRecording()
{
    sessionRecording = SessionRecording();
}

void SetOpenRecording(LoadedRecording loaded)
{
    CloseOpenRecording();
    openRecording = std::move(loaded);
    sessionRecording = openRecording.Identity;
    if (openRecording.Onsets && !openRecording.Onsets->Values.empty()) {
        openOnsets = std::make_shared<const OnsetCurve>(OnsetCurveOf(*openRecording.Onsets));
        onsetList = PickOnsets(*openRecording.Onsets);
    }
}

std::shared_ptr<const OnsetCurve> OpenRecordingOnsets()
{
    return openOnsets;
}

const std::vector<Onset>& OpenRecordingOnsetList()
{
    return onsetList;
}

bool NeighbouringOnset(double ms, int direction, double& onsetMs)
{
    if (direction < 0) {
        for (auto onset = onsetList.rbegin(); onset != onsetList.rend(); ++onset)
            if (onset->TimeMs < ms - 1.0) {
                onsetMs = onset->TimeMs;
                return true;
            }
        return false;
    }
    for (const Onset& onset : onsetList)
        if (onset.TimeMs > ms + 1.0) {
            onsetMs = onset.TimeMs;
            return true;
        }
    return false;
}

void CloseOpenRecording()
{
    StopListening();
    openRecording = LoadedRecording();
    openOnsets.reset();
    onsetList.clear();
    startPositionMs = 0.0;
}

double StartPositionMs()
{
    return startPositionMs;
}

void SetStartPositionMs(double ms)
{
    const double length = openRecording.LengthMs();
    startPositionMs = std::max(0.0, std::min(ms, length));
}

bool ParseRecordingTime(const std::string& text, double& ms)
{
    // Up to three fields of digits split by ':', the last with an optional
    // fraction: seconds, minutes:seconds, hours:minutes:seconds.
    double total = 0.0;
    size_t at = 0, fields = 0;
    const size_t end = text.find_last_not_of(" \t") + 1;
    at = text.find_first_not_of(" \t");
    if (at == std::string::npos)
        return false;
    for (;;) {
        size_t digits = at;
        while (digits < end && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        if (digits == at || digits - at > 9)
            return false;
        double field = std::atof(text.substr(at, digits - at).c_str());
        at = digits;
        if (at < end && (text[at] == '.' || text[at] == ',')) {
            size_t fraction = ++at;
            while (fraction < end && text[fraction] >= '0' && text[fraction] <= '9')
                ++fraction;
            if (fraction - at > 6)
                return false;
            double scale = 0.1;
            for (size_t i = at; i < fraction; ++i, scale /= 10.0)
                field += (text[i] - '0') * scale;
            at = fraction;
            if (at != end)
                return false;
        }
        total = total * 60.0 + field;
        if (++fields > 3)
            return false;
        if (at == end)
            break;
        if (text[at] != ':')
            return false;
        ++at;
    }
    ms = total * 1000.0;
    return true;
}

TapAlongRecording::TapAlongRecording() = default;

TapAlongRecording::~TapAlongRecording()
{
    Stop();
}

bool TapAlongRecording::Start(HWND owner, HWND endNotice, int preRollSeconds, double latencyMs)
{
    StopListening();
    player_ = MakePlayer(owner, endNotice);
    if (!player_)
        return false;
    latencyMs_ = latencyMs;
    const double from = startPositionMs - preRollSeconds * 1000.0;
    if (!StartPlayer(owner, *player_, FrameAt(from, player_->SampleRate()))) {
        player_.reset();
        return false;
    }
    return true;
}

void TapAlongRecording::MidiStarting()
{
    if (player_)
        player_->SampleClock();
    midiStartMs_ = timeGetTime();
}

void TapAlongRecording::Stop()
{
    // The player object stays until the take is handed over: its clock pair
    // still maps a MIDI tap on its way.
    if (player_)
        player_->Stop();
}

bool TapAlongRecording::MapClock(DWORD clockMs, uint32_t& time) const
{
    if (!player_)
        return false;
    const double ms = player_->RecordingMsAt(clockMs) - latencyMs_;
    // The pre-roll: there is no music before the first sample.
    if (!(ms >= 0.0) || ms > 4.0e9)
        return false;
    time = static_cast<uint32_t>(std::lround(ms));
    return true;
}

bool TapAlongRecording::MapKey(DWORD keyMs, uint32_t& time) const
{
    return MapClock(keyMs, time);
}

bool TapAlongRecording::Map(DWORD stampMs, uint32_t& time) const
{
    // The driver stamps a note-on in ms since midiInStart.
    return MapClock(midiStartMs_ + stampMs, time);
}

bool TapAlongRecording::Position(double& ms) const
{
    if (!player_ || !player_->IsPlaying())
        return false;
    ms = static_cast<double>(player_->PlayedFrame()) * 1000.0 / player_->SampleRate();
    return true;
}

bool StartListening(HWND owner, HWND endNotice, const std::vector<double>& beatMs)
{
    StopListening();
    std::unique_ptr<RecordingPlayer> player = MakePlayer(owner, endNotice);
    if (!player)
        return false;
    std::vector<int64_t> clicks;
    clicks.reserve(beatMs.size());
    for (double ms : beatMs)
        clicks.push_back(FrameAt(ms, player->SampleRate()));
    player->SetClicks(std::move(clicks));
    if (!StartPlayer(owner, *player, FrameAt(startPositionMs, player->SampleRate())))
        return false;
    listening = std::move(player);
    return true;
}

void StopListening()
{
    if (listening)
        listening->Stop();
    listening.reset();
}

bool IsListening()
{
    return listening && listening->IsPlaying();
}

bool ListeningPosition(double& ms)
{
    if (!IsListening())
        return false;
    ms = static_cast<double>(listening->PlayedFrame()) * 1000.0 / listening->SampleRate();
    return true;
}

void PlaybackEnded(LPARAM player, TapAlongRecording* tapping)
{
    if (listening && reinterpret_cast<LPARAM>(listening.get()) == player)
        StopListening();
    else if (tapping && tapping->Player() && reinterpret_cast<LPARAM>(tapping->Player()) == player)
        tapping->Player()->Stop();
}
